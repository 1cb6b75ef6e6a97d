#pragma once

// The message windows of due tasks: ShowMessage, ShowModalMessage and
// ShowMessageWithReplyPath, with alarm repetition, snoozing and "add to to-do".

#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/IniFile.h"
#include "platform/Sound.h"
#include "scheduler/Launcher.h"
#include "scheduler/MessageDisplay.h"
#include "scheduler/ProgramState.h"
#include "store/EventLog.h"
#include "store/Settings.h"
#include "store/Store.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <vector>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace kr {

struct MessageContext {
    Store& store;
    const Settings& settings;
    const Clock& clock;
    Dialogs& dialogs;
    EventLog& log;
    Sound& sound;
    Launcher& launcher;
    IniFile positions; // POSITION.INI
    // The program's directory at start-up, where replies are addressed.
    QString startDirectory;
    // Opens the quick-add form for a reply; empty until that form exists.
    std::function<void()> reply;
    // Told of the tasks and to-do entries the windows add.
    TableListeners* listeners = nullptr;
};

class MessageWindow final : public QWidget {
    Q_OBJECT
public:
    enum class Kind {
        InFrame, // ShowMessage: counted, position kept
        OnTop,   // ShowModalMessage: stays on top, not counted
        Reply,   // ShowMessageWithReplyPath: stays on top, with "&To Do" and "&Reply"
    };

    MessageWindow(MessageContext& ctx, Kind kind, const MessageInputs& inputs, std::function<void()> closed);
    ~MessageWindow() override;

    Kind kind() const { return kind_; }
    const MessageInputs& inputs() const { return inputs_; }
    QPushButton* button(const QString& text) const;

    // The window's timer event: plays the sound again when its moment has come.
    void timerTick();
    void snooze();
    void addToTodo();
    void replyTo();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void scheduleAlarm();

    MessageContext& ctx_;
    Kind kind_;
    MessageInputs inputs_;
    std::function<void()> closed_;
    QTimer timer_;
    Date alarmDate_ = 0;
    Time alarmTime_ = 0;
    bool closing_ = false;
};

// The four ways of showing a message, chosen by the settings.
class MessageWindows final : public MessageDisplay {
public:
    static constexpr const char* kExternalProgram = "DODar.EXE";

    explicit MessageWindows(MessageContext ctx)
        : ctx_(std::move(ctx)) {}
    ~MessageWindows() override;

    int openCount() const override { return count_; }
    void show(const MessageInputs& inputs) override;

    // Every message window open now, of every kind.
    std::vector<MessageWindow*> windows() const;

private:
    MessageContext ctx_;
    int count_ = 0;
    std::vector<QPointer<MessageWindow>> windows_;
};

} // namespace kr
