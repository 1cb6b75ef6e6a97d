#pragma once

// SendStoredMessage: sends a message of the Messages table as an e-mail, a mass mailing to a
// contact category or a news article. The preparation, the log lines, the error windows and
// the stamp happen on the GUI thread; the password's reading and the conversation run on a
// worker thread, and the caller looks for its end (result() stays kPending until then). The
// GUI thread never waits for the worker.

#include "mail/Cancel.h"
#include "mail/MailRequest.h"
#include "mail/Smtp.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/SecretStore.h"
#include "script/Values.h"
#include "store/EventLog.h"
#include "store/Settings.h"
#include "store/Store.h"
#include "store/Tables.h"

#include <QObject>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

namespace kr {

struct MailContext {
    Store& store;
    const Settings& settings;
    const Clock& clock;
    Dialogs& dialogs;
    EventLog& log;
    const ValueStore& values;
    // Where "inmail.log" and "inserver.log" are kept.
    QString logDir;
    // ApplicationTitle: the mailer name of every message.
    QString applicationTitle = kProductTitle.left(32);
    // PendingStatusText of the main frame.
    std::function<void(const QString&)> pendingStatus = {};
    // Whether the send is still wanted; when it turns false (the script was stopped), the
    // conversation is aborted with 14.
    std::function<bool()> stillWanted = {};
    // The passwords of the SmtpUser and NewsUser logins; read on the worker thread.
    SecretStore* secrets = nullptr;
    // Extra certificate authorities trusted besides the system's (tests).
    QString caFile = {};
};

// TranslateBody: the bracketed value names of a body of up to 10,000 characters.
QString TranslateBody(const ValueStore& values, const QString& text);

class MailSender final : public QObject {
    Q_OBJECT
public:
    static constexpr qint32 kPending = -1;
    static constexpr int kBodyWidth = 10000;
    // The longest the sender waits, when it is destroyed, for a cancelled conversation to end.
    static constexpr int kEndWaitMs = 1500;

    explicit MailSender(MailContext ctx, QObject* parent = nullptr);
    // A send still under way is cancelled; one that has ended is stamped and logged.
    ~MailSender() override;

    // Starts sending message `emailId`; the result when it is known at once (a missing
    // message, missing settings, no recipient), else kPending.
    qint32 sendStoredMessage(qint32 emailId);
    // The result of the send started last; kPending while it runs.
    qint32 result();
    // The number of the send started last: finished() names its send by it.
    quint64 lastSend() const { return serial_; }
    bool busy() const { return current_ != nullptr; }
    // The server's refusal of the send started last, when it ended with 9.
    const QString& lastReply() const { return reply_; }
    // Ends the running conversation with 14 ("User Cancel").
    void abort();

Q_SIGNALS:
    // A send that ran on the worker ended: its number, result and the server's refusal. Its
    // error windows, if any, have been shown.
    void finished(quint64 send, qint32 code, const QString& reply);
    // A send began or ended: busy() may have changed.
    void busyChanged(bool busy);

private:
    enum class Way { Email, MassMailing, News };
    // One send, shared with the worker that talks to the server.
    struct Send {
        quint64 serial = 0;
        Way way = Way::Email;
        Messages message;
        MailRequest request;
        SendOutcome outcome;
        Cancel cancel;
        std::atomic<bool> done{false};
    };

    qint32 begin(qint32 emailId, quint64 serial);
    void start(std::shared_ptr<Send> send);
    void workerDone(const std::shared_ptr<Send>& send);
    void watch();
    // The result is set before any window shows: whatever runs while a window is open sees
    // this send's result, and a send started meanwhile keeps its own.
    qint32 settle(quint64 serial, qint32 code, const QString& reply = {});
    // The stamp and the log lines of an ended send; its result code.
    qint32 record(const Send& send);
    // The error windows of a send that failed.
    void showErrors(const Send& send, qint32 code);
    void stamp(qint32 emailId);
    QString translatedAttachment(const Messages& m) const;

    MailContext ctx_;
    std::shared_ptr<Send> current_;
    QTimer watchdog_;
    // A send asked for while an abandoned one still ends: its message and number.
    std::optional<std::pair<qint32, quint64>> queued_;
    quint64 serial_ = 0;
    qint32 result_ = 0;
    QString reply_;
};

} // namespace kr
