#pragma once

#include <memory>

#include <absl/container/flat_hash_map.h>

#include <ulvane/basic/common.h>
#include <ulvane/basic/uuid.h>
#include <ulvane/mesh/edged_curve.h>
#include <ulvane/mesh/point_set.h>
#include <ulvane/mesh/surface_mesh.h>
#include <ulvane/model/component_model.h>
#include <ulvane/model/model_copy_mapping.h>
#include <ulvane/model/vertex_identifier.h>

namespace tarnix {
namespace detail {

//! The edits `SectionBuilder` and `BRepBuilder` share: corners, lines and
//! surfaces, their meshes, their relations and the unique vertices.
//!
//! New components get an empty mesh: a `PointSet<D>` for a corner, an
//! `EdgedCurve<D>` for a line and a `TriangulatedSurface<D>` for a surface
//! unless another mesh is given. Unknown ids raise `UlvaneException`.
template <typename Model, index_t D>
class ModelBuilder : public VertexIdentifierBuilder {
 public:
  //! \return the new component's id (a fresh one unless given).
  //! \throw UlvaneException when a component already has the given id.
  uuid const& add_corner();
  uuid const& add_corner(uuid const& id);
  uuid const& add_line();
  uuid const& add_line(uuid const& id);
  uuid const& add_surface();
  uuid const& add_surface(uuid const& id);
  //! A surface with the given mesh, of any surface type.
  uuid const& add_surface(std::unique_ptr<SurfaceMesh<D>> mesh);
  uuid const& add_surface(uuid const& id, std::unique_ptr<SurfaceMesh<D>> mesh);

  //! Replaces the component's mesh (this also chooses the mesh type). The
  //! component's unique-vertex links become those the new mesh carries in
  //! its "unique_vertices" attribute, if any (a clone of the old mesh keeps
  //! them); otherwise its vertices are unlinked.
  void set_corner_mesh(uuid const& corner, std::unique_ptr<PointSet<D>> mesh);
  void set_line_mesh(uuid const& line, std::unique_ptr<EdgedCurve<D>> mesh);
  void set_surface_mesh(uuid const& surface, std::unique_ptr<SurfaceMesh<D>> mesh);

  // Relations; adding one twice changes nothing.
  void add_corner_line_boundary_relationship(uuid const& corner, uuid const& line);
  void add_line_surface_boundary_relationship(uuid const& line, uuid const& surface);
  void add_line_surface_internal_relationship(uuid const& line, uuid const& surface);
  void add_corner_surface_internal_relationship(uuid const& corner, uuid const& surface);

  Corner<D>& modifiable_corner(uuid const& id);
  Line<D>& modifiable_line(uuid const& id);
  Surface<D>& modifiable_surface(uuid const& id);

 protected:
  //! `name` ("SectionBuilder", ...) is the operation prefix of messages.
  ModelBuilder(Model& model, char const* name);

  Model& model() const { return model_; }
  char const* name() const { return name_; }

  //! Adds a component owning `mesh` and registers the links the mesh
  //! carries, shifted by `offset`.
  template <typename Component, typename Mesh>
  uuid const& add_component(ComponentCollection<Component>& collection, uuid const& id,
                            std::unique_ptr<Mesh> mesh, index_t offset = 0);
  //! Gives the component a new mesh and takes the new mesh's links.
  template <typename Component, typename Mesh>
  void replace_mesh(Component& component, std::unique_ptr<Mesh> mesh);
  //! The component of that id. \throw UlvaneException naming `operation`.
  template <typename Component>
  Component& find_component(ComponentCollection<Component>& collection, uuid const& id,
                            char const* operation) const;
  //! Adds a copy of every component of the range, in range order, with its
  //! mesh cloned and its links shifted by `offset`, and records the ids in
  //! `mapping` and `all`.
  template <typename Component, typename Range>
  void copy_components(ComponentCollection<Component>& collection, Range const& components,
                       index_t offset, BijectiveMapping& mapping,
                       absl::flat_hash_map<uuid, uuid>& all);

  //! Adds copies of the corners, lines and surfaces of `from` and their
  //! relations, with fresh ids and unique vertices numbered from `offset`.
  //! \return the mapping of "Corner", "Line" and "Surface" from `from` to
  //! the copies; `all` maps every copied id.
  ModelCopyMapping copy_components_and_relations(Model const& from, index_t offset,
                                                 absl::flat_hash_map<uuid, uuid>& all);
  //! First step of a copy: refuses copying a model into itself and makes
  //! room for the unique vertices of `from`. \return their offset.
  index_t start_copy(Model const& from);

 private:
  Model& model_;
  ComponentModel<D>& components_;
  char const* name_;
};

}  // namespace detail
}  // namespace tarnix
