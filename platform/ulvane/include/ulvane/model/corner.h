#pragma once

#include <memory>

#include <ulvane/mesh/point_set.h>
#include <ulvane/model/component.h>

namespace tarnix {

//! A point of a model; its mesh holds the point as vertex 0.
template <index_t D>
class Corner : public Component<PointSet<D>> {
 public:
  Corner(uuid id, std::unique_ptr<PointSet<D>> mesh)
      : Component<PointSet<D>>(std::move(id), std::move(mesh)) {}

  static ComponentType component_type_static() { return ComponentType{"Corner"}; }
  ComponentType component_type() const { return component_type_static(); }
  ComponentID component_id() const { return {component_type_static(), this->id()}; }
};

using Corner2D = Corner<2>;
using Corner3D = Corner<3>;

}  // namespace tarnix
