#pragma once

#include "platform/TransactionGuard.h"

#include <QString>

#include <functional>
#include <memory>

namespace kr {

// A progress window for long runs: a title, a text and a percentage; the user may cancel.
// With a cancel question set, Cancel (and Esc) first asks it: a declined cancel leaves the
// run going from where it stood, an accepted one makes cancelled() true.
class Progress {
public:
    virtual ~Progress() = default;
    // Each step may let the window's events run, so none is taken inside a transaction.
    void begin(const QString& title, const QString& text) {
        RefuseInsideTransaction("a progress window");
        doBegin(title, text);
    }
    void update(int percent) {
        RefuseInsideTransaction("a progress step");
        doUpdate(percent);
    }
    // The text above the percentage, changed while the run goes on ("Sending", "Process
    // Completed").
    void setText(const QString& text) {
        RefuseInsideTransaction("a progress step");
        doSetText(text);
    }
    virtual bool cancelled() const = 0;
    virtual void end() = 0;
    // The question Cancel asks before the run stops (text, caption); an empty text stops at
    // once. Holds until the next begin().
    virtual void setCancelQuestion(const QString&, const QString&) {}
    // The same question with Yes and No for answers, No the default.
    virtual void setCancelQuestionYesNo(const QString& text, const QString& caption) {
        setCancelQuestion(text, caption);
    }

protected:
    virtual void doBegin(const QString& title, const QString& text) = 0;
    virtual void doUpdate(int percent) = 0;
    virtual void doSetText(const QString&) {}
};

// No window at all.
class NoProgress final : public Progress {
public:
    void doBegin(const QString&, const QString&) override {}
    void doUpdate(int) override {}
    bool cancelled() const override { return false; }
    void end() override {}
};

// Hands out a progress of its own to every run, so that two runs going on at once (a script's
// Start Script step during an import or a report) never share one: beginning one never closes
// another's window, its Cancel or its open cancel question.
class ProgressWindows {
public:
    using Maker = std::function<std::unique_ptr<Progress>()>;

    // No windows at all.
    ProgressWindows() = default;
    explicit ProgressWindows(Maker make)
        : make_(std::move(make)) {}
    // Every run shows in this one progress, which outlives them (tests, tools without windows);
    // none when null.
    ProgressWindows(Progress& one);
    ProgressWindows(Progress* one);

    // The run's own progress; a window goes when it does.
    std::unique_ptr<Progress> open() const;

private:
    Maker make_;
};

} // namespace kr
