#pragma once

// The keyboard accelerators (Alt+letter) a window offers in the state it is in, and the
// letters that two of its controls claim at once.

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStringList>
#include <QTabBar>
#include <QWidget>

#include <map>

namespace kr::test {

// The letter after a single "&" (upper case), or a null character.
inline QChar AcceleratorOf(const QString& text) {
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != QLatin1Char('&'))
            continue;
        if (text[i + 1] == QLatin1Char('&')) {
            ++i;
            continue;
        }
        return text[i + 1].toUpper();
    }
    return {};
}

// Every control of `window` that the user can see in its present state, with its accelerator.
inline std::multimap<QChar, QString> Accelerators(QWidget* window) {
    std::multimap<QChar, QString> found;
    auto add = [&](const QString& text, const QString& kind) {
        const QChar c = AcceleratorOf(text);
        if (!c.isNull())
            found.emplace(c, kind + QStringLiteral(" \"") + text + QLatin1Char('"'));
    };
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(window) || w->window() != window)
            continue;
        if (auto* bar = qobject_cast<QTabBar*>(w)) {
            for (int i = 0; i < bar->count(); ++i)
                if (bar->isTabVisible(i))
                    add(bar->tabText(i), QStringLiteral("tab"));
        } else if (auto* menus = qobject_cast<QMenuBar*>(w)) {
            for (QAction* a : menus->actions())
                if (a->isVisible())
                    add(a->text(), QStringLiteral("menu"));
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            if (qobject_cast<QTabBar*>(w->parentWidget()) == nullptr)
                add(button->text(), QStringLiteral("button"));
        } else if (auto* label = qobject_cast<QLabel*>(w)) {
            if (label->buddy() != nullptr)
                add(label->text(), QStringLiteral("label"));
        } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
            add(group->title(), QStringLiteral("group"));
        }
    }
    return found;
}

// "X: a / b" for each letter claimed twice; empty when every accelerator is unique.
inline QStringList AcceleratorClashes(QWidget* window) {
    const std::multimap<QChar, QString> found = Accelerators(window);
    QStringList clashes;
    for (auto it = found.begin(); it != found.end();) {
        const auto range = found.equal_range(it->first);
        if (std::distance(range.first, range.second) > 1) {
            QStringList names;
            for (auto r = range.first; r != range.second; ++r)
                names << r->second;
            clashes << QString(it->first) + QStringLiteral(": ") + names.join(QStringLiteral(" / "));
        }
        it = range.second;
    }
    return clashes;
}

// The clashes among the items of one menu.
inline QStringList MenuClashes(QMenu* menu) {
    std::multimap<QChar, QString> found;
    for (QAction* a : menu->actions()) {
        const QChar c = AcceleratorOf(a->text());
        if (a->isVisible() && !c.isNull())
            found.emplace(c, a->text());
    }
    QStringList clashes;
    for (auto it = found.begin(); it != found.end();) {
        const auto range = found.equal_range(it->first);
        if (std::distance(range.first, range.second) > 1) {
            QStringList names;
            for (auto r = range.first; r != range.second; ++r)
                names << r->second;
            clashes << menu->title() + QStringLiteral(" ") + QString(it->first) + QStringLiteral(": ") +
                           names.join(QStringLiteral(" / "));
        }
        it = range.second;
    }
    return clashes;
}

} // namespace kr::test
