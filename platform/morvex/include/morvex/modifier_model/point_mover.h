#pragma once

#include <memory>

#include <absl/types/span.h>

#include <ulvane/basic/common.h>
#include <ulvane/geometry/point.h>
#include <ulvane/mesh/surface_mesh_builder.h>
#include <ulvane/model/component_type.h>
#include <ulvane/model/surface.h>

namespace tarnix {
namespace detail {

//! Moves the component vertices linked to a unique vertex, as the
//! modifiers' `move_point` does, for a caller whose moves are mostly of one
//! surface's vertices: the builder of that surface's mesh is made once, so
//! such a move needs no model builder, component lookup or allocation.
//! Vertices of other components are moved as `move_point` moves them.
//! Instantiated for (`Section`, 2) and (`BRep`, 3). The mover must not be
//! used once the surface's mesh has been replaced or the surface removed.
template <typename Model, index_t dimension>
class LinkedPointMover {
 public:
  //! \throw UlvaneException for a surface the model does not have, or a
  //! surface mesh that no builder edits.
  LinkedPointMover(Model& model, Surface<dimension> const& surface);
  ~LinkedPointMover();
  LinkedPointMover(LinkedPointMover const&) = delete;
  LinkedPointMover& operator=(LinkedPointMover const&) = delete;

  //! Moves every component vertex of `linked` to the point.
  void move(absl::Span<const ComponentMeshVertex> linked, Point<dimension> const& point);

 private:
  Model& model_;
  ComponentID surface_;
  std::unique_ptr<SurfaceMeshBuilder<dimension>> builder_;
};

}  // namespace detail
}  // namespace tarnix
