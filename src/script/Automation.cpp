#include "script/Automation.h"

#include "platform/Text.h"
#include "script/FileActions.h"

namespace kr {

Automation::Automation(AutomationContext ctx)
    : ctx_(std::move(ctx)) {
    if (ctx_.windows != nullptr)
        matcher_.emplace(*ctx_.windows);
}

bool Automation::windowExists(const QString& pattern, const QString& confirm) {
    return matcher_ && matcher_->findWindowByPattern(pattern, confirm) != 0;
}

bool Automation::activateWindow(const QString& pattern, const QString& confirm) {
    if (!matcher_)
        return false;
    const WindowHandle h = matcher_->findWindowByPattern(pattern, confirm);
    if (h != 0)
        ctx_.windows->activate(h);
    return h != 0;
}

void Automation::setFocus(QueueEntry& e) {
    if (activateWindow(e.item.focusOnWindow, e.item.waitForWindow.left(40)))
        return;
    if (ctx_.debug != 0)
        ctx_.dialogs.message(e.item.focusOnWindow, QStringLiteral("Failed Set Focus"),
                             Dialogs::Icon::Information);
}

void Automation::closeProgram(QueueEntry& e) {
    if (!Clip(e.item.command).isEmpty()) {
        if (ctx_.killProgram)
            ctx_.killProgram(Clip(e.item.command));
        return;
    }
    if (ctx_.windows == nullptr)
        return;
    WindowHandle target = ctx_.windows->foreground();
    if (target == 0)
        return;
    if (ctx_.ownFrame && target == ctx_.ownFrame()) {
        // Not this program: the program the script started.
        if (e.startHandle <= 0)
            return;
        // The start result is the started process: its windows are the ones to close.
        bool closed = false;
        for (const TopLevelWindow& w : ctx_.windows->topLevelWindows()) {
            if (w.pid == static_cast<pid_t>(e.startHandle)) {
                ctx_.windows->requestClose(w.handle);
                closed = true;
            }
        }
        if (!closed)
            ctx_.windows->requestClose(static_cast<WindowHandle>(e.startHandle));
        return;
    }
    ctx_.windows->requestClose(target);
}

void Automation::sendKeystrokes(QueueEntry& e) {
    if (ctx_.keys == nullptr)
        return;
    KeystrokeContext k{*ctx_.keys,
                       ctx_.values,
                       ctx_.clock,
                       ctx_.settings.scriptingDelay,
                       ctx_.settings.burstSize & 0xff,
                       ctx_.pause,
                       ctx_.trayShown,
                       ctx_.trayIcon,
                       ctx_.setTray};
    SendKeystrokes(e.item.keystrokes, k);
}

qint32 Automation::fileAction(const QString& type, const QString& first, const QString& second) {
    return RunFileAction(type, first, second, ctx_.values, matcher());
}

void Automation::dde(QueueEntry& e) {
    // The stored texts are fixed width; programs expect them without the trailing blanks.
    if (ctx_.dde != nullptr)
        ctx_.dde->execute(Clip(e.item.ddeApplicationName), Clip(e.item.ddeApplicationTopic),
                          Clip(e.item.ddeCommand));
}

} // namespace kr
