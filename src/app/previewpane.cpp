#include "app/previewpane.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <cmath>

#include "results/resultrows.h"

namespace qm {

// The page as shown: its image scaled to the pane's width, and the marks.
class PageCanvas : public QWidget {
  public:
    explicit PageCanvas(PreviewPane& pane) : QWidget(nullptr), pane_(pane) {
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

    // Points of the page to pixels of the canvas.
    double scale() const { return scale_; }
    void fit(int width, int dpi) {
        const QImage& image = pane_.image();
        if (image.isNull()) {
            resize(0, 0);
            return;
        }
        const double pixels = double(width) / image.width();  // canvas pixels per image pixel
        scale_ = pixels * dpi / 72.0;
        resize(width, static_cast<int>(image.height() * pixels));
        update();
    }
    QRectF toCanvas(const QRectF& points) const {
        return QRectF(points.topLeft() * scale_, points.size() * scale_);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(rect(), pane_.image());
        QColor mark = palette().color(QPalette::Highlight);
        const auto& marks = pane_.marks();
        for (int i = 0; i < static_cast<int>(marks.size()); ++i) {
            const bool own = i == pane_.markedOccurrence();
            mark.setAlpha(own ? 150 : 70);
            p.setPen(own ? QPen(palette().color(QPalette::Highlight), 2) : Qt::NoPen);
            p.setBrush(mark);
            for (const QRectF& box : marks[static_cast<std::size_t>(i)])
                p.drawRect(toCanvas(box).adjusted(-1, -1, 1, 1));
        }
    }
    void mouseDoubleClickEvent(QMouseEvent*) override { Q_EMIT pane_.openRequested(); }

  private:
    PreviewPane& pane_;
    double scale_ = 1;
};

int occurrenceOnPage(const ResultRows& rows, int row) {
    const ResultRow& hit = rows.row(row);
    int before = 0;
    for (int r = 0; r < row; ++r) {
        const ResultRow& other = rows.row(r);
        if (other.page == hit.page && other.phrase == hit.phrase && other.path == hit.path)
            ++before;
    }
    return before;
}

QString pageFailureText(const PageImage& image) {
    QString why;
    switch (image.outcome) {
        case PageOutcome::Shown:
        case PageOutcome::Ended:
            return {};
        case PageOutcome::NoRenderer:
            why = QStringLiteral("pdftoppm (poppler-utils) was not found.");
            break;
        case PageOutcome::NoFile:
            why = QStringLiteral("the file is missing.");
            break;
        case PageOutcome::NotDecrypted:
            why = QStringLiteral("the file could not be opened with its password.");
            break;
        case PageOutcome::RenderFailed:
            why = image.exitCode > 0
                      ? QStringLiteral("pdftoppm failed (exit status %1); the file may be damaged.")
                            .arg(image.exitCode)
                      : QStringLiteral("pdftoppm gave no image; the page may be damaged.");
            break;
        case PageOutcome::TimedOut:
            why = QStringLiteral("rendering took too long.");
            break;
        case PageOutcome::WorkFolderFull:
            why = QStringLiteral("the temporary folder is full.");
            break;
    }
    return QStringLiteral("This page could not be shown: ") + why;
}

PreviewPane::PreviewPane(std::function<PageSource::Setup()> setup, QWidget* parent)
    : QWidget(parent), setup_(std::move(setup)) {
    setObjectName(QStringLiteral("Preview"));
    setFocusPolicy(Qt::StrongFocus);
    message_ = new QLabel(this);
    message_->setWordWrap(true);
    message_->hide();
    canvas_ = new PageCanvas(*this);
    scroll_ = new QScrollArea(this);
    scroll_->setWidget(canvas_);
    scroll_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    scroll_->setFocusPolicy(Qt::NoFocus);
    scroll_->viewport()->installEventFilter(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(message_);
    layout->addWidget(scroll_, 1);
}

PreviewPane::~PreviewPane() = default;

PageSource& PreviewPane::source() {
    if (!source_) {
        source_ = new PageSource(setup_(), this);
        connect(source_, &PageSource::ready, this, &PreviewPane::take);
    }
    return *source_;
}

void PreviewPane::rememberPassword(const QString& path, const QString& password) {
    passwords_.insert(path, password);
}

QString PreviewPane::message() const {
    return message_->isVisible() ? message_->text() : QString();
}

void PreviewPane::say(const QString& line) {
    message_->setText(line);
    message_->setVisible(!line.isEmpty());
}

void PreviewPane::clear() {
    hasHit_ = false;
    if (source_) source_->cancel();
    image_ = QImage();
    marks_.clear();
    own_ = -1;
    say({});
    canvas_->fit(0, dpi_);
}

void PreviewPane::showHit(const PreviewHit& hit) {
    hit_ = hit;
    hasHit_ = true;
    if (isVisible()) request();
}

int PreviewPane::wantedWidth() const {
    const double pixels = scroll_->viewport()->width() * devicePixelRatioF();
    // In steps, so that a slightly different width takes the same render.
    return std::max(64, static_cast<int>(std::ceil(pixels / 64.0)) * 64);
}

void PreviewPane::request() {
    if (!hasHit_) return;
    askedWidth_ = wantedWidth();
    source().request({hit_.path, std::max(1, hit_.page), askedWidth_, passwords_.value(hit_.path)});
}

void PreviewPane::take(quint64, std::shared_ptr<const PageImage> page) {
    marks_.clear();
    own_ = -1;
    if (!page->shown()) {
        image_ = QImage();
        canvas_->fit(0, dpi_);
        say(pageFailureText(*page));
        Q_EMIT hitShown();
        return;
    }
    image_ = QImage::fromData(page->png, "PNG");
    dpi_ = page->dpi;
    if (page->words.words.empty()) {
        say(
            QStringLiteral("This page has no text of its own (a scan read by OCR): the phrase "
                           "is not marked on it."));
    } else {
        marks_ = findOnPage(page->words, hit_.phrase, hit_.caseMode, hit_.loose);
        say({});
        if (hit_.occurrence < static_cast<int>(marks_.size())) own_ = hit_.occurrence;
    }
    canvas_->fit(scroll_->viewport()->width(), dpi_);
    if (own_ >= 0) {
        QRectF all;
        for (const QRectF& box : marks_[static_cast<std::size_t>(own_)]) all |= box;
        const QRectF r = canvas_->toCanvas(all);
        scroll_->ensureVisible(static_cast<int>(r.center().x()), static_cast<int>(r.center().y()),
                               static_cast<int>(r.width() / 2) + 20,
                               scroll_->viewport()->height() / 3);
    } else {
        scroll_->verticalScrollBar()->setValue(0);
    }
    Q_EMIT hitShown();
}

void PreviewPane::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        Q_EMIT openRequested();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool PreviewPane::eventFilter(QObject* watched, QEvent* event) {
    if (watched == scroll_->viewport() && event->type() == QEvent::Resize) {
        canvas_->fit(scroll_->viewport()->width(), dpi_);
        // Grown well past the render: a sharper one.
        if (hasHit_ && isVisible() && wantedWidth() > askedWidth_ * 5 / 4) request();
    }
    return QWidget::eventFilter(watched, event);
}

void PreviewPane::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (hasHit_) request();
}

}  // namespace qm
