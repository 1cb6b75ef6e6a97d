#include "search/ui/SearchDialogs.h"

#include <QApplication>
#include <QButtonGroup>
#include <QEvent>
#include <QFontMetrics>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace kr {

namespace {

QHBoxLayout* OkCancel(QDialog* dialog) {
    auto* row = new QHBoxLayout;
    row->addStretch();
    auto* ok = new QPushButton(QStringLiteral("OK"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"));
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    row->addWidget(ok);
    row->addWidget(cancel);
    return row;
}

} // namespace

// ------------------------------------------------------------------------- AskMatchType

AskMatchType::AskMatchType(FieldKind kind, int current, QWidget* parent)
    : QDialog(parent)
    , group_(new QButtonGroup(this)) {
    setObjectName(QStringLiteral("AskMatchType"));
    setWindowTitle(QStringLiteral("Match Type for ") + KindName(kind) + QStringLiteral(" Field"));
    auto* layout = new QVBoxLayout(this);
    auto* box = new QGroupBox(QStringLiteral("Select match type"));
    auto* options = new QVBoxLayout(box);
    for (int type : MatchTypesFor(kind)) {
        auto* b = new QRadioButton(MatchTypeText(type));
        // The indicator the field will show, as a tip.
        b->setToolTip(MatchIndicator(type));
        group_->addButton(b, type);
        options->addWidget(b);
    }
    layout->addWidget(box);
    layout->addLayout(OkCancel(this));
    // Wide enough for the whole title beside the title bar's icon and buttons (in bold).
    QFont bold = font();
    bold.setBold(true);
    setMinimumWidth(std::max(sizeHint().width(), QFontMetrics(bold).horizontalAdvance(windowTitle()) + 140));
    choose(Offers(kind, current) ? current : 0);
}

int AskMatchType::chosen() const {
    return group_->checkedId();
}

void AskMatchType::choose(int type) {
    if (QAbstractButton* b = group_->button(type))
        b->setChecked(true);
}

QAbstractButton* AskMatchType::option(int type) const {
    return group_->button(type);
}

int AskMatchType::ask(FieldKind kind, int current, QWidget* parent) {
    AskMatchType dialog(kind, current, parent);
    return dialog.exec() == QDialog::Accepted ? dialog.chosen() : -1;
}

// ------------------------------------------------------------------------ GetUpperLimit

GetUpperLimit::GetUpperLimit(const QString& lower, const QString& upper, Parse parse, QWidget* parent)
    : QDialog(parent)
    , lower_(lower)
    , parse_(std::move(parse))
    , upper_(new QLineEdit)
    , note_(new QLabel) {
    setObjectName(QStringLiteral("GetUpperLimit"));
    setWindowTitle(QStringLiteral("Enter Upper Limit"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    auto* lowerField = new QLineEdit(lower);
    lowerField->setReadOnly(true);
    lowerField->setFocusPolicy(Qt::NoFocus);
    form->addRow(QStringLiteral("Lower Limit:"), lowerField);
    QString start = upper;
    if (parse_) {
        // A number's upper limit starts no lower than the lower limit.
        const std::optional<qint64> lo = parse_(lower);
        const std::optional<qint64> up = parse_(upper);
        if (lo && (!up || *up < *lo))
            start = lower;
    }
    upper_->setText(start);
    upper_->installEventFilter(this);
    form->addRow(QStringLiteral("Upper Limit:"), upper_);
    layout->addLayout(form);
    note_->setWordWrap(true);
    note_->hide();
    layout->addWidget(note_);
    connect(upper_, &QLineEdit::textEdited, note_, &QLabel::hide);
    layout->addLayout(OkCancel(this));
    upper_->setFocus();
}

QString GetUpperLimit::upper() const {
    return upper_->text();
}

QString GetUpperLimit::note() const {
    return note_->isHidden() ? QString() : note_->text();
}

bool GetUpperLimit::readable(const QString& text) const {
    return !parse_ || parse_(text).has_value();
}

bool GetUpperLimit::above(const QString& text) const {
    if (parse_) {
        const std::optional<qint64> lo = parse_(lower_);
        const std::optional<qint64> up = parse_(text);
        return lo && up && *up > *lo;
    }
    return CompareText(FoldText(text), FoldText(lower_)) > 0;
}

void GetUpperLimit::refuse(const QString& why) {
    ++beeps_;
    QApplication::beep();
    note_->setText(why);
    note_->show();
    QTimer::singleShot(0, upper_, [this] {
        upper_->setFocus();
        upper_->selectAll();
    });
}

bool GetUpperLimit::leaveUpper() {
    const QString text = upper_->text();
    if (!readable(text)) {
        refuse(QStringLiteral("The upper limit cannot be read."));
        return false;
    }
    if (above(text)) {
        note_->hide();
        return true;
    }
    refuse(QStringLiteral("The upper limit is not above the lower limit."));
    return false;
}

void GetUpperLimit::accept() {
    // OK takes the upper limit as it stands, even one not above the lower limit (a range
    // that nothing is inside); only a value that cannot be read is no limit at all.
    if (!readable(upper_->text())) {
        refuse(QStringLiteral("The upper limit cannot be read."));
        return;
    }
    QDialog::accept();
}

bool GetUpperLimit::eventFilter(QObject* watched, QEvent* event) {
    // Only a move to another field of this window counts; Cancel must stay reachable.
    if (watched == upper_ && event->type() == QEvent::FocusOut && isVisible()) {
        QWidget* next = QApplication::focusWidget();
        auto* button = qobject_cast<QPushButton*>(next);
        if (next != nullptr && isAncestorOf(next) && button == nullptr)
            leaveUpper();
    }
    return QDialog::eventFilter(watched, event);
}

bool GetUpperLimit::ask(const QString& lower, QString& upper, Parse parse, QWidget* parent) {
    GetUpperLimit dialog(lower, upper, std::move(parse), parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    upper = dialog.upper();
    return true;
}

// ------------------------------------------------------------------------ AskSearchTask

AskSearchTask::AskSearchTask(bool tagsExist, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("AskSearchTask"));
    setWindowTitle(QStringLiteral("Begin Search"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("What do you want to do?")));
    auto* row = new QHBoxLayout;
    const std::pair<const char*, SearchTask> choices[] = {{"&Edit", SearchTask::Edit},
                                                          {"&Select", SearchTask::Select},
                                                          {"&Unselect", SearchTask::Unselect},
                                                          {"&Cancel", SearchTask::Cancel}};
    for (const auto& [text, task] : choices) {
        auto* b = new QPushButton(QString::fromLatin1(text));
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, [this, t = task] {
            task_ = t;
            if (t == SearchTask::Cancel)
                reject();
            else
                accept();
        });
        buttons_[static_cast<int>(task)] = b;
        row->addWidget(b);
    }
    buttons_[static_cast<int>(SearchTask::Edit)]->setDefault(true);
    buttons_[static_cast<int>(SearchTask::Unselect)]->setVisible(tagsExist);
    layout->addLayout(row);
}

QPushButton* AskSearchTask::button(SearchTask task) const {
    return buttons_[static_cast<int>(task)];
}

SearchTask AskSearchTask::ask(bool tagsExist, QWidget* parent) {
    AskSearchTask dialog(tagsExist, parent);
    return dialog.exec() == QDialog::Accepted ? dialog.task() : SearchTask::Cancel;
}

} // namespace kr
