#pragma once

#include <array>
#include <memory>
#include <vector>

#include <absl/container/flat_hash_map.h>
#include <absl/types/span.h>

#include <ulvane/basic/common.h>
#include <ulvane/basic/uuid.h>
#include <ulvane/model/component_type.h>

namespace tarnix {

class VertexSet;

namespace detail {
class VertexIdentifierState;
}  // namespace detail

//! The unique vertices of a model: the points that component meshes share.
//! Each component mesh vertex is linked to at most one unique vertex.
//!
//! A mesh keeps its vertices' links in the vertex attribute named
//! `attribute_name()` (NO_ID: not linked), so links follow every resize,
//! deletion and permutation of the mesh, whatever builder made it. The
//! reverse lists (the vertices of a unique vertex) are kept in step with the
//! attribute, and list the vertices in link order, which renumbering keeps.
//!
//! Every query accepts u = NO_ID and answers empty or false; another
//! unique vertex beyond `nb_unique_vertices()` raises `UlvaneException`.
class VertexIdentifier {
 public:
  VertexIdentifier();
  ~VertexIdentifier();
  VertexIdentifier(VertexIdentifier&&) noexcept;
  VertexIdentifier& operator=(VertexIdentifier&&) noexcept;
  VertexIdentifier(VertexIdentifier const&) = delete;
  VertexIdentifier& operator=(VertexIdentifier const&) = delete;

  //! The vertex attribute holding the links.
  static absl::string_view attribute_name() { return "unique_vertices"; }

  index_t nb_unique_vertices() const;

  //! The unique vertex of the component mesh vertex, NO_ID when unlinked.
  //! \throw UlvaneException for an unknown component or vertex.
  index_t unique_vertex(ComponentMeshVertex const& component_vertex) const;

  //! Every component mesh vertex linked to u.
  std::vector<ComponentMeshVertex> component_mesh_vertices(index_t unique_vertex) const;
  //! The vertices of one component linked to u (empty for an unknown one).
  std::vector<index_t> component_mesh_vertices(index_t unique_vertex,
                                               uuid const& component) const;
  //! The component mesh vertices of one component type linked to u.
  std::vector<ComponentMeshVertex> component_mesh_vertices(index_t unique_vertex,
                                                           ComponentType const& type) const;
  bool has_component_mesh_vertices(index_t unique_vertex, ComponentType const& type) const;
  bool has_component_mesh_vertices(index_t unique_vertex, uuid const& component) const;

  //! For every component holding vertices of both lists, every pair
  //! (x from the first list, y from the second), x-major in list order.
  absl::flat_hash_map<ComponentID, std::vector<std::array<index_t, 2>>>
  component_mesh_vertex_pairs(absl::Span<ComponentMeshVertex const> first,
                              absl::Span<ComponentMeshVertex const> second) const;

 private:
  friend class VertexIdentifierBuilder;

  detail::VertexIdentifierState const& state() const;
  detail::VertexIdentifierState& modifiable_state();

  std::shared_ptr<detail::VertexIdentifierState> state_;
};

//! The editor of a model's unique vertices; the model builders derive from
//! it.
class VertexIdentifierBuilder {
 public:
  explicit VertexIdentifierBuilder(VertexIdentifier& identifier);

  //! \return the new unique vertex, numbered after the existing ones.
  index_t create_unique_vertex();
  //! \return the first of the n new unique vertices.
  index_t create_unique_vertices(index_t count);

  //! Links the vertex to u, or unlinks it with NO_ID; relinking to the same
  //! unique vertex changes nothing.
  //! \throw UlvaneException for an unknown component, vertex or unique vertex.
  void set_unique_vertex(ComponentMeshVertex const& component_vertex, index_t unique_vertex);

 protected:
  //! Starts tracking a component whose mesh is `mesh`. Links already in the
  //! mesh's attribute (a cloned mesh) are kept, shifted by `offset`.
  //! \throw UlvaneException for a known component, or for a link beyond
  //! the unique vertices.
  void register_component(ComponentID const& component, VertexSet const& mesh,
                          index_t offset = 0);
  //! The component's mesh was replaced: its links are now those of the new
  //! mesh's attribute (none for a fresh mesh).
  void rebind_component(ComponentID const& component, VertexSet const& mesh);
  //! Gives every component registered here the links in the reverse order
  //! of `from`, where component i of `from` is `components[i]` here. Used by
  //! model copies, so that lists keep their order.
  void copy_link_order(VertexIdentifier const& from,
                       absl::flat_hash_map<uuid, uuid> const& components, index_t offset);

 private:
  VertexIdentifier& identifier_;
};

}  // namespace tarnix
