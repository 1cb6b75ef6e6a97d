#include "scheduler/ui/Holidays.h"

#include "platform/Pictures.h"
#include "platform/qt/Fields.h"
#include "platform/qt/WindowPosition.h"
#include "scheduler/TaskEditing.h"
#include "store/Settings.h"
#include "store/Table.h"
#include "store/Warnings.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace kr {

namespace {

// The holiday form tells a change made meanwhile by another station at length.
RecordEditor<Holidays>::Options LongMessage() {
    RecordEditor<Holidays>::Options o;
    o.longMessage = true;
    return o;
}

} // namespace

// ------------------------------------------------------------------------- UpdateHolidays

UpdateHolidays::UpdateHolidays(HolidayContext& ctx, const Holidays& holiday, bool adding, QWidget* parent)
    : QDialog(parent)
    , ctx_(ctx)
    , holiday_(holiday)
    , adding_(adding)
    , table_(ctx.store)
    , editor_(table_, adding ? Request::Insert : Request::Change, holiday, LongMessage()) {
    setObjectName(QStringLiteral("UpdateHolidays"));
    setWindowTitle(adding ? QStringLiteral("Adding a Holiday") : QStringLiteral("Changing a Holiday"));
    auto* layout = new QVBoxLayout(this);
    auto* box = new QGroupBox(QStringLiteral("Update the Holidays File"));
    auto* form = new QFormLayout(box);
    date_ = new DateField(DatePictureFor(ctx_.dateFormat));
    form->addRow(QStringLiteral("Holiday &Date:"), date_);
    name_ = new QLineEdit;
    name_->setMaxLength(20);
    form->addRow(QStringLiteral("&Holiday:"), name_);
    annual_ = new QCheckBox(QStringLiteral("&Repeat Annually"));
    form->addRow(annual_);
    display(holiday_);
    layout->addWidget(box);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &UpdateHolidays::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &UpdateHolidays::reject);
    layout->addWidget(buttons);
    RestoreWindowPosition(*this, objectName(), ctx_.positions);
}

void UpdateHolidays::accept() {
    bool ok = false;
    const Date d = date_->date(&ok);
    if (!ok || d == 0) {
        RejectField(date_);
        return;
    }
    holiday_.holidayDate = d;
    holiday_.holiday = name_->text();
    holiday_.annual = annual_->isChecked() ? 1 : 0;
    // A change onto another holiday's date is refused as an insert would be.
    if (!adding_ && table_.duplicate(Holidays::KEYHOLIDAYDATE, holiday_)) {
        warn::DuplicateKey(ctx_.dialogs, Holidays::decl().keyLabel(Holidays::KEYHOLIDAYDATE));
        date_->setFocus();
        date_->selectAll();
        return;
    }
    switch (editor_.save(holiday_)) {
    case EditOutcome::Saved:
        QDialog::accept();
        return;
    case EditOutcome::Unsaved:
        QDialog::reject();
        return;
    case EditOutcome::StayFirstField:
        date_->setFocus();
        date_->selectAll();
        return;
    case EditOutcome::Stay:
        return;
    case EditOutcome::Redisplay:
        // Another station's version, to be changed again.
        display(holiday_);
        date_->setFocus();
        return;
    }
}

void UpdateHolidays::display(const Holidays& h) {
    date_->setDate(h.holidayDate);
    name_->setText(h.holiday);
    annual_->setChecked(h.annual != 0);
}

void UpdateHolidays::done(int result) {
    SaveWindowPosition(*this, objectName(), ctx_.positions);
    QDialog::done(result);
}

// ------------------------------------------------------------------------- BrowseHolidays

BrowseHolidays::BrowseHolidays(HolidayContext ctx, QWidget* parent)
    : QDialog(parent)
    , ctx_(std::move(ctx)) {
    setObjectName(QStringLiteral("BrowseHolidays"));
    setWindowTitle(QStringLiteral("Browse Holidays"));
    auto* layout = new QVBoxLayout(this);
    list_ = new QTableWidget(0, 3, this);
    list_->setHorizontalHeaderLabels(
        {QStringLiteral("Holiday Date"), QStringLiteral("Holiday"), QStringLiteral("Annual")});
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->verticalHeader()->hide();
    list_->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(list_);
    auto* row = new QHBoxLayout;
    const std::pair<const char*, void (BrowseHolidays::*)()> buttons[] = {
        {"&Add", &BrowseHolidays::addHoliday},
        {"&Edit", &BrowseHolidays::editHoliday},
        {"&Delete", &BrowseHolidays::deleteHoliday},
    };
    for (const auto& [label, action] : buttons) {
        auto* b = new QPushButton(QString::fromLatin1(label));
        connect(b, &QPushButton::clicked, this, action);
        row->addWidget(b);
    }
    auto* close = new QPushButton(QStringLiteral("Cl&ose"));
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    row->addWidget(close);
    layout->addLayout(row);
    connect(list_, &QTableWidget::cellDoubleClicked, this, [this] { editHoliday(); });
    resize(460, 340);
    RestoreWindowPosition(*this, objectName(), ctx_.positions);
    refresh();
}

void BrowseHolidays::refresh() {
    const int selected = list_->currentRow();
    rows_.clear();
    Table<Holidays> table(ctx_.store);
    Holidays h;
    table.set(Holidays::KEYHOLIDAYDATE);
    Err e;
    while ((e = table.next(h)) == Err::None)
        rows_.push_back(h);
    if (e != Err::NoMoreRecords)
        warn::ViewOpen(ctx_.dialogs, Holidays::decl().name, table.error());
    list_->setRowCount(static_cast<int>(rows_.size()));
    for (int i = 0; i < static_cast<int>(rows_.size()); ++i) {
        const Holidays& r = rows_[static_cast<std::size_t>(i)];
        list_->setItem(i, 0, new QTableWidgetItem(FormatDateAs(r.holidayDate, QStringLiteral("d3"))));
        list_->setItem(i, 1, new QTableWidgetItem(r.holiday));
        list_->setItem(i, 2, new QTableWidgetItem(r.annual ? QStringLiteral("Yes") : QString()));
    }
    if (!rows_.empty())
        list_->selectRow(qBound(0, selected, static_cast<int>(rows_.size()) - 1));
    // Nothing to change or delete in an empty list.
    for (QPushButton* b : findChildren<QPushButton*>())
        if (b->text() == QStringLiteral("&Edit") || b->text() == QStringLiteral("&Delete"))
            b->setEnabled(!rows_.empty());
}

void BrowseHolidays::addHoliday() {
    UpdateHolidays form(ctx_, Holidays{}, true, this);
    if (form.exec() == QDialog::Accepted)
        refresh();
}

bool BrowseHolidays::reloadCurrent(Table<Holidays>& table, Holidays& h) {
    const int row = list_->currentRow();
    if (row < 0 || row >= static_cast<int>(rows_.size()))
        return false;
    if (!ReloadForChange(table, rows_[static_cast<std::size_t>(row)].meta.rowid, h, ctx_.dialogs)) {
        refresh();
        return false;
    }
    return true;
}

void BrowseHolidays::editHoliday() {
    Table<Holidays> table(ctx_.store);
    Holidays h;
    if (!reloadCurrent(table, h))
        return;
    UpdateHolidays form(ctx_, h, false, this);
    form.exec();
    refresh();
}

void BrowseHolidays::deleteHoliday() {
    Table<Holidays> table(ctx_.store);
    Holidays h;
    if (!reloadCurrent(table, h))
        return;
    RecordEditor<Holidays> editor(table, Request::Delete, h, {});
    if (editor.remove(h))
        refresh();
}

void BrowseHolidays::done(int result) {
    SaveWindowPosition(*this, objectName(), ctx_.positions);
    QDialog::done(result);
}

// --------------------------------------------------------------------- ScheduleExceptions

ScheduleExceptions::ScheduleExceptions(HolidayContext ctx, Schedule& task, QWidget* parent)
    : QDialog(parent)
    , ctx_(std::move(ctx))
    , task_(task) {
    setObjectName(QStringLiteral("ScheduleExceptions"));
    setWindowTitle(QStringLiteral("Exceptions"));
    auto* layout = new QVBoxLayout(this);
    weekends_ = new QCheckBox(QStringLiteral("Except &Weekends"));
    weekdays_ = new QCheckBox(QStringLiteral("Except Wee&kdays"));
    holidays_ = new QCheckBox(QStringLiteral("Except &Holidays"));
    time_ = new QCheckBox(QStringLiteral("Except &Time Range"));
    for (auto* b : {weekends_, weekdays_, holidays_})
        layout->addWidget(b);
    auto* define = new QPushButton(QStringLiteral("De&fine Holidays..."));
    layout->addWidget(define, 0, Qt::AlignLeft);
    layout->addWidget(time_);
    auto* range = new QFormLayout;
    begin_ = new TimeField;
    end_ = new TimeField;
    range->addRow(QStringLiteral("&Begin:"), begin_);
    range->addRow(QStringLiteral("&End:"), end_);
    layout->addLayout(range);
    action_ = new QGroupBox(QStringLiteral("Exception Action"));
    auto* actionLayout = new QVBoxLayout(action_);
    actions_ = new QButtonGroup(this);
    for (int i = 0; i < 3; ++i) {
        auto* r = new QRadioButton(ShiftTypes()[i]);
        actions_->addButton(r, i);
        actionLayout->addWidget(r);
    }
    layout->addWidget(action_);
    auto* close = new QPushButton(QStringLiteral("Cl&ose"));
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(close, 0, Qt::AlignRight);

    weekends_->setChecked(task_.exceptWeekends != 0);
    weekdays_->setChecked(task_.exceptWeekdays != 0 && task_.exceptWeekends == 0);
    holidays_->setChecked(task_.exceptHolidays != 0);
    time_->setChecked(task_.exceptTime != 0);
    begin_->setTime(task_.exceptTimeBegin);
    end_->setTime(task_.exceptTimeEnd);
    setAction(task_.shiftType);
    for (auto* b : {weekends_, weekdays_, holidays_, time_})
        connect(b, &QCheckBox::toggled, this, &ScheduleExceptions::updateEnabling);
    connect(define, &QPushButton::clicked, this, [this] {
        BrowseHolidays holidays(ctx_, this);
        holidays.exec();
    });
    updateEnabling();
    RestoreWindowPosition(*this, objectName(), ctx_.positions);
}

void ScheduleExceptions::setAction(const QString& shiftType) {
    const QChar first = shiftType.isEmpty() ? QChar() : shiftType.at(0).toUpper();
    actions_->button(first == QLatin1Char('N') ? 2 : first == QLatin1Char('P') ? 1 : 0)->setChecked(true);
}

void ScheduleExceptions::updateEnabling() {
    weekdays_->setEnabled(!weekends_->isChecked());
    weekends_->setEnabled(!weekdays_->isChecked());
    action_->setEnabled(weekends_->isChecked() || weekdays_->isChecked() || holidays_->isChecked());
    begin_->setEnabled(time_->isChecked());
    end_->setEnabled(time_->isChecked());
}

void ScheduleExceptions::done(int result) {
    bool beginOk = true, endOk = true;
    const Time begin = begin_->time(&beginOk);
    const Time end = end_->time(&endOk);
    if (time_->isChecked() && (!beginOk || !endOk)) {
        RejectField(beginOk ? end_ : begin_);
        return;
    }
    task_.exceptWeekends = weekends_->isChecked() ? 1 : 0;
    task_.exceptWeekdays = weekdays_->isChecked() && !weekends_->isChecked() ? 1 : 0;
    task_.exceptHolidays = holidays_->isChecked() ? 1 : 0;
    task_.exceptTime = time_->isChecked() ? 1 : 0;
    task_.exceptTimeBegin = begin;
    task_.exceptTimeEnd = end == 0 && task_.exceptTime ? kOneDay : end;
    task_.shiftType = ShiftTypes()[qMax(0, actions_->checkedId())];
    SaveWindowPosition(*this, objectName(), ctx_.positions);
    QDialog::done(result);
}

} // namespace kr
