#pragma once

#include <QString>

namespace kr {

// A progress window for long runs: a title, a text and a percentage; the user may cancel.
// With a cancel question set, Cancel (and Esc) first asks it: a declined cancel leaves the
// run going from where it stood, an accepted one makes cancelled() true.
class Progress {
public:
    virtual ~Progress() = default;
    virtual void begin(const QString& title, const QString& text) = 0;
    virtual void update(int percent) = 0;
    virtual bool cancelled() const = 0;
    virtual void end() = 0;
    // The text above the percentage, changed while the run goes on ("Sending", "Process
    // Completed").
    virtual void setText(const QString&) {}
    // The question Cancel asks before the run stops (text, caption); an empty text stops at
    // once. Holds until the next begin().
    virtual void setCancelQuestion(const QString&, const QString&) {}
    // The same question with Yes and No for answers, No the default.
    virtual void setCancelQuestionYesNo(const QString& text, const QString& caption) {
        setCancelQuestion(text, caption);
    }
};

// No window at all.
class NoProgress final : public Progress {
public:
    void begin(const QString&, const QString&) override {}
    void update(int) override {}
    bool cancelled() const override { return false; }
    void end() override {}
};

} // namespace kr
