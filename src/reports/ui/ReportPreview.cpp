#include "reports/ui/ReportPreview.h"

#include "reports/Report.h"

#include <QAbstractScrollArea>
#include <QAction>
#include <QCache>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSpinBox>
#include <QToolBar>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace kr {

// The pages one under the other on a grey ground. Only the pages in sight are painted, each
// once per zoom (a few are kept for scrolling back).
class ReportPageView final : public QAbstractScrollArea {
public:
    enum class Fit { None, Width, Page };

    explicit ReportPageView(const ReportRenderer& renderer, QWidget* parent)
        : QAbstractScrollArea(parent)
        , renderer_(renderer)
        , paper_(renderer.paperSize()) {
        setFocusPolicy(Qt::StrongFocus);
        viewport()->setAutoFillBackground(false);
        cache_.setMaxCost(96 * 1024); // kilobytes
        verticalScrollBar()->setSingleStep(40);
        horizontalScrollBar()->setSingleStep(40);
        connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { pageMayHaveChanged(); });
    }

    std::function<void(int page)> pageChanged; // from 0

    int pageCount() const { return renderer_.pageCount(); }
    int painted() const { return painted_; }

    int currentPage() const {
        if (pageCount() == 0 || stride() <= 0)
            return 0;
        const double middle = verticalScrollBar()->value() + viewport()->height() / 2.0 - kGap;
        return std::clamp(static_cast<int>(std::floor(middle / stride())), 0, pageCount() - 1);
    }

    void goToPage(int page) {
        page = std::clamp(page, 0, std::max(0, pageCount() - 1));
        verticalScrollBar()->setValue(static_cast<int>(std::lround(page * stride())));
    }

    void setFit(Fit fit) {
        fit_ = fit;
        applyFit();
    }

    void zoomBy(double factor) {
        fit_ = Fit::None;
        setZoom(zoom_ * factor);
    }

    // After the pages were laid out again (another paper chosen to print on).
    void relayout() {
        paper_ = renderer_.paperSize();
        cache_.clear();
        if (fit_ != Fit::None)
            applyFit();
        updateScrollBars();
        viewport()->update();
        pageMayHaveChanged();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(viewport());
        p.fillRect(viewport()->rect(), palette().color(QPalette::Dark));
        if (pageCount() == 0 || stride() <= 0)
            return;
        const QSizeF shown = paper_ * zoom_;
        const int top = verticalScrollBar()->value();
        const double contentW = shown.width() + 2 * kGap;
        const double x = contentW <= viewport()->width() ? (viewport()->width() - shown.width()) / 2.0
                                                         : kGap - horizontalScrollBar()->value();
        for (int i = std::max(0, static_cast<int>((top - kGap) / stride())); i < pageCount(); ++i) {
            const double y = kGap + i * stride() - top;
            if (y >= viewport()->height())
                break;
            const QRectF sheet(QPointF(x, y), shown);
            p.fillRect(sheet.translated(3, 3), palette().color(QPalette::Shadow));
            p.drawImage(sheet.topLeft(), page(i));
        }
    }

    void resizeEvent(QResizeEvent* event) override {
        QAbstractScrollArea::resizeEvent(event);
        if (fit_ != Fit::None)
            applyFit();
        else
            updateScrollBars();
    }

    void wheelEvent(QWheelEvent* event) override {
        if (event->modifiers() & Qt::ControlModifier) {
            zoomBy(event->angleDelta().y() > 0 ? 1.25 : 0.8);
            event->accept();
            return;
        }
        QAbstractScrollArea::wheelEvent(event);
    }

    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Home) {
            goToPage(0);
            return;
        }
        if (event->key() == Qt::Key_End) {
            goToPage(pageCount() - 1);
            return;
        }
        QAbstractScrollArea::keyPressEvent(event);
    }

private:
    static constexpr double kGap = 16;

    double stride() const { return paper_.height() * zoom_ + kGap; }

    // The page's image at the present zoom, sharp on screens of more than one pixel per point.
    const QImage& page(int i) {
        if (const QImage* kept = cache_.object(i))
            return *kept;
        const qreal ratio = devicePixelRatioF();
        QImage image = renderer_.renderPage(i, zoom_ * ratio);
        image.setDevicePixelRatio(ratio);
        ++painted_;
        const int cost = std::max<int>(1, static_cast<int>(image.sizeInBytes() / 1024));
        // A page dearer than the whole cache is held here until the next one.
        if (cost > cache_.maxCost()) {
            last_ = std::move(image);
            return last_;
        }
        auto* kept = new QImage(std::move(image));
        cache_.insert(i, kept, cost);
        return *kept;
    }

    void applyFit() {
        if (paper_.isEmpty())
            return;
        const double width = (viewport()->width() - 2 * kGap) / paper_.width();
        const double height = (viewport()->height() - 2 * kGap) / paper_.height();
        setZoom(fit_ == Fit::Page ? std::min(width, height) : width);
    }

    void setZoom(double zoom) {
        // Between a tenth and four times the sheet's real size on this screen.
        const QScreen* screen = this->screen();
        const double dpi = screen != nullptr ? screen->logicalDotsPerInch() : 96.0;
        const double real = dpi / std::max(1, renderer_.resolution());
        zoom = std::clamp(zoom, real * 0.1, real * 4);
        if (std::abs(zoom - zoom_) < 1e-9)
            return;
        // The page in the middle stays in the middle.
        const int page = currentPage();
        const double within = stride() > 0 ? (verticalScrollBar()->value() - page * stride()) / stride() : 0;
        zoom_ = zoom;
        cache_.clear();
        updateScrollBars();
        verticalScrollBar()->setValue(static_cast<int>(std::lround((page + within) * stride())));
        viewport()->update();
    }

    void updateScrollBars() {
        const double contentH = kGap + pageCount() * stride();
        verticalScrollBar()->setRange(0, std::max(0, static_cast<int>(contentH) - viewport()->height()));
        verticalScrollBar()->setPageStep(viewport()->height());
        const double contentW = paper_.width() * zoom_ + 2 * kGap;
        horizontalScrollBar()->setRange(0, std::max(0, static_cast<int>(contentW) - viewport()->width()));
        horizontalScrollBar()->setPageStep(viewport()->width());
    }

    void pageMayHaveChanged() {
        const int page = currentPage();
        if (page != shownPage_) {
            shownPage_ = page;
            if (pageChanged)
                pageChanged(page);
        }
    }

    const ReportRenderer& renderer_;
    QSizeF paper_;
    double zoom_ = 0.1;
    Fit fit_ = Fit::Width;
    QCache<int, QImage> cache_;
    QImage last_;
    int painted_ = 0;
    int shownPage_ = 0;
};

ReportPreview::ReportPreview(const ReportRenderer& renderer, const QString& title,
                             std::function<bool()> print, QWidget* parent)
    : QDialog(parent)
    , view_(new ReportPageView(renderer, this))
    , page_(new QSpinBox(this))
    , of_(new QLabel(this))
    , print_(std::move(print)) {
    setWindowTitle(title);
    setWindowFlag(Qt::WindowMaximizeButtonHint);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto* tools = new QToolBar(this);
    const auto add = [&](const QString& icon, const QString& text, const QKeySequence& key, auto slot) {
        QAction* action = tools->addAction(QIcon::fromTheme(icon), text);
        action->setToolTip(key.isEmpty() ? text
                                         : text + QStringLiteral(" (") +
                                               key.toString(QKeySequence::NativeText) + QLatin1Char(')'));
        if (!key.isEmpty())
            action->setShortcut(key);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    add(QStringLiteral("zoom-fit-width"), tr("Fit Width"), QKeySequence(), [this] { fitWidth(); });
    add(QStringLiteral("zoom-fit-best"), tr("Fit Page"), QKeySequence(), [this] { fitPage(); });
    add(QStringLiteral("zoom-in"), tr("Zoom In"), QKeySequence::ZoomIn, [this] { zoomBy(1.25); });
    add(QStringLiteral("zoom-out"), tr("Zoom Out"), QKeySequence::ZoomOut, [this] { zoomBy(0.8); });
    tools->addSeparator();
    add(QStringLiteral("go-first"), tr("First Page"), QKeySequence(Qt::CTRL | Qt::Key_Home),
        [this] { goToPage(1); });
    add(QStringLiteral("go-previous"), tr("Previous Page"), QKeySequence(),
        [this] { goToPage(currentPage() - 1); });
    page_->setRange(1, std::max(1, renderer.pageCount()));
    page_->setKeyboardTracking(false);
    page_->setAccessibleName(tr("Page"));
    tools->addWidget(page_);
    of_->setText(tr(" of %1 ").arg(renderer.pageCount()));
    tools->addWidget(of_);
    add(QStringLiteral("go-next"), tr("Next Page"), QKeySequence(), [this] { goToPage(currentPage() + 1); });
    add(QStringLiteral("go-last"), tr("Last Page"), QKeySequence(Qt::CTRL | Qt::Key_End),
        [this] { goToPage(pageCount()); });

    auto* printButton =
        new QPushButton(QIcon::fromTheme(QStringLiteral("document-print")), tr("&Print..."), this);
    printButton->setShortcut(QKeySequence::Print);
    printButton->setToolTip(tr("Print the report"));
    auto* close = new QPushButton(tr("&Close"), this);
    connect(printButton, &QPushButton::clicked, this, [this] {
        if (print_ && print_()) {
            accept();
            return;
        }
        // The print dialog may have changed the paper, and the pages with it.
        view_->relayout();
        page_->setRange(1, std::max(1, view_->pageCount()));
        of_->setText(tr(" of %1 ").arg(view_->pageCount()));
    });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    auto* spacer = new QWidget(this);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    tools->addWidget(spacer);
    tools->addWidget(printButton);
    tools->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(tools);
    layout->addWidget(view_, 1);

    connect(page_, &QSpinBox::valueChanged, this, [this](int page) {
        if (page != currentPage())
            view_->goToPage(page - 1);
    });
    view_->pageChanged = [this](int page) { showPage(page + 1); };
    view_->setFocus();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        resize(screen->availableGeometry().size() * 0.85);
}

int ReportPreview::pageCount() const {
    return view_->pageCount();
}

int ReportPreview::currentPage() const {
    return view_->currentPage() + 1;
}

void ReportPreview::goToPage(int page) {
    view_->goToPage(page - 1);
}

void ReportPreview::fitWidth() {
    view_->setFit(ReportPageView::Fit::Width);
}

void ReportPreview::fitPage() {
    view_->setFit(ReportPageView::Fit::Page);
}

void ReportPreview::zoomBy(double factor) {
    view_->zoomBy(factor);
}

int ReportPreview::pagesPainted() const {
    return view_->painted();
}

void ReportPreview::showPage(int page) {
    const QSignalBlocker quiet(page_);
    page_->setValue(page);
}

} // namespace kr
