#pragma once

// The event log: one fixed-column line per noteworthy event, appended to KR98Evnt.LOG in the
// working directory while the LogEvents setting is on.

#include "platform/Clock.h"
#include "store/Settings.h"

#include <QString>

#include <functional>
#include <mutex>

namespace kr {

inline const QString kEventLogName = QStringLiteral("KR98Evnt.LOG");

class EventLog {
public:
    static constexpr int kDateWidth = 12;
    static constexpr int kTimeWidth = 10;
    static constexpr int kLabelWidth = 30;
    static constexpr int kDataWidth = 50;
    static constexpr int kLineWidth = kDateWidth + kTimeWidth + kLabelWidth + kDataWidth;

    EventLog(QString path, const Settings& settings, const Clock& clock);
    ~EventLog();
    EventLog(const EventLog&) = delete;
    EventLog& operator=(const EventLog&) = delete;

    // LogEvent: appends one line when logging is on. A failed append is lost; a log that
    // cannot be opened is said once (standard error and the handler below) until it opens
    // again, and the program goes on without it.
    void log(const QString& label, const QString& data = {});
    // Told the text of that one report (the frame puts it on its status line).
    void setOpenFailureHandler(std::function<void(const QString&)> handler) {
        onOpenFailure_ = std::move(handler);
    }

    // The line as written, without its line end: one line, whatever the texts hold.
    QString formatLine(const QString& label, const QString& data) const;
    const QString& path() const { return path_; }
    bool isOpen() const { return fd_ >= 0; }

private:
    void reportOpenFailure(int error);

    QString path_;
    const Settings& settings_;
    const Clock& clock_;
    std::mutex mutex_;
    int fd_ = -1;
    int count_ = 0;
    bool openFailureSaid_ = false;
    std::function<void(const QString&)> onOpenFailure_;
};

} // namespace kr
