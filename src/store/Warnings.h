#pragma once

// The standard warnings about table operations. Each names the table and shows the saved
// error's text and number.

#include "platform/Dialogs.h"
#include "store/Errors.h"

namespace kr::warn {

enum class Request { Insert, Change, Delete };

// "Delete", "Update", ... : the action as the user reads it.
void TransactionFraming(Dialogs& d, const QString& action, const QString& table, const StoreError& e);
void RecordRetrieval(Dialogs& d, const QString& table, const StoreError& e);
void ReferentialDelete(Dialogs& d, const QString& childTable);
void ReferentialUpdate(Dialogs& d, const QString& childTable);
void DeleteError(Dialogs& d, const QString& table, const StoreError& e);
void UpdateError(Dialogs& d, const QString& table, const StoreError& e);
void ChangedByOtherStation(Dialogs& d, bool longMessage);
void InsertError(Dialogs& d, const StoreError& e);
void DuplicateKey(Dialogs& d, const QString& keyDescription);
void Range(Dialogs& d, const QString& field, const QString& range);
void ViewOpen(Dialogs& d, const QString& table, const StoreError& e);
void ProcessChange(Dialogs& d, const QString& table, const StoreError& e);
void ProcessDelete(Dialogs& d, const QString& table, const StoreError& e);
void RequestNotAllowed(Dialogs& d, Request request);
// A table or file that could not be read or written, named by its table; with `offerRetry`
// the user may try again (true) or give up.
bool FileError(Dialogs& d, const QString& name, const StoreError& e, bool offerRetry = false);

} // namespace kr::warn
