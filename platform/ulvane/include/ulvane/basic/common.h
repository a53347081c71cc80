#pragma once

#include <cstdint>
#include <limits>

namespace tarnix {

//! Element index of every mesh and component item.
using index_t = unsigned int;
//! Local index inside a polygon (vertex or edge 0..2).
using local_index_t = std::uint8_t;

//! "None" in attributes, maps and records.
inline constexpr index_t NO_ID = std::numeric_limits<index_t>::max();
inline constexpr local_index_t NO_LID = std::numeric_limits<local_index_t>::max();

}  // namespace tarnix
