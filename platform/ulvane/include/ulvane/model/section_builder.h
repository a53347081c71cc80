#pragma once

#include <memory>

#include <ulvane/basic/uuid.h>
#include <ulvane/mesh/edged_curve.h>
#include <ulvane/mesh/point_set.h>
#include <ulvane/mesh/surface_mesh.h>
#include <ulvane/model/model_copy_mapping.h>
#include <ulvane/model/section.h>
#include <ulvane/model/vertex_identifier.h>

namespace tarnix {

//! The editor of a `Section`: components, their meshes, relations and
//! unique vertices.
//!
//! New components get an empty mesh: a `PointSet<2>` for a corner, an
//! `EdgedCurve<2>` for a line and a `TriangulatedSurface<2>` for a surface
//! unless another mesh is given. Unknown ids raise `UlvaneException`.
class SectionBuilder : public VertexIdentifierBuilder {
 public:
  explicit SectionBuilder(Section& section);

  //! \return the new component's id (a fresh one unless given).
  //! \throw UlvaneException when a component already has the given id.
  uuid const& add_corner();
  uuid const& add_corner(uuid const& id);
  uuid const& add_line();
  uuid const& add_line(uuid const& id);
  uuid const& add_surface();
  uuid const& add_surface(uuid const& id);
  //! A surface with the given mesh, of any surface type.
  uuid const& add_surface(std::unique_ptr<SurfaceMesh<2>> mesh);
  uuid const& add_surface(uuid const& id, std::unique_ptr<SurfaceMesh<2>> mesh);

  //! Replaces the component's mesh (this also chooses the mesh type). The
  //! component's unique-vertex links become those the new mesh carries in
  //! its "unique_vertices" attribute, if any (a clone of the old mesh keeps
  //! them); otherwise its vertices are unlinked.
  void set_corner_mesh(uuid const& corner, std::unique_ptr<PointSet<2>> mesh);
  void set_line_mesh(uuid const& line, std::unique_ptr<EdgedCurve<2>> mesh);
  void set_surface_mesh(uuid const& surface, std::unique_ptr<SurfaceMesh<2>> mesh);

  // Relations; adding one twice changes nothing.
  void add_corner_line_boundary_relationship(uuid const& corner, uuid const& line);
  void add_line_surface_boundary_relationship(uuid const& line, uuid const& surface);
  void add_line_surface_internal_relationship(uuid const& line, uuid const& surface);
  void add_corner_surface_internal_relationship(uuid const& corner, uuid const& surface);

  Corner<2>& modifiable_corner(uuid const& id);
  Line<2>& modifiable_line(uuid const& id);
  Surface<2>& modifiable_surface(uuid const& id);

  //! Adds a deep copy of `from` with fresh ids: meshes cloned with their
  //! attributes, relations and unique vertices reproduced (numbered after
  //! the existing ones). \return the mapping of every component type,
  //! from `from` to the copy.
  ModelCopyMapping copy(Section const& from);

 private:
  Section& section_;
};

}  // namespace tarnix
