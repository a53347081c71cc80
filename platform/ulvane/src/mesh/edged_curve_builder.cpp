#include <ulvane/mesh/edged_curve_builder.h>

#include "element_edits.h"

namespace tarnix {

template <index_t D>
EdgedCurveBuilder<D>::EdgedCurveBuilder(EdgedCurve<D>& curve)
    : VertexSetBuilder(curve), curve_(curve) {}

template <index_t D>
std::unique_ptr<EdgedCurveBuilder<D>> EdgedCurveBuilder<D>::create(EdgedCurve<D>& curve) {
  return std::make_unique<EdgedCurveBuilder>(curve);
}

template <index_t D>
index_t EdgedCurveBuilder<D>::create_point(Point<D> const& point) {
  const index_t vertex = curve_.nb_vertices();
  curve_.points_.push_back(point);
  curve_.add_vertices(1);
  return vertex;
}

template <index_t D>
void EdgedCurveBuilder<D>::set_point(index_t vertex, Point<D> const& point) {
  detail::checked_at(curve_.points_, vertex) = point;
}

template <index_t D>
index_t EdgedCurveBuilder<D>::create_edge(index_t v0, index_t v1) {
  return curve_.add_edge(v0, v1);
}

template <index_t D>
index_t EdgedCurveBuilder<D>::split_edge(index_t edge, index_t vertex) {
  return curve_.split_edge(edge, vertex);
}

template <index_t D>
std::vector<index_t> EdgedCurveBuilder<D>::delete_edges(std::vector<bool> const& to_delete) {
  return curve_.remove_edges(to_delete);
}

template <index_t D>
std::vector<index_t> EdgedCurveBuilder<D>::delete_isolated_vertices() {
  auto old2new = curve_.remove_isolated_vertices();
  std::vector<bool> deleted(old2new.size());
  for (std::size_t v = 0; v < old2new.size(); ++v) deleted[v] = old2new[v] == NO_ID;
  detail::compact(curve_.points_, deleted);
  return old2new;
}

template <index_t D>
void EdgedCurveBuilder<D>::permute_vertices(absl::Span<const index_t> permutation) {
  curve_.permute_vertices(permutation);
  detail::apply_permutation(curve_.points_, permutation);
}

template <index_t D>
void EdgedCurveBuilder<D>::permute_edges(absl::Span<const index_t> permutation) {
  curve_.permute_edges(permutation);
}

template class EdgedCurveBuilder<2>;
template class EdgedCurveBuilder<3>;

}  // namespace tarnix
