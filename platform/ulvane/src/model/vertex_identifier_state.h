#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include <absl/container/flat_hash_map.h>
#include <absl/container/inlined_vector.h>
#include <absl/types/span.h>

#include <common/variable_attribute.h>
#include <ulvane/basic/common.h>
#include <ulvane/model/component_type.h>

namespace tarnix {
namespace detail {

class VertexIdentifierState;

//! The link attribute of one component mesh. Besides storing the links it
//! reports every change the registry makes (resize, deletion, permutation,
//! derived values) to the model's reverse lists, so that they never go
//! stale. Clones and extracts are plain `VariableAttribute<index_t>`s that
//! report nothing, since they belong to other meshes.
class UniqueVertexStorage : public VariableAttribute<index_t> {
 public:
  UniqueVertexStorage(std::weak_ptr<VertexIdentifierState> state, index_t component);

  //! Stops reporting: the mesh no longer belongs to the component.
  void detach() { state_.reset(); }

  void resize(index_t nb_elements) override;
  void delete_elements(std::vector<bool> const& to_delete) override;
  void permute_elements(absl::Span<const index_t> permutation) override;
  void copy_from(AttributeBase const& other, index_t nb_elements) override;
  void interpolate_value(WeightedElementList const& interpolation, index_t to_element) override;
  void copy_value(index_t from_element, index_t to_element) override;

 private:
  void report_renumbering(std::vector<index_t> const& old2new);
  void report_change(index_t element, index_t previous);

  std::weak_ptr<VertexIdentifierState> state_;
  index_t component_;
};

//! What a VertexIdentifier holds, on the heap so that link storages can
//! reach it while the model moves.
//!
//! The reverse lists are shared by every component: two components whose
//! vertices share a unique vertex write the same list. `mutex()` guards
//! them, so that threads that each edit the meshes of their own components
//! may link, renumber and query side by side; every entry point (the
//! identifier's queries of lists, its builder, the storages' reports) takes
//! it, the members below assume it is held. The component table and each
//! component's link storage are not guarded: components are registered
//! while no other thread uses the model, and a component's links are
//! edited by one thread at a time.
class VertexIdentifierState {
 public:
  //! One linked vertex in a reverse list: component index and mesh vertex.
  struct Entry {
    index_t component;
    index_t vertex;
  };
  struct ComponentLinks {
    ComponentID id;
    std::shared_ptr<UniqueVertexStorage> storage;
  };

  index_t nb_unique_vertices() const { return static_cast<index_t>(lists_.size()); }
  index_t create_unique_vertices(index_t count);

  //! NO_ID for an unknown id.
  index_t component_index(uuid const& id) const;
  //! \throw UlvaneException "[<operation>] Unknown component: <type> <id>"
  //! when no component has this id and type.
  index_t checked_component_index(ComponentID const& id, char const* operation) const;
  ComponentLinks const& component(index_t index) const { return components_[index]; }

  //! \throw UlvaneException for a unique vertex beyond the count.
  absl::Span<Entry const> entries(index_t unique_vertex, char const* operation) const;
  absl::Span<Entry const> entries_of(index_t unique_vertex) const { return lists_[unique_vertex]; }

  //! \throw UlvaneException for a known id or a link beyond the count.
  void add_component(std::shared_ptr<VertexIdentifierState> const& self, ComponentID const& id,
                     VertexSet const& mesh, index_t offset);
  void rebind_component(std::shared_ptr<VertexIdentifierState> const& self,
                        ComponentID const& id, VertexSet const& mesh);
  //! Sets one link, keeping the reverse lists in step.
  void set_link(index_t component, index_t vertex, index_t unique_vertex);
  //! Replaces the list of u by the given entries.
  void replace_entries(index_t unique_vertex, absl::Span<Entry const> entries);

  // Reports of the link storages.
  void renumber(index_t component, UniqueVertexStorage const& storage,
                absl::Span<const index_t> old2new);
  void unlink_all(index_t component, UniqueVertexStorage const& storage);
  void link_all(index_t component, UniqueVertexStorage const& storage);
  void relink(index_t component, index_t vertex, index_t previous, index_t current);

  std::mutex& mutex() const { return mutex_; }

 private:
  //! A storage bound to the component, holding the mesh's current links.
  std::shared_ptr<UniqueVertexStorage> bind(std::shared_ptr<VertexIdentifierState> const& self,
                                            index_t component, VertexSet const& mesh,
                                            index_t offset) const;
  void unlink(index_t component, index_t vertex, index_t unique_vertex);

  std::vector<ComponentLinks> components_;
  absl::flat_hash_map<uuid, index_t> indices_;
  std::vector<absl::InlinedVector<Entry, 2>> lists_;
  mutable std::mutex mutex_;
};

}  // namespace detail
}  // namespace tarnix
