#include "driver/region_transfer.h"

#include <array>
#include <vector>

#include <gtest/gtest.h>

#include <mesh/surface_fixtures.h>
#include <mesh/surface_validity.h>

namespace tarnix {
namespace detail {
namespace {

using Points = std::vector<std::array<double, 2>>;
using Triangles = std::vector<std::array<index_t, 3>>;

UnmeshedRegion make_region(Points const& points, Triangles const& triangles,
                           std::vector<unsigned int> to_output) {
  UnmeshedRegion region;
  region.mesh = test::make_surface<2>(points, triangles);
  region.to_output_vertex = std::move(to_output);
  return region;
}

struct RegionCase {
  char const* name;
  Points points;
  Triangles triangles;
  std::vector<unsigned int> to_output;
  index_t nb_triangles_after;
  // Per region vertex after the clean: the result vertex, or NO_ID.
  std::vector<unsigned int> table;
};

class RegionTransferTest : public ::testing::TestWithParam<RegionCase> {};

TEST_P(RegionTransferTest, RemovesWhatStandsForNoOutputVertex) {
  auto const& c = GetParam();
  auto region = make_region(c.points, c.triangles, c.to_output);
  std::vector<unsigned int> table;
  {
    RegionTransfer transfer{region};
    auto const result = transfer.post_process_region();
    table.assign(result.begin(), result.end());
  }
  EXPECT_FALSE(region.mesh->vertex_attribute_manager().attribute_exists("locks"));
  test::expect_valid_surface(*region.mesh);
  EXPECT_EQ(region.mesh->nb_polygons(), c.nb_triangles_after);
  EXPECT_EQ(table, c.table);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegionTransferTest,
    ::testing::Values(
        // Every vertex stands for an output vertex: nothing moves.
        RegionCase{"AllLocked",
                   {{0, 0}, {1, 0}, {1, 1}, {0, 1}},
                   {{0, 1, 2}, {0, 2, 3}},
                   {7, 8, 9, 10},
                   2,
                   {7, 8, 9, 10}},
        // The centre of a fan collapses onto a locked corner.
        RegionCase{"InteriorVertex",
                   {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0.5, 0.5}},
                   {{0, 1, 4}, {1, 2, 4}, {2, 3, 4}, {3, 0, 4}},
                   {3, 2, 1, 0, NO_ID},
                   2,
                   {3, 2, 1, 0}},
        // A vertex inside a border edge collapses onto a locked end.
        RegionCase{"BorderVertex",
                   {{0, 0}, {1, 0}, {0, 1}, {0.5, 0}},
                   {{0, 3, 2}, {3, 1, 2}},
                   {4, 5, 6, NO_ID},
                   1,
                   {4, 5, 6}},
        // Two free vertices inside one border edge: both go, one collapse
        // after the other in the same pass.
        RegionCase{"TwoBorderVertices",
                   {{0, 0}, {3, 0}, {1.5, 2}, {1, 0}, {2, 0}},
                   {{0, 3, 2}, {3, 4, 2}, {4, 1, 2}},
                   {4, 5, 6, NO_ID, NO_ID},
                   1,
                   {4, 5, 6}}),
    [](auto const& test_info) { return test_info.param.name; });

struct DuplicateCase {
  char const* name;
  Triangles triangles;
  index_t nb_triangles_after;
  index_t nb_vertices_after;
};

class DeleteDuplicateTrianglesTest : public ::testing::TestWithParam<DuplicateCase> {};

TEST_P(DeleteDuplicateTrianglesTest, KeepsOneCounterClockwiseCopy) {
  auto const& c = GetParam();
  auto mesh = test::make_surface<2>({{0, 0}, {1, 0}, {1, 1}, {0, 1}, {2, 0}}, c.triangles);
  auto builder = TriangulatedSurfaceBuilder<2>::create(*mesh);
  delete_duplicate_triangles(*mesh, *builder);
  EXPECT_EQ(mesh->nb_polygons(), c.nb_triangles_after);
  EXPECT_EQ(mesh->nb_vertices(), c.nb_vertices_after);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DeleteDuplicateTrianglesTest,
    ::testing::Values(
        DuplicateCase{"NoneLeavesTheSurfaceAlone", {{0, 1, 2}, {0, 2, 3}}, 2, 5},
        DuplicateCase{"TwoCopiesKeepOne", {{0, 1, 2}, {0, 2, 3}, {1, 2, 0}}, 2, 4},
        DuplicateCase{"ReversedCopyGoes", {{0, 1, 2}, {0, 2, 3}, {0, 2, 1}, {1, 4, 2}}, 3, 5},
        DuplicateCase{"ReversedCopyFirstGoes", {{0, 2, 1}, {0, 1, 2}, {0, 2, 3}}, 2, 4},
        DuplicateCase{"ThreeCopiesKeepOne", {{0, 1, 2}, {2, 0, 1}, {1, 2, 0}, {0, 2, 3}}, 2, 4}),
    [](auto const& test_info) { return test_info.param.name; });

}  // namespace
}  // namespace detail
}  // namespace tarnix
