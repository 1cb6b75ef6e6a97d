#include "platform/qt/Fields.h"

#include "platform/Pictures.h"

#include <QApplication>

namespace kr {

DateField::DateField(QString picture, QWidget* parent)
    : QLineEdit(parent)
    , picture_(std::move(picture)) {}

void DateField::setPicture(const QString& picture) {
    bool ok = false;
    const Date d = date(&ok);
    picture_ = picture;
    if (ok)
        setDate(d);
}

void DateField::setDate(Date d) {
    setText(FormatDateAs(d, picture_));
}

Date DateField::date(bool* ok) const {
    Date d = 0;
    const bool read = ParseDate(text(), picture_, &d);
    if (ok != nullptr)
        *ok = read;
    return read ? d : 0;
}

TimeField::TimeField(QString picture, QWidget* parent)
    : QLineEdit(parent)
    , picture_(std::move(picture)) {}

void TimeField::setTime(Time t) {
    setText(FormatTimeAs(t, picture_));
}

Time TimeField::time(bool* ok) const {
    Time t = 0;
    const bool read = ParseTime(text(), picture_, &t);
    if (ok != nullptr)
        *ok = read;
    return read ? t : 0;
}

void RejectField(QLineEdit* field) {
    QApplication::beep();
    field->setFocus();
    field->selectAll();
}

} // namespace kr
