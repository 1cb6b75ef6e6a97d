#pragma once

// SendStoredMessage: sends a message of the Messages table as an e-mail, a mass mailing to a
// contact category or a news article. The preparation, the log lines, the error windows and
// the stamp happen on the GUI thread; the conversation runs on a worker thread, and the
// caller looks for its end (result() stays kPending until then).

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

    explicit MailSender(MailContext ctx, QObject* parent = nullptr);
    ~MailSender() override;

    // Starts sending message `emailId`; the result when it is known at once (a missing
    // message, missing settings, no recipient), else kPending.
    qint32 sendStoredMessage(qint32 emailId);
    // The result of the send started last; kPending while it runs.
    qint32 result();
    bool busy() const { return worker_ != nullptr; }
    // The server's refusal of the last send that ended with 9.
    const QString& lastReply() const { return reply_; }
    // Ends the running conversation with 14 ("User Cancel").
    void abort() { cancel_.request(); }

Q_SIGNALS:
    void finished(qint32 code);

private:
    enum class Way { Email, MassMailing, News };
    struct Send {
        Way way = Way::Email;
        Messages message;
        MailRequest request;
        SendOutcome outcome;
    };

    qint32 begin(qint32 emailId);
    void start(std::unique_ptr<Send> send);
    void workerDone();
    void watch();
    qint32 finish(Send& send);
    void stamp(qint32 emailId);
    QString translatedAttachment(const Messages& m) const;

    MailContext ctx_;
    std::unique_ptr<Send> current_;
    QThread* worker_ = nullptr;
    Cancel cancel_;
    QTimer watchdog_;
    std::optional<qint32> queued_; // a send asked for while an abandoned one still ends
    qint32 result_ = 0;
    QString reply_;
};

} // namespace kr
