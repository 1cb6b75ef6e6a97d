#pragma once

// The search window's query by example from the command line: FIELD MATCH VALUE [VALUE2] ...
// turned into the window's own criteria.

#include "cli/TaskOptions.h"
#include "platform/Progress.h"
#include "search/Match.h"
#include "store/Store.h"

#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

namespace kr::cli {

// The criteria of the words, every one to hold; throws UsageError naming what is wrong (a
// field, a match type the field does not offer, a missing value, a date that is none).
std::vector<Criterion> SearchCriteria(const QStringList& words);

// Tags the tasks the criteria match for the "Selected" view, as the search window's Select
// does, under the progress's title and its Cancel; tags written before a Cancel or a failure
// are kept. The tasks matched; `error` says why the tasks or the tags could not be read or
// written, and is empty otherwise.
qint64 SelectMatches(Store& store, std::vector<Criterion> criteria, const QString& user, Progress& progress,
                     QString& error);

// Opens the data again, for a part of a scan that runs beside the others.
using StoreOpener = std::function<std::shared_ptr<Store>()>;

// The tasks the criteria match, in the order the search window's scan finds them, with the
// fields given read (and those of the criteria; empty: every field). A scan of the whole table
// is shared among the processor's cores, each part of the rows on a connection of its own
// (`open` gives one), at least `rowsPerPart` rows each; a keyed one runs alone. Throws Failure
// when the tasks cannot be read.
std::vector<Schedule> FindTasks(Store& store, const std::vector<Criterion>& criteria, const QString& user,
                                const std::vector<int>& fields, const StoreOpener& open,
                                qint64 rowsPerPart = 100000);

} // namespace kr::cli
