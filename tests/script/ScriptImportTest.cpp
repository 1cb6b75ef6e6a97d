// Importing script files: every kind of line end, large files in batched transactions, and a
// file that cannot be read to its end.

#include "platform/Text.h"
#include "script/ScriptCommands.h"
#include "script/ScriptFile.h"
#include "script/ScriptItems.h"
#include "store/Table.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <QBuffer>
#include <QFile>

#include <sys/stat.h>

#include <gtest/gtest.h>

namespace kr::test {
namespace {

class ScriptImport : public ::testing::Test {
protected:
    ScriptImport() { store.declareLayouts(); }
    std::vector<Scripting> script(qint32 task) {
        std::vector<Scripting> out;
        EXPECT_TRUE(ReadTaskScript(store, task, out));
        return out;
    }
    QString write(const QByteArray& bytes) {
        const QString path = dir.file(QStringLiteral("in.krs"));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        return path;
    }

    TempDir dir;
    ScriptedDialogs dialogs;
    ThrowingProgramEnd end;
    Store store{dir.path(), dialogs, end};
    NoProgress progress;
};

TEST_F(ScriptImport, LinesEndInLineFeedsCarriageReturnsOrBoth) {
    const QString path = write("\"Wait\",\"10\",\"*Notepad\",\"Or\",\"\",\"\"\r"
                               "\"Send Keystrokes\",\"abc\",\"\",\"\",\"\",\"\"\r\n"
                               "\r\n"
                               "\"Set Focus\",\"Editor\",\"\",\"\",\"\",\"\"\n"
                               "\"Exit Script\",\"\",\"\",\"\",\"\",\"\"\r"
                               "\"Close Program\",\"gedit\",\"\",\"\",\"\",\"\"");
    EXPECT_EQ(ImportScript(store, progress, 4, path), 5);
    const std::vector<Scripting> items = script(4);
    ASSERT_EQ(items.size(), 5u);
    EXPECT_EQ(items[0].action.trimmed(), QStringLiteral("Wait"));
    EXPECT_EQ(items[0].secondsToWait, 10);
    EXPECT_EQ(items[0].ddeApplicationName.trimmed(), QStringLiteral("Or"));
    EXPECT_EQ(items[1].keystrokes.trimmed(), QStringLiteral("abc"));
    EXPECT_EQ(items[2].focusOnWindow.trimmed(), QStringLiteral("Editor"));
    EXPECT_EQ(items[4].command.trimmed(), QStringLiteral("gedit"));
    for (std::size_t i = 0; i < items.size(); ++i)
        EXPECT_EQ(items[i].sequence, static_cast<qint32>(i));
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(ScriptImport, AFileIsReadInTheCodePageItWasWrittenIn) {
    // Windows-1252, as an older installation wrote it: one of its lines is valid UTF-8 by
    // chance ("\xC3\xA9" is "Ã©" there), and the whole file decides.
    const QString old = write("\"Set Focus\",\"Caf\xe9 \x96 Men\xfc\",\"\",\"\",\"\",\"\"\r\n"
                              "\"Set Focus\",\"\xC3\xA9t\xE9\",\"\",\"\",\"\",\"\"\r\n"
                              "\"Send Keystrokes\",\"\xC3\xA9\",\"\",\"\",\"\",\"\"\r\n");
    EXPECT_EQ(ScriptFileEncoding(old), ScriptEncoding::Windows1252);
    EXPECT_EQ(ImportScript(store, progress, 4, old), 3);
    std::vector<Scripting> items = script(4);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(Clip(items[0].focusOnWindow), QString::fromUtf8("Café – Menü"));
    EXPECT_EQ(Clip(items[1].focusOnWindow), QString::fromUtf8("Ã©té"));
    EXPECT_EQ(Clip(items[2].keystrokes), QString::fromUtf8("Ã©"));

    // The program's own files are UTF-8, a byte-order mark before the first line included.
    const QString own = write("\xEF\xBB\xBF\"Set Focus\",\"Caf\xC3\xA9 \xE2\x80\x93 \xF0\x9F\x98\x80\"\n"
                              "\"Exit Script\"\n");
    EXPECT_EQ(ScriptFileEncoding(own), ScriptEncoding::Utf8);
    EXPECT_EQ(ImportScript(store, progress, 5, own), 2);
    items = script(5);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(Clip(items[0].focusOnWindow), QString::fromUtf8("Café – \xF0\x9F\x98\x80"));
    EXPECT_TRUE(dialogs.shown.empty());

    // A file too large to look through in one read, its last character split between reads.
    QByteArray big;
    while (big.size() < (1 << 20) - 100)
        big += "\"Exit Script\"\n";
    big += "\"Send Keystrokes\",\"";
    big += QByteArray((1 << 20) - 1 - big.size(), 'k');
    big += "\xC3\xA9\"\n";
    EXPECT_EQ(ScriptFileEncoding(write(big)), ScriptEncoding::Utf8);
    big += "\"Send Keystrokes\",\"\xE9\"\n";
    EXPECT_EQ(ScriptFileEncoding(write(big)), ScriptEncoding::Windows1252);
}

TEST_F(ScriptImport, ALineLongerThanAnyTheProgramWritesIsReadNoFurther) {
    QBuffer device;
    device.setData("\"Send Keystrokes\",\"" + QByteArray(kMaxScriptLineBytes * 4, 'k') +
                   "\"\n\"Exit Script\"\n");
    ASSERT_TRUE(device.open(QIODevice::ReadOnly));
    const auto first = NextScriptLine(device);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->size(), kMaxScriptLineBytes);
    EXPECT_EQ(NextScriptLine(device), QStringLiteral("\"Exit Script\""));
    EXPECT_FALSE(NextScriptLine(device).has_value());
}

TEST_F(ScriptImport, ALargeFileGoesInWholeAcrossItsBatches) {
    // An item already numbered in the middle of the file fails alone; the rest of its batch
    // stays.
    const int lines = kImportBatchItems * 2 + 123;
    {
        Table<Scripting> table(store);
        Scripting taken;
        taken.id = 6;
        taken.sequence = kImportBatchItems + 7;
        taken.action = QStringLiteral("Exit Script");
        ASSERT_EQ(table.add(taken), Err::None);
    }
    QByteArray bytes;
    for (int i = 0; i < lines; ++i)
        bytes += "\"Send Keystrokes\",\"line " + QByteArray::number(i) + "\",\"\",\"\",\"\",\"\"\n";
    EXPECT_EQ(ImportScript(store, progress, 6, write(bytes)), lines - 1);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Error!"));
    EXPECT_TRUE(dialogs.shown[0].text.startsWith(QStringLiteral("Error adding script item ")));
    const std::vector<Scripting> items = script(6);
    ASSERT_EQ(items.size(), static_cast<std::size_t>(lines));
    for (int i = 0; i < lines; ++i) {
        EXPECT_EQ(items[static_cast<std::size_t>(i)].sequence, i);
        if (i != kImportBatchItems + 7) {
            ASSERT_EQ(items[static_cast<std::size_t>(i)].keystrokes, QStringLiteral("line %1").arg(i));
        }
    }
}

// A device that fails after a number of bytes, as a file on a lost share or a bad disk does.
class FailingDevice final : public QIODevice {
public:
    FailingDevice(QByteArray bytes, qint64 failAt)
        : bytes_(std::move(bytes))
        , failAt_(failAt) {}
    qint64 size() const override { return bytes_.size(); }

protected:
    qint64 readData(char* data, qint64 max) override {
        if (at_ >= failAt_) {
            setErrorString(QStringLiteral("Input/output error"));
            return -1;
        }
        const qint64 n = std::min(max, failAt_ - at_);
        std::memcpy(data, bytes_.constData() + at_, static_cast<std::size_t>(n));
        at_ += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray bytes_;
    qint64 failAt_;
    qint64 at_ = 0;
};

TEST_F(ScriptImport, AReadErrorInTheMiddleIsReportedNotTakenForTheEnd) {
    const QByteArray line = "\"Send Keystrokes\",\"x\",\"\",\"\",\"\",\"\"\n";
    FailingDevice device(line.repeated(10), line.size() * 4);
    ASSERT_TRUE(device.open(QIODevice::ReadOnly));
    EXPECT_EQ(ImportScript(store, progress, 8, device, QStringLiteral("lost.krs")), -1);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("File Error"));
    EXPECT_TRUE(dialogs.shown[0].text.contains(QStringLiteral("Input/output error")))
        << dialogs.shown[0].text.toStdString();
    EXPECT_TRUE(dialogs.shown[0].text.contains(QStringLiteral("lost.krs")));
    // What was read before the error is kept, as with any import that stops.
    EXPECT_EQ(script(8).size(), 4u);

    // A whole file read to its end is no error.
    QBuffer whole;
    whole.setData(line.repeated(3));
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    EXPECT_FALSE(ScriptReadFailed(whole));
    int n = 0;
    while (NextScriptLine(whole))
        ++n;
    EXPECT_EQ(n, 3);
    EXPECT_FALSE(ScriptReadFailed(whole));
}

// Boxes that look, as each one is shown, at what another station finds in the data file.
class LookingDialogs final : public Dialogs {
public:
    explicit LookingDialogs(QString dir)
        : dir_(std::move(dir)) {}
    Button show(const QString& text, const QString&, Icon, unsigned, Button defaultButton) override {
        ScriptedDialogs quiet;
        ThrowingProgramEnd end;
        Store other(dir_, quiet, end);
        other.declareLayouts();
        std::vector<Scripting> items;
        ReadTaskScript(other, 7, items);
        seen.push_back(text + QStringLiteral(" | %1").arg(items.size()));
        return defaultButton;
    }
    QStringList seen;

private:
    QString dir_;
};

TEST_F(ScriptImport, ABoxInTheMiddleOfABatchComesAfterTheItemsBeforeItAreStored) {
    LookingDialogs looking(dir.path());
    Store station(dir.path(), looking, end);
    station.declareLayouts();
    const QString path = write("\"Exit Script\"\n\"Exit Script\"\n\"Exit Script\"\n"
                               "\"Dance\",\"1\"\n"
                               "\"Exit Script\"\n\"Wait\",\"5\"\n");
    {
        Table<Scripting> table(station);
        Scripting taken;
        taken.id = 7;
        taken.sequence = 4;
        taken.action = QStringLiteral("Set Focus");
        ASSERT_EQ(table.add(taken), Err::None);
    }
    EXPECT_EQ(ImportScript(station, progress, 7, path), 4);
    // Each box is asked with the data file free, the items before it already there for
    // another station to see.
    EXPECT_EQ(looking.seen,
              (QStringList{QStringLiteral("Unrecognized script action: Dance | 4"),
                           QStringLiteral("Error adding script item Creates Duplicate Key | 5")}));
    std::vector<Scripting> items;
    ASSERT_TRUE(ReadTaskScript(station, 7, items));
    ASSERT_EQ(items.size(), 5u);
    EXPECT_EQ(items[3].action, QStringLiteral("Exit Script"));
    EXPECT_EQ(items[4].action, QStringLiteral("Set Focus"));
}

TEST_F(ScriptImport, AnExportFileTheProgramMakesIsPrivate) {
    const mode_t old = ::umask(022);
    {
        Table<Scripting> table(store);
        Scripting item;
        item.id = 3;
        item.action = QStringLiteral("Exit Script");
        ASSERT_EQ(table.add(item), Err::None);
    }
    const QString path = dir.file(QStringLiteral("out.krs"));
    EXPECT_EQ(ExportScript(store, progress, 3, path), 1);
    ::umask(old);
    EXPECT_EQ(QFile(path).permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther), 0);
}

} // namespace
} // namespace kr::test
