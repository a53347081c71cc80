#pragma once

#include <memory>
#include <vector>

#include <absl/types/span.h>

#include <ulvane/basic/common.h>
#include <ulvane/geometry/point.h>
#include <ulvane/mesh/edged_curve.h>
#include <ulvane/mesh/vertex_set_builder.h>

namespace tarnix {

//! The editor of an `EdgedCurve<D>`. Every edit drives the vertex and edge
//! attribute registries, so attribute values (unique-vertex links among
//! them) follow their elements through deletions and permutations.
//!
//! Index arguments out of range raise `std::out_of_range` "invalid vector
//! subscript".
template <index_t D>
class EdgedCurveBuilder : public VertexSetBuilder {
 public:
  explicit EdgedCurveBuilder(EdgedCurve<D>& curve);
  static std::unique_ptr<EdgedCurveBuilder> create(EdgedCurve<D>& curve);

  //! Appends a vertex: its index is the vertex count read before.
  index_t create_point(Point<D> const& point);
  void set_point(index_t vertex, Point<D> const& point);

  //! Appends the edge from v0 to v1 and returns its index.
  //! \throw UlvaneException when v0 == v1.
  index_t create_edge(index_t v0, index_t v1);

  //! Splits edge e = (v0, v1) at an existing vertex: e becomes (v0, vertex)
  //! and the appended edge (vertex, v1), whose index is returned. Derivable
  //! edge attributes copy e's value onto the new edge.
  //! \throw UlvaneException when the vertex is an end of the edge.
  index_t split_edge(index_t edge, index_t vertex);

  //! Removes the flagged edges, keeping the order of the others; their
  //! vertices stay. \return entry i: the new index of edge i, or NO_ID.
  //! \throw UlvaneException unless there is one flag per edge.
  std::vector<index_t> delete_edges(std::vector<bool> const& to_delete);

  //! Removes the vertices of no edge, keeping the order of the others.
  //! \return entry i: the new index of vertex i, or NO_ID.
  std::vector<index_t> delete_isolated_vertices();

  //! Afterwards vertex k is what vertex permutation[k] was.
  //! \throw UlvaneException when the indices are not a permutation.
  void permute_vertices(absl::Span<const index_t> permutation);
  //! Afterwards edge k is what edge permutation[k] was.
  //! \throw UlvaneException when the indices are not a permutation.
  void permute_edges(absl::Span<const index_t> permutation);

 private:
  EdgedCurve<D>& curve_;
};

using EdgedCurveBuilder2D = EdgedCurveBuilder<2>;
using EdgedCurveBuilder3D = EdgedCurveBuilder<3>;

}  // namespace tarnix
