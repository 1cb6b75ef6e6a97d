#include "reports/ui/ReportParameters.h"

#include "platform/Text.h"
#include "platform/qt/Fields.h"
#include "store/Table.h"
#include "store/Warnings.h"

#include <QApplication>
#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace kr {

namespace {

QPushButton* PickButton(QWidget* parent) {
    auto* b = new QPushButton(QStringLiteral("..."), parent);
    b->setToolTip(QStringLiteral("Pick the date from a calendar"));
    b->setFixedWidth(b->fontMetrics().horizontalAdvance(QStringLiteral("....")) + 16);
    return b;
}

// The two choices of a group; the second one selected when `second`.
void Choice(QRadioButton* first, QRadioButton* second, bool selectSecond, QWidget* owner) {
    auto* group = new QButtonGroup(owner);
    group->addButton(first);
    group->addButton(second);
    (selectSecond ? second : first)->setChecked(true);
}

} // namespace

ReportParameters::ReportParameters(ReportParametersContext ctx, const ReportChoices& choices, QWidget* parent)
    : QDialog(parent)
    , ctx_(std::move(ctx))
    , result_(choices) {
    setObjectName(QStringLiteral("ReportParameters"));
    setWindowTitle(QStringLiteral("Report Parameters"));

    auto* dates = new QGroupBox(QStringLiteral("Date Range"));
    allDates_ = new QRadioButton(QStringLiteral("All"));
    selectedDates_ = new QRadioButton(QStringLiteral("Selected"));
    Choice(allDates_, selectedDates_, choices.selectedDates, this);
    from_ = new DateField(ctx_.datePicture);
    to_ = new DateField(ctx_.datePicture);
    from_->setDate(choices.from);
    to_->setDate(choices.to);
    fromPick_ = PickButton(this);
    toPick_ = PickButton(this);
    auto* dl = new QGridLayout(dates);
    dl->addWidget(allDates_, 0, 0, 1, 3);
    dl->addWidget(selectedDates_, 1, 0, 1, 3);
    dl->addWidget(new QLabel(QStringLiteral("From:")), 2, 0);
    dl->addWidget(from_, 2, 1);
    dl->addWidget(fromPick_, 2, 2);
    dl->addWidget(new QLabel(QStringLiteral("To:")), 3, 0);
    dl->addWidget(to_, 3, 1);
    dl->addWidget(toPick_, 3, 2);
    dl->setRowStretch(4, 1);

    auto* category = new QGroupBox(QStringLiteral("Category"));
    allCategories_ = new QRadioButton(QStringLiteral("All"));
    selectedCategory_ = new QRadioButton(QStringLiteral("Selected"));
    Choice(allCategories_, selectedCategory_, choices.selectedCategory, this);
    categories_ = new QListWidget;
    categories_->setObjectName(QStringLiteral("categories"));
    {
        Table<Categories> table(ctx_.store);
        std::vector<Categories> batch;
        Err e = table.set(Categories::KEYCATEGORY);
        while (e == Err::None && (e = table.nextBatch(batch, 500)) == Err::None)
            for (const Categories& c : batch)
                categories_->addItem(Clip(c.category));
        if (e != Err::NoMoreRecords && e != Err::None)
            warn::RecordRetrieval(ctx_.dialogs, Categories::decl().name, table.error());
    }
    for (int i = 0; i < categories_->count(); ++i)
        if (SameCategory(categories_->item(i)->text(), choices.category)) {
            categories_->setCurrentRow(i);
            break;
        }
    if (categories_->currentRow() < 0 && categories_->count() > 0)
        categories_->setCurrentRow(0);
    auto* cl = new QVBoxLayout(category);
    cl->addWidget(allCategories_);
    cl->addWidget(selectedCategory_);
    cl->addWidget(categories_, 1);

    auto* order = new QGroupBox(QStringLiteral("Order"));
    auto* ol = new QVBoxLayout(order);
    auto* orderGroup = new QButtonGroup(this);
    for (int i = 0; i < 6; ++i) {
        orders_[i] = new QRadioButton(ReportOrders().at(i));
        orderGroup->addButton(orders_[i], i);
        ol->addWidget(orders_[i]);
    }
    orders_[std::clamp(choices.order, 0, 5)]->setChecked(true);
    ol->addStretch();

    ok_ = new QPushButton(QStringLiteral("&Ok"));
    ok_->setToolTip(QStringLiteral("Proceed with report"));
    ok_->setDefault(true);
    cancel_ = new QPushButton(QStringLiteral("Cancel"));
    connect(ok_, &QPushButton::clicked, this, &ReportParameters::accept);
    connect(cancel_, &QPushButton::clicked, this, &ReportParameters::reject);

    auto* top = new QHBoxLayout;
    top->addWidget(dates);
    top->addWidget(category, 1);
    top->addWidget(order);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(buttons);

    for (QRadioButton* b : {allDates_, selectedDates_, allCategories_, selectedCategory_})
        connect(b, &QRadioButton::toggled, this, &ReportParameters::updateEnabling);
    connect(fromPick_, &QPushButton::clicked, this,
            [this] { pick(from_, QStringLiteral("Select \"From\" Date")); });
    connect(toPick_, &QPushButton::clicked, this,
            [this] { pick(to_, QStringLiteral("Select \"To\" Date")); });
    updateEnabling();
    categories_->setMinimumHeight(categories_->fontMetrics().height() * 8);
    resize(sizeHint());
}

void ReportParameters::updateEnabling() {
    const bool dates = selectedDates_->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{from_, to_, fromPick_, toPick_})
        w->setEnabled(dates);
    categories_->setEnabled(selectedCategory_->isChecked());
}

void ReportParameters::pick(DateField* field, const QString& title) {
    if (!ctx_.pickDate)
        return;
    bool ok = false;
    const Date current = field->date(&ok);
    field->setDate(ctx_.pickDate(ok ? current : 0, title));
}

ReportChoices ReportParameters::choices() const {
    ReportChoices c = result_;
    c.chosen = true;
    c.selectedDates = selectedDates_->isChecked();
    bool ok = false;
    if (const Date d = from_->date(&ok); ok)
        c.from = d;
    if (const Date d = to_->date(&ok); ok)
        c.to = d;
    c.selectedCategory = selectedCategory_->isChecked();
    if (categories_->currentItem() != nullptr)
        c.category = categories_->currentItem()->text();
    for (int i = 0; i < 6; ++i)
        if (orders_[i]->isChecked())
            c.order = i;
    return c;
}

void ReportParameters::accept() {
    // A date that cannot be read goes back to its entry rather than into the filter.
    if (selectedDates_->isChecked()) {
        for (DateField* f : {from_, to_}) {
            bool ok = false;
            f->date(&ok);
            if (!ok) {
                RejectField(f);
                return;
            }
        }
    }
    // "Selected" with no category to select would print only the tasks without one.
    if (selectedCategory_->isChecked() && categories_->currentItem() == nullptr) {
        QApplication::beep();
        categories_->setFocus();
        return;
    }
    result_ = choices();
    QDialog::accept();
}

SetReportTitle::SetReportTitle(QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("SetReportTitle"));
    setWindowTitle(QStringLiteral("Report Title"));
    auto* hint =
        new QLabel(QStringLiteral("Leave the report title blank if you wish to use the default title."));
    hint->setWordWrap(true);
    title_ = new QLineEdit;
    title_->setMaxLength(80);
    title_->setMinimumWidth(title_->fontMetrics().averageCharWidth() * 50);
    ok_ = new QPushButton(QStringLiteral("&Ok"));
    ok_->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"));
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("Report Title:")));
    row->addWidget(title_, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(hint);
    layout->addLayout(row);
    layout->addLayout(buttons);
}

QString SetReportTitle::title() const {
    return title_->text();
}

} // namespace kr
