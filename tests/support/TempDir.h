#pragma once

#include <QDir>
#include <QFile>
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

// A file's whole content; empty when it cannot be read.
inline QByteArray FileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace kr::test
