#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace kr::test {

// In a run of the tests with the shared tables on the suite's server: a database of its own
// (a schema dropped when the test ends) for one more installation in the same test, since
// KELVRAY_DATABASE names one for the whole test. Empty in a run on data files.
QString AnotherServerDatabase();

// While it lives, the stores and programs a test starts belong to an installation of their
// own: in a run on the server KELVRAY_DATABASE names another schema; on data files, the
// folder alone tells installations apart and nothing changes.
class SeparateInstallation {
public:
    SeparateInstallation()
        : before_(qgetenv("KELVRAY_DATABASE")) {
        const QString database = AnotherServerDatabase();
        if (!database.isEmpty())
            qputenv("KELVRAY_DATABASE", database.toUtf8());
    }
    ~SeparateInstallation() {
        if (before_.isEmpty())
            qunsetenv("KELVRAY_DATABASE");
        else
            qputenv("KELVRAY_DATABASE", before_);
    }
    SeparateInstallation(const SeparateInstallation&) = delete;
    SeparateInstallation& operator=(const SeparateInstallation&) = delete;

private:
    QByteArray before_;
};

} // namespace kr::test
