#pragma once

#include <algorithm>
#include <cstddef>

#include <absl/container/flat_hash_set.h>
#include <absl/container/inlined_vector.h>

namespace tarnix {
namespace detail {

//! The ids of the few triangles or vertices one local search of the
//! working surface meets: a linear search while they are few, a hash set
//! beyond.
class SmallIdSet {
 public:
  //! Adds the id; false when it was there already.
  bool insert(unsigned int id) {
    if (hashed_.empty()) {
      if (std::find(ids_.begin(), ids_.end(), id) != ids_.end()) return false;
      if (ids_.size() < LINEAR_SIZE) {
        ids_.push_back(id);
        return true;
      }
      hashed_.insert(ids_.begin(), ids_.end());
    }
    return hashed_.insert(id).second;
  }

 private:
  static constexpr std::size_t LINEAR_SIZE = 32;
  absl::InlinedVector<unsigned int, LINEAR_SIZE> ids_;
  absl::flat_hash_set<unsigned int> hashed_;
};

}  // namespace detail
}  // namespace tarnix
