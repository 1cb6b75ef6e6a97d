#include "mail/Transcript.h"

#include <QDateTime>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kr {

Transcript::Transcript(const QString& path) {
    if (path.isEmpty())
        return;
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    ::fchmod(fd, 0600);
    if (!file_.open(fd, QIODevice::WriteOnly | QIODevice::Append, QFileDevice::AutoCloseHandle))
        ::close(fd);
}

QByteArray Transcript::masked(const QByteArray& line) {
    const QByteArray upper = line.trimmed().toUpper();
    if (upper.startsWith("AUTHINFO PASS"))
        return "AUTHINFO PASS ****";
    if (upper.startsWith("AUTH ")) {
        // "AUTH PLAIN <credentials>": the mechanism may be shown, the rest not.
        const QList<QByteArray> words = line.trimmed().split(' ');
        return words.size() > 2 ? "AUTH " + words.at(1) + " ****" : line.trimmed();
    }
    return line;
}

void Transcript::write(const char* prefix, const QByteArray& bytes) {
    if (!file_.isOpen())
        return;
    const QByteArray stamp = QDateTime::currentDateTime().toString(Qt::ISODate).toLatin1();
    for (QByteArray line : bytes.split('\n')) {
        while (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty())
            continue;
        file_.write(stamp + ' ' + prefix + masked(line) + '\n');
    }
    file_.flush();
}

} // namespace kr
