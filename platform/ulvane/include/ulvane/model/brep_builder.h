#pragma once

#include <memory>

#include <ulvane/basic/uuid.h>
#include <ulvane/mesh/solid_mesh.h>
#include <ulvane/model/brep.h>
#include <ulvane/model/model_builder.h>
#include <ulvane/model/model_copy_mapping.h>

namespace tarnix {

//! The editor of a `BRep`: components, their meshes, relations and unique
//! vertices (see `detail::ModelBuilder`). A new block gets an empty
//! `SolidMesh<3>`.
class BRepBuilder : public detail::ModelBuilder<BRep, 3> {
 public:
  explicit BRepBuilder(BRep& brep);

  //! \return the new block's id (a fresh one unless given).
  //! \throw UlvaneException when a component already has the given id.
  uuid const& add_block();
  uuid const& add_block(uuid const& id);
  void set_block_mesh(uuid const& block, std::unique_ptr<SolidMesh<3>> mesh);
  //! Adding it twice changes nothing.
  void add_surface_block_boundary_relationship(uuid const& surface, uuid const& block);
  Block<3>& modifiable_block(uuid const& id);

  //! Adds a deep copy of `from` with fresh ids: meshes cloned with their
  //! attributes, relations and unique vertices reproduced (numbered after
  //! the existing ones). \return the mapping of every component type,
  //! from `from` to the copy.
  //! \throw UlvaneException when `from` is the BRep being built.
  ModelCopyMapping copy(BRep const& from);
};

}  // namespace tarnix
