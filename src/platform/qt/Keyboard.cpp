#include "platform/qt/Keyboard.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QTabBar>
#include <QTabWidget>
#include <QTextEdit>

#include <functional>

namespace kr {

namespace {

// The next tab that can be shown, going round.
int NextTab(const QTabBar* bar, int step) {
    const int n = bar->count();
    int i = bar->currentIndex();
    for (int k = 0; k < n; ++k) {
        i = (i + step + n) % n;
        if (bar->isTabVisible(i) && bar->isTabEnabled(i))
            return i;
    }
    return bar->currentIndex();
}

void Bind(QWidget* window, QTabBar* bar, const std::function<void(int)>& select) {
    // Ctrl+Shift+Tab alone: on X11 it arrives as Ctrl+Shift+Backtab, which a second
    // "Ctrl+Backtab" shortcut would also match, and two matches fire neither.
    for (const auto& [keys, step] : {std::pair{QKeySequence(Qt::CTRL | Qt::Key_Tab), 1},
                                     std::pair{QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab), -1}}) {
        auto* shortcut = new QShortcut(keys, window);
        shortcut->setContext(Qt::WindowShortcut);
        QObject::connect(shortcut, &QShortcut::activated, bar, [bar, select, step = step] {
            if (bar->isVisible() && bar->count() > 0)
                select(NextTab(bar, step));
        });
    }
}

// Key presses reach a widget only when no shortcut or accelerator took them, so an Alt+letter
// seen here is one nothing answered.
class AltKeyGuard final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() != Qt::AltModifier || key->text().isEmpty() || !key->text().at(0).isPrint())
            return false;
        if (qobject_cast<QLineEdit*>(watched) == nullptr &&
            qobject_cast<QPlainTextEdit*>(watched) == nullptr &&
            qobject_cast<QTextEdit*>(watched) == nullptr &&
            qobject_cast<QAbstractSpinBox*>(watched) == nullptr &&
            qobject_cast<QComboBox*>(watched) == nullptr)
            return false;
        QApplication::beep();
        return true;
    }
};

} // namespace

void GuardUnansweredAltKeys() {
    static AltKeyGuard* guard = [] {
        auto* g = new AltKeyGuard(QCoreApplication::instance());
        QCoreApplication::instance()->installEventFilter(g);
        return g;
    }();
    (void)guard;
}

void TurnTabsWithKeys(QWidget* window, QTabWidget* tabs) {
    Bind(window, tabs->tabBar(), [tabs](int i) { tabs->setCurrentIndex(i); });
}

void TurnTabsWithKeys(QWidget* window, QTabBar* tabs) {
    Bind(window, tabs, [tabs](int i) { tabs->setCurrentIndex(i); });
}

} // namespace kr
