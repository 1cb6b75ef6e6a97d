#include "script/WindowMatch.h"

#include "platform/Text.h"

#include <QFileInfo>

namespace kr {

void WindowMatcher::rebuildWindowList() {
    windows_.clear();
    for (TopLevelWindow w : system_.topLevelWindows()) {
        w.title = w.title.left(kTextWidth);
        if (!w.title.isEmpty())
            windows_.push_back(std::move(w));
    }
}

bool WindowMatcher::titleMatches(const QString& p, const QString& w) const {
    const QString pattern = Clip(p).toUpper();
    const QString title = Clip(w).toUpper();
    if (pattern == title)
        return true;
    const qsizetype k = pattern.indexOf(QLatin1Char('*'));
    if (k < 0)
        return false;
    if (k == 0)
        return title.contains(pattern.mid(1));
    return title.left(k) == pattern.left(k);
}

bool WindowMatcher::programMatches(const QString& p, pid_t pid) {
    // A program name: no blanks or wildcard, and the program the window's process runs.
    QString name = Clip(p).trimmed();
    if (pid <= 0 || name.isEmpty() || name.contains(QLatin1Char('*')) || name.contains(QLatin1Char(' ')))
        return false;
    name = QFileInfo(name).fileName();
    if (name.endsWith(QStringLiteral(".exe"), Qt::CaseInsensitive))
        name.chop(4);
    const QString program = system_.processName(pid);
    return !program.isEmpty() && program.compare(name, Qt::CaseInsensitive) == 0;
}

bool WindowMatcher::confirm(const TopLevelWindow& window, const QString& text) {
    const QString wanted = Clip(text).toUpper();
    if (wanted.isEmpty())
        return true;
    children_.clear();
    for (ChildWindow c : system_.childWindows(window.handle)) {
        c.className = c.className.left(kTextWidth);
        c.text = c.text.isEmpty() ? QStringLiteral("<>") : c.text.left(kTextWidth);
        children_.push_back(std::move(c));
    }
    // Accessible names carry no accelerator ampersands; the text typed may.
    QString bare = wanted;
    bare.remove(QLatin1Char('&'));
    for (const ChildWindow& c : children_) {
        if (c.text == QStringLiteral("<>"))
            continue;
        const QString childText = c.text.toUpper();
        if (childText.contains(wanted) || (c.accessible && childText.contains(bare)))
            return true;
    }
    return false;
}

WindowHandle WindowMatcher::findWindowByPattern(const QString& patternText, const QString& confirmText) {
    rebuildWindowList();
    QString pattern = patternText.left(255);
    if (pattern.startsWith(QLatin1Char('~')))
        pattern.remove(0, 1);
    const QString confirming = confirmText.left(40);
    for (const TopLevelWindow& w : windows_) {
        if ((titleMatches(pattern, w.title) || programMatches(pattern, w.pid)) && confirm(w, confirming))
            return w.handle;
    }
    return 0;
}

} // namespace kr
