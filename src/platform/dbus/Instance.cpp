#include "platform/dbus/Instance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

namespace kr {

QString InstanceBusName(const QString& dataDir) {
    const QFileInfo info(dataDir);
    QString path = info.canonicalFilePath();
    if (path.isEmpty())
        path = QDir::cleanPath(info.absoluteFilePath());
    const QByteArray hash = QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha256).toHex();
    // Bus name elements may not start with a digit.
    return QStringLiteral("org.kelvray.Kelvray.d") + QString::fromLatin1(hash.left(24));
}

} // namespace kr
