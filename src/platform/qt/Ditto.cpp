#include "platform/qt/Ditto.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTextEdit>

namespace kr {

namespace {

QVariant ValueOf(QWidget* w) {
    if (auto* line = qobject_cast<QLineEdit*>(w))
        return line->text();
    if (auto* plain = qobject_cast<QPlainTextEdit*>(w))
        return plain->toPlainText();
    if (auto* rich = qobject_cast<QTextEdit*>(w))
        return rich->toPlainText();
    if (auto* c = qobject_cast<QComboBox*>(w))
        return c->currentText();
    if (auto* s = qobject_cast<QSpinBox*>(w))
        return s->value();
    if (auto* b = qobject_cast<QAbstractButton*>(w); b != nullptr && b->isCheckable())
        return b->isChecked();
    return {};
}

void SetValue(QWidget* w, const QVariant& v) {
    if (auto* line = qobject_cast<QLineEdit*>(w)) {
        line->setText(v.toString());
        line->selectAll();
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) {
        plain->setPlainText(v.toString());
    } else if (auto* rich = qobject_cast<QTextEdit*>(w)) {
        rich->setPlainText(v.toString());
    } else if (auto* c = qobject_cast<QComboBox*>(w)) {
        const int i = c->findText(v.toString());
        if (i >= 0)
            c->setCurrentIndex(i);
        else if (c->isEditable())
            c->setEditText(v.toString());
    } else if (auto* s = qobject_cast<QSpinBox*>(w)) {
        s->setValue(v.toInt());
    } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        b->setChecked(v.toBool());
    }
}

bool IsDittoKey(const QKeyEvent* k) {
    return k->key() == Qt::Key_Apostrophe && (k->modifiers() & Qt::ControlModifier) != 0;
}

} // namespace

Ditto::Ditto(QWidget* form)
    : QObject(form)
    , form_(form) {}

void Ditto::remember() {
    kept_.clear();
    for (QWidget* w : form_->findChildren<QWidget*>()) {
        const QVariant v = ValueOf(w);
        if (!v.isValid())
            continue;
        kept_.insert(w, v);
        if (!watched_.contains(w)) {
            w->installEventFilter(this);
            watched_ << w;
        }
    }
}

bool Ditto::recall(QWidget* field) {
    // A spin box's or a combo box's own line edit stands for the box.
    for (QWidget* w = field; w != nullptr && w != form_; w = w->parentWidget()) {
        const auto it = kept_.constFind(w);
        if (it != kept_.constEnd()) {
            SetValue(w, *it);
            return true;
        }
    }
    return false;
}

bool Ditto::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
        const auto* k = static_cast<QKeyEvent*>(event);
        if (IsDittoKey(k)) {
            if (event->type() == QEvent::ShortcutOverride) {
                event->accept();
                return true;
            }
            recall(qobject_cast<QWidget*>(watched));
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace kr
