#pragma once

#include <memory>

#include <ulvane/basic/uuid.h>
#include <ulvane/mesh/edged_curve.h>
#include <ulvane/mesh/point_set.h>
#include <ulvane/mesh/solid_mesh.h>
#include <ulvane/mesh/surface_mesh.h>
#include <ulvane/model/brep.h>
#include <ulvane/model/model_copy_mapping.h>
#include <ulvane/model/vertex_identifier.h>

namespace tarnix {

//! The editor of a `BRep`: components, their meshes, relations and unique
//! vertices.
//!
//! New components get an empty mesh: a `PointSet<3>` for a corner, an
//! `EdgedCurve<3>` for a line, a `TriangulatedSurface<3>` for a surface
//! unless another mesh is given, and a `SolidMesh<3>` for a block. Unknown
//! ids raise `UlvaneException`.
class BRepBuilder : public VertexIdentifierBuilder {
 public:
  explicit BRepBuilder(BRep& brep);

  //! \return the new component's id (a fresh one unless given).
  //! \throw UlvaneException when a component already has the given id.
  uuid const& add_corner();
  uuid const& add_corner(uuid const& id);
  uuid const& add_line();
  uuid const& add_line(uuid const& id);
  uuid const& add_surface();
  uuid const& add_surface(uuid const& id);
  //! A surface with the given mesh, of any surface type.
  uuid const& add_surface(std::unique_ptr<SurfaceMesh<3>> mesh);
  uuid const& add_surface(uuid const& id, std::unique_ptr<SurfaceMesh<3>> mesh);
  uuid const& add_block();
  uuid const& add_block(uuid const& id);

  //! Replaces the component's mesh (this also chooses the mesh type). The
  //! component's unique-vertex links become those the new mesh carries in
  //! its "unique_vertices" attribute, if any (a clone of the old mesh keeps
  //! them); otherwise its vertices are unlinked.
  void set_corner_mesh(uuid const& corner, std::unique_ptr<PointSet<3>> mesh);
  void set_line_mesh(uuid const& line, std::unique_ptr<EdgedCurve<3>> mesh);
  void set_surface_mesh(uuid const& surface, std::unique_ptr<SurfaceMesh<3>> mesh);
  void set_block_mesh(uuid const& block, std::unique_ptr<SolidMesh<3>> mesh);

  // Relations; adding one twice changes nothing.
  void add_corner_line_boundary_relationship(uuid const& corner, uuid const& line);
  void add_line_surface_boundary_relationship(uuid const& line, uuid const& surface);
  void add_surface_block_boundary_relationship(uuid const& surface, uuid const& block);
  void add_line_surface_internal_relationship(uuid const& line, uuid const& surface);
  void add_corner_surface_internal_relationship(uuid const& corner, uuid const& surface);

  Corner<3>& modifiable_corner(uuid const& id);
  Line<3>& modifiable_line(uuid const& id);
  Surface<3>& modifiable_surface(uuid const& id);
  Block<3>& modifiable_block(uuid const& id);

  //! Adds a deep copy of `from` with fresh ids: meshes cloned with their
  //! attributes, relations and unique vertices reproduced (numbered after
  //! the existing ones). \return the mapping of every component type,
  //! from `from` to the copy.
  ModelCopyMapping copy(BRep const& from);

 private:
  BRep& brep_;
};

}  // namespace tarnix
