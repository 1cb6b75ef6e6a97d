// ReportParameters and SetReportTitle on the offscreen platform: enabling, defaults, the date
// pickers and the choices they hand to the report.

#include "reports/ui/ReportParameters.h"
#include "platform/qt/Fields.h"
#include "reports/ReportFixture.h"
#include "support/Accelerators.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

namespace kr::test {
namespace {

class ReportParametersTest : public ReportFixture {
protected:
    ReportParametersTest() {
        Table<Categories> t(*store);
        for (const char* name : {"Work", "Home", "Errands"}) {
            Categories c{};
            c.category = QString::fromLatin1(name);
            EXPECT_EQ(t.add(c), Err::None);
        }
    }
    ReportParametersContext context() {
        return {*store, dialogs, QStringLiteral("@d3"), [this](Date current, const QString& caption) {
                    picks << caption;
                    pickedFrom.push_back(current);
                    return pickAnswer;
                }};
    }
    QStringList picks;
    std::vector<Date> pickedFrom;
    Date pickAnswer = 0;
};

TEST_F(ReportParametersTest, FirstUseShowsTheDefaultsWithTheEntriesDisabled) {
    ReportParameters w(context(), DefaultReportChoices(clock));
    EXPECT_TRUE(w.allDates()->isChecked());
    EXPECT_TRUE(w.allCategories()->isChecked());
    EXPECT_TRUE(w.orderButton(0)->isChecked());
    EXPECT_EQ(w.orderButton(0)->text(), QStringLiteral("Date"));
    EXPECT_EQ(w.orderButton(5)->text(), QStringLiteral("Adv. Warn"));
    EXPECT_EQ(w.fromField()->text(), QStringLiteral("DEC 08,2026"));
    EXPECT_EQ(w.toField()->text(), QStringLiteral("JAN 07,2027"));
    for (QWidget* d : std::initializer_list<QWidget*>{w.fromField(), w.toField(), w.fromButton(),
                                                      w.toButton(), w.categoryList()})
        EXPECT_FALSE(d->isEnabled());
    EXPECT_EQ(w.okButton()->text(), QStringLiteral("&Ok"));
    EXPECT_EQ(w.okButton()->toolTip(), QStringLiteral("Proceed with report"));
    EXPECT_EQ(w.cancelButton()->text(), QStringLiteral("Cancel"));
    // The categories in key order.
    ASSERT_EQ(w.categoryList()->count(), 3);
    EXPECT_EQ(w.categoryList()->item(0)->text(), QStringLiteral("Errands"));
    EXPECT_EQ(w.categoryList()->item(2)->text(), QStringLiteral("Work"));
    EXPECT_TRUE(AcceleratorClashes(&w).isEmpty());
    const QSize size = w.sizeHint();
    EXPECT_LE(size.width(), 1366);
    EXPECT_LE(size.height(), 768);

    // "Selected" enables the entries that belong to it, and only those.
    w.selectedDates()->click();
    for (QWidget* d :
         std::initializer_list<QWidget*>{w.fromField(), w.toField(), w.fromButton(), w.toButton()})
        EXPECT_TRUE(d->isEnabled());
    EXPECT_FALSE(w.categoryList()->isEnabled());
    w.selectedCategory()->click();
    EXPECT_TRUE(w.categoryList()->isEnabled());
    w.allDates()->click();
    EXPECT_FALSE(w.fromField()->isEnabled());
}

TEST_F(ReportParametersTest, ThePickersAndChoicesGiveTheKeyAndFilter) {
    ReportParameters w(context(), DefaultReportChoices(clock));
    w.selectedDates()->click();
    pickAnswer = DateFromYmd(2026, 12, 10);
    w.fromButton()->click();
    pickAnswer = DateFromYmd(2026, 12, 20);
    w.toButton()->click();
    EXPECT_EQ(picks,
              (QStringList{QStringLiteral("Select \"From\" Date"), QStringLiteral("Select \"To\" Date")}));
    EXPECT_EQ(pickedFrom, (std::vector<Date>{DateFromYmd(2026, 12, 8), DateFromYmd(2027, 1, 7)}));
    EXPECT_EQ(w.fromField()->text(), QStringLiteral("DEC 10,2026"));
    EXPECT_EQ(w.toField()->text(), QStringLiteral("DEC 20,2026"));

    w.selectedCategory()->click();
    w.categoryList()->setCurrentRow(1); // Home
    w.orderButton(4)->click();
    w.okButton()->click();
    EXPECT_EQ(w.result(), QDialog::Accepted);
    const ReportChoices c = w.choices();
    EXPECT_EQ(ReportOrderKey(c.order), Schedule::KEYTASKTYPE);
    const ReportFilter f = ReportFilter::of(c);
    Schedule t{};
    t.category = QStringLiteral("HOME");
    t.date = DateFromYmd(2026, 12, 10);
    EXPECT_TRUE(f.matches(t));
    t.date = DateFromYmd(2026, 12, 21);
    EXPECT_FALSE(f.matches(t));
    t.date = DateFromYmd(2026, 12, 20);
    t.category = QStringLiteral("Work");
    EXPECT_FALSE(f.matches(t));

    // Reopened with those choices, the window shows them.
    ReportParameters again(context(), c);
    EXPECT_TRUE(again.selectedDates()->isChecked());
    EXPECT_TRUE(again.selectedCategory()->isChecked());
    EXPECT_EQ(again.categoryList()->currentItem()->text(), QStringLiteral("Home"));
    EXPECT_TRUE(again.orderButton(4)->isChecked());
    EXPECT_EQ(again.fromField()->text(), QStringLiteral("DEC 10,2026"));
}

TEST_F(ReportParametersTest, AnUnreadableDateStaysInTheWindow) {
    ReportParameters w(context(), DefaultReportChoices(clock));
    w.selectedDates()->click();
    w.fromField()->setText(QStringLiteral("not a date"));
    w.okButton()->click();
    EXPECT_NE(w.result(), QDialog::Accepted);
    // With all dates the entry is not used.
    w.allDates()->click();
    w.okButton()->click();
    EXPECT_EQ(w.result(), QDialog::Accepted);

    // "Selected" categories with none to select stays too.
    Table<Categories> t(*store);
    Categories c;
    while (t.next(c) == Err::None) {
        EXPECT_EQ(t.remove(c), Err::None);
        t.set(-1);
    }
    ReportParameters none(context(), DefaultReportChoices(clock));
    ASSERT_EQ(none.categoryList()->count(), 0);
    none.selectedCategory()->click();
    none.okButton()->click();
    EXPECT_NE(none.result(), QDialog::Accepted);
    none.allCategories()->click();
    none.okButton()->click();
    EXPECT_EQ(none.result(), QDialog::Accepted);
}

TEST_F(ReportParametersTest, OrderKeysAndTheTitleWindow) {
    const Schedule::Key keys[] = {Schedule::KEYDATE,     Schedule::KEYCATEGORY, Schedule::KEYCATEGORYDATE,
                                  Schedule::KEYTASKNAME, Schedule::KEYTASKTYPE, Schedule::KEYADVANCED};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(ReportOrderKey(i), keys[i]);

    SetReportTitle w;
    EXPECT_EQ(w.titleField()->maxLength(), 80);
    EXPECT_EQ(w.okButton()->text(), QStringLiteral("&Ok"));
    EXPECT_TRUE(AcceleratorClashes(&w).isEmpty());
    w.titleField()->setText(QStringLiteral("Weekly"));
    EXPECT_EQ(w.title(), QStringLiteral("Weekly"));
}

} // namespace
} // namespace kr::test
