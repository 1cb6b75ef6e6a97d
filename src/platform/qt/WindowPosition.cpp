#include "platform/qt/WindowPosition.h"

#include <QWidget>

namespace kr {

void SaveWindowPosition(const QWidget& window, const QString& procedure, const IniFile& ini) {
    const bool maximized = window.isMaximized();
    if (window.isMinimized())
        return;
    // The normal geometry is the one the window returns to from the maximized state.
    const QRect normal = maximized ? window.normalGeometry() : window.geometry();
    const QPoint frame = maximized ? normal.topLeft() : window.frameGeometry().topLeft();
    ini.write(procedure, QStringLiteral("Maximize"),
              maximized ? QStringLiteral("Yes") : QStringLiteral("No"));
    ini.write(procedure, QStringLiteral("XPosit"), QString::number(frame.x()));
    ini.write(procedure, QStringLiteral("YPosit"), QString::number(frame.y()));
    ini.write(procedure, QStringLiteral("Width"), QString::number(normal.width()));
    ini.write(procedure, QStringLiteral("Height"), QString::number(normal.height()));
}

void RestoreWindowPosition(QWidget& window, const QString& procedure, const IniFile& ini) {
    const int x = ini.readInt(procedure, QStringLiteral("XPosit"));
    if (x == 0)
        return;
    if (!window.isMaximized()) {
        const int y = ini.readInt(procedure, QStringLiteral("YPosit"));
        if (y != 0) {
            const bool resizable = window.minimumSize() != window.maximumSize();
            const int w = ini.readInt(procedure, QStringLiteral("Width"));
            const int h = ini.readInt(procedure, QStringLiteral("Height"));
            if (resizable && w != 0 && h != 0)
                window.resize(w, h);
            window.move(x, y);
        }
    }
    if (ini.read(procedure, QStringLiteral("Maximize")).compare(QStringLiteral("Yes"), Qt::CaseInsensitive) ==
        0)
        window.setWindowState(window.windowState() | Qt::WindowMaximized);
}

} // namespace kr
