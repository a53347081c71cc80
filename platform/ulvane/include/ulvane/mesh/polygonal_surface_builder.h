#pragma once

#include <memory>

#include <absl/types/span.h>

#include <ulvane/mesh/polygonal_surface.h>
#include <ulvane/mesh/surface_mesh_builder.h>

namespace tarnix {

//! The editor of a `PolygonalSurface<D>`.
template <index_t D>
class PolygonalSurfaceBuilder : public SurfaceMeshBuilder<D> {
 public:
  static std::unique_ptr<PolygonalSurfaceBuilder> create(PolygonalSurface<D>& mesh);

  //! Appends an active polygon of 3 to 254 distinct vertices and returns
  //! its id. \throw UlvaneException for a bad vertex list.
  using SurfaceMeshBuilder<D>::create_polygon;

 protected:
  explicit PolygonalSurfaceBuilder(PolygonalSurface<D>& mesh) : SurfaceMeshBuilder<D>(mesh) {}
};

using PolygonalSurfaceBuilder2D = PolygonalSurfaceBuilder<2>;
using PolygonalSurfaceBuilder3D = PolygonalSurfaceBuilder<3>;

}  // namespace tarnix
