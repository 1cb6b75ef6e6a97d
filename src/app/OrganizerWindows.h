#pragma once

// The to-do list, the contacts and the contact categories as the menu opens them.

#include "organizer/ui/OrganizerContext.h"

#include <functional>

class QWidget;

namespace kr {

// Shows a list window the menu opened: the one place that decides where list windows live.
// The window is deleted when it closes.
void ShowListWindow(QWidget* window, QWidget* frame);

class OrganizerWindows {
public:
    // `context` builds the windows' context with the settings in force when a window opens.
    OrganizerWindows(std::function<OrganizerContext()> context, QWidget* frame)
        : context_(std::move(context))
        , frame_(frame) {}

    void viewToDo();
    void browseContacts();
    void browseContactCategories();

private:
    std::function<OrganizerContext()> context_;
    QWidget* frame_;
};

} // namespace kr
