#include "store/RecordChanges.h"

namespace kr {

bool ReadTaskItems(Table<Scripting>& items, qint32 taskId, std::vector<Scripting>& out) {
    Scripting r;
    ChildLink<Schedule>::seek(r, taskId);
    items.set(Scripting::KEYID, r);
    for (;;) {
        const Err e = items.next(r);
        if (e == Err::NoMoreRecords || (e == Err::None && !ChildLink<Schedule>::holds(r, taskId)))
            return true;
        if (e != Err::None)
            return false;
        out.push_back(r);
    }
}

bool SameRecord(const TableDecl& decl, const void* a, const void* b) {
    for (const FieldDecl& f : *decl.fields)
        if (f.get(a) != f.get(b))
            return false;
    return true;
}

namespace detail {

std::optional<bool> AskSaveAgain(Dialogs& dialogs) {
    const Dialogs::Button b = dialogs.message(
        QStringLiteral("An error was experienced changing this record.  Do you want to try to save again?"),
        QStringLiteral("Record Update Error"), Dialogs::Icon::Question,
        Dialogs::Yes | Dialogs::No | Dialogs::Cancel, Dialogs::Cancel);
    if (b == Dialogs::Cancel)
        return std::nullopt;
    return b == Dialogs::Yes;
}

bool ConfirmDelete(Dialogs& dialogs) {
    return dialogs.message(
               QStringLiteral("You've selected to delete the highlighted record.  Press OK to confirm "
                              "deletion of this record."),
               QStringLiteral("Confirm Delete"), Dialogs::Icon::Question, Dialogs::Ok | Dialogs::Cancel,
               Dialogs::Cancel) == Dialogs::Ok;
}

bool AskDeleteAgain(Dialogs& dialogs) {
    return dialogs.message(
               QStringLiteral(
                   "An error was experienced deleting this record.  Do you want to try to save again?"),
               QStringLiteral("Record Update Error"), Dialogs::Icon::Question,
               Dialogs::Yes | Dialogs::No | Dialogs::Cancel, Dialogs::Cancel) == Dialogs::Yes;
}

} // namespace detail

} // namespace kr
