#include "widgets/Calendar.h"

#include "platform/qt/WindowPosition.h"
#include "scheduler/Occurrence.h"

#include <QButtonGroup>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScopedValueRollback>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace kr {

namespace {

const char* const kWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

QToolButton* ArrowButton(Qt::ArrowType arrow, const QString& tip) {
    auto* b = new QToolButton;
    b->setArrowType(arrow);
    b->setToolTip(tip);
    b->setAccessibleName(tip);
    return b;
}

QLineEdit* NumberField(int digits) {
    auto* f = new QLineEdit;
    f->setMaxLength(digits);
    f->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("\\d{0,%1}").arg(digits)), f));
    f->setAlignment(Qt::AlignCenter);
    const QFontMetrics fm(f->font());
    f->setFixedWidth(fm.horizontalAdvance(QString(digits + 2, QLatin1Char('0'))) + 8);
    return f;
}

} // namespace

Date Calendar(const CalendarContext& ctx, Date date, const QString& title, const QString& option,
              const Schedule& task, QWidget* parent) {
    CalendarWindow window(ctx, date, title, option, task, parent);
    if (window.exec() == QDialog::Accepted && window.pickedDate() != 0)
        return window.pickedDate();
    return date;
}

CalendarWindow::CalendarWindow(const CalendarContext& ctx, Date date, const QString& title,
                               const QString& option, const Schedule& task, QWidget* parent)
    : QDialog(parent)
    , ctx_(ctx)
    , task_(task)
    , allDays_(option.trimmed().compare(kCalendarAllDays, Qt::CaseInsensitive) == 0)
    , today_(ctx.clock.today())
    , given_(date != 0 ? date : ctx.clock.today()) {
    setObjectName(QStringLiteral("Calendar"));
    setWindowTitle(title.trimmed().isEmpty() ? QStringLiteral("Select Date") : title);

    // The month and the year, each with its arrows and its entry field.
    monthBack_ = ArrowButton(Qt::LeftArrow, QStringLiteral("Previous Month"));
    monthForward_ = ArrowButton(Qt::RightArrow, QStringLiteral("Next Month"));
    yearBack_ = ArrowButton(Qt::LeftArrow, QStringLiteral("Previous Year"));
    yearForward_ = ArrowButton(Qt::RightArrow, QStringLiteral("Next Year"));
    monthField_ = NumberField(2);
    yearField_ = NumberField(4);
    auto* monthLabel = new QLabel(QStringLiteral("&Month:"));
    monthLabel->setBuddy(monthField_);
    auto* yearLabel = new QLabel(QStringLiteral("&Year:"));
    yearLabel->setBuddy(yearField_);
    auto* nav = new QHBoxLayout;
    nav->setSpacing(4);
    nav->addWidget(monthLabel);
    nav->addWidget(monthBack_);
    nav->addWidget(monthField_);
    nav->addWidget(monthForward_);
    nav->addStretch(1);
    nav->addSpacing(12);
    nav->addWidget(yearLabel);
    nav->addWidget(yearBack_);
    nav->addWidget(yearField_);
    nav->addWidget(yearForward_);

    heading_ = new QLabel;
    heading_->setAlignment(Qt::AlignCenter);
    QFont headingFont = heading_->font();
    headingFont.setBold(true);
    if (headingFont.pointSizeF() > 0)
        headingFont.setPointSizeF(headingFont.pointSizeF() * 1.2);
    heading_->setFont(headingFont);

    // Six weeks of day buttons under the weekday names.
    auto* grid = new QGridLayout;
    grid->setSpacing(3);
    const QFontMetrics fm(font());
    const QSize daySize(fm.horizontalAdvance(QStringLiteral("Wed")) + 20, fm.height() + 14);
    for (int c = 0; c < 7; ++c) {
        auto* name = new QLabel(QString::fromLatin1(kWeekdays[c]));
        name->setAlignment(Qt::AlignCenter);
        grid->addWidget(name, 0, c);
    }
    group_ = new QButtonGroup(this);
    group_->setExclusive(true);
    for (int i = 0; i < kDayButtons; ++i) {
        auto* b = new QPushButton;
        b->setCheckable(true);
        b->setAutoDefault(false);
        b->setFixedSize(daySize);
        QSizePolicy policy = b->sizePolicy();
        policy.setRetainSizeWhenHidden(true); // short months keep the window's size
        b->setSizePolicy(policy);
        b->installEventFilter(this);
        group_->addButton(b, i);
        grid->addWidget(b, 1 + i / 7, i % 7);
        days_[static_cast<std::size_t>(i)] = b;
    }

    close_ = new QPushButton(QStringLiteral("Cl&ose"));
    close_->setAutoDefault(false);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(close_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(nav);
    layout->addSpacing(4);
    layout->addWidget(heading_);
    layout->addLayout(grid);
    layout->addSpacing(4);
    layout->addLayout(bottom);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    setTabOrder(monthBack_, monthField_);
    setTabOrder(monthField_, monthForward_);
    setTabOrder(monthForward_, yearBack_);
    setTabOrder(yearBack_, yearField_);
    setTabOrder(yearField_, yearForward_);
    setTabOrder(yearForward_, days_[0]);
    for (int i = 1; i < kDayButtons; ++i)
        setTabOrder(days_[static_cast<std::size_t>(i - 1)], days_[static_cast<std::size_t>(i)]);
    setTabOrder(days_[kDayButtons - 1], close_);

    connect(monthBack_, &QToolButton::clicked, this, [this] { showMonth(year_, month_ - 1); });
    connect(monthForward_, &QToolButton::clicked, this, [this] { showMonth(year_, month_ + 1); });
    connect(yearBack_, &QToolButton::clicked, this, [this] { showMonth(year_ - 1, month_); });
    connect(yearForward_, &QToolButton::clicked, this, [this] { showMonth(year_ + 1, month_); });
    connect(monthField_, &QLineEdit::editingFinished, this, &CalendarWindow::monthEntered);
    connect(yearField_, &QLineEdit::editingFinished, this, &CalendarWindow::yearEntered);
    connect(group_, &QButtonGroup::idClicked, this, &CalendarWindow::pickDay);
    connect(close_, &QPushButton::clicked, this, &QDialog::reject);

    const Ymd shown = YmdFromDate(given_);
    year_ = qBound(kFirstYear, shown.year, kLastYear);
    month_ = shown.month;
    redraw();
    if (tabStop_ >= 0)
        days_[static_cast<std::size_t>(tabStop_)]->setFocus();
    else
        monthField_->setFocus();
    RestoreWindowPosition(*this, objectName(), ctx_.positions);
}

QPushButton* CalendarWindow::buttonForDay(int day) const {
    const int index = firstDayIndex() + day - 1;
    if (day < 1 || day > DaysInMonth(year_, month_))
        return nullptr;
    return days_[static_cast<std::size_t>(index)];
}

int CalendarWindow::firstDayIndex() const {
    return Weekday(DateFromYmd(year_, month_, 1));
}

void CalendarWindow::showMonth(int year, int month) {
    while (month < 1) {
        month += 12;
        --year;
    }
    while (month > 12) {
        month -= 12;
        ++year;
    }
    if (year > kLastYear)
        year = kFirstYear;
    else if (year < kFirstYear)
        year = kLastYear;
    year_ = year;
    month_ = month;
    redraw();
}

void CalendarWindow::redraw() {
    QWidget* focused = focusWidget();
    const bool focusInGrid = std::find(days_.begin(), days_.end(), focused) != days_.end();

    monthField_->setText(QString::number(month_));
    yearField_->setText(QString::number(year_));
    heading_->setText(QLocale::c().standaloneMonthName(month_) + QLatin1Char(' ') + QString::number(year_));

    const int first = firstDayIndex();
    const int count = DaysInMonth(year_, month_);
    const Date firstDate = DateFromYmd(year_, month_, 1);
    for (int i = 0; i < kDayButtons; ++i) {
        QPushButton* b = days_[static_cast<std::size_t>(i)];
        const int day = i - first + 1;
        const bool inMonth = day >= 1 && day <= count;
        const Date d = firstDate + day - 1;
        b->setText(inMonth ? QString::number(day) : QString());
        b->setVisible(inMonth);
        b->setEnabled(inMonth && (allDays_ || DateMatchesSchedule(task_, d)));
        QFont f = b->font();
        f.setBold(inMonth && d == today_);
        b->setFont(f);
        b->setToolTip(inMonth && d == today_ ? QStringLiteral("Today") : QString());
    }
    markGivenDate();

    // The day Tab reaches: the date given, else today, else the first day that can be picked.
    int stop = -1;
    for (const Date d : {given_, today_}) {
        const Ymd ymd = YmdFromDate(d);
        if (ymd.year == year_ && ymd.month == month_ &&
            days_[static_cast<std::size_t>(first + ymd.day - 1)]->isEnabled()) {
            stop = first + ymd.day - 1;
            break;
        }
    }
    for (int i = first; stop < 0 && i < first + count; ++i)
        if (days_[static_cast<std::size_t>(i)]->isEnabled())
            stop = i;
    makeTabStop(stop);
    if (focusInGrid) {
        if (stop >= 0)
            days_[static_cast<std::size_t>(stop)]->setFocus(Qt::OtherFocusReason);
        else
            close_->setFocus(Qt::OtherFocusReason);
    }
}

void CalendarWindow::markGivenDate() {
    const Ymd given = YmdFromDate(given_);
    if (given.year == year_ && given.month == month_) {
        days_[static_cast<std::size_t>(firstDayIndex() + given.day - 1)]->setChecked(true);
        return;
    }
    if (QAbstractButton* checked = group_->checkedButton()) {
        group_->setExclusive(false);
        checked->setChecked(false);
        group_->setExclusive(true);
    }
}

void CalendarWindow::makeTabStop(int index) {
    tabStop_ = index;
    for (int i = 0; i < kDayButtons; ++i)
        days_[static_cast<std::size_t>(i)]->setFocusPolicy(i == index ? Qt::StrongFocus : Qt::ClickFocus);
}

void CalendarWindow::stepFocus(int from, int step) {
    for (int i = from + step; i >= 0 && i < kDayButtons; i += step) {
        QPushButton* b = days_[static_cast<std::size_t>(i)];
        if (!b->isHidden() && b->isEnabled()) {
            makeTabStop(i);
            setAttribute(Qt::WA_KeyboardFocusChange); // show the focus frame, as Tab does
            b->setFocus(Qt::TabFocusReason);
            return;
        }
    }
}

void CalendarWindow::monthEntered() {
    if (closing_ || validating_)
        return;
    QScopedValueRollback<bool> guard(validating_, true);
    bool ok = false;
    const int month = monthField_->text().trimmed().toInt(&ok);
    if (ok && month == month_) {
        monthField_->setText(QString::number(month_));
        return;
    }
    if (!ok || month < 1 || month > 12) {
        ctx_.dialogs.message(QStringLiteral("Month should be between 1 to 12"),
                             QStringLiteral("Error Message"), Dialogs::Icon::Exclamation);
        monthField_->setText(QString::number(month_));
        monthField_->setFocus(Qt::OtherFocusReason);
        monthField_->selectAll();
        return;
    }
    showMonth(year_, month);
}

void CalendarWindow::yearEntered() {
    if (closing_ || validating_)
        return;
    QScopedValueRollback<bool> guard(validating_, true);
    bool ok = false;
    const int year = yearField_->text().trimmed().toInt(&ok);
    if (ok && year == year_) {
        yearField_->setText(QString::number(year_));
        return;
    }
    if (!ok || year < kFirstYear || year > kLastYear) {
        ctx_.dialogs.message(QStringLiteral("Year should be between ") + QString::number(kFirstYear) +
                                 QStringLiteral(" to ") + QString::number(kLastYear),
                             QStringLiteral("Error Message"), Dialogs::Icon::Exclamation);
        yearField_->setText(QString::number(year_));
        yearField_->setFocus(Qt::OtherFocusReason);
        yearField_->selectAll();
        return;
    }
    showMonth(year, month_);
}

void CalendarWindow::pickDay(int index) {
    if (closing_)
        return;
    const int day = index - firstDayIndex() + 1;
    if (day < 1 || day > DaysInMonth(year_, month_))
        return;
    const Date date = DateFromYmd(year_, month_, day);
    if (date < today_ &&
        ctx_.dialogs.message(
            QStringLiteral("You have selected a date earlier than today.  Do you wish to use this date?"),
            QStringLiteral("Confirm"), Dialogs::Icon::Question, Dialogs::Yes | Dialogs::No,
            Dialogs::No) != Dialogs::Yes) {
        markGivenDate(); // the check mark goes back to where it was
        return;
    }
    picked_ = date;
    accept();
}

bool CalendarWindow::eventFilter(QObject* watched, QEvent* event) {
    const auto it = std::find(days_.begin(), days_.end(), watched);
    if (it == days_.end())
        return QDialog::eventFilter(watched, event);
    const int index = static_cast<int>(it - days_.begin());
    if (event->type() == QEvent::FocusIn) {
        makeTabStop(index);
    } else if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() & ~Qt::KeypadModifier)
            return false;
        switch (key->key()) {
        case Qt::Key_Left:
            stepFocus(index, -1);
            return true;
        case Qt::Key_Right:
            stepFocus(index, 1);
            return true;
        case Qt::Key_Up:
            stepFocus(index, -7);
            return true;
        case Qt::Key_Down:
            stepFocus(index, 7);
            return true;
        default:
            break;
        }
    }
    return false;
}

void CalendarWindow::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Enter picks the focused day (or presses Close); in an entry field it only takes the
        // value, which the field has already reported.
        if (auto* b = qobject_cast<QPushButton*>(focusWidget()); b && b->isEnabled())
            b->click();
        return;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown: {
        const int step = event->key() == Qt::Key_PageUp ? -1 : 1;
        if (event->modifiers() & Qt::ControlModifier)
            showMonth(year_ + step, month_);
        else
            showMonth(year_, month_ + step);
        return;
    }
    default:
        QDialog::keyPressEvent(event);
    }
}

void CalendarWindow::done(int result) {
    closing_ = true;
    SaveWindowPosition(*this, objectName(), ctx_.positions);
    QDialog::done(result);
}

} // namespace kr
