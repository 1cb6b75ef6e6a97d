#include "exchange/ui/ExchangeWindows.h"

#include "ExchangeFixture.h"
#include "scheduler/ProgramState.h"
#include "support/Accelerators.h"
#include "support/ScriptedFileDialogs.h"
#include "support/TableEvents.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

namespace kr::test {
namespace {

// Runs `step` on the picture prompt once it waits for the user.
void OnPrompt(const std::function<void(PicturePrompt&)>& step) {
    QTimer::singleShot(0, [step] {
        if (auto* p = dynamic_cast<PicturePrompt*>(QApplication::activeModalWidget()))
            step(*p);
    });
}

class ExchangeWindowsTest : public ::testing::Test {
protected:
    QPushButton* ButtonOf(QWidget* w, const QString& text) {
        for (auto* b : w->findChildren<QPushButton*>()) {
            if (b->text() == text)
                return b;
        }
        ADD_FAILURE() << "no button " << text.toStdString();
        return nullptr;
    }

    Station station;
    ScriptedFileDialogs files;
    RecordingProgress progress;
    TableListeners listeners;
    IniFile positions{station.file(QStringLiteral("POSITION.INI"))};
    ExchangeContext ctx{*station.store, station.dialogs, files, progress, positions, listeners, {}};
};

TEST_F(ExchangeWindowsTest, ExportMarkingAddRemoveShiftAndPicture) {
    auto* w = new ExportWindow(ctx, TodoExchange());
    QListWidget* all = w->allFields();
    ASSERT_EQ(all->count(), 8);
    // A range, then one more toggled on.
    all->item(1)->setSelected(true);
    all->item(2)->setSelected(true);
    all->item(3)->setSelected(true);
    all->item(6)->setSelected(true);
    w->addMarked();
    ASSERT_EQ(w->chosen().size(), 4u);
    EXPECT_EQ(w->chosen()[3].name, QStringLiteral("TDO:Notes"));
    EXPECT_EQ(w->kindText(), QStringLiteral("Alpha-numeric"));
    // A field already there is only selected.
    all->clearSelection();
    all->item(1)->setSelected(true);
    w->addMarked();
    EXPECT_EQ(w->chosen().size(), 4u);
    EXPECT_EQ(w->exportFields()->currentItem()->text(0), QStringLiteral("TDO:Priority"));
    EXPECT_EQ(w->kindText(), QStringLiteral("Numeric"));
    w->shift(-1); // already first
    w->shift(1);
    EXPECT_EQ(w->chosen()[1].name, QStringLiteral("TDO:Priority"));
    // A picture without "@" is refused and the prompt stays; then a good one.
    OnPrompt([this](PicturePrompt& p) {
        p.findChild<QLineEdit*>()->setText(QStringLiteral("d3"));
        p.accept();
        EXPECT_TRUE(p.isVisible());
        EXPECT_EQ(station.dialogs.shown.back().text, QStringLiteral("Pictures must begin with \"@\""));
        EXPECT_EQ(station.dialogs.shown.back().caption, QStringLiteral("Invalid Picture!"));
        p.findChild<QLineEdit*>()->setText(QStringLiteral("@d3"));
        p.accept();
    });
    w->changePicture();
    EXPECT_EQ(w->chosen()[1].picture, QStringLiteral("@d3"));
    EXPECT_EQ(w->kindText(), QStringLiteral("@d3"));
    // Cancelled: blank, the picture stays.
    OnPrompt([](PicturePrompt& p) { p.reject(); });
    w->changePicture();
    EXPECT_EQ(w->chosen()[1].picture, QStringLiteral("@d3"));
    w->exportFields()->clearSelection();
    w->exportFields()->topLevelItem(0)->setSelected(true);
    w->exportFields()->topLevelItem(3)->setSelected(true);
    w->removeMarked();
    ASSERT_EQ(w->chosen().size(), 2u);
    EXPECT_EQ(w->chosen()[0].name, QStringLiteral("TDO:Priority"));
    EXPECT_EQ(w->chosen()[1].name, QStringLiteral("TDO:ToDo"));
    EXPECT_TRUE(AcceleratorClashes(w).empty());
    delete w;
}

TEST_F(ExchangeWindowsTest, ExportNeedsFieldsThenWritesTheChosenFile) {
    Todo t;
    t.todo = QStringLiteral("water the plants");
    station.add(t);
    QPointer<ExportWindow> w = new ExportWindow(ctx, TodoExchange());
    w->show();
    w->accept();
    ASSERT_EQ(station.dialogs.shown.size(), 1u);
    EXPECT_EQ(station.dialogs.shown[0].text, QStringLiteral("You must select one or more fields to export."));
    EXPECT_EQ(station.dialogs.shown[0].caption, QStringLiteral("No Fields Selected for Export!"));
    EXPECT_TRUE(w->isVisible());
    w->allFields()->item(3)->setSelected(true);
    w->addMarked();
    w->findChild<QCheckBox*>()->setChecked(true);
    const QString file = station.file(QStringLiteral("todo.csv"));
    files.answer(file);
    w->accept();
    ASSERT_EQ(files.asked.size(), 1u);
    EXPECT_EQ(files.asked[0].title, QStringLiteral("Export File"));
    EXPECT_EQ(files.asked[0].filter, QStringLiteral("Export Files|*.CSV|All Files|*.*"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("\"TDO:ToDo\"\r\n\"water the plants\"\r\n"));
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(w.isNull());
}

TEST_F(ExchangeWindowsTest, ImportAssignsAutomaticallyAndStepsThroughTheFile) {
    const QString empty = station.file(QStringLiteral("empty.csv"));
    const QString file = station.file(QStringLiteral("in.csv"));
    QFile(empty).open(QIODevice::WriteOnly);
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("\"TDO:ToDo\",\"x\",\"TDO:Category\"\r\n\"first\",1,\"Work\"\r\n\"second\",2,\"Home\"\r\n");
    }
    files.answer(empty);
    files.answer(file);
    QPointer<ImportWindow> w = ImportWindow::open(ctx, TodoExchange(), nullptr);
    ASSERT_FALSE(w.isNull());
    ASSERT_EQ(station.dialogs.shown.size(), 1u);
    EXPECT_EQ(station.dialogs.shown[0].text,
              QStringLiteral("That file is empty!  Please pick another file."));
    EXPECT_EQ(station.dialogs.shown[0].caption, QStringLiteral("Attention!"));
    EXPECT_EQ(files.asked[1].title, QStringLiteral("Import File"));

    // "A&uto" ran at opening: ToDo and Category found by name.
    EXPECT_EQ(w->assignments()[3], 0);
    EXPECT_EQ(w->assignments()[2], 2);
    EXPECT_EQ(w->targets()->topLevelItem(3)->text(1), QStringLiteral("="));
    EXPECT_EQ(w->targets()->topLevelItem(3)->text(2), QStringLiteral("Field_1"));
    EXPECT_EQ(w->importFields()->topLevelItem(1)->text(1), QStringLiteral("@N30.9"));
    EXPECT_EQ(w->importFields()->topLevelItem(1)->text(2), QStringLiteral("Numeric"));
    EXPECT_EQ(w->importFields()->topLevelItem(0)->text(2), QStringLiteral("Alpha-num"));
    EXPECT_TRUE(w->stripHeader()->isChecked());
    // Selecting an assigned target selects its field; a field selects the first target it feeds.
    w->targets()->setCurrentItem(w->targets()->topLevelItem(2));
    EXPECT_EQ(w->importFields()->currentItem(), w->importFields()->topLevelItem(2));
    w->importFields()->setCurrentItem(w->importFields()->topLevelItem(0));
    EXPECT_EQ(w->targets()->currentItem(), w->targets()->topLevelItem(3));
    // Assign the second field to the priority, then unassign the category.
    w->importFields()->setCurrentItem(w->importFields()->topLevelItem(1));
    w->targets()->setCurrentItem(w->targets()->topLevelItem(1));
    w->assign();
    EXPECT_EQ(w->assignments()[1], 1);
    w->targets()->setCurrentItem(w->targets()->topLevelItem(2));
    w->unassign();
    EXPECT_EQ(w->assignments()[2], -1);

    EXPECT_TRUE(w->nextButton()->isEnabled());
    w->next();
    EXPECT_FALSE(w->autoButton()->isEnabled());
    EXPECT_TRUE(w->nextButton()->isEnabled());
    EXPECT_EQ(w->importFields()->topLevelItem(0)->text(3), QStringLiteral("first"));
    w->next();
    EXPECT_FALSE(w->nextButton()->isEnabled());

    TableEventRecorder recorder;
    listeners.add(&recorder, QStringLiteral("ToDo"));
    w->accept();
    const auto got = station.all<Todo>(Todo::KEYTODO);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].todo, QStringLiteral("first"));
    EXPECT_EQ(got[0].priority, 1);
    EXPECT_EQ(got[0].category, QString());
    EXPECT_EQ(recorder.take(), QStringList{QStringLiteral("Todo")});
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(w.isNull());
}

TEST_F(ExchangeWindowsTest, ImportNeedsAnAssignment) {
    ImportFile file;
    file.setBytes("a,b\n");
    auto* w = new ImportWindow(ctx, ContactExchange(), std::move(file));
    w->accept();
    ASSERT_EQ(station.dialogs.shown.size(), 1u);
    EXPECT_EQ(station.dialogs.shown[0].text, QStringLiteral("You must select one or more fields to import."));
    EXPECT_EQ(station.dialogs.shown[0].caption, QStringLiteral("No Fields Selected for Import!"));
    EXPECT_EQ(w->targets()->topLevelItemCount(), 15);
    delete w;
}

TEST_F(ExchangeWindowsTest, SynchronizeOffersSendFirstAndClosesAfterARun) {
    QPointer<QWidget> w;
    ASSERT_TRUE(OpenExchangeWindow(QStringLiteral("Synchronize"), ctx, nullptr));
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->windowTitle() == QLatin1String("Synchronize") && top->isVisible())
            w = top;
    }
    ASSERT_FALSE(w.isNull());
    EXPECT_EQ(w->findChildren<QLabel*>().size(), 4);
    auto* focused = qobject_cast<QPushButton*>(w->focusWidget());
    ASSERT_NE(focused, nullptr);
    EXPECT_EQ(focused->text(), QStringLiteral("&Send"));
    EXPECT_TRUE(AcceleratorClashes(w).empty());
    // The dialog cancelled: nothing done, the window closes.
    ButtonOf(w, QStringLiteral("&Receive"))->click();
    ASSERT_EQ(files.asked.size(), 1u);
    EXPECT_EQ(files.asked[0].title, QStringLiteral("File to Receive from..."));
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(w.isNull());
    EXPECT_FALSE(OpenExchangeWindow(QStringLiteral("BrowseSchedule"), ctx, nullptr));
}

TEST_F(ExchangeWindowsTest, WindowsFitTheSmallestScreen) {
    ImportFile file;
    file.setBytes("\"SCH:Description\",\"SCH:Date\"\n\"Backup\",\"31/10/1959\"\n");
    std::vector<QDialog*> windows{new Synchronize(ctx), new ExportWindow(ctx, ScheduleExchange()),
                                  new ImportWindow(ctx, ScheduleExchange(), std::move(file)),
                                  new PicturePrompt(station.dialogs, QStringLiteral("@s20"))};
    for (QDialog* w : windows) {
        w->show();
        const QSize size = w->frameGeometry().size();
        EXPECT_LE(size.width(), 1366) << w->windowTitle().toStdString();
        EXPECT_LE(size.height(), 740) << w->windowTitle().toStdString();
        EXPECT_GE(size.width(), w->minimumSizeHint().width());
        EXPECT_GE(size.height(), w->minimumSizeHint().height());
        // KELVRAY_SHOTS=folder keeps a picture of each window to look at.
        const QString shots = qEnvironmentVariable("KELVRAY_SHOTS");
        if (!shots.isEmpty())
            w->grab().save(shots + QLatin1Char('/') + w->windowTitle().remove(QLatin1Char('.')) +
                           QStringLiteral(".png"));
        delete w;
    }
}

} // namespace
} // namespace kr::test
