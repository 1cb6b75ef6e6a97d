#include "app/TaskWindows.h"

#include "store/Table.h"

#include <QDir>

#include <memory>
#include <stdexcept>

namespace kr {

namespace {

// A data file that cannot be used ends the reply, not the program.
struct ReplyAbandoned : std::runtime_error {
    ReplyAbandoned()
        : std::runtime_error("reply abandoned") {}
};

class AbandonReply final : public ProgramEnd {
public:
    explicit AbandonReply(Dialogs& dialogs)
        : dialogs_(dialogs) {}
    [[noreturn]] void endProgram(const QString& text) override {
        dialogs_.message(text, kProductTitle, Dialogs::Icon::Hand);
        throw ReplyAbandoned();
    }

private:
    Dialogs& dialogs_;
};

} // namespace

void TaskWindows::openWizard(TaskWindow which) {
    std::unique_ptr<TaskForm> w;
    switch (which) {
    case TaskWindow::AddMessageWizard:
        w = std::make_unique<AddMessageWizard>(ctx_, Request::Insert, Schedule{}, 0, frame_);
        break;
    case TaskWindow::AddProgramWizard:
        w = std::make_unique<AddProgramWizard>(ctx_, Request::Insert, Schedule{}, 0, frame_);
        break;
    case TaskWindow::AddTaskWizard:
        w = std::make_unique<AddTaskWizard>(ctx_, Request::Insert, Schedule{}, 0, frame_);
        break;
    default:
        return;
    }
    if (w->ready() && w->exec() == QDialog::Accepted)
        listeners_.post();
}

bool TaskWindows::openTask(Request request, Schedule& task, Date selectedDay) {
    bool done = false;
    if (request == Request::Delete) {
        done = DeleteTask(ctx_.store, task);
    } else {
        UpdateSchedule form(ctx_, request, task, selectedDay, frame_);
        done = form.ready() && form.exec() == QDialog::Accepted;
    }
    if (done)
        listeners_.post();
    return done;
}

CategoryContext TaskWindows::categoryContext() {
    return CategoryContext{ctx_.store,
                           ctx_.dialogs,
                           ctx_.positions,
                           ctx_.settings.dateFormat,
                           [this](Request request, Schedule& task) { openTask(request, task); },
                           host_};
}

void TaskWindows::browseCategories() {
    auto* w = new BrowseCategories(categoryContext(), frame_);
    if (host_ != nullptr) {
        host_->openInFrame(w);
        return;
    }
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->show();
}

QString TaskWindows::selectCategory(const QString& current) {
    SelectCategories picker(categoryContext(), current, frame_);
    return picker.exec() == QDialog::Accepted ? picker.selectedCategory() : current;
}

void TaskWindows::reply() {
    AbandonReply abandon(ctx_.dialogs);
    Store other(QDir::currentPath(), ctx_.dialogs, abandon);
    std::vector<std::unique_ptr<TableAccess>> open;
    TaskFormContext replyCtx{other,       ctx_.dialogs,   ctx_.files, ctx_.clock,          ctx_.settings,
                             ctx_.config, ctx_.positions, ctx_.sound, ctx_.startDirectory, ctx_.calendar,
                             {}};
    std::unique_ptr<FastAdd> window;
    try {
        other.declareLayouts();
        // Everything the reply writes is opened before the window runs, so that a data file
        // that cannot be used is found here and not halfway through saving.
        for (const TableDecl* d :
             {&Schedule::decl(), &Scripting::decl(), &Categories::decl(), &Holidays::decl()})
            open.push_back(std::make_unique<TableAccess>(other, *d));
        window = std::make_unique<FastAdd>(replyCtx, frame_);
    } catch (const ReplyAbandoned&) {
        return;
    }
    if (window->ready())
        window->exec();
}

} // namespace kr
