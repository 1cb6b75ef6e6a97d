#pragma once

#include "platform/Progress.h"
#include "store/Store.h"
#include "store/Table.h"
#include "store/Tables.h"
#include "support/ScriptedDialogs.h"
#include "support/ServerSchemas.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <memory>

namespace kr::test {

// A progress window that the user cancels at the first look.
class CancellingProgress final : public Progress {
public:
    void doBegin(const QString& t, const QString& s) override {
        title = t;
        text = s;
        firstText = s;
    }
    void doUpdate(int p) override {
        percents.push_back(p);
        looked = true;
    }
    bool cancelled() const override { return looked; }
    void end() override {}
    void doSetText(const QString& t) override { text = t; }
    QString title;
    QString text;
    QString firstText;
    std::vector<int> percents;
    bool looked = false;
};

// A progress window that only records.
class RecordingProgress final : public Progress {
public:
    void doBegin(const QString& t, const QString& s) override {
        title = t;
        text = s;
    }
    void doUpdate(int p) override { percents.push_back(p); }
    bool cancelled() const override { return false; }
    void end() override { ended = true; }
    void doSetText(const QString& t) override { text = t; }
    QString title;
    QString text;
    std::vector<int> percents;
    bool ended = false;
};

// One installation: a data file in a folder of its own (on a server, a database of its own;
// the first station of a test keeps the test's, which programs it starts use too).
struct Station {
    Station() {
        static int made = 0;
        static const ::testing::TestInfo* test = nullptr;
        const ::testing::TestInfo* now = ::testing::UnitTest::GetInstance()->current_test_info();
        made = now == test ? made + 1 : 1;
        test = now;
        const QString database = made == 1 ? Store::DatabaseFromEnvironment() : AnotherServerDatabase();
        store = std::make_unique<Store>(dir.path(), dialogs, end, database);
        store->declareLayouts();
    }
    QString file(const QString& name) const { return dir.file(name); }
    QString dataFile() const { return dir.file(kDataFileName); }

    template <class R> std::vector<R> all(int key = -1, const TableDecl* decl = nullptr) {
        Table<R> t(*store, decl != nullptr ? *decl : R::decl());
        std::vector<R> out;
        t.set(key);
        R r;
        while (t.next(r) == Err::None) {
            out.push_back(r);
            r = R{};
        }
        return out;
    }
    template <class R> void add(R r) {
        Table<R> t(*store);
        ASSERT_EQ(t.add(r), Err::None) << t.error().describe().toStdString();
    }

    TempDir dir;
    ScriptedDialogs dialogs;
    ThrowingProgramEnd end;
    std::unique_ptr<Store> store;
};

// Texts that test quoting, commas, line breaks and non-ASCII letters.
inline QString Tricky(int i, int width) {
    static const QString parts[] = {QStringLiteral("plain"),      QStringLiteral("with, comma"),
                                    QStringLiteral("say \"hi\""), QStringLiteral("Zürich €"),
                                    QStringLiteral("[bracket]"),  QStringLiteral("trailing\""),
                                    QStringLiteral("\"quoted\""), QStringLiteral("é,\"")};
    return (parts[i % 8] + QStringLiteral(" %1").arg(i)).left(width);
}

} // namespace kr::test
