#pragma once

// The windows a report asks its questions in: the date range, category and order of the
// schedule reports (ReportParameters) and the title of the to-do reports (SetReportTitle).

#include "reports/Reports.h"

#include <QDialog>

#include <functional>

class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace kr {

class DateField;

struct ReportParametersContext {
    Store& store;
    Dialogs& dialogs;
    QString datePicture; // how the date entries show a date
    // The date picker: the date shown and the caption; the date as it was when closed.
    std::function<Date(Date current, const QString& title)> pickDate;
};

class ReportParameters final : public QDialog {
    Q_OBJECT
public:
    ReportParameters(ReportParametersContext ctx, const ReportChoices& choices, QWidget* parent = nullptr);

    // The choices as the window shows them.
    ReportChoices choices() const;

    QRadioButton* allDates() const { return allDates_; }
    QRadioButton* selectedDates() const { return selectedDates_; }
    DateField* fromField() const { return from_; }
    DateField* toField() const { return to_; }
    QPushButton* fromButton() const { return fromPick_; }
    QPushButton* toButton() const { return toPick_; }
    QRadioButton* allCategories() const { return allCategories_; }
    QRadioButton* selectedCategory() const { return selectedCategory_; }
    QListWidget* categoryList() const { return categories_; }
    QRadioButton* orderButton(int order) const { return orders_[order]; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }

    void accept() override;

private:
    void updateEnabling();
    void pick(DateField* field, const QString& title);

    ReportParametersContext ctx_;
    ReportChoices result_;
    QRadioButton* allDates_ = nullptr;
    QRadioButton* selectedDates_ = nullptr;
    DateField* from_ = nullptr;
    DateField* to_ = nullptr;
    QPushButton* fromPick_ = nullptr;
    QPushButton* toPick_ = nullptr;
    QRadioButton* allCategories_ = nullptr;
    QRadioButton* selectedCategory_ = nullptr;
    QListWidget* categories_ = nullptr;
    QRadioButton* orders_[6] = {};
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

class SetReportTitle final : public QDialog {
    Q_OBJECT
public:
    explicit SetReportTitle(QWidget* parent = nullptr);
    QString title() const;
    QLineEdit* titleField() const { return title_; }
    QPushButton* okButton() const { return ok_; }

private:
    QLineEdit* title_ = nullptr;
    QPushButton* ok_ = nullptr;
};

} // namespace kr
