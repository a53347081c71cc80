#pragma once

#include <memory>
#include <utility>

#include <ulvane/basic/ulvane_exception.h>
#include <ulvane/basic/uuid.h>
#include <ulvane/model/component.h>
#include <ulvane/model/component_collection.h>
#include <ulvane/model/model_copy_mapping.h>

// Steps the Section and BRep builders share. The unique-vertex bookkeeping
// is passed in as callables, since it lives in the builders' base.

namespace tarnix {
namespace detail {

//! Adds a component owning `mesh`; `link` registers the mesh's links with
//! the model (and refuses ids other component types already use).
template <typename Component, typename Mesh, typename Link>
uuid const& add_component(ComponentCollection<Component>& collection, uuid const& id,
                          std::unique_ptr<Mesh> mesh, Link&& link) {
  if (collection.contains(id)) {
    throw UlvaneException("[ModelBuilder] A component already has the id ",
                          Component::component_type_static().get() + " " + id.string());
  }
  auto component = std::make_unique<Component>(id, std::move(mesh));
  link(component->component_id(), component->mesh());
  return collection.add(std::move(component)).id();
}

//! Gives the component a new mesh; `rebind` takes the new mesh's links.
template <typename Component, typename Mesh, typename Rebind>
void replace_mesh(Component& component, std::unique_ptr<Mesh> mesh, Rebind&& rebind) {
  if (!mesh) throw UlvaneException("[ModelBuilder] A component needs a mesh");
  rebind(component.component_id(), *mesh);
  ComponentMeshAccess::set_mesh(component, std::move(mesh));
}

//! Adds a copy of every component of the range, in range order, with its
//! mesh cloned, and records the ids in `mapping` and `all`.
template <typename Range, typename Add>
void copy_components(Range const& components, BijectiveMapping& mapping,
                     absl::flat_hash_map<uuid, uuid>& all, Add&& add) {
  for (auto const& component : components) {
    uuid const& copy_id = add(component.mesh().clone());
    mapping.map(component.id(), copy_id);
    all.emplace(component.id(), copy_id);
  }
}

}  // namespace detail
}  // namespace tarnix
