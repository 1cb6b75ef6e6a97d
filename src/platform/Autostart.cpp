#include "platform/Autostart.h"

#include "platform/Paths.h"
#include "platform/PrivateFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace kr {

namespace {

QString CanonicalOrClean(const QString& path) {
    const QFileInfo info(path);
    const QString c = info.canonicalFilePath();
    return c.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : c;
}

// One argument of an Exec line: quoted when it holds anything but plain characters, with the
// quoting's own characters escaped, and '%' doubled (it starts a field code). The backslashes
// are doubled once more because the value is itself a string of the desktop file.
QString ExecArgument(const QString& arg) {
    bool plain = !arg.isEmpty();
    for (const QChar c : arg) {
        if (!(c.isLetterOrNumber() || QStringLiteral("/._-+,=:@").contains(c)))
            plain = false;
    }
    if (plain)
        return arg;
    QString quoted;
    for (const QChar c : arg) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$'))
            quoted += QStringLiteral("\\\\") + c;
        else if (c == QLatin1Char('\\'))
            quoted += QStringLiteral("\\\\\\\\");
        else if (c == QLatin1Char('%'))
            quoted += QStringLiteral("%%");
        else if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QLatin1Char('\t'))
            quoted += QLatin1Char(' '); // no control characters in a desktop file
        else
            quoted += c;
    }
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

QString AutostartFile() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("autostart/kelvray.desktop"));
}

bool AutostartEnabled() {
    return QFileInfo::exists(AutostartFile());
}

QString AutostartEntry(const QString& program, const QString& dataDir) {
    QString exec = ExecArgument(program);
    if (!dataDir.isEmpty() && CanonicalOrClean(dataDir) != CanonicalOrClean(DefaultDataDir()))
        exec += QStringLiteral(" --data-dir ") + ExecArgument(CanonicalOrClean(dataDir));
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Kelvray\n"
                          "Comment=Run programs, show messages and automate the desktop on a schedule\n"
                          "Exec=") +
           exec +
           QStringLiteral("\n"
                          "Icon=kelvray\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n");
}

bool SetAutostart(bool on, const QString& dataDir, QString* error) {
    const QString path = AutostartFile();
    if (!on) {
        if (!QFileInfo::exists(path) || QFile::remove(path))
            return true;
        if (error)
            *error = QStringLiteral("%1 could not be removed").arg(path);
        return false;
    }
    // The installed program by its name; another build by its full path.
    QString program = QCoreApplication::applicationFilePath();
    if (program.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("kelvray")) == program)
        program = QStringLiteral("kelvray");
    const QString folder = QFileInfo(path).absolutePath();
    if (!QFileInfo::exists(folder) && !MakePrivateDir(folder)) {
        if (error)
            *error = QStringLiteral("%1 could not be created").arg(folder);
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(AutostartEntry(program, dataDir).toUtf8()) < 0 ||
        !file.commit()) {
        if (error)
            *error = QStringLiteral("%1 could not be written: %2").arg(path, file.errorString());
        return false;
    }
    TightenFile(path);
    return true;
}

} // namespace kr
