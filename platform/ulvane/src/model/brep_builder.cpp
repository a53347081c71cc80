#include <ulvane/model/brep_builder.h>

#include <ulvane/mesh/triangulated_surface.h>

#include "model_builder_helpers.h"

namespace tarnix {

BRepBuilder::BRepBuilder(BRep& brep)
    : VertexIdentifierBuilder(brep), brep_(brep) {}

uuid const& BRepBuilder::add_corner() { return add_corner(uuid{}); }

uuid const& BRepBuilder::add_corner(uuid const& id) {
  return detail::add_component(brep_.corner_collection(), id, PointSet<3>::create(),
                               [this](ComponentID const& component, VertexSet const& mesh) {
                                 register_component(component, mesh);
                               });
}

uuid const& BRepBuilder::add_line() { return add_line(uuid{}); }

uuid const& BRepBuilder::add_line(uuid const& id) {
  return detail::add_component(brep_.line_collection(), id, EdgedCurve<3>::create(),
                               [this](ComponentID const& component, VertexSet const& mesh) {
                                 register_component(component, mesh);
                               });
}

uuid const& BRepBuilder::add_surface() { return add_surface(uuid{}); }

uuid const& BRepBuilder::add_surface(uuid const& id) {
  return add_surface(id, TriangulatedSurface<3>::create());
}

uuid const& BRepBuilder::add_surface(std::unique_ptr<SurfaceMesh<3>> mesh) {
  return add_surface(uuid{}, std::move(mesh));
}

uuid const& BRepBuilder::add_surface(uuid const& id, std::unique_ptr<SurfaceMesh<3>> mesh) {
  if (!mesh) throw UlvaneException("[BRepBuilder::add_surface] A surface needs a mesh");
  return detail::add_component(brep_.surface_collection(), id, std::move(mesh),
                               [this](ComponentID const& component, VertexSet const& m) {
                                 register_component(component, m);
                               });
}

uuid const& BRepBuilder::add_block() { return add_block(uuid{}); }

uuid const& BRepBuilder::add_block(uuid const& id) {
  return detail::add_component(brep_.block_collection(), id, SolidMesh<3>::create(),
                               [this](ComponentID const& component, VertexSet const& mesh) {
                                 register_component(component, mesh);
                               });
}

void BRepBuilder::set_corner_mesh(uuid const& corner, std::unique_ptr<PointSet<3>> mesh) {
  detail::replace_mesh(modifiable_corner(corner), std::move(mesh),
                       [this](ComponentID const& component, VertexSet const& m) {
                         rebind_component(component, m);
                       });
}

void BRepBuilder::set_line_mesh(uuid const& line, std::unique_ptr<EdgedCurve<3>> mesh) {
  detail::replace_mesh(modifiable_line(line), std::move(mesh),
                       [this](ComponentID const& component, VertexSet const& m) {
                         rebind_component(component, m);
                       });
}

void BRepBuilder::set_surface_mesh(uuid const& surface, std::unique_ptr<SurfaceMesh<3>> mesh) {
  detail::replace_mesh(modifiable_surface(surface), std::move(mesh),
                       [this](ComponentID const& component, VertexSet const& m) {
                         rebind_component(component, m);
                       });
}

void BRepBuilder::set_block_mesh(uuid const& block, std::unique_ptr<SolidMesh<3>> mesh) {
  detail::replace_mesh(modifiable_block(block), std::move(mesh),
                       [this](ComponentID const& component, VertexSet const& m) {
                         rebind_component(component, m);
                       });
}

void BRepBuilder::add_corner_line_boundary_relationship(uuid const& corner,
                                                           uuid const& line) {
  brep_.line_boundaries_.add(brep_.line(line), brep_.corner(corner));
}

void BRepBuilder::add_line_surface_boundary_relationship(uuid const& line,
                                                            uuid const& surface) {
  brep_.surface_boundaries_.add(brep_.surface(surface), brep_.line(line));
}

void BRepBuilder::add_surface_block_boundary_relationship(uuid const& surface,
                                                           uuid const& block) {
  brep_.block_boundaries_.add(brep_.block(block), brep_.surface(surface));
}

void BRepBuilder::add_line_surface_internal_relationship(uuid const& line,
                                                            uuid const& surface) {
  brep_.internal_lines_.add(brep_.surface(surface), brep_.line(line));
}

void BRepBuilder::add_corner_surface_internal_relationship(uuid const& corner,
                                                              uuid const& surface) {
  brep_.internal_corners_.add(brep_.surface(surface), brep_.corner(corner));
}

Corner<3>& BRepBuilder::modifiable_corner(uuid const& id) {
  return brep_.corner_collection().at(id, "[BRepBuilder::modifiable_corner]");
}

Line<3>& BRepBuilder::modifiable_line(uuid const& id) {
  return brep_.line_collection().at(id, "[BRepBuilder::modifiable_line]");
}

Surface<3>& BRepBuilder::modifiable_surface(uuid const& id) {
  return brep_.surface_collection().at(id, "[BRepBuilder::modifiable_surface]");
}

Block<3>& BRepBuilder::modifiable_block(uuid const& id) {
  return brep_.block_collection().at(id, "[BRepBuilder::modifiable_block]");
}

ModelCopyMapping BRepBuilder::copy(BRep const& from) {
  if (&from == &brep_) {
    throw UlvaneException("[BRepBuilder::copy] A BRep cannot be copied into itself");
  }
  const index_t offset = create_unique_vertices(from.nb_unique_vertices());
  const auto link = [this, offset](ComponentID const& component, VertexSet const& mesh) {
    register_component(component, mesh, offset);
  };
  ModelCopyMapping mapping;
  absl::flat_hash_map<uuid, uuid> all;
  detail::copy_components(from.corners(), mapping.emplace("Corner"), all, [&](auto mesh) -> uuid const& {
    return detail::add_component(brep_.corner_collection(), uuid{}, std::move(mesh), link);
  });
  detail::copy_components(from.lines(), mapping.emplace("Line"), all, [&](auto mesh) -> uuid const& {
    return detail::add_component(brep_.line_collection(), uuid{}, std::move(mesh), link);
  });
  detail::copy_components(from.surfaces(), mapping.emplace("Surface"), all,
                          [&](auto mesh) -> uuid const& {
                            return detail::add_component(brep_.surface_collection(), uuid{},
                                                         std::move(mesh), link);
                          });
  detail::copy_components(from.blocks(), mapping.emplace("Block"), all,
                          [&](auto mesh) -> uuid const& {
                            return detail::add_component(brep_.block_collection(), uuid{},
                                                         std::move(mesh), link);
                          });

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
  for (auto const& block : from.blocks()) {
    for (auto const& surface : from.boundaries(block)) {
      add_surface_block_boundary_relationship(all.at(surface.id()), all.at(block.id()));
    }
  }
  copy_link_order(from, all, offset);
  return mapping;
}

}  // namespace tarnix
