// The bash completion of kelvray-cli, run by bash: it offers every option the usage names for a
// verb, and the choices of a value whole, quoted for the shell.

#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>

#include <gtest/gtest.h>

namespace {

// What the completion offers for the words typed so far (the last one being completed).
QStringList Offered(const QStringList& words) {
    QStringList quoted;
    for (const QString& w : words)
        quoted << QLatin1Char('\'') + QString(w).replace(QLatin1Char('\''), QStringLiteral("'\\''")) +
                      QLatin1Char('\'');
    const QString script =
        QStringLiteral("source '%1'; COMP_WORDS=(kelvray-cli %2); COMP_CWORD=%3; _kelvray_cli; "
                       "printf '%s\\n' \"${COMPREPLY[@]}\"")
            .arg(QStringLiteral(COMPLETION), quoted.join(QLatin1Char(' ')))
            .arg(words.size());
    QProcess bash;
    bash.start(QStringLiteral("bash"), {QStringLiteral("--norc"), QStringLiteral("-c"), script});
    bash.waitForFinished(10000);
    EXPECT_EQ(bash.exitCode(), 0) << bash.readAllStandardError().toStdString();
    return QString::fromUtf8(bash.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// The options the usage names on the lines of one verb.
QSet<QString> UsageOptions(const QString& verb) {
    QProcess cli;
    cli.start(QStringLiteral(KELVRAY_CLI), {QStringLiteral("--help")});
    cli.waitForFinished(10000);
    const QString usage = QString::fromUtf8(cli.readAllStandardOutput());
    QSet<QString> out;
    bool inVerb = false;
    for (const QString& line : usage.split(QLatin1Char('\n'))) {
        if (line.contains(QStringLiteral("kelvray-cli ")))
            inVerb = line.contains(QStringLiteral("kelvray-cli ") + verb + QLatin1Char(' '));
        else if (!line.startsWith(QStringLiteral("        ")))
            inVerb = false;
        if (!inVerb)
            continue;
        static const QRegularExpression option(QStringLiteral("--[a-z-]+"));
        for (auto it = option.globalMatch(line); it.hasNext();)
            out.insert(it.next().captured());
    }
    return out;
}

TEST(Completion, OffersEveryOptionTheUsageNames) {
    for (const char* verb : {"add", "next", "matches", "list", "show", "export-ics", "export-csv", "import-csv", "sync", "report", "search", "runs", "status"}) {
        QSet<QString> wanted = UsageOptions(QString::fromLatin1(verb));
        ASSERT_FALSE(wanted.isEmpty()) << verb;
        if (QStringList{"add", "next", "matches"}.contains(QString::fromLatin1(verb)))
            for (const char* o :
                 {"--type", "--weekdays", "--ordinals", "--month-end", "--repeat", "--offset", "--every",
                  "--unit", "--date", "--time", "--except", "--except-time", "--shift"})
                wanted.insert(QString::fromLatin1(o));
        const QStringList offered = Offered({QString::fromLatin1(verb), QStringLiteral("--")});
        const QSet<QString> got(offered.begin(), offered.end());
        for (const QString& o : wanted)
            EXPECT_TRUE(got.contains(o)) << verb << " " << o.toStdString();
    }
}

TEST(Completion, OffersTheChoicesOfAValueWhole) {
    EXPECT_EQ(Offered({"add", "--type", "Day"}), (QStringList{"Day\\ of\\ Week", "Day\\ of\\ Month"}));
    EXPECT_EQ(Offered({"add", "--task-type", ""}),
              (QStringList{"Run\\ Program", "Display\\ Message", "Both", "None"}));
    EXPECT_EQ(Offered({"add", "--repeat", "Twice"}),
              (QStringList{"Twice\\ -\\ 1st\\,\\ 15th", "Twice\\ -\\ 15th\\,\\ Last"}));
    EXPECT_EQ(Offered({"add", "--unit", "mi"}), QStringList{"minute\\(s\\)"});
    EXPECT_EQ(Offered({"next", "--shift", "P"}), QStringList{"Previous\\ Day"});
}

} // namespace
