#pragma once

#include <QString>

namespace kr {

// The working directory when none is given: $XDG_DATA_HOME/kelvray (~/.local/share/kelvray).
QString DefaultDataDir();
// Where KR98.INI lives: $XDG_CONFIG_HOME/kelvray (~/.config/kelvray).
QString DefaultConfigDir();

} // namespace kr
