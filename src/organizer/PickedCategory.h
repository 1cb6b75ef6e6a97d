#pragma once

// The category last picked in this process: the to-do list's category tab and a new to-do
// entry take the schedule category chosen in the category picker, the contact list's
// category tab the contact category. Every open window reads the same value and hears when
// it changes.

#include <QObject>
#include <QString>

namespace kr {

class PickedCategory final : public QObject {
    Q_OBJECT
public:
    static PickedCategory& schedule();
    static PickedCategory& contact();

    const QString& value() const { return value_; }
    void set(const QString& category);

Q_SIGNALS:
    void changed(const QString& category);

private:
    QString value_;
};

} // namespace kr
