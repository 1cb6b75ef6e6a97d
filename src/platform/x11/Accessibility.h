#pragma once

// The accessible objects of other programs (AT-SPI on the session's accessibility bus):
// where toolkit programs keep the texts of their buttons and fields.

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QString>

#include <sys/types.h>
#include <utility>
#include <vector>

namespace kr {

class Accessibility {
public:
    // Finds the accessibility bus through the session bus, or through the session bus at
    // `sessionAddress` when one is given.
    explicit Accessibility(QString sessionAddress = {});
    ~Accessibility();
    Accessibility(const Accessibility&) = delete;
    Accessibility& operator=(const Accessibility&) = delete;

    // (role, name) of every accessible object of the process's window with this title (every
    // window of the process when none carries the title). Empty without an accessibility bus.
    std::vector<std::pair<QString, QString>> objectsOf(pid_t pid, const QString& windowTitle);

private:
    bool connect();
    QString sessionAddress_;
    QString name_;
    QElapsedTimer lastTry_;
    bool connected_ = false;
};

} // namespace kr
