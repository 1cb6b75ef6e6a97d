#pragma once

// Ditto: the values the user typed into a form before it had to show another station's
// version of the record. Ctrl+' in a field gives that field its typed value back.

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QVariant>

class QWidget;

namespace kr {

class Ditto final : public QObject {
    Q_OBJECT
public:
    explicit Ditto(QWidget* form);

    // Keeps the value of every entry field, box and list of the form as it stands now.
    void remember();
    // Gives the field its kept value back; false when nothing was kept for it.
    bool recall(QWidget* field);
    bool empty() const { return kept_.isEmpty(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* form_;
    QHash<QWidget*, QVariant> kept_;
    QList<QPointer<QWidget>> watched_;
};

} // namespace kr
