#pragma once

#include <memory>

#include <ulvane/mesh/edged_curve.h>
#include <ulvane/model/component.h>

namespace tarnix {

//! A curve of a model, bounded by corners.
template <index_t D>
class Line : public Component<EdgedCurve<D>> {
 public:
  Line(uuid id, std::unique_ptr<EdgedCurve<D>> mesh)
      : Component<EdgedCurve<D>>(std::move(id), std::move(mesh)) {}

  static ComponentType component_type_static() { return ComponentType{"Line"}; }
  ComponentType component_type() const { return component_type_static(); }
  ComponentID component_id() const { return {component_type_static(), this->id()}; }
};

using Line2D = Line<2>;
using Line3D = Line<3>;

}  // namespace tarnix
