#include "script/FileActions.h"

#include "platform/DateTime.h"
#include "platform/Pictures.h"
#include "platform/Text.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

namespace kr {

namespace {

// Folders are separated by "/" here; scripts written with "\" work the same.
QString AsPath(const QString& text) {
    QString p = Clip(text);
    p.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return p;
}

// The target of a copy or a move: a name without a dot is a folder the source goes into.
QString TargetFor(const QString& source, const QString& target) {
    if (target.contains(QLatin1Char('.')))
        return target;
    QString name = source.mid(source.lastIndexOf(QLatin1Char('/')) + 1);
    name = name.mid(name.lastIndexOf(QLatin1Char(':')) + 1);
    return target.endsWith(QLatin1Char('/')) ? target + name : target + QLatin1Char('/') + name;
}

// A file-name pattern in which "*" and "?" are the only wildcards: every other character,
// "[" and "]" included, stands for itself. Letter case is ignored.
QRegularExpression NamePattern(const QString& pattern) {
    QString rx;
    for (const QChar c : pattern) {
        if (c == QLatin1Char('*'))
            rx += QStringLiteral(".*");
        else if (c == QLatin1Char('?'))
            rx += QLatin1Char('.');
        else
            rx += QRegularExpression::escape(QString(c));
    }
    return QRegularExpression(QRegularExpression::anchoredPattern(rx),
                              QRegularExpression::CaseInsensitiveOption |
                                  QRegularExpression::DotMatchesEverythingOption);
}

// The first file (folders left out) matching a name or a pattern with "*" and "?".
QFileInfo FirstMatch(const QString& pattern) {
    const QString path = AsPath(pattern);
    if (path.isEmpty())
        return {};
    const QFileInfo info(path);
    const QRegularExpression name = NamePattern(info.fileName());
    const QFileInfoList found =
        info.absoluteDir().entryInfoList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QFileInfo& f : found) {
        if (name.match(f.fileName()).hasMatch())
            return f;
    }
    return {};
}

QString Padded(const QString& text, int width) {
    return text.left(width).leftJustified(width);
}

qint32 LogWindows(const QString& file, WindowMatcher* windows, int* error) {
    QSaveFile out(AsPath(file));
    const bool made = !QFileInfo::exists(AsPath(file));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Text)) {
        *error = 5;
        return 0;
    }
    // A file made here is the user's alone; one that was there keeps its rights.
    if (made)
        out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    std::vector<TopLevelWindow> list;
    if (windows != nullptr) {
        windows->rebuildWindowList();
        list = windows->windowList();
    }
    // The list grows while it is walked: children of a "Win" class are listed in their turn.
    for (std::size_t i = 0; i < list.size(); ++i) {
        const TopLevelWindow entry = list[i];
        out.write((WindowLogLine(entry.title, entry.handle, {}, {}, 0) + QLatin1Char('\n')).toLocal8Bit());
        if (windows == nullptr)
            continue;
        for (const ChildWindow& c : windows->system().childWindows(entry.handle)) {
            const QString text =
                c.text.isEmpty() ? QStringLiteral("<>") : c.text.left(WindowMatcher::kTextWidth);
            if (text == QStringLiteral("<>"))
                continue;
            out.write((WindowLogLine({}, 0, text, c.className, c.handle) + QLatin1Char('\n')).toLocal8Bit());
            // Accessible objects of toolkit programs are no windows and hold none.
            if (c.className.contains(QStringLiteral("Win")) && c.handle != 0)
                list.push_back(TopLevelWindow{
                    (text + QStringLiteral(" (Child of ") + Clip(entry.title) + QLatin1Char(')'))
                        .left(WindowMatcher::kTextWidth),
                    c.handle, 0});
        }
    }
    if (!out.commit())
        *error = 5;
    return static_cast<qint32>(list.size());
}

} // namespace

QString WindowLogLine(const QString& title, quint64 handle, const QString& childText,
                      const QString& childClass, quint64 childHandle) {
    return Padded(title, 40) + Padded(handle != 0 ? QString::number(handle) : QString(), 12) +
           Padded(childText, 40) + Padded(childClass, 20) +
           Padded(childHandle != 0 ? QString::number(childHandle) : QString(), 12);
}

qint32 RunFileAction(const QString& operation, const QString& firstText, const QString& secondText,
                     ValueStore& values, WindowMatcher* windows) {
    const QString first = values.substituteValues(firstText);
    const QString second = values.substituteValues(secondText);
    const QString op = Clip(operation);
    int error = 0;
    qint32 result = 0;
    auto set = [&](const char* name, const QString& value) {
        values.setValue(QString::fromLatin1(name), value);
    };

    if (op == QStringLiteral("Copy") || op == QStringLiteral("Move")) {
        const QString source = AsPath(first);
        QString target = AsPath(second);
        if (!source.isEmpty() && !target.isEmpty()) {
            target = TargetFor(source, target);
            if (op == QStringLiteral("Copy")) {
                // An existing target is replaced; copying a file onto itself is not a copy.
                if (QFileInfo(source).canonicalFilePath() != QFileInfo(target).canonicalFilePath() &&
                    QFileInfo(source).isFile()) {
                    const QString temporary = target + QStringLiteral(".kelvray-copy");
                    QFile::remove(temporary);
                    result = QFile::copy(source, temporary) &&
                                     (!QFileInfo::exists(target) || QFile::remove(target)) &&
                                     QFile::rename(temporary, target)
                                 ? 1
                                 : 0;
                    QFile::remove(temporary);
                }
            } else {
                result = !QFileInfo::exists(target) && QFile::rename(source, target) ? 1 : 0;
            }
        }
        set(op == QStringLiteral("Copy") ? "FileCopy" : "FileMove", QString::number(result));
    } else if (op == QStringLiteral("Delete")) {
        const QString file = AsPath(first);
        result = !file.isEmpty() && QFileInfo(file).isFile() && QFile::remove(file) ? 1 : 0;
        set("FileDelete", QString::number(result));
    } else if (op == QStringLiteral("Make Directory")) {
        const QString dir = AsPath(first);
        if (!dir.isEmpty())
            QDir().mkdir(dir);
        result = !dir.isEmpty() && QFileInfo(dir).isDir() ? 1 : 0;
        set("DirCreate", QString::number(result));
    } else if (op == QStringLiteral("Remove Directory")) {
        const QString dir = AsPath(first);
        if (!dir.isEmpty())
            QDir().rmdir(dir);
        result = !dir.isEmpty() && !QFileInfo::exists(dir) ? 1 : 0;
        set("DirRemove", QString::number(result));
    } else if (op == QStringLiteral("Get File Date")) {
        const QFileInfo f = FirstMatch(first);
        result = f.exists() ? FromQDate(f.lastModified().date()) : 0;
        set("FileDate", DateKeyText(result));
    } else if (op == QStringLiteral("Get File Time")) {
        const QFileInfo f = FirstMatch(first);
        result = f.exists() ? FromQTime(f.lastModified().time()) : 0;
        set("FileTime", FormatTimeAs(result, QStringLiteral("t5")));
    } else if (op == QStringLiteral("Get File Size")) {
        const QFileInfo f = FirstMatch(first);
        result = f.exists() ? static_cast<qint32>(qMin<qint64>(f.size(), 0x7fffffff)) : 0;
        set("FileSize", QString::number(result));
    } else if (op == QStringLiteral("File Exists") || op == QStringLiteral("If File Exists")) {
        const QString file = AsPath(first);
        result = !file.isEmpty() && QFileInfo::exists(file) ? 1 : 0;
        set("FileExists", QString::number(result));
    } else if (op == QStringLiteral("Log Windows")) {
        result = LogWindows(first, windows, &error);
    }
    values.setValue(QStringLiteral("Errorcode"), QString::number(error));
    return result;
}

} // namespace kr
