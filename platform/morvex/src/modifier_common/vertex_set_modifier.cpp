#include <morvex/modifier_common/vertex_set_modifier.h>

#include <absl/container/inlined_vector.h>

namespace tarnix {

index_t VertexSetModifier::updated_vertex(index_t vertex) const {
  absl::InlinedVector<index_t, 8> path;
  index_t current = vertex;
  for (auto found = merged_into_.find(current); found != merged_into_.end();
       found = merged_into_.find(current)) {
    path.push_back(current);
    current = found->second;
  }
  // Point every vertex of the chain straight at the end, except the last,
  // which already does.
  for (std::size_t i = 0; i + 1 < path.size(); ++i) merged_into_[path[i]] = current;
  return current;
}

void VertexSetModifier::record_merge(index_t merged, index_t remaining) {
  const index_t target = updated_vertex(remaining);
  // A vertex merged into itself (directly or through a chain) would make a
  // cycle of the translation; there is nothing to record then.
  if (target == merged) return;
  merged_into_[merged] = target;
}

}  // namespace tarnix
