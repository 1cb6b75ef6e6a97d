#include "platform/qt/QtDialogs.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>

namespace kr {

namespace {

struct ButtonMap {
    Dialogs::Button ours;
    QMessageBox::StandardButton qt;
};

constexpr ButtonMap kButtons[] = {
    {Dialogs::Ok, QMessageBox::Ok},         {Dialogs::Yes, QMessageBox::Yes},
    {Dialogs::No, QMessageBox::No},         {Dialogs::Retry, QMessageBox::Retry},
    {Dialogs::Abort, QMessageBox::Abort},   {Dialogs::Ignore, QMessageBox::Ignore},
    {Dialogs::Cancel, QMessageBox::Cancel},
};

QMessageBox::Icon ToQtIcon(Dialogs::Icon icon) {
    switch (icon) {
    case Dialogs::Icon::Information:
        return QMessageBox::Information;
    case Dialogs::Icon::Question:
        return QMessageBox::Question;
    case Dialogs::Icon::Exclamation:
        return QMessageBox::Warning;
    case Dialogs::Icon::Hand:
        return QMessageBox::Critical;
    case Dialogs::Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

Dialogs::Button QtDialogs::show(const QString& text, const QString& caption, Icon icon, unsigned buttons,
                                Button defaultButton) {
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr)
        return defaultButton;
    QMessageBox box(ToQtIcon(icon), caption, text);
    if (buttons == NoButton)
        buttons = Ok;
    QMessageBox::StandardButtons qtButtons;
    for (const auto& b : kButtons) {
        if ((buttons & b.ours) != 0u)
            qtButtons |= b.qt;
    }
    box.setStandardButtons(qtButtons);
    for (const auto& b : kButtons) {
        if (b.ours == defaultButton && (buttons & b.ours) != 0u) {
            box.setDefaultButton(b.qt);
        }
    }
    // As on the desktop the program came from: Escape answers Cancel where there is one, and a
    // lone OK; a Yes/No question must be answered.
    if ((buttons & Cancel) != 0u)
        box.setEscapeButton(QMessageBox::Cancel);
    else if (buttons == Ok)
        box.setEscapeButton(QMessageBox::Ok);
    // Wide enough for the whole caption in the title bar: a short text must not leave the
    // window manager only room for its first letter.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
        QFont titleFont = box.font();
        titleFont.setBold(true);
        const int width = QFontMetrics(titleFont).horizontalAdvance(caption) + 160;
        grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Expanding),
                      grid->rowCount(), 0, 1, grid->columnCount());
    }
    const int answer = box.exec();
    for (const auto& b : kButtons) {
        if (answer == b.qt)
            return b.ours;
    }
    return defaultButton;
}

} // namespace kr
