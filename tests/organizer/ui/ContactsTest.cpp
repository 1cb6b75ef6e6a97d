#include "organizer/Contacts.h"
#include "../../store/Peer.h"
#include "Headings.h"
#include "OrganizerFixture.h"
#include "organizer/PickedCategory.h"
#include "organizer/ui/Contacts.h"
#include "platform/qt/ListFormat.h"
#include "store/Table.h"
#include "store/Transaction.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QTabBar>
#include <QTableView>
#include <QTableWidget>

namespace kr::test {
namespace {

class ContactsTest : public OrganizerFixture {
protected:
    ContactsTest() { PickedCategory::contact().set(QString()); }

    void addCategories(std::initializer_list<const char*> names) {
        Table<ContactCategories> table(*store);
        for (const char* name : names) {
            ContactCategories c;
            c.contactCategory = QString::fromLatin1(name);
            ASSERT_EQ(table.add(c), Err::None);
        }
    }
    Contact addContact(qint32 id, const char* last, const char* first, const char* category = "") {
        Table<Contact> table(*store);
        Contact c;
        c.clientId = id;
        c.lastName = QString::fromLatin1(last);
        c.firstName = QString::fromLatin1(first);
        c.contactCategory = QString::fromLatin1(category);
        EXPECT_EQ(table.add(c), Err::None);
        return c;
    }
    std::vector<Contact> contacts() {
        std::vector<Contact> out;
        Table<Contact> table(*store);
        table.set(Contact::KEYCLIENTID);
        Contact c;
        while (table.next(c) == Err::None)
            out.push_back(c);
        return out;
    }
    QStringList categories() {
        QStringList out;
        Table<ContactCategories> table(*store);
        table.set(ContactCategories::KEYCONTACTCATEGORIES);
        ContactCategories c;
        while (table.next(c) == Err::None)
            out << c.contactCategory;
        return out;
    }
    static QStringList Column(BrowseContacts& w, int column) {
        QStringList out;
        for (int r = 0; r < w.model()->rowCount(); ++r)
            out << w.model()->index(r, column).data().toString();
        return out;
    }
};

TEST_F(ContactsTest, TheListShowsSevenOrdersAndTheCommandsOfItsMenu) {
    addContact(1, "Smith", "Anna", "friends");
    addContact(2, "Jones", "Zoe", "Work");
    addContact(3, "Brown", "Mark", "Friends");
    BrowseContacts w(*ctx);
    QAbstractItemModelTester tester(w.model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Contacts"));
    QStringList headers;
    for (int c = 0; c < w.model()->columnCount(); ++c)
        headers << w.model()->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    EXPECT_EQ(headers, (QStringList{"Last Name", "First Name", "Email", "Work/Day Phone",
                                    "Home/Evening Phone", "Fax", "Contact Category", "Address Line 1",
                                    "Address Line 2", "Address Line 3", "Postal Code"}));
    EXPECT_EQ(w.tabs()->count(), 7);
    EXPECT_EQ(Column(w, 0), (QStringList{"Brown", "Jones", "Smith"}));
    w.tabs()->setCurrentIndex(BrowseContacts::FirstNameTab);
    EXPECT_EQ(Column(w, 1), (QStringList{"Anna", "Mark", "Zoe"}));
    w.tabs()->setCurrentIndex(BrowseContacts::CategoryTab);
    EXPECT_EQ(w.model()->rowCount(), 0);
    PickedCategory::contact().set(QStringLiteral("FRIENDS"));
    EXPECT_EQ(Column(w, 0), (QStringList{"Brown", "Smith"}));

    EXPECT_EQ(w.button(QStringLiteral("&Select"))->isVisible(), false);
    QStringList menu;
    const auto popup = w.contextMenu();
    for (const QAction* a : popup->actions())
        menu << (a->isEnabled() ? QString() : QStringLiteral("~")) + a->text();
    EXPECT_EQ(menu, (QStringList{"&Copy to Clipboard", "&Add", "&Edit", "&Delete", "Cop&y", "&Pick",
                                 "~Send &Mail", "~Open &Web Site", "Format &BrowseBox"}));

    // In picker mode "&Select" returns the highlighted contact.
    BrowseContacts picker(*ctx, true);
    picker.show();
    EXPECT_TRUE(picker.button(QStringLiteral("&Select"))->isVisible());
    picker.button(QStringLiteral("&Select"))->click();
    ASSERT_TRUE(picker.selected().has_value());
    EXPECT_EQ(picker.selected()->lastName, QStringLiteral("Brown"));
}

TEST_F(ContactsTest, AnUnlistedCategoryIsAddedOnYesAndKeepsTheFieldOnNo) {
    addCategories({"Work"});
    BrowseContacts w(*ctx);
    QAbstractItemModelTester tester(w.model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    const bool opened = WithOpened<UpdateContacts>(
        [&] { w.button(QStringLiteral("&Add"))->click(); },
        [&](UpdateContacts& form) {
            EXPECT_EQ(form.windowTitle(), QStringLiteral("Adding a Contact Record"));
            EXPECT_EQ(form.contact().clientId, 1); // reserved at once
            EXPECT_EQ(contacts().size(), 1u);
            form.field(Contact::LASTNAME)->setText(QStringLiteral("Meyer"));
            form.categoryField()->setEditText(QStringLiteral("Golf"));
            dialogs.answer(Dialogs::No);
            EXPECT_FALSE(form.checkCategory());
            EXPECT_EQ(dialogs.captions(), QStringList{QStringLiteral("Category not found")});
            EXPECT_EQ(dialogs.texts(), QStringList{QStringLiteral("Add new category?")});
            EXPECT_EQ(categories(), QStringList{QStringLiteral("Work")});

            // Yes opens the contact category form with the name; OK there adds it.
            dialogs.answer(Dialogs::Yes);
            QString caption;
            const bool added = WithOpened<UpdateCategories>(
                [&] { EXPECT_TRUE(form.checkCategory()); },
                [&](UpdateCategories& cat) {
                    caption = cat.windowTitle();
                    EXPECT_EQ(cat.categoryField()->text(), QStringLiteral("Golf"));
                    cat.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
                });
            EXPECT_TRUE(added);
            EXPECT_EQ(caption, QStringLiteral("Record Will Be Added"));
            EXPECT_EQ(form.categoryField()->findText(QStringLiteral("Golf")), 0); // the list reloaded
            // A blank category needs no question.
            dialogs.shown.clear();
            form.categoryField()->setEditText(QString());
            EXPECT_TRUE(form.checkCategory());
            form.categoryField()->setEditText(QStringLiteral("golf"));
            form.okButton()->click();
            EXPECT_FALSE(form.isVisible());
        });
    ASSERT_TRUE(opened);
    EXPECT_EQ(categories(), (QStringList{"Golf", "Work"}));
    ASSERT_EQ(contacts().size(), 1u);
    EXPECT_EQ(contacts()[0].lastName, QStringLiteral("Meyer"));
    EXPECT_EQ(contacts()[0].contactCategory, QStringLiteral("Golf"));
    EXPECT_EQ(w.current()->lastName, QStringLiteral("Meyer"));
}

TEST_F(ContactsTest, CopyPrefillsANewNumberAndCancelGivesTheNumberBack) {
    addCategories({"Work"});
    Contact anna = addContact(7, "Smith", "Anna", "Work");
    {
        Table<Contact> table(*store);
        anna.email = QStringLiteral("anna@example.org");
        anna.notes = QStringLiteral("met at the fair");
        table.watch();
        ASSERT_EQ(table.fetch(anna.meta.rowid, anna), Err::None);
        anna.email = QStringLiteral("anna@example.org");
        anna.notes = QStringLiteral("met at the fair");
        ASSERT_EQ(table.put(anna), Err::None);
    }
    BrowseContacts w(*ctx);
    QAbstractItemModelTester tester(w.model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    WithOpened<UpdateContacts>([&] { w.button(QStringLiteral("Cop&y"))->click(); },
                               [&](UpdateContacts& form) {
                                   EXPECT_EQ(form.contact().clientId, 8);
                                   EXPECT_EQ(form.field(Contact::LASTNAME)->text(), QStringLiteral("Smith"));
                                   EXPECT_EQ(form.field(Contact::EMAIL)->text(),
                                             QStringLiteral("anna@example.org"));
                                   EXPECT_EQ(form.categoryField()->currentText(), QStringLiteral("Work"));
                                   form.field(Contact::FIRSTNAME)->setText(QStringLiteral("Bea"));
                                   form.okButton()->click();
                               });
    ASSERT_EQ(contacts().size(), 2u);
    EXPECT_EQ(contacts()[1].clientId, 8);
    EXPECT_EQ(contacts()[1].firstName, QStringLiteral("Bea"));
    EXPECT_EQ(contacts()[1].notes, QStringLiteral("met at the fair"));

    // A cancelled insert leaves nothing behind.
    WithOpened<UpdateContacts>([&] { w.button(QStringLiteral("&Add"))->click(); },
                               [&](UpdateContacts& form) {
                                   EXPECT_EQ(form.contact().clientId, 9);
                                   EXPECT_EQ(contacts().size(), 3u);
                                   form.reject();
                               });
    EXPECT_EQ(contacts().size(), 2u);
    EXPECT_EQ(w.model()->rowCount(), 2);
    // A change with nothing changed writes nothing and asks nothing.
    WithOpened<UpdateContacts>([&] { w.button(QStringLiteral("&Edit"))->click(); },
                               [&](UpdateContacts& form) {
                                   EXPECT_EQ(form.windowTitle(), QStringLiteral("Changing a Contact Record"));
                                   form.okButton()->click();
                                   EXPECT_FALSE(form.isVisible());
                               });
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(ContactsTest, AUsedContactCategoryCanNeitherGoNorBeRenamed) {
    addCategories({"Golf", "Work"});
    addContact(1, "Smith", "Anna", "golf");
    CategoryContext cats{*store, dialogs, ctx->positions, QStringLiteral("d3")};
    BrowseCategories w(cats, CategoryKind::Contact);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Contact Categories"));
    EXPECT_EQ(w.addButton()->text(), QStringLiteral("&Insert"));
    EXPECT_FALSE(w.scheduleButton()->isVisibleTo(&w));
    w.list()->selectRow(0);
    dialogs.answer(Dialogs::Ok);
    w.deleteButton()->click();
    EXPECT_EQ(dialogs.captions(),
              (QStringList{"Confirm Delete", "Referential Integrity Delete Error", "Record Update Error"}));
    dialogs.shown.clear();
    WithOpened<UpdateCategories>(
        [&] { w.editButton()->click(); },
        [&](UpdateCategories& form) {
            EXPECT_EQ(form.windowTitle(), QStringLiteral("Record Will Be Changed"));
            form.categoryField()->setText(QStringLiteral("Tennis"));
            form.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
            EXPECT_TRUE(form.isVisible());
            EXPECT_EQ(form.categoryField()->text(), QStringLiteral("Golf")); // reset
        });
    EXPECT_EQ(dialogs.captions().value(0), QStringLiteral("Referential Integrity Update Error"));
    EXPECT_EQ(categories(), (QStringList{"Golf", "Work"}));

    // The unused one goes; the picker keeps its choice for the contact list.
    w.list()->selectRow(1);
    dialogs.answer(Dialogs::Ok);
    w.deleteButton()->click();
    EXPECT_EQ(categories(), QStringList{QStringLiteral("Golf")});
    SelectCategories picker(cats, CategoryKind::Contact);
    EXPECT_EQ(picker.windowTitle(), QStringLiteral("Select a Contact Category"));
    picker.selectButton()->click();
    EXPECT_EQ(PickedCategory::contact().value(), QStringLiteral("Golf"));
}

TEST_F(ContactsTest, TheFormsCaptionsAndAContactCategoryChangedElsewhereIsShown) {
    UpdateContacts contactForm(*ctx, Request::Insert, Contact{});
    EXPECT_EQ(contactForm.windowTitle(), QStringLiteral("Update the Contact File"));
    contactForm.show();
    EXPECT_EQ(contactForm.windowTitle(), QStringLiteral("Adding a Contact Record"));
    contactForm.reject();

    addCategories({"Golf"});
    CategoryContext cats{*store, dialogs, ctx->positions, QStringLiteral("d3")};
    BrowseCategories w(cats, CategoryKind::Contact);
    w.list()->selectRow(0);
    Peer peer(dir.path());
    ASSERT_EQ(peer.ask(QStringLiteral("open")), QStringLiteral("0"));
    const bool opened = WithOpened<UpdateCategories>(
        [&] { w.editButton()->click(); },
        [&](UpdateCategories& form) {
            EXPECT_EQ(form.windowTitle(), QStringLiteral("Record Will Be Changed"));
            EXPECT_EQ(peer.ask(QStringLiteral("contact-category-rename Golf|Tennis")), QStringLiteral("0"));
            form.categoryField()->setText(QStringLiteral("Squash"));
            form.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
            EXPECT_TRUE(form.isVisible());
            EXPECT_EQ(form.categoryField()->text(), QStringLiteral("Tennis")); // theirs, shown
        });
    EXPECT_TRUE(opened);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Record Was Not Updated"));
    EXPECT_EQ(
        dialogs.shown[0].text,
        QStringLiteral("This record was changed by another station. Those changes will now be displayed. "
                       "Use the Ditto Button or Ctrl+' to recall your changes."));
    EXPECT_EQ(categories(), QStringList{QStringLiteral("Tennis")});
    auto record = MakeCategoryRecord(CategoryKind::Contact, *store);
    UpdateCategories adding(cats, CategoryKind::Contact, std::move(record));
    EXPECT_EQ(adding.windowTitle(), QStringLiteral("Update Contact Category"));
}

TEST_F(ContactsTest, EveryColumnOpensWideEnoughForItsHeading) {
    addCategories({"Golf"});
    addContact(1, "Smith", "Anna", "Golf");
    BrowseContacts w(*ctx);
    w.show();
    EXPECT_TRUE(CutHeadings(w.list()).isEmpty())
        << CutHeadings(w.list()).join(QLatin1Char(' ')).toStdString();
    CategoryContext cats{*store, dialogs, ctx->positions, QStringLiteral("d3")};
    BrowseCategories browse(cats, CategoryKind::Contact);
    browse.show();
    EXPECT_TRUE(CutHeadings(browse.list()).isEmpty())
        << CutHeadings(browse.list()).join(QLatin1Char(' ')).toStdString();
    SelectCategories select(cats, CategoryKind::Contact);
    select.show();
    EXPECT_TRUE(CutHeadings(select.list()).isEmpty())
        << CutHeadings(select.list()).join(QLatin1Char(' ')).toStdString();
}

TEST_F(ContactsTest, MailAndWebAddressesAreOpenedOnlyAsMailAndWeb) {
    Table<Contact> table(*store);
    Contact c;
    c.clientId = 1;
    c.lastName = QStringLiteral("Smith");
    c.email = QStringLiteral("anna smith&co@example.org");
    c.website = QStringLiteral("www.example.org");
    ASSERT_EQ(table.add(c), Err::None);
    BrowseContacts w(*ctx);
    QAbstractItemModelTester tester(w.model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    w.button(QStringLiteral("Open &Web Site"))->click();
    w.button(QStringLiteral("Send &Mail"))->click(); // a blank in the address: refused
    EXPECT_EQ(launched, QStringList{QStringLiteral("http://www.example.org")});
    EXPECT_EQ(dialogs.texts(), QStringList{QStringLiteral("This address cannot be opened.")});
    EXPECT_EQ(dialogs.captions(), QStringList{QStringLiteral("Error!")});

    EXPECT_EQ(MailAddress(QStringLiteral("o'brien+news@example.org?cc=x")),
              QStringLiteral("mailto:o%27brien%2Bnews@example.org%3Fcc%3Dx"));
    EXPECT_EQ(MailAddress(QStringLiteral("a@b.org\x01")), std::nullopt);
    EXPECT_EQ(MailAddress(QStringLiteral("   ")), std::nullopt);
    EXPECT_EQ(WebAddress(QStringLiteral("https://example.org/a?b=1")),
              QStringLiteral("https://example.org/a?b=1"));
    EXPECT_EQ(WebAddress(QStringLiteral("HTTP://Example.org")), QStringLiteral("HTTP://Example.org"));
    EXPECT_EQ(WebAddress(QStringLiteral("example.org:8080/x")), QStringLiteral("http://example.org:8080/x"));
    for (const char* refused : {"/bin/sh", "file:///etc/passwd", "javascript:alert(1)", "~/run.sh",
                                "mailto:x@y.org", "http://", "www.example.org/a b", "..\\evil.exe"})
        EXPECT_EQ(WebAddress(QString::fromLatin1(refused)), std::nullopt) << refused;

    // The mail address, encoded, through the launcher.
    ASSERT_EQ(table.fetch(c.meta.rowid, c), Err::None);
    c.email = QStringLiteral("anna+list@example.org");
    c.website = QStringLiteral("file:///etc/passwd");
    ASSERT_EQ(table.put(c), Err::None);
    w.refresh();
    dialogs.shown.clear();
    w.button(QStringLiteral("Send &Mail"))->click();
    w.button(QStringLiteral("Open &Web Site"))->click();
    EXPECT_EQ(launched.value(1), QStringLiteral("mailto:anna%2Blist@example.org"));
    EXPECT_EQ(launched.size(), 2);
    EXPECT_EQ(dialogs.texts(), QStringList{QStringLiteral("This address cannot be opened.")});
}

TEST_F(ContactsTest, TheColumnEditorHidesAndMovesColumnsForNextTime) {
    addContact(1, "Smith", "Anna");
    const QString section = QStringLiteral("BrowseContacts");
    {
        BrowseContacts w(*ctx);
        QAbstractItemModelTester tester(w.model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
        EXPECT_TRUE(w.contextMenu()->actions().last()->text() == QStringLiteral("Format &BrowseBox"));
        ASSERT_TRUE(WithOpened<FormatBrowseBox>(
            [&] { w.button(QStringLiteral("Format &BrowseBox"))->click(); },
            [&](FormatBrowseBox& editor) {
                QTableWidget* cols = editor.columns();
                EXPECT_EQ(cols->rowCount(), 11);
                EXPECT_EQ(cols->item(2, 0)->text(), QStringLiteral("Email"));
                qobject_cast<QCheckBox*>(cols->cellWidget(2, 1))->setChecked(false); // hide Email
                cols->selectRow(1);
                editor.moveUp(); // First Name first
                editor.accept();
            }));
        EXPECT_TRUE(w.list()->horizontalHeader()->isSectionHidden(2));
        EXPECT_EQ(w.list()->horizontalHeader()->logicalIndex(0), 1);
        w.close();
    }
    EXPECT_TRUE(ctx->positions.read(section, kUserFormatKey).contains(QStringLiteral("|0~Email~@s26@|")));
    {
        BrowseContacts again(*ctx);
        EXPECT_TRUE(again.list()->horizontalHeader()->isSectionHidden(2));
        EXPECT_EQ(again.list()->horizontalHeader()->logicalIndex(0), 1);
        // Reset brings the built-in layout back.
        WithOpened<FormatBrowseBox>([&] { again.button(QStringLiteral("Format &BrowseBox"))->click(); },
                                    [&](FormatBrowseBox& editor) {
                                        editor.reset();
                                        editor.accept();
                                    });
        EXPECT_FALSE(again.list()->horizontalHeader()->isSectionHidden(2));
        EXPECT_EQ(again.list()->horizontalHeader()->logicalIndex(0), 0);
    }
    // A format saved against another list, or naming other columns, is discarded.
    const QString builtIn = ctx->positions.read(section, kOriginalFormatKey);
    ctx->positions.write(section, kUserFormatKey,
                         QString(builtIn).replace(QStringLiteral("~Fax~"), QStringLiteral("~Telex~")));
    EXPECT_EQ(ChooseListFormat(ctx->positions, section, builtIn), builtIn);
    ctx->positions.write(section, kUserFormatKey, QStringLiteral("0~Last Name~@s30@"));
    ctx->positions.write(section, kOriginalFormatKey, QStringLiteral("100~Last Name~@s30@"));
    BrowseContacts stale(*ctx);
    EXPECT_FALSE(stale.list()->horizontalHeader()->isSectionHidden(0));
    EXPECT_EQ(ctx->positions.read(section, kOriginalFormatKey), builtIn);
}

TEST(ContactTextTest, EveryPartOnItsLineAndTheLabelsEvenWhenBlank) {
    Contact c;
    c.lastName = QStringLiteral("Smith   ");
    c.firstName = QStringLiteral("Anna");
    c.addressLine1 = QStringLiteral("1 High St");
    c.postalCode = QStringLiteral("AB1 2CD");
    c.workdayPhone = QStringLiteral("555-1234");
    c.email = QStringLiteral("anna@example.org");
    c.contactCategory = QStringLiteral("Friends");
    EXPECT_EQ(ContactText(c), QStringLiteral("Smith\nAnna\n1 High St\n\n\nAB1 2CD\nWork Phone: 555-1234\n"
                                             "Home Phone:\nFax:\nOther Phone:\nEmail: anna@example.org\n"
                                             "Web Site:\nCategory: Friends\n"));
}

TEST_F(ContactsTest, ALargeListShowsEveryContactOnceCountedAndKeepsTheHighlightedOne) {
    CountInTheBackground background;
    {
        Table<Contact> table(*store);
        Transaction tx;
        ASSERT_EQ(tx.begin({&table}), Err::None);
        for (int i = 0; i < 20000; ++i) {
            Contact c;
            c.clientId = i + 1;
            c.lastName = QStringLiteral("Name %1").arg(i, 5, 10, QLatin1Char('0'));
            c.contactCategory = i % 2 == 0 ? QStringLiteral("Friends") : QStringLiteral("Work");
            ASSERT_EQ(table.add(c), Err::None);
        }
        ASSERT_EQ(tx.commit(), Err::None);
    }
    PickedCategory::contact().set(QStringLiteral("friends"));
    BrowseContacts w(*ctx);
    QAbstractItemModelTester tester(w.model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    w.tabs()->setCurrentIndex(BrowseContacts::CategoryTab);
    EXPECT_NE(w.model()->rowCount(), 10000); // the estimate, until the count is done
    w.list()->selectRow(11);
    ASSERT_NE(w.current(), nullptr);
    const QString highlighted = Clip(w.current()->lastName);
    ASSERT_TRUE(WaitFor([&] { return w.model()->rowCount() == 10000; })) << w.model()->rowCount();
    ASSERT_NE(w.current(), nullptr);
    EXPECT_EQ(Clip(w.current()->lastName), highlighted);
    ASSERT_NE(w.model()->recordAt(9999), nullptr);
    EXPECT_EQ(Clip(w.model()->recordAt(9999)->lastName), QStringLiteral("Name 19998"));
}

} // namespace
} // namespace kr::test
