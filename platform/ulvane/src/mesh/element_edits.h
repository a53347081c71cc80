#pragma once

#include <string>
#include <utility>
#include <vector>

#include <absl/strings/str_cat.h>
#include <absl/types/span.h>

#include <ulvane/basic/attribute_manager.h>
#include <ulvane/basic/common.h>
#include <ulvane/basic/ulvane_exception.h>

// Element bookkeeping shared by the mesh builders: validated permutations
// and order-keeping compaction.

namespace tarnix {
namespace detail {

//! The inverse of a permutation in the registry's convention (afterwards
//! element k is what element permutation[k] was): entry i is the new index
//! of old element i.
//! \throw UlvaneException when it is not a permutation of [0, nb_elements).
inline std::vector<index_t> inverse_permutation(absl::Span<const index_t> permutation,
                                                index_t nb_elements, char const* operation) {
  if (permutation.size() != nb_elements) {
    throw UlvaneException(operation, absl::StrCat(" Expected ", nb_elements, " indices, got ",
                                                  permutation.size()));
  }
  std::vector<index_t> old2new(nb_elements, NO_ID);
  for (index_t k = 0; k < nb_elements; ++k) {
    const index_t old = permutation[k];
    if (old >= nb_elements || old2new[old] != NO_ID) {
      throw UlvaneException(operation, " The indices are not a permutation");
    }
    old2new[old] = k;
  }
  return old2new;
}

//! Moves element permutation[k] to place k.
template <typename Container>
void apply_permutation(Container& values, absl::Span<const index_t> permutation) {
  Container permuted;
  for (const index_t old : permutation) permuted.push_back(std::move(values[old]));
  values = std::move(permuted);
}

//! Removes the flagged elements, keeping the order of the others.
template <typename Container>
void compact(Container& values, std::vector<bool> const& to_delete) {
  std::size_t kept = 0;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i < to_delete.size() && to_delete[i]) continue;
    if (kept != i) values[kept] = std::move(values[i]);
    ++kept;
  }
  values.erase(values.begin() + static_cast<std::ptrdiff_t>(kept), values.end());
}

//! Entry i is the new index of element i once the flagged ones are removed.
inline std::vector<index_t> old_to_new(std::vector<bool> const& to_delete,
                                       index_t nb_elements) {
  std::vector<index_t> old2new(nb_elements, NO_ID);
  index_t next = 0;
  for (index_t i = 0; i < nb_elements; ++i) {
    if (i < to_delete.size() && to_delete[i]) continue;
    old2new[i] = next++;
  }
  return old2new;
}

//! Appends a point and sizes the vertex attributes to the new count.
//! \return the new vertex: the count read before.
template <typename Points, typename Point>
index_t append_point(Points& points, AttributeManager& vertex_attributes, Point const& point) {
  const auto vertex = static_cast<index_t>(points.size());
  points.push_back(point);
  vertex_attributes.resize(vertex + 1);
  return vertex;
}

}  // namespace detail
}  // namespace tarnix
