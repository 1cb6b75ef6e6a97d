#pragma once

// Window positions and sizes, kept per window procedure in POSITION.INI.

#include "platform/IniFile.h"

class QWidget;

namespace kr {

inline const QString kPositionIniName = QStringLiteral("POSITION.INI");

// Writes Maximize, XPosit, YPosit, Width and Height under the procedure's section; a
// minimized window writes nothing, so it keeps its previous position.
void SaveWindowPosition(const QWidget& window, const QString& procedure, const IniFile& ini);
// Moves and sizes the window as saved (only the position for a window that cannot be
// resized), and maximizes it when it was last closed maximized.
void RestoreWindowPosition(QWidget& window, const QString& procedure, const IniFile& ini);

} // namespace kr
