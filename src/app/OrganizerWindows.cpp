#include "app/OrganizerWindows.h"

#include "organizer/ui/Categories.h"
#include "organizer/ui/Contacts.h"
#include "organizer/ui/Todo.h"

#include <QWidget>

namespace kr {

void ShowListWindow(QWidget* window, QWidget* frame) {
    window->setParent(frame, Qt::Window);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
}

void OrganizerWindows::viewToDo() {
    ShowListWindow(new ViewToDo(context_()), frame_);
}

void OrganizerWindows::browseContacts() {
    ShowListWindow(new BrowseContacts(context_()), frame_);
}

void OrganizerWindows::browseContactCategories() {
    const OrganizerContext c = context_();
    auto* w = new BrowseCategories(CategoryContext{c.store, c.dialogs, c.positions, c.dateFormat},
                                   CategoryKind::Contact);
    ShowListWindow(w, frame_);
}

} // namespace kr
