#pragma once

// A data directory with its store, a report context on it writing to a PDF file, and the PDF
// read back as text through pdftotext.

#include "platform/Pictures.h"
#include "reports/Reports.h"
#include "store/Table.h"
#include "support/FakeClock.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <memory>

namespace kr::test {

// A progress window that the user cancels once the read reaches a percentage.
class CancellingProgress final : public Progress {
public:
    explicit CancellingProgress(int at = 101)
        : at_(at) {}
    void doBegin(const QString& t, const QString& text) override {
        title = t;
        (void)text;
        cancelled_ = false;
        updates.clear();
    }
    void doUpdate(int percent) override {
        updates.push_back(percent);
        if (percent >= at_)
            cancelled_ = true;
    }
    bool cancelled() const override { return cancelled_; }
    void end() override { ended = true; }
    void setCancelQuestionYesNo(const QString& text, const QString& caption) override {
        question = text;
        questionCaption = caption;
    }

    QString title;
    QString question;
    QString questionCaption;
    std::vector<int> updates;
    bool ended = false;

private:
    int at_;
    bool cancelled_ = false;
};

class ReportFixture : public ::testing::Test {
protected:
    ReportFixture() {
        store = std::make_unique<Store>(dir.path(), dialogs, end);
        store->declareLayouts();
    }

    // Runs the report to the PDF file, the parameters window answering with `choices`.
    void run(ReportKind kind, Progress* p = nullptr) {
        QFile::remove(pdf);
        output = std::make_unique<PdfReportOutput>(pdf);
        ReportContext ctx{*store, dialogs, clock, p != nullptr ? *p : progress, *output, choices, {}, {}, {}};
        ctx.askParameters = [this](ReportChoices& c) {
            ++parameterAsks;
            if (!parametersOk)
                return false;
            c = wanted;
            return true;
        };
        ctx.askTitle = [this](QString& t) {
            t = title;
            return titleOk;
        };
        ctx.selectCategory = [this] { return pickedCategory; };
        ctx.batch = batch;
        RunReport(ctx, kind);
        // KELVRAY_KEEP_REPORTS=folder keeps each PDF written, to look at.
        const QString keep = qEnvironmentVariable("KELVRAY_KEEP_REPORTS");
        if (!keep.isEmpty() && QFile::exists(pdf)) {
            const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
            const QString name = QStringLiteral("%1/%2-%3.pdf")
                                     .arg(keep, QString::fromLatin1(info->name()),
                                          ReportProcedures().at(static_cast<int>(kind)));
            QFile::remove(name);
            QFile::copy(pdf, name);
        }
    }

    // The PDF as text, laid out; a form feed ends each page.
    QString text() const {
        QProcess p;
        p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
        if (!p.waitForFinished(60000))
            return {};
        // Ligatures ("ﬁ") read back as their letters.
        return QString::fromUtf8(p.readAllStandardOutput()).normalized(QString::NormalizationForm_KC);
    }
    QStringList pages() const {
        QStringList list = text().split(QLatin1Char('\f'));
        if (!list.isEmpty() && list.last().trimmed().isEmpty())
            list.removeLast();
        return list;
    }

    Schedule addTask(const QString& description, const QString& category, Date date, Time time,
                     const QString& type = QStringLiteral("Message")) {
        Table<Schedule> t(*store);
        Schedule s{};
        s.id = ++lastId;
        s.description = description;
        s.category = category;
        s.taskType = type;
        s.date = date;
        s.time = time;
        s.scheduleType = QStringLiteral("One Time");
        EXPECT_EQ(t.add(s), Err::None);
        return s;
    }

    static Date Dec(int day) { return DateFromYmd(2026, 12, day); }

    TempDir dir;
    QString pdf = dir.file(QStringLiteral("report.pdf"));
    ScriptedDialogs dialogs;
    ThrowingProgramEnd end;
    FakeClock clock{DateFromYmd(2026, 12, 8), TimeFromHms(9, 30, 0)};
    std::unique_ptr<Store> store;
    CancellingProgress progress;
    std::unique_ptr<PdfReportOutput> output;
    ReportChoices choices;
    ReportChoices wanted;
    bool parametersOk = true;
    int parameterAsks = 0;
    QString title;
    bool titleOk = true;
    QString pickedCategory;
    int batch = 500;
    qint32 lastId = 0;
};

// Where each of `names` first stands in `text`; -1 for those missing.
inline std::vector<qsizetype> Positions(const QString& text, const QStringList& names) {
    std::vector<qsizetype> at;
    for (const QString& n : names)
        at.push_back(text.indexOf(n));
    return at;
}

inline bool Ascending(const std::vector<qsizetype>& at) {
    for (std::size_t i = 0; i < at.size(); ++i)
        if (at[i] < 0 || (i > 0 && at[i] <= at[i - 1]))
            return false;
    return true;
}

} // namespace kr::test
