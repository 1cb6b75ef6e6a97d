#pragma once

// The notification-area icon. Adding fails when the desktop has no notification area; the
// program then keeps its frame window visible.

#include <QHash>
#include <QIcon>
#include <QObject>
#include <QPoint>

class QSystemTrayIcon;

namespace kr {

class TrayHost : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~TrayHost() override = default;

    // The icon is named by its resource, e.g. "tray_ico" for ":/icons/tray_ico.svg".
    virtual bool add(const QString& icon, const QString& tip) = 0;
    virtual bool modify(const QString& icon, const QString& tip) = 0;
    virtual bool remove() = 0;
    virtual bool shown() const = 0;

Q_SIGNALS:
    void leftClicked();
    void doubleClicked();
    void menuRequested(const QPoint& at);
};

class QtTrayHost final : public TrayHost {
    Q_OBJECT
public:
    explicit QtTrayHost(QObject* parent = nullptr);
    ~QtTrayHost() override;

    bool add(const QString& icon, const QString& tip) override;
    bool modify(const QString& icon, const QString& tip) override;
    bool remove() override;
    bool shown() const override;

private:
    QIcon iconFor(const QString& name);

    QSystemTrayIcon* icon_ = nullptr;
    QString shownIcon_;
    QHash<QString, QIcon> icons_;
};

} // namespace kr
