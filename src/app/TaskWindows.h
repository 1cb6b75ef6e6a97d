#pragma once

// The task windows as the menu and the message windows open them.

#include "organizer/ui/Categories.h"
#include "platform/qt/WindowHost.h"
#include "scheduler/ProgramState.h"
#include "scheduler/ui/TaskForm.h"

namespace kr {

class TaskWindows {
public:
    // `listeners` are told when a window here changed the schedule.
    // The lists open inside `host` when there is one.
    TaskWindows(TaskFormContext& ctx, QWidget* frame, ScheduleListeners& listeners,
                WindowHost* host = nullptr)
        : ctx_(ctx)
        , frame_(frame)
        , listeners_(listeners)
        , host_(host) {}

    // One of the wizards of the menu, adding a task.
    void openWizard(TaskWindow which);
    // The task form for an insert or a change; a delete asks and deletes. True when done.
    bool openTask(Request request, Schedule& task, Date selectedDay = 0);
    // The category list of the menu.
    void browseCategories();
    // The category picker; the current category when the user closes it without a choice.
    QString selectCategory(const QString& current);
    // The quick reply: a message task added to the data file of the current directory, which
    // the message window has made the sender's.
    void reply();

private:
    CategoryContext categoryContext();

    TaskFormContext& ctx_;
    QWidget* frame_;
    ScheduleListeners& listeners_;
    WindowHost* host_;
};

} // namespace kr
