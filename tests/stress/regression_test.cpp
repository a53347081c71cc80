// Regressions found by the robustness harness: each test is the smallest
// input found that shows one fault.
#include <algorithm>
#include <array>
#include <cstdint>
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

#include <tarnix/brep.h>
#include <tarnix/surface2d/relax_surfaces.h>

#include "brep_checks.h"
#include "brep_generator.h"
#include "pipeline_checks.h"
#include "section_generator.h"
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

// Generated sections whose remeshing left the area between the fronts
// wrong: each case names what went wrong before. The output must cover
// each surface once, end at its lines and nowhere else, and keep its area
// through relaxation.
struct GeneratedCase {
  char const* name;
  std::uint64_t seed;
  stress::ShapeOptions options;
  double smallest;  // metric lengths, in domain sizes
  double largest;
};

stress::ShapeOptions shape(index_t min_cells, index_t max_cells, double jitter, bool squash) {
  stress::ShapeOptions options;
  options.min_cells = min_cells;
  options.max_cells = max_cells;
  options.jitter = jitter;
  options.squash = squash;
  return options;
}

// A sheet with a fin standing on a row of its grid edges: a repair split an
// edge at a point in line with the vertex across it to within the rounding
// of the coordinates. The exact test let the split through, and the output
// kept triangles of no area.
TEST(RemeshBRep, RepairSplitsLeaveNoTriangleFlatToRounding) {
  const std::uint64_t seed = 30059;
  stress::RandomChoices choices{seed};
  const auto kind = static_cast<stress::Duplicate>(seed % stress::NB_DUPLICATES);
  const index_t cells = choices.in_range(2, 30);
  auto generated = stress::generate_duplicated_surfaces(choices, kind, cells);
  const double draw = choices.unit();
  stress::scale(generated, draw < 0.6 ? 1.0 : (draw < 0.8 ? 1e-6 : 1e6));
  const ConstantMetric<3> metric{0.1 * generated.size};
  const auto remeshed = remesh(generated.brep, metric);
  const auto problems = stress::output_problems(std::get<0>(remeshed));
  EXPECT_TRUE(problems.empty()) << absl::StrJoin(problems, "\n");
}

class GeneratedSectionTest : public ::testing::TestWithParam<GeneratedCase> {};

TEST_P(GeneratedSectionTest, RemeshedSurfacesCoverTheirDomainOnce) {
  auto const& c = GetParam();
  stress::RandomChoices choices{c.seed};
  auto const input = stress::generate_section(choices, c.options);
  double const low = std::max(c.smallest * input.size, input.line_length / 2000.0);
  auto const metric = stress::StressMetric::random(choices, input.size, low,
                                                   std::max(low, c.largest * input.size));
  Section output;
  auto const data = stress::remesh_section(input.section, output, metric);
  auto problems = stress::remesh_problems(data);
  ASSERT_TRUE(problems.empty()) << absl::StrJoin(problems, "\n");
  auto const areas = stress::surface_areas(output);
  relax_surfaces(output, metric);
  problems = stress::section_problems(output);
  for (auto& problem : stress::area_problems(output, areas)) problems.push_back(problem);
  EXPECT_TRUE(problems.empty()) << absl::StrJoin(problems, "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GeneratedSectionTest,
    ::testing::Values(
        // Border collapses of an unmeshed region turned triangles over.
        GeneratedCase{"RegionCollapsesTurnedTrianglesOver", 1016, shape(2, 8, 0.2, false), 0.01, 0.4},
        GeneratedCase{"RegionCollapsesTurnedTrianglesOverAgain", 1028, shape(2, 8, 0.2, false), 0.01,
                      0.4},
        GeneratedCase{"RegionCollapsesTurnedNearlyFlatTrianglesOver", 1016,
                      shape(4, 30, 1e-10, false), 0.01, 0.2},
        // ... or left a vertex of the input border in the output border,
        // off the line, where relaxation then moved it.
        GeneratedCase{"RegionCollapsesLeftTheBorderOffItsLine", 1006, shape(2, 8, 0.2, false), 0.01,
                      0.4},
        // Fronts met around covered triangles only: a sliver gap that no
        // region filled.
        GeneratedCase{"FrontsLeftASliverGap", 1009, shape(2, 8, 0.2, false), 0.01, 0.4},
        // Fronts met across a vertex lying on the far side of an edge: the
        // output folded over itself.
        GeneratedCase{"FrontsFoldedOverAVertex", 1014, shape(4, 30, 1e-10, false), 0.01, 0.2},
        // A gap between the front and a line, next to nearly coincident
        // points: the line edge was missing from the surface.
        GeneratedCase{"GapAlongABoundaryLine", 1005, shape(5, 30, 0.0, true), 0.01, 0.2},
        // A gap whose outline runs out and back along one line: no simple
        // polygon until its spike is closed.
        GeneratedCase{"GapRunningBackAlongItself", 1091, shape(4, 30, 1e-10, false), 0.01, 0.2},
        // Collapsing the edges of nearly coincident points left a triangle
        // hanging by one vertex, and the front's walks lost their way there.
        GeneratedCase{"CollapsesPinchedTheWorkingSurface", 1053, shape(5, 30, 0.0, true), 0.01,
                      0.2},
        // A candidate apex on the line of its front edge made a flat
        // output triangle.
        GeneratedCase{"ApexOnTheFrontEdgeLine", 1054, shape(5, 30, 0.2, true), 0.01, 0.2},
        // A vertex that only an unmeshed region's triangles held was left
        // in no triangle when the region's outline was triangulated.
        GeneratedCase{"VertexInsideAnOpenRegion", 1332, shape(5, 30, 0.2, true), 0.01, 0.2},
        GeneratedCase{"VertexInsideAnOpenRegionOfCoarseInput", 1340, shape(2, 8, 0.2, false), 0.01,
                      0.4},
        // The border ran through a vertex a hair outside its line: a gap
        // no triangle can close.
        GeneratedCase{"FoldAgainstABoundaryLine", 1420, shape(5, 30, 0.2, true), 0.01, 0.2}),
    [](auto const& test_info) { return test_info.param.name; });

}  // namespace
}  // namespace tarnix
