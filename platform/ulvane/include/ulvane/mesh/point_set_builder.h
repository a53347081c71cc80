#pragma once

#include <memory>
#include <vector>

#include <absl/types/span.h>

#include <ulvane/basic/common.h>
#include <ulvane/geometry/point.h>
#include <ulvane/mesh/point_set.h>
#include <ulvane/mesh/vertex_set_builder.h>

namespace tarnix {

//! The editor of a `PointSet<D>`. Every edit drives the vertex attribute
//! registry, so attribute values follow their vertices.
//!
//! Index arguments out of range raise `std::out_of_range` "invalid vector
//! subscript".
template <index_t D>
class PointSetBuilder : public VertexSetBuilder {
 public:
  explicit PointSetBuilder(PointSet<D>& point_set);
  static std::unique_ptr<PointSetBuilder> create(PointSet<D>& point_set);

  //! Appends a vertex: its index is the vertex count read before.
  index_t create_point(Point<D> const& point);
  void set_point(index_t vertex, Point<D> const& point);

  //! Removes the flagged vertices, keeping the order of the others.
  //! \return entry i: the new index of vertex i, or NO_ID.
  //! \throw UlvaneException unless there is one flag per vertex.
  std::vector<index_t> delete_vertices(std::vector<bool> const& to_delete);

  //! Afterwards vertex k is what vertex permutation[k] was.
  //! \throw UlvaneException when the indices are not a permutation.
  void permute_vertices(absl::Span<const index_t> permutation);

 private:
  PointSet<D>& point_set_;
};

using PointSetBuilder2D = PointSetBuilder<2>;
using PointSetBuilder3D = PointSetBuilder<3>;

}  // namespace tarnix
