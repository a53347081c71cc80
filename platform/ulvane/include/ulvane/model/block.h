#pragma once

#include <memory>

#include <ulvane/mesh/solid_mesh.h>
#include <ulvane/model/component.h>

namespace tarnix {

//! A volume of a 3D model, bounded by surfaces.
template <index_t D>
class Block : public Component<SolidMesh<D>> {
 public:
  Block(uuid id, std::unique_ptr<SolidMesh<D>> mesh)
      : Component<SolidMesh<D>>(std::move(id), std::move(mesh)) {}

  static ComponentType component_type_static() { return ComponentType{"Block"}; }
  ComponentType component_type() const { return component_type_static(); }
  ComponentID component_id() const { return {component_type_static(), this->id()}; }
};

using Block3D = Block<3>;

}  // namespace tarnix
