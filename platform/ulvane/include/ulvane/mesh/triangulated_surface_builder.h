#pragma once

#include <array>
#include <memory>

#include <ulvane/mesh/surface_mesh_builder.h>
#include <ulvane/mesh/triangulated_surface.h>

namespace tarnix {

//! The editor of a `TriangulatedSurface<D>`.
template <index_t D>
class TriangulatedSurfaceBuilder : public SurfaceMeshBuilder<D> {
 public:
  static std::unique_ptr<TriangulatedSurfaceBuilder> create(TriangulatedSurface<D>& mesh);

  TriangulatedSurface<D>& triangulated_surface() const { return mesh_; }

  //! Appends an active triangle with no adjacency and returns its id (the
  //! polygon count before the call). Vertices without an associated
  //! corner get their corner in it. Polygon attributes get their defaults.
  //! \throw UlvaneException for an unknown or repeated vertex.
  index_t create_triangle(std::array<index_t, 3> const& vertices);
  //! Same, and the derivable polygon attributes copy the parent's values.
  index_t create_triangle(std::array<index_t, 3> const& vertices, index_t parent);

 protected:
  explicit TriangulatedSurfaceBuilder(TriangulatedSurface<D>& mesh)
      : SurfaceMeshBuilder<D>(mesh), mesh_(mesh) {}

 private:
  TriangulatedSurface<D>& mesh_;
};

using TriangulatedSurfaceBuilder2D = TriangulatedSurfaceBuilder<2>;
using TriangulatedSurfaceBuilder3D = TriangulatedSurfaceBuilder<3>;

}  // namespace tarnix
