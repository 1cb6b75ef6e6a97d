#pragma once

// What the scheduler needs of the main frame.

#include <QString>

namespace kr {

struct Schedule;

class FrameView {
public:
    virtual ~FrameView() = default;
    virtual bool iconized() const = 0;
    virtual QString normalTitle() const = 0;
    virtual void setTitleText(const QString& title) = 0;
    // Status zone 2: the next task, the running script step or "Inactive".
    virtual void setSchedulerStatus(const QString& text) = 0;
    // Shows the normal tray icon with the window title as its tip.
    virtual void refreshTrayIcon() = 0;
    virtual void restoreForTask(const Schedule& task) = 0;
    virtual void setTimerInterval(int hundredths) = 0;
    // Ends the program through its normal closing steps.
    virtual void closeDown() = 0;
};

// A frame that is not there, for the command-line tools and tests.
class NoFrame final : public FrameView {
public:
    bool iconized() const override { return false; }
    QString normalTitle() const override { return title; }
    void setTitleText(const QString& t) override { title = t; }
    void setSchedulerStatus(const QString& text) override { status = text; }
    void refreshTrayIcon() override {}
    void restoreForTask(const Schedule&) override {}
    void setTimerInterval(int hundredths) override { interval = hundredths; }
    void closeDown() override { closed = true; }

    QString title;
    QString status;
    int interval = 0;
    bool closed = false;
};

} // namespace kr
