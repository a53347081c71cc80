#include <ulvane/model/vertex_identifier.h>

#include <algorithm>
#include <mutex>
#include <string>

#include <absl/container/flat_hash_set.h>
#include <absl/strings/str_cat.h>

#include <ulvane/basic/ulvane_exception.h>
#include <ulvane/mesh/vertex_set.h>

#include "vertex_identifier_state.h"

namespace tarnix {
namespace detail {

// ---------------------------------------------------------------------------
// UniqueVertexStorage

UniqueVertexStorage::UniqueVertexStorage(std::weak_ptr<VertexIdentifierState> state,
                                         index_t component)
    // Not derivable: a vertex made from others is a new point, linked only
    // when a builder says so.
    : VariableAttribute<index_t>(NO_ID, 0),
      state_(std::move(state)),
      component_(component) {}

void UniqueVertexStorage::resize(index_t nb_elements) {
  if (nb_elements < size()) {
    std::vector<index_t> old2new(size(), NO_ID);
    for (index_t v = 0; v < nb_elements; ++v) old2new[v] = v;
    report_renumbering(old2new);
  }
  VariableAttribute<index_t>::resize(nb_elements);
}

void UniqueVertexStorage::delete_elements(std::vector<bool> const& to_delete) {
  std::vector<index_t> old2new(size(), NO_ID);
  index_t next = 0;
  bool any = false;
  for (index_t v = 0; v < size(); ++v) {
    if (v < to_delete.size() && to_delete[v]) {
      any = true;
    } else {
      old2new[v] = next++;
    }
  }
  if (any) report_renumbering(old2new);
  VariableAttribute<index_t>::delete_elements(to_delete);
}

void UniqueVertexStorage::permute_elements(absl::Span<const index_t> permutation) {
  std::vector<index_t> old2new(size());
  for (index_t v = 0; v < size(); ++v) old2new[v] = v;
  for (index_t k = 0; k < permutation.size() && k < size(); ++k) {
    if (permutation[k] < size()) old2new[permutation[k]] = k;
  }
  report_renumbering(old2new);
  VariableAttribute<index_t>::permute_elements(permutation);
}

void UniqueVertexStorage::copy_from(AttributeBase const& other, index_t nb_elements) {
  const auto state = state_.lock();
  std::unique_lock<std::mutex> lock;
  if (state) lock = std::unique_lock<std::mutex>(state->mutex());
  if (state) state->unlink_all(component_, *this);
  VariableAttribute<index_t>::copy_from(other, nb_elements);
  if (state) state->link_all(component_, *this);
}

void UniqueVertexStorage::interpolate_value(WeightedElementList const& interpolation,
                                            index_t to_element) {
  const index_t previous = value(to_element);
  VariableAttribute<index_t>::interpolate_value(interpolation, to_element);
  report_change(to_element, previous);
}

void UniqueVertexStorage::copy_value(index_t from_element, index_t to_element) {
  const index_t previous = value(to_element);
  VariableAttribute<index_t>::copy_value(from_element, to_element);
  report_change(to_element, previous);
}

void UniqueVertexStorage::report_renumbering(std::vector<index_t> const& old2new) {
  if (const auto state = state_.lock()) {
    std::lock_guard<std::mutex> lock(state->mutex());
    state->renumber(component_, *this, old2new);
  }
}

void UniqueVertexStorage::report_change(index_t element, index_t previous) {
  const index_t current = value(element);
  if (current == previous) return;
  if (const auto state = state_.lock()) {
    std::lock_guard<std::mutex> lock(state->mutex());
    state->relink(component_, element, previous, current);
  }
}

// ---------------------------------------------------------------------------
// VertexIdentifierState

index_t VertexIdentifierState::create_unique_vertices(index_t count) {
  const index_t first = nb_unique_vertices();
  lists_.resize(lists_.size() + count);
  return first;
}

index_t VertexIdentifierState::component_index(uuid const& id) const {
  const auto found = indices_.find(id);
  return found == indices_.end() ? NO_ID : found->second;
}

index_t VertexIdentifierState::checked_component_index(ComponentID const& id,
                                                       char const* operation) const {
  const index_t index = component_index(id.id());
  if (index == NO_ID || components_[index].id.type() != id.type()) {
    throw UlvaneException(operation, " Unknown component: " + id.string());
  }
  return index;
}

absl::Span<VertexIdentifierState::Entry const> VertexIdentifierState::entries(
    index_t unique_vertex, char const* operation) const {
  if (unique_vertex == NO_ID) return {};
  if (unique_vertex >= nb_unique_vertices()) {
    throw UlvaneException(operation, absl::StrCat(" Unknown unique vertex ", unique_vertex, " of ",
                                                  nb_unique_vertices()));
  }
  return lists_[unique_vertex];
}

std::shared_ptr<UniqueVertexStorage> VertexIdentifierState::bind(
    std::shared_ptr<VertexIdentifierState> const& self, index_t component,
    VertexSet const& mesh, index_t offset) const {
  auto& manager = mesh.vertex_attribute_manager();
  const index_t nb_vertices = mesh.nb_vertices();
  // Links the mesh already carries (it may be a clone) are read and checked
  // before anything changes.
  std::vector<index_t> links(nb_vertices, NO_ID);
  if (const auto existing = manager.find_attribute_base(VertexIdentifier::attribute_name())) {
    const auto typed = std::dynamic_pointer_cast<ReadOnlyAttribute<index_t>>(existing);
    if (!typed) {
      throw UlvaneException("[VertexIdentifier] The mesh attribute \"unique_vertices\" of ",
                            components_[component].id.string() + " does not hold indices");
    }
    for (index_t v = 0; v < nb_vertices; ++v) {
      const index_t link = typed->value(v);
      if (link == NO_ID) continue;
      if (link + offset >= nb_unique_vertices()) {
        throw UlvaneException(
            "[VertexIdentifier] ",
            absl::StrCat(components_[component].id.string(), " vertex ", v,
                         " links to unique vertex ", link + offset, " of ", nb_unique_vertices()));
      }
      links[v] = link + offset;
    }
  }
  auto storage = std::make_shared<UniqueVertexStorage>(self, component);
  manager.register_attribute(storage, VertexIdentifier::attribute_name());
  for (index_t v = 0; v < nb_vertices; ++v) storage->set_value(v, links[v]);
  return storage;
}

void VertexIdentifierState::add_component(std::shared_ptr<VertexIdentifierState> const& self,
                                          ComponentID const& id, VertexSet const& mesh,
                                          index_t offset) {
  if (indices_.contains(id.id())) {
    throw UlvaneException("[VertexIdentifier] Component already registered: ", id.string());
  }
  const auto index = static_cast<index_t>(components_.size());
  components_.push_back({id, nullptr});
  try {
    components_.back().storage = bind(self, index, mesh, offset);
  } catch (...) {
    components_.pop_back();
    throw;
  }
  indices_.emplace(id.id(), index);
  link_all(index, *components_.back().storage);
}

void VertexIdentifierState::rebind_component(std::shared_ptr<VertexIdentifierState> const& self,
                                             ComponentID const& id, VertexSet const& mesh) {
  const index_t index = checked_component_index(id, "[VertexIdentifier]");
  auto storage = bind(self, index, mesh, 0);
  auto& links = components_[index];
  unlink_all(index, *links.storage);
  links.storage->detach();
  links.storage = std::move(storage);
  link_all(index, *links.storage);
}

void VertexIdentifierState::set_link(index_t component, index_t vertex, index_t unique_vertex) {
  auto& storage = *components_[component].storage;
  if (vertex >= storage.size()) {
    throw UlvaneException("[VertexIdentifierBuilder::set_unique_vertex] ",
                          absl::StrCat("Unknown vertex ", vertex, " of ",
                                       components_[component].id.string()));
  }
  if (unique_vertex != NO_ID && unique_vertex >= nb_unique_vertices()) {
    throw UlvaneException("[VertexIdentifierBuilder::set_unique_vertex] ",
                          absl::StrCat("Unknown unique vertex ", unique_vertex, " of ",
                                       nb_unique_vertices()));
  }
  const index_t previous = storage.value(vertex);
  if (previous == unique_vertex) return;
  storage.set_value(vertex, unique_vertex);
  relink(component, vertex, previous, unique_vertex);
}

void VertexIdentifierState::replace_entries(index_t unique_vertex,
                                            absl::Span<Entry const> entries) {
  lists_[unique_vertex].assign(entries.begin(), entries.end());
}

void VertexIdentifierState::renumber(index_t component, UniqueVertexStorage const& storage,
                                     absl::Span<const index_t> old2new) {
  // Each list holding the component is rewritten once, in place, so entries
  // keep their order and no renamed entry is renamed again.
  absl::flat_hash_set<index_t> rewritten;
  for (index_t v = 0; v < storage.size(); ++v) {
    const index_t u = storage.value(v);
    if (u >= nb_unique_vertices() || !rewritten.insert(u).second) continue;
    auto& list = lists_[u];
    for (auto& entry : list) {
      if (entry.component != component) continue;
      entry.vertex = entry.vertex < old2new.size() ? old2new[entry.vertex] : entry.vertex;
    }
    list.erase(std::remove_if(list.begin(), list.end(),
                              [component](Entry const& entry) {
                                return entry.component == component && entry.vertex == NO_ID;
                              }),
               list.end());
  }
}

void VertexIdentifierState::unlink_all(index_t component, UniqueVertexStorage const& storage) {
  for (index_t v = 0; v < storage.size(); ++v) {
    const index_t u = storage.value(v);
    if (u < nb_unique_vertices()) unlink(component, v, u);
  }
}

void VertexIdentifierState::link_all(index_t component, UniqueVertexStorage const& storage) {
  for (index_t v = 0; v < storage.size(); ++v) {
    const index_t u = storage.value(v);
    if (u < nb_unique_vertices()) lists_[u].push_back({component, v});
  }
}

void VertexIdentifierState::relink(index_t component, index_t vertex, index_t previous,
                                   index_t current) {
  if (previous < nb_unique_vertices()) unlink(component, vertex, previous);
  if (current < nb_unique_vertices()) lists_[current].push_back({component, vertex});
}

void VertexIdentifierState::unlink(index_t component, index_t vertex, index_t unique_vertex) {
  auto& list = lists_[unique_vertex];
  list.erase(std::remove_if(list.begin(), list.end(),
                            [component, vertex](Entry const& entry) {
                              return entry.component == component && entry.vertex == vertex;
                            }),
             list.end());
}

}  // namespace detail

// ---------------------------------------------------------------------------
// VertexIdentifier

VertexIdentifier::VertexIdentifier() : state_(std::make_shared<detail::VertexIdentifierState>()) {}
VertexIdentifier::~VertexIdentifier() = default;
VertexIdentifier::VertexIdentifier(VertexIdentifier&&) noexcept = default;
VertexIdentifier& VertexIdentifier::operator=(VertexIdentifier&&) noexcept = default;

detail::VertexIdentifierState const& VertexIdentifier::state() const {
  // A moved-from identifier answers as an empty one.
  static const detail::VertexIdentifierState empty;
  return state_ ? *state_ : empty;
}

detail::VertexIdentifierState& VertexIdentifier::modifiable_state() {
  if (!state_) state_ = std::make_shared<detail::VertexIdentifierState>();
  return *state_;
}

index_t VertexIdentifier::nb_unique_vertices() const {
  auto const& state = this->state();
  std::lock_guard<std::mutex> lock(state.mutex());
  return state.nb_unique_vertices();
}

index_t VertexIdentifier::unique_vertex(ComponentMeshVertex const& component_vertex) const {
  constexpr char const* operation = "[VertexIdentifier::unique_vertex]";
  auto const& state = this->state();
  const index_t component = state.checked_component_index(component_vertex.component_id, operation);
  auto const& storage = *state.component(component).storage;
  if (component_vertex.vertex >= storage.size()) {
    throw UlvaneException(operation, absl::StrCat(" Unknown vertex ", component_vertex.vertex,
                                                  " of ", component_vertex.component_id.string()));
  }
  return storage.value(component_vertex.vertex);
}

std::vector<ComponentMeshVertex> VertexIdentifier::component_mesh_vertices(
    index_t unique_vertex) const {
  auto const& state = this->state();
  std::lock_guard<std::mutex> lock(state.mutex());
  std::vector<ComponentMeshVertex> result;
  for (auto const& entry :
       state.entries(unique_vertex, "[VertexIdentifier::component_mesh_vertices]")) {
    result.emplace_back(state.component(entry.component).id, entry.vertex);
  }
  return result;
}

std::vector<index_t> VertexIdentifier::component_mesh_vertices(index_t unique_vertex,
                                                               uuid const& component) const {
  auto const& state = this->state();
  std::lock_guard<std::mutex> lock(state.mutex());
  const auto entries =
      state.entries(unique_vertex, "[VertexIdentifier::component_mesh_vertices]");
  std::vector<index_t> result;
  if (entries.empty()) return result;
  const index_t index = state.component_index(component);
  for (auto const& entry : entries) {
    if (entry.component == index) result.push_back(entry.vertex);
  }
  return result;
}

std::vector<ComponentMeshVertex> VertexIdentifier::component_mesh_vertices(
    index_t unique_vertex, ComponentType const& type) const {
  auto const& state = this->state();
  std::lock_guard<std::mutex> lock(state.mutex());
  std::vector<ComponentMeshVertex> result;
  for (auto const& entry :
       state.entries(unique_vertex, "[VertexIdentifier::component_mesh_vertices]")) {
    auto const& id = state.component(entry.component).id;
    if (id.type() == type) result.emplace_back(id, entry.vertex);
  }
  return result;
}

bool VertexIdentifier::has_component_mesh_vertices(index_t unique_vertex,
                                                   ComponentType const& type) const {
  auto const& state = this->state();
  std::lock_guard<std::mutex> lock(state.mutex());
  const auto entries =
      state.entries(unique_vertex, "[VertexIdentifier::has_component_mesh_vertices]");
  return std::any_of(entries.begin(), entries.end(), [&](auto const& entry) {
    return state.component(entry.component).id.type() == type;
  });
}

bool VertexIdentifier::has_component_mesh_vertices(index_t unique_vertex,
                                                   uuid const& component) const {
  auto const& state = this->state();
  std::lock_guard<std::mutex> lock(state.mutex());
  const auto entries =
      state.entries(unique_vertex, "[VertexIdentifier::has_component_mesh_vertices]");
  if (entries.empty()) return false;
  const index_t index = state.component_index(component);
  return std::any_of(entries.begin(), entries.end(),
                     [index](auto const& entry) { return entry.component == index; });
}

absl::flat_hash_map<ComponentID, std::vector<std::array<index_t, 2>>>
VertexIdentifier::component_mesh_vertex_pairs(absl::Span<ComponentMeshVertex const> first,
                                              absl::Span<ComponentMeshVertex const> second) const {
  absl::flat_hash_map<ComponentID, std::vector<std::array<index_t, 2>>> pairs;
  for (auto const& x : first) {
    for (auto const& y : second) {
      if (x.component_id == y.component_id) {
        pairs[x.component_id].push_back({{x.vertex, y.vertex}});
      }
    }
  }
  return pairs;
}

// ---------------------------------------------------------------------------
// VertexIdentifierBuilder

VertexIdentifierBuilder::VertexIdentifierBuilder(VertexIdentifier& identifier)
    : identifier_(identifier) {}

index_t VertexIdentifierBuilder::create_unique_vertex() { return create_unique_vertices(1); }

index_t VertexIdentifierBuilder::create_unique_vertices(index_t count) {
  auto& state = identifier_.modifiable_state();
  std::lock_guard<std::mutex> lock(state.mutex());
  return state.create_unique_vertices(count);
}

void VertexIdentifierBuilder::set_unique_vertex(ComponentMeshVertex const& component_vertex,
                                                index_t unique_vertex) {
  auto& state = identifier_.modifiable_state();
  std::lock_guard<std::mutex> lock(state.mutex());
  const index_t component = state.checked_component_index(
      component_vertex.component_id, "[VertexIdentifierBuilder::set_unique_vertex]");
  state.set_link(component, component_vertex.vertex, unique_vertex);
}

void VertexIdentifierBuilder::register_component(ComponentID const& component,
                                                 VertexSet const& mesh, index_t offset) {
  std::lock_guard<std::mutex> lock(identifier_.modifiable_state().mutex());
  identifier_.state_->add_component(identifier_.state_, component, mesh, offset);
}

void VertexIdentifierBuilder::rebind_component(ComponentID const& component,
                                               VertexSet const& mesh) {
  std::lock_guard<std::mutex> lock(identifier_.modifiable_state().mutex());
  identifier_.state_->rebind_component(identifier_.state_, component, mesh);
}

void VertexIdentifierBuilder::copy_link_order(VertexIdentifier const& from,
                                              absl::flat_hash_map<uuid, uuid> const& components,
                                              index_t offset) {
  auto& state = identifier_.modifiable_state();
  std::lock_guard<std::mutex> lock(state.mutex());
  auto const& source = from.state();
  std::vector<detail::VertexIdentifierState::Entry> entries;
  for (index_t u = 0; u < source.nb_unique_vertices(); ++u) {
    entries.clear();
    for (auto const& entry : source.entries_of(u)) {
      const auto mapped = components.find(source.component(entry.component).id.id());
      if (mapped == components.end()) {
        throw UlvaneException("[VertexIdentifierBuilder::copy_link_order] Unmapped component ",
                              source.component(entry.component).id.string());
      }
      entries.push_back({state.component_index(mapped->second), entry.vertex});
    }
    state.replace_entries(offset + u, entries);
  }
}

}  // namespace tarnix
