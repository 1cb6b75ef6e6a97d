#pragma once

// The rules of the windows that enter and change tasks: which fields a task type and a
// schedule type show, what entering a date or an advance warning does, and how a task is
// made ready for saving. No widgets: the forms apply what these say.

#include "platform/DateTime.h"
#include "platform/IniFile.h"
#include "platform/Progress.h"
#include "store/Store.h"
#include "store/Tables.h"

#include <QStringList>

#include <vector>

namespace kr {

inline const QString kRunProgram = QStringLiteral("Run Program");
inline const QString kDisplayMessage = QStringLiteral("Display Message");
inline const QString kBoth = QStringLiteral("Both");
inline const QString kNoTask = QStringLiteral("None");

// The choices of the form, in the order shown.
const QStringList& TaskTypes();
const QStringList& ScheduleTypes();
const QStringList& EveryTypes();
const QStringList& MonthRepeats(); // "Once", "Twice - 1st, 15th", "Twice - 15th, Last"
// The exception actions: "Skip (to Next Valid Day)", "Previous Day", "Next Day".
const QStringList& ShiftTypes();

// What the number fields take: "Every:" and "Days to Offset:".
constexpr qint32 kMinEvery = 1;
constexpr qint32 kMaxEvery = 999999;
constexpr qint32 kMinOffset = -99;
constexpr qint32 kMaxOffset = 99;

// The form's messages for a task without a description and for an advance warning after the
// task.
inline const QString kNoDescriptionText = QStringLiteral("Enter a description for the task.");
inline const QString kWarningAfterTaskText =
    QStringLiteral("Advanced Warning cannot be after scheduled task.");

// A task that arrives from outside the form (the command line, the session bus, a calendar)
// is checked as the form checks what is typed into it: each value must be one that its field
// can hold, and saving must take the whole. The first fault found: the field it lies in, as
// the table names it ("SCHEDULETYPE"), and the message and caption the user reads. Blank when
// the task could have been entered on the form.
struct EntryProblem {
    QString field;
    QString text;
    QString caption;
    bool ok() const { return text.isEmpty(); }
};
EntryProblem CheckTaskEntry(const Schedule& task);

// The time a task without a time of its own runs at: 23:59:55.
constexpr Time kEndOfDayTime = 8639500;

// What a task type shows.
struct TaskTypeView {
    bool command = true; // the command fields and their tab
    bool message = true; // the message and its tab
    bool time = true;    // the time of the next run
};
TaskTypeView ViewForTaskType(const QString& taskType);
// A task of type "None" runs at the end of its day.
void ApplyTaskType(Schedule& task);

// What a schedule type shows in the repetition group.
struct ScheduleTypeView {
    QString groupCaption = QStringLiteral("&Every...");
    bool ordinals = false; // "1st" ... "Last"
    bool monthEnd = false;
    bool weekdays = false;
    bool every = false; // "Every:" and its unit
    bool monthRepeat = false;
    bool offset = false; // "Days to Offset:" and "&Tips"
    bool except = false;
    bool offsetEnabled = false; // twice a month
    bool daysEnabled = true;    // ordinals and weekdays, while "Month End" is not ticked
};
// A monthly task whose repeat does not begin with "T" is set to repeat "Once".
ScheduleTypeView ViewForSchedule(Schedule& task);

// The default advance warning of the "Warning" section of KR98.INI.
struct WarningDefaults {
    bool active = false;
    qint32 days = 0;
    qint32 hundredths = 0;
    static WarningDefaults read(const IniFile& ini);
};

// The next date entered: false when it does not fit the schedule (the date stays). With the
// defaults active the advance warning is set that far before the task.
bool AcceptTaskDate(Schedule& task, const WarningDefaults& defaults);
// The advance warning entered: an advance warning after the task is cleared; true then.
bool AcceptAdvanceWarning(Schedule& task);

// Whether a task was handed over blank (to be primed) rather than as a prepared copy.
bool IsBlankTask(const Schedule& task);
// A prepared copy starts enabled, not completed, not warned.
void PrepareTaskCopy(Schedule& task);

// The message of the "&Tips" button.
QString OffsetTips();

// Quick Start's delays, in hundredths, with their names.
struct QuickStartDelay {
    const char* name;
    Time delay;
};
const std::vector<QuickStartDelay>& QuickStartDelays();

// Quick Start: a once-only copy of the task that runs `delay` from now (and a second), with
// the task's script items (CopyScript, with its progress window when one is given). Returns the
// copy's number, 0 when it could not be added (the error in `error`).
qint32 QuickStart(Store& store, const Schedule& task, Date today, Time now, Time delay,
                  Progress* progress = nullptr, StoreError* error = nullptr);

} // namespace kr
