#pragma once

// The conversation with a server, appended to a private log file ("inmail.log",
// "inserver.log"); passwords never reach it.

#include <QByteArray>
#include <QFile>
#include <QString>

namespace kr {

class Transcript {
public:
    // Blank path: nothing is written.
    explicit Transcript(const QString& path);

    void sent(const QByteArray& bytes) { write("> ", bytes); }
    void received(const QByteArray& bytes) { write("< ", bytes); }
    // A line of a login exchange: only its presence is logged.
    void sentSecret() { write("> ", "****"); }
    void note(const QString& text) { write("* ", text.toUtf8()); }
    // Message text is not copied into the log, only its size.
    void data(qsizetype size) { note(QStringLiteral("(%1 bytes of message text)").arg(size)); }

    // A line as it may be logged: the arguments of AUTH and AUTHINFO PASS are masked.
    static QByteArray masked(const QByteArray& line);

private:
    void write(const char* prefix, const QByteArray& bytes);
    QFile file_;
};

} // namespace kr
