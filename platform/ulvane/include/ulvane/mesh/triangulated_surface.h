#pragma once

#include <memory>
#include <string>

#include <ulvane/geometry/basic_objects.h>
#include <ulvane/mesh/surface_mesh.h>

namespace tarnix {

//! A surface mesh whose polygons are all triangles. Edge e of triangle t
//! runs from local vertex e to (e + 1) mod 3; the previous vertex of an
//! edge's first vertex is the vertex opposite the edge.
template <index_t D>
class TriangulatedSurface : public SurfaceMesh<D> {
 public:
  static std::unique_ptr<TriangulatedSurface> create();

  //! The three points of the triangle.
  Triangle<D> triangle(index_t triangle) const;

  std::unique_ptr<TriangulatedSurface> clone() const;

  //! "TriangulatedSurface2D" or "TriangulatedSurface3D".
  std::string type_name() const override;
  //! The builder factory key; the same text as `type_name`.
  std::string impl_name() const override { return type_name(); }

 protected:
  TriangulatedSurface() = default;

 private:
  std::unique_ptr<SurfaceMesh<D>> clone_surface() const override { return clone(); }
};

using TriangulatedSurface2D = TriangulatedSurface<2>;
using TriangulatedSurface3D = TriangulatedSurface<3>;

}  // namespace tarnix
