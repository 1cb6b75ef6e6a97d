#pragma once

#include <QDir>
#include <QTemporaryDir>

namespace kr::test {

// A fresh directory for one test's files, removed afterwards.
class TempDir {
public:
    TempDir()
        : dir_(QDir::tempPath() + QStringLiteral("/kelvray-test-XXXXXX")) {}
    QString path() const { return dir_.path(); }
    QString file(const QString& name) const { return dir_.filePath(name); }

private:
    QTemporaryDir dir_;
};

} // namespace kr::test
