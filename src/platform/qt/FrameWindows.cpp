#include "platform/qt/FrameWindows.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTimer>

#include <algorithm>

#include <unistd.h>

namespace kr {

namespace {
const char* const kHandleProperty = "kr.subWindowHandle";

QString TextOf(const QWidget* w) {
    if (const auto* b = qobject_cast<const QAbstractButton*>(w))
        return b->text();
    if (const auto* l = qobject_cast<const QLabel*>(w))
        return l->text();
    if (const auto* e = qobject_cast<const QLineEdit*>(w))
        return e->text();
    if (const auto* g = qobject_cast<const QGroupBox*>(w))
        return g->title();
    return QString();
}
} // namespace

FrameWindows::FrameWindows(WindowSystem& desktop, QMdiArea& area, std::function<WindowHandle()> frame)
    : desktop_(desktop)
    , area_(area)
    , frame_(std::move(frame)) {}

WindowHandle FrameWindows::handleOf(QMdiSubWindow* window) {
    const QVariant known = window->property(kHandleProperty);
    if (known.isValid())
        return known.toULongLong();
    const WindowHandle h = kSubWindowBit | next_++;
    window->setProperty(kHandleProperty, QVariant::fromValue<qulonglong>(h));
    handles_[h] = window;
    return h;
}

QMdiSubWindow* FrameWindows::subWindow(WindowHandle window) const {
    auto it = handles_.find(window);
    return it == handles_.end() ? nullptr : it->second.data();
}

std::vector<TopLevelWindow> FrameWindows::topLevelWindows() {
    std::erase_if(handles_, [](const auto& entry) { return entry.second.isNull(); });
    std::vector<TopLevelWindow> out = desktop_.topLevelWindows();
    const WindowHandle frame = frame_ ? frame_() : 0;
    auto at =
        std::find_if(out.begin(), out.end(), [frame](const TopLevelWindow& w) { return w.handle == frame; });
    if (frame == 0 || at == out.end())
        return out; // the frame is hidden: so are the windows inside it
    // Front to back: the active sub-window first, then the others as they are stacked.
    QList<QMdiSubWindow*> inside = area_.subWindowList(QMdiArea::StackingOrder);
    std::reverse(inside.begin(), inside.end());
    if (QMdiSubWindow* active = area_.activeSubWindow(); active != nullptr && inside.removeOne(active))
        inside.prepend(active);
    std::vector<TopLevelWindow> entries;
    for (QMdiSubWindow* w : inside) {
        if (!w->isVisible() && area_.viewMode() == QMdiArea::SubWindowView)
            continue;
        entries.push_back({w->windowTitle(), handleOf(w), ::getpid()});
    }
    out.insert(at, entries.begin(), entries.end());
    return out;
}

std::vector<ChildWindow> FrameWindows::childWindows(WindowHandle window) {
    if ((window & kSubWindowBit) == 0)
        return desktop_.childWindows(window);
    std::vector<ChildWindow> out;
    QMdiSubWindow* sub = subWindow(window);
    if (sub == nullptr)
        return out;
    for (QWidget* w : sub->findChildren<QWidget*>()) {
        const QString text = TextOf(w);
        out.push_back({QString::fromLatin1(w->metaObject()->className()),
                       text.isEmpty() ? QStringLiteral("<>") : text, 0, false});
    }
    return out;
}

void FrameWindows::activate(WindowHandle window) {
    if ((window & kSubWindowBit) == 0) {
        desktop_.activate(window);
        return;
    }
    QMdiSubWindow* sub = subWindow(window);
    if (sub == nullptr)
        return;
    if (const WindowHandle frame = frame_ ? frame_() : 0; frame != 0)
        desktop_.activate(frame);
    if (sub->isMinimized())
        sub->showNormal();
    area_.setActiveSubWindow(sub);
    sub->raise();
}

void FrameWindows::requestClose(WindowHandle window) {
    if ((window & kSubWindowBit) == 0) {
        desktop_.requestClose(window);
        return;
    }
    if (QMdiSubWindow* sub = subWindow(window)) {
        QPointer<QMdiSubWindow> guard(sub);
        QTimer::singleShot(0, sub, [guard] {
            if (guard)
                guard->close();
        });
    }
}

} // namespace kr
