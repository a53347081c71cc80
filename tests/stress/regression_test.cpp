// Regressions found by the robustness harness: each test is the smallest
// input found that shows one fault.
#include <array>
#include <string>
#include <vector>

#include <absl/strings/str_join.h>
#include <gtest/gtest.h>

#include <model/model_fixtures.h>
#include <ulvane/mesh/edged_curve_builder.h>
#include <ulvane/mesh/point_set_builder.h>
#include <ulvane/mesh/triangulated_surface.h>
#include <ulvane/mesh/triangulated_surface_builder.h>
#include <ulvane/model/section.h>
#include <ulvane/model/section_builder.h>
#include <vantrel/core.h>

#include "pipeline_checks.h"
#include "stress_metric.h"

namespace tarnix {
namespace {

// Remeshes and expects a valid, conforming output of the same area.
void expect_remeshed(Section const& input, Metric<2> const& metric) {
  Section output;
  try {
    auto const data = stress::remesh_section(input, output, metric);
    auto const problems = stress::remesh_problems(data);
    EXPECT_TRUE(problems.empty()) << absl::StrJoin(problems, "\n");
  } catch (std::exception const& e) {
    ADD_FAILURE() << "refused: " << e.what();
  }
}

// The square [0, size]^2 as two triangles, bounded by four one-edge lines.
//
//   c3 ---- c2
//   |     / |
//   |   /   |
//   | /     |
//   c0 ---- c1
Section square_section(double size) {
  Section section;
  SectionBuilder builder{section};
  std::array<Point<2>, 4> const points{{Point<2>{{0, 0}}, Point<2>{{size, 0}},
                                        Point<2>{{size, size}}, Point<2>{{0, size}}}};
  std::array<index_t, 4> uniques{};
  std::array<uuid, 4> corners;
  for (int c = 0; c < 4; ++c) {
    uniques[c] = builder.create_unique_vertex();
    corners[c] = builder.add_corner();
    PointSetBuilder<2>::create(builder.modifiable_corner(corners[c]).get_modifiable_mesh())
        ->create_point(points[c]);
    builder.set_unique_vertex({{"Corner", corners[c]}, 0}, uniques[c]);
  }
  auto const surface = builder.add_surface();
  auto& mesh = dynamic_cast<TriangulatedSurface<2>&>(
      builder.modifiable_surface(surface).get_modifiable_mesh());
  auto triangles = TriangulatedSurfaceBuilder<2>::create(mesh);
  for (index_t c = 0; c < 4; ++c) {
    triangles->create_point(points[c]);
    builder.set_unique_vertex({{"Surface", surface}, c}, uniques[c]);
  }
  triangles->create_triangle({0, 1, 2});
  triangles->create_triangle({0, 2, 3});
  triangles->compute_polygon_adjacencies();
  for (int l = 0; l < 4; ++l) {
    auto const line = builder.add_line();
    auto curve = EdgedCurveBuilder<2>::create(builder.modifiable_line(line).get_modifiable_mesh());
    for (int k = 0; k < 2; ++k) {
      auto const v = curve->create_point(points[(l + k) % 4]);
      builder.set_unique_vertex({{"Line", line}, v}, uniques[(l + k) % 4]);
      builder.add_corner_line_boundary_relationship(corners[(l + k) % 4], line);
    }
    curve->create_edge(0, 1);
    builder.add_line_surface_boundary_relationship(line, surface);
  }
  return section;
}

// Two unit squares of two triangles each: at a twentieth of their side the
// front's macro-edge cuts keep cutting the working surface (tens of
// thousands of triangles) until a cut is refused with "[cut_along_path] The
// cut would fold triangle ...". A tenth still works.
TEST(RemeshSurfaces, MetricMuchFinerThanTheInputTriangles) {
  auto fixture = test::make_two_surface_section(1);
  for (double length : {0.1, 0.05}) {
    SCOPED_TRACE(length);
    expect_remeshed(fixture.section, ConstantMetric<2>{length});
  }
}

// The same square and relative target length at every scale.
TEST(RemeshSurfaces, ResultDoesNotDependOnTheScale) {
  for (double scale : {1.0, 1e-3, 1e-6, 1e3, 1e6}) {
    SCOPED_TRACE(scale);
    expect_remeshed(square_section(scale), ConstantMetric<2>{0.25 * scale});
  }
}

// Every edge of a remeshed internal line must be an edge of the output
// surface, on both its sides.
TEST(RemeshSurfaces, InternalLineEdgesAreSurfaceEdges) {
  auto fixture = test::make_internal_line_section(1);
  for (double length : {0.3, 0.5, 1.0, 2.0}) {
    SCOPED_TRACE(length);
    expect_remeshed(fixture.section, ConstantMetric<2>{length});
  }
}

}  // namespace
}  // namespace tarnix
