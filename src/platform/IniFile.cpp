#include "platform/IniFile.h"

#include "platform/PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>

#include <limits>

namespace kr {

namespace {

bool IsSection(const QString& line, QString* name) {
    const QString t = line.trimmed();
    if (!t.startsWith(QLatin1Char('[')))
        return false;
    const qsizetype end = t.indexOf(QLatin1Char(']'));
    if (end < 0)
        return false;
    *name = t.mid(1, end - 1).trimmed();
    return true;
}

bool IsEntry(const QString& line, const QString& entry, QString* value) {
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq < 0)
        return false;
    if (line.left(eq).trimmed().compare(entry, Qt::CaseInsensitive) != 0)
        return false;
    *value = line.mid(eq + 1).trimmed();
    return true;
}

} // namespace

QStringList IniFile::lines() const {
    QFile f(path_);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    // A file left readable by others from before is made private when it is read.
    TightenFile(path_);
    QStringList out;
    QTextStream in(&f);
    while (!in.atEnd())
        out << in.readLine();
    // The stream drops one byte-order mark; further ones are no text either, and would turn
    // into the first line's text once the file is written back without them.
    while (!out.isEmpty() && out.first().startsWith(QChar(0xFEFF)))
        out.first().remove(0, 1);
    return out;
}

QString IniFile::read(const QString& section, const QString& entry, const QString& defaultValue) const {
    bool inSection = false;
    for (const QString& line : lines()) {
        QString name;
        if (IsSection(line, &name)) {
            inSection = name.compare(section, Qt::CaseInsensitive) == 0;
            continue;
        }
        QString value;
        if (inSection && IsEntry(line, entry, &value))
            return value;
    }
    return defaultValue;
}

int IniFile::readInt(const QString& section, const QString& entry, int defaultValue) const {
    const QString v = read(section, entry);
    if (v.isEmpty())
        return defaultValue;
    // As the platform does: leading digits count, anything else reads as 0; a number beyond
    // the range of an int reads as the largest one of its sign.
    int sign = 1;
    qsizetype i = 0;
    if (i < v.size() && (v[i] == QLatin1Char('-') || v[i] == QLatin1Char('+'))) {
        sign = v[i] == QLatin1Char('-') ? -1 : 1;
        ++i;
    }
    qint64 n = 0;
    for (; i < v.size() && v[i].isDigit(); ++i)
        n = qMin<qint64>(n * 10 + v[i].digitValue(), std::numeric_limits<int>::max());
    return static_cast<int>(sign * n);
}

bool IniFile::write(const QString& section, const QString& entry, const QString& value) const {
    QStringList all = lines();
    qsizetype sectionLine = -1;
    qsizetype insertAt = -1;
    bool inSection = false;
    for (qsizetype i = 0; i < all.size(); ++i) {
        QString name;
        if (IsSection(all[i], &name)) {
            if (inSection)
                break;
            inSection = name.compare(section, Qt::CaseInsensitive) == 0;
            if (inSection) {
                sectionLine = i;
                insertAt = i + 1;
            }
            continue;
        }
        if (!inSection)
            continue;
        QString old;
        if (IsEntry(all[i], entry, &old)) {
            all[i] = all[i].left(all[i].indexOf(QLatin1Char('='))).trimmed() + QLatin1Char('=') + value;
            sectionLine = -2; // replaced
            break;
        }
        if (!all[i].trimmed().isEmpty())
            insertAt = i + 1;
    }
    if (sectionLine == -1) {
        if (!all.isEmpty() && !all.last().trimmed().isEmpty())
            all << QString();
        all << QLatin1Char('[') + section + QLatin1Char(']') << entry + QLatin1Char('=') + value;
    } else if (sectionLine >= 0) {
        all.insert(insertAt, entry + QLatin1Char('=') + value);
    }

    const QString dir = QFileInfo(path_).absolutePath();
    if (!QFileInfo::exists(dir))
        MakePrivateDir(dir);
    QSaveFile f(path_);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    // The new file replaces the old one: it is made private before anything is written to it.
    if (!f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return false;
    QTextStream out(&f);
    for (const QString& line : all)
        out << line << '\n';
    out.flush();
    return f.commit();
}

} // namespace kr
