#pragma once

#include <memory>
#include <string>

#include <ulvane/mesh/surface_mesh.h>

namespace tarnix {

//! A surface mesh whose polygons may have any number of vertices (3 to 254).
template <index_t D>
class PolygonalSurface : public SurfaceMesh<D> {
 public:
  static std::unique_ptr<PolygonalSurface> create();

  std::unique_ptr<PolygonalSurface> clone() const;

  //! "PolygonalSurface2D" or "PolygonalSurface3D".
  std::string type_name() const override;
  //! The builder factory key; the same text as `type_name`.
  std::string impl_name() const override { return type_name(); }

 protected:
  PolygonalSurface() = default;

 private:
  std::unique_ptr<SurfaceMesh<D>> clone_surface() const override { return clone(); }
};

using PolygonalSurface2D = PolygonalSurface<2>;
using PolygonalSurface3D = PolygonalSurface<3>;

}  // namespace tarnix
