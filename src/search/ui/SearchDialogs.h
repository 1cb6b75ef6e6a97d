#pragma once

// The small questions of the schedule search: the match type of a field, the upper limit of
// a range, and what to do with the matches.

#include "search/Match.h"

#include <QDialog>

#include <functional>
#include <optional>

class QAbstractButton;
class QButtonGroup;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kr {

// AskMatchType: the types the kind offers, the current one chosen.
class AskMatchType final : public QDialog {
    Q_OBJECT
public:
    AskMatchType(FieldKind kind, int current, QWidget* parent = nullptr);
    // The type chosen now (whether or not OK was pressed).
    int chosen() const;
    void choose(int type);
    QAbstractButton* option(int type) const;
    // Shows the dialogue: the chosen type, or -1 when it was closed without OK.
    static int ask(FieldKind kind, int current, QWidget* parent);

private:
    QButtonGroup* group_;
};

// GetUpperLimit: the lower limit shown, the upper limit entered. `parse` reads a number the
// way the field shows it (null for a text field, compared as the search compares texts).
// Leaving the upper field with a value not above the lower one beeps and stays there; OK
// takes any upper limit that can be read. The window says what is wrong with it.
class GetUpperLimit final : public QDialog {
    Q_OBJECT
public:
    using Parse = std::function<std::optional<qint64>(const QString&)>;
    GetUpperLimit(const QString& lower, const QString& upper, Parse parse, QWidget* parent = nullptr);

    QLineEdit* upperField() const { return upper_; }
    QString upper() const;
    // What the window says of the upper limit; empty while nothing is wrong.
    QString note() const;
    // Leaving the upper field: a value not above the lower one beeps and keeps the focus
    // there. Returns whether the value was taken.
    bool leaveUpper();
    int beeps() const { return beeps_; }

    // Shows the dialogue: whether OK was pressed; `upper` then holds the upper limit.
    static bool ask(const QString& lower, QString& upper, Parse parse, QWidget* parent);

    void accept() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool above(const QString& text) const;
    bool readable(const QString& text) const;
    void refuse(const QString& why);

    QString lower_;
    Parse parse_;
    QLineEdit* upper_;
    QLabel* note_;
    int beeps_ = 0;
};

enum class SearchTask { Cancel, Edit, Select, Unselect };

// AskSearchTask: edit the matches, select them or unselect them; "&Unselect" only while
// tags exist.
class AskSearchTask final : public QDialog {
    Q_OBJECT
public:
    AskSearchTask(bool tagsExist, QWidget* parent = nullptr);
    SearchTask task() const { return task_; }
    QPushButton* button(SearchTask task) const;
    static SearchTask ask(bool tagsExist, QWidget* parent);

private:
    SearchTask task_ = SearchTask::Cancel;
    QPushButton* buttons_[4] = {};
};

} // namespace kr
