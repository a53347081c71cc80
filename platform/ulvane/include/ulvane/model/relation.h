#pragma once

#include <algorithm>
#include <vector>

#include <absl/container/flat_hash_map.h>

#include <ulvane/basic/uuid.h>
#include <ulvane/model/component_range.h>

namespace tarnix {
namespace detail {

//! A relation between components, navigable both ways. Each side lists its
//! partners in the order the pairs were added; a pair is stored once.
template <typename From, typename To>
class Relation {
 public:
  //! \return false when the pair was already there.
  bool add(From const& from, To const& to) {
    auto& targets = targets_[from.id()];
    if (std::find(targets.begin(), targets.end(), &to) != targets.end()) return false;
    targets.push_back(&to);
    sources_[to.id()].push_back(&from);
    return true;
  }

  RelatedComponentRange<To> targets(From const& from) const { return range(targets_, from); }
  RelatedComponentRange<From> sources(To const& to) const { return range(sources_, to); }

 private:
  template <typename Component, typename Key>
  static RelatedComponentRange<Component> range(
      absl::flat_hash_map<uuid, std::vector<Component const*>> const& lists, Key const& key) {
    static const std::vector<Component const*> none;
    const auto found = lists.find(key.id());
    auto const& list = found == lists.end() ? none : found->second;
    return {list.begin(), list.end()};
  }

  absl::flat_hash_map<uuid, std::vector<To const*>> targets_;
  absl::flat_hash_map<uuid, std::vector<From const*>> sources_;
};

}  // namespace detail
}  // namespace tarnix
