#pragma once

// The message windows of due tasks.

#include <QString>

namespace kr {

struct MessageInputs {
    QString title;        // the task's description
    QString text;         // the task's message
    QString sound;        // the alarm sound file, blank without an alarm
    QString replyAddress; // "Reply to:" address of the task, blank without
};

class MessageDisplay {
public:
    virtual ~MessageDisplay() = default;
    // How many message windows are open now.
    virtual int openCount() const = 0;
    // ShowMessage, or ShowMessageWithReplyPath when the inputs carry a reply address.
    virtual void show(const MessageInputs& inputs) = 0;
};

} // namespace kr

#include "platform/Dialogs.h"

namespace kr {

// Messages as plain message boxes: the title as caption, the message as text.
class BoxMessageDisplay final : public MessageDisplay {
public:
    explicit BoxMessageDisplay(Dialogs& dialogs)
        : dialogs_(dialogs) {}
    int openCount() const override { return 0; }
    void show(const MessageInputs& inputs) override { dialogs_.message(inputs.text, inputs.title); }

private:
    Dialogs& dialogs_;
};

} // namespace kr
