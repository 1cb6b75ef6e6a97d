#pragma once

// Deleting and changing one record of a table that several stations share. Each change runs
// in a transaction over the table and the table that depends on it; the links between them
// are kept (a task's script items follow it, a category in use cannot go or be renamed); a
// change another station made meanwhile is shown rather than overwritten; and every failure
// is reported once, with the data left as it was.
//
// RecordEditor completes the update windows: insert, change with "nothing changed" detection,
// delete with confirmation, and cancel of a reserved insert.

#include "platform/Text.h"
#include "store/Table.h"
#include "store/Tables.h"
#include "store/Transaction.h"
#include "store/Warnings.h"

#include <functional>
#include <limits>
#include <optional>
#include <vector>

namespace kr {

using Request = warn::Request;

enum class ChangeResult : int {
    Done = 0,
    Failed = 1,           // already reported to the user
    ChangedElsewhere = 2, // another station wrote the record; its version is now loaded
};

enum class LinkRule { Cascade, Restrict };

// The child table of a table and how the two are linked; tables without a child have none.
template <class R> struct ChildLink { static constexpr bool present = false; };

template <> struct ChildLink<Schedule> {
    static constexpr bool present = true;
    static constexpr LinkRule rule = LinkRule::Cascade;
    using Child = Scripting;
    static constexpr int childKey = Scripting::KEYID;
    using Link = qint32;
    static Link link(const Schedule& r) { return r.id; }
    static void setLink(Schedule& r, Link v) { r.id = v; }
    static void seek(Scripting& c, Link v) {
        c.id = v;
        c.sequence = std::numeric_limits<qint32>::min();
    }
    static bool holds(const Scripting& c, Link v) { return c.id == v; }
    static void relink(Scripting& c, Link v) { c.id = v; }
};

// A child that names its parent: it may not be left naming a name that is gone.
template <class C, QString C::*Name, int Key> struct NameRestrict {
    static constexpr bool present = true;
    static constexpr LinkRule rule = LinkRule::Restrict;
    using Child = C;
    static constexpr int childKey = Key;
    using Link = QString;
    // The first child under the name: the rest of the key blank, that is lowest.
    static void seek(C& c, const Link& v) {
        c = C{};
        c.*Name = v;
    }
    // The key ignores letter case, and so do the lists that show a name's children.
    static bool holds(const C& c, const Link& v) {
        return Clip(c.*Name).compare(Clip(v), Qt::CaseInsensitive) == 0;
    }
};

template <>
struct ChildLink<Categories> : NameRestrict<Schedule, &Schedule::category, Schedule::KEYCATEGORY> {
    static Link link(const Categories& r) { return r.category; }
    static void setLink(Categories& r, const Link& v) { r.category = v; }
};

template <>
struct ChildLink<ContactCategories> : NameRestrict<Contact, &Contact::contactCategory, Contact::KEYCATEGORY> {
    static Link link(const ContactCategories& r) { return r.contactCategory; }
    static void setLink(ContactCategories& r, const Link& v) { r.contactCategory = v; }
};

// A task's script items in sequence order, appended to `out`; false after a read error (left
// in the table's error), with the items read before it in `out`.
bool ReadTaskItems(Table<Scripting>& items, qint32 taskId, std::vector<Scripting>& out);

// Whether two records of a table hold the same values in every field, memos included.
bool SameRecord(const TableDecl& decl, const void* a, const void* b);

namespace detail {

// What a child rule found: nothing in the way, or the error already reported.
struct RuleOutcome {
    bool ok = true;
    StoreError error;
};

// The first child holding the link value; nullopt when there is none, `error` set on a read
// error other than the end of the table.
template <class P>
std::optional<typename ChildLink<P>::Child> FirstChild(Table<typename ChildLink<P>::Child>& child,
                                                       const typename ChildLink<P>::Link& value,
                                                       StoreError& error) {
    using L = ChildLink<P>;
    typename L::Child c;
    L::seek(c, value);
    child.set(L::childKey, c);
    const Err e = child.next(c);
    if (e != Err::None) {
        if (e != Err::NoMoreRecords)
            error = child.error();
        return std::nullopt;
    }
    if (!L::holds(c, value))
        return std::nullopt;
    return c;
}

// Every child holding the link value, in key order; false after a read error (left in
// `error`).
template <class P>
bool Children(Table<typename ChildLink<P>::Child>& child, const typename ChildLink<P>::Link& value,
              std::vector<typename ChildLink<P>::Child>& out, StoreError& error) {
    using L = ChildLink<P>;
    typename L::Child c;
    L::seek(c, value);
    child.set(L::childKey, c);
    for (;;) {
        const Err e = child.next(c);
        if (e == Err::NoMoreRecords)
            return true;
        if (e != Err::None) {
            error = child.error();
            return false;
        }
        if (!L::holds(c, value))
            return true;
        out.push_back(c);
    }
}

} // namespace detail

// Reads the record at `rowid` again with change detection armed, for a change or a delete;
// when it cannot be read, says so with the standard retrieval warning and returns false.
template <class R> bool ReloadForChange(Table<R>& table, qint64 rowid, R& record, Dialogs& dialogs) {
    table.watch();
    if (table.fetch(rowid, record) == Err::None)
        return true;
    warn::RecordRetrieval(dialogs, R::decl().name, table.error());
    return false;
}

// Deletes the record last loaded into `record`, with its child rule.
template <class R> ChangeResult DeleteCurrent(Table<R>& table, R& record) {
    Dialogs& dialogs = table.store().dialogs();
    const QString& name = table.decl().name;
    const qint64 rowid = record.meta.rowid;
    Transaction t;
    auto fail = [&](auto&& report) {
        t.rollback();
        report();
        return ChangeResult::Failed;
    };
    if constexpr (ChildLink<R>::present) {
        using L = ChildLink<R>;
        using C = typename L::Child;
        Table<C> child(table.store());
        if (t.begin({&table, &child}) != Err::None) {
            warn::TransactionFraming(dialogs, QStringLiteral("Delete"), name, t.error());
            return ChangeResult::Failed;
        }
        if (table.fetch(rowid, record) != Err::None) {
            const StoreError saved = table.error();
            return fail([&] { warn::RecordRetrieval(dialogs, name, saved); });
        }
        const QString childName = child.decl().name;
        StoreError error;
        if constexpr (L::rule == LinkRule::Cascade) {
            std::vector<C> items;
            if (!detail::Children<R>(child, L::link(record), items, error))
                return fail([&] { warn::RecordRetrieval(dialogs, childName, error); });
            for (C& item : items) {
                if (child.remove(item) != Err::None) {
                    error = child.error();
                    return fail([&] { warn::DeleteError(dialogs, childName, error); });
                }
            }
        } else {
            if (detail::FirstChild<R>(child, L::link(record), error))
                return fail([&] { warn::ReferentialDelete(dialogs, childName); });
            if (!error.ok())
                return fail([&] { warn::RecordRetrieval(dialogs, childName, error); });
        }
        if (table.remove(record) != Err::None) {
            const StoreError saved = table.error();
            return fail([&] { warn::DeleteError(dialogs, name, saved); });
        }
    } else {
        if (t.begin({&table}) != Err::None) {
            warn::TransactionFraming(dialogs, QStringLiteral("Delete"), name, t.error());
            return ChangeResult::Failed;
        }
        if (table.fetch(rowid, record) != Err::None) {
            const StoreError saved = table.error();
            return fail([&] { warn::RecordRetrieval(dialogs, name, saved); });
        }
        if (table.remove(record) != Err::None) {
            const StoreError saved = table.error();
            return fail([&] { warn::DeleteError(dialogs, name, saved); });
        }
    }
    if (t.commit() != Err::None) {
        const StoreError saved = t.error();
        return fail([&] { warn::DeleteError(dialogs, name, saved); });
    }
    return ChangeResult::Done;
}

// Writes the edited record over the one last loaded. `originalLink` is the record's link
// value as the window loaded it (tables with a child); `longMessage` chooses the long text
// when another station changed the record meanwhile. After ChangedElsewhere `record` holds
// the other station's version, watched again.
template <class R>
ChangeResult UpdateCurrent(Table<R>& table, R& record, const R& original, bool longMessage) {
    Dialogs& dialogs = table.store().dialogs();
    const QString& name = table.decl().name;
    const qint64 rowid = record.meta.rowid;
    // A write rolled back leaves the record as loaded, so the next attempt is checked against
    // the same version.
    const RecordMeta before = record.meta;
    Transaction t;
    auto fail = [&](auto&& report) {
        t.rollback();
        record.meta = before;
        report();
        return ChangeResult::Failed;
    };
    auto changedElsewhere = [&] {
        t.rollback();
        warn::ChangedByOtherStation(dialogs, longMessage);
        table.watch();
        table.fetch(rowid, record);
        return ChangeResult::ChangedElsewhere;
    };
    if constexpr (ChildLink<R>::present) {
        using L = ChildLink<R>;
        using C = typename L::Child;
        Table<C> child(table.store());
        if (t.begin({&table, &child}) != Err::None) {
            warn::TransactionFraming(dialogs, QStringLiteral("Update"), name, t.error());
            return ChangeResult::Failed;
        }
        const Err e = table.put(record);
        if (e == Err::RecordChanged)
            return changedElsewhere();
        if (e != Err::None) {
            const StoreError saved = table.error();
            return fail([&] { warn::UpdateError(dialogs, name, saved); });
        }
        const auto oldLink = L::link(original);
        const bool linkChanged = [&] {
            // Names link without regard to letter case: "home" written as "Home" still links.
            if constexpr (std::is_same_v<typename L::Link, QString>)
                return Clip(L::link(record)).compare(Clip(oldLink), Qt::CaseInsensitive) != 0;
            else
                return L::link(record) != oldLink;
        }();
        if (linkChanged) {
            const QString childName = child.decl().name;
            StoreError error;
            if constexpr (L::rule == LinkRule::Cascade) {
                std::vector<C> items;
                if (!detail::Children<R>(child, oldLink, items, error))
                    return fail([&] { warn::RecordRetrieval(dialogs, childName, error); });
                for (C& item : items) {
                    L::relink(item, L::link(record));
                    if (child.put(item) != Err::None) {
                        error = child.error();
                        return fail([&] { warn::UpdateError(dialogs, childName, error); });
                    }
                }
            } else {
                if (detail::FirstChild<R>(child, oldLink, error)) {
                    L::setLink(record, oldLink);
                    return fail([&] { warn::ReferentialUpdate(dialogs, childName); });
                }
                if (!error.ok())
                    return fail([&] { warn::RecordRetrieval(dialogs, childName, error); });
            }
        }
    } else {
        if (t.begin({&table}) != Err::None) {
            warn::TransactionFraming(dialogs, QStringLiteral("Update"), name, t.error());
            return ChangeResult::Failed;
        }
        const Err e = table.put(record);
        if (e == Err::RecordChanged)
            return changedElsewhere();
        if (e != Err::None) {
            const StoreError saved = table.error();
            return fail([&] { warn::UpdateError(dialogs, name, saved); });
        }
    }
    if (t.commit() != Err::None) {
        const StoreError saved = t.error();
        return fail([&] { warn::UpdateError(dialogs, name, saved); });
    }
    return ChangeResult::Done;
}

namespace detail {
// The questions of the update windows; true when the user answers Yes, nullopt for Cancel.
std::optional<bool> AskSaveAgain(Dialogs& dialogs);
bool ConfirmDelete(Dialogs& dialogs);
bool AskDeleteAgain(Dialogs& dialogs);
} // namespace detail

// What the update window does after its OK button.
enum class EditOutcome {
    Saved,          // close, done
    Unsaved,        // close without saving
    Stay,           // back to the window
    StayFirstField, // back to the window, at its first field
    Redisplay,      // show the other station's version, now in the record
};

// The completion of one update window over one record. The window keeps the record as it
// was loaded when it opened; saving compares the edited record with it.
template <class R> class RecordEditor {
public:
    struct Options {
        // The update windows of to-do entries, holidays, contacts and contact categories
        // tell a change made meanwhile at length.
        bool longMessage = false;
        // The number was reserved by adding the record when the window opened (tasks,
        // contacts): an insert writes it over, and a cancel deletes it again.
        bool reserved = false;
        // Sets the station stamps before a change is compared and written.
        std::function<void(R&)> stamp;
        // How the duplicate-key warning names a key, when not by the table's own label.
        std::function<QString(int key)> keyLabel = {};
    };

    RecordEditor(Table<R>& table, Request request, const R& loaded, Options options)
        : table_(table)
        , request_(request)
        , loaded_(loaded)
        , options_(std::move(options)) {}

    Request request() const { return request_; }
    const R& loaded() const { return loaded_; }

    // The OK button, with the edited record.
    EditOutcome save(R& record) {
        Dialogs& dialogs = table_.store().dialogs();
        if (request_ == Request::Insert) {
            const Err e = options_.reserved ? table_.put(record) : table_.add(record);
            if (e == Err::None)
                return EditOutcome::Saved;
            if (e == Err::DuplicateKey) {
                const int key = table_.duplicateKey(record);
                QString label = key >= 0 && options_.keyLabel ? options_.keyLabel(key) : QString();
                if (label.isEmpty() && key >= 0)
                    label = table_.decl().keyLabel(key);
                warn::DuplicateKey(dialogs, label);
                return EditOutcome::StayFirstField;
            }
            warn::InsertError(dialogs, table_.error());
            return EditOutcome::Stay;
        }
        if (options_.stamp)
            options_.stamp(record);
        if (SameRecord(table_.decl(), &record, &loaded_))
            return EditOutcome::Saved; // nothing to write
        for (;;) {
            switch (UpdateCurrent(table_, record, loaded_, options_.longMessage)) {
            case ChangeResult::Done:
                return EditOutcome::Saved;
            case ChangeResult::ChangedElsewhere:
                loaded_ = record;
                return EditOutcome::Redisplay;
            case ChangeResult::Failed:
                break;
            }
            const std::optional<bool> again = detail::AskSaveAgain(dialogs);
            if (!again)
                return EditOutcome::Stay;
            if (!*again)
                return EditOutcome::Unsaved;
        }
    }

    // The delete request: asks, deletes, and asks again after a failure. True when the
    // record is gone.
    bool remove(R& record) {
        Dialogs& dialogs = table_.store().dialogs();
        if (!detail::ConfirmDelete(dialogs))
            return false;
        while (DeleteCurrent(table_, record) != ChangeResult::Done) {
            if (!detail::AskDeleteAgain(dialogs))
                return false;
        }
        return true;
    }

    // Cancel: a reserved insert is deleted again.
    void cancel(R& record) {
        if (request_ == Request::Insert && options_.reserved && record.meta.rowid != 0)
            table_.remove(record);
    }

private:
    Table<R>& table_;
    Request request_;
    R loaded_;
    Options options_;
};

} // namespace kr
