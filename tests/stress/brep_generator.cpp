#include "brep_generator.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include <ulvane/mesh/edged_curve_builder.h>
#include <ulvane/mesh/point_set_builder.h>
#include <ulvane/mesh/polygonal_surface.h>
#include <ulvane/mesh/polygonal_surface_builder.h>
#include <ulvane/mesh/triangulated_surface.h>
#include <ulvane/mesh/triangulated_surface_builder.h>
#include <ulvane/model/brep_builder.h>

#include "brep/brep_test_models.h"
#include "brep/repair/repair_test_models.h"
#include "model/model_fixtures.h"

namespace tarnix {
namespace stress {
namespace {

using Vec = std::array<double, 3>;

constexpr double PI = 3.14159265358979323846;

Vec combine(Vec const& a, double ka, Vec const& b, double kb) {
  return {{ka * a[0] + kb * b[0], ka * a[1] + kb * b[1], ka * a[2] + kb * b[2]}};
}

Vec cross(Vec const& a, Vec const& b) {
  return {{a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]}};
}

double dot(Vec const& a, Vec const& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

Vec normalized(Vec const& a) {
  const double length = std::sqrt(dot(a, a));
  return {{a[0] / length, a[1] / length, a[2] / length}};
}

//! v turned by `angle` about the unit axis (Rodrigues).
Vec rotated(Vec const& v, Vec const& axis, double angle) {
  const double c = std::cos(angle);
  const double s = std::sin(angle);
  const Vec turned = combine(v, c, cross(axis, v), s);
  return combine(turned, 1.0, axis, dot(axis, v) * (1.0 - c));
}

Vec random_direction(Choices& choices) {
  while (true) {
    const Vec candidate{{choices.between(-1, 1), choices.between(-1, 1), choices.between(-1, 1)}};
    const double length2 = dot(candidate, candidate);
    if (length2 > 0.01 && length2 <= 1.0) return normalized(candidate);
  }
}

Point<3> to_point(Vec const& v) { return Point<3>{{v[0], v[1], v[2]}}; }

//! The unique vertices of the vertices of a surface, in vertex order.
std::vector<index_t> unique_vertices_of(BRep const& brep, uuid const& surface) {
  const ComponentID id{Surface<3>::component_type_static(), surface};
  std::vector<index_t> unique;
  const index_t nb_vertices = brep.surface(surface).mesh().nb_vertices();
  for (index_t v = 0; v < nb_vertices; ++v) unique.push_back(brep.unique_vertex({id, v}));
  return unique;
}

}  // namespace

index_t nb_triangles(BRep const& brep) {
  index_t count = 0;
  for (auto const& surface : brep.surfaces()) count += surface.mesh().nb_polygons();
  return count;
}

Frame Frame::random(Choices& choices, double shift) {
  Frame frame;
  const Vec axis = random_direction(choices);
  const double angle = choices.between(0.0, PI);
  frame.u = rotated(frame.u, axis, angle);
  frame.v = rotated(frame.v, axis, angle);
  frame.normal = cross(frame.u, frame.v);
  for (auto& coordinate : frame.origin) coordinate = choices.between(-shift, shift);
  return frame;
}

Frame Frame::tilted(double angle, double a) const {
  const Vec axis = normalized(combine(u, std::cos(a), v, std::sin(a)));
  Frame frame = *this;
  frame.u = rotated(u, axis, angle);
  frame.v = rotated(v, axis, angle);
  frame.normal = rotated(normal, axis, angle);
  return frame;
}

uuid add_sheet(GeneratedBRep& generated, Choices& choices, Frame const& frame,
               SheetOptions const& options, absl::Span<index_t const> unique_vertices) {
  const index_t n = options.cells;
  const double cell = 2.0 / n;
  auto grid = test::height_grid(-1.0, 1.0, -1.0, 1.0, n, [](double, double) { return 0.0; });
  for (index_t j = 0; j <= n; ++j) {
    for (index_t i = 0; i <= n; ++i) {
      auto& point = grid.points[i + (n + 1) * j];
      Vec local{{point.value(0), point.value(1), 0.0}};
      if (i > 0 && i < n && j > 0 && j < n) {
        local[0] += cell * choices.between(-options.jitter, options.jitter);
        local[1] += cell * choices.between(-options.jitter, options.jitter);
        local[2] += cell * choices.between(-options.bump, options.bump);
      }
      Vec world = frame.origin;
      world = combine(world, 1.0, frame.u, local[0]);
      world = combine(world, 1.0, frame.v, local[1]);
      world = combine(world, 1.0, frame.normal, local[2]);
      point = to_point(world);
    }
  }
  generated.nb_triangles += static_cast<index_t>(grid.triangles.size());
  return test::add_triangulated_surface(generated.brep, grid.points, grid.triangles,
                                        unique_vertices);
}

GeneratedBRep generate_crossing_sheets(Choices& choices, CrossingOptions const& options) {
  GeneratedBRep generated;
  generated.size = 2.0;
  generated.inputs_cross = true;
  const auto sheet_options = [&] {
    SheetOptions sheet;
    sheet.cells = choices.chance(0.5) ? options.coarse_cells : options.fine_cells;
    sheet.cells = choices.in_range(std::max<index_t>(1, sheet.cells / 2), sheet.cells);
    sheet.jitter = choices.between(0.0, 0.3);
    sheet.bump = choices.chance(0.5) ? choices.between(0.0, 0.2) : 0.0;
    return sheet;
  };
  if (options.tiny_angle) {
    const Frame frame = Frame::random(choices, 0.1);
    add_sheet(generated, choices, frame, sheet_options());
    const double angle = std::pow(10.0, choices.between(-6.0, -2.0));
    add_sheet(generated, choices, frame.tilted(angle, choices.between(0.0, 2.0 * PI)),
              sheet_options());
    return generated;
  }
  const index_t nb_sheets = choices.in_range(options.min_sheets, options.max_sheets);
  for (index_t k = 0; k < nb_sheets; ++k) {
    add_sheet(generated, choices, Frame::random(choices, 0.2), sheet_options());
  }
  return generated;
}

GeneratedBRep generate_duplicated_surfaces(Choices& choices, Duplicate kind, index_t cells) {
  GeneratedBRep generated;
  generated.size = 2.0;
  const Frame frame = Frame::random(choices, 0.2);
  SheetOptions options;
  options.cells = cells;
  options.jitter = choices.between(0.0, 0.3);
  options.bump = choices.chance(0.5) ? choices.between(0.0, 0.2) : 0.0;
  // The copy is the same draw again: the same seed gives the same sheet.
  const std::uint64_t sheet_seed = choices.below(1u << 30);
  RandomChoices sheet_choices{sheet_seed};
  const uuid sheet = add_sheet(generated, sheet_choices, frame, options);
  RandomChoices copy_choices{sheet_seed};
  switch (kind) {
    case Duplicate::shared_copy:
      generated.inputs_cross = true;
      add_sheet(generated, copy_choices, frame, options,
                unique_vertices_of(generated.brep, sheet));
      break;
    case Duplicate::unlinked_copy:
      generated.inputs_cross = true;
      add_sheet(generated, copy_choices, frame, options);
      break;
    case Duplicate::partial_copy: {
      generated.inputs_cross = true;
      Frame moved = frame;
      moved.origin = combine(moved.origin, 1.0, frame.u, choices.between(-1.0, 1.0));
      moved.origin = combine(moved.origin, 1.0, frame.v, choices.between(-1.0, 1.0));
      add_sheet(generated, copy_choices, moved, options);
      break;
    }
    case Duplicate::shifted_copy: {
      generated.inputs_cross = true;
      Frame moved = frame;
      moved.origin = combine(moved.origin, 1.0, random_direction(choices), 1e-9 * generated.size);
      add_sheet(generated, copy_choices, moved, options);
      break;
    }
    case Duplicate::fin: {
      // The fin stands on row j of the sheet's grid, leaning by up to 80
      // degrees from the normal.
      auto const& mesh = generated.brep.surface(sheet).mesh();
      const auto unique = unique_vertices_of(generated.brep, sheet);
      const index_t j = choices.in_range(0, cells);
      const index_t first = choices.in_range(0, cells - 1);
      const index_t last = choices.in_range(first + 1, cells);
      const double lean = choices.between(-80.0, 80.0) * PI / 180.0;
      const Vec up = combine(frame.normal, std::cos(lean), frame.v, std::sin(lean));
      const double height = choices.between(0.05, 1.0);
      std::vector<Point<3>> points;
      std::vector<index_t> fin_unique;
      std::vector<std::array<index_t, 3>> triangles;
      for (index_t i = first; i <= last; ++i) {
        const index_t v = i + (cells + 1) * j;
        points.push_back(mesh.point(v));
        fin_unique.push_back(unique[v]);
        const Vec bottom{{mesh.point(v).value(0), mesh.point(v).value(1), mesh.point(v).value(2)}};
        points.push_back(to_point(combine(bottom, 1.0, up, height)));
        fin_unique.push_back(NO_ID);
        if (i == first) continue;
        const index_t k = 2 * (i - first);
        triangles.push_back({k - 2, k, k + 1});
        triangles.push_back({k - 2, k + 1, k - 1});
      }
      generated.nb_triangles += static_cast<index_t>(triangles.size());
      test::add_triangulated_surface(generated.brep, points, triangles, fin_unique);
      // A leaning fin can cut through a bumpy sheet.
      generated.inputs_cross = options.bump > 0.0;
      break;
    }
  }
  return generated;
}

GeneratedBRep generate_boxes(Choices& choices, index_t cells, double jitter, bool with_sheet) {
  GeneratedBRep generated;
  const index_t nb_blocks = choices.in_range(1, 3);
  if (nb_blocks == 1) {
    generated.brep = std::move(test::make_cube_brep(cells).brep);
  } else {
    generated.brep = std::move(test::make_box_row_brep(nb_blocks, cells).brep);
  }
  generated.size = static_cast<double>(nb_blocks);
  test::jitter_surface_interiors(generated.brep, jitter / cells,
                                 static_cast<std::uint32_t>(choices.below(1u << 30)));
  generated.nb_triangles = nb_triangles(generated.brep);
  if (with_sheet) {
    Frame frame = Frame::random(choices, 0.2);
    frame.origin = combine(frame.origin, 1.0, Vec{{0.5 * nb_blocks, 0.5, 0.5}}, 1.0);
    SheetOptions options;
    options.cells = choices.in_range(2, 2 * cells);
    options.jitter = choices.between(0.0, 0.3);
    add_sheet(generated, choices, frame, options);
    generated.inputs_cross = true;
  }
  return generated;
}

GeneratedBRep generate_small_parts(Choices& choices, index_t kind) {
  GeneratedBRep generated;
  BRep& brep = generated.brep;
  const auto corner = [&choices](double x, double y, double z) {
    const double wobble = 0.1;
    return Point<3>{{x + choices.between(-wobble, wobble), y + choices.between(-wobble, wobble),
                     z + choices.between(-wobble, wobble)}};
  };
  if (kind == 2) {
    SheetOptions options;
    options.cells = choices.in_range(1, 10);
    add_sheet(generated, choices, Frame::random(choices, 0.2), options);
    BRepBuilder{brep}.add_surface();
    return generated;
  }
  std::vector<Point<3>> points{corner(0, 0, 0), corner(1, 0, 0), corner(0, 1, 0)};
  std::vector<std::array<index_t, 3>> faces{{0, 2, 1}, {0, 1, 2}};
  if (kind == 1) {
    points.push_back(corner(0, 0, 1));
    faces = {{0, 2, 1}, {0, 1, 3}, {1, 2, 3}, {0, 3, 2}};
  }
  std::vector<index_t> unique;
  {
    BRepBuilder builder{brep};
    for (std::size_t v = 0; v < points.size(); ++v) unique.push_back(builder.create_unique_vertex());
  }
  std::vector<uuid> surfaces;
  for (auto const& face : faces) {
    const std::vector<Point<3>> face_points{points[face[0]], points[face[1]], points[face[2]]};
    const std::vector<std::array<index_t, 3>> triangle{{0, 1, 2}};
    const std::vector<index_t> face_unique{unique[face[0]], unique[face[1]], unique[face[2]]};
    surfaces.push_back(test::add_triangulated_surface(brep, face_points, triangle, face_unique));
  }
  BRepBuilder builder{brep};
  uuid const& block = builder.add_block();
  for (auto const& surface : surfaces) builder.add_surface_block_boundary_relationship(surface, block);
  generated.nb_triangles = static_cast<index_t>(faces.size());
  return generated;
}

void scale(GeneratedBRep& generated, double factor) {
  BRep& brep = generated.brep;
  BRepBuilder builder{brep};
  const auto scaled = [factor](Point<3> const& point) {
    return Point<3>{{point.value(0) * factor, point.value(1) * factor, point.value(2) * factor}};
  };
  for (auto const& corner : brep.corners()) {
    auto& mesh = builder.modifiable_corner(corner.id()).get_modifiable_mesh();
    auto editor = PointSetBuilder<3>::create(mesh);
    for (index_t v = 0; v < mesh.nb_vertices(); ++v) editor->set_point(v, scaled(mesh.point(v)));
  }
  for (auto const& line : brep.lines()) {
    auto& mesh = builder.modifiable_line(line.id()).get_modifiable_mesh();
    auto editor = EdgedCurveBuilder<3>::create(mesh);
    for (index_t v = 0; v < mesh.nb_vertices(); ++v) editor->set_point(v, scaled(mesh.point(v)));
  }
  for (auto const& surface : brep.surfaces()) {
    auto& mesh = dynamic_cast<TriangulatedSurface<3>&>(
        builder.modifiable_surface(surface.id()).get_modifiable_mesh());
    auto editor = TriangulatedSurfaceBuilder<3>::create(mesh);
    for (index_t v = 0; v < mesh.nb_vertices(); ++v) editor->set_point(v, scaled(mesh.point(v)));
  }
  generated.size *= factor;
}

void make_polygonal(BRep& brep, uuid const& surface) {
  auto const& mesh = dynamic_cast<TriangulatedSurface<3> const&>(brep.surface(surface).mesh());
  auto polygonal = PolygonalSurface<3>::create();
  auto editor = PolygonalSurfaceBuilder<3>::create(*polygonal);
  for (index_t v = 0; v < mesh.nb_vertices(); ++v) editor->create_point(mesh.point(v));
  std::vector<bool> used(mesh.nb_polygons(), false);
  for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
    if (used[t]) continue;
    used[t] = true;
    std::vector<index_t> polygon;
    bool paired = false;
    for (local_index_t e = 0; e < 3; ++e) {
      polygon.push_back(mesh.polygon_vertex({t, e}));
      if (paired) continue;
      const auto adjacent = mesh.polygon_adjacent({t, e});
      if (!adjacent || used[*adjacent]) continue;
      // The vertex of the adjacent triangle across edge e goes between the
      // edge's ends.
      for (local_index_t k = 0; k < 3; ++k) {
        const index_t apex = mesh.polygon_vertex({*adjacent, k});
        if (apex == mesh.polygon_vertex({t, e}) || apex == mesh.polygon_vertex({t, static_cast<local_index_t>((e + 1) % 3)})) {
          continue;
        }
        polygon.push_back(apex);
      }
      used[*adjacent] = true;
      paired = true;
    }
    editor->create_polygon(polygon);
  }
  BRepBuilder{brep}.set_surface_mesh(surface, std::move(polygonal));
}

}  // namespace stress
}  // namespace tarnix
