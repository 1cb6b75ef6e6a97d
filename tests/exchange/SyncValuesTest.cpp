// The records of a synchronization file on their way from the reader program: the stream they
// travel in, and the ranges a received value must keep.

#include "exchange/SyncValues.h"
#include "exchange/SyncStream.h"
#include "platform/DateTime.h"
#include "store/Tables.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

namespace kr::test {
namespace {

using syncstream::Reader;

TEST(SyncValues, EveryNumberOfTheExchangedTablesHasTheRangeTheProgramWrites) {
    for (const TableDecl* d : {&SyncSchedule::decl(), &SyncScriptingDecl(), &SyncTodoDecl(),
                               &Schedule::decl(), &Scripting::decl(), &Todo::decl()}) {
        for (std::size_t i = 0; i < d->fields->size(); ++i) {
            const FieldDecl& f = (*d->fields)[i];
            const auto range = ReceivedRange(*d, static_cast<int>(i));
            EXPECT_EQ(range.has_value(), !f.isText()) << d->label(static_cast<int>(i)).toStdString();
            if (!range)
                continue;
            EXPECT_LE(range->min, range->max);
            // Within what the field can hold at all.
            EXPECT_GE(range->min, f.type == FieldType::Byte ? 0 : std::numeric_limits<qint32>::min());
            EXPECT_LE(range->max, f.type == FieldType::Byte ? 255 : std::numeric_limits<qint32>::max());
        }
    }
    auto of = [](const char* field) {
        return *ReceivedRange(SyncSchedule::decl(),
                              SyncSchedule::decl().fieldIndex(QString::fromLatin1(field)));
    };
    EXPECT_EQ(of("SUNDAY").max, 1);
    EXPECT_EQ(of("TIME").max, kOneDay);
    EXPECT_TRUE(of("TIME").orNone);
    EXPECT_EQ(of("LASTCHANGEDATE").max, kLastDate);
    EXPECT_EQ(of("DATE").max, DateFromYmd(9999, 12, 31));
    EXPECT_EQ(ReceivedRange(SyncTodoDecl(), Todo::PRIORITY)->min, 1);
}

// A task as the reader writes it: every field in declared order.
QByteArray TaskRecord(qint64 date, const QByteArray& description) {
    QByteArray out;
    syncstream::BeginRecord(out, syncstream::TaskTag);
    for (const FieldDecl& f : *SyncSchedule::decl().fields) {
        if (!f.isText())
            syncstream::AppendNumber(out, QString::fromLatin1(f.column) == QLatin1String("DATE") ? date : 0);
        else if (QString::fromLatin1(f.column) == QLatin1String("DESCRIPTION"))
            syncstream::AppendText(out, description.constData(), description.size());
        else
            syncstream::AppendText(out, "", 0);
    }
    return out;
}

std::vector<Reader::Result> ReadInPieces(const QByteArray& bytes, qsizetype piece,
                                         std::vector<syncstream::RawRecord>* records = nullptr) {
    Reader reader;
    std::vector<Reader::Result> results;
    for (qsizetype at = 0;;) {
        syncstream::RawRecord r;
        const Reader::Result result = reader.next(r);
        if (result == Reader::Result::Record) {
            if (records != nullptr)
                records->push_back(r);
            results.push_back(result);
            continue;
        }
        if (result != Reader::Result::NeedMore || at >= bytes.size()) {
            results.push_back(result);
            return results;
        }
        const qsizetype n = qMin(piece, bytes.size() - at);
        reader.feed(bytes.constData() + at, n);
        at += n;
    }
}

TEST(SyncStream, RecordsArriveWholeHoweverThePipeCutsThem) {
    QByteArray bytes;
    syncstream::AppendMagic(bytes);
    bytes += TaskRecord(80001, "Backup \xc3\xa9");
    bytes += TaskRecord(0, "");
    syncstream::AppendEnd(bytes, {2, 0, 0});
    for (const qsizetype piece : {qsizetype{1}, qsizetype{3}, qsizetype{7}, qsizetype{64}, bytes.size()}) {
        std::vector<syncstream::RawRecord> records;
        const auto results = ReadInPieces(bytes, piece, &records);
        ASSERT_EQ(results.size(), 3u) << piece;
        EXPECT_EQ(results.back(), Reader::Result::End) << piece;
        ASSERT_EQ(records.size(), 2u);
        EXPECT_EQ(records[0].fields[static_cast<std::size_t>(SyncSchedule::DATE)].number, 80001);
        EXPECT_EQ(records[0].fields[static_cast<std::size_t>(SyncSchedule::DESCRIPTION)].text,
                  QByteArray("Backup \xc3\xa9"));
        ReceivedRecords checked;
        SyncSchedule task;
        ASSERT_TRUE(checked.take(records[0], &task)) << checked.problem().toStdString();
        EXPECT_EQ(task.description, QStringLiteral("Backup é"));
        EXPECT_EQ(task.date, 80001);
    }
}

TEST(SyncStream, WhatIsNotTheReadersStreamIsBroken) {
    QByteArray good;
    syncstream::AppendMagic(good);
    good += TaskRecord(1, "x");
    auto ended = [](QByteArray b, std::array<qint64, 3> counts) {
        syncstream::AppendEnd(b, counts);
        return b;
    };
    QByteArray longText;
    syncstream::AppendMagic(longText);
    syncstream::BeginRecord(longText, syncstream::TaskTag);
    syncstream::AppendText(longText, "", 0); // USER
    syncstream::AppendNumber(longText, 1);   // ID
    syncstream::AppendText(longText, "", 0); // TASKTYPE
    syncstream::AppendText(longText, "", 0); // CATEGORY
    const QByteArray huge(4096, 'd');        // DESCRIPTION: far beyond its 40 characters
    syncstream::AppendText(longText, huge.constData(), huge.size());
    QByteArray otherTag;
    syncstream::AppendMagic(otherTag);
    syncstream::BeginRecord(otherTag, 'Z');
    const std::vector<std::pair<const char*, QByteArray>> broken{
        {"another beginning", QByteArray("KRSYNC2\n") + good.mid(8)},
        {"counts that do not match", ended(good, {2, 0, 0})},
        {"bytes after the end", ended(good, {1, 0, 0}) + "T"},
        {"a text longer than its field can be", longText},
        {"a tag of no table", otherTag},
    };
    for (const auto& [what, bytes] : broken) {
        const auto results = ReadInPieces(bytes, 5);
        EXPECT_EQ(results.back(), Reader::Result::Broken) << what;
    }
    // Cut short: never the end.
    const QByteArray whole = ended(good, {1, 0, 0});
    for (qsizetype cut = 0; cut < whole.size(); ++cut)
        EXPECT_EQ(ReadInPieces(whole.left(cut), 4).back(), Reader::Result::NeedMore) << cut;
    EXPECT_EQ(ReadInPieces(whole, 4).back(), Reader::Result::End);
}

} // namespace
} // namespace kr::test
