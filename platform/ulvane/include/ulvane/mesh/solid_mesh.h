#pragma once

#include <array>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include <absl/container/flat_hash_map.h>

#include <ulvane/basic/attribute_manager.h>
#include <ulvane/basic/common.h>
#include <ulvane/geometry/point.h>
#include <ulvane/mesh/vertex_set.h>

namespace tarnix {

template <index_t D>
class SolidMeshBuilder;

//! A tetrahedral solid of dimension 3, the mesh of a block.
//!
//! Its edges and facets (triangles) are derived from the tetrahedra on
//! request: once `enable_edges()` or `enable_facets()` has been called,
//! they are listed without duplicates, in the order they are first met
//! through the tetrahedra, and kept up to date as tetrahedra are added.
//! Enabling changes no tetrahedron, so it is allowed on a const mesh.
//!
//! Index arguments out of range raise `std::out_of_range` "invalid vector
//! subscript".
template <index_t D>
class SolidMesh : public VertexSet {
  static_assert(D == 3, "solids have dimension 3");
  friend class SolidMeshBuilder<D>;

 public:
  static std::unique_ptr<SolidMesh> create();
  //! A copy with the same points, tetrahedra, derived elements and
  //! attributes.
  std::unique_ptr<SolidMesh> clone() const;

  Point<D> const& point(index_t vertex) const { return detail::checked_at(points_, vertex); }

  index_t nb_polyhedra() const { return static_cast<index_t>(tetrahedra_.size()); }
  std::array<index_t, 4> const& tetrahedron_vertices(index_t tetrahedron) const {
    return detail::checked_at(tetrahedra_, tetrahedron);
  }
  //! The tetrahedron attributes; modifiable through a const mesh.
  AttributeManager& polyhedron_attribute_manager() const { return *polyhedron_attributes_; }

  void enable_edges() const;
  bool are_edges_enabled() const { return edges_enabled_; }
  //! 0 while edges are not enabled.
  index_t nb_edges() const { return static_cast<index_t>(edges_.size()); }
  //! The two vertices, in increasing index.
  std::array<index_t, 2> const& edge_vertices(index_t edge) const {
    return detail::checked_at(edges_, edge);
  }

  void enable_facets() const;
  bool are_facets_enabled() const { return facets_enabled_; }
  //! 0 while facets are not enabled.
  index_t nb_facets() const { return static_cast<index_t>(facets_.size()); }
  //! The three vertices, in increasing index.
  std::array<index_t, 3> const& facet_vertices(index_t facet) const {
    return detail::checked_at(facets_, facet);
  }

  //! "SolidMesh3D".
  std::string type_name() const override;
  std::string impl_name() const override { return type_name(); }

 private:
  SolidMesh();
  void add_derived_elements(std::array<index_t, 4> const& tetrahedron) const;
  void add_edges(std::array<index_t, 4> const& tetrahedron) const;
  void add_facets(std::array<index_t, 4> const& tetrahedron) const;

  std::deque<Point<D>> points_;
  std::vector<std::array<index_t, 4>> tetrahedra_;
  std::unique_ptr<AttributeManager> polyhedron_attributes_;

  // Derived elements: a cache of the tetrahedra, hence mutable.
  mutable bool edges_enabled_{false};
  mutable bool facets_enabled_{false};
  mutable std::vector<std::array<index_t, 2>> edges_;
  mutable absl::flat_hash_map<std::array<index_t, 2>, index_t> edge_ids_;
  mutable std::vector<std::array<index_t, 3>> facets_;
  mutable absl::flat_hash_map<std::array<index_t, 3>, index_t> facet_ids_;
};

using SolidMesh3D = SolidMesh<3>;

}  // namespace tarnix
