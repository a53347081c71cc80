#include <ulvane/mesh/point_set_builder.h>

#include <string>

#include <ulvane/basic/ulvane_exception.h>

#include "element_edits.h"

namespace tarnix {

template <index_t D>
PointSetBuilder<D>::PointSetBuilder(PointSet<D>& point_set)
    : VertexSetBuilder(point_set), point_set_(point_set) {}

template <index_t D>
std::unique_ptr<PointSetBuilder<D>> PointSetBuilder<D>::create(PointSet<D>& point_set) {
  return std::make_unique<PointSetBuilder>(point_set);
}

template <index_t D>
index_t PointSetBuilder<D>::create_point(Point<D> const& point) {
  return detail::append_point(point_set_.points_, point_set_.vertex_attribute_manager(), point);
}

template <index_t D>
void PointSetBuilder<D>::set_point(index_t vertex, Point<D> const& point) {
  detail::checked_at(point_set_.points_, vertex) = point;
}

template <index_t D>
std::vector<index_t> PointSetBuilder<D>::delete_vertices(std::vector<bool> const& to_delete) {
  if (to_delete.size() != point_set_.nb_vertices()) {
    throw UlvaneException("[PointSetBuilder::delete_vertices] Expected one flag per vertex, got ",
                          std::to_string(to_delete.size()));
  }
  auto old2new = detail::old_to_new(to_delete, point_set_.nb_vertices());
  detail::compact(point_set_.points_, to_delete);
  point_set_.vertex_attribute_manager().delete_elements(to_delete);
  return old2new;
}

template <index_t D>
void PointSetBuilder<D>::permute_vertices(absl::Span<const index_t> permutation) {
  detail::inverse_permutation(permutation, point_set_.nb_vertices(),
                              "[PointSetBuilder::permute_vertices]");
  detail::apply_permutation(point_set_.points_, permutation);
  point_set_.vertex_attribute_manager().permute_elements(permutation);
}

template class PointSetBuilder<2>;
template class PointSetBuilder<3>;

}  // namespace tarnix
