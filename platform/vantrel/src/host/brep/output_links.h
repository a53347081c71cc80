#pragma once

// Helpers of the BRep copying steps: every copied vertex is linked to the
// output unique vertex that the copies of its input unique vertex share.

#include <memory>

#include <ulvane/basic/common.h>
#include <ulvane/model/brep.h>
#include <ulvane/model/brep_builder.h>
#include <ulvane/model/vertex_identifier.h>
#include <vantrel/core.h>

namespace tarnix {
namespace detail {

//! The number of vertices of a component's mesh in the model, 0 for a
//! component the model does not have.
inline index_t nb_component_vertices(BRep const& brep, ComponentID const& component) {
  auto const& type = component.type();
  auto const& id = component.id();
  if (type == Corner<3>::component_type_static()) {
    return brep.has_corner(id) ? brep.corner(id).mesh().nb_vertices() : 0;
  }
  if (type == Line<3>::component_type_static()) {
    return brep.has_line(id) ? brep.line(id).mesh().nb_vertices() : 0;
  }
  if (type == Surface<3>::component_type_static()) {
    return brep.has_surface(id) ? brep.surface(id).mesh().nb_vertices() : 0;
  }
  if (type == Block<3>::component_type_static()) {
    return brep.has_block(id) ? brep.block(id).mesh().nb_vertices() : 0;
  }
  return 0;
}

//! The output unique vertex for a vertex of an input component. Copies keep
//! vertex indices, so the output vertices already linked for the same input
//! unique vertex are found through the mapping; the first one found gives
//! its unique vertex. A vertex whose input unique vertex has no linked copy
//! yet, or that has none at all, gets a new one.
inline index_t output_unique_vertex(RemeshingData<BRep, 3> const& data, BRepBuilder& builder,
                                    ComponentMeshVertex const& input_vertex) {
  const index_t input_unique = data.input.unique_vertex(input_vertex);
  if (input_unique == NO_ID) return builder.create_unique_vertex();
  for (auto const& shared : data.input.component_mesh_vertices(input_unique)) {
    auto const& type = shared.component_id.type();
    if (!data.input_to_output.has_mapping_type(type)) continue;
    auto const& mapping = data.input_to_output.at(type);
    if (!mapping.has_mapping_input(shared.component_id.id())) continue;
    const ComponentID output{type, mapping.in2out(shared.component_id.id())};
    if (shared.vertex >= nb_component_vertices(data.output, output)) continue;
    const index_t linked = data.output.unique_vertex({output, shared.vertex});
    if (linked != NO_ID) return linked;
  }
  return builder.create_unique_vertex();
}

//! A copy of the mesh without its unique-vertex links, so that a builder
//! gives the copy unlinked vertices.
template <typename Mesh>
std::unique_ptr<Mesh> unlinked_clone(Mesh const& mesh) {
  auto copy = mesh.clone();
  copy->vertex_attribute_manager().delete_attribute(VertexIdentifier::attribute_name());
  return copy;
}

//! Links every vertex of the output component, a copy of the input one, to
//! its output unique vertex.
inline void link_copied_vertices(RemeshingData<BRep, 3> const& data, BRepBuilder& builder,
                                 ComponentID const& input, ComponentID const& output) {
  const index_t nb_vertices = nb_component_vertices(data.output, output);
  for (index_t v = 0; v < nb_vertices; ++v) {
    builder.set_unique_vertex({output, v}, output_unique_vertex(data, builder, {input, v}));
  }
}

}  // namespace detail
}  // namespace tarnix
