#include "scheduler/ui/Holidays.h"
#include "../../store/Peer.h"
#include "platform/qt/Fields.h"
#include "platform/qt/Keyboard.h"
#include "store/Table.h"
#include "support/Accelerators.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace kr::test {
namespace {

class HolidaysTest : public ::testing::Test {
protected:
    HolidaysTest() {
        store = std::make_unique<Store>(dir.path(), dialogs, end);
        store->declareLayouts();
        ctx = std::make_unique<HolidayContext>(HolidayContext{
            *store, dialogs, IniFile(dir.file(QStringLiteral("POSITION.INI"))), QStringLiteral("d6")});
    }
    bool save(const QString& date, const QString& name, bool annual, bool adding = true, Holidays h = {}) {
        UpdateHolidays form(*ctx, h, adding);
        form.dateField()->setText(date);
        form.findChildren<QLineEdit*>().last()->setText(name);
        form.findChild<QCheckBox*>()->setChecked(annual);
        form.accept();
        return form.result() == QDialog::Accepted;
    }

    TempDir dir;
    ScriptedDialogs dialogs;
    ThrowingProgramEnd end;
    std::unique_ptr<Store> store;
    std::unique_ptr<HolidayContext> ctx;
};

TEST_F(HolidaysTest, TheListShowsHolidaysInDateOrderAndRefusesASecondOnOneDate) {
    EXPECT_TRUE(save(QStringLiteral("25/12/2026"), QStringLiteral("Christmas"), true));
    EXPECT_TRUE(save(QStringLiteral("01/01/2027"), QStringLiteral("New Year"), false));
    EXPECT_TRUE(save(QStringLiteral("04/07/2026"), QStringLiteral("Fourth"), true));
    EXPECT_FALSE(save(QStringLiteral("25/12/2026"), QStringLiteral("Again"), false));
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Duplicate Key Error"));
    EXPECT_EQ(dialogs.shown[0].text,
              QStringLiteral("Adding this record creates a duplicate entry for the key:HOL:KEYHOLIDAYDATE"));
    EXPECT_FALSE(save(QStringLiteral("31/02/2027"), QStringLiteral("Nonsense"), false)); // not a date

    BrowseHolidays list(*ctx);
    EXPECT_EQ(list.windowTitle(), QStringLiteral("Browse Holidays"));
    ASSERT_EQ(list.list()->rowCount(), 3);
    EXPECT_EQ(list.list()->horizontalHeaderItem(0)->text(), QStringLiteral("Holiday Date"));
    EXPECT_EQ(list.list()->item(0, 0)->text(), QStringLiteral("JUL 04,2026"));
    EXPECT_EQ(list.list()->item(1, 1)->text(), QStringLiteral("Christmas"));
    EXPECT_EQ(list.list()->item(1, 2)->text(), QStringLiteral("Yes"));
    EXPECT_EQ(list.list()->item(2, 2)->text(), QString());

    list.list()->selectRow(1);
    dialogs.answer(Dialogs::Cancel);
    list.deleteHoliday();
    EXPECT_EQ(list.list()->rowCount(), 3);
    EXPECT_EQ(dialogs.shown.back().caption, QStringLiteral("Confirm Delete"));
    dialogs.answer(Dialogs::Ok);
    list.deleteHoliday();
    EXPECT_EQ(list.list()->rowCount(), 2);
    EXPECT_EQ(list.list()->item(1, 1)->text(), QStringLiteral("New Year"));
}

// Another station, in a process of its own, changes and locks what this one edits.
TEST_F(HolidaysTest, ChangesAndDeletesFollowTheSharedRecordProtocol) {
    const Date christmas = DateFromYmd(2026, 12, 25);
    ASSERT_TRUE(save(QStringLiteral("25/12/2026"), QStringLiteral("Christmas"), true));
    BrowseHolidays list(*ctx);
    ASSERT_EQ(list.list()->rowCount(), 1);

    // The list hands the form a watched record; the peer writes it before this station saves.
    Table<Holidays> table(*store);
    Holidays mine;
    mine.holidayDate = christmas;
    table.watch();
    ASSERT_EQ(table.get(Holidays::KEYHOLIDAYDATE, mine), Err::None);
    UpdateHolidays form(*ctx, mine, false);
    Peer peer(dir.path());
    ASSERT_EQ(peer.ask(QStringLiteral("holiday-load %1").arg(christmas)), QStringLiteral("0 Christmas"));
    ASSERT_EQ(peer.ask(QStringLiteral("holiday-put Theirs")), QStringLiteral("0"));

    form.findChildren<QLineEdit*>().last()->setText(QStringLiteral("Mine"));
    form.accept();
    EXPECT_EQ(form.result(), 0); // still open
    ASSERT_EQ(dialogs.captions(), QStringList{QStringLiteral("Record Was Not Updated")});
    EXPECT_EQ(form.findChildren<QLineEdit*>().last()->text(), QStringLiteral("Theirs"));
    Holidays stored;
    stored.holidayDate = christmas;
    ASSERT_EQ(table.get(Holidays::KEYHOLIDAYDATE, stored), Err::None);
    EXPECT_EQ(stored.holiday, QStringLiteral("Theirs"));
    // Saved again over the version now shown.
    form.findChildren<QLineEdit*>().last()->setText(QStringLiteral("Mine"));
    form.accept();
    EXPECT_EQ(form.result(), QDialog::Accepted);
    ASSERT_EQ(table.get(Holidays::KEYHOLIDAYDATE, stored), Err::None);
    EXPECT_EQ(stored.holiday, QStringLiteral("Mine"));

    // A delete while the peer holds a transaction waits its 2 seconds, says so, and offers
    // another try; No leaves the holiday in place.
    dialogs.shown.clear();
    list.refresh();
    list.list()->selectRow(0);
    ASSERT_EQ(peer.ask(QStringLiteral("begin")), QStringLiteral("0"));
    dialogs.answer(Dialogs::Ok);
    dialogs.answer(Dialogs::Ok);
    dialogs.answer(Dialogs::No);
    list.deleteHoliday();
    EXPECT_EQ(dialogs.captions(),
              (QStringList{QStringLiteral("Confirm Delete"), QStringLiteral("Transaction Framing Error"),
                           QStringLiteral("Record Update Error")}));
    EXPECT_EQ(list.list()->rowCount(), 1);
    ASSERT_EQ(peer.ask(QStringLiteral("rollback")), QStringLiteral("0"));
    dialogs.answer(Dialogs::Ok);
    list.deleteHoliday();
    EXPECT_EQ(list.list()->rowCount(), 0);
}

TEST_F(HolidaysTest, TheFormsCaptionFollowsTheRequest) {
    UpdateHolidays adding(*ctx, Holidays{}, true);
    EXPECT_EQ(adding.windowTitle(), QStringLiteral("Adding a Holiday"));
    Holidays h;
    h.holidayDate = DateFromYmd(2026, 12, 25);
    UpdateHolidays changing(*ctx, h, false);
    EXPECT_EQ(changing.windowTitle(), QStringLiteral("Changing a Holiday"));
    EXPECT_EQ(changing.dateField()->text(), QStringLiteral("25/12/2026"));
}

TEST_F(HolidaysTest, TheExceptionsWindowEnablesWhatApplies) {
    Schedule t;
    t.shiftType = QStringLiteral("Next Day");
    t.exceptTimeBegin = TimeFromHms(12, 0, 0);
    ScheduleExceptions w(*ctx, t);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Exceptions"));
    EXPECT_FALSE(w.actionGroup()->isEnabled());
    EXPECT_FALSE(w.beginField()->isEnabled());
    w.weekends()->setChecked(true);
    EXPECT_FALSE(w.weekdays()->isEnabled());
    EXPECT_TRUE(w.actionGroup()->isEnabled());
    w.weekends()->setChecked(false);
    w.weekdays()->setChecked(true);
    EXPECT_FALSE(w.weekends()->isEnabled());
    w.timeRange()->setChecked(true);
    EXPECT_TRUE(w.beginField()->isEnabled());
    EXPECT_EQ(w.beginField()->text(), QStringLiteral("12:00PM"));
    w.endField()->setText(QString()); // no end: the end of the day
    w.accept();
    EXPECT_EQ(t.exceptWeekdays, 1);
    EXPECT_EQ(t.exceptWeekends, 0);
    EXPECT_EQ(t.exceptTime, 1);
    EXPECT_EQ(t.exceptTimeBegin, TimeFromHms(12, 0, 0));
    EXPECT_EQ(t.exceptTimeEnd, kOneDay);
    EXPECT_EQ(t.shiftType, QStringLiteral("Next Day"));
}

TEST_F(HolidaysTest, NoTwoControlsShareAnAccelerator) {
    UpdateHolidays form(*ctx, Holidays{}, true);
    EXPECT_EQ(AcceleratorClashes(&form), QStringList());
    // Every check box can be reached from the keyboard.
    for (QCheckBox* b : form.findChildren<QCheckBox*>())
        EXPECT_FALSE(AcceleratorOf(b->text()).isNull()) << b->text().toStdString();
    BrowseHolidays list(*ctx);
    EXPECT_EQ(AcceleratorClashes(&list), QStringList());
    // An empty list: only Add and Close work.
    for (QPushButton* b : list.findChildren<QPushButton*>())
        EXPECT_EQ(b->isEnabled(),
                  b->text() == QStringLiteral("&Add") || b->text() == QStringLiteral("Cl&ose"))
            << b->text().toStdString();
    Schedule t;
    ScheduleExceptions exceptions(*ctx, t);
    EXPECT_EQ(AcceleratorClashes(&exceptions), QStringList());
    for (QCheckBox* b : exceptions.findChildren<QCheckBox*>())
        EXPECT_FALSE(AcceleratorOf(b->text()).isNull()) << b->text().toStdString();
}

TEST_F(HolidaysTest, AnAltKeyThatNothingAnswersTypesNothing) {
    GuardUnansweredAltKeys();
    UpdateHolidays form(*ctx, Holidays{}, true);
    form.show();
    QApplication::setActiveWindow(&form);
    auto* name = form.findChildren<QLineEdit*>().at(1);
    auto* annual = form.findChild<QCheckBox*>();
    name->setFocus();
    QTest::keyClick(name, Qt::Key_R, Qt::AltModifier); // "&Repeat Annually"
    EXPECT_TRUE(annual->hasFocus());
    name->setFocus();
    QTest::keyClick(name, Qt::Key_Q, Qt::AltModifier); // no control has Q
    EXPECT_EQ(name->text(), QString());
    QTest::keyClick(name, Qt::Key_Q);
    EXPECT_EQ(name->text(), QStringLiteral("q"));
    form.reject();
}

} // namespace
} // namespace kr::test
