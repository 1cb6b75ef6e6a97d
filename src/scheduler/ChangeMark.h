#pragma once

// A mark that moves whenever the schedule may have changed: this process wrote through a
// table, or the kernel told of another process's write to the data file. Readers that remember
// it need not read again while it stands still. Empty when changes cannot be told that way (a
// data file on a network file system, a database server): then every look reads.

#include <cstdint>
#include <functional>
#include <optional>

namespace kr {

using ChangeMark = std::function<std::optional<std::uint64_t>()>;

// Whether the mark stood still since `last`, which it then holds.
inline bool Unchanged(const ChangeMark& mark, std::optional<std::uint64_t>& last) {
    const std::optional<std::uint64_t> now = mark ? mark() : std::nullopt;
    const bool same = now && last && *now == *last;
    last = now;
    return same;
}

} // namespace kr
