// The window as the user sees and drives it: anchored controls as it grows,
// the size, place and column widths kept between sessions, the fit on a small
// screen at a large scale, the Enter keys, "Match across line breaks" and the
// results' "Page" column. The test runs on one 1280 × 800 screen at 150 %
// (853 × 533 of the window's pixels).

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <memory>

#include "app/form1.h"
#include "app/resultsview.h"
#include "app/windowlayout.h"
#include "app/windowplacement.h"
#include "extraction/child.h"
#include "platform/settings.h"
#include "search/snippet.h"
#include "support/inistore.h"
#include "support/pdfmaker.h"
#include "support/scripted.h"
#include "support/window.h"
#include "text/display.h"

using namespace qm;

namespace {

// The window as the program opens it (with Form_Load); closing it ends nothing.
Form1::Config opened(const QString& workbooks) {
    Form1::Config config;
    config.endProgram = [] {};
    config.workbookFolder = workbooks;
    return config;
}

struct Window : test::TestWindow {
    explicit Window(const QString& ini, const QString& workbooks = QString())
        : TestWindow(ini, opened(workbooks)) {}
};

// The cells of a workbook's first sheet that hold something, e.g. "A1 B1".
QString workbookCells(const QString& path) {
    QProcess python;
    python.start(QStringLiteral("python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import re, sys, zipfile\n"
                                 "z = zipfile.ZipFile(sys.argv[1])\n"
                                 "xml = z.read('xl/worksheets/sheet1.xml').decode()\n"
                                 "print(' '.join(re.findall(r'<c r=\"([A-Z]+[0-9]+)\"', xml)))"),
                  path});
    python.waitForFinished(60000);
    return QString::fromUtf8(python.readAllStandardOutput()).trimmed();
}

QList<int> columnWidths(const QTreeView* view) {
    QList<int> out;
    for (int i = 0; i < view->header()->count(); ++i) out << view->columnWidth(i);
    return out;
}

}  // namespace

class WindowViewTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> tmp;
    QString ini;

    QString stored(const QString& key) const { return test::storedValue(ini, key); }
    void store(const QString& key, const QString& value) { test::storeValue(ini, key, value); }

  private Q_SLOTS:
    void init() {
        tmp = std::make_unique<QTemporaryDir>();
        QVERIFY(tmp->isValid());
        ini = tmp->filePath(QStringLiteral("Veltrane.ini"));
    }

    // Each control moves or grows with the edges it is anchored to (the files'
    // side takes a third of the width, buttons side by side share theirs, the
    // phrase takes its frame's), and comes back to its designed place when
    // the window does. Catches a pair of buttons drifting apart, a frame left
    // in the corner, a column pushed out of sight.
    void growingMovesEachControlByItsEdges() {
        Window w(ini);
        Form1& f = *w.form;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        const int dx = 300;
        const int dy = 170;
        // How much of the growth each edge takes, in sixths of dx and in dy:
        // left, top, right, bottom (inside a frame: of the frame's growth).
        const struct {
            QWidget* control;
            int left, top, right, bottom;
        } table[] = {
            {f.PushButton5, 0, 0, 2, 0},   {f.ListView1, 0, 0, 2, 1},
            {f.PushButton10, 1, 1, 2, 1},  {f.Frame3, 0, 1, 2, 1},
            {f.Frame1, 2, 0, 6, 0},        {f.Frame2, 2, 0, 6, 0},
            {f.ResultsFilter, 2, 0, 6, 0}, {f.ListView2->parentWidget(), 2, 0, 6, 1},
            {f.ResultsStatus, 2, 1, 6, 1}, {f.PushButton11, 2, 1, 4, 1},
            {f.PushButton3, 4, 1, 6, 1},   {f.PushButton2, 4, 1, 6, 1},
            {f.ProgressBar1, 2, 1, 6, 1},  {f.Text1, 0, 0, 4, 0},
            {f.PushButton15, 4, 0, 4, 0},
        };
        QList<QRect> designed;
        for (const auto& row : table) designed << row.control->geometry();
        const int where = f.ListView2->columnWidth(1);
        const int path = f.ListView2->columnWidth(0);

        f.resize(f.size() + QSize(dx, dy));
        for (std::size_t i = 0; i < std::size(table); ++i) {
            const auto& row = table[i];
            const QRect r = designed[static_cast<qsizetype>(i)];
            const int sixth = dx / 6;
            const QRect expected(
                QPoint(r.left() + row.left * sixth, r.top() + row.top * dy),
                QPoint(r.right() + row.right * sixth, r.bottom() + row.bottom * dy));
            QCOMPARE(row.control->geometry(), expected);
        }
        // The snippets take the results list's new width; "Page" stays in sight.
        QCOMPARE(f.ListView2->columnWidth(1), where + 2 * dx / 3);
        QCOMPARE(f.ListView2->columnWidth(0), path);
        QVERIFY(f.ListView2->header()->length() <= f.ListView2->viewport()->width());

        f.resize(f.size() - QSize(dx, dy));
        for (std::size_t i = 0; i < std::size(table); ++i)
            QCOMPARE(table[i].control->geometry(), designed[static_cast<qsizetype>(i)]);
        QCOMPARE(f.ListView2->columnWidth(1), where);

        // A path column made wider takes its room from " Where", not from "Page".
        f.ListView2->header()->resizeSection(0, path + 400);
        QVERIFY(f.ListView2->header()->length() <= f.ListView2->viewport()->width());
        QVERIFY(f.ListView2->columnWidth(2) > 0);
    }

    // Opened on a screen too small for the designed layout at this scale, the
    // window is made smaller, fonts and all, and lies inside the free area.
    void opensInsideASmallScreenAtALargeScale() {
        Window w(ini);
        Form1& f = *w.form;
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY2(area.width() < 1064, "the screen must be smaller than the designed window");
        placeWindow(f);
        QVERIFY(f.windowLayout().scale() < 1.0);
        QVERIFY(area.contains(f.geometry()));
        QCOMPARE(f.PushButton1->font().pointSizeF(), 11.25 * f.windowLayout().scale());
        const QRect inside = f.rect();
        for (QWidget* c : f.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (!c->isWindow() && c->isVisibleTo(&f))
                QVERIFY2(inside.contains(c->geometry()), qPrintable(c->objectName()));
        // Each frame's controls lie below its title and inside it (a check box's
        // square would otherwise cross the frame's edge).
        for (QGroupBox* frame : f.findChildren<QGroupBox*>())
            for (QWidget* c : frame->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
                QVERIFY2(c->y() >= frame->contentsRect().top() &&
                             c->geometry().bottom() < frame->height() + 2,
                         qPrintable(c->objectName()));
        // The two columns of controls do not overlap.
        QVERIFY(f.Frame3->geometry().right() < f.ProgressBar1->geometry().left());
        // All three result columns show beside the scroll bar, as at the designed size.
        const QTreeView* list = f.ListView2;
        QVERIFY(list->header()->length() + 2 * list->frameWidth() +
                    list->style()->pixelMetric(QStyle::PM_ScrollBarExtent) <=
                list->width());
    }

    void sizePlaceAndColumnsAreKeptForTheNextStart() {
        const QRect where(8, 50, 837, 440);
        QList<int> widths;
        {
            Window w(ini);
            Form1& f = *w.form;
            placeWindow(f);
            f.setGeometry(where);
            f.ListView1->setColumnWidth(0, 301);
            f.ListView2->setColumnWidth(0, 222);
            f.ListView2->setColumnWidth(1, 111);
            widths = columnWidths(f.ListView2);
            f.close();
        }
        allowExtractions();
        QCOMPARE(stored("WindowMaximized"), QStringLiteral("False"));
        {
            Window w(ini);
            Form1& f = *w.form;
            placeWindow(f);
            QCOMPARE(f.geometry(), where);
            QCOMPARE(f.ListView1->columnWidth(0), 301);
            QCOMPARE(columnWidths(f.ListView2), widths);
            QVERIFY(!(f.windowState() & Qt::WindowMaximized));
        }
        // A window never placed on the screen (a test's, say) keeps nothing.
        store(QStringLiteral("WindowGeometry"), QStringLiteral("untouched"));
        {
            Window w(ini);
            w.form->close();
        }
        allowExtractions();
        QCOMPARE(stored("WindowGeometry"), QStringLiteral("untouched"));
    }

    void maximizedIsRestoredAndAPlaceOnNoScreenIsIgnored() {
        store(QStringLiteral("WindowGeometry"), QStringLiteral("5000,4000,837,400"));
        store(QStringLiteral("WindowMaximized"), QStringLiteral("True"));
        Window w(ini);
        placeWindow(*w.form);
        QVERIFY(w.form->windowState() & Qt::WindowMaximized);
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY(area.contains(w.form->geometry()));
        QCOMPARE(w.form->size(), QSize(837, 400));
    }

    // The rules of the placement on screens the test cannot have.
    void placementFollowsTheFontAndFitsTheScreen() {
        const QSize designed(1064, 495);
        const QMargins frame(8, 32, 8, 8);
        const QRect big(0, 0, 1920, 1040);
        const QRect second(1920, 0, 1280, 800);
        const struct {
            const char* name;
            QList<QRect> screens;
            double fontRatio;
            const char* stored;
            double scale;
            QRect geometry;
        } cases[] = {
            // A first start takes 80 % of the screen's room, never less than the minimum.
            {"first start, centred", {big}, 1.0, "", 1.0, QRect(198, 132, 1523, 800)},
            {"larger desktop font", {big}, 1.25, "", 1.25, QRect(198, 132, 1523, 800)},
            {"font too large for the screen",
             {second.translated(-1920, 0)},
             1.5,
             "",
             1264.0 / 1064,
             QRect(8, 108, 1264, 608)},
            {"kept on the second screen",
             {big, second},
             1.0,
             "2000,100,1100,500",
             1.0,
             QRect(2000, 100, 1100, 500)},
            {"sticking out: moved inside",
             {big},
             1.0,
             "1500,900,1100,500",
             1.0,
             QRect(812, 532, 1100, 500)},
            {"on no screen: centred on the primary",
             {big, second},
             1.0,
             "-3000,50,1100,500",
             1.0,
             QRect(410, 282, 1100, 500)},
            {"larger than the screen: as large as it",
             {second},
             1.0,
             "1920,0,3000,3000",
             1.0,
             QRect(1928, 32, 1264, 760)},
            {"not a geometry", {big}, 1.0, "1,2,three,4", 1.0, QRect(198, 132, 1523, 800)},
        };
        for (const auto& c : cases) {
            PlacementRequest q;
            q.screens = c.screens;
            q.defaultSize = designed;
            q.fontRatio = c.fontRatio;
            q.frame = frame;
            q.storedGeometry = QString::fromLatin1(c.stored);
            const Placement p = planPlacement(q);
            QVERIFY2(qAbs(p.scale - c.scale) < 1e-9, c.name);
            QVERIFY2(p.geometry == c.geometry,
                     qPrintable(QStringLiteral("%1: %2").arg(c.name, geometryText(p.geometry))));
        }
    }

    void enterInThePhraseStartsTheSearchAndOnARowOpensIt() {
        Window w(ini);
        Form1& f = *w.form;
        f.Text1->setText(QStringLiteral("salad"));
        QTest::keyClick(f.Text1, Qt::Key_Return);
        QCOMPARE(w.boxes.messageTexts(), QStringList{QStringLiteral("No files added.")});
        // While a search runs, Enter does not stop it.
        f.PushButton7->setText(QStringLiteral("Stop Searching"));
        QTest::keyClick(f.Text1, Qt::Key_Return);
        QCOMPARE(w.boxes.messageTexts().size(), 1);

        const QString pdf = tmp->filePath(QStringLiteral("a.pdf"));
        QFile file(pdf);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        f.results.addRow(QStringLiteral("/nowhere/x.pdf"), QStringLiteral("..."));
        f.results.addRow(pdf, QStringLiteral("..."));
        f.results.publish();
        f.ListView2->setCurrentIndex(f.ListView2->model()->index(1, 0));
        QTest::keyClick(f.ListView2, Qt::Key_Enter);
        QCOMPARE(w.desktop.opened, QStringList{pdf});
    }

    // The view's third column shows each hit's page, and its snippets know
    // where the phrase is; the text file, the clipboard and the workbook keep
    // the list's two columns.
    void pageColumnShowsThePageAndTheExportsKeepTwoColumns() {
        const QString pdf = tmp->filePath(QStringLiteral("pages.pdf"));
        test::makeTextPdf(pdf, {QStringLiteral("kiwi on one"), QStringLiteral("none"),
                                QStringLiteral("kiwi on three")});
        Window w(ini, tmp->path());
        Form1& f = *w.form;
        f.Text1->setText(QStringLiteral("kiwi"));
        f.fileList.add(pdf);
        QVERIFY(test::searchToEnd(f));
        const QAbstractItemModel* view = f.ListView2->model();
        QCOMPARE(view->columnCount(), 3);
        QCOMPARE(view->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Page"));
        QCOMPARE(view->rowCount(), 2);
        QCOMPARE(view->index(0, 2).data().toString(), QStringLiteral("1"));
        QCOMPARE(view->index(1, 2).data().toString(), QStringLiteral("3"));
        // Each snippet knows where it shows the phrase, for the view's bold.
        for (int r = 0; r < 2; ++r) {
            const QModelIndex where = view->index(r, 1);
            const QPoint match = where.data(ResultsView::kMatchRole).toPoint();
            QCOMPARE(where.data().toString().mid(match.x(), match.y()), QStringLiteral("kiwi"));
        }

        QString expected = QStringLiteral("Results (File)\t Where\t\r\n");
        for (int r = 0; r < 2; ++r)
            expected += pdf + u'\t' + text::blankControls(f.results.row(r).text(1)) +
                        QStringLiteral("\t\r\n");
        const QString saved = tmp->filePath(QStringLiteral("saved.txt"));
        w.dialogs.saveAnswers.push_back(saved);
        f.PushButton4_Click();
        QFile file(saved);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(file.readAll()), expected);

        f.results.setChecked(1, true);
        f.PushButton8_Click();
        QCOMPARE(w.clipboard.value.count(u'\t'), 1);
        QVERIFY(w.clipboard.value.startsWith(pdf + u'\t'));

        f.PushButton13_Click();
        QCOMPARE(w.desktop.opened.size(), 1);
        QCOMPARE(workbookCells(w.desktop.opened[0]), QStringLiteral("A1 B1 A2 B2 A3 B3"));
    }

    // The bold part of a snippet is its occurrence, counted in the units of the
    // shown text whatever the characters before it, and cut where the snippet ends.
    void shownMatchIsTheOccurrenceInTheShownSnippet() {
        const std::string accents = [] {
            std::string s;
            for (int i = 0; i < 20; ++i) s += "\xc3\xa9";  // é
            return s;
        }();
        const struct {
            std::string chunk;
            std::size_t offset, bytes;
            int start;
            const char* shown;
        } cases[] = {
            {"a salad bowl", 2, 5, 2, "salad"},
            {accents + " salad", 41, 5, 18, "salad"},      // behind "..."
            {"\xf0\x9d\x84\x9e salad", 5, 5, 3, "salad"},  // a character of two units
            {"0123456789" + std::string(40, 's'), 10, 40, 10, "ssssssssssssssssssss"},
            {"two\nlines", 2, 3, 2, "o\nl"},  // a loose match over a line end
        };
        for (const auto& c : cases) {
            const Snippet snippet = snippetAt(c.chunk, c.offset);
            const QPoint p = shownMatch(snippet, c.bytes);
            QCOMPARE(p.x(), c.start);
            QCOMPARE(snippet.toString().mid(p.x(), p.y()), QString::fromUtf8(c.shown));
        }
    }

    // Faults: a match option's box outside "Case Options", its key not stored
    // on a click or not restored at start-up, the option not reaching the
    // search, a value that is no truth word passed over silently.
    void matchOptionsAreStoredAndRestored() {
        using Field = bool SearchOptions::*;
        const struct {
            QCheckBox* Form1::*box;
            const char* key;
            Field option;
            int step;
        } boxes[] = {{&Form1::Check2, "Loose", &SearchOptions::loose, 186},
                     {&Form1::Check5, "WholeWords", &SearchOptions::wholeWords, 188},
                     {&Form1::Check6, "IgnoreAccents", &SearchOptions::ignoreAccents, 190},
                     {&Form1::Check7, "Regex", &SearchOptions::regex, 192}};
        for (const auto& b : boxes) {
            const QString key = QString::fromLatin1(b.key);
            {
                Window w(ini);
                QVERIFY(!(w.form.get()->*b.box)->isChecked());
                QVERIFY(!(w.form->searchOptions().*b.option));
                QCOMPARE((w.form.get()->*b.box)->parentWidget(), w.form->Frame2);
                (w.form.get()->*b.box)->click();
                QCOMPARE(stored(b.key), QStringLiteral("True"));
            }
            {
                Window w(ini);
                QVERIFY((w.form.get()->*b.box)->isChecked());
                QVERIFY(w.form->searchOptions().*b.option);
                (w.form.get()->*b.box)->click();
                QCOMPARE(stored(b.key), QStringLiteral("False"));
            }
            // A value that is no truth word is reported where the start-up reads it.
            store(key, QStringLiteral("maybe"));
            Window w(ini);
            QVERIFY(!(w.form.get()->*b.box)->isChecked());
            QCOMPARE(w.boxes.messageTexts().size(), 1);
            QVERIFY(w.boxes.messageTexts()[0].contains(
                QStringLiteral("Form_Load at line %1").arg(b.step)));
            store(key, QStringLiteral("False"));
        }
    }
};

int main(int argc, char** argv) {
    // One 1280 × 800 screen at 150 %.
    QTemporaryDir dir;
    const QString config = dir.filePath(QStringLiteral("screens.json"));
    QFile json(config);
    if (!json.open(QIODevice::WriteOnly)) return 1;
    json.write(R"({"screens": [{"name": "s", "x": 0, "y": 0, "width": 1280, "height": 800,
                   "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
    json.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(config));
    qputenv("QT_FONT_DPI", "144");
    QApplication app(argc, argv);
    WindowViewTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_window_view.moc"
