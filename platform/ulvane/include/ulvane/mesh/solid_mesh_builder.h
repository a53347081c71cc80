#pragma once

#include <array>
#include <memory>

#include <ulvane/basic/common.h>
#include <ulvane/geometry/point.h>
#include <ulvane/mesh/solid_mesh.h>
#include <ulvane/mesh/vertex_set_builder.h>

namespace tarnix {

//! The editor of a `SolidMesh<3>`: points and tetrahedra are appended.
template <index_t D>
class SolidMeshBuilder : public VertexSetBuilder {
 public:
  explicit SolidMeshBuilder(SolidMesh<D>& solid);
  static std::unique_ptr<SolidMeshBuilder> create(SolidMesh<D>& solid);

  //! Appends a vertex: its index is the vertex count read before.
  index_t create_point(Point<D> const& point);
  //! \throw std::out_of_range "invalid vector subscript" beyond the count.
  void set_point(index_t vertex, Point<D> const& point);

  //! Appends the tetrahedron and returns its index; enabled edges and
  //! facets are extended with its new ones.
  //! \throw std::out_of_range "invalid vector subscript" for an unknown vertex.
  //! \throw UlvaneException when a vertex appears twice.
  index_t create_tetrahedron(std::array<index_t, 4> const& vertices);

 private:
  SolidMesh<D>& solid_;
};

using SolidMeshBuilder3D = SolidMeshBuilder<3>;

}  // namespace tarnix
