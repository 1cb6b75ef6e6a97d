#pragma once

#include "platform/qt/TrayHost.h"

#include <QStringList>

namespace kr::test {

// A notification area that the test turns on and off, recording what the program shows.
class FakeTrayHost final : public TrayHost {
    Q_OBJECT
public:
    bool available = true;
    bool removable = true;
    bool isShown = false;
    QString tip;
    QStringList icons; // the icons shown, in order
    int adds = 0;
    int removes = 0;

    bool add(const QString& icon, const QString& t) override {
        ++adds;
        if (!available)
            return false;
        isShown = true;
        tip = t;
        icons << icon;
        return true;
    }
    bool modify(const QString& icon, const QString& t) override {
        if (!isShown)
            return false;
        tip = t;
        icons << icon;
        return true;
    }
    bool remove() override {
        ++removes;
        if (!removable)
            return false;
        isShown = false;
        return true;
    }
    bool shown() const override { return isShown; }

    void click() { Q_EMIT leftClicked(); }
    void doubleClick() { Q_EMIT doubleClicked(); }
};

} // namespace kr::test
