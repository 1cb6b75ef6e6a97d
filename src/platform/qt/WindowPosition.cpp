#include "platform/qt/WindowPosition.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QWidget>

#include <algorithm>

namespace kr {

namespace {
const char* const kProcedureProperty = "kr.positionProcedure";

// The sub-window of the frame that holds the window, if it lives in one.
QMdiSubWindow* HoldingSubWindow(const QWidget& window) {
    return qobject_cast<QMdiSubWindow*>(window.parentWidget());
}
} // namespace

void SaveWindowPosition(const QWidget& window, const QString& procedure, const IniFile& ini) {
    if (QMdiSubWindow* sub = HoldingSubWindow(window)) {
        SaveSubWindowPosition(*sub, procedure, ini);
        return;
    }
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
    window.setProperty(kProcedureProperty, procedure);
    if (QMdiSubWindow* sub = HoldingSubWindow(window)) {
        RestoreSubWindowPosition(*sub, procedure, ini);
        return;
    }
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

QString PositionProcedure(const QWidget& window) {
    return window.property(kProcedureProperty).toString();
}

void SaveSubWindowPosition(const QMdiSubWindow& window, const QString& procedure, const IniFile& ini) {
    // Tabs have no place of their own, and a minimized window keeps its previous one.
    if (window.mdiArea() == nullptr || window.mdiArea()->viewMode() == QMdiArea::TabbedView ||
        window.isMinimized())
        return;
    const bool maximized = window.isMaximized();
    const QRect normal = maximized ? window.normalGeometry() : window.geometry();
    ini.write(procedure, QStringLiteral("Maximize"),
              maximized ? QStringLiteral("Yes") : QStringLiteral("No"));
    // 0 reads as "nothing saved", so a window at the area's edge is kept one point inside.
    ini.write(procedure, QStringLiteral("XPosit"), QString::number(std::max(1, normal.x())));
    ini.write(procedure, QStringLiteral("YPosit"), QString::number(std::max(1, normal.y())));
    ini.write(procedure, QStringLiteral("Width"), QString::number(normal.width()));
    ini.write(procedure, QStringLiteral("Height"), QString::number(normal.height()));
}

bool RestoreSubWindowPosition(QMdiSubWindow& window, const QString& procedure, const IniFile& ini) {
    const int x = ini.readInt(procedure, QStringLiteral("XPosit"));
    const int y = ini.readInt(procedure, QStringLiteral("YPosit"));
    if (x == 0 || y == 0 || window.mdiArea() == nullptr)
        return false;
    // An area not on the screen has no size to keep to yet.
    const QSize area = window.mdiArea()->isVisible() ? window.mdiArea()->viewport()->size() : QSize();
    int w = ini.readInt(procedure, QStringLiteral("Width"));
    int h = ini.readInt(procedure, QStringLiteral("Height"));
    if (w <= 0 || h <= 0) {
        w = window.width();
        h = window.height();
    }
    // Kept inside the area as it is now: the frame may be smaller than when it was saved.
    if (area.isValid() && !area.isEmpty()) {
        w = std::min(w, area.width());
        h = std::min(h, area.height());
        window.resize(w, h);
        window.move(std::clamp(x, 0, std::max(0, area.width() - w)),
                    std::clamp(y, 0, std::max(0, area.height() - h)));
    } else {
        window.setGeometry(x, y, w, h);
    }
    if (ini.read(procedure, QStringLiteral("Maximize")).compare(QStringLiteral("Yes"), Qt::CaseInsensitive) ==
        0)
        window.showMaximized();
    return true;
}

} // namespace kr
