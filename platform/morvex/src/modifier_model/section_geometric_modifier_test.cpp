#include <morvex/modifier_model/section_geometric_modifier.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ulvane/mesh/triangulated_surface_builder.h>
#include <ulvane/model/section_builder.h>

#include <morvex/modifier_model/point_mover.h>
#include <morvex/modifier_surface/triangulated_surface_modifier.h>

#include "mesh/surface_fixtures.h"
#include "model/model_fixtures.h"
#include "model_modifier_test_support.h"

namespace tarnix {
namespace {

using test::is_valid_edited_model;
using test::mesh_of;
using test::snapshot;

Point<2> point2(double x, double y) { return Point<2>{{x, y}}; }

//! The left surface of the two-surface section with n = 2, lattice step
//! 1/2 (vertex i + 3 j at (i/2, j/2)); vertex 4 is its only inner vertex.
//!
//!     6 --- 7 --- 8
//!     | 5 / | 7 / |
//!     |  /  |  /  |
//!     | / 4 | / 6 |
//!     3 --- 4 --- 5      x = 1 (vertices 2, 5, 8) is the shared line
//!     | 1 / | 3 / |
//!     |  /  |  /  |
//!     | / 0 | / 2 |
//!     0 --- 1 --- 2
struct TwoSurfaces : ::testing::Test {
  test::TwoSurfaceSection fixture = test::make_two_surface_section(2);
  Section& section = fixture.section;
  Surface<2> const& left = section.surface(fixture.left);
  Surface<2> const& right = section.surface(fixture.right);
  TriangulatedSurface<2> const& left_mesh = mesh_of(section, fixture.left);
  TriangulatedSurface<2> const& right_mesh = mesh_of(section, fixture.right);

  PolygonEdge left_edge(index_t from, index_t to) const {
    return left_mesh.polygon_edge_from_vertices(from, to).value();
  }
  index_t left_unique(index_t vertex) const {
    return section.unique_vertex({left.component_id(), vertex});
  }
};

TEST_F(TwoSurfaces, SwapKeepsBothTrianglesAndPutsTheNewDiagonalAtTheOldHandle) {
  // Edge 4->0 of T = 0 = (0, 1, 4) at local 2, twin 0->4 of T' = 1.
  const PolygonEdge edge{0, 2};
  ASSERT_EQ(left_mesh.polygon_edge_vertices(edge), (std::array<index_t, 2>{4, 0}));
  ASSERT_TRUE(is_swap_edge_valid(section, left, edge).empty());

  SectionGeometricModifier modifier{section};
  modifier.swap_edge(left, edge);
  // P = 4, Q = 0, R = 1, S = 3: T = (R, P, S) and T' = (S, Q, R), rotated so
  // that S->R sits at local 2 of T and R->S at local 0 of T'.
  EXPECT_EQ(test::triangle_of(left_mesh, 0), (std::array<index_t, 3>{1, 4, 3}));
  EXPECT_EQ(test::triangle_of(left_mesh, 1), (std::array<index_t, 3>{1, 3, 0}));
  EXPECT_EQ(left_mesh.polygon_edge_vertices(edge), (std::array<index_t, 2>{3, 1}));
  EXPECT_EQ(left_mesh.polygon_adjacent_edge(edge), (PolygonEdge{1, 0}));
  EXPECT_TRUE(modifier.is_triangle_active(left, 0));
  EXPECT_TRUE(modifier.is_triangle_active(left, 1));
  EXPECT_TRUE(is_valid_edited_model(section));

  // Swapping the handle again brings the diagonal 0-4 back.
  modifier.swap_edge(left, edge);
  EXPECT_TRUE(left_mesh.polygon_edge_from_vertices(0, 4) ||
              left_mesh.polygon_edge_from_vertices(4, 0));
  EXPECT_TRUE(is_valid_edited_model(section));
}

TEST_F(TwoSurfaces, SwapRefusesWhatCannotBeSwapped) {
  SectionGeometricModifier modifier{section};
  EXPECT_THROW(modifier.swap_edge(left, left_edge(0, 1)), UlvaneException);
}

TEST_F(TwoSurfaces, CollapseKeepsTheCornerAtTheTargetAndNamesItFirst) {
  const PolygonEdge edge = left_edge(4, 0);
  const Point<2> target = left_mesh.point(0);
  const index_t corner_unique = left_unique(0);
  ASSERT_TRUE(is_collapse_edge_valid(section, left, edge, target).empty());

  SectionGeometricModifier modifier{section};
  const auto info = modifier.collapse_edge(left, edge, target);
  ASSERT_EQ(info.size(), 1u);
  ASSERT_EQ(info.at(fixture.left).size(), 1u);
  EXPECT_EQ(info.at(fixture.left).at(0).vertex, 0u);
  EXPECT_THAT(info.at(fixture.left).at(0).merged, ::testing::ElementsAre(4u));
  EXPECT_FALSE(modifier.is_triangle_active(left, 0));
  EXPECT_FALSE(modifier.is_triangle_active(left, 1));
  EXPECT_EQ(left_unique(0), corner_unique);
  EXPECT_TRUE(is_valid_edited_model(section));

  modifier.clean();
  EXPECT_EQ(left_mesh.nb_polygons(), 6u);
  EXPECT_EQ(left_mesh.nb_vertices(), 8u);
  EXPECT_EQ(left_unique(0), corner_unique);
  EXPECT_TRUE(is_valid_edited_model(section));
}

TEST_F(TwoSurfaces, CollapseThatWouldRemoveACornerVertexThrows) {
  // The target is the inner vertex's point, so the corner would go.
  SectionGeometricModifier modifier{section};
  const auto before = snapshot(section);
  EXPECT_THROW(modifier.collapse_edge(left, left_edge(4, 0), left_mesh.point(4)),
               UlvaneException);
  EXPECT_EQ(snapshot(section), before);
}

TEST_F(TwoSurfaces, SplitOnTheSharedLineSplitsTheLineAndBothSurfaces) {
  const PolygonEdge edge = left_edge(2, 5);
  const Point<2> point = point2(1.0, 0.25);
  ASSERT_TRUE(is_split_edge_valid(section, left, edge, point).empty());
  auto const& line = section.line(fixture.shared_line);
  const index_t line_edges = line.mesh().nb_edges();
  const index_t right_triangles = right_mesh.nb_polygons();

  SectionGeometricModifier modifier{section};
  const auto info = modifier.split_edge(left, edge, point);
  ASSERT_NE(info.unique_vertex, NO_ID);
  EXPECT_THAT(section.component_mesh_vertices(info.unique_vertex),
              ::testing::UnorderedElementsAre(
                  ComponentMeshVertex{line.component_id(), line.mesh().nb_vertices() - 1},
                  ComponentMeshVertex{left.component_id(), left_mesh.nb_vertices() - 1},
                  ComponentMeshVertex{right.component_id(), right_mesh.nb_vertices() - 1}));
  EXPECT_EQ(line.mesh().nb_edges(), line_edges + 1);
  EXPECT_EQ(line.mesh().point(line.mesh().nb_vertices() - 1), point);
  ASSERT_EQ(info.surfaces.size(), 2u);
  ASSERT_EQ(info.lines.size(), 1u);
  EXPECT_TRUE(info.lines.contains(fixture.shared_line));
  for (auto const& [id, records] : info.surfaces) {
    ASSERT_EQ(records.size(), 1u);
    auto const& mesh = mesh_of(section, id);
    EXPECT_EQ(mesh.point(records[0].vertex), point);
    // A border edge: one triangle becomes two.
    EXPECT_EQ(records[0].own_triangles.size(), 2u);
    EXPECT_TRUE(records[0].twin_triangles.empty());
    for (auto const& [after, before] : records[0].own_triangles) {
      EXPECT_TRUE(mesh.is_polygon_active(after));
      EXPECT_FALSE(mesh.is_polygon_active(before));
    }
  }
  EXPECT_EQ(right_mesh.nb_polygons(), right_triangles + 2);
  EXPECT_TRUE(is_valid_edited_model(section));
  modifier.clean();
  EXPECT_EQ(right_mesh.nb_polygons(), right_triangles + 1);
  EXPECT_TRUE(is_valid_edited_model(section));
}

TEST_F(TwoSurfaces, SplitRecordPairsEveryEdgeOfTheReplacedTriangles) {
  // Inner edge 4->0 of T = 0 (local 2), twin in T' = 1 (local 0).
  const PolygonEdge edge{0, 2};
  const Point<2> point = point2(0.25, 0.25);
  SectionGeometricModifier modifier{section};
  const auto info = modifier.split_edge(left, edge, point);
  ASSERT_EQ(info.surfaces.size(), 1u);
  EXPECT_TRUE(info.lines.empty());
  auto const& record = info.surfaces.at(fixture.left).at(0);
  struct Side {
    char const* name;
    PolygonEdgePairs const& edges;
    absl::InlinedVector<TrianglePair, 2> const& triangles;
    index_t replaced;
    local_index_t local;
  };
  const Side sides[] = {{"own", record.own_edges, record.own_triangles, 0, 2},
                        {"twin", record.twin_edges, record.twin_triangles, 1, 0}};
  for (auto const& side : sides) {
    SCOPED_TRACE(side.name);
    ASSERT_EQ(side.triangles.size(), 2u);
    for (auto const& pair : side.triangles) EXPECT_EQ(pair.second, side.replaced);
    // The split edge pairs with its two pieces, the two other edges with
    // their moved handles, and the two edges to X with nothing.
    for (local_index_t k = 0; k < 3; ++k) {
      const PolygonEdge old_edge{side.replaced, k};
      int count = 0;
      for (auto const& [after, before] : side.edges) {
        if (before != old_edge) continue;
        ++count;
        if (k == side.local) {
          EXPECT_DOUBLE_EQ(left_mesh.edge_length(after), left_mesh.edge_length(old_edge) / 2);
        } else {
          EXPECT_EQ(left_mesh.polygon_edge_vertices(after), left_mesh.polygon_edge_vertices(old_edge));
        }
        EXPECT_TRUE(left_mesh.is_polygon_active(after.polygon_id));
      }
      EXPECT_EQ(count, k == side.local ? 2 : 1) << "old edge " << static_cast<int>(k);
    }
    int interior = 0;
    for (auto const& pair : side.edges) interior += pair.second == PolygonEdge{} ? 1 : 0;
    EXPECT_EQ(interior, 2);
  }
  EXPECT_TRUE(is_valid_edited_model(section));
}

TEST_F(TwoSurfaces, MoveOfASharedLineVertexMovesEveryComponentVertex) {
  const index_t unique = left_unique(5);  // (1, 0.5) on the shared line
  const Point<2> target = point2(1.0, 0.6);
  ASSERT_TRUE(is_move_point_valid(section, unique, target));
  SectionGeometricModifier modifier{section};
  modifier.move_point(unique, target);
  const auto linked = section.component_mesh_vertices(unique);
  EXPECT_EQ(linked.size(), 3u);
  EXPECT_EQ(left_mesh.point(5), target);
  EXPECT_TRUE(is_valid_edited_model(section));
}

// The mover edits its own surface through the builder it keeps and every
// other component as the modifier does: the model ends the same, whether
// the vertex belongs to the mover's surface alone, is shared with the line
// and the other surface, or lies in the other surface only.
TEST_F(TwoSurfaces, PointMoverMovesAsTheModifier) {
  struct Case {
    std::string name;
    bool mover_on_left;
    index_t left_vertex;
    Point<2> point;
  };
  const Case cases[] = {
      {"inner vertex of the mover's surface", true, 4, point2(0.6, 0.55)},
      {"shared line vertex", true, 5, point2(1.0, 0.6)},
      {"vertex of another surface", false, 4, point2(0.45, 0.55)},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    auto expected = test::make_two_surface_section(2);
    const index_t unique = left_unique(c.left_vertex);
    SectionGeometricModifier{expected.section}.move_point(unique, c.point);

    auto moved = test::make_two_surface_section(2);
    detail::LinkedPointMover<Section, 2> mover{
        moved.section, moved.section.surface(c.mover_on_left ? moved.left : moved.right)};
    mover.move(moved.section.component_mesh_vertices(unique), c.point);
    EXPECT_EQ(snapshot(moved.section), snapshot(expected.section));
    EXPECT_NE(snapshot(moved.section), snapshot(section));
  }
}

TEST_F(TwoSurfaces, SimulationsRefuseWhatWouldBreakTheModel) {
  struct Case {
    std::string name;
    std::function<bool()> allowed;
    bool expected;
  };
  const index_t inner = left_unique(4);
  const index_t on_line = left_unique(5);
  const index_t corner = left_unique(0);
  const Case cases[] = {
      {"swap of a border edge", [&] { return is_swap_edge_valid(section, left, left_edge(0, 1)).empty(); }, false},
      {"swap of an inner diagonal", [&] { return is_swap_edge_valid(section, left, {0, 2}).empty(); }, true},
      {"collapse onto the corner", [&] { return is_collapse_edge_valid(section, left, left_edge(4, 0), left_mesh.point(0)).empty(); }, true},
      {"collapse removing the corner", [&] { return is_collapse_edge_valid(section, left, left_edge(4, 0), left_mesh.point(4)).empty(); }, false},
      {"collapse onto a line vertex", [&] { return is_collapse_edge_valid(section, left, left_edge(4, 1), left_mesh.point(1)).empty(); }, true},
      {"collapse moving a line vertex off its line", [&] { return is_collapse_edge_valid(section, left, left_edge(1, 4), point2(0.5, 0.25)).empty(); }, false},
      {"collapse of a border edge between line vertices", [&] { return is_collapse_edge_valid(section, left, left_edge(1, 2), left_mesh.point(2)).empty(); }, false},
      {"split on a line at a point on it", [&] { return is_split_edge_valid(section, left, left_edge(2, 5), point2(1.0, 0.25)).empty(); }, true},
      {"split on a line at a point off it", [&] { return is_split_edge_valid(section, left, left_edge(2, 5), point2(0.9, 0.25)).empty(); }, false},
      {"split on a line beyond the edge", [&] { return is_split_edge_valid(section, left, left_edge(2, 5), point2(1.0, 0.75)).empty(); }, false},
      {"split at an end", [&] { return is_split_edge_valid(section, left, left_edge(2, 5), left_mesh.point(5)).empty(); }, false},
      {"split of an inner edge inverting a triangle", [&] { return is_split_edge_valid(section, left, {0, 2}, point2(0.6, 0.1)).empty(); }, false},
      {"split of an inner edge off the segment", [&] { return is_split_edge_valid(section, left, {0, 2}, point2(0.2, 0.3)).empty(); }, true},
      {"move of an inner vertex", [&] { return is_move_point_valid(section, inner, point2(0.6, 0.55)); }, true},
      {"move of an inner vertex past its ring", [&] { return is_move_point_valid(section, inner, point2(1.2, 0.5)); }, false},
      {"move of a line vertex along its line", [&] { return is_move_point_valid(section, on_line, point2(1.0, 0.9)); }, true},
      {"move of a line vertex onto its neighbour", [&] { return is_move_point_valid(section, on_line, point2(1.0, 1.0)); }, false},
      {"move of a line vertex off its line", [&] { return is_move_point_valid(section, on_line, point2(1.05, 0.5)); }, false},
      {"move of a corner", [&] { return is_move_point_valid(section, corner, point2(0.0, 0.1)); }, false},
      {"move of a corner to where it is", [&] { return is_move_point_valid(section, corner, point2(0.0, 0.0)); }, true},
      {"move of no unique vertex", [&] { return is_move_point_valid(section, NO_ID, point2(0.0, 0.0)); }, false},
  };
  const auto before = snapshot(section);
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.allowed(), c.expected);
    EXPECT_EQ(snapshot(section), before);
  }
}

TEST_F(TwoSurfaces, MoveWithAWalkedFanDecidesAsTheWalkingSimulation) {
  // The left fan is given, first without its neighbours, then with them; the other linked vertices
  // (the line's, the right surface's) are still checked.
  struct Case {
    std::string name;
    index_t vertex;
    Point<2> point;
    bool expected;
  };
  const Case cases[] = {
      {"inner vertex inside its ring", 4, point2(0.6, 0.55), true},
      {"inner vertex past its ring", 4, point2(1.2, 0.5), false},
      {"inner vertex onto a ring edge", 4, point2(0.75, 0.25), false},
      {"line vertex along its line", 5, point2(1.0, 0.9), true},
      {"line vertex off its line", 5, point2(1.05, 0.5), false},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    const index_t unique = left_unique(c.vertex);
    const auto fan = left_mesh.polygons_around_vertex(c.vertex);
    EXPECT_EQ(detail::is_move_point_valid(section, section.component_mesh_vertices(unique), left,
                                          c.vertex, absl::MakeConstSpan(fan), {}, c.point),
              c.expected);
    // With the fan's neighbours read too.
    std::vector<detail::FanNeighbour<2>> neighbours;
    for (auto const& corner : fan) {
      const index_t far = left_mesh.polygon_vertex(left_mesh.next_polygon_vertex(corner));
      const index_t opposite = left_mesh.polygon_vertex(left_mesh.previous_polygon_vertex(corner));
      neighbours.push_back({far, opposite, &left_mesh.point(far), &left_mesh.point(opposite)});
    }
    EXPECT_EQ(detail::is_move_point_valid(section, section.component_mesh_vertices(unique), left,
                                          c.vertex, absl::MakeConstSpan(fan),
                                          absl::MakeConstSpan(neighbours), c.point),
              c.expected);
    EXPECT_EQ(is_move_point_valid(section, unique, c.point), c.expected);
  }
}

TEST(SectionSimulation, SwapOfAnInternalLineEdgeIsRefused) {
  auto fixture = test::make_internal_line_section(1);
  auto const& surface = fixture.section.surface(fixture.surface);
  auto const& mesh = mesh_of(fixture.section, fixture.surface);
  auto const& line = fixture.section.line(fixture.internal_line);
  // The edges of the line are inner edges of the surface.
  for (index_t e = 0; e < line.mesh().nb_edges(); ++e) {
    std::array<index_t, 2> ends;
    for (local_index_t k = 0; k < 2; ++k) {
      const index_t u =
          fixture.section.unique_vertex({line.component_id(), line.mesh().edge_vertex({e, k})});
      ends[k] = fixture.section.component_mesh_vertices(u, fixture.surface).at(0);
    }
    const auto edges = mesh.polygons_from_edge_vertices(ends);
    ASSERT_EQ(edges.size(), 2u);
    for (auto const& edge : edges) {
      EXPECT_FALSE(is_swap_edge_valid(fixture.section, surface, edge).empty());
    }
  }
}

TEST(SectionSimulation, LinkConditionAndLoneTriangleAreRefused) {
  // A valence-3 vertex v inside triangle (a, b, c), and y below a-b: the
  // ends of a-b share the neighbour c, which is opposite neither side.
  //
  //          c
  //        / | \ .
  //       /  v  \ .
  //      a ----- b
  //       \     / .
  //          y
  Section section;
  SectionBuilder builder{section};
  const uuid id = builder.add_surface(test::make_surface<2>(
      {{{0, 0}}, {{2, 0}}, {{1, 2}}, {{1, 0.7}}, {{1, -1}}},
      {{{0, 1, 3}}, {{1, 2, 3}}, {{2, 0, 3}}, {{1, 0, 4}}}));
  auto const& surface = section.surface(id);
  auto const& mesh = mesh_of(section, id);
  const PolygonEdge ab = mesh.polygon_edge_from_vertices(0, 1).value();
  EXPECT_FALSE(is_collapse_edge_valid(section, surface, ab, Point<2>{{1, 0}}).empty());
  // Collapsing v onto a is fine; dragging it above c inverts (b, c, v).
  const PolygonEdge va = mesh.polygon_edge_from_vertices(3, 0).value();
  EXPECT_TRUE(is_collapse_edge_valid(section, surface, va, Point<2>{{0, 0}}).empty());
  EXPECT_FALSE(is_collapse_edge_valid(section, surface, va, Point<2>{{1, 3}}).empty());
  // Swapping v-a would make the edge b-c, which exists already.
  EXPECT_FALSE(is_swap_edge_valid(section, surface, va).empty());
  SectionGeometricModifier modifier{section};
  EXPECT_THROW(modifier.swap_edge(surface, va), UlvaneException);

  const uuid lone = builder.add_surface(test::make_surface<2>({{{0, 0}}, {{1, 0}}, {{0, 1}}},
                                                              {{{0, 1, 2}}}));
  EXPECT_FALSE(is_collapse_edge_valid(section, section.surface(lone), {0, 0}, Point<2>{{0, 0}})
                   .empty());
}

TEST(SectionSimulation, SplitWhereBothTrianglesShareAnotherEdgeIsRefused) {
  // A closed pillow: two triangles glued along all three edges. No edge can
  // be split, and a refused split leaves no trace (no new unique vertex).
  Section pillow;
  const uuid id = SectionBuilder{pillow}.add_surface(
      test::make_surface<2>({{{0, 0}}, {{1, 0}}, {{0.5, 0.5}}}, {{{0, 1, 2}}, {{0, 2, 1}}}));
  auto const& surface = pillow.surface(id);
  const PolygonEdge edge{0, 1};  // 1->2
  const auto before = snapshot(pillow);
  EXPECT_THAT(is_split_edge_valid(pillow, surface, edge, point2(0.75, 0.25)).problems[id],
              ::testing::Contains(edge));
  SectionGeometricModifier modifier{pillow};
  EXPECT_THROW(modifier.split_edge(surface, edge, point2(0.75, 0.25)), UlvaneException);
  EXPECT_EQ(snapshot(pillow), before);
}

TEST_F(TwoSurfaces, CleanCompactsOnlyTheSurfacesEditsTouched) {
  // An edit of the right surface made outside the model modifier leaves
  // removed triangles that the model modifier's clean must not compact.
  {
    SectionBuilder builder{section};
    auto& mesh = dynamic_cast<TriangulatedSurface<2>&>(
        builder.modifiable_surface(fixture.right).get_modifiable_mesh());
    auto surface_builder = TriangulatedSurfaceBuilder<2>::create(mesh);
    TriangulatedSurfaceModifier<2> surface_modifier{mesh, *surface_builder};
    surface_modifier.collapse_edge(mesh.polygon_edge_from_vertices(4, 0).value(), mesh.point(0));
  }
  const index_t right_triangles = right_mesh.nb_polygons();
  SectionGeometricModifier modifier{section};
  modifier.collapse_edge(left, left_edge(4, 0), left_mesh.point(0));
  modifier.clean();
  EXPECT_EQ(left_mesh.nb_polygons(), 6u);
  EXPECT_EQ(right_mesh.nb_polygons(), right_triangles);
  EXPECT_FALSE(right_mesh.is_polygon_active(0));
}

TEST_F(TwoSurfaces, UniqueVertexLinksSurviveClean) {
  // Collapse the inner vertex away, then split the shared line: the clean
  // renumbers the left surface, and every link must follow.
  SectionGeometricModifier modifier{section};
  modifier.collapse_edge(left, left_edge(4, 1), left_mesh.point(1));
  const auto info = modifier.split_edge(left, left_edge(5, 8), point2(1.0, 0.75));
  std::vector<std::pair<Point<2>, index_t>> links;
  for (index_t v = 0; v < left_mesh.nb_vertices(); ++v) {
    if (left_mesh.polygons_around_vertex(v).empty()) continue;
    links.emplace_back(left_mesh.point(v), left_unique(v));
  }
  modifier.clean();
  EXPECT_EQ(left_mesh.nb_vertices(), links.size());
  for (index_t v = 0; v < left_mesh.nb_vertices(); ++v) {
    EXPECT_EQ(std::make_pair(left_mesh.point(v), left_unique(v)), links[v]) << "vertex " << v;
  }
  EXPECT_EQ(section.component_mesh_vertices(info.unique_vertex).size(), 3u);
  EXPECT_TRUE(is_valid_edited_model(section));
}

}  // namespace
}  // namespace tarnix
