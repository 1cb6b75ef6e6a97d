#pragma once

// Helpers of the fuzz targets: the input read as lines of text, and a check that ends the run
// (so that the fuzzer keeps the input) when a property of the code under test does not hold.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                                                \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition);            \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (false)

namespace kr::fuzz {

inline QString Text(const uint8_t* data, size_t size) {
    return QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

// The input split at its line ends ("\n"); a missing line reads as empty.
class Lines {
public:
    Lines(const uint8_t* data, size_t size)
        : lines_(Text(data, size).split(QLatin1Char('\n'))) {}

    QString operator[](qsizetype i) const { return lines_.value(i); }
    qsizetype size() const { return lines_.size(); }
    const QStringList& all() const { return lines_; }

private:
    QStringList lines_;
};

// A file of the given name in a folder of its own for the run, in memory where the system
// offers that (readers of files are fuzzed through real files, and writes there are cheap).
// Each call writes the input into it.
inline QString ScratchFile(const QString& name, const uint8_t* data, size_t size) {
    static QTemporaryDir dir(QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                                 ? QStringLiteral("/dev/shm/kelvray-fuzz-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/kelvray-fuzz-XXXXXX"));
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!dir.isValid() || !f.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        f.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size)) !=
            static_cast<qint64>(size)) {
        std::fprintf(stderr, "cannot write the scratch file %s\n", qPrintable(path));
        std::abort();
    }
    return path;
}

} // namespace kr::fuzz
