#include "search/ui/SearchSchedule.h"

#include "platform/Pictures.h"
#include "platform/Text.h"
#include "platform/qt/Fields.h"
#include "platform/qt/QtProgress.h"
#include "scheduler/TaskEditing.h"
#include "store/Warnings.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

namespace kr {

namespace {

const QString kCaption = QStringLiteral("Search the Schedule");

const FieldDecl& Decl(int field) {
    return Schedule::fieldDecls()[static_cast<std::size_t>(field)];
}

bool IsDate(int field) {
    return field == Schedule::DATE || field == Schedule::ADVANCEWARNDATE;
}

bool IsTime(int field) {
    return field == Schedule::TIME || field == Schedule::ADVANCEWARNTIME;
}

QComboBox* Choices(const QStringList& items) {
    auto* c = new QComboBox;
    c->addItem(QString());
    c->addItems(items);
    c->setMinimumContentsLength(20);
    return c;
}

QStringList CategoryNames(Store& store) {
    QStringList names;
    Table<Categories> categories(store);
    if (categories.set(Categories::KEYCATEGORY) != Err::None)
        return names;
    std::vector<Categories> batch;
    while (categories.nextBatch(batch, 200) == Err::None)
        for (const Categories& c : batch)
            names << Clip(c.category);
    return names;
}

} // namespace

SearchSchedule::SearchSchedule(SearchContext ctx, QWidget* parent)
    : QDialog(parent)
    , ctx_(std::move(ctx))
    , tags_(ctx_.store, ctx_.settings.currentUser(), ctx_.progress) {
    setObjectName(QStringLiteral("SearchSchedule"));
    setWindowTitle(kCaption);
    if (ctx_.progress == nullptr) {
        ownProgress_ = std::make_unique<QtProgress>(&ctx_.dialogs, this);
        tags_.setProgress(ownProgress_.get());
    }
    progress_ = ctx_.progress != nullptr ? ctx_.progress : ownProgress_.get();
    build();
    for (const Entry& e : entries_)
        watch(e);
    timer_.setInterval(0);
    connect(&timer_, &QTimer::timeout, this, &SearchSchedule::tick);
    focusWatch_ = connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (now == nullptr)
            return;
        for (const Entry& e : entries_)
            if (e.widget == now || e.widget->isAncestorOf(now))
                selected_ = e.field;
    });
}

SearchSchedule::~SearchSchedule() {
    disconnect(focusWatch_);
}

QWidget* SearchSchedule::makeWidget(int field) {
    const FieldKind kind = KindOf(field);
    const QString datePicture = DatePictureFor(ctx_.settings.dateFormat);
    switch (kind) {
    case FieldKind::CHECK:
        return new QCheckBox;
    case FieldKind::OPTION:
        if (field == Schedule::TASKTYPE)
            return Choices(QStringList(TaskTypes())); // "None" among them
        if (field == Schedule::CATEGORY)
            return Choices(CategoryNames(ctx_.store));
        if (field == Schedule::SCHEDULETYPE)
            return Choices(ScheduleTypes());
        return Choices(EveryTypes());
    case FieldKind::TEXT: {
        auto* t = new QPlainTextEdit;
        t->setTabChangesFocus(true);
        return t;
    }
    default:
        break;
    }
    if (IsDate(field))
        return new DateField(datePicture);
    if (IsTime(field))
        return new TimeField;
    if (field == Schedule::EVERY) {
        auto* s = new QSpinBox;
        s->setRange(0, 999999);
        return s;
    }
    auto* line = new QLineEdit;
    line->setMaxLength(Decl(field).maxChars());
    return line;
}

QWidget* SearchSchedule::row(int field, const QString& label) {
    auto* w = new QWidget;
    auto* h = new QHBoxLayout(w);
    h->setContentsMargins(0, 0, 0, 0);
    QWidget* input = makeWidget(field);
    if (auto* check = qobject_cast<QCheckBox*>(input))
        check->setText(label);
    else if (!label.isEmpty()) {
        auto* l = new QLabel(label);
        l->setMinimumWidth(fontMetrics().averageCharWidth() * 22);
        l->setBuddy(input);
        h->addWidget(l);
    }
    auto* ind = new QLabel;
    ind->setObjectName(QStringLiteral("indicator"));
    ind->setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("MM")));
    ind->setAlignment(Qt::AlignCenter);
    h->addWidget(input, 1);
    if (auto* date = qobject_cast<DateField*>(input); date != nullptr && ctx_.pickDate) {
        auto* pick = new QPushButton(QStringLiteral("..."));
        pick->setAutoDefault(false);
        pick->setToolTip(QStringLiteral("Pick the date from a calendar"));
        pick->setFixedWidth(pick->fontMetrics().horizontalAdvance(QStringLiteral("....")) + 16);
        connect(pick, &QPushButton::clicked, this, [this, date, field] {
            selectField(field);
            bool ok = true;
            const Date current = date->date(&ok);
            const Date picked = ctx_.pickDate(ok ? current : 0, this);
            if (picked != current)
                date->setDate(picked);
        });
        h->addWidget(pick);
    }
    h->addWidget(ind);
    entries_.push_back({field, input, ind, 0, 0, {}});
    return w;
}

void SearchSchedule::build() {
    using S = Schedule;
    auto* layout = new QVBoxLayout(this);
    tabs_ = new QTabWidget;
    auto page = [this](const QString& title, std::initializer_list<QWidget*> rows) {
        auto* p = new QWidget;
        auto* v = new QVBoxLayout(p);
        for (QWidget* r : rows)
            v->addWidget(r);
        v->addStretch();
        tabs_->addTab(p, title);
    };
    page(QStringLiteral("&Task"),
         {row(S::TASKTYPE, QStringLiteral("Task Type:")), row(S::CATEGORY, QStringLiteral("Category:")),
          row(S::DESCRIPTION, QStringLiteral("Description:"))});
    page(QStringLiteral("&Command"),
         {row(S::COMMAND, QStringLiteral("Command:")), row(S::PATH, QStringLiteral("Path:"))});
    page(QStringLiteral("&Message"), {row(S::MESSAGE, QStringLiteral("Message:"))});

    // When: the repetition's flags side by side, as on the task form.
    auto* when = new QWidget;
    auto* wv = new QVBoxLayout(when);
    for (auto [f, label] :
         {std::pair{S::SCHEDULETYPE, "Schedule Type:"}, std::pair{S::DATE, "Date:"},
          std::pair{S::TIME, "Time:"}, std::pair{S::EVERY, "Every:"}, std::pair{S::EVERYTYPE, "Every Type:"}})
        wv->addWidget(row(f, QString::fromLatin1(label)));
    auto* flags = new QGridLayout;
    const std::pair<int, const char*> ordinals[] = {{S::EVERY1ST, "1st"},
                                                    {S::EVERY2ND, "2nd"},
                                                    {S::EVERY3RD, "3rd"},
                                                    {S::EVERY4TH, "4th"},
                                                    {S::EVERYLAST, "Last"}};
    int col = 0;
    for (const auto& [f, label] : ordinals)
        flags->addWidget(row(f, QString::fromLatin1(label)), 0, col++);
    const std::pair<int, const char*> days[] = {
        {S::SUNDAY, "Sun"},   {S::MONDAY, "Mon"}, {S::TUESDAY, "Tue"}, {S::WEDNESDAY, "Wed"},
        {S::THURSDAY, "Thu"}, {S::FRIDAY, "Fri"}, {S::SATURDAY, "Sat"}};
    col = 0;
    for (const auto& [f, label] : days)
        flags->addWidget(row(f, QString::fromLatin1(label)), 1, col++);
    wv->addLayout(flags);
    wv->addStretch();
    tabs_->addTab(when, QStringLiteral("&When"));

    page(QStringLiteral("&Advanced"),
         {row(S::ALARM, QStringLiteral("Alarm")), row(S::ALARMFILE, QStringLiteral("Alarm File:")),
          row(S::ADVANCEWARNDATE, QStringLiteral("Advance Warning Date:")),
          row(S::ADVANCEWARNTIME, QStringLiteral("Advance Warning Time:")),
          row(S::WARN, QStringLiteral("Warn if not run on specified date")),
          row(S::USERSKIP, QStringLiteral("Before performing task, give option to skip")),
          row(S::SKIPNEXTTIME, QStringLiteral("Skip next time")),
          row(S::DISABLED, QStringLiteral("Disable"))});
    layout->addWidget(tabs_);

    auto* buttons = new QHBoxLayout;
    searchType_ = new QPushButton(QStringLiteral("&Search Type"));
    searchType_->setToolTip(QStringLiteral("Comparison Operator (Query Help)"));
    searchType_->setAutoDefault(false);
    searchType_->setFocusPolicy(Qt::TabFocus);
    connect(searchType_, &QPushButton::clicked, this,
            [this] { showingMatch_ ? editThis() : chooseMatchType(); });
    begin_ = new QPushButton(QStringLiteral("&Begin Search"));
    begin_->setAutoDefault(false);
    connect(begin_, &QPushButton::clicked, this, [this] { showingMatch_ ? findNext() : beginSearch(); });
    auto* close = new QPushButton(QStringLiteral("Cl&ose"));
    close->setAutoDefault(false);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(searchType_);
    buttons->addWidget(begin_);
    buttons->addStretch();
    buttons->addWidget(close);
    layout->addLayout(buttons);
    resize(620, 440);
}

int SearchSchedule::entryOf(const QWidget* widget) const {
    for (const Entry& e : entries_)
        if (e.widget == widget)
            return e.field;
    return -1;
}

SearchSchedule::Entry* SearchSchedule::entry(int field) {
    for (Entry& e : entries_)
        if (e.field == field)
            return &e;
    return nullptr;
}

const SearchSchedule::Entry* SearchSchedule::entry(int field) const {
    for (const Entry& e : entries_)
        if (e.field == field)
            return &e;
    return nullptr;
}

QWidget* SearchSchedule::field(int field) const {
    const Entry* e = entry(field);
    return e != nullptr ? e->widget : nullptr;
}

QLabel* SearchSchedule::indicator(int field) const {
    const Entry* e = entry(field);
    return e != nullptr ? e->indicator : nullptr;
}

int SearchSchedule::matchType(int field) const {
    const Entry* e = entry(field);
    return e != nullptr ? e->type : 0;
}

void SearchSchedule::selectField(int field) {
    if (const Entry* e = entry(field)) {
        selected_ = field;
        for (int i = 0; i < tabs_->count(); ++i)
            if (tabs_->widget(i)->isAncestorOf(e->widget))
                tabs_->setCurrentIndex(i);
        e->widget->setFocus();
    }
}

void SearchSchedule::load(const Schedule& record) {
    const QScopedValueRollback<bool> loading(loading_, true);
    for (Entry& e : entries_) {
        const Value v = Decl(e.field).get(&record);
        if (auto* check = qobject_cast<QCheckBox*>(e.widget))
            check->setChecked(std::get<qint64>(v) != 0);
        else if (auto* combo = qobject_cast<QComboBox*>(e.widget)) {
            const QString text = Clip(std::get<QString>(v));
            int i = combo->findText(text, Qt::MatchFixedString);
            if (i < 0) {
                combo->addItem(text);
                i = combo->count() - 1;
            }
            combo->setCurrentIndex(i);
        } else if (auto* memo = qobject_cast<QPlainTextEdit*>(e.widget))
            memo->setPlainText(std::get<QString>(v));
        else if (auto* date = qobject_cast<DateField*>(e.widget))
            date->setDate(static_cast<Date>(std::get<qint64>(v)));
        else if (auto* time = qobject_cast<TimeField*>(e.widget))
            time->setTime(static_cast<Time>(std::get<qint64>(v)));
        else if (auto* spin = qobject_cast<QSpinBox*>(e.widget))
            spin->setValue(static_cast<int>(std::get<qint64>(v)));
        else if (auto* line = qobject_cast<QLineEdit*>(e.widget))
            line->setText(Clip(std::get<QString>(v)));
    }
}

void SearchSchedule::read(Schedule& record) const {
    for (const Entry& e : entries_) {
        const FieldDecl& d = Decl(e.field);
        if (auto* check = qobject_cast<QCheckBox*>(e.widget))
            d.set(&record, qint64{check->isChecked() ? 1 : 0});
        else if (auto* combo = qobject_cast<QComboBox*>(e.widget))
            d.set(&record, combo->currentText());
        else if (auto* memo = qobject_cast<QPlainTextEdit*>(e.widget))
            d.set(&record, memo->toPlainText());
        else if (auto* date = qobject_cast<DateField*>(e.widget))
            d.set(&record, qint64{date->date()});
        else if (auto* time = qobject_cast<TimeField*>(e.widget))
            d.set(&record, qint64{time->time()});
        else if (auto* spin = qobject_cast<QSpinBox*>(e.widget))
            d.set(&record, qint64{spin->value()});
        else if (auto* line = qobject_cast<QLineEdit*>(e.widget))
            d.set(&record, line->text());
    }
}

const Schedule& SearchSchedule::example() {
    if (!showingMatch_)
        read(example_);
    return example_;
}

QString SearchSchedule::display(int field, const Schedule& record) const {
    const Value v = Decl(field).get(&record);
    if (const auto* s = std::get_if<QString>(&v))
        return Clip(*s);
    const qint64 n = std::get<qint64>(v);
    if (IsDate(field))
        return FormatDateAs(static_cast<Date>(n), DatePictureFor(ctx_.settings.dateFormat));
    if (IsTime(field))
        return FormatTimeAs(static_cast<Time>(n), QStringLiteral("t3"));
    return QString::number(n);
}

GetUpperLimit::Parse SearchSchedule::parser(int field) const {
    if (Decl(field).isText())
        return {};
    if (IsDate(field)) {
        const QString picture = DatePictureFor(ctx_.settings.dateFormat);
        return [picture](const QString& text) -> std::optional<qint64> {
            Date d = 0;
            if (text.trimmed().isEmpty())
                return 0;
            if (!ParseDate(text, picture, &d))
                return std::nullopt;
            return d;
        };
    }
    if (IsTime(field))
        return [](const QString& text) -> std::optional<qint64> {
            Time t = 0;
            if (text.trimmed().isEmpty())
                return 0;
            if (!ParseTime(text, QStringLiteral("t3"), &t))
                return std::nullopt;
            return t;
        };
    return [](const QString& text) -> std::optional<qint64> {
        bool ok = false;
        const qint64 n = text.trimmed().toLongLong(&ok);
        if (!ok)
            return text.trimmed().isEmpty() ? std::optional<qint64>(0) : std::nullopt;
        return n;
    };
}

void SearchSchedule::showIndicator(Entry& e) {
    e.indicator->setText(MatchIndicator(e.type));
    e.indicator->setToolTip(e.type != 0 ? MatchTypeText(e.type) : QString());
}

void SearchSchedule::erase(Entry& e) {
    const Schedule empty;
    Schedule current;
    read(current);
    const FieldDecl& d = Decl(e.field);
    d.set(&current, d.get(&empty));
    load(current);
    e.limit = 0;
    e.upperText.clear();
}

void SearchSchedule::watch(const Entry& e) {
    const int field = e.field;
    auto changed = [this, field] { exampleChanged(field); };
    if (auto* check = qobject_cast<QCheckBox*>(e.widget))
        connect(check, &QCheckBox::toggled, this, changed);
    else if (auto* combo = qobject_cast<QComboBox*>(e.widget))
        connect(combo, &QComboBox::currentTextChanged, this, changed);
    else if (auto* memo = qobject_cast<QPlainTextEdit*>(e.widget))
        connect(memo, &QPlainTextEdit::textChanged, this, changed);
    else if (auto* spin = qobject_cast<QSpinBox*>(e.widget))
        connect(spin, &QSpinBox::valueChanged, this, changed);
    else if (auto* line = qobject_cast<QLineEdit*>(e.widget))
        connect(line, &QLineEdit::textChanged, this, changed);
}

bool SearchSchedule::blank(const Entry& e) const {
    if (auto* check = qobject_cast<QCheckBox*>(e.widget))
        return !check->isChecked();
    if (auto* combo = qobject_cast<QComboBox*>(e.widget))
        return combo->currentText().trimmed().isEmpty();
    if (auto* memo = qobject_cast<QPlainTextEdit*>(e.widget))
        return memo->toPlainText().trimmed().isEmpty();
    if (auto* spin = qobject_cast<QSpinBox*>(e.widget))
        return spin->value() == 0;
    if (auto* line = qobject_cast<QLineEdit*>(e.widget))
        return line->text().trimmed().isEmpty();
    return true;
}

void SearchSchedule::exampleChanged(int field) {
    // A match on show is not an example, nor is what the window puts in its fields.
    if (loading_ || showingMatch_ || searching())
        return;
    Entry* e = entry(field);
    if (e == nullptr)
        return;
    // An example typed into a field that is not searched would be left out without a word:
    // the field takes the match type an example asks for, and its indicator shows it.
    if (e->type == Ignore && !blank(*e)) {
        e->type = TypedExampleMatchType(KindOf(field));
        e->typed = true;
        showIndicator(*e);
    } else if (e->typed && blank(*e)) {
        e->type = Ignore;
        e->typed = false;
        showIndicator(*e);
    }
}

void SearchSchedule::chooseMatchType() {
    Entry* e = entry(selected_);
    if (e == nullptr) {
        ctx_.dialogs.message(QStringLiteral("You must select a data field first!"), kCaption,
                             Dialogs::Icon::Exclamation);
        return;
    }
    const FieldKind kind = KindOf(e->field);
    const int type =
        ctx_.askMatchType ? ctx_.askMatchType(kind, e->type) : AskMatchType::ask(kind, e->type, this);
    if (type < 0)
        return;
    if (type == Ignore) {
        e->type = Ignore;
        e->typed = false;
        erase(*e);
    } else if (type == InsideRange || type == OutsideRange) {
        const Schedule& current = example();
        const GetUpperLimit::Parse parse = parser(e->field);
        QString upper;
        if (parse) {
            Schedule limit;
            Decl(e->field).set(&limit, qint64{e->limit});
            upper = display(e->field, limit);
        } else {
            upper = e->upperText;
        }
        const QString lower = display(e->field, current);
        const bool ok = ctx_.getUpperLimit ? ctx_.getUpperLimit(lower, upper, parse)
                                           : GetUpperLimit::ask(lower, upper, parse, this);
        if (!ok)
            return;
        if (parse) {
            const std::optional<qint64> n = parse(upper);
            e->limit = n.value_or(0);
        } else {
            e->upperText = upper;
        }
        e->type = type;
    } else if (type == BeginsWith && kind == FieldKind::PICTURE) {
        e->limit = BeginsWithDivisor(std::get<qint64>(Decl(e->field).get(&example())));
        e->type = type;
    } else {
        e->type = type;
    }
    e->typed = false;
    showIndicator(*e);
}

QLineEdit* SearchSchedule::unreadable() const {
    for (const Entry& e : entries_) {
        bool ok = true;
        if (auto* date = qobject_cast<DateField*>(e.widget))
            date->date(&ok);
        else if (auto* time = qobject_cast<TimeField*>(e.widget))
            time->time(&ok);
        auto* line = qobject_cast<QLineEdit*>(e.widget);
        if (!ok && !line->text().trimmed().isEmpty())
            return line;
    }
    return nullptr;
}

void SearchSchedule::beginSearch() {
    // A date or time that cannot be read is no criterion: back to the field.
    if (QLineEdit* bad = unreadable()) {
        selectField(entryOf(bad));
        RejectField(bad);
        return;
    }
    const Schedule& criteriaRecord = example();
    std::vector<Criterion> criteria;
    for (const Entry& e : entries_)
        if (e.type != Ignore)
            criteria.push_back(MakeCriterion(e.field, e.type, criteriaRecord, e.limit, e.upperText));
    if (criteria.empty()) {
        ctx_.dialogs.message(QStringLiteral("You must specify at least one search field!"), kCaption,
                             Dialogs::Icon::Exclamation);
        return;
    }
    const bool tagged = tags_.firstTag(kSelectedTasks) != 0;
    if (!tags_.error().ok()) {
        warn::RecordRetrieval(ctx_.dialogs, Tag::decl().name, tags_.error());
        return;
    }
    const SearchTask task =
        ctx_.askSearchTask ? ctx_.askSearchTask(tagged) : AskSearchTask::ask(tagged, this);
    if (task == SearchTask::Cancel)
        return;
    if (task == SearchTask::Unselect && !tagged)
        return;
    cleared_ = false;
    if (task == SearchTask::Select && tagged &&
        ctx_.dialogs.message(QStringLiteral("Clear old selections first?"), kCaption, Dialogs::Icon::Question,
                             Dialogs::Yes | Dialogs::No, Dialogs::Yes) == Dialogs::Yes) {
        tags_.newTag(kSelectedTasks);
        if (!tags_.error().ok()) {
            warn::RecordRetrieval(ctx_.dialogs, Tag::decl().name, tags_.error());
            return;
        }
        cleared_ = true;
    }
    const SearchMode mode = task == SearchTask::Edit     ? SearchMode::Edit
                            : task == SearchTask::Select ? SearchMode::Select
                                                         : SearchMode::Unselect;
    scan_ = std::make_unique<ScheduleScan>(ctx_.store, std::move(criteria), mode, tags_);
    if (scan_->error().code != Err::None) {
        finish(ScheduleScan::Result::Failed);
        return;
    }
    runScan();
}

void SearchSchedule::runScan() {
    progress_->begin(QStringLiteral("Searching for Matching Records"), QString());
    timer_.start();
    setBusy(true);
}

void SearchSchedule::haltScan() {
    if (timer_.isActive()) {
        timer_.stop();
        progress_->end();
    }
    setBusy(false);
}

void SearchSchedule::setBusy(bool busy) {
    // While a scan runs, only its progress window takes input: a second search begun from
    // here, or criteria changed under the scan, would spoil it.
    for (QWidget* w : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        if (!w->isWindow())
            w->setEnabled(!busy);
}

void SearchSchedule::tick() {
    if (!scan_) {
        timer_.stop();
        return;
    }
    const ScheduleScan::Result r = scan_->step();
    const qint64 total = scan_->total();
    progress_->update(total > 0 ? static_cast<int>(std::min<qint64>(100, scan_->examined() * 100 / total))
                                : 100);
    if (r == ScheduleScan::Result::Match) {
        haltScan();
        load(scan_->match());
        showMatch(true);
        return;
    }
    if (r == ScheduleScan::Result::Working && !progress_->cancelled())
        return;
    finish(r);
}

void SearchSchedule::finish(ScheduleScan::Result how) {
    haltScan();
    const SearchMode mode = scan_->mode();
    const qint64 matched = scan_->matched();
    // Tags written by a cancelled scan are kept: they are stored before the window closes.
    if (scan_->finishWrites() != Err::None)
        warn::UpdateError(ctx_.dialogs, Tag::decl().name, scan_->writeError());
    else if (how == ScheduleScan::Result::Failed)
        warn::RecordRetrieval(ctx_.dialogs, scan_->errorTable(), scan_->error());
    const bool ranOut = how == ScheduleScan::Result::Done;
    scan_.reset();
    if (mode == SearchMode::Edit) {
        if (ranOut)
            ctx_.dialogs.message(matched > 0 ? QStringLiteral("There are no more matching records!")
                                             : QStringLiteral("There are no matching records!"),
                                 kCaption, Dialogs::Icon::Information);
        showMatch(false);
        load(example_);
        return;
    }
    if (ranOut && matched == 0)
        ctx_.dialogs.message(QStringLiteral("There are no matching records!"), kCaption,
                             Dialogs::Icon::Information);
    // The list shows the selection only when it changed.
    result_.kind = matched > 0 || cleared_ ? SearchResult::SelectionChanged : SearchResult::Nothing;
    accept();
}

void SearchSchedule::showMatch(bool on) {
    showingMatch_ = on;
    searchType_->setText(on ? QStringLiteral("&Edit This") : QStringLiteral("&Search Type"));
    begin_->setText(on ? QStringLiteral("&Find Next") : QStringLiteral("&Begin Search"));
}

void SearchSchedule::editThis() {
    if (!showingMatch_ || !scan_)
        return;
    result_ = {SearchResult::Edit, scan_->match().id};
    stop();
    accept();
}

void SearchSchedule::findNext() {
    if (!showingMatch_ || !scan_)
        return;
    runScan();
}

void SearchSchedule::stop() {
    haltScan();
    // Closed in the middle of a selection: what it tagged so far stays tagged, and the list
    // shows it.
    if (scan_ && scan_->mode() != SearchMode::Edit) {
        if (scan_->finishWrites() != Err::None)
            warn::UpdateError(ctx_.dialogs, Tag::decl().name, scan_->writeError());
        result_.kind = SearchResult::SelectionChanged;
    }
    scan_.reset();
}

void SearchSchedule::done(int r) {
    stop();
    disconnect(focusWatch_);
    QDialog::done(r);
}

} // namespace kr
