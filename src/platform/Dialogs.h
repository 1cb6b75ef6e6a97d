#pragma once

#include "platform/TransactionGuard.h"

#include <QString>

namespace kr {

// Every message box and question of the program goes through this interface, so that the
// texts and captions can be checked and the answers scripted.
class Dialogs {
public:
    enum class Icon { None, Information, Question, Exclamation, Hand };
    enum Button : unsigned {
        NoButton = 0,
        Ok = 1u << 0,
        Cancel = 1u << 1,
        Yes = 1u << 2,
        No = 1u << 3,
        Retry = 1u << 4,
        Abort = 1u << 5,
        Ignore = 1u << 6,
    };

    virtual ~Dialogs() = default;

    // Shows a modal message; returns the button the user chose (the default button when the
    // box is closed without a choice). Never inside a transaction: note the error, end the
    // transaction, then ask.
    Button message(const QString& text, const QString& caption, Icon icon = Icon::None, unsigned buttons = Ok,
                   Button defaultButton = Ok) {
        RefuseInsideTransaction("a message box");
        return show(text, caption, icon, buttons, defaultButton);
    }

protected:
    virtual Button show(const QString& text, const QString& caption, Icon icon, unsigned buttons,
                        Button defaultButton) = 0;

private:
    // The last word of a program that ends may be said with a transaction open: nothing is
    // written after it.
    friend class ExitProgram;
};

// Ends the whole program after a fatal condition. The text is the last word the user sees;
// implementations never return.
class ProgramEnd {
public:
    virtual ~ProgramEnd() = default;
    [[noreturn]] virtual void endProgram(const QString& text) = 0;
};

// The usual way to end: show the text, write it to standard error, exit with status 1.
class ExitProgram final : public ProgramEnd {
public:
    explicit ExitProgram(Dialogs& dialogs)
        : dialogs_(dialogs) {}
    [[noreturn]] void endProgram(const QString& text) override;

private:
    Dialogs& dialogs_;
};

} // namespace kr
