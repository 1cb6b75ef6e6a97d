#pragma once

#include "platform/Dialogs.h"

#include <QStringList>

#include <deque>
#include <functional>
#include <stdexcept>
#include <vector>

namespace kr::test {

// Records every message and answers from a script; without a scripted answer it takes the
// default button, as a user pressing Enter would.
class ScriptedDialogs final : public Dialogs {
public:
    struct Shown {
        QString text;
        QString caption;
        Icon icon;
        unsigned buttons;
        Button defaultButton;
    };

    Button show(const QString& text, const QString& caption, Icon icon, unsigned buttons,
                Button defaultButton) override {
        shown.push_back(Shown{text, caption, icon, buttons, defaultButton});
        if (whileShown)
            whileShown(shown.back());
        if (answers.empty())
            return defaultButton;
        const Button b = answers.front();
        answers.pop_front();
        return b;
    }

    void answer(Button b) { answers.push_back(b); }
    QStringList texts() const {
        QStringList t;
        for (const auto& s : shown)
            t << s.text;
        return t;
    }
    QStringList captions() const {
        QStringList c;
        for (const auto& s : shown)
            c << s.caption;
        return c;
    }

    std::vector<Shown> shown;
    std::deque<Button> answers;
    // Runs while a box is open, as the program's timer and the user would (a copy of the box).
    std::function<void(Shown)> whileShown;
};

// Thrown instead of ending the process, so a test sees how the program would have ended.
struct ProgramEnded : std::runtime_error {
    explicit ProgramEnded(const QString& t)
        : std::runtime_error(t.toStdString())
        , text(t) {}
    QString text;
};

class ThrowingProgramEnd final : public ProgramEnd {
public:
    [[noreturn]] void endProgram(const QString& text) override { throw ProgramEnded(text); }
};

} // namespace kr::test
