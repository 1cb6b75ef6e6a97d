// Copy to Clipboard on a real X display, read back by another program.

#include "store/Table.h"
#include "store/Tables.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"
#include "support/XServer.h"

#include <QProcess>

#include <gtest/gtest.h>

namespace kr::test {
namespace {

TEST(ClipboardTest, TheContactCopiedIsReadByAnotherProgramWithItsLoneFaxLine) {
    XServer x(false);
    ASSERT_TRUE(x.ok());
    TempDir dir;
    {
        ScriptedDialogs dialogs;
        ThrowingProgramEnd end;
        Store store(dir.path(), dialogs, end);
        store.declareLayouts();
        Table<Contact> contacts(store);
        Contact c;
        c.clientId = 1;
        c.lastName = QStringLiteral("Smith");
        c.firstName = QStringLiteral("Anna");
        c.addressLine1 = QStringLiteral("1 High St");
        c.workdayPhone = QStringLiteral("555-1234");
        c.email = QStringLiteral("anna@example.org");
        c.website = QStringLiteral("www.example.org");
        c.contactCategory = QStringLiteral("Friends");
        ASSERT_EQ(contacts.add(c), Err::None);
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), x.display());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    QProcess owner;
    owner.setProcessEnvironment(env);
    owner.start(QStringLiteral(CLIPBOARD_HELPER), {QStringLiteral("copy"), dir.path()});
    ASSERT_TRUE(owner.waitForStarted(10000));
    ASSERT_TRUE(owner.waitForReadyRead(20000));
    EXPECT_EQ(QString::fromUtf8(owner.readLine()).trimmed(), QStringLiteral("copied"));

    QProcess reader;
    reader.setProcessEnvironment(env);
    reader.start(QStringLiteral(CLIPBOARD_HELPER), {QStringLiteral("print")});
    ASSERT_TRUE(reader.waitForFinished(20000));
    EXPECT_EQ(QString::fromUtf8(reader.readAllStandardOutput()),
              QStringLiteral(
                  "Smith\nAnna\n1 High St\n\n\n\nWork Phone: 555-1234\nHome Phone:\nFax:\n"
                  "Other Phone:\nEmail: anna@example.org\nWeb Site: www.example.org\nCategory: Friends\n"));
    owner.write("quit\n");
    owner.closeWriteChannel();
    if (!owner.waitForFinished(5000))
        owner.kill();
}

} // namespace
} // namespace kr::test
