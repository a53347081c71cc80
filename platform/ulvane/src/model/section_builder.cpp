#include <ulvane/model/section_builder.h>

#include <ulvane/mesh/triangulated_surface.h>

#include "model_builder_helpers.h"

namespace tarnix {

SectionBuilder::SectionBuilder(Section& section)
    : VertexIdentifierBuilder(section), section_(section) {}

uuid const& SectionBuilder::add_corner() { return add_corner(uuid{}); }

uuid const& SectionBuilder::add_corner(uuid const& id) {
  return detail::add_component(section_.corner_collection(), id, PointSet<2>::create(),
                               [this](ComponentID const& component, VertexSet const& mesh) {
                                 register_component(component, mesh);
                               });
}

uuid const& SectionBuilder::add_line() { return add_line(uuid{}); }

uuid const& SectionBuilder::add_line(uuid const& id) {
  return detail::add_component(section_.line_collection(), id, EdgedCurve<2>::create(),
                               [this](ComponentID const& component, VertexSet const& mesh) {
                                 register_component(component, mesh);
                               });
}

uuid const& SectionBuilder::add_surface() { return add_surface(uuid{}); }

uuid const& SectionBuilder::add_surface(uuid const& id) {
  return add_surface(id, TriangulatedSurface<2>::create());
}

uuid const& SectionBuilder::add_surface(std::unique_ptr<SurfaceMesh<2>> mesh) {
  return add_surface(uuid{}, std::move(mesh));
}

uuid const& SectionBuilder::add_surface(uuid const& id, std::unique_ptr<SurfaceMesh<2>> mesh) {
  if (!mesh) throw UlvaneException("[SectionBuilder::add_surface] A surface needs a mesh");
  return detail::add_component(section_.surface_collection(), id, std::move(mesh),
                               [this](ComponentID const& component, VertexSet const& m) {
                                 register_component(component, m);
                               });
}

void SectionBuilder::set_corner_mesh(uuid const& corner, std::unique_ptr<PointSet<2>> mesh) {
  detail::replace_mesh(modifiable_corner(corner), std::move(mesh),
                       [this](ComponentID const& component, VertexSet const& m) {
                         rebind_component(component, m);
                       });
}

void SectionBuilder::set_line_mesh(uuid const& line, std::unique_ptr<EdgedCurve<2>> mesh) {
  detail::replace_mesh(modifiable_line(line), std::move(mesh),
                       [this](ComponentID const& component, VertexSet const& m) {
                         rebind_component(component, m);
                       });
}

void SectionBuilder::set_surface_mesh(uuid const& surface, std::unique_ptr<SurfaceMesh<2>> mesh) {
  detail::replace_mesh(modifiable_surface(surface), std::move(mesh),
                       [this](ComponentID const& component, VertexSet const& m) {
                         rebind_component(component, m);
                       });
}

void SectionBuilder::add_corner_line_boundary_relationship(uuid const& corner,
                                                           uuid const& line) {
  section_.line_boundaries_.add(section_.line(line), section_.corner(corner));
}

void SectionBuilder::add_line_surface_boundary_relationship(uuid const& line,
                                                            uuid const& surface) {
  section_.surface_boundaries_.add(section_.surface(surface), section_.line(line));
}

void SectionBuilder::add_line_surface_internal_relationship(uuid const& line,
                                                            uuid const& surface) {
  section_.internal_lines_.add(section_.surface(surface), section_.line(line));
}

void SectionBuilder::add_corner_surface_internal_relationship(uuid const& corner,
                                                              uuid const& surface) {
  section_.internal_corners_.add(section_.surface(surface), section_.corner(corner));
}

Corner<2>& SectionBuilder::modifiable_corner(uuid const& id) {
  return section_.corner_collection().at(id, "[SectionBuilder::modifiable_corner]");
}

Line<2>& SectionBuilder::modifiable_line(uuid const& id) {
  return section_.line_collection().at(id, "[SectionBuilder::modifiable_line]");
}

Surface<2>& SectionBuilder::modifiable_surface(uuid const& id) {
  return section_.surface_collection().at(id, "[SectionBuilder::modifiable_surface]");
}

ModelCopyMapping SectionBuilder::copy(Section const& from) {
  if (&from == &section_) {
    throw UlvaneException("[SectionBuilder::copy] A section cannot be copied into itself");
  }
  const index_t offset = create_unique_vertices(from.nb_unique_vertices());
  const auto link = [this, offset](ComponentID const& component, VertexSet const& mesh) {
    register_component(component, mesh, offset);
  };
  ModelCopyMapping mapping;
  absl::flat_hash_map<uuid, uuid> all;
  detail::copy_components(from.corners(), mapping.emplace("Corner"), all, [&](auto mesh) -> uuid const& {
    return detail::add_component(section_.corner_collection(), uuid{}, std::move(mesh), link);
  });
  detail::copy_components(from.lines(), mapping.emplace("Line"), all, [&](auto mesh) -> uuid const& {
    return detail::add_component(section_.line_collection(), uuid{}, std::move(mesh), link);
  });
  detail::copy_components(from.surfaces(), mapping.emplace("Surface"), all,
                          [&](auto mesh) -> uuid const& {
                            return detail::add_component(section_.surface_collection(), uuid{},
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
  copy_link_order(from, all, offset);
  return mapping;
}

}  // namespace tarnix
