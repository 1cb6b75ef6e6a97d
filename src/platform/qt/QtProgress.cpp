#include "platform/qt/QtProgress.h"

#include "platform/Dialogs.h"

#include <QDateTime>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace kr {

namespace {
constexpr qint64 kShowAfterMs = 500;
} // namespace

// The window itself: a text, a bar and Cancel. Esc and the close button count as Cancel.
class ProgressWindow final : public QDialog {
public:
    ProgressWindow(QtProgress& owner, QWidget* parent)
        : QDialog(parent)
        , owner_(owner) {
        setObjectName(QStringLiteral("Progress"));
        auto* layout = new QVBoxLayout(this);
        label = new QLabel;
        label->setObjectName(QStringLiteral("text"));
        bar = new QProgressBar;
        bar->setRange(0, 100);
        bar->setValue(0);
        cancel = new QPushButton(QStringLiteral("Cancel"));
        layout->addWidget(label);
        layout->addWidget(bar);
        auto* row = new QHBoxLayout;
        row->addStretch();
        row->addWidget(cancel);
        layout->addLayout(row);
        connect(cancel, &QPushButton::clicked, this, [this] { owner_.cancelRequested(); });
        setMinimumWidth(300);
        setWindowModality(parent != nullptr ? Qt::WindowModal : Qt::ApplicationModal);
    }
    // Esc and the close button.
    void reject() override { owner_.cancelRequested(); }

    QLabel* label = nullptr;
    QProgressBar* bar = nullptr;
    QPushButton* cancel = nullptr;

private:
    QtProgress& owner_;
};

QtProgress::QtProgress(Dialogs* dialogs, QWidget* parent)
    : dialogs_(dialogs)
    , parent_(parent) {}

QtProgress::~QtProgress() {
    end();
}

void QtProgress::doBegin(const QString& title, const QString& text) {
    end();
    text_ = text;
    question_.clear();
    questionCaption_.clear();
    yesNo_ = false;
    percent_ = -1;
    cancelled_ = false;
    started_ = QDateTime::currentMSecsSinceEpoch();
    window_ = new ProgressWindow(*this, parent_);
    window_->setWindowTitle(title);
    relabel();
}

void QtProgress::relabel() {
    if (!window_)
        return;
    const QString percent = QString::number(qMax(0, percent_)) + QStringLiteral("% Completed");
    window_->label->setText(text_.isEmpty() ? percent : text_ + QLatin1Char('\n') + percent);
}

void QtProgress::doUpdate(int percent) {
    if (!window_)
        return;
    percent = qBound(0, percent, 100);
    if (percent != percent_) {
        percent_ = percent;
        window_->bar->setValue(percent);
        relabel();
    }
    if (!window_->isVisible() && QDateTime::currentMSecsSinceEpoch() - started_ >= kShowAfterMs)
        window_->show();
    // Lets Cancel be pressed once the window shows; not while its question is up.
    if (window_->isVisible() && !asking_)
        ProcessEvents();
}

void QtProgress::doSetText(const QString& text) {
    text_ = text;
    relabel();
    if (window_ && window_->isVisible() && !asking_)
        ProcessEvents();
}

void QtProgress::setCancelQuestion(const QString& text, const QString& caption) {
    question_ = text;
    questionCaption_ = caption;
    yesNo_ = false;
}

void QtProgress::setCancelQuestionYesNo(const QString& text, const QString& caption) {
    setCancelQuestion(text, caption);
    yesNo_ = true;
}

void QtProgress::cancelRequested() {
    if (asking_ || cancelled_)
        return;
    if (question_.isEmpty() || dialogs_ == nullptr) {
        cancelled_ = true;
        return;
    }
    asking_ = true;
    const Dialogs::Button yes = yesNo_ ? Dialogs::Yes : Dialogs::Ok;
    const Dialogs::Button no = yesNo_ ? Dialogs::No : Dialogs::Cancel;
    const Dialogs::Button answer =
        dialogs_->message(question_, questionCaption_, Dialogs::Icon::Question, yes | no, yesNo_ ? no : yes);
    asking_ = false;
    // Declined: the run goes on where it stood, the window as it was.
    cancelled_ = answer == yes;
}

bool QtProgress::cancelled() const {
    return cancelled_;
}

void QtProgress::end() {
    if (window_) {
        window_->hide();
        // Ended from inside its own cancel question (the run finished while the user was
        // asked): the window goes once the question's handler has returned.
        if (asking_)
            window_->deleteLater();
        else
            delete window_.data();
    }
    window_ = nullptr;
}

QDialog* QtProgress::window() const {
    return window_.data();
}

void QtProgress::showNow() {
    if (window_)
        window_->show();
}

ProgressWindows QtProgressWindows(Dialogs* dialogs, QWidget* parent) {
    return ProgressWindows([dialogs, parent]() -> std::unique_ptr<Progress> {
        return std::make_unique<QtProgress>(dialogs, parent);
    });
}

} // namespace kr
