#include "scheduler/ui/MessageWindows.h"
#include "platform/Text.h"

#include "platform/qt/WindowPosition.h"
#include "scheduler/Occurrence.h"
#include "store/Numbering.h"
#include "store/Table.h"
#include "store/Tables.h"
#include "store/Warnings.h"

#include <QCloseEvent>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace kr {

namespace {

const QString kProcedure = QStringLiteral("ShowMessage");

} // namespace

MessageWindow::MessageWindow(MessageContext& ctx, Kind kind, const MessageInputs& inputs,
                             std::function<void()> closed)
    : QWidget(nullptr)
    , ctx_(ctx)
    , kind_(kind)
    , inputs_(inputs)
    , closed_(std::move(closed)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(kProcedure);
    setWindowTitle(QStringLiteral("Message"));
    if (kind_ != Kind::InFrame)
        setWindowFlag(Qt::WindowStaysOnTopHint);
    inputs_.sound = Clip(inputs_.sound);

    auto* layout = new QVBoxLayout(this);
    auto* title = new QLabel(inputs_.title);
    title->setObjectName(QStringLiteral("title"));
    QFont bold = title->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.2);
    title->setFont(bold);
    title->setWordWrap(true);
    layout->addWidget(title);
    auto* text = new QPlainTextEdit(inputs_.text);
    text->setObjectName(QStringLiteral("text"));
    text->setReadOnly(true);
    layout->addWidget(text);

    auto* row = new QHBoxLayout;
    auto add = [&](const QString& label, auto action) {
        auto* b = new QPushButton(label);
        row->addWidget(b);
        connect(b, &QPushButton::clicked, this, action);
        return b;
    };
    QPushButton* close = add(QStringLiteral("Cl&ose"), &QWidget::close);
    add(QStringLiteral("&Snooze"), &MessageWindow::snooze);
    if (kind_ == Kind::Reply) {
        add(QStringLiteral("&To Do"), &MessageWindow::addToTodo);
        QPushButton* reply = add(QStringLiteral("&Reply"), &MessageWindow::replyTo);
        reply->setEnabled(static_cast<bool>(ctx_.reply));
    } else {
        add(QStringLiteral("&Add to To Do List"), &MessageWindow::addToTodo);
    }
    close->setDefault(true);
    layout->addLayout(row);
    resize(420, 260);

    if (kind_ == Kind::InFrame)
        RestoreWindowPosition(*this, kProcedure, ctx_.positions);
    scheduleAlarm();
    timer_.setInterval(500);
    connect(&timer_, &QTimer::timeout, this, &MessageWindow::timerTick);
    timer_.start();
}

MessageWindow::~MessageWindow() = default;

QPushButton* MessageWindow::button(const QString& text) const {
    for (auto* b : findChildren<QPushButton*>()) {
        if (b->text() == text)
            return b;
    }
    return nullptr;
}

void MessageWindow::scheduleAlarm() {
    if (ctx_.settings.repeatAlarmInterval < 1) {
        alarmDate_ = 0;
        return;
    }
    alarmDate_ = ctx_.clock.today();
    alarmTime_ = ctx_.clock.now() + ctx_.settings.repeatAlarmInterval * 100;
    CarryDays(alarmDate_, alarmTime_);
}

void MessageWindow::timerTick() {
    if (alarmDate_ == 0)
        return;
    if (CompareMoments(ctx_.clock.today(), ctx_.clock.now(), alarmDate_, alarmTime_) < 0)
        return;
    if (!inputs_.sound.isEmpty())
        ctx_.sound.play(inputs_.sound);
    scheduleAlarm();
}

void MessageWindow::snooze() {
    Table<Schedule> tasks(ctx_.store);
    Schedule t;
    t.message = inputs_.text;
    t.taskType = QStringLiteral("Display Message");
    t.category = QStringLiteral("Snooze");
    t.description = inputs_.title;
    t.scheduleType = kOnce;
    t.date = ctx_.clock.today();
    t.time = ctx_.clock.now() + 60000;
    CarryDays(t.date, t.time);
    t.skipIfMissed = 1;
    if (AddTaskCopy(tasks, t) != Err::None) {
        // The message would be gone with the window: it stays, and the user hears why.
        warn::InsertError(ctx_.dialogs, tasks.error());
        return;
    }
    if (ctx_.listeners != nullptr)
        ctx_.listeners->post(Schedule::decl().name);
    close();
}

void MessageWindow::addToTodo() {
    Table<Todo> todo(ctx_.store);
    Todo d;
    d.done = 0;
    d.priority = 5;
    d.category = QStringLiteral("General");
    d.todo = inputs_.title;
    d.notes = inputs_.text;
    if (todo.add(d) != Err::None) {
        warn::InsertError(ctx_.dialogs, todo.error());
        return;
    }
    if (ctx_.listeners != nullptr)
        ctx_.listeners->post(Todo::decl().name);
    ctx_.dialogs.message(QStringLiteral("Added to To Do List:") + QLatin1Char('\n') + inputs_.title,
                         QStringLiteral("Saved"), Dialogs::Icon::Information);
}

void MessageWindow::replyTo() {
    if (!ctx_.reply)
        return;
    // A reply goes into the sender's data file; without its folder there is no one to reply to.
    if (!QDir::setCurrent(inputs_.replyAddress)) {
        ctx_.dialogs.message(QStringLiteral("The folder ") + inputs_.replyAddress +
                                 QStringLiteral(" cannot be opened, so the reply cannot be added."),
                             QStringLiteral("Error!"), Dialogs::Icon::Exclamation);
        return;
    }
    ctx_.reply();
    QDir::setCurrent(ctx_.startDirectory);
}

void MessageWindow::closeEvent(QCloseEvent* event) {
    if (!closing_) {
        closing_ = true;
        timer_.stop();
        if (kind_ == Kind::InFrame)
            SaveWindowPosition(*this, kProcedure, ctx_.positions);
        if (closed_)
            closed_();
    }
    QWidget::closeEvent(event);
}

MessageWindows::~MessageWindows() {
    for (const auto& w : windows_) {
        if (w)
            delete w.data();
    }
}

std::vector<MessageWindow*> MessageWindows::windows() const {
    std::vector<MessageWindow*> out;
    for (const auto& w : windows_) {
        if (w)
            out.push_back(w.data());
    }
    return out;
}

void MessageWindows::show(const MessageInputs& inputs) {
    ctx_.log.log(QStringLiteral("Message"), Clip(inputs.title) + QLatin1Char(' ') + inputs.sound);
    std::erase_if(windows_, [](const QPointer<MessageWindow>& w) { return w.isNull(); });

    if (!inputs.replyAddress.isEmpty()) {
        auto* w = new MessageWindow(ctx_, MessageWindow::Kind::Reply, inputs, {});
        windows_.emplace_back(w);
        w->show();
        return;
    }
    if (ctx_.settings.useWinMessage) {
        // The desktop's own box, which does not hold up the scheduler.
        auto* box = new QMessageBox(QMessageBox::Information, inputs.title, inputs.text, QMessageBox::Ok);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setObjectName(QStringLiteral("WinMessage"));
        box->setWindowModality(Qt::NonModal);
        box->show();
        return;
    }
    if (ctx_.settings.useExternalMessage) {
        QString text = Clip(inputs.text);
        text.replace(QLatin1Char('"'), QStringLiteral("\"\"\""));
        const QString command = QLatin1Char('"') + CompanionProgram(QString::fromLatin1(kExternalProgram)) +
                                QStringLiteral("\" \"") + text + QLatin1Char('"');
        ctx_.launcher.launchProgram(0, command, QString(), QStringLiteral("open"), 0, true, true, true, 0);
        return;
    }
    if (ctx_.settings.useModalMessage) {
        auto* w = new MessageWindow(ctx_, MessageWindow::Kind::OnTop, inputs, {});
        windows_.emplace_back(w);
        w->show();
        return;
    }
    ++count_;
    auto* w = new MessageWindow(ctx_, MessageWindow::Kind::InFrame, inputs, [this] { --count_; });
    windows_.emplace_back(w);
    w->show();
}

} // namespace kr
