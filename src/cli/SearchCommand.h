#pragma once

// The search window's query by example from the command line: FIELD MATCH VALUE [VALUE2] ...
// turned into the window's own criteria.

#include "cli/TaskOptions.h"
#include "search/Match.h"

#include <QStringList>

#include <vector>

namespace kr::cli {

// The criteria of the words, every one to hold; throws UsageError naming what is wrong (a
// field, a match type the field does not offer, a missing value, a date that is none).
std::vector<Criterion> SearchCriteria(const QStringList& words);

} // namespace kr::cli
