#include "store/Schema.h"
#include "store/Tables.h"

#include <gtest/gtest.h>

#include <set>

namespace kr {
namespace {

int FixedBytes(const TableDecl& d) {
    int bytes = 0;
    for (const auto& f : *d.fields) {
        switch (f.type) {
        case FieldType::Long:
            bytes += 4;
            break;
        case FieldType::Short:
            bytes += 2;
            break;
        case FieldType::Byte:
            bytes += 1;
            break;
        case FieldType::String:
        case FieldType::CString:
            bytes += f.width;
            break;
        case FieldType::Memo:
            break;
        }
    }
    return bytes;
}

struct Expected {
    const TableDecl* decl;
    int fields;
    int keys;
    int memos;
};

TEST(Declarations, EveryTableHasItsFieldsKeysAndSize) {
    // Field counts leave out the groups, which take no room of their own.
    const Expected expected[] = {
        {&Schedule::decl(), 57, 13, 1},     {&Scripting::decl(), 24, 2, 0},
        {&Categories::decl(), 1, 1, 0},     {&Todo::decl(), 10, 4, 2},
        {&Contact::decl(), 15, 9, 1},       {&ContactCategories::decl(), 1, 1, 0},
        {&Clipboard::decl(), 5, 2, 1},      {&Holidays::decl(), 3, 1, 0},
        {&Messages::decl(), 16, 4, 1},      {&Configuration::decl(), 2, 1, 0},
        {&SyncSchedule::decl(), 58, 13, 1}, {&SyncScriptingDecl(), 24, 1, 0},
        {&SyncTodoDecl(), 10, 4, 2},        {&Tag::decl(), 4, 2, 0},
        {&Runs::decl(), 25, 4, 1},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.decl->name.toStdString());
        int memos = 0;
        for (const auto& f : *e.decl->fields)
            memos += f.isMemo() ? 1 : 0;
        EXPECT_EQ(static_cast<int>(e.decl->fields->size()), e.fields + e.memos);
        EXPECT_EQ(memos, e.memos);
        EXPECT_EQ(static_cast<int>(e.decl->keys.size()), e.keys);
        EXPECT_EQ(FixedBytes(*e.decl), e.decl->recordBytes);
    }
}

TEST(Declarations, LabelsAndAttributesReadAsTheProgramNamesThem) {
    const TableDecl& s = Schedule::decl();
    EXPECT_EQ(s.label(Schedule::DESCRIPTION), QStringLiteral("SCH:DESCRIPTION"));
    EXPECT_EQ(s.keyLabel(Schedule::KEYDATEENABLED), QStringLiteral("SCH:KEYDATEENABLED"));
    EXPECT_EQ(Messages::decl().label(Messages::MAIL_SERVER), QStringLiteral("M_:MAIL:SERVER"));
    EXPECT_EQ(SyncSchedule::decl().label(SyncSchedule::BIMONTHLY), QStringLiteral("SSCH:BIMONTHLY"));
    EXPECT_EQ(SyncSchedule::BIMONTHLY, SyncSchedule::LASTDAYOFMONTH + 1);
    EXPECT_EQ(SyncScriptingDecl().label(Scripting::DDECOMMAND), QStringLiteral("SSCR:DDECOMMAND"));

    const KeyDecl& enabled = s.keys[Schedule::KEYDATEENABLED];
    EXPECT_EQ(enabled.components, (std::vector<int>{Schedule::DISABLED, Schedule::DATE, Schedule::TIME}));
    EXPECT_FALSE(enabled.unique());
    EXPECT_TRUE(enabled.opt());
    EXPECT_TRUE(s.keys[Schedule::KEYID].primary());
    EXPECT_EQ(s.primaryKey(), Schedule::KEYID);
    EXPECT_FALSE(Todo::decl().keys[Todo::KEYTODO].nocase());
    EXPECT_TRUE(Todo::decl().keys[Todo::KEYCATEGORY].nocase());
    EXPECT_TRUE(Clipboard::decl().keys[Clipboard::KEYCLIPHASH].unique());
    EXPECT_FALSE(Clipboard::decl().keys[Clipboard::KEYCLIPDATE].nocase());
    EXPECT_EQ((*s.fields)[Schedule::ALARMFILE].maxChars(), 254);
    EXPECT_EQ(s.fieldIndex(QStringLiteral("lastrundate")), Schedule::LASTRUNDATE);
}

TEST(Declarations, ScheduleGroupsSpanTheirFields) {
    const auto& groups = Schedule::decl().groups;
    ASSERT_EQ(groups.size(), 7u);
    EXPECT_STREQ(groups[0].name, "DAYOFWEEKGROUP");
    EXPECT_EQ(groups[0].first, Schedule::SUNDAY);
    EXPECT_EQ(groups[0].last, Schedule::SATURDAY);
    EXPECT_EQ(groups[1].last, Schedule::LASTDAYOFMONTH);
    EXPECT_EQ(SyncSchedule::decl().groups[1].last, SyncSchedule::BIMONTHLY);
}

TEST(Declarations, LayoutsAreDeclaredInStartUpOrder) {
    const std::pair<const char*, int> order[] = {
        {"Categories", 2},   {"Clipboard", 3},         {"Configuration", 1},
        {"Contact", 2},      {"ContactCategories", 2}, {"Holidays", 2},
        {"Messages", 3},     {"Schedule", 8},          {"Scripting", 5},
        {"SyncSchedule", 4}, {"SyncScripting", 2},     {"SyncTodo", 1},
        {"Todo", 4},
    };
    const auto& declared = DeclaredTables();
    ASSERT_EQ(declared.size(), std::size(order));
    for (std::size_t i = 0; i < declared.size(); ++i) {
        EXPECT_EQ(declared[i]->name, QString::fromLatin1(order[i].first));
        EXPECT_EQ(declared[i]->version, order[i].second);
    }
}

TEST(Declarations, TextsAreStoredCutToWidthWithoutTrailingBlanks) {
    const FieldDecl& desc = (*Schedule::decl().fields)[Schedule::DESCRIPTION];
    EXPECT_EQ(StoredText(desc, QStringLiteral("Backup   ")), QStringLiteral("Backup"));
    EXPECT_EQ(StoredText(desc, QString(50, QLatin1Char('x'))).size(), 40);
    EXPECT_EQ(StoredText(desc, QStringLiteral("  lead")), QStringLiteral("  lead"));
    const FieldDecl& alarm = (*Schedule::decl().fields)[Schedule::ALARMFILE];
    EXPECT_EQ(StoredText(alarm, QString(300, QLatin1Char('a'))).size(), 254);
}

} // namespace
} // namespace kr
