#pragma once

#include <utility>

#include <absl/strings/str_cat.h>

#include <ulvane/basic/ulvane_exception.h>
#include <ulvane/mesh/triangulated_surface.h>
#include <ulvane/model/model_builder.h>

// The definitions of detail::ModelBuilder, shared by its explicit
// instantiations and by the builders that reuse its member templates for
// their own component types.

namespace tarnix {
namespace detail {

template <typename Model, index_t D>
ModelBuilder<Model, D>::ModelBuilder(Model& model, char const* name)
    : VertexIdentifierBuilder(model), model_(model), components_(model), name_(name) {}

template <typename Model, index_t D>
template <typename Component, typename Mesh>
uuid const& ModelBuilder<Model, D>::add_component(ComponentCollection<Component>& collection,
                                                  uuid const& id, std::unique_ptr<Mesh> mesh,
                                                  index_t offset) {
  if (!mesh) {
    throw UlvaneException(absl::StrCat("[", name_, "::add_component] A ",
                                       Component::component_type_static().get(), " needs a mesh")
                              .c_str());
  }
  if (collection.contains(id)) {
    throw UlvaneException("[ModelBuilder] A component already has the id ",
                          Component::component_type_static().get() + " " + id.string());
  }
  auto component = std::make_unique<Component>(id, std::move(mesh));
  register_component(component->component_id(), component->mesh(), offset);
  return collection.add(std::move(component)).id();
}

template <typename Model, index_t D>
template <typename Component, typename Mesh>
void ModelBuilder<Model, D>::replace_mesh(Component& component, std::unique_ptr<Mesh> mesh) {
  if (!mesh) throw UlvaneException("[ModelBuilder] A component needs a mesh");
  rebind_component(component.component_id(), *mesh);
  ComponentMeshAccess::set_mesh(component, std::move(mesh));
}

template <typename Model, index_t D>
template <typename Component>
Component& ModelBuilder<Model, D>::find_component(ComponentCollection<Component>& collection,
                                                  uuid const& id, char const* operation) const {
  if (!collection.contains(id)) {
    throw UlvaneException(absl::StrCat("[", name_, "::", operation, "] Unknown ",
                                       Component::component_type_static().get(), ": ",
                                       id.string())
                              .c_str());
  }
  return collection.at(id, operation);
}

template <typename Model, index_t D>
template <typename Component, typename Range>
void ModelBuilder<Model, D>::copy_components(ComponentCollection<Component>& collection,
                                             Range const& components, index_t offset,
                                             BijectiveMapping& mapping,
                                             absl::flat_hash_map<uuid, uuid>& all) {
  for (auto const& component : components) {
    uuid const& copy_id = add_component(collection, uuid{}, component.mesh().clone(), offset);
    mapping.map(component.id(), copy_id);
    all.emplace(component.id(), copy_id);
  }
}

template <typename Model, index_t D>
uuid const& ModelBuilder<Model, D>::add_corner() {
  return add_corner(uuid{});
}

template <typename Model, index_t D>
uuid const& ModelBuilder<Model, D>::add_corner(uuid const& id) {
  return add_component(components_.corner_collection(), id, PointSet<D>::create());
}

template <typename Model, index_t D>
uuid const& ModelBuilder<Model, D>::add_line() {
  return add_line(uuid{});
}

template <typename Model, index_t D>
uuid const& ModelBuilder<Model, D>::add_line(uuid const& id) {
  return add_component(components_.line_collection(), id, EdgedCurve<D>::create());
}

template <typename Model, index_t D>
uuid const& ModelBuilder<Model, D>::add_surface() {
  return add_surface(uuid{});
}

template <typename Model, index_t D>
uuid const& ModelBuilder<Model, D>::add_surface(uuid const& id) {
  return add_surface(id, TriangulatedSurface<D>::create());
}

template <typename Model, index_t D>
uuid const& ModelBuilder<Model, D>::add_surface(std::unique_ptr<SurfaceMesh<D>> mesh) {
  return add_surface(uuid{}, std::move(mesh));
}

template <typename Model, index_t D>
uuid const& ModelBuilder<Model, D>::add_surface(uuid const& id,
                                                std::unique_ptr<SurfaceMesh<D>> mesh) {
  return add_component(components_.surface_collection(), id, std::move(mesh));
}

template <typename Model, index_t D>
void ModelBuilder<Model, D>::set_corner_mesh(uuid const& corner,
                                             std::unique_ptr<PointSet<D>> mesh) {
  replace_mesh(modifiable_corner(corner), std::move(mesh));
}

template <typename Model, index_t D>
void ModelBuilder<Model, D>::set_line_mesh(uuid const& line, std::unique_ptr<EdgedCurve<D>> mesh) {
  replace_mesh(modifiable_line(line), std::move(mesh));
}

template <typename Model, index_t D>
void ModelBuilder<Model, D>::set_surface_mesh(uuid const& surface,
                                              std::unique_ptr<SurfaceMesh<D>> mesh) {
  replace_mesh(modifiable_surface(surface), std::move(mesh));
}

template <typename Model, index_t D>
void ModelBuilder<Model, D>::add_corner_line_boundary_relationship(uuid const& corner,
                                                                   uuid const& line) {
  components_.line_boundaries_.add(model_.line(line), model_.corner(corner));
}

template <typename Model, index_t D>
void ModelBuilder<Model, D>::add_line_surface_boundary_relationship(uuid const& line,
                                                                    uuid const& surface) {
  components_.surface_boundaries_.add(model_.surface(surface), model_.line(line));
}

template <typename Model, index_t D>
void ModelBuilder<Model, D>::add_line_surface_internal_relationship(uuid const& line,
                                                                    uuid const& surface) {
  components_.internal_lines_.add(model_.surface(surface), model_.line(line));
}

template <typename Model, index_t D>
void ModelBuilder<Model, D>::add_corner_surface_internal_relationship(uuid const& corner,
                                                                      uuid const& surface) {
  components_.internal_corners_.add(model_.surface(surface), model_.corner(corner));
}

template <typename Model, index_t D>
Corner<D>& ModelBuilder<Model, D>::modifiable_corner(uuid const& id) {
  return find_component(components_.corner_collection(), id, "modifiable_corner");
}

template <typename Model, index_t D>
Line<D>& ModelBuilder<Model, D>::modifiable_line(uuid const& id) {
  return find_component(components_.line_collection(), id, "modifiable_line");
}

template <typename Model, index_t D>
Surface<D>& ModelBuilder<Model, D>::modifiable_surface(uuid const& id) {
  return find_component(components_.surface_collection(), id, "modifiable_surface");
}

template <typename Model, index_t D>
index_t ModelBuilder<Model, D>::start_copy(Model const& from) {
  if (&from == &model_) {
    throw UlvaneException(
        absl::StrCat("[", name_, "::copy] A model cannot be copied into itself").c_str());
  }
  return create_unique_vertices(from.nb_unique_vertices());
}

template <typename Model, index_t D>
ModelCopyMapping ModelBuilder<Model, D>::copy_components_and_relations(
    Model const& from, index_t offset, absl::flat_hash_map<uuid, uuid>& all) {
  ModelCopyMapping mapping;
  copy_components(components_.corner_collection(), from.corners(), offset,
                  mapping.emplace("Corner"), all);
  copy_components(components_.line_collection(), from.lines(), offset, mapping.emplace("Line"),
                  all);
  copy_components(components_.surface_collection(), from.surfaces(), offset,
                  mapping.emplace("Surface"), all);
  for (auto const& line : from.lines()) {
    for (auto const& corner : from.boundaries(line)) {
      add_corner_line_boundary_relationship(all.at(corner.id()), all.at(line.id()));
    }
  }
  for (auto const& surface : from.surfaces()) {
    for (auto const& line : from.boundaries(surface)) {
      add_line_surface_boundary_relationship(all.at(line.id()), all.at(surface.id()));
    }
    for (auto const& line : from.internal_lines(surface)) {
      add_line_surface_internal_relationship(all.at(line.id()), all.at(surface.id()));
    }
    for (auto const& corner : from.internal_corners(surface)) {
      add_corner_surface_internal_relationship(all.at(corner.id()), all.at(surface.id()));
    }
  }
  return mapping;
}

}  // namespace detail
}  // namespace tarnix
