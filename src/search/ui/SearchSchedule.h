#pragma once

// "Search the Schedule": the task's fields to fill in by example, a match type for each, and
// the search that lets the user step through the matches to edit one, or selects or
// unselects them in the tag set the schedule list's "Selected" view shows.

#include "platform/Dialogs.h"
#include "platform/Progress.h"
#include "search/Scan.h"
#include "search/ui/SearchDialogs.h"
#include "store/Settings.h"

#include <QDialog>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace kr {

struct SearchContext {
    Store& store;
    Dialogs& dialogs;
    const Settings& settings;
    // The progress window of the scan; the window's own when null.
    Progress* progress = nullptr;
    // The questions; the real dialogues when empty.
    std::function<int(FieldKind kind, int current)> askMatchType;
    std::function<bool(const QString& lower, QString& upper, GetUpperLimit::Parse parse)> getUpperLimit;
    std::function<SearchTask(bool tagsExist)> askSearchTask;
    // The calendar the date fields pick from ("..." beside them); none when empty. Answers
    // the date picked, or `current` when the calendar was closed without a pick.
    std::function<Date(Date current, QWidget* parent)> pickDate = {};
};

// What the schedule list does after the search window closes.
struct SearchResult {
    enum Kind { Nothing, Edit, SelectionChanged };
    Kind kind = Nothing;
    qint32 task = 0; // Edit: the task number
};

class SearchSchedule final : public QDialog {
    Q_OBJECT
public:
    explicit SearchSchedule(SearchContext ctx, QWidget* parent = nullptr);
    ~SearchSchedule() override;

    const SearchResult& result() const { return result_; }

    // The field's entry widget and its indicator beside it.
    QWidget* field(int field) const;
    QLabel* indicator(int field) const;
    int matchType(int field) const;
    QPushButton* searchTypeButton() const { return searchType_; }
    QPushButton* beginButton() const { return begin_; }
    QTabWidget* tabs() const { return tabs_; }

    // The field the user is on (the last searchable field that had the focus); -1 when none.
    int selectedField() const { return selected_; }
    void selectField(int field);

    // "&Search Type", or "&Edit This" while a match shows.
    void chooseMatchType();
    // "&Begin Search", or "&Find Next" while a match shows.
    void beginSearch();
    void editThis();
    void findNext();
    // One timer tick of a search under way.
    void tick();
    bool searching() const { return timer_.isActive(); }
    bool showingMatch() const { return showingMatch_; }
    // The scan under way, for tests; null when none.
    const ScheduleScan* scan() const { return scan_.get(); }

    // The window's record with the fields read into it.
    const Schedule& example();

    void done(int r) override;

private:
    // The timer and the progress window of a scan, with the window closed to input meanwhile.
    void runScan();
    void haltScan();
    void setBusy(bool busy);
    struct Entry {
        int field;
        QWidget* widget;
        QLabel* indicator;
        int type = 0;
        qint64 limit = 0;
        QString upperText;
        // The type was chosen by typing into the field, not by the user: emptying the field
        // leaves it out of the search again.
        bool typed = false;
    };

    void build();
    QWidget* makeWidget(int field);
    QWidget* row(int field, const QString& label);
    Entry* entry(int field);
    int entryOf(const QWidget* widget) const;
    // The first date or time field whose text cannot be read; null when all can.
    QLineEdit* unreadable() const;
    const Entry* entry(int field) const;
    void load(const Schedule& record);
    void read(Schedule& record) const;
    QString display(int field, const Schedule& record) const;
    GetUpperLimit::Parse parser(int field) const;
    void showIndicator(Entry& e);
    void erase(Entry& e);
    // Watches the user's changes to the field's example.
    void watch(const Entry& e);
    void exampleChanged(int field);
    bool blank(const Entry& e) const;
    void startScan(SearchMode mode);
    void finish(ScheduleScan::Result how);
    void showMatch(bool on);
    void stop();

    SearchContext ctx_;
    Tags tags_;
    std::unique_ptr<Progress> ownProgress_;
    Progress* progress_;
    std::vector<Entry> entries_;
    QTabWidget* tabs_ = nullptr;
    QPushButton* searchType_ = nullptr;
    QPushButton* begin_ = nullptr;
    Schedule example_;
    int selected_ = -1;
    std::unique_ptr<ScheduleScan> scan_;
    QTimer timer_;
    bool showingMatch_ = false;
    bool loading_ = false; // the window fills its fields itself
    bool cleared_ = false; // the selections were cleared before this run
    SearchResult result_;
    QMetaObject::Connection focusWatch_;
};

} // namespace kr
