#include "app/form1.h"
#include "extraction/pipeline.h"
#include "extraction/textcache.h"

#include "app/elidedelegate.h"
#include "app/hovercursor.h"
#include "app/resultsview.h"
#include "app/twips.h"
#include "app/windowlayout.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFocusEvent>
#include <QFont>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTreeView>

namespace qm {

namespace {

// The results list's filter field above it and its count below take this
// much more height than the list had alone.
constexpr int kFilterRow = 360;
constexpr int kResultsBar = kFilterRow + 300;

constexpr int px(int twips) {
    return twipsToPixels(twips);
}

// A progress bar that shows its text as given: the bar's own format would
// read "%p", "%v" and "%m" in a file name as numbers.
class TextProgressBar : public QProgressBar {
  public:
    using QProgressBar::QProgressBar;
    QString text() const override { return shown_; }
    void setShownText(const QString& t) {
        shown_ = t;
        update();
    }

  private:
    QString shown_;
};

void place(QWidget* w, int left, int top, int width, int height) {
    w->setGeometry(px(left), px(top), px(width), px(height));
}

}  // namespace

// The desktop's font family at a designed size, bold as designed; the layout
// scales the size with the desktop's own.
QFont designedFont(double points) {
    QFont f = QGuiApplication::font();
    f.setPointSizeF(points);
    f.setBold(true);
    return f;
}

Form1::Form1(Services& services, Config config, QWidget* parent)
    : QWidget(parent),
      services_(services),
      config_(std::move(config)),
      hoverCursor_(Qt::PointingHandCursor) {
    setObjectName(QStringLiteral("Form1"));
    buildControls();
    setUpPreview();
    anchorControls();
    connectHandlers();
    if (config_.runFormLoad) Form_Load();
    // Opens centred on the screen.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

Form1::~Form1() {
    // The results list goes before the view that shows it: the count line
    // hears nothing of its going.
    if (resultsView_) resultsView_->disconnect(this);
    // The sessions go first, then the workers: they may still be storing
    // texts in the caches.
    search_.reset();
    check_.reset();
    engine_.reset();
}

void Form1::buildControls() {
    setWindowTitle(QStringLiteral("Quillmark"));
    // The designed size is also the smallest (the layout sets it as the minimum).
    resize(px(15960), px(6765 + kResultsBar));
    setWindowFlags(Qt::Window);
    // The window is painted as the desktop paints a page of text: light
    // themes give it its white, dark ones a dark ground with light text.
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Base));
    pal.setColor(QPalette::WindowText, pal.color(QPalette::Text));
    setPalette(pal);
    setFont(designedFont(9));
    setMouseTracking(true);

    auto button = [this](QPushButton*& b, const char* name, const char* caption, QWidget* parent,
                         int l, int t, int w, int h) {
        b = new QPushButton(QString::fromUtf8(caption), parent);
        b->setObjectName(QString::fromLatin1(name));
        b->setFont(designedFont(11.25));
        b->setMouseTracking(true);
        // A button ignores plain mouse moves; without this the move would reach
        // its frame or the window next, whose hover rule resets the pointer.
        b->setAttribute(Qt::WA_NoMousePropagation);
        b->setAutoDefault(false);
        place(b, l, t, w, h);
        b->installEventFilter(this);
    };
    auto frame = [this](QGroupBox*& f, const char* name, const char* caption, int l, int t, int w,
                        int h) {
        f = new QGroupBox(QString::fromUtf8(caption), this);
        f->setObjectName(QString::fromLatin1(name));
        f->setFont(designedFont(9));
        f->setMouseTracking(true);
        place(f, l, t, w, h);
        f->installEventFilter(this);
    };
    auto option = [](QRadioButton*& o, const char* name, const char* caption, QWidget* parent,
                     int l, int t, int w, int h) {
        o = new QRadioButton(QString::fromUtf8(caption), parent);
        o->setObjectName(QString::fromLatin1(name));
        o->setFont(designedFont(9));
        place(o, l, t, w, h);
    };
    auto listView = [this](QTreeView*& v, const char* name, int l, int t, int w, int h) {
        v = new QTreeView(this);
        v->setObjectName(QString::fromLatin1(name));
        v->setRootIsDecorated(false);
        v->setItemsExpandable(false);
        v->setUniformRowHeights(true);
        v->setSortingEnabled(false);
        v->setAllColumnsShowFocus(true);
        v->setSelectionMode(QAbstractItemView::SingleSelection);
        v->setSelectionBehavior(QAbstractItemView::SelectRows);
        v->setEditTriggers(QAbstractItemView::NoEditTriggers);
        v->setFont(designedFont(9));
        v->setMouseTracking(true);
        v->viewport()->setMouseTracking(true);
        v->header()->setStretchLastSection(false);
        v->header()->setSectionsClickable(false);
        v->header()->setSectionsMovable(false);
        // Paths keep their file names in sight.
        v->setItemDelegateForColumn(0, new MiddleElideDelegate(v));
        place(v, l, t, w, h);
        v->installEventFilter(this);
        v->viewport()->installEventFilter(this);
    };

    button(PushButton5, "PushButton5", "Help", this, 120, 120, 7800, 405);
    // The file list leaves room for the two rows of the "Option" frame.
    listView(ListView1, "ListView1", 120, 630, 7800, 3885 + kResultsBar);
    ListView1->setModel(&fileList);
    ListView1->setToolTip(QStringLiteral(
        "Drag and drop files here. Double-click item to remove it. Move | line to right and out "
        "of window to reveal full names."));
    button(PushButton1, "PushButton1", "Add PDF File(s)", this, 120, 4600 + kResultsBar, 3840, 405);
    button(PushButton6, "PushButton6", "Add All PDF File(s) In Folder", this, 4080,
           4600 + kResultsBar, 3840, 405);
    button(PushButton9, "PushButton9", "Clear List", this, 120, 5110 + kResultsBar, 3840, 405);
    button(PushButton10, "PushButton10", "Load Sample/Example Files", this, 4080,
           5110 + kResultsBar, 3840, 405);

    frame(Frame3, "Frame3", "Option", 120, 5600 + kResultsBar, 7800, 1035);
    Check1 = new QCheckBox(
        QStringLiteral("Prompt for password because PDF files are password protected"), Frame3);
    Check1->setObjectName(QStringLiteral("Check1"));
    Check1->setFont(designedFont(9));
    place(Check1, 240, 230, 6015, 255);
    Check3 = new QCheckBox(QStringLiteral("Read scanned pages (OCR)"), Frame3);
    Check3->setObjectName(QStringLiteral("Check3"));
    Check3->setFont(designedFont(9));
    place(Check3, 240, 495, 6015, 255);
    Check4 = new QCheckBox(QStringLiteral("Also search comments, forms, bookmarks and attachments"),
                           Frame3);
    Check4->setObjectName(QStringLiteral("Check4"));
    Check4->setFont(designedFont(9));
    place(Check4, 240, 760, 7440, 255);

    frame(Frame1, "Frame1", "Search Options", 8040, 30, 7800, 1800);
    option(Option3, "Option3", "Search for this:", Frame1, 240, 330, 1815, 255);
    Text1 = new QLineEdit(Frame1);
    Text1->setObjectName(QStringLiteral("Text1"));
    place(Text1, 2400, 300, 5160, 345);
    option(Option4, "Option4", "Search for multiple:", Frame1, 240, 780, 2055, 255);
    Combo1 = new QComboBox(Frame1);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    Combo1->setEditable(false);
    place(Combo1, 2400, 735, 2760, 345);
    Combo1->installEventFilter(this);
    button(PushButton12, "PushButton12", "+", Frame1, 5280, 735, 360, 345);
    button(PushButton14, "PushButton14", "-", Frame1, 5760, 735, 360, 345);
    button(PushButton16, "PushButton16", "Load", Frame1, 6240, 735, 750, 345);
    button(PushButton15, "PushButton15", "Clr", Frame1, 7100, 735, 460, 345);
    button(PushButton7, "PushButton7", "Start Searching", Frame1, 240, 1230, 7320, 405);
    // Option3 and Option4 share Frame1 and so form one exclusive group.
    Option3->setChecked(true);

    frame(Frame2, "Frame2", "Case Options", 8040, 1890, 7800, 1020);
    option(Option2, "Option2", "Ignore case", Frame2, 240, 300, 1365, 285);
    option(Option1, "Option1", "Match case", Frame2, 1800, 300, 1365, 300);
    Option2->setChecked(true);
    Check2 = new QCheckBox(QStringLiteral("Match across line breaks"), Frame2);
    Check2->setObjectName(QStringLiteral("Check2"));
    Check2->setFont(designedFont(9));
    place(Check2, 3360, 300, 4200, 285);
    const auto box = [this](QCheckBox*& b, const char* name, const char* text, int x, int w) {
        b = new QCheckBox(QString::fromLatin1(text), Frame2);
        b->setObjectName(QString::fromLatin1(name));
        b->setFont(designedFont(9));
        place(b, x, 630, w, 285);
    };
    box(Check5, "Check5", "Whole words", 240, 1500);
    box(Check6, "Check6", "Ignore accents", 1800, 1500);
    box(Check7, "Check7", "Regular expression", 3360, 2400);

    listView(ListView2, "ListView2", 8040, 3030 + kFilterRow, 7800, 1560);
    resultsView_ = &showResults(*ListView2, results, px(7000));
    ListView2->setToolTip(
        QStringLiteral("Move | line to right and out of window to reveal full names."));
    button(PushButton11, "PushButton11", "Open Selected File", this, 8040, 4680 + kResultsBar, 3840,
           405);
    button(PushButton3, "PushButton3", "Open All Files", this, 12000, 4680 + kResultsBar, 3840,
           405);
    button(PushButton4, "PushButton4", "Save Results As Text File", this, 8040, 5190 + kResultsBar,
           3840, 405);
    button(PushButton13, "PushButton13", "Save Results As Excel File", this, 12000,
           5190 + kResultsBar, 3840, 405);
    button(PushButton8, "PushButton8", "Copy Results To Clipboard", this, 8040, 5700 + kResultsBar,
           3840, 405);
    button(PushButton2, "PushButton2", "Clear Results", this, 12000, 5700 + kResultsBar, 3840, 405);

    ProgressBar1 = new TextProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(true);
    ProgressBar1->setAlignment(Qt::AlignCenter);
    ProgressBar1->setFont(designedFont(9));
    static_cast<TextProgressBar*>(ProgressBar1)->setShownText(progressText_);
    place(ProgressBar1, 8040, 6210 + kResultsBar, 7800, 405);
    buildResultsBar();
    fitCaptions();

    installEventFilter(this);
}

void Form1::connectHandlers() {
    connect(PushButton1, &QPushButton::clicked, this, [this] { PushButton1_Click(); });
    connect(PushButton2, &QPushButton::clicked, this, [this] { PushButton2_Click(); });
    connect(PushButton3, &QPushButton::clicked, this, [this] { PushButton3_Click(); });
    connect(PushButton4, &QPushButton::clicked, this, [this] { PushButton4_Click(); });
    connect(PushButton5, &QPushButton::clicked, this, [this] { PushButton5_Click(); });
    connect(PushButton6, &QPushButton::clicked, this, [this] { PushButton6_Click(); });
    connect(PushButton7, &QPushButton::clicked, this, [this] { PushButton7_Click(); });
    connect(PushButton8, &QPushButton::clicked, this, [this] { PushButton8_Click(); });
    connect(PushButton9, &QPushButton::clicked, this, [this] { PushButton9_Click(); });
    connect(PushButton10, &QPushButton::clicked, this, [this] { PushButton10_Click(); });
    connect(PushButton11, &QPushButton::clicked, this, [this] { PushButton11_Click(); });
    connect(PushButton12, &QPushButton::clicked, this, [this] { PushButton12_Click(); });
    connect(PushButton13, &QPushButton::clicked, this, [this] { PushButton13_Click(); });
    connect(PushButton14, &QPushButton::clicked, this, [this] { PushButton14_Click(); });
    connect(PushButton15, &QPushButton::clicked, this, [this] { PushButton15_Click(); });
    connect(PushButton16, &QPushButton::clicked, this, [this] { PushButton16_Click(); });
    connect(Text1, &QLineEdit::textChanged, this, [this] { Text1_Change(); });
    connect(Option1, &QRadioButton::toggled, this, [this](bool on) {
        if (on) Option1_Click();
    });
    connect(Option2, &QRadioButton::toggled, this, [this](bool on) {
        if (on) Option2_Click();
    });
    connect(Option3, &QRadioButton::toggled, this, [this](bool on) {
        if (on) Option3_Click();
    });
    connect(Option4, &QRadioButton::toggled, this, [this](bool on) {
        if (on) Option4_Click();
    });
    connect(Check1, &QCheckBox::toggled, this, [this] { Check1_Click(); });
    connect(Check2, &QCheckBox::toggled, this, [this] { Check2_Click(); });
    connect(Check3, &QCheckBox::toggled, this, [this] { Check3_Click(); });
    connect(Check4, &QCheckBox::toggled, this, [this] { Check4_Click(); });
    connect(Check5, &QCheckBox::toggled, this, [this] { Check5_Click(); });
    connect(Check6, &QCheckBox::toggled, this, [this] { Check6_Click(); });
    connect(Check7, &QCheckBox::toggled, this, [this] { Check7_Click(); });
    connect(ListView1, &QTreeView::doubleClicked, this, [this] { ListView1_DblClick(); });
    connect(ListView1, &QTreeView::pressed, this,
            [this](const QModelIndex& i) { ListView1_ItemClick(i.row() + 1); });
    ListView1->setAcceptDrops(true);
    ListView1->viewport()->setAcceptDrops(true);
    ListView1->setDragDropMode(QAbstractItemView::DropOnly);
    // The selected entry is the highlighted one: tabbing into the list makes a
    // row current without highlighting it, and removal must not act on that.
    connect(ListView1->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        const QModelIndexList rows = ListView1->selectionModel()->selectedRows();
        fileList.setSelected(rows.isEmpty() ? 0 : rows.front().row() + 1);
    });
    // The view's rows may be sorted or filtered: the list's own row is picked.
    connect(ListView2->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                const int row = current.isValid() ? resultsView_->listRow(current.row()) : -1;
                results.setSelectedRow(row);
                showPreview(row);
            });
    connect(ListView2, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid()) ListView2_DblClick(resultsView_->listRow(index.row()));
    });
    setUpKeys();
}

SearchOptions Form1::searchOptions() const {
    SearchOptions o;
    o.singlePhrase = Text1->text();
    for (int i = 0; i < Combo1->count(); ++i) o.findSets << Combo1->itemText(i);
    o.mode = Option3->isChecked()   ? SearchMode::Single
             : Option4->isChecked() ? SearchMode::Multiple
                                    : SearchMode::None;
    o.caseMode = Option2->isChecked() ? CaseMode::IgnoreCase : CaseMode::MatchCase;
    o.promptForPassword = Check1->isChecked();
    o.loose = Check2->isChecked();
    o.sources = Check4->isChecked() ? kEveryText : kPageText;
    o.wholeWords = Check5->isChecked();
    o.ignoreAccents = Check6->isChecked();
    o.regex = Check7->isChecked();
    return o;
}

namespace {
// ProgressBar1 as a ProgressBar of the engine.
class FormProgressBar : public ProgressBar {
  public:
    explicit FormProgressBar(Form1& form) : form_(form) {}
    int value() const override { return form_.value(); }
    void setValue(int v) override { form_.setValue(v); }
    QString text() const override { return form_.text(); }
    void setText(const QString& t) override { form_.setText(t); }

  private:
    Form1& form_;
};
}  // namespace

ProgressBar& Form1::progressBar() {
    if (!progressBar_) progressBar_ = std::make_unique<FormProgressBar>(*this);
    return *progressBar_;
}

int Form1::value() const {
    return ProgressBar1->value();
}
void Form1::setValue(int v) {
    ProgressBar1->setValue(v);
}
QString Form1::text() const {
    return progressText_;
}
void Form1::setText(const QString& t) {
    progressText_ = t;
    static_cast<TextProgressBar*>(ProgressBar1)->setShownText(t);
}

void Form1::setMousePointer(int value) {
    pointer_ = value;
    if (value == MousePointer::Busy)
        setCursor(Qt::WaitCursor);
    else if (value == MousePointer::Hover)
        setCursor(hoverCursor_);
    else
        setCursor(Qt::ArrowCursor);
}

void Form1::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
}

}  // namespace qm
