#pragma once

// Commands sent to another running program: a conversation with an application on a topic,
// one command executed in it.

#include <QString>

namespace kr {

class DdeClient {
public:
    virtual ~DdeClient() = default;
    // Opens the conversation, executes the command in it and closes it. False when no
    // program answers on that application and topic; a command the program rejects is not
    // detected.
    virtual bool execute(const QString& application, const QString& topic, const QString& command) = 0;
};

} // namespace kr
