#pragma once

// The to-do list, the contacts and the contact categories as the menu opens them.

#include "organizer/ui/OrganizerContext.h"

#include <QStringList>

#include <functional>

class QWidget;

namespace kr {

class TableListeners;
class WindowHost;

class OrganizerWindows {
public:
    // `context` builds the windows' context with the settings in force when a window opens;
    // the windows open in `host` and read their tables again when `listeners` hear of a change.
    OrganizerWindows(std::function<OrganizerContext()> context, WindowHost& host, TableListeners& listeners)
        : context_(std::move(context))
        , host_(host)
        , listeners_(listeners) {}

    void viewToDo();
    void browseContacts();
    void browseContactCategories();

private:
    // Shows the list in the frame; `refresh` runs when one of `tables` changed.
    void show(QWidget* window, const QStringList& tables, std::function<void()> refresh);

    std::function<OrganizerContext()> context_;
    WindowHost& host_;
    TableListeners& listeners_;
};

} // namespace kr
