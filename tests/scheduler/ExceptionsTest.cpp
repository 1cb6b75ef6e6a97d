#include "scheduler/Exceptions.h"
#include "scheduler/Occurrence.h"
#include "store/Numbering.h"
#include "store/Table.h"
#include "support/FakeClock.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace kr::test {
namespace {

Date D(int y, int m, int d) {
    return DateFromYmd(y, m, d);
}

class ExceptionsTest : public ::testing::Test {
protected:
    ExceptionsTest() {
        store = std::make_unique<Store>(dir.path(), dialogs, end);
        store->declareLayouts();
        tasks = std::make_unique<Table<Schedule>>(*store);
    }
    void holiday(Date date, const QString& name, bool annual = false) {
        Table<Holidays> h(*store);
        Holidays r;
        r.holidayDate = date;
        r.holiday = name;
        r.annual = annual ? 1 : 0;
        ASSERT_EQ(h.add(r), Err::None);
    }
    // A stored weekly task on Mondays, as the scheduler holds it.
    Schedule weeklyOnMondays(Date date) {
        Schedule t;
        t.description = QStringLiteral("Team meeting");
        t.taskType = QStringLiteral("Display Message");
        t.message = QStringLiteral("Room 4");
        t.scheduleType = kDayOfWeek;
        t.monday = 1;
        t.date = date;
        t.time = TimeFromHms(9, 0, 0);
        EXPECT_TRUE(ReserveRecordNumber(*tasks, t));
        return t;
    }
    Schedule stored(qint32 id) {
        Schedule t;
        t.id = id;
        tasks->get(Schedule::KEYID, t);
        return t;
    }
    bool apply(Schedule& t, bool replacePrevious = false) {
        return ApplyExceptions(*store, t, replacePrevious, clock, dialogs);
    }

    TempDir dir;
    ScriptedDialogs dialogs;
    ThrowingProgramEnd end;
    FakeClock clock{D(2026, 6, 10), TimeFromHms(12, 0, 0)};
    std::unique_ptr<Store> store;
    std::unique_ptr<Table<Schedule>> tasks;
};

TEST_F(ExceptionsTest, AHolidayMondayMovesToTuesdayThroughAOneTimeCopy) {
    holiday(D(2026, 6, 15), QStringLiteral("Closed"));
    Schedule t = weeklyOnMondays(D(2026, 6, 15));
    t.exceptHolidays = 1;
    t.shiftType = QStringLiteral("Next Day");
    EXPECT_TRUE(apply(t));

    const Schedule task = stored(t.id);
    EXPECT_EQ(task.date, D(2026, 6, 15)); // the task keeps its Monday...
    EXPECT_EQ(task.skipNextTime, 1);      // ...to be passed over
    ASSERT_NE(task.exceptionLink, 0);
    EXPECT_EQ(t.exceptionLink, task.exceptionLink);
    const Schedule copy = stored(task.exceptionLink);
    EXPECT_EQ(copy.date, D(2026, 6, 16));
    EXPECT_EQ(copy.time, TimeFromHms(9, 0, 0));
    EXPECT_EQ(copy.scheduleType, kOnce);
    EXPECT_EQ(copy.skipNextTime, 0);
    EXPECT_EQ(copy.exceptionLink, 0);
    EXPECT_EQ(copy.message, QStringLiteral("Room 4"));
    EXPECT_EQ(copy.description, QStringLiteral("Team meeting"));
    EXPECT_EQ(tasks->records(), 2);

    // The copy, a one-time task, loses its exceptions when it passes through in turn.
    Schedule c = copy;
    EXPECT_FALSE(apply(c));
    EXPECT_EQ(c.exceptHolidays, 0);
    EXPECT_EQ(c.shiftType, QStringLiteral("Next Day")); // the action itself is not an exception
}

TEST_F(ExceptionsTest, PreviousDayPassesOverHolidaysAndWeekends) {
    holiday(D(2026, 6, 15), QStringLiteral("Monday off"));
    holiday(D(2026, 6, 12), QStringLiteral("Friday off"));
    Schedule t = weeklyOnMondays(D(2026, 6, 15));
    t.exceptHolidays = 1;
    t.exceptWeekends = 1;
    t.exceptWeekdays = 1; // weekends win
    t.shiftType = QStringLiteral("Previous Day");
    EXPECT_TRUE(apply(t));
    EXPECT_EQ(stored(stored(t.id).exceptionLink).date, D(2026, 6, 11)); // Thursday
    EXPECT_EQ(stored(t.id).exceptWeekdays, 0);
}

TEST_F(ExceptionsTest, SkippingMakesNoCopy) {
    holiday(D(2026, 6, 15), QStringLiteral("Closed"));
    Schedule t = weeklyOnMondays(D(2026, 6, 15));
    t.exceptHolidays = 1;
    t.shiftType = QStringLiteral("Skip (to Next Valid Day)");
    EXPECT_TRUE(apply(t));
    EXPECT_EQ(stored(t.id).skipNextTime, 1);
    EXPECT_EQ(stored(t.id).exceptionLink, 0);
    EXPECT_EQ(tasks->records(), 1);
    // An allowed day changes nothing and leaves the writing to the caller.
    Schedule other = weeklyOnMondays(D(2026, 6, 22));
    other.exceptHolidays = 1;
    EXPECT_FALSE(apply(other));
    EXPECT_EQ(other.skipNextTime, 0);
}

TEST_F(ExceptionsTest, SavingAgainReplacesThePreviousCopy) {
    holiday(D(2026, 6, 15), QStringLiteral("Closed"));
    holiday(D(2026, 6, 22), QStringLiteral("Closed again"));
    Schedule t = weeklyOnMondays(D(2026, 6, 15));
    t.exceptHolidays = 1;
    t.shiftType = QStringLiteral("Next Day");
    apply(t);
    const qint32 first = stored(t.id).exceptionLink;
    // The scheduler's own advance leaves earlier copies in place.
    t = stored(t.id);
    t.date = D(2026, 6, 22);
    t.skipNextTime = 0;
    apply(t);
    const qint32 second = stored(t.id).exceptionLink;
    EXPECT_NE(first, second);
    EXPECT_EQ(tasks->records(), 3);
    // Saved from the form: the copy made for the earlier occurrence goes.
    t = stored(t.id);
    t.skipNextTime = 0;
    apply(t, true);
    EXPECT_EQ(tasks->records(), 3);
    Schedule gone;
    gone.id = second;
    EXPECT_EQ(tasks->get(Schedule::KEYID, gone), Err::RecordNotFound);
}

TEST_F(ExceptionsTest, AnnualHolidaysAreRolledIntoThisYear) {
    holiday(D(2025, 12, 25), QStringLiteral("Christmas"), true);
    holiday(D(2024, 2, 29), QStringLiteral("Leap"), true);
    holiday(D(2025, 1, 1), QStringLiteral("Once only"), false);
    Schedule t = weeklyOnMondays(D(2026, 12, 21));
    t.scheduleType = kYearly;
    t.date = D(2026, 12, 25);
    t.exceptHolidays = 1;
    EXPECT_TRUE(apply(t)); // 25 December now is a holiday
    Table<Holidays> h(*store);
    QStringList dates;
    Holidays r;
    h.set(Holidays::KEYHOLIDAYDATE);
    while (h.next(r) == Err::None)
        dates << DateKeyText(r.holidayDate);
    EXPECT_EQ(dates, (QStringList{"20250101", "20261225", "20270301"}));
    // Nothing is written when only looking.
    holiday(D(2025, 7, 4), QStringLiteral("Fourth"), true);
    const HolidayCalendar look = HolidayCalendar::load(*store, clock.today(), false);
    EXPECT_TRUE(look.contains(D(2026, 7, 4)));
    Holidays fourth;
    fourth.holidayDate = D(2025, 7, 4);
    EXPECT_EQ(h.get(Holidays::KEYHOLIDAYDATE, fourth), Err::None);
}

TEST_F(ExceptionsTest, TimeRangesPushTheOccurrenceOut) {
    Schedule t;
    t.scheduleType = kCustom;
    t.every = 30;
    t.everyType = QStringLiteral("minute(s)");
    t.date = D(2026, 6, 10);
    t.time = TimeFromHms(12, 30, 0);
    t.exceptTime = 1;
    t.exceptTimeBegin = TimeFromHms(12, 0, 0);
    t.exceptTimeEnd = TimeFromHms(13, 0, 0);
    ASSERT_TRUE(ReserveRecordNumber(*tasks, t));
    EXPECT_TRUE(apply(t));
    EXPECT_EQ(t.time, TimeFromHms(13, 30, 0)); // 13:00 itself is inside
    EXPECT_EQ(stored(t.id).time, TimeFromHms(13, 30, 0));

    // Across midnight: 06:00 itself is allowed.
    Schedule night = t;
    night.meta = {};
    night.every = 1;
    night.everyType = QStringLiteral("hour(s)");
    night.time = TimeFromHms(23, 0, 0);
    night.exceptTimeBegin = TimeFromHms(22, 0, 0);
    night.exceptTimeEnd = TimeFromHms(6, 0, 0);
    ASSERT_TRUE(ReserveRecordNumber(*tasks, night));
    EXPECT_TRUE(apply(night));
    EXPECT_EQ(night.date, D(2026, 6, 11));
    EXPECT_EQ(night.time, TimeFromHms(6, 0, 0));

    // An end of 0 is the end of the day, and stored so.
    Schedule evening = t;
    evening.meta = {};
    evening.time = TimeFromHms(20, 0, 0);
    evening.exceptTimeBegin = TimeFromHms(19, 0, 0);
    evening.exceptTimeEnd = 0;
    ASSERT_TRUE(ReserveRecordNumber(*tasks, evening));
    EXPECT_TRUE(apply(evening));
    EXPECT_EQ(evening.exceptTimeEnd, kOneDay);
    EXPECT_EQ(evening.date, D(2026, 6, 11));
    EXPECT_EQ(evening.time, TimeFromHms(0, 0, 0));
}

TEST_F(ExceptionsTest, ADailyTaskStuckInTheRangeGoesToItsEnd) {
    Schedule t = weeklyOnMondays(D(2026, 6, 10));
    t.monday = 0; // every day
    t.time = TimeFromHms(12, 30, 0);
    t.exceptTime = 1;
    t.exceptTimeBegin = TimeFromHms(12, 0, 0);
    t.exceptTimeEnd = TimeFromHms(13, 0, 0);
    EXPECT_TRUE(apply(t));
    EXPECT_EQ(t.date, D(2026, 6, 11));
    EXPECT_EQ(t.time, TimeFromHms(13, 0, 0));
}

TEST_F(ExceptionsTest, OneTimeTasksKeepNoExceptions) {
    Schedule t = weeklyOnMondays(D(2026, 6, 15));
    t.scheduleType = kOnce;
    t.exceptWeekends = t.exceptHolidays = t.exceptTime = 1;
    t.exceptTimeBegin = 100;
    t.exceptTimeEnd = 200;
    t.exceptOther = QStringLiteral("x");
    EXPECT_FALSE(apply(t));
    EXPECT_EQ(t.exceptWeekends + t.exceptHolidays + t.exceptTime, 0);
    EXPECT_EQ(t.exceptTimeBegin + t.exceptTimeEnd, 0);
    EXPECT_TRUE(t.exceptOther.isEmpty());
}

TEST_F(ExceptionsTest, NoAllowedDayWithinAYearStopsAfter366Days) {
    Schedule t = weeklyOnMondays(D(2026, 6, 15));
    t.exceptWeekends = 1;
    t.exceptHolidays = 1;
    t.shiftType = QStringLiteral("Next Day");
    t.date = D(2026, 6, 13); // a Saturday
    {
        Table<Holidays> h(*store);
        for (Date d = D(2026, 6, 13); d <= D(2026, 6, 13) + 400; ++d) {
            Holidays r;
            r.holidayDate = d;
            ASSERT_EQ(h.add(r), Err::None);
        }
    }
    EXPECT_TRUE(apply(t));
    EXPECT_EQ(stored(stored(t.id).exceptionLink).date, D(2026, 6, 13) + 366);
}

} // namespace
} // namespace kr::test
