#include "common/surface_relaxer/relaxer_test_sections.h"

#include <algorithm>
#include <random>
#include <utility>

#include <ulvane/geometry/predicates.h>
#include <ulvane/mesh/edged_curve_builder.h>
#include <ulvane/mesh/point_set_builder.h>
#include <ulvane/mesh/triangulated_surface.h>
#include <ulvane/mesh/triangulated_surface_builder.h>
#include <ulvane/model/section_builder.h>

#include <morvex/modifier_model.h>

namespace tarnix {
namespace test {

PlanarMesh grid_mesh(index_t n) {
  PlanarMesh mesh;
  const auto vertex = [n](index_t i, index_t j) { return i + (n + 1) * j; };
  for (index_t j = 0; j <= n; ++j) {
    for (index_t i = 0; i <= n; ++i) {
      mesh.points.push_back({{static_cast<double>(i), static_cast<double>(j)}});
    }
  }
  for (index_t j = 0; j < n; ++j) {
    for (index_t i = 0; i < n; ++i) {
      mesh.triangles.push_back({{vertex(i, j), vertex(i + 1, j), vertex(i + 1, j + 1)}});
      mesh.triangles.push_back({{vertex(i, j), vertex(i + 1, j + 1), vertex(i, j + 1)}});
    }
  }
  return mesh;
}

void flip_square(PlanarMesh& mesh, index_t n, index_t i, index_t j) {
  const index_t p00 = i + (n + 1) * j;
  const index_t p10 = p00 + 1;
  const index_t p01 = p00 + n + 1;
  const index_t p11 = p01 + 1;
  const index_t first = 2 * (i + n * j);
  mesh.triangles[first] = {{p00, p10, p01}};
  mesh.triangles[first + 1] = {{p10, p11, p01}};
}

void jitter_interior(PlanarMesh& mesh, double size, double amplitude, std::uint32_t seed) {
  std::mt19937 random{seed};
  std::uniform_real_distribution<double> offset{-amplitude, amplitude};
  std::vector<std::vector<index_t>> triangles_of(mesh.points.size());
  for (index_t t = 0; t < mesh.triangles.size(); ++t) {
    for (const index_t v : mesh.triangles[t]) triangles_of[v].push_back(t);
  }
  const auto is_counter_clockwise = [&mesh](index_t t) {
    auto const& corners = mesh.triangles[t];
    return orientation_2d(Point<2>{mesh.points[corners[0]]}, Point<2>{mesh.points[corners[1]]},
                          Point<2>{mesh.points[corners[2]]}) == Sign::positive;
  };
  for (index_t v = 0; v < mesh.points.size(); ++v) {
    auto& point = mesh.points[v];
    if (!(point[0] > 0 && point[0] < size && point[1] > 0 && point[1] < size)) continue;
    const auto original = point;
    point[0] += offset(random);
    point[1] += offset(random);
    // A move that would turn a triangle over is not made.
    if (!std::all_of(triangles_of[v].begin(), triangles_of[v].end(), is_counter_clockwise)) {
      point = original;
    }
  }
}

index_t insert_centroid(PlanarMesh& mesh, index_t triangle) {
  const auto corners = mesh.triangles[triangle];
  std::array<double, 2> centroid{{0, 0}};
  for (const index_t v : corners) {
    for (index_t c = 0; c < 2; ++c) centroid[c] += mesh.points[v][c] / 3;
  }
  const auto middle = static_cast<index_t>(mesh.points.size());
  mesh.points.push_back(centroid);
  mesh.triangles[triangle] = {{corners[0], corners[1], middle}};
  mesh.triangles.push_back({{corners[1], corners[2], middle}});
  mesh.triangles.push_back({{corners[2], corners[0], middle}});
  return middle;
}

index_t insert_square_centre(PlanarMesh& mesh, index_t n, index_t i, index_t j) {
  const index_t p00 = i + (n + 1) * j;
  const std::array<index_t, 4> corners{{p00, p00 + 1, p00 + n + 2, p00 + n + 1}};
  std::array<double, 2> centre{{0, 0}};
  for (const index_t v : corners) {
    for (index_t c = 0; c < 2; ++c) centre[c] += mesh.points[v][c] / 4;
  }
  const auto middle = static_cast<index_t>(mesh.points.size());
  mesh.points.push_back(centre);
  const index_t first = 2 * (i + n * j);
  mesh.triangles[first] = {{corners[0], corners[1], middle}};
  mesh.triangles[first + 1] = {{corners[1], corners[2], middle}};
  mesh.triangles.push_back({{corners[2], corners[3], middle}});
  mesh.triangles.push_back({{corners[3], corners[0], middle}});
  return middle;
}

RectangleSection make_rectangle_section(PlanarMesh const& planar, double width,
                                        double height) {
  RectangleSection fixture;
  SectionBuilder builder{fixture.section};

  auto surface_mesh = TriangulatedSurface<2>::create();
  {
    auto surface_builder = TriangulatedSurfaceBuilder<2>::create(*surface_mesh);
    for (auto const& point : planar.points) surface_builder->create_point(Point<2>{point});
    for (auto const& triangle : planar.triangles) surface_builder->create_triangle(triangle);
    surface_builder->compute_polygon_adjacencies();
  }
  fixture.surface = builder.add_surface(std::move(surface_mesh));
  const ComponentID surface_id{"Surface", fixture.surface};
  std::vector<index_t> unique(planar.points.size());
  for (index_t v = 0; v < planar.points.size(); ++v) {
    unique[v] = builder.create_unique_vertex();
    builder.set_unique_vertex({surface_id, v}, unique[v]);
  }
  const auto vertex_at = [&](double x, double y) {
    for (index_t v = 0; v < planar.points.size(); ++v) {
      if (planar.points[v][0] == x && planar.points[v][1] == y) return v;
    }
    throw UlvaneException("[make_rectangle_section] No vertex at a corner of the rectangle");
  };

  const std::array<std::array<double, 2>, 4> corner_points{
      {{{0, 0}}, {{width, 0}}, {{width, height}}, {{0, height}}}};
  std::array<index_t, 4> corner_vertices;
  for (index_t k = 0; k < 4; ++k) {
    corner_vertices[k] = vertex_at(corner_points[k][0], corner_points[k][1]);
    uuid const& id = builder.add_corner();
    auto& mesh = builder.modifiable_corner(id).get_modifiable_mesh();
    const index_t v = PointSetBuilder<2>::create(mesh)->create_point(Point<2>{corner_points[k]});
    builder.set_unique_vertex({ComponentID{"Corner", id}, v}, unique[corner_vertices[k]]);
    fixture.corners.push_back(id);
  }

  // Side k runs from corner k to corner k + 1; `along` orders its vertices.
  for (index_t k = 0; k < 4; ++k) {
    const index_t axis = k % 2 == 0 ? 1 : 0;  // the coordinate that is constant
    const double level = k == 0 || k == 3 ? 0.0 : (axis == 0 ? width : height);
    std::vector<index_t> side;
    for (index_t v = 0; v < planar.points.size(); ++v) {
      if (planar.points[v][axis] == level) side.push_back(v);
    }
    const index_t along = 1 - axis;
    const bool increasing = k < 2;
    std::sort(side.begin(), side.end(), [&](index_t a, index_t b) {
      return increasing ? planar.points[a][along] < planar.points[b][along]
                        : planar.points[a][along] > planar.points[b][along];
    });
    uuid const& id = builder.add_line();
    auto& mesh = builder.modifiable_line(id).get_modifiable_mesh();
    auto curve = EdgedCurveBuilder<2>::create(mesh);
    for (const index_t v : side) {
      const index_t created = curve->create_point(Point<2>{planar.points[v]});
      builder.set_unique_vertex({ComponentID{"Line", id}, created}, unique[v]);
      if (created > 0) curve->create_edge(created - 1, created);
    }
    builder.add_corner_line_boundary_relationship(fixture.corners[k], id);
    builder.add_corner_line_boundary_relationship(fixture.corners[(k + 1) % 4], id);
    builder.add_line_surface_boundary_relationship(id, fixture.surface);
    fixture.lines.push_back(id);
  }
  return fixture;
}

void jitter_free_vertices(Section& section, double amplitude, std::uint32_t seed) {
  std::mt19937 random{seed};
  std::uniform_real_distribution<double> offset{-amplitude, amplitude};
  SectionGeometricModifier modifier{section};
  for (auto const& surface : section.surfaces()) {
    auto const& mesh = surface.get_mesh();
    for (index_t v = 0; v < mesh.nb_vertices(); ++v) {
      const index_t unique = section.unique_vertex({surface.component_id(), v});
      if (section.has_component_mesh_vertices(unique, "Line") ||
          section.has_component_mesh_vertices(unique, "Corner")) {
        continue;
      }
      Point<2> moved = mesh.point(v);
      moved.set_value(0, moved.value(0) + offset(random));
      moved.set_value(1, moved.value(1) + offset(random));
      if (is_move_point_valid(section, unique, moved)) modifier.move_point(unique, moved);
    }
  }
}

}  // namespace test
}  // namespace tarnix
