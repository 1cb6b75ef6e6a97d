#pragma once

// Entry fields that show and read dates and times in the program's pictures.

#include "platform/DateTime.h"

#include <QLineEdit>

namespace kr {

class DateField final : public QLineEdit {
    Q_OBJECT
public:
    explicit DateField(QString picture = QStringLiteral("d3"), QWidget* parent = nullptr);
    void setPicture(const QString& picture);
    void setDate(Date date);
    // The date typed, 0 for an empty field; `ok` tells whether the text could be read.
    Date date(bool* ok = nullptr) const;

private:
    QString picture_;
};

class TimeField final : public QLineEdit {
    Q_OBJECT
public:
    explicit TimeField(QString picture = QStringLiteral("t3"), QWidget* parent = nullptr);
    void setTime(Time time);
    Time time(bool* ok = nullptr) const;

private:
    QString picture_;
};

// A field whose text could not be read: the desktop beeps and the field is selected again.
void RejectField(QLineEdit* field);

} // namespace kr
