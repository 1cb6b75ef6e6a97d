#include "platform/qt/TrayHost.h"

#include <QCursor>
#include <QSystemTrayIcon>

namespace kr {

QtTrayHost::QtTrayHost(QObject* parent)
    : TrayHost(parent) {}

QtTrayHost::~QtTrayHost() {
    delete icon_;
}

bool QtTrayHost::add(const QString& icon, const QString& tip) {
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return false;
    if (icon_ == nullptr) {
        icon_ = new QSystemTrayIcon(this);
        connect(icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            switch (reason) {
            case QSystemTrayIcon::Trigger:
                Q_EMIT leftClicked();
                break;
            case QSystemTrayIcon::DoubleClick:
                Q_EMIT doubleClicked();
                break;
            case QSystemTrayIcon::Context:
                Q_EMIT menuRequested(QCursor::pos());
                break;
            default:
                break;
            }
        });
    }
    shownIcon_ = icon;
    icon_->setIcon(iconFor(icon));
    icon_->setToolTip(tip.left(63));
    icon_->show();
    return icon_->isVisible();
}

bool QtTrayHost::modify(const QString& icon, const QString& tip) {
    if (icon_ == nullptr || !icon_->isVisible())
        return false;
    if (icon != shownIcon_) {
        icon_->setIcon(iconFor(icon));
        shownIcon_ = icon;
    }
    if (icon_->toolTip() != tip.left(63))
        icon_->setToolTip(tip.left(63));
    return true;
}

QIcon QtTrayHost::iconFor(const QString& name) {
    // The animation shows the same few icons over and over: each is loaded once.
    auto it = icons_.find(name);
    if (it == icons_.end())
        it = icons_.insert(name, QIcon(QStringLiteral(":/icons/%1.svg").arg(name)));
    return *it;
}

bool QtTrayHost::remove() {
    if (icon_ == nullptr)
        return true;
    icon_->hide();
    return true;
}

bool QtTrayHost::shown() const {
    return icon_ != nullptr && icon_->isVisible();
}

} // namespace kr
