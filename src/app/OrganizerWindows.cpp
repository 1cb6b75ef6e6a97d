#include "app/OrganizerWindows.h"

#include "organizer/ui/Categories.h"
#include "organizer/ui/Contacts.h"
#include "organizer/ui/Todo.h"
#include "platform/qt/WindowHost.h"
#include "scheduler/ProgramState.h"

#include <QWidget>

namespace kr {

void OrganizerWindows::show(QWidget* window, const QStringList& tables, std::function<void()> refresh) {
    new TableWatcher(listeners_, tables, window, std::move(refresh));
    host_.openInFrame(window);
}

void OrganizerWindows::viewToDo() {
    auto* w = new ViewToDo(context_());
    show(w, {QStringLiteral("ToDo"), QStringLiteral("Categories")}, [w] { w->refresh(); });
}

void OrganizerWindows::browseContacts() {
    auto* w = new BrowseContacts(context_());
    show(w, {QStringLiteral("Contact"), QStringLiteral("ContactCategories")}, [w] { w->refresh(); });
}

void OrganizerWindows::browseContactCategories() {
    const OrganizerContext c = context_();
    auto* w = new BrowseCategories(CategoryContext{c.store, c.dialogs, c.positions, c.dateFormat},
                                   CategoryKind::Contact);
    show(w, {QStringLiteral("ContactCategories")}, [w] { w->refresh(); });
}

} // namespace kr
