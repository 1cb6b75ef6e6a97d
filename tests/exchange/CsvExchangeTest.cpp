#include "exchange/CsvExchange.h"
#include "exchange/SyncValues.h"

#include "CraftedFiles.h"
#include "ExchangeFixture.h"
#include "SmallMedium.h"
#include "platform/DateTime.h"
#include "store/Schema.h"
#include "support/Refusals.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kr::test {
namespace {

bool IsDateField(const QString& picture) {
    return picture.startsWith(QLatin1String("@d"));
}
bool IsTimeField(const QString& picture) {
    return picture.startsWith(QLatin1String("@t"));
}

// Fills every exported field of a record with a value its picture can carry back: texts with
// quotes, commas and non-ASCII letters, memos with line breaks, zero dates where the picture
// leaves 0 blank.
void Fill(const ExchangeTable& t, void* record, int i) {
    for (const ExchangeField& f : t.targets) {
        const FieldDecl& d = t.fieldDecl(f.field);
        if (d.isMemo()) {
            d.set(record, Tricky(i, 200) + QStringLiteral("\r\nsecond line\nthird, \"line\""));
        } else if (d.isText()) {
            d.set(record, Tricky(i + f.field, d.maxChars()));
        } else if (IsDateField(f.picture)) {
            const bool blank = f.picture.endsWith(QLatin1Char('b')) && i % 3 == 0;
            d.set(record, blank ? qint64(0) : qint64(DateFromYmd(1990 + i % 40, 1 + i % 12, 1 + i % 28)));
        } else if (IsTimeField(f.picture)) {
            const bool blank = f.picture.endsWith(QLatin1Char('b')) && i % 3 == 1;
            d.set(record, blank ? qint64(0) : qint64(TimeFromHms((i * 7) % 24, (i * 13) % 60, 0)));
        } else if (const auto range = ProgramRange(d)) {
            // Anywhere within what the program writes into the field, ends included.
            const qint64 span = range->max - range->min + 1;
            const qint64 k = i % 3 == 0 ? (i % 2 ? span - 1 : 0) : (i * 37 + f.field) % span;
            d.set(record, qint64(range->min + k));
        } else {
            d.set(record, qint64((i % 2 ? -1 : 1) * (i * 37 + f.field)));
        }
    }
}

// Compares the exported fields; the import stores no exception link.
void ExpectSame(const ExchangeTable& t, const void* a, const void* b, int row) {
    for (const ExchangeField& f : t.exportFields) {
        const FieldDecl& d = t.fieldDecl(f.field);
        const Value expected = f.name == QLatin1String("SCH:ExceptionLink") ? Value(qint64(0)) : d.get(a);
        EXPECT_EQ(d.get(b), expected) << "row " << row << " field " << f.name.toStdString();
    }
}

class CsvExchangeTest : public ::testing::Test {
protected:
    template <class R> std::vector<R> Seed(Station& s, const ExchangeTable& t, int n) {
        std::vector<R> out;
        Table<R> table(*s.store);
        for (int i = 0; i < n; ++i) {
            R r{};
            Fill(t, &r, i);
            if constexpr (std::is_same_v<R, Schedule>) {
                r.id = i + 1;
                // A warning time without a warning date is not kept by the import.
                if (r.advanceWarnDate == 0)
                    r.advanceWarnTime = 0;
            }
            if constexpr (std::is_same_v<R, Contact>)
                r.clientId = i + 1;
            EXPECT_EQ(table.add(r), Err::None);
            out.push_back(r);
        }
        return out;
    }
    // The exported fields of a record as stored (texts without trailing blanks), as one text, to
    // compare records in any order.
    static QString Signature(const ExchangeTable& t, const void* r) {
        QStringList parts;
        for (const ExchangeField& f : t.exportFields) {
            if (f.name == QLatin1String("SCH:ExceptionLink"))
                continue;
            const FieldDecl& d = t.fieldDecl(f.field);
            const Value v = d.get(r);
            if (const auto* text = std::get_if<QString>(&v))
                parts << (d.isMemo() ? *text : StoredText(d, *text));
            else
                parts << QString::number(std::get<qint64>(v));
        }
        return parts.join(QChar(0x1f));
    }
    // Exports every field with a header line, then imports the file as "A&uto" assigns it.
    template <class R>
    void RoundTrip(const ExchangeTable& t, const std::vector<std::pair<QString, QString>>& pictures = {}) {
        const int n = 40;
        const std::vector<R> seeded = Seed<R>(from, t, n);
        ASSERT_EQ(seeded.size(), std::size_t(n));
        const QString file = from.file(QStringLiteral("out.csv"));
        RecordingProgress progress;
        ASSERT_EQ(ExportTable(*from.store, progress, t, t.exportFields, true, file), n);
        EXPECT_EQ(progress.title, QStringLiteral("Exporting Records"));
        EXPECT_EQ(progress.text, QStringLiteral("Process Completed"));
        EXPECT_EQ(progress.percents.back(), 100);

        ImportFile in;
        ASSERT_TRUE(in.load(file, to.dialogs));
        ASSERT_EQ(in.fields().size(), t.exportFields.size());
        Assignments assigned;
        AutoAssign(t, in.fields(), assigned);
        for (const auto& [name, picture] : pictures) {
            for (std::size_t i = 0; i < t.targets.size(); ++i) {
                if (t.targets[i].name == name)
                    in.fields()[static_cast<std::size_t>(assigned[i])].picture = picture;
            }
        }
        // Every exported field found its target.
        int unassigned = 0;
        for (int a : assigned)
            unassigned += a < 0 ? 1 : 0;
        EXPECT_EQ(unassigned, static_cast<int>(t.targets.size() - t.exportFields.size()));
        RecordingProgress importing;
        ASSERT_EQ(ImportTable(*to.store, importing, t, in, assigned, true), n);
        EXPECT_EQ(importing.title, QStringLiteral("Importing Records"));
        EXPECT_EQ(importing.percents.back(), 100);
        EXPECT_TRUE(to.dialogs.shown.empty());

        const auto a = from.all<R>(t.exportKey);
        const auto b = to.all<R>(t.numberField >= 0 ? t.decl->primaryKey() : -1);
        ASSERT_EQ(a.size(), b.size());
        for (std::size_t i = 0; i < a.size(); ++i)
            ExpectSame(t, &a[i], &b[i], static_cast<int>(i));
        // What arrived is what was put in, whatever the order.
        QStringList put;
        QStringList got;
        for (const R& r : seeded)
            put << Signature(t, &r);
        for (const R& r : b)
            got << Signature(t, &r);
        put.sort();
        got.sort();
        EXPECT_EQ(got, put);
    }

    Station from;
    Station to;
};

TEST_F(CsvExchangeTest, ListsResolveAgainstTheDeclarations) {
    for (const ExchangeTable* t : {&ScheduleExchange(), &ContactExchange(), &TodoExchange()}) {
        for (const auto& f : t->targets)
            EXPECT_GE(f.field, 0) << f.name.toStdString();
    }
    EXPECT_EQ(ScheduleExchange().exportFields.size(), 47u);
    EXPECT_EQ(ScheduleExchange().targets.size(), 48u);
    EXPECT_EQ(ContactExchange().exportFields.size(), 14u);
    EXPECT_EQ(ContactExchange().targets.size(), 15u);
    EXPECT_EQ(ContactExchange().targets[1].name, QStringLiteral("C_:User"));
    EXPECT_EQ(TodoExchange().targets.size(), 8u);
    EXPECT_EQ(ExportKindText(QStringLiteral("@s20")), QStringLiteral("Alpha-numeric"));
    EXPECT_EQ(ImportKindText(QStringLiteral("@S1000")), QStringLiteral("Alpha-num"));
    EXPECT_EQ(ExportKindText(QStringLiteral("@N30.9")), QStringLiteral("Numeric"));
    EXPECT_EQ(ExportKindText(QStringLiteral("@d6b")), QStringLiteral("@d6b"));
}

TEST_F(CsvExchangeTest, ScheduleRoundTripOfAllFields) {
    RoundTrip<Schedule>(ScheduleExchange());
}

TEST_F(CsvExchangeTest, ContactRoundTripOfAllFields) {
    RoundTrip<Contact>(ContactExchange());
}

TEST_F(CsvExchangeTest, TodoRoundTripWithDatePictures) {
    RoundTrip<Todo>(TodoExchange(), {{QStringLiteral("TDO:CompletionDate"), QStringLiteral("@d3")},
                                     {QStringLiteral("TDO:CompletionTime"), QStringLiteral("@t3")}});
}

TEST_F(CsvExchangeTest, TodoDateWithoutItsPictureIsReadAsANumber) {
    Todo t;
    t.todo = QStringLiteral("call");
    t.completionDate = DateFromYmd(2020, 3, 4);
    from.add(t);
    const QString file = from.file(QStringLiteral("todo.csv"));
    NoProgress none;
    ASSERT_EQ(ExportTable(*from.store, none, TodoExchange(), TodoExchange().exportFields, true, file), 1);
    ImportFile in;
    ASSERT_TRUE(in.load(file, to.dialogs));
    Assignments assigned;
    AutoAssign(TodoExchange(), in.fields(), assigned);
    EXPECT_EQ(in.fields()[4].picture, QStringLiteral("@S1000"));
    ASSERT_EQ(ImportTable(*to.store, none, TodoExchange(), in, assigned, true), 1);
    const auto got = to.all<Todo>();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].todo, QStringLiteral("call"));
    EXPECT_EQ(got[0].completionDate, 0);
}

TEST_F(CsvExchangeTest, FieldsPicturesAndRecordsOfTheFileShown) {
    ImportFile in;
    in.setBytes("\"a\",\"b\",c\n\"1\",2,3.5\nlast\n");
    ASSERT_EQ(in.fields().size(), 3u);
    EXPECT_EQ(in.fields()[0].name, QStringLiteral("Field_1"));
    // Plain on the second line: numeric.
    EXPECT_EQ(in.fields()[0].picture, QStringLiteral("@S1000"));
    EXPECT_EQ(in.fields()[1].picture, QStringLiteral("@N30.9"));
    EXPECT_EQ(in.fields()[2].picture, QStringLiteral("@N30.9"));
    EXPECT_EQ(in.record(), 1);
    EXPECT_EQ(in.fields()[2].value, QStringLiteral("c"));
    EXPECT_TRUE(in.hasNext());
    ASSERT_TRUE(in.next());
    EXPECT_EQ(in.fields()[2].value, QStringLiteral("3.5"));
    ASSERT_TRUE(in.next());
    EXPECT_EQ(in.record(), 3);
    EXPECT_EQ(in.fields()[0].value, QStringLiteral("last"));
    EXPECT_EQ(in.fields()[1].value, QString());
    EXPECT_FALSE(in.hasNext());
    EXPECT_FALSE(in.next());
    EXPECT_EQ(in.record(), 3);
}

TEST_F(CsvExchangeTest, NoHeaderShortLinesAndEmptyRecords) {
    ImportFile in;
    // No header: the first line is skipped while the box stays checked. The short third line
    // starts from an empty record: nothing of the line before is carried over.
    in.setBytes("1,\"first\",\"Work\"\n2,\"second\",\"Home\"\n3\n");
    Assignments assigned;
    AutoAssign(TodoExchange(), in.fields(), assigned);
    for (int a : assigned)
        EXPECT_EQ(a, -1);
    assigned[1] = 0; // TDO:Priority
    assigned[3] = 1; // TDO:ToDo
    assigned[2] = 2; // TDO:Category
    NoProgress none;
    ASSERT_EQ(ImportTable(*to.store, none, TodoExchange(), in, assigned, true), 2);
    const auto got = to.all<Todo>();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].priority, 2);
    EXPECT_EQ(got[0].todo, QStringLiteral("second"));
    EXPECT_EQ(got[0].category, QStringLiteral("Home"));
    EXPECT_EQ(got[1].priority, 3);
    EXPECT_EQ(got[1].todo, QString());
    EXPECT_EQ(got[1].category, QString());

    // Empty lines, between records and at the end, hold no records.
    ImportFile gaps;
    gaps.setBytes("1,\"first\",\"Work\"\r\n\r\n4,\"fourth\",\"Home\"\n\n\n");
    ASSERT_EQ(ImportTable(*to.store, none, TodoExchange(), gaps, assigned, false), 2);
    EXPECT_EQ(to.all<Todo>().size(), 4u);
}

TEST_F(CsvExchangeTest, LinesOfBlanksAndTabsHoldNoRecord) {
    ImportFile in;
    in.setBytes("\"first\",1\n   \n\t \t\r\nsecond,2\n \t");
    Assignments assigned(TodoExchange().targets.size(), -1);
    assigned[3] = 0; // TDO:ToDo
    assigned[1] = 1; // TDO:Priority
    NoProgress none;
    ASSERT_EQ(ImportTable(*to.store, none, TodoExchange(), in, assigned, false), 2);
    const auto got = to.all<Todo>(Todo::KEYTODO);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].todo, QStringLiteral("first"));
    EXPECT_EQ(got[1].todo, QStringLiteral("second"));
    EXPECT_EQ(got[1].priority, 2);
}

TEST_F(CsvExchangeTest, KeyTextsOfATabOrANonBreakingSpaceAreExportedOnce) {
    // Neither is a blank to the key: such records are in it, and must not come again with the
    // records the key leaves out (tasks without a category, date or time).
    const QString file = from.file(QStringLiteral("tasks.csv"));
    NoProgress none;
    int id = 0;
    for (const QString& category : {QStringLiteral("\t"), QStringLiteral("\u00a0"), QString()}) {
        Schedule t;
        t.id = ++id;
        t.description = QStringLiteral("task %1").arg(id);
        t.category = category;
        from.add(t);
    }
    std::vector<ExchangeField> taskFields;
    for (const ExchangeField& f : ScheduleExchange().exportFields) {
        if (f.name == QLatin1String("SCH:Description"))
            taskFields.push_back(f);
    }
    ASSERT_EQ(ExportTable(*from.store, none, ScheduleExchange(), taskFields, false, file), 3);
    QStringList lines = QString::fromUtf8(FileBytes(file)).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    lines.sort();
    EXPECT_EQ(lines, (QStringList{QStringLiteral("\"task 1\""), QStringLiteral("\"task 2\""),
                                  QStringLiteral("\"task 3\"")}));
}

TEST_F(CsvExchangeTest, AnImportedTaskGetsWhatANewTaskGetsForEveryFieldTheFileLeavesOut) {
    // The program's own export, with only the description, date and time.
    Schedule t;
    t.id = 1;
    t.taskType = QStringLiteral("Display Message");
    t.scheduleType = QStringLiteral("Monthly");
    t.description = QStringLiteral("Pay rent");
    t.date = DateFromYmd(2030, 5, 1);
    t.time = TimeFromHms(9, 0, 0);
    from.add(t);
    std::vector<ExchangeField> fields;
    for (const ExchangeField& f : ScheduleExchange().exportFields) {
        if (f.name == QLatin1String("SCH:Description") || f.name == QLatin1String("SCH:Date") ||
            f.name == QLatin1String("SCH:Time"))
            fields.push_back(f);
    }
    const QString file = from.file(QStringLiteral("three.csv"));
    NoProgress none;
    ASSERT_EQ(ExportTable(*from.store, none, ScheduleExchange(), fields, true, file), 1);
    ImportFile in;
    ASSERT_TRUE(in.load(file, to.dialogs));
    Assignments assigned;
    AutoAssign(ScheduleExchange(), in.fields(), assigned);
    ASSERT_EQ(ImportTable(*to.store, none, ScheduleExchange(), in, assigned, true), 1);
    const auto got = to.all<Schedule>();
    ASSERT_EQ(got.size(), 1u);
    const Schedule& r = got[0];
    EXPECT_EQ(r.description, QStringLiteral("Pay rent"));
    EXPECT_EQ(r.date, DateFromYmd(2030, 5, 1));
    EXPECT_EQ(r.time, TimeFromHms(9, 0, 0));
    // A task type, a schedule and a repetition, as the task form gives a new task; a task
    // that runs a program without one only runs its script.
    EXPECT_EQ(r.taskType, QStringLiteral("Both"));
    EXPECT_EQ(r.command, QStringLiteral("N/A"));
    EXPECT_EQ(r.scheduleType, QStringLiteral("Day of Week"));
    for (const quint8 day : {r.sunday, r.monday, r.tuesday, r.wednesday, r.thursday, r.friday, r.saturday})
        EXPECT_EQ(day, 1);
    EXPECT_EQ(r.every, 1);
    EXPECT_EQ(r.everyType, QStringLiteral("hour(s)"));
    EXPECT_EQ(r.warn, 1);
    EXPECT_EQ(r.disabled, 0);

    // A file that gives no date adds no task that comes due at once.
    ImportFile bare;
    bare.setBytes("\"Undated\"\n");
    Assignments descriptionOnly(ScheduleExchange().targets.size(), -1);
    for (std::size_t i = 0; i < ScheduleExchange().targets.size(); ++i) {
        if (ScheduleExchange().targets[i].name == QLatin1String("SCH:Description"))
            descriptionOnly[i] = 0;
    }
    ASSERT_EQ(ImportTable(*to.store, none, ScheduleExchange(), bare, descriptionOnly, false), 1);
    Schedule undated;
    undated.id = 2;
    Table<Schedule> tasks(*to.store);
    ASSERT_EQ(tasks.get(Schedule::KEYID, undated), Err::None);
    EXPECT_EQ(undated.date, 0);
    EXPECT_EQ(undated.time, 0);
    EXPECT_EQ(undated.taskType, QStringLiteral("Both"));

    // A to-do entry the middle priority.
    ImportFile todo;
    todo.setBytes("\"call\"\n");
    Assignments textOnly(TodoExchange().targets.size(), -1);
    textOnly[3] = 0;
    ASSERT_EQ(ImportTable(*to.store, none, TodoExchange(), todo, textOnly, false), 1);
    ASSERT_EQ(to.all<Todo>().size(), 1u);
    EXPECT_EQ(to.all<Todo>()[0].priority, 5);
}

TEST_F(CsvExchangeTest, ValuesKeptWithinTheirFields) {
    ImportFile in;
    in.setBytes("\"" + QByteArray(300, 'x') + "\",999,-3,junk,1e30\n");
    Assignments assigned(TodoExchange().targets.size(), -1);
    assigned[0] = 1; // TDO:Done is a byte
    assigned[1] = 2;
    assigned[3] = 0; // TDO:ToDo, 80 characters
    assigned[4] = 3; // a date that reads as nothing
    assigned[5] = 4;
    NoProgress none;
    ASSERT_EQ(ImportTable(*to.store, none, TodoExchange(), in, assigned, false), 1);
    const auto got = to.all<Todo>();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].todo.size(), 80);
    // Within what the to-do form writes: a flag, a priority from 1 to 10, a time of day.
    EXPECT_EQ(got[0].done, 1);
    EXPECT_EQ(got[0].priority, 1);
    EXPECT_EQ(got[0].completionDate, 0);
    EXPECT_EQ(got[0].completionTime, kOneDay);
}

TEST_F(CsvExchangeTest, OffsetWrittenPlainAndImportingTwiceDuplicates) {
    Schedule t;
    t.id = 7;
    t.description = QStringLiteral("Backup");
    t.offset = -5;
    t.exceptionLink = 3;
    t.advanceWarnTime = TimeFromHms(9, 0, 0);
    from.add(t);
    const QString file = from.file(QStringLiteral("s.csv"));
    NoProgress none;
    std::vector<ExchangeField> fields;
    for (const auto& f : ScheduleExchange().exportFields) {
        if (f.name == QLatin1String("SCH:Offset") || f.name == QLatin1String("SCH:Description") ||
            f.name == QLatin1String("SCH:ExceptionLink") || f.name == QLatin1String("SCH:AdvanceWarnTime"))
            fields.push_back(f);
    }
    ASSERT_EQ(ExportTable(*from.store, none, ScheduleExchange(), fields, false, file), 1);
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("\"Backup\",-5,\"9:00AM\",3\r\n"));
    EXPECT_EQ(QFile::permissions(file) & (QFile::ReadGroup | QFile::ReadOther), 0);

    ImportFile in;
    ASSERT_TRUE(in.load(file, to.dialogs));
    Assignments assigned(ScheduleExchange().targets.size(), -1);
    for (std::size_t i = 0; i < ScheduleExchange().targets.size(); ++i) {
        const QString& name = ScheduleExchange().targets[i].name;
        if (name == QLatin1String("SCH:Description"))
            assigned[i] = 0;
        else if (name == QLatin1String("SCH:Offset"))
            assigned[i] = 1;
        else if (name == QLatin1String("SCH:AdvanceWarnTime"))
            assigned[i] = 2;
        else if (name == QLatin1String("SCH:ExceptionLink"))
            assigned[i] = 3;
    }
    in.fields()[2].picture = QStringLiteral("@t3");
    for (int run = 0; run < 2; ++run)
        ASSERT_EQ(ImportTable(*to.store, none, ScheduleExchange(), in, assigned, false), 1);
    const auto got = to.all<Schedule>(Schedule::KEYID);
    ASSERT_EQ(got.size(), 2u);
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].id, static_cast<qint32>(i + 1));
        EXPECT_EQ(got[i].offset, -5);
        EXPECT_EQ(got[i].exceptionLink, 0);
        // No warning date: no warning time.
        EXPECT_EQ(got[i].advanceWarnTime, 0);
    }
}

TEST_F(CsvExchangeTest, Windows1252FileOfAnOlderInstallation) {
    ImportFile in;
    in.setBytes("\"M\xfcller\",\"Caf\xe9 \x80\"\r\n");
    Assignments assigned(ContactExchange().targets.size(), -1);
    assigned[2] = 0; // C_:LastName
    assigned[3] = 1; // C_:FirstName
    NoProgress none;
    ASSERT_EQ(ImportTable(*to.store, none, ContactExchange(), in, assigned, false), 1);
    const auto got = to.all<Contact>();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].lastName, QStringLiteral("Müller"));
    EXPECT_EQ(got[0].firstName, QStringLiteral("Café €"));
    EXPECT_EQ(got[0].clientId, 1);
}

TEST_F(CsvExchangeTest, AnAddThatFailsIsToldAfterTheLinesBeforeItAreKept) {
    // The data file itself refuses one entry (a rule in the storage, as a full or damaged file
    // would refuse it): the message comes once the slice is written, not inside it.
    Todo first;
    first.todo = QStringLiteral("already here");
    to.add(first);
    Table<Todo> refusing(*to.store);
    ASSERT_TRUE(RefuseChanges(refusing, QStringLiteral("INSERT new.TODO = 'fourth'"),
                              QStringLiteral("no_fourth"), Refusal::Taken)
                    .ok());
    ImportFile in;
    in.setBytes("\"first\"\n\"second\"\n\"third\"\n\"fourth\"\n\"fifth\"\n");
    Assignments assigned(TodoExchange().targets.size(), -1);
    assigned[3] = 0; // TDO:ToDo
    RecordingProgress progress;
    EXPECT_EQ(ImportTable(*to.store, progress, TodoExchange(), in, assigned, false), 3);
    ASSERT_EQ(to.dialogs.shown.size(), 1u);
    EXPECT_EQ(to.dialogs.shown[0].caption, QStringLiteral("Cannot ADD to Todo!"));
    EXPECT_TRUE(to.dialogs.shown[0].text.startsWith(QStringLiteral("Error #40 - ")))
        << to.dialogs.shown[0].text.toStdString();
    QStringList texts;
    for (const Todo& t : to.all<Todo>())
        texts << t.todo;
    texts.sort();
    EXPECT_EQ(texts, (QStringList{QStringLiteral("already here"), QStringLiteral("first"),
                                  QStringLiteral("second"), QStringLiteral("third")}));
}

TEST_F(CsvExchangeTest, ANumberTakenThreeTimesIsAskedAboutBetweenSlices) {
    // Every number above 2 is refused as taken, as when other stations keep taking them.
    Table<Schedule> refusing(*to.store);
    ASSERT_TRUE(
        RefuseChanges(refusing, QStringLiteral("INSERT new.ID > 2"), QStringLiteral("taken"), Refusal::Taken)
            .ok());
    ImportFile in;
    in.setBytes("\"one\"\n\"two\"\n\"three\"\n\"four\"\n");
    Assignments assigned(ScheduleExchange().targets.size(), -1);
    for (std::size_t i = 0; i < ScheduleExchange().targets.size(); ++i) {
        if (ScheduleExchange().targets[i].name == QLatin1String("SCH:Description"))
            assigned[i] = 0;
    }
    to.dialogs.answer(Dialogs::Retry);
    to.dialogs.answer(Dialogs::Cancel);
    RecordingProgress progress;
    EXPECT_EQ(ImportTable(*to.store, progress, ScheduleExchange(), in, assigned, false), 2);
    ASSERT_EQ(to.dialogs.shown.size(), 3u) << to.dialogs.texts().join(QLatin1Char('|')).toStdString();
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(to.dialogs.shown[i].caption, QStringLiteral("Auto Increment Error"));
        EXPECT_EQ(to.dialogs.shown[i].defaultButton, Dialogs::Cancel);
    }
    // Declined: the import ends with the failure, the lines before it kept.
    EXPECT_EQ(to.dialogs.shown[2].caption, QStringLiteral("Cannot ADD to Schedule!"));
    EXPECT_TRUE(to.dialogs.shown[2].text.startsWith(QStringLiteral("Error #40 - ")));
    const auto tasks = to.all<Schedule>(Schedule::KEYID);
    ASSERT_EQ(tasks.size(), 2u);
    EXPECT_EQ(tasks[0].description, QStringLiteral("one"));
    EXPECT_EQ(tasks[1].description, QStringLiteral("two"));
}

TEST_F(CsvExchangeTest, AWriteOntoANearlyFullMediumAsksAbortOrRetry) {
    // The peer's four to-do entries take more than the medium holds.
    QProcess seed;
    seed.start(QStringLiteral(EXCHANGE_PEER), {QStringLiteral("seed"), from.dir.path()});
    ASSERT_TRUE(seed.waitForFinished(60000));
    ASSERT_EQ(seed.exitCode(), 0);
    TempDir medium;
    const QString file = medium.file(QStringLiteral("todo.csv"));
    const PeerRun run = RunPeerOnSmallMedium(
        medium.path(), 4, {QStringLiteral("export"), from.dir.path(), file, QStringLiteral("RA")});
    ASSERT_EQ(run.exitCode, 0) << run.lines.join(QLatin1Char('|')).toStdString();
    ASSERT_EQ(run.lines.size(), 3) << run.lines.join(QLatin1Char('|')).toStdString();
    for (int i = 0; i < 2; ++i) {
        const QStringList shown = run.lines[i].split(QLatin1Char('\t'));
        ASSERT_EQ(shown.size(), 4);
        EXPECT_EQ(shown[0], QStringLiteral("Cannot ADD to ") + file);
        EXPECT_TRUE(shown[1] == QLatin1String("Error #28 - No space left on device") ||
                    shown[1] == QLatin1String("Error #27 - File too large"))
            << shown[1].toStdString();
        EXPECT_EQ(shown[2].toUInt(), unsigned(Dialogs::Abort | Dialogs::Retry));
        EXPECT_EQ(shown[3].toUInt(), unsigned(Dialogs::Abort));
    }
    // Retried once, then given up: the lines written before stay counted.
    const int written = run.lines[2].section(QLatin1Char(' '), 1).toInt();
    EXPECT_TRUE(run.lines[2].startsWith(QLatin1String("result ")));
    EXPECT_GE(written, 1);
    EXPECT_LT(written, 4);
    EXPECT_EQ(run.files, QStringList{QStringLiteral("todo.csv")});
}

TEST_F(CsvExchangeTest, APipeOrADeviceIsNoFileToExportTo) {
    Todo t;
    t.todo = QStringLiteral("x");
    from.add(t);
    NoProgress none;
    // A pipe with a reader waiting would take the lines; it is refused before any is written.
    const QString pipe = from.file(QStringLiteral("pipe.csv"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const int reader = ::open(QFile::encodeName(pipe).constData(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(ExportTable(*from.store, none, TodoExchange(), TodoExchange().exportFields, false, pipe), -1);
    char byte = 0;
    EXPECT_LE(::read(reader, &byte, 1), 0);
    ::close(reader);
    // Without a reader the export does not wait for one.
    EXPECT_EQ(ExportTable(*from.store, none, TodoExchange(), TodoExchange().exportFields, true, pipe), -1);
    ASSERT_EQ(from.dialogs.shown.size(), 2u);
    for (const auto& shown : from.dialogs.shown) {
        EXPECT_EQ(shown.caption, QStringLiteral("Cannot CREATE ") + pipe);
        EXPECT_EQ(shown.text, pipe + QStringLiteral(" is not a file that can be written to."));
    }
    if (QFile::exists(QStringLiteral("/dev/full"))) {
        const auto perms = QFile::permissions(QStringLiteral("/dev/full"));
        EXPECT_EQ(ExportTable(*from.store, none, TodoExchange(), TodoExchange().exportFields, false,
                              QStringLiteral("/dev/full")),
                  -1);
        EXPECT_EQ(from.dialogs.shown.back().text,
                  QStringLiteral("/dev/full is not a file that can be written to."));
        EXPECT_EQ(QFile::permissions(QStringLiteral("/dev/full")), perms);
    }
    EXPECT_EQ(
        ExportTable(*from.store, none, TodoExchange(), TodoExchange().exportFields, false, from.dir.path()),
        -1);
    EXPECT_EQ(from.dialogs.shown.back().text, QStringLiteral("Error #21 - Is a directory"));
}

TEST_F(CsvExchangeTest, ATextGivenANumericPictureGoesOutAsTheNumberItReadsAs) {
    Todo a;
    a.todo = QStringLiteral("12, \"a\"\nb");
    a.priority = 1;
    to.add(a);
    Todo b;
    b.todo = QStringLiteral(" 42 ");
    b.priority = 2;
    to.add(b);
    std::vector<ExchangeField> fields;
    for (const ExchangeField& f : TodoExchange().exportFields) {
        if (f.name == QStringLiteral("TDO:ToDo") || f.name == QStringLiteral("TDO:Priority"))
            fields.push_back(ExchangeField{f.name, f.field, QStringLiteral("@n6")});
    }
    ASSERT_EQ(fields.size(), 2u);
    const QString file = to.file(QStringLiteral("numbers.csv"));
    NoProgress none;
    ASSERT_EQ(ExportTable(*to.store, none, TodoExchange(), fields, false, file), 2);
    // One line per record, each with its two fields: no comma, quote or line end of the text.
    QStringList lines = QString::fromUtf8(FileBytes(file)).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    lines.sort();
    const bool priorityFirst = fields[0].name == QStringLiteral("TDO:Priority");
    EXPECT_EQ(lines, priorityFirst ? (QStringList{QStringLiteral("1,0"), QStringLiteral("2,42")})
                                   : (QStringList{QStringLiteral("0,1"), QStringLiteral("42,2")}));
}

TEST_F(CsvExchangeTest, UnreadableAndUncreatableFiles) {
    ImportFile in;
    EXPECT_FALSE(in.load(to.dir.path(), to.dialogs));
    EXPECT_FALSE(in.load(to.file(QStringLiteral("missing.csv")), to.dialogs));
    ASSERT_EQ(to.dialogs.shown.size(), 2u);
    EXPECT_EQ(to.dialogs.shown[0].caption, QStringLiteral("Cannot OPEN ") + to.dir.path());
    EXPECT_EQ(to.dialogs.shown[0].text, QStringLiteral("Error #21 - Is a directory"));
    EXPECT_EQ(to.dialogs.shown[1].text, QStringLiteral("Error #2 - No such file or directory"));

    NoProgress none;
    const QString bad = to.file(QStringLiteral("no/such/folder.csv"));
    EXPECT_EQ(ExportTable(*to.store, none, TodoExchange(), TodoExchange().exportFields, false, bad), -1);
    EXPECT_EQ(to.dialogs.shown.back().caption, QStringLiteral("Cannot CREATE ") + bad);

    // A pipe is refused at once, not read until its writer ends.
    const QString pipe = to.file(QStringLiteral("pipe.csv"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    EXPECT_FALSE(in.load(pipe, to.dialogs));
    EXPECT_EQ(to.dialogs.shown.back().caption, QStringLiteral("Cannot OPEN ") + pipe);
    EXPECT_EQ(to.dialogs.shown.back().text, pipe + QStringLiteral(" is not a file that can be imported."));

    // The program's data file is never written over, named in any letter case.
    Todo keep;
    keep.todo = QStringLiteral("keep me");
    to.add(keep);
    const QString data = to.store->filePath(Todo::decl());
    const QByteArray before = FileBytes(data);
    const QString upper =
        QFileInfo(data).absolutePath() + QLatin1Char('/') + QFileInfo(data).fileName().toLower();
    EXPECT_EQ(ExportTable(*to.store, none, TodoExchange(), TodoExchange().exportFields, false, upper), -1);
    EXPECT_EQ(to.dialogs.shown.back().caption, QStringLiteral("Cannot CREATE ") + upper);
    EXPECT_EQ(FileBytes(data), before);
    EXPECT_EQ(to.all<Todo>().size(), 1u);

    // A new file is the user's alone; a file that was there keeps its rights.
    const mode_t mask = ::umask(022);
    const QString fresh = to.file(QStringLiteral("fresh.csv"));
    EXPECT_EQ(ExportTable(*to.store, none, TodoExchange(), TodoExchange().exportFields, false, fresh), 1);
    const QString shared = to.file(QStringLiteral("shared.csv"));
    QFile(shared).open(QIODevice::WriteOnly);
    ASSERT_TRUE(QFile::setPermissions(shared, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                                  QFile::ReadOther));
    EXPECT_EQ(ExportTable(*to.store, none, TodoExchange(), TodoExchange().exportFields, false, shared), 1);
    ::umask(mask);
    EXPECT_EQ(QFile::permissions(fresh) & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
    EXPECT_EQ(QFile::permissions(shared) & (QFile::ReadGroup | QFile::ReadOther),
              QFile::ReadGroup | QFile::ReadOther);
    EXPECT_TRUE(FileBytes(shared).contains("keep me"));
}

} // namespace
} // namespace kr::test
