#pragma once

// The task windows as the menu and the message windows open them.

#include "scheduler/ui/TaskForm.h"

namespace kr {

class TaskWindows {
public:
    TaskWindows(TaskFormContext& ctx, QWidget* frame)
        : ctx_(ctx)
        , frame_(frame) {}

    // One of the wizards of the menu, adding a task.
    void openWizard(TaskWindow which);
    // The quick reply: a message task added to the data file of the current directory, which
    // the message window has made the sender's.
    void reply();

private:
    TaskFormContext& ctx_;
    QWidget* frame_;
};

} // namespace kr
