#pragma once

// A count of the writes this process has made through the tables (every add, change and
// removal, whether it succeeded or not). A reader that remembers it can tell that nothing of
// its own changed since it last looked, without asking the database; another process's writes
// are for it to notice otherwise.

#include <cstdint>

namespace kr {

std::uint64_t WritesThroughTables();

} // namespace kr
