#pragma once

// Window positions and sizes, kept per window procedure in POSITION.INI. A window that lives
// inside the frame keeps the place of its sub-window, relative to the frame's area.

#include "platform/IniFile.h"

class QMdiSubWindow;
class QWidget;

namespace kr {

inline const QString kPositionIniName = QStringLiteral("POSITION.INI");

// Writes Maximize, XPosit, YPosit, Width and Height under the procedure's section; a
// minimized window writes nothing, so it keeps its previous position.
void SaveWindowPosition(const QWidget& window, const QString& procedure, const IniFile& ini);
// Moves and sizes the window as saved (only the position for a window that cannot be
// resized), and maximizes it when it was last closed maximized. The window remembers the
// procedure, so that the frame can place it again when it takes it in.
void RestoreWindowPosition(QWidget& window, const QString& procedure, const IniFile& ini);
// The procedure the window was last restored under; empty when none.
QString PositionProcedure(const QWidget& window);

// The same for a sub-window of the frame: nothing is saved while the frame shows tabs.
void SaveSubWindowPosition(const QMdiSubWindow& window, const QString& procedure, const IniFile& ini);
// False when nothing is saved; the place is kept inside the area.
bool RestoreSubWindowPosition(QMdiSubWindow& window, const QString& procedure, const IniFile& ini);

} // namespace kr
