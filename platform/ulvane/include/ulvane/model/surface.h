#pragma once

#include <memory>

#include <ulvane/mesh/surface_mesh.h>
#include <ulvane/model/component.h>

namespace tarnix {

//! A surface of a model, bounded by lines. Its mesh is a `SurfaceMesh<D>`
//! of the type the builder chose (a `TriangulatedSurface<D>` by default).
template <index_t D>
class Surface : public Component<SurfaceMesh<D>> {
 public:
  Surface(uuid id, std::unique_ptr<SurfaceMesh<D>> mesh)
      : Component<SurfaceMesh<D>>(std::move(id), std::move(mesh)) {}

  static ComponentType component_type_static() { return ComponentType{"Surface"}; }
  ComponentType component_type() const { return component_type_static(); }
  ComponentID component_id() const { return {component_type_static(), this->id()}; }
};

using Surface2D = Surface<2>;
using Surface3D = Surface<3>;

}  // namespace tarnix
