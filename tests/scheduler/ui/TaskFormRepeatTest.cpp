// The task form refuses a repeat count that never gives another date.

#include "scheduler/Occurrence.h"
#include "scheduler/ui/TaskForm.h"
#include "store/Table.h"
#include "support/FakeClock.h"
#include "support/RecordingSound.h"
#include "support/ScriptedDialogs.h"
#include "support/ScriptedFileDialogs.h"
#include "support/TempDir.h"

#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>

#include <gtest/gtest.h>

namespace kr::test {
namespace {

TEST(TaskFormRepeat, ACountPastTheLastDateIsRefusedAndTheFormStays) {
    TempDir dir;
    ScriptedDialogs dialogs;
    ScriptedFileDialogs files;
    ThrowingProgramEnd end;
    FakeClock clock{DateFromYmd(2026, 12, 8), TimeFromHms(9, 30, 0)};
    Settings settings;
    RecordingSound sound;
    Store store(dir.path(), dialogs, end);
    store.declareLayouts();
    ConfigStore config(store, dir.file(QStringLiteral("KR98.INI")));
    TaskFormContext ctx{
        store, dialogs,    files, clock, settings, config, IniFile(dir.file(QStringLiteral("POSITION.INI"))),
        sound, dir.path(), {},    {}};

    UpdateSchedule form(ctx, Request::Insert, Schedule{});
    ASSERT_TRUE(form.ready());
    form.descriptionField()->setText(QStringLiteral("Census"));
    QComboBox* type = form.scheduleTypeField();
    type->setCurrentIndex(type->findText(kCustom));
    Q_EMIT type->activated(type->currentIndex());
    form.everyField()->setValue(999999);
    form.everyTypeField()->setCurrentIndex(form.everyTypeField()->findText(QStringLiteral("year(s)")));
    form.accept();
    EXPECT_NE(form.result(), QDialog::Accepted);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Invalid Repeat Count"));
    EXPECT_TRUE(dialogs.shown[0].text.contains(QStringLiteral("999999 year(s)")));
    {
        Table<Schedule> tasks(store);
        Schedule t;
        t.id = form.task().id;
        ASSERT_EQ(tasks.get(Schedule::KEYID, t), Err::None);
        EXPECT_NE(Clip(t.description), QStringLiteral("Census")); // not saved
    }

    form.everyField()->setValue(10);
    form.accept();
    EXPECT_EQ(form.result(), QDialog::Accepted);
    Table<Schedule> tasks(store);
    Schedule t;
    t.id = form.task().id;
    ASSERT_EQ(tasks.get(Schedule::KEYID, t), Err::None);
    EXPECT_EQ(t.every, 10);
}

} // namespace
} // namespace kr::test
