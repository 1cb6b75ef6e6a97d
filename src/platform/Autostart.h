#pragma once

// Starting with the desktop session (XDG Autostart): the switch is the presence of
// $XDG_CONFIG_HOME/autostart/kelvray.desktop, not a setting of the program.

#include <QString>

namespace kr {

QString AutostartFile();
bool AutostartEnabled();

// The autostart entry that starts `program` on `dataDir` (no folder argument for the default
// one).
QString AutostartEntry(const QString& program, const QString& dataDir);

// Writes or removes the autostart file; false with the reason in `error` when that failed.
bool SetAutostart(bool on, const QString& dataDir, QString* error);

} // namespace kr
