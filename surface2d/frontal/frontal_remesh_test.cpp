// End-to-end runs of the frontal remesher on working surfaces of real size.

#include <cmath>
#include <cstdio>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <absl/container/flat_hash_map.h>

#include <common/variable_attribute.h>
#include <mesh/surface_fixtures.h>
#include <mesh/surface_validity.h>

#include "frontal/frontal_test_support.h"

namespace tarnix {
namespace test {
namespace {

#if defined(__SANITIZE_ADDRESS__)
// Sanitized builds run several times slower: coarser targets keep them short.
constexpr double SCALE = 2.0;
#else
constexpr double SCALE = 1.0;
#endif

constexpr double RELATIVE_AREA_TOLERANCE = 1e-9;
constexpr unsigned int IN_REGION = 0xFFFFFFFE;

struct Case {
  std::string name;
  std::function<WorkingSurface()> make;
  std::function<double(Point<2> const&)> length;
};

// Every active working triangle is covered by one output triangle or taken
// into one region; each output triangle is exactly the union of the
// triangles it covers, so output triangles do not overlap.
void expect_output_tiles_the_surface(TriangulatedSurface<2> const& working,
                                     detail::RemeshedSurface<2> const& result) {
  auto const info = working.polygon_attribute_manager()
                        .find_attribute<VariableAttribute<unsigned int>>("triangle info");
  auto const& output = *result.mesh;
  std::vector<double> covered(output.nb_polygons(), 0.0);
  double in_regions = 0.0;
  unsigned int nb_uncovered = 0;
  unsigned int nb_outside = 0;
  for (unsigned int t = 0; t < working.nb_polygons(); ++t) {
    if (!working.is_polygon_active(t)) continue;
    const unsigned int o = info->value(t);
    if (o == IN_REGION) {
      in_regions += triangle_area(working, t);
      continue;
    }
    if (o >= output.nb_polygons()) {
      ++nb_uncovered;
      continue;
    }
    covered[o] += triangle_area(working, t);
    std::array<Point<2>, 3> corners;
    for (local_index_t k = 0; k < 3; ++k) corners[k] = output.point(output.polygon_vertex({o, k}));
    for (local_index_t k = 0; k < 3; ++k) {
      Point<2> const& p = working.point(working.polygon_vertex({t, k}));
      for (int e = 0; e < 3; ++e) {
        // Cut points are rounded, so a covered vertex may lie a rounding
        // error beside the output edge it should lie on.
        Point<2> const& from = corners[e];
        Point<2> const& to = corners[(e + 1) % 3];
        const double dx = to.value(0) - from.value(0);
        const double dy = to.value(1) - from.value(1);
        const double cross = dx * (p.value(1) - from.value(1)) - dy * (p.value(0) - from.value(0));
        if (cross < -RELATIVE_AREA_TOLERANCE * (dx * dx + dy * dy)) {
          ++nb_outside;
          break;
        }
      }
    }
  }
  EXPECT_EQ(nb_uncovered, 0u) << "working triangles neither covered nor in a region";
  EXPECT_EQ(nb_outside, 0u) << "covered working vertices outside their output triangle";
  unsigned int nb_wrong_area = 0;
  for (unsigned int o = 0; o < output.nb_polygons(); ++o) {
    const double area = triangle_area(output, o);
    if (std::fabs(covered[o] - area) > RELATIVE_AREA_TOLERANCE * area) ++nb_wrong_area;
  }
  EXPECT_EQ(nb_wrong_area, 0u) << "output triangles that differ from what they cover";

  double region_area = 0.0;
  for (auto const& region : result.unmeshed_regions) {
    expect_valid_surface(*region.mesh);
    const auto nb_filled =
        static_cast<unsigned int>(region.mesh->nb_polygons() - region.ring_triangles.size());
    for (unsigned int t = 0; t < nb_filled; ++t) region_area += triangle_area(*region.mesh, t);
    for (std::size_t q = 0; q < region.ring_triangles.size(); ++q) {
      EXPECT_EQ(region.ring_triangles[q], nb_filled + q);
    }
  }
  EXPECT_NEAR(region_area, in_regions, RELATIVE_AREA_TOLERANCE * surface_area(working));
}

class RemeshSurfaceTest : public ::testing::TestWithParam<Case> {};

TEST_P(RemeshSurfaceTest, CoversTheSurfaceAndKeepsTheGivenVertices) {
  Case const& c = GetParam();
  WorkingSurface working = c.make();
  const double input_area = surface_area(*working.mesh);
  const FunctionMetric metric(c.length);
  const auto result = detail::remesh_surface(*working.mesh, *working.builder, metric, working.given);
  std::remove(absl::StrCat("/tmp/iter", detail::dump_counter().load() - 1, ".ul_tsf2d").c_str());

  expect_valid_surface(*result.mesh);
  ASSERT_GT(result.mesh->nb_polygons(), 0u);
  expect_output_tiles_the_surface(*working.mesh, result);

  const MeshFigures figures = measure(result, metric, input_area);
  const double output_area = surface_area(*result.mesh);
  EXPECT_NEAR(output_area + figures.region_area_share * input_area, input_area,
              RELATIVE_AREA_TOLERANCE * input_area);

  // Each given vertex has exactly one output vertex at its exact point.
  absl::flat_hash_map<Point<2>, unsigned int> output_points;
  for (unsigned int v = 0; v < result.mesh->nb_vertices(); ++v) ++output_points[result.mesh->point(v)];
  unsigned int nb_missing = 0;
  for (const unsigned int g : working.given) {
    const auto found = output_points.find(working.mesh->point(g));
    if (found == output_points.end() || found->second != 1) ++nb_missing;
  }
  EXPECT_EQ(nb_missing, 0u);
  ASSERT_EQ(result.vertex_origins.size(), result.mesh->nb_vertices());
  for (unsigned int v = 0; v < result.mesh->nb_vertices(); ++v) {
    EXPECT_EQ(working.mesh->point(result.vertex_origins[v].input_vertex), result.mesh->point(v));
  }

  std::printf("[ %s ] working surface %u triangles: %s\n", c.name.c_str(),
              working.mesh->nb_polygons(), describe(figures).c_str());
  EXPECT_GT(figures.min_quality, 0.0);
}

double uniform(double h) { return h * SCALE; }

std::vector<Case> cases() {
  const double coarse = uniform(0.01);
  const double fine = uniform(0.02);
  const double hole = uniform(0.02);
  const auto graded = [](Point<2> const& p) {
    return SCALE * (0.01 + 0.05 * std::fabs(p.value(0) - 0.5));
  };
  return {
      {"unit_square_coarse_grid", [=] { return make_split_border_grid(5 * coarse, 5, unit_square); },
       [=](Point<2> const&) { return coarse; }},
      {"unit_square_fine_grid", [=] { return make_fine_grid(fine / 3, fine, unit_square); },
       [=](Point<2> const&) { return fine; }},
      {"square_with_hole", [=] { return make_split_border_grid(5 * hole, 5, square_with_hole); },
       [=](Point<2> const&) { return hole; }},
      {"l_shape", [=] { return make_fine_grid(fine / 3, fine, l_shape); },
       [=](Point<2> const&) { return fine; }},
      {"graded_metric",
       [=] {
         WorkingSurface surface = make_fine_grid(SCALE * 0.005, SCALE * 0.005, unit_square);
         choose_given_by_metric(surface, FunctionMetric(graded));
         return surface;
       },
       graded},
  };
}

INSTANTIATE_TEST_SUITE_P(Surfaces, RemeshSurfaceTest, ::testing::ValuesIn(cases()),
                         [](::testing::TestParamInfo<Case> const& param) { return param.param.name; });


// A border loop on which one vertex alone has an output vertex starts a
// front edge from that vertex to itself. No triangle can stand on it; the
// run must go on and leave the loop's inside to the unmeshed regions.
TEST(RemeshSurface, LeavesALoopWithOneGivenVertexToTheUnmeshedRegions) {
  struct LoopCase {
    std::string name;
    std::function<std::unique_ptr<TriangulatedSurface<2>>()> make;
    std::vector<unsigned int> given;
    unsigned int least_regions;
  };
  // 3 x 3 unit cells without the middle one; vertex i + 4 j at (i, j).
  const auto grid_with_hole = [] {
    std::vector<std::array<double, 2>> points;
    for (unsigned int j = 0; j < 4; ++j) {
      for (unsigned int i = 0; i < 4; ++i) points.push_back({double(i), double(j)});
    }
    std::vector<std::array<unsigned int, 3>> triangles;
    for (unsigned int j = 0; j < 3; ++j) {
      for (unsigned int i = 0; i < 3; ++i) {
        if (i == 1 && j == 1) continue;
        const unsigned int v = i + 4 * j;
        triangles.push_back({v, v + 1, v + 5});
        triangles.push_back({v, v + 5, v + 4});
      }
    }
    return make_surface<2>(points, triangles);
  };
  // Two unit squares that touch at vertex 2, (1, 1).
  const auto touching_squares = [] {
    return make_surface<2>({{0, 0}, {1, 0}, {1, 1}, {0, 1}, {2, 1}, {2, 2}, {1, 2}},
                           {{0, 1, 2}, {0, 2, 3}, {2, 4, 5}, {2, 5, 6}});
  };
  const std::vector<LoopCase> cases{
      {"grid_with_one_given_border_vertex", [] { return make_grid<2>(2); }, {0}, 1},
      {"hole_loop_with_one_given_vertex", grid_with_hole, {0, 3, 15, 12, 5}, 1},
      {"squares_touching_at_a_given_vertex", touching_squares, {2}, 2},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    auto mesh = c.make();
    auto builder = TriangulatedSurfaceBuilder<2>::create(*mesh);
    const double input_area = surface_area(*mesh);
    const ConstantMetric<2> metric{1.0};
    detail::RemeshedSurface<2> result;
    try {
      result = detail::remesh_surface(*mesh, *builder, metric, c.given);
    } catch (std::exception const& error) {
      ADD_FAILURE() << "remesh_surface threw: " << error.what();
      continue;
    }
    std::remove(absl::StrCat("/tmp/iter", detail::dump_counter().load() - 1, ".ul_tsf2d").c_str());
    expect_valid_surface(*result.mesh);
    expect_output_tiles_the_surface(*mesh, result);
    EXPECT_GE(result.unmeshed_regions.size(), c.least_regions);
    const MeshFigures figures = measure(result, metric, input_area);
    EXPECT_NEAR(surface_area(*result.mesh) + figures.region_area_share * input_area, input_area,
                RELATIVE_AREA_TOLERANCE * input_area);
  }
}

}  // namespace
}  // namespace test
}  // namespace tarnix
