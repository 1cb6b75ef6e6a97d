#include "platform/qt/QtProgress.h"

#include <QCoreApplication>
#include <QProgressDialog>

namespace kr {

QtProgress::QtProgress() = default;

QtProgress::~QtProgress() = default;

void QtProgress::begin(const QString& title, const QString& text) {
    text_ = text;
    percent_ = -1;
    dialog_ = std::make_unique<QProgressDialog>(text, QStringLiteral("Cancel"), 0, 100);
    dialog_->setWindowTitle(title);
    dialog_->setMinimumDuration(500);
    dialog_->setAutoClose(false);
    dialog_->setAutoReset(false);
    dialog_->setValue(0);
}

void QtProgress::update(int percent) {
    if (!dialog_ || percent == percent_)
        return;
    percent_ = percent;
    dialog_->setValue(percent);
    dialog_->setLabelText(text_ + QLatin1Char('\n') + QString::number(percent) +
                          QStringLiteral("% Completed"));
    QCoreApplication::processEvents();
}

bool QtProgress::cancelled() const {
    return dialog_ && dialog_->wasCanceled();
}

void QtProgress::end() {
    dialog_.reset();
}

} // namespace kr
