#include "scheduler/ui/TaskForm.h"

#include "platform/Pictures.h"
#include "platform/Text.h"
#include "platform/qt/Ditto.h"
#include "platform/qt/Fields.h"
#include "platform/qt/Keyboard.h"
#include "platform/qt/OutsideClose.h"
#include "platform/qt/WindowPosition.h"
#include "scheduler/Exceptions.h"
#include "scheduler/ui/RunsWindow.h"
#include "scheduler/Occurrence.h"
#include "scheduler/TaskEditing.h"
#include "scheduler/TaskRules.h"
#include "scheduler/ui/Holidays.h"
#include "script/ScriptCommands.h"
#include "script/ScriptItems.h"
#include "store/Numbering.h"
#include "store/Table.h"
#include "store/Warnings.h"
#include "widgets/Calendar.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QFocusEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTabWidget>
#include <QVBoxLayout>

namespace kr {

namespace {

const QString kGeneral = QStringLiteral("General");
const QString kReplyPrefix = QStringLiteral("Reply to:");
const char* const kOrdinals[] = {"1st", "2nd", "3rd", "4th", "Last"};
const char* const kWeekdays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                 "Thursday", "Friday", "Saturday"};
constexpr int kMessageChars = 1000;

// What differs between the windows.
struct WindowTraits {
    const char* procedure;
    const char* addingTitle;
    std::vector<TaskForm::Page> pages;
    QString taskType;     // on insert
    QString scheduleType; // on insert
    bool generalCategory = false;
};

const WindowTraits& TraitsOf(TaskWindow w) {
    using P = TaskForm::Page;
    static const WindowTraits update{"UpdateSchedule",
                                     "Adding a Schedule Task",
                                     {P::Task, P::Command, P::Message, P::When, P::Advanced},
                                     kBoth,
                                     kDayOfWeek};
    static const WindowTraits message{
        "AddMessageWizard", "Add Message Wizard", {P::Message, P::When, P::Advanced},
        kDisplayMessage,    kDayOfWeek,           true};
    static const WindowTraits program{
        "AddProgramWizard", "Add Program Wizard", {P::Command, P::When, P::Category, P::Advanced},
        kRunProgram,        kDayOfWeek,           true};
    static const WindowTraits task{"AddTaskWizard",
                                   "Add Task Wizard",
                                   {P::Task, P::Category, P::Command, P::Message, P::When, P::Advanced},
                                   kBoth,
                                   kDayOfWeek,
                                   true};
    static const WindowTraits special{"SpecialEventWizard",
                                      "Reschedule Event Wizard",
                                      {P::Task, P::Command, P::Message, P::When, P::Advanced},
                                      {},
                                      kOnce};
    static const WindowTraits fast{
        "FastAdd", "Reply...", {P::Message, P::When, P::Advanced}, kDisplayMessage, kOnce};
    switch (w) {
    case TaskWindow::UpdateSchedule:
        return update;
    case TaskWindow::AddMessageWizard:
        return message;
    case TaskWindow::AddProgramWizard:
        return program;
    case TaskWindow::AddTaskWizard:
        return task;
    case TaskWindow::SpecialEventWizard:
        return special;
    case TaskWindow::FastAdd:
        break;
    }
    return fast;
}

QString PageTitle(TaskForm::Page p) {
    switch (p) {
    case TaskForm::Page::Task:
        return QStringLiteral("&Task");
    case TaskForm::Page::Category:
        return QStringLiteral("&Category");
    case TaskForm::Page::Command:
        return QStringLiteral("&Command");
    case TaskForm::Page::Message:
        return QStringLiteral("&Message");
    case TaskForm::Page::When:
        return QStringLiteral("&When");
    case TaskForm::Page::Advanced:
        break;
    }
    return QStringLiteral("&Advanced");
}

// The one line at the top of a wizard page saying what the page asks.
QString PageQuestion(TaskForm::Page p, bool withDescription) {
    switch (p) {
    case TaskForm::Page::Task:
        return QStringLiteral("What kind of task is it, and what is it called?");
    case TaskForm::Page::Category:
        return QStringLiteral("Which category is the task filed under?");
    case TaskForm::Page::Command:
        return withDescription ? QStringLiteral("What is the task called, and which program does it start?")
                               : QStringLiteral("Which program does the task start, and in which folder?");
    case TaskForm::Page::Message:
        return withDescription ? QStringLiteral("What is the task called, and what message does it show?")
                               : QStringLiteral("What message does the task show when it runs?");
    case TaskForm::Page::When:
        return QStringLiteral("When does the task run, and how often?");
    case TaskForm::Page::Advanced:
        break;
    }
    return QStringLiteral("Should the task sound an alarm, and what if it cannot run on time?");
}

quint8 Flag(const QAbstractButton* b) {
    return b->isChecked() ? 1 : 0;
}

// Adds the category to the category list when it is not there yet.
void EnsureCategory(Store& store, const QString& name) {
    Table<Categories> categories(store);
    Categories c;
    c.category = name;
    if (categories.get(Categories::KEYCATEGORY, c) == Err::RecordNotFound) {
        c.category = name;
        categories.add(c);
    }
}

QLabel* Buddy(const QString& text, QWidget* field) {
    auto* l = new QLabel(text);
    l->setBuddy(field);
    return l;
}

} // namespace

// ------------------------------------------------------------------------------ TaskForm

TaskForm::TaskForm(TaskFormContext& ctx, TaskWindow window, Request request, const Schedule& task,
                   Date selectedDay, QWidget* parent)
    : QDialog(parent)
    , ctx_(ctx)
    , window_(window)
    , request_(request)
    , record_(task)
    , pages_(TraitsOf(window).pages) {
    const WindowTraits& traits = TraitsOf(window);
    setObjectName(QString::fromLatin1(traits.procedure));
    if (request == Request::Insert)
        setWindowTitle(QString::fromLatin1(traits.addingTitle));
    else
        setWindowTitle(window == TaskWindow::UpdateSchedule ? QStringLiteral("Changing a Schedule Task")
                                                            : QStringLiteral("Changing a Schedule Record"));
    table_ = std::make_unique<Table<Schedule>>(ctx_.store);
    buildFields();
    ditto_ = new Ditto(this);

    if (request == Request::Insert) {
        Schedule primed = task;
        if (window == TaskWindow::SpecialEventWizard || !IsBlankTask(task)) {
            // A prepared copy keeps what it was handed, back to a fresh start.
            copiedFrom_ = task.id;
            PrepareTaskCopy(primed);
            if (window == TaskWindow::SpecialEventWizard)
                primed.scheduleType = traits.scheduleType;
        } else {
            PrimeNewTask(primed, selectedDay != 0 ? selectedDay : ctx_.clock.today(), ctx_.clock.now(),
                         traits.taskType);
            primed.scheduleType = traits.scheduleType;
            if (traits.generalCategory) {
                EnsureCategory(ctx_.store, kGeneral);
                primed.category = kGeneral;
            }
            ApplyTaskType(primed);
        }
        // The number is reserved by a blank record: one without a date is in no key the
        // scheduler reads, so it cannot come due while the user is still filling it in.
        Schedule reserved;
        ready_ = ReserveRecordNumber(*table_, reserved);
        primed.id = reserved.id;
        primed.meta = reserved.meta;
        record_ = primed;
        if (ready_ && copiedFrom_ != 0) {
            CopyScript(ctx_.store, *ctx_.progress.open(), copiedFrom_, record_.id);
        }
    }
    RecordEditor<Schedule>::Options options;
    options.reserved = true;
    options.stamp = [this](Schedule& t) {
        StampTask(t, ctx_.settings.userId, ctx_.clock.today(), ctx_.clock.now());
    };
    editor_ = std::make_unique<RecordEditor<Schedule>>(*table_, request_, record_, options);
    load(record_);
    takeSnapshot();
    CancelWhenDestroyedFromOutside(this);
}

TaskForm::~TaskForm() = default;

QString TaskForm::procedure() const {
    return QString::fromLatin1(TraitsOf(window_).procedure);
}

bool TaskForm::hasPage(Page page) const {
    return std::find(pages_.begin(), pages_.end(), page) != pages_.end();
}

void TaskForm::buildFields() {
    // Task
    taskTypeBox_ = new QGroupBox(QStringLiteral("Task T&ype"));
    taskTypes_ = new QButtonGroup(this);
    auto* typeLayout = new QHBoxLayout(taskTypeBox_);
    for (const QString& type : TaskTypes()) {
        auto* b = new QRadioButton(type);
        b->setObjectName(type);
        taskTypes_->addButton(b);
        typeLayout->addWidget(b);
    }
    connect(taskTypes_, &QButtonGroup::buttonClicked, this, [this] { taskTypeChanged(); });
    category_ = new QComboBox;
    category_->setMinimumContentsLength(20);
    description_ = new QLineEdit;
    description_->setMaxLength(40);
    description_->setMinimumWidth(description_->fontMetrics().averageCharWidth() * 42);

    // Command
    command_ = new QLineEdit;
    command_->setMaxLength(255);
    // The wizards' "<- &Back" and "&Next ->" have the letters the form gives to these.
    commandBrowse_ = new QPushButton(wizard() ? QStringLiteral("B&rowse") : QStringLiteral("&Browse"));
    connect(commandBrowse_, &QPushButton::clicked, this, &TaskForm::browseProgram);
    path_ = new QLineEdit;
    path_->setMaxLength(255);
    scripting_ = new QPushButton(QStringLiteral("&Scripting"));
    scripting_->setEnabled(static_cast<bool>(ctx_.scripting));
    connect(scripting_, &QPushButton::clicked, this, [this] {
        if (ctx_.scripting)
            ctx_.scripting(task());
    });
    showRuns_ = new QPushButton(QStringLiteral("Show &Runs..."));
    connect(showRuns_, &QPushButton::clicked, this, [this] {
        auto* w = new RunsWindow({ctx_.store, ctx_.dialogs, ctx_.positions, DatePictureFor(ctx_.settings.dateFormat)},
                                 record_.id, Clip(record_.description), this);
        w->setAttribute(Qt::WA_DeleteOnClose);
        w->show();
    });
    commandNote_ = new QLabel(QStringLiteral("To use scripting only, enter N/A as the command."));
    commandNote_->setWordWrap(true);
    scriptNote_ = new QLabel;
    scriptNote_->setObjectName(QStringLiteral("scriptNotRun"));
    scriptNote_->setWordWrap(true);
    scriptNote_->setTextFormat(Qt::PlainText);

    // Message
    message_ = new QPlainTextEdit;
    message_->setTabChangesFocus(true);
    message_->installEventFilter(this);
    message_->viewport()->installEventFilter(this);
    connect(message_, &QPlainTextEdit::textChanged, this, [this] {
        const QString text = message_->toPlainText();
        if (text.size() > kMessageChars) {
            message_->setPlainText(text.left(kMessageChars));
            message_->moveCursor(QTextCursor::End);
        }
    });

    // When
    scheduleType_ = new QComboBox;
    scheduleType_->addItems(ScheduleTypes());
    connect(scheduleType_, &QComboBox::activated, this, [this] { scheduleTypeChanged(); });
    repetition_ = new QGroupBox(QStringLiteral("&Every..."));
    for (int i = 0; i < 5; ++i)
        ordinals_[i] = new QCheckBox(QString::fromLatin1(kOrdinals[i]));
    monthEnd_ = new QCheckBox(QStringLiteral("Month End"));
    connect(monthEnd_, &QCheckBox::toggled, this, [this] { applyVisibility(); });
    for (int d = 0; d < 7; ++d)
        weekdays_[d] = new QCheckBox(QString::fromLatin1(kWeekdays[d]));
    every_ = new QSpinBox;
    every_->setRange(kMinEvery, kMaxEvery);
    everyLabel_ = Buddy(QStringLiteral("Every:"), every_);
    everyType_ = new QComboBox;
    everyType_->addItems(EveryTypes());
    monthRepeatBox_ = new QGroupBox(QStringLiteral("Repeat"));
    monthRepeats_ = new QButtonGroup(this);
    auto* repeatLayout = new QVBoxLayout(monthRepeatBox_);
    for (int i = 0; i < 3; ++i) {
        monthRepeat_[i] = new QRadioButton(MonthRepeats()[i]);
        monthRepeats_->addButton(monthRepeat_[i], i);
        repeatLayout->addWidget(monthRepeat_[i]);
    }
    connect(monthRepeats_, &QButtonGroup::buttonClicked, this, [this] { monthRepeatChanged(); });
    offset_ = new QSpinBox;
    offset_->setRange(kMinOffset, kMaxOffset);
    offsetLabel_ = Buddy(QStringLiteral("Da&ys to Offset:"), offset_);
    tips_ = new QPushButton(QStringLiteral("Ti&ps"));
    connect(tips_, &QPushButton::clicked, this, &TaskForm::showTips);
    except_ = new QPushButton(QStringLiteral("E&xcept"));
    connect(except_, &QPushButton::clicked, this, &TaskForm::openExceptions);

    // The fields of the schedule types share one place, so the form keeps its size whichever
    // type is chosen: the days (ordinals, month end, weekdays), the monthly repeat, and the
    // custom interval.
    repetitionPages_ = new QStackedWidget;
    nothingPage_ = new QWidget;
    daysPage_ = new QWidget;
    auto* days = new QVBoxLayout(daysPage_);
    days->setContentsMargins(0, 0, 0, 0);
    auto* ordinalRow = new QHBoxLayout;
    for (QCheckBox* b : ordinals_)
        ordinalRow->addWidget(b);
    ordinalRow->addWidget(monthEnd_);
    ordinalRow->addStretch();
    days->addLayout(ordinalRow);
    auto* weekdayGrid = new QGridLayout;
    for (int d = 0; d < 7; ++d)
        weekdayGrid->addWidget(weekdays_[d], d / 4, d % 4);
    days->addLayout(weekdayGrid);
    days->addStretch();
    monthlyPage_ = new QWidget;
    auto* monthly = new QHBoxLayout(monthlyPage_);
    monthly->setContentsMargins(0, 0, 0, 0);
    monthly->addWidget(monthRepeatBox_);
    auto* offsetRow = new QHBoxLayout;
    offsetRow->addWidget(offsetLabel_);
    offsetRow->addWidget(offset_);
    offsetRow->addWidget(tips_);
    auto* offsetColumn = new QVBoxLayout;
    offsetColumn->addLayout(offsetRow);
    offsetColumn->addStretch();
    monthly->addLayout(offsetColumn);
    monthly->addStretch();
    customPage_ = new QWidget;
    auto* custom = new QVBoxLayout(customPage_);
    custom->setContentsMargins(0, 0, 0, 0);
    auto* everyRow = new QHBoxLayout;
    everyRow->addWidget(everyLabel_);
    everyRow->addWidget(every_);
    everyRow->addWidget(everyType_);
    everyRow->addStretch();
    custom->addLayout(everyRow);
    custom->addStretch();
    for (QWidget* page : {nothingPage_, daysPage_, monthlyPage_, customPage_})
        repetitionPages_->addWidget(page);
    // Hidden ("Once"), the group keeps its place: the fields below do not move.
    QSizePolicy keep = repetition_->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    repetition_->setSizePolicy(keep);
    QSizePolicy keepButton = except_->sizePolicy();
    keepButton.setRetainSizeWhenHidden(true);
    except_->setSizePolicy(keepButton);
    auto* group = new QHBoxLayout(repetition_);
    group->addWidget(repetitionPages_, 1);
    // Room for the largest page with all its fields, whichever of them a type hides later.
    repetitionPages_->setMinimumSize(repetitionPages_->sizeHint());
    group->addWidget(except_, 0, Qt::AlignRight | Qt::AlignBottom);

    const QString datePicture = DatePictureFor(ctx_.settings.dateFormat);
    date_ = new DateField(datePicture);
    connect(date_, &QLineEdit::editingFinished, this, [this] {
        if (date_->isModified())
            dateAccepted();
    });
    dateCalendar_ = new QPushButton(QStringLiteral("..."));
    dateCalendar_->setToolTip(QStringLiteral("Pick the date from a calendar"));
    connect(dateCalendar_, &QPushButton::clicked, this, &TaskForm::pickDate);
    time_ = new TimeField(QStringLiteral("t3"));
    timeLabel_ = Buddy(QStringLiteral("T&ime:"), time_);
    lastPerformed_ = new QLabel;
    skipNext_ = new QCheckBox(window_ == TaskWindow::SpecialEventWizard
                                  ? QStringLiteral("&Skip next regular occurance of task being copied")
                                  : QStringLiteral("&Skip Next Time"));
    warnDate_ = new DateField(datePicture);
    connect(warnDate_, &QLineEdit::editingFinished, this, [this] {
        if (warnDate_->isModified())
            warnDateAccepted();
    });
    warnCalendar_ = new QPushButton(QStringLiteral("..."));
    warnCalendar_->setToolTip(QStringLiteral("Pick the date from a calendar"));
    connect(warnCalendar_, &QPushButton::clicked, this, &TaskForm::pickWarnDate);
    warnTime_ = new TimeField(QStringLiteral("t3"));
    connect(warnTime_, &QLineEdit::editingFinished, this, [this] {
        if (warnTime_->isModified())
            warnDateAccepted();
    });
    for (QPushButton* b : {dateCalendar_, warnCalendar_})
        b->setFixedWidth(b->fontMetrics().horizontalAdvance(QStringLiteral("....")) + 16);

    // Advanced
    alarm_ = new QCheckBox(QStringLiteral("A&larm"));
    connect(alarm_, &QCheckBox::clicked, this, &TaskForm::alarmToggled);
    sound_ = new QLineEdit;
    sound_->setMaxLength(254);
    sound_->installEventFilter(this);
    connect(sound_, &QLineEdit::editingFinished, this, &TaskForm::soundAccepted);
    soundBrowse_ = new QPushButton(wizard() ? QStringLiteral("B&rowse") : QStringLiteral("&Browse"));
    connect(soundBrowse_, &QPushButton::clicked, this, &TaskForm::browseSound);
    play_ = new QPushButton(QStringLiteral("&Play"));
    connect(play_, &QPushButton::clicked, this, &TaskForm::playSound);
    warn_ = new QCheckBox(QStringLiteral("Warn if not r&un on specified date"));
    skipIfMissed_ = new QCheckBox(QStringLiteral("&Skip if not run at specified time (+/- 10 minutes)"));
    userSkip_ = new QCheckBox(QStringLiteral("Before performing task, &give option to skip"));
    disable_ = new QCheckBox(QStringLiteral("&Disable"));
    noHistory_ = new QCheckBox(QStringLiteral("No &History"));

    if (window_ == TaskWindow::FastAdd) {
        // A quick message has no month end and no twice-a-month repeat.
        monthEnd_->hide();
        monthRepeat_[1]->hide();
        monthRepeat_[2]->hide();
    }
}

QWidget* TaskForm::buildPage(Page page) {
    auto* w = new QWidget;
    auto* v = new QVBoxLayout(w);
    const bool descriptionHere =
        (page == Page::Task) ||
        (!hasPage(Page::Task) &&
         ((page == Page::Message) || (page == Page::Command && !hasPage(Page::Message))));
    auto addDescription = [&](QFormLayout* form) {
        if (descriptionHere)
            form->addRow(Buddy(QStringLiteral("&Description:"), description_), description_);
    };
    switch (page) {
    case Page::Task: {
        v->addWidget(taskTypeBox_);
        v->addWidget(scriptNote_);
        auto* form = new QFormLayout;
        if (!hasPage(Page::Category))
            form->addRow(
                Buddy(wizard() ? QStringLiteral("&Category:") : QStringLiteral("Cat&egory:"), category_),
                category_);
        addDescription(form);
        v->addLayout(form);
        break;
    }
    case Page::Category: {
        auto* form = new QFormLayout;
        form->addRow(Buddy(QStringLiteral("&Category:"), category_), category_);
        v->addLayout(form);
        break;
    }
    case Page::Command: {
        auto* form = new QFormLayout;
        addDescription(form);
        auto* commandRow = new QHBoxLayout;
        commandRow->addWidget(command_, 1);
        commandRow->addWidget(commandBrowse_);
        form->addRow(Buddy(wizard() ? QStringLiteral("Co&mmand:") : QStringLiteral("Comma&nd:"), command_),
                     commandRow);
        form->addRow(Buddy(QStringLiteral("Start &in:"), path_), path_);
        v->addLayout(form);
        auto* row = new QHBoxLayout;
        row->addWidget(commandNote_, 1);
        row->addWidget(scripting_);
        row->addWidget(showRuns_);
        v->addLayout(row);
        break;
    }
    case Page::Message: {
        auto* form = new QFormLayout;
        addDescription(form);
        v->addLayout(form);
        v->addWidget(Buddy(QStringLiteral("Message:"), message_));
        v->addWidget(message_, 1);
        break;
    }
    case Page::When: {
        auto* form = new QFormLayout;
        form->addRow(Buddy(QStringLiteral("Sc&hedule Type"), scheduleType_), scheduleType_);
        v->addLayout(form);
        v->addWidget(repetition_);
        auto* grid = new QGridLayout;
        grid->addWidget(Buddy(wizard() ? QStringLiteral("Next &Date to Perform Task:")
                                       : QStringLiteral("&Next Date to Perform Task:"),
                              date_),
                        0, 0);
        grid->addWidget(date_, 0, 1);
        grid->addWidget(dateCalendar_, 0, 2);
        grid->addWidget(timeLabel_, 0, 3);
        grid->addWidget(time_, 0, 4);
        grid->addWidget(new QLabel(QStringLiteral("Date Last Performed:")), 1, 0);
        grid->addWidget(lastPerformed_, 1, 1, 1, 4);
        grid->addWidget(skipNext_, 2, 0, 1, 5);
        grid->addWidget(Buddy(QStringLiteral("Ad&vance Warning Date:"), warnDate_), 3, 0);
        grid->addWidget(warnDate_, 3, 1);
        grid->addWidget(warnCalendar_, 3, 2);
        grid->addWidget(Buddy(QStringLiteral("Time:"), warnTime_), 3, 3);
        grid->addWidget(warnTime_, 3, 4);
        grid->setColumnStretch(5, 1);
        v->addLayout(grid);
        break;
    }
    case Page::Advanced: {
        auto* soundBox = new QGroupBox;
        auto* sv = new QVBoxLayout(soundBox);
        sv->addWidget(alarm_);
        auto* soundRow = new QHBoxLayout;
        soundRow->addWidget(Buddy(QStringLiteral("WA&V File to Play:"), sound_));
        soundRow->addWidget(sound_, 1);
        soundRow->addWidget(soundBrowse_);
        soundRow->addWidget(play_);
        sv->addLayout(soundRow);
        v->addWidget(soundBox);
        for (QCheckBox* b : {warn_, skipIfMissed_, userSkip_, disable_, noHistory_})
            v->addWidget(b);
        break;
    }
    }
    v->addStretch();
    return w;
}

QRadioButton* TaskForm::taskTypeButton(const QString& type) const {
    for (QAbstractButton* b : taskTypes_->buttons())
        if (b->text() == type)
            return static_cast<QRadioButton*>(b);
    return nullptr;
}

QString TaskForm::taskType() const {
    QAbstractButton* b = taskTypes_->checkedButton();
    return b != nullptr ? b->text() : QString();
}

QString TaskForm::monthRepeat() const {
    const int id = monthRepeats_->checkedId();
    return id >= 0 ? MonthRepeats()[id] : QString();
}

void TaskForm::fillCategories(const QString& current) {
    category_->clear();
    category_->addItem(QString());
    Table<Categories> categories(ctx_.store);
    categories.set(Categories::KEYCATEGORY);
    Categories c;
    while (categories.next(c) == Err::None)
        category_->addItem(Clip(c.category));
    const QString wanted = Clip(current);
    int index = category_->findText(wanted, Qt::MatchFixedString);
    if (index < 0) {
        // A category the list does not hold (yet) still shows as the task has it.
        category_->addItem(wanted);
        index = category_->count() - 1;
    }
    category_->setCurrentIndex(index);
}

void TaskForm::load(const Schedule& t) {
    for (QAbstractButton* b : taskTypes_->buttons())
        b->setChecked(b->text() == Clip(t.taskType));
    fillCategories(t.category);
    description_->setText(Clip(t.description));
    command_->setText(Clip(t.command));
    path_->setText(Clip(t.path));
    message_->setPlainText(t.message);
    int type = scheduleType_->findText(Clip(t.scheduleType));
    if (type < 0) {
        scheduleType_->addItem(Clip(t.scheduleType));
        type = scheduleType_->count() - 1;
    }
    scheduleType_->setCurrentIndex(type);
    const quint8 ordinals[] = {t.every1st, t.every2nd, t.every3rd, t.every4th, t.everyLast};
    for (int i = 0; i < 5; ++i)
        ordinals_[i]->setChecked(ordinals[i] != 0);
    monthEnd_->setChecked(t.lastDayOfMonth != 0);
    const quint8 days[] = {t.sunday, t.monday, t.tuesday, t.wednesday, t.thursday, t.friday, t.saturday};
    for (int d = 0; d < 7; ++d)
        weekdays_[d]->setChecked(days[d] != 0);
    every_->setValue(t.every);
    const int unit = everyType_->findText(Clip(t.everyType));
    everyType_->setCurrentIndex(unit >= 0 ? unit : 1);
    const int repeat = static_cast<int>(MonthRepeats().indexOf(Clip(t.monthRepeat)));
    for (int i = 0; i < 3; ++i)
        monthRepeat_[i]->setChecked(i == repeat);
    offset_->setValue(t.offset);
    date_->setDate(t.date);
    date_->setModified(false);
    time_->setTime(t.time);
    time_->setModified(false);
    const QString last = FormatDate(t.lastRunDate, ctx_.settings.dateFormat);
    lastPerformed_->setText(last.isEmpty() ? QString()
                                           : last + QStringLiteral("  ") +
                                                 FormatTimeAs(t.lastRunTime, QStringLiteral("t3")));
    skipNext_->setChecked(t.skipNextTime != 0);
    warnDate_->setDate(t.advanceWarnDate);
    warnDate_->setModified(false);
    warnTime_->setTime(t.advanceWarnTime);
    warnTime_->setModified(false);
    alarm_->setChecked(t.alarm != 0);
    sound_->setText(Clip(t.alarmFile));
    warn_->setChecked(t.warn != 0);
    skipIfMissed_->setChecked(t.skipIfMissed != 0);
    userSkip_->setChecked(t.userSkip != 0);
    disable_->setChecked(t.disabled != 0);
    noHistory_->setChecked(t.noHistory != 0);
    applyVisibility();
}

void TaskForm::collect(Schedule& t) const {
    t.taskType = taskType();
    t.category = category_->currentText();
    t.description = description_->text();
    t.command = command_->text();
    t.path = path_->text();
    t.message = message_->toPlainText();
    t.scheduleType = scheduleType_->currentText();
    t.every1st = Flag(ordinals_[0]);
    t.every2nd = Flag(ordinals_[1]);
    t.every3rd = Flag(ordinals_[2]);
    t.every4th = Flag(ordinals_[3]);
    t.everyLast = Flag(ordinals_[4]);
    t.lastDayOfMonth = Flag(monthEnd_);
    t.sunday = Flag(weekdays_[0]);
    t.monday = Flag(weekdays_[1]);
    t.tuesday = Flag(weekdays_[2]);
    t.wednesday = Flag(weekdays_[3]);
    t.thursday = Flag(weekdays_[4]);
    t.friday = Flag(weekdays_[5]);
    t.saturday = Flag(weekdays_[6]);
    t.every = every_->value();
    t.everyType = everyType_->currentText();
    t.monthRepeat = monthRepeat();
    t.offset = offset_->value();
    t.date = date_->date();
    // The fields show hours and minutes; a time the user has not touched keeps its seconds.
    auto timeOf = [](const TimeField* field, Time kept) {
        return field->text() == FormatTimeAs(kept, QStringLiteral("t3")) ? kept : field->time();
    };
    t.time = ViewForTaskType(t.taskType).time ? timeOf(time_, record_.time) : kEndOfDayTime;
    t.skipNextTime = Flag(skipNext_);
    t.advanceWarnDate = warnDate_->date();
    t.advanceWarnTime = timeOf(warnTime_, record_.advanceWarnTime);
    t.alarm = Flag(alarm_);
    t.alarmFile = sound_->text();
    t.warn = Flag(warn_);
    t.skipIfMissed = Flag(skipIfMissed_);
    t.userSkip = Flag(userSkip_);
    t.disabled = Flag(disable_);
    t.noHistory = Flag(noHistory_);
}

Schedule TaskForm::task() const {
    Schedule t = record_;
    collect(t);
    return t;
}

void TaskForm::applyVisibility() {
    const TaskTypeView tv = ViewForTaskType(taskType());
    for (QWidget* w :
         std::initializer_list<QWidget*>{command_, commandBrowse_, path_, scripting_, commandNote_})
        w->setVisible(tv.command);
    // The runs of the task being changed; a wizard or a new task has none yet.
    showRuns_->setVisible(tv.command && !wizard() && request_ != Request::Insert && record_.id != 0);
    message_->setVisible(tv.message);
    // A script this type never runs is said where the type is chosen, for the script can no
    // longer be reached from the form.
    const bool scriptIdle = hasPage(Page::Task) && !TaskTypeRunsScript(taskType()) && !scriptItems().empty();
    scriptNote_->setText(scriptIdle ? ScriptNotRunNote(taskType()) : QString());
    scriptNote_->setVisible(scriptIdle);
    time_->setVisible(tv.time);
    timeLabel_->setVisible(tv.time);
    for (QWidget* label : {static_cast<QWidget*>(command_), static_cast<QWidget*>(path_)})
        for (QLabel* l : findChildren<QLabel*>())
            if (l->buddy() == label)
                l->setVisible(tv.command);
    for (QLabel* l : findChildren<QLabel*>())
        if (l->buddy() == message_)
            l->setVisible(tv.message);

    Schedule t = record_;
    t.scheduleType = scheduleType_->currentText();
    t.monthRepeat = monthRepeat();
    t.lastDayOfMonth = Flag(monthEnd_);
    const ScheduleTypeView sv = ViewForSchedule(t);
    if (Clip(t.monthRepeat) != monthRepeat()) {
        const int i = static_cast<int>(MonthRepeats().indexOf(Clip(t.monthRepeat)));
        for (int k = 0; k < 3; ++k)
            monthRepeat_[k]->setChecked(k == i);
    }
    repetition_->setTitle(sv.groupCaption);
    for (QCheckBox* b : ordinals_) {
        b->setVisible(sv.ordinals);
        b->setEnabled(sv.daysEnabled);
    }
    monthEnd_->setVisible(sv.monthEnd && window_ != TaskWindow::FastAdd);
    for (QCheckBox* b : weekdays_) {
        b->setVisible(sv.weekdays);
        b->setEnabled(sv.daysEnabled);
    }
    for (QWidget* w : std::initializer_list<QWidget*>{everyLabel_, every_, everyType_})
        w->setVisible(sv.every);
    monthRepeatBox_->setVisible(sv.monthRepeat);
    for (QWidget* w : std::initializer_list<QWidget*>{offsetLabel_, offset_, tips_}) {
        w->setVisible(sv.offset);
        w->setEnabled(sv.offsetEnabled);
    }
    except_->setVisible(sv.except);
    QWidget* page = nothingPage_;
    if (sv.ordinals || sv.weekdays)
        page = daysPage_;
    else if (sv.monthRepeat)
        page = monthlyPage_;
    else if (sv.every)
        page = customPage_;
    repetitionPages_->setCurrentWidget(page);
    // With nothing to repeat ("Once") the group goes, rather than standing empty.
    repetition_->setVisible(page != nothingPage_ || sv.except);
    const bool alarmOn = alarm_->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{sound_, soundBrowse_, play_})
        w->setEnabled(alarmOn);
}

// ------------------------------------------------------------------------- field rules

void TaskForm::taskTypeChanged() {
    if (Clip(taskType()) == kNoTask)
        time_->setTime(kEndOfDayTime);
    applyVisibility();
}

void TaskForm::scheduleTypeChanged() {
    applyVisibility();
}

void TaskForm::monthRepeatChanged() {
    applyVisibility();
}

void TaskForm::dateAccepted() {
    date_->setModified(false);
    bool ok = false;
    date_->date(&ok);
    if (!ok) {
        RejectField(date_);
        return;
    }
    Schedule t = task();
    if (!AcceptTaskDate(t, WarningDefaults::read(ctx_.config.ini())))
        ctx_.dialogs.message(QStringLiteral("Date given does not match schedule type."),
                             QStringLiteral("Warning"), Dialogs::Icon::Exclamation);
    warnDate_->setDate(t.advanceWarnDate);
    warnTime_->setTime(t.advanceWarnTime);
}

void TaskForm::warnDateAccepted() {
    warnDate_->setModified(false);
    warnTime_->setModified(false);
    bool ok = false;
    warnDate_->date(&ok);
    if (!ok) {
        RejectField(warnDate_);
        return;
    }
    Schedule t = task();
    if (AcceptAdvanceWarning(t)) {
        warnDate_->setDate(0);
        warnTime_->setTime(0);
        ctx_.dialogs.message(kWarningAfterTaskText, QStringLiteral("Warning"), Dialogs::Icon::Exclamation);
    }
}

void TaskForm::alarmToggled() {
    if (alarm_->isChecked()) {
        // The full form keeps the last sound in KR98.INI; the wizards in the settings table.
        if (window_ == TaskWindow::UpdateSchedule) {
            if (Clip(sound_->text()).isEmpty())
                sound_->setText(ctx_.config.ini().read(kSettingsSection, QStringLiteral("LastWAVFile")));
            else
                ctx_.config.ini().write(kSettingsSection, QStringLiteral("LastWAVFile"),
                                        Clip(sound_->text()));
        } else {
            soundAccepted();
        }
    }
    applyVisibility();
}

void TaskForm::soundAccepted() {
    const QString file = Clip(sound_->text());
    if (file.isEmpty())
        sound_->setText(Clip(ctx_.config.getConfig(QStringLiteral("LastWAVFile"))));
    else
        ctx_.config.putConfig(QStringLiteral("LastWAVFile"), file);
}

void TaskForm::browseProgram() {
    const QString file =
        ctx_.files.openFile(QStringLiteral("Choose a Program to Start"),
                            QStringLiteral("All Files|*.*|EXEs|*.EXE|COMs|*.COM|BATs|*.BAT|Shortcuts|*.LNK"),
                            Clip(path_->text()));
    if (file.isEmpty())
        return;
    command_->setText(file);
    if (Clip(path_->text()).isEmpty())
        path_->setText(QFileInfo(file).absolutePath());
}

void TaskForm::browseSound() {
    const QString current = QDir::currentPath();
    const QString file =
        ctx_.files.openFile(QStringLiteral("Select WAV File for Alarm"), QStringLiteral("WAV Files|*.WAV"),
                            QFileInfo(sound_->text()).path());
    QDir::setCurrent(current);
    if (file.isEmpty())
        return;
    sound_->setText(file);
    soundAccepted();
}

void TaskForm::playSound() {
    const QString file = Clip(sound_->text());
    if (file.isEmpty()) {
        // Nothing to play: choose a sound instead.
        soundBrowse_->setFocus();
        browseSound();
        return;
    }
    const QFileInfo info(file);
    if (!info.isFile() || !info.isReadable()) {
        // A file that cannot be played: the way to another is pointed out, not taken.
        soundBrowse_->setFocus();
        return;
    }
    ctx_.sound.play(file);
}

void TaskForm::pickDate() {
    const Schedule t = task();
    const Date picked = ctx_.calendar ? ctx_.calendar(t.date, QStringLiteral("Select Date"), QString(), t)
                                      : Calendar({ctx_.dialogs, ctx_.clock, ctx_.positions}, t.date,
                                                 QStringLiteral("Select Date"), QString(), t, this);
    if (picked == t.date)
        return;
    date_->setDate(picked);
    dateAccepted();
}

void TaskForm::pickWarnDate() {
    const Schedule t = task();
    const Date picked =
        ctx_.calendar ? ctx_.calendar(t.advanceWarnDate, QStringLiteral("Select Date"), kCalendarAllDays, t)
                      : Calendar({ctx_.dialogs, ctx_.clock, ctx_.positions}, t.advanceWarnDate,
                                 QStringLiteral("Select Date"), kCalendarAllDays, t, this);
    if (picked == t.advanceWarnDate)
        return;
    warnDate_->setDate(picked);
    warnDateAccepted();
}

void TaskForm::openExceptions() {
    Schedule t = task();
    ScheduleExceptions window({ctx_.store, ctx_.dialogs, ctx_.positions, ctx_.settings.dateFormat}, t, this);
    if (window.exec() != QDialog::Accepted)
        return;
    // The exceptions live in fields the form does not show.
    record_.exceptWeekends = t.exceptWeekends;
    record_.exceptWeekdays = t.exceptWeekdays;
    record_.exceptHolidays = t.exceptHolidays;
    record_.exceptTime = t.exceptTime;
    record_.exceptTimeBegin = t.exceptTimeBegin;
    record_.exceptTimeEnd = t.exceptTimeEnd;
    record_.exceptOther = t.exceptOther;
    record_.shiftType = t.shiftType;
}

void TaskForm::showTips() {
    ctx_.dialogs.message(OffsetTips(), QStringLiteral("Offset Tips"), Dialogs::Icon::Information);
}

bool TaskForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        if (watched == message_) {
            if (message_->toPlainText().isEmpty()) {
                offeredMessage_ = description_->text();
                message_->setPlainText(offeredMessage_);
            }
            // The description offered as the message, whole and selected whenever the field is
            // entered while it holds it: what the user types replaces it.
            if (!offeredMessage_.isEmpty() && message_->toPlainText() == offeredMessage_) {
                message_->selectAll();
                // Entered with a click: the click itself would put the cursor in the text
                // and the selection would be gone.
                selectOnClick_ = static_cast<QFocusEvent*>(event)->reason() == Qt::MouseFocusReason;
            }
        } else if (watched == sound_ && Clip(sound_->text()).isEmpty() && alarm_->isChecked()) {
            soundAccepted();
        }
    } else if (watched == message_->viewport() && selectOnClick_) {
        if (message_->toPlainText() != offeredMessage_) {
            selectOnClick_ = false;
        } else if (event->type() == QEvent::MouseButtonPress ||
                   event->type() == QEvent::MouseButtonDblClick ||
                   event->type() == QEvent::MouseButtonRelease) {
            if (event->type() == QEvent::MouseButtonRelease)
                selectOnClick_ = false;
            message_->selectAll();
            return true;
        }
    } else if (watched == message_ && event->type() == QEvent::FocusOut) {
        selectOnClick_ = false;
    }
    return QDialog::eventFilter(watched, event);
}

void TaskForm::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Cancel)) {
        cancelAsked();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TaskForm::closeEvent(QCloseEvent* event) {
    if (!isVisible()) {
        event->accept();
        return;
    }
    // The user's close request (the close box, Alt+F4) asks; the program closing its windows
    // as it ends (a signal, the session ending) must not wait for an answer: it cancels.
    if (event->spontaneous()) {
        if (!cancelAsked())
            event->ignore();
        return;
    }
    reject();
    event->accept();
}

std::vector<Scripting> TaskForm::scriptItems() const {
    std::vector<Scripting> items;
    Table<Scripting> table(ctx_.store);
    ReadTaskItems(table, record_.id, items);
    return items;
}

void TaskForm::takeSnapshot() {
    snapshot_ = task();
    scriptSnapshot_.clear();
    if (request_ == Request::Insert && ready_)
        scriptSnapshot_ = scriptItems();
}

bool TaskForm::changedByUser() const {
    const Schedule now = task();
    if (!SameRecord(Schedule::decl(), &now, &snapshot_))
        return true;
    // The script items of a changed task are stored as they are made; a new task's go with it.
    if (request_ != Request::Insert || !ready_)
        return false;
    const std::vector<Scripting> items = scriptItems();
    if (items.size() != scriptSnapshot_.size())
        return true;
    for (std::size_t i = 0; i < items.size(); ++i)
        if (!SameRecord(Scripting::decl(), &items[i], &scriptSnapshot_[i]))
            return true;
    return false;
}

bool TaskForm::cancelAsked() {
    if (changedByUser() &&
        ctx_.dialogs.message(QStringLiteral("Discard the changes?"), windowTitle(), Dialogs::Icon::Question,
                             Dialogs::Yes | Dialogs::No, Dialogs::No) != Dialogs::Yes)
        return false;
    reject();
    return true;
}

void TaskForm::revealField(QWidget* field) {
    // Every stacked page (a tab, a wizard page) on the way down to the field comes to the front.
    for (QWidget* w = field; w != nullptr && w != this; w = w->parentWidget())
        if (auto* stack = qobject_cast<QStackedWidget*>(w->parentWidget()))
            stack->setCurrentWidget(w);
}

bool TaskForm::descriptionGiven() {
    if (!Clip(description_->text()).isEmpty())
        return true;
    ctx_.dialogs.message(kNoDescriptionText, QStringLiteral("Warning"), Dialogs::Icon::Exclamation);
    revealField(description_);
    description_->setFocus();
    return false;
}

// ------------------------------------------------------------------------------ saving

bool TaskForm::checkFields() {
    for (DateField* f : {date_, warnDate_}) {
        bool ok = false;
        f->date(&ok);
        if (!ok) {
            RejectField(f);
            return false;
        }
    }
    for (TimeField* f : {time_, warnTime_}) {
        bool ok = false;
        f->time(&ok);
        if (!ok) {
            RejectField(f);
            return false;
        }
    }
    warnDateAccepted();
    const QString repeat = RepeatCountProblem(task());
    if (!repeat.isEmpty()) {
        ctx_.dialogs.message(repeat, QStringLiteral("Invalid Repeat Count"), Dialogs::Icon::Exclamation);
        every_->setFocus();
        every_->selectAll();
        return false;
    }
    return true;
}

void TaskForm::focusFirstField() {
    for (QWidget* w : std::initializer_list<QWidget*>{description_, message_, command_}) {
        if (w->isVisibleTo(this)) {
            w->setFocus();
            return;
        }
    }
}

void TaskForm::accept() {
    if (saving_ || !ready_)
        return;
    if (!descriptionGiven() || !checkFields())
        return;
    Schedule t = task();
    CompleteCommand(t);
    ApplyTaskType(t);
    if (window_ == TaskWindow::FastAdd)
        t.path = kReplyPrefix + ctx_.startDirectory;
    saving_ = true;
    // The exceptions are worked out on the record before it is saved and written with it;
    // what else they write (holidays rolled on, the one-time copy) waits for a saved task.
    const bool holidays = t.exceptHolidays != 0 && t.scheduleType.trimmed() != kOnce;
    const ExceptionOutcome exceptions = PlanExceptions(
        t, holidays ? HolidayCalendar::load(ctx_.store, ctx_.clock.today(), false) : HolidayCalendar(),
        ctx_.dialogs);
    if (request_ == Request::Insert)
        StampTask(t, ctx_.settings.userId, ctx_.clock.today(), ctx_.clock.now());
    const EditOutcome outcome = editor_->save(t);
    saving_ = false;
    switch (outcome) {
    case EditOutcome::Saved:
        if (holidays) // the annual holidays the check met are rolled on as the scheduler does
            HolidayCalendar::load(ctx_.store, ctx_.clock.today(), true);
        if (const StoreError e =
                MakeExceptionCopy(ctx_.store, t, exceptions, window_ == TaskWindow::UpdateSchedule);
            !e.ok())
            warn::ProcessChange(ctx_.dialogs, Schedule::decl().name, e);
        record_ = t;
        afterSave(t);
        QDialog::accept();
        return;
    case EditOutcome::Unsaved:
        QDialog::reject();
        return;
    case EditOutcome::StayFirstField:
        focusFirstField();
        return;
    case EditOutcome::Stay:
        return;
    case EditOutcome::Redisplay:
        // The other station's version; what the user typed stays at hand (Ctrl+').
        ditto_->remember();
        record_ = t;
        load(t);
        takeSnapshot();
        return;
    }
}

void TaskForm::afterSave(const Schedule& saved) {
    if (window_ != TaskWindow::SpecialEventWizard || saved.skipNextTime == 0)
        return;
    // The copy takes the place of the next regular run of the task it was made from.
    Table<Schedule>& tasks = *table_;
    Schedule copy = saved;
    copy.skipNextTime = 0;
    if (tasks.put(copy) != Err::None) {
        ctx_.dialogs.message(QStringLiteral("Could not reset SKIP status ") + tasks.error().describe(),
                             QStringLiteral("Error"), Dialogs::Icon::Exclamation);
        return;
    }
    Schedule original;
    original.id = copiedFrom_;
    if (tasks.get(Schedule::KEYID, original) != Err::None) {
        ctx_.dialogs.message(QStringLiteral("Could not set SKIP status  ID #") +
                                 QString::number(copiedFrom_) + QStringLiteral("Error:") +
                                 tasks.error().describe(),
                             QStringLiteral("Error"), Dialogs::Icon::Exclamation);
        return;
    }
    original.skipNextTime = 1;
    if (tasks.put(original) != Err::None)
        ctx_.dialogs.message(QStringLiteral("Could not change SKIP status ") + tasks.error().describe(),
                             QStringLiteral("Error"), Dialogs::Icon::Exclamation);
}

void TaskForm::reject() {
    if (request_ == Request::Insert && ready_) {
        // The reserved number goes, with any script items given to it meanwhile.
        editor_->cancel(record_);
        DeleteTaskScript(ctx_.store, record_.id);
    }
    QDialog::reject();
}

void TaskForm::done(int result) {
    SaveWindowPosition(*this, objectName(), ctx_.positions);
    QDialog::done(result);
}

bool DeleteTask(Store& store, Schedule& task) {
    Table<Schedule> tasks(store);
    RecordEditor<Schedule> editor(tasks, Request::Delete, task, {});
    return editor.remove(task);
}

// ------------------------------------------------------------------------ UpdateSchedule

UpdateSchedule::UpdateSchedule(TaskFormContext& ctx, Request request, const Schedule& task, Date selectedDay,
                               QWidget* parent)
    : TaskForm(ctx, TaskWindow::UpdateSchedule, request, task, selectedDay, parent) {
    auto* layout = new QVBoxLayout(this);
    tabs_ = new QTabWidget;
    for (Page p : pages()) {
        QWidget* page = buildPage(p);
        tabs_->addTab(page, PageTitle(p));
        if (p == Page::Command)
            commandTab_ = page;
        else if (p == Page::Message)
            messageTab_ = page;
    }
    layout->addWidget(tabs_);
    TurnTabsWithKeys(this, tabs_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* ok = new QPushButton(QStringLiteral("&OK"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &UpdateSchedule::accept);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"));
    connect(cancel, &QPushButton::clicked, this, &UpdateSchedule::reject);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    applyVisibility();
    RestoreWindowPosition(*this, objectName(), ctx_.positions);
}

void UpdateSchedule::revealField(QWidget* field) {
    TaskForm::revealField(field);
    for (int i = 0; i < tabs_->count(); ++i)
        if (tabs_->widget(i)->isAncestorOf(field))
            tabs_->setCurrentIndex(i);
}

void UpdateSchedule::applyVisibility() {
    TaskForm::applyVisibility();
    if (tabs_ == nullptr)
        return;
    const TaskTypeView tv = ViewForTaskType(task().taskType);
    tabs_->setTabVisible(tabs_->indexOf(commandTab_), tv.command);
    tabs_->setTabVisible(tabs_->indexOf(messageTab_), tv.message);
}

// ---------------------------------------------------------------------------- TaskWizard

TaskWizard::TaskWizard(TaskFormContext& ctx, TaskWindow window, Request request, const Schedule& task,
                       Date selectedDay, QWidget* parent)
    : TaskForm(ctx, window, request, task, selectedDay, parent) {
    auto* layout = new QVBoxLayout(this);
    stack_ = new QStackedWidget;
    for (Page p : pages()) {
        auto* box = new QGroupBox(QString(PageTitle(p)).remove(QLatin1Char('&')));
        auto* v = new QVBoxLayout(box);
        QWidget* page = buildPage(p);
        auto* question = new QLabel(PageQuestion(p, page->isAncestorOf(descriptionField())));
        question->setObjectName(QStringLiteral("question"));
        question->setWordWrap(true);
        v->addWidget(question);
        v->addWidget(page);
        stack_->addWidget(box);
    }
    layout->addWidget(stack_, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    back_ = new QPushButton(QStringLiteral("<- &Back"));
    next_ = new QPushButton(QStringLiteral("&Next ->"));
    finish_ = new QPushButton(QStringLiteral("&Finish"));
    auto* cancel = new QPushButton(QStringLiteral("Cancel"));
    next_->setDefault(true);
    connect(back_, &QPushButton::clicked, this, &TaskWizard::goBack);
    connect(next_, &QPushButton::clicked, this, &TaskWizard::goNext);
    connect(finish_, &QPushButton::clicked, this, &TaskWizard::accept);
    connect(cancel, &QPushButton::clicked, this, &TaskWizard::reject);
    for (QPushButton* b : {back_, next_, finish_, cancel})
        buttons->addWidget(b);
    layout->addLayout(buttons);
    showPage(0);
    RestoreWindowPosition(*this, objectName(), ctx_.positions);
}

TaskForm::Page TaskWizard::currentPage() const {
    return pages()[static_cast<std::size_t>(stack_->currentIndex())];
}

bool TaskWizard::skipped(Page page) const {
    if (window() != TaskWindow::AddTaskWizard)
        return false;
    const TaskTypeView tv = ViewForTaskType(task().taskType);
    return (page == Page::Command && !tv.command) || (page == Page::Message && !tv.message);
}

void TaskWizard::goNext() {
    for (int i = stack_->currentIndex() + 1; i < stack_->count(); ++i) {
        if (!skipped(pages()[static_cast<std::size_t>(i)])) {
            showPage(i);
            return;
        }
    }
}

void TaskWizard::goBack() {
    for (int i = stack_->currentIndex() - 1; i >= 0; --i) {
        if (!skipped(pages()[static_cast<std::size_t>(i)])) {
            showPage(i);
            return;
        }
    }
}

void TaskWizard::showPage(int index) {
    stack_->setCurrentIndex(index);
    updateButtons();
    stack_->currentWidget()->setFocus();
    focusNextChild();
}

void TaskWizard::updateButtons() {
    if (stack_ == nullptr)
        return;
    bool before = false;
    bool after = false;
    for (int i = 0; i < stack_->count(); ++i) {
        if (skipped(pages()[static_cast<std::size_t>(i)]))
            continue;
        before = before || i < stack_->currentIndex();
        after = after || i > stack_->currentIndex();
    }
    back_->setEnabled(before);
    next_->setEnabled(after);
    next_->setDefault(after);
    finish_->setDefault(!after);
}

void TaskWizard::revealField(QWidget* field) {
    for (int i = 0; i < stack_->count(); ++i) {
        if (stack_->widget(i)->isAncestorOf(field)) {
            showPage(i);
            return;
        }
    }
}

void TaskWizard::applyVisibility() {
    TaskForm::applyVisibility();
    updateButtons();
}

} // namespace kr
