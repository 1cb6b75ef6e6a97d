#include "store/EventLog.h"

#include "platform/Pictures.h"
#include "platform/PrivateFiles.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace kr {

namespace {

// One fixed column of a line: a control character (line ends, tabs, the C1 controls) or a
// Unicode line or paragraph separator is a blank, so that one event stays one line whatever
// a description or a command holds; the text is cut to the width, never inside a character.
QString Column(const QString& text, int width) {
    QString out;
    out.reserve(width);
    for (qsizetype i = 0; i < text.size() && out.size() < width; ++i) {
        const QChar c = text.at(i);
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u < 0xA0) || u == 0x2028 || u == 0x2029) {
            out += QLatin1Char(' ');
        } else if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            if (out.size() + 2 > width)
                break;
            out += c;
            out += text.at(++i);
        } else if (c.isSurrogate()) {
            out += QLatin1Char(' '); // half a character
        } else {
            out += c;
        }
    }
    return out.leftJustified(width);
}

} // namespace

EventLog::EventLog(QString path, const Settings& settings, const Clock& clock)
    : path_(std::move(path))
    , settings_(settings)
    , clock_(clock) {}

EventLog::~EventLog() {
    if (fd_ >= 0)
        ::close(fd_);
}

QString EventLog::formatLine(const QString& label, const QString& data) const {
    const Date today = clock_.today();
    QString date = FormatDate(today, settings_.dateFormat);
    if (date.size() > kDateWidth)
        date = FormatDateAs(today, QStringLiteral("d3"));
    const QString time = FormatTimeAs(clock_.now(), QStringLiteral("t7"));
    return Column(date, kDateWidth) + Column(time, kTimeWidth) + Column(label, kLabelWidth) +
           Column(data, kDataWidth);
}

void EventLog::reportOpenFailure(int error) {
    if (openFailureSaid_)
        return;
    openFailureSaid_ = true;
    const QString text = QStringLiteral("The event log ") + path_ + QStringLiteral(" cannot be opened (") +
                         QString::fromLocal8Bit(std::strerror(error)) +
                         QStringLiteral("): events are not logged.");
    std::fprintf(stderr, "kelvray: %s\n", qPrintable(text));
    std::fflush(stderr);
    if (onOpenFailure_)
        onOpenFailure_(text);
}

void EventLog::log(const QString& label, const QString& data) {
    if (!settings_.logEvents)
        return;
    // One line never interleaves with another, from this process or another on the same file.
    std::lock_guard lock(mutex_);
    if (count_ == 0 || fd_ < 0) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = OpenPrivateFile(path_, O_WRONLY | O_APPEND | O_CREAT);
        count_ = 0;
        if (fd_ < 0) {
            reportOpenFailure(errno);
            return;
        }
        openFailureSaid_ = false;
    }
    ++count_;
    QByteArray line = formatLine(label, data).toLocal8Bit();
    line.append('\n');
    ::flock(fd_, LOCK_EX);
    const ssize_t written = ::write(fd_, line.constData(), static_cast<size_t>(line.size()));
    ::flock(fd_, LOCK_UN);
    (void)written; // an append that fails is lost, as the log promises nothing more
    if (count_ > 100) {
        ::close(fd_);
        fd_ = -1;
        count_ = 0;
    }
}

} // namespace kr
