#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include <absl/container/inlined_vector.h>
#include <absl/types/span.h>

#include <ulvane/basic/attribute_manager.h>
#include <ulvane/basic/common.h>
#include <ulvane/mesh/mesh_handles.h>
#include <ulvane/mesh/vertex_set.h>

namespace tarnix {

template <index_t D>
class EdgedCurveBuilder;

//! Vertices joined by edges, without geometry. Edge e runs from its vertex
//! 0 to its vertex 1.
//!
//! Index arguments out of range raise `std::out_of_range` "invalid vector
//! subscript".
class Graph : public VertexSet {
  template <index_t D>
  friend class EdgedCurveBuilder;

 public:
  index_t nb_edges() const { return static_cast<index_t>(edges_.size()); }

  //! The vertex at the given end of the edge.
  index_t edge_vertex(EdgeVertex const& edge_vertex) const;
  std::array<index_t, 2> const& edge_vertices(index_t edge) const;

  //! The edge ends at the vertex, in increasing edge index: the order the
  //! edges were created in, as long as no edge was permuted.
  std::vector<EdgeVertex> edges_around_vertex(index_t vertex) const;

  //! The edge attributes; modifiable through a const mesh, since
  //! algorithms attach working attributes to meshes they only read.
  AttributeManager& edge_attribute_manager() const { return *edge_attributes_; }

  std::string type_name() const override { return "Graph"; }
  std::string impl_name() const override { return "Graph"; }

 protected:
  Graph();
  //! Replaces this graph's topology and attributes by clones of the other's.
  void copy_graph(Graph const& other);

 private:
  // Edits, driven by the builders. Each keeps the per-vertex edge lists and
  // both attribute registries in step with the topology; the builders move
  // the geometry alongside.
  void add_vertices(index_t count);
  index_t add_edge(index_t v0, index_t v1);
  //! Edge e becomes (v0, vertex) and a new edge (vertex, v1) is appended.
  index_t split_edge(index_t edge, index_t vertex);
  //! \return old2new of the edges (NO_ID for a deleted one).
  std::vector<index_t> remove_edges(std::vector<bool> const& to_delete);
  //! \return old2new of the vertices (NO_ID for a deleted one).
  std::vector<index_t> remove_isolated_vertices();
  //! Afterwards vertex k is what vertex permutation[k] was.
  void permute_vertices(absl::Span<const index_t> permutation);
  //! Afterwards edge k is what edge permutation[k] was.
  void permute_edges(absl::Span<const index_t> permutation);
  void rebuild_vertex_edges();

  std::vector<std::array<index_t, 2>> edges_;
  std::vector<absl::InlinedVector<EdgeVertex, 2>> vertex_edges_;
  std::unique_ptr<AttributeManager> edge_attributes_;
};

}  // namespace tarnix
