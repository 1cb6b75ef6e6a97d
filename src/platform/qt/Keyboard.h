#pragma once

// Keys that work the same in every window of the program.

class QTabBar;
class QTabWidget;
class QWidget;

namespace kr {

// Ctrl+Tab and Ctrl+Shift+Tab turn the tabs of a window wherever the focus is in it.
void TurnTabsWithKeys(QWidget* window, QTabWidget* tabs);
void TurnTabsWithKeys(QWidget* window, QTabBar* tabs);

// An Alt+letter that no control of the window answers beeps instead of typing the letter
// into the field that has the focus. Installed once on the application.
void GuardUnansweredAltKeys();

} // namespace kr
