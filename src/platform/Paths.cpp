#include "platform/Paths.h"

#include <QDir>

namespace kr {

namespace {
QString XdgDir(const char* variable, const QString& fallback) {
    QString base = qEnvironmentVariable(variable);
    if (base.isEmpty())
        base = QDir::homePath() + fallback;
    return base + QStringLiteral("/kelvray");
}
} // namespace

QString DefaultDataDir() {
    return XdgDir("XDG_DATA_HOME", QStringLiteral("/.local/share"));
}

QString DefaultConfigDir() {
    return XdgDir("XDG_CONFIG_HOME", QStringLiteral("/.config"));
}

} // namespace kr
