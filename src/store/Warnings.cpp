#include "store/Warnings.h"

namespace kr::warn {

namespace {

void Show(Dialogs& d, const QString& text, const QString& caption) {
    d.message(text, QString(caption), Dialogs::Icon::Exclamation, Dialogs::Ok, Dialogs::Ok);
}

QString Quoted(const StoreError& e) {
    return QStringLiteral("Error: (") + e.describe() + QLatin1Char(')');
}

} // namespace

void TransactionFraming(Dialogs& d, const QString& action, const QString& table, const StoreError& e) {
    Show(d,
         Quoted(e) + QStringLiteral(" attempting to frame the ") + action.toLower() +
             QStringLiteral(" transaction on ") + table + QStringLiteral(".  ") + action +
             QStringLiteral(" transaction cancelled."),
         QStringLiteral("Transaction Framing Error"));
}

void RecordRetrieval(Dialogs& d, const QString& table, const StoreError& e) {
    Show(d,
         Quoted(e) + QStringLiteral(" attempting to access a ") + QStringLiteral("record from the ") + table +
             QStringLiteral(" file.  Returning to ") + QStringLiteral("previous window."),
         QStringLiteral("Record Retrieval Error"));
}

void ReferentialDelete(Dialogs& d, const QString& childTable) {
    Show(d,
         QStringLiteral("This record is referenced from the file ") + childTable +
             QStringLiteral(".  This record cannot be deleted while") +
             QStringLiteral(" these references exist."),
         QStringLiteral("Referential Integrity Delete Error"));
}

void ReferentialUpdate(Dialogs& d, const QString& childTable) {
    Show(d,
         QStringLiteral("This record is referenced from the file ") + childTable +
             QStringLiteral(".  Linking field(s) have been restricted") +
             QStringLiteral(" from change and have been reset to original values."),
         QStringLiteral("Referential Integrity Update Error"));
}

void DeleteError(Dialogs& d, const QString& table, const StoreError& e) {
    Show(d,
         QStringLiteral("An error (") + e.describe() + QStringLiteral(") was experienced") +
             QStringLiteral(" when attempting to delete a record from the file ") + table + QLatin1Char('.'),
         QStringLiteral("Delete Operation Error"));
}

void UpdateError(Dialogs& d, const QString& table, const StoreError& e) {
    Show(d,
         QStringLiteral("An error (") + e.describe() + QStringLiteral(") was experienced") +
             QStringLiteral(" when attempting to update a record from the file.  Probable Cause: ") + table +
             QLatin1Char('.'),
         QStringLiteral("Update Operation Error"));
}

void ChangedByOtherStation(Dialogs& d, bool longMessage) {
    if (longMessage)
        Show(
            d,
            QStringLiteral("This record was changed by another station. Those changes will now be displayed. "
                           "Use the Ditto Button or Ctrl+' to recall your changes."),
            QStringLiteral("Record Was Not Updated"));
    else
        Show(d, QStringLiteral("This record was changed by another station."),
             QStringLiteral("Update Operation Error"));
}

void InsertError(Dialogs& d, const StoreError& e) {
    Show(d,
         QStringLiteral("An error was experienced during the update of record.  Error: ") + e.describe() +
             QLatin1Char('.'),
         QStringLiteral("Record Insert Error"));
}

void DuplicateKey(Dialogs& d, const QString& keyDescription) {
    Show(d, QStringLiteral("Adding this record creates a duplicate entry for the key:") + keyDescription,
         QStringLiteral("Duplicate Key Error"));
}

void Range(Dialogs& d, const QString& field, const QString& range) {
    Show(d,
         QStringLiteral("The value of ") + field + QStringLiteral(" must be ") + QStringLiteral("between ") +
             range + QLatin1Char('.'),
         QStringLiteral("Range Error"));
}

void ViewOpen(Dialogs& d, const QString& table, const StoreError& e) {
    Show(d,
         Quoted(e) + QStringLiteral(" attempting to open the ") + QStringLiteral("current VIEW.") +
             QLatin1Char('\n') + QStringLiteral("Filter and Range Limits ignored.") + QStringLiteral("\n\n") +
             QStringLiteral("Related File: ") + table,
         QStringLiteral("View Open Error"));
}

void ProcessChange(Dialogs& d, const QString& table, const StoreError& e) {
    Show(d,
         QStringLiteral("An error was experienced when making changes to the ") + table +
             QStringLiteral(" file.  Error: ") + e.describe(),
         QStringLiteral("Process PUT Error"));
}

void ProcessDelete(Dialogs& d, const QString& table, const StoreError& e) {
    Show(d,
         QStringLiteral("An error was experienced when deleting a record from the ") + table +
             QStringLiteral(" file.  Error: ") + e.describe(),
         QStringLiteral("Process DELETE Error"));
}

bool FileError(Dialogs& d, const QString& name, const StoreError& e, bool offerRetry) {
    const QString text = Quoted(e) + QStringLiteral(" accessing the file ") + name + QLatin1Char('.');
    if (!offerRetry) {
        Show(d, text, QStringLiteral("File Error"));
        return false;
    }
    return d.message(text, QStringLiteral("File Error"), Dialogs::Icon::Exclamation,
                     Dialogs::Retry | Dialogs::Cancel, Dialogs::Cancel) == Dialogs::Retry;
}

void RequestNotAllowed(Dialogs& d, Request request) {
    QString what;
    switch (request) {
    case Request::Insert:
        what = QStringLiteral("insert a record, however inserts");
        break;
    case Request::Change:
        what = QStringLiteral("change a record, however changes");
        break;
    case Request::Delete:
        what = QStringLiteral("delete a record, however deletions");
        break;
    }
    Show(d,
         QStringLiteral("This procedure was called to ") + what +
             QStringLiteral(
                 " are not allowed for this procedure.  Press OK to return to the calling procedure"),
         QStringLiteral("Invalid Request"));
}

} // namespace kr::warn
