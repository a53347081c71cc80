#include <morvex/modifier_model/brep_geometric_modifier.h>

#include <functional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ulvane/model/brep_builder.h>

#include "mesh/surface_fixtures.h"
#include "model/model_fixtures.h"
#include "model_modifier_test_support.h"

namespace tarnix {
namespace {

using test::is_valid_edited_model;
using test::mesh_of;
using test::snapshot;

Point<3> point3(double x, double y, double z) { return Point<3>{{x, y, z}}; }

//! The cube with n = 2. Its top face z = 1 is laid out as the 2D grid,
//! vertex i + 3 j at (i/2, j/2, 1), so vertex 4 is its inner vertex and
//! 2-5-8 lies on the cube edge x = 1, shared with the face x = 1.
struct Cube : ::testing::Test {
  test::CubeBRep fixture = test::make_cube_brep(2);
  BRep& brep = fixture.brep;
  uuid const& top_id = fixture.surfaces[5];
  uuid const& side_id = fixture.surfaces[1];
  Surface<3> const& top = brep.surface(top_id);
  TriangulatedSurface<3> const& top_mesh = mesh_of(brep, top_id);

  PolygonEdge top_edge(index_t from, index_t to) const {
    return top_mesh.polygon_edge_from_vertices(from, to).value();
  }
  index_t top_unique(index_t vertex) const {
    return brep.unique_vertex({top.component_id(), vertex});
  }
};

TEST_F(Cube, SplitOnALineSplitsTheLineAndBothFacesAtThePoint) {
  const PolygonEdge edge = top_edge(2, 5);
  const Point<3> point = point3(1.0, 0.25, 1.0);
  ASSERT_TRUE(is_split_edge_valid(brep, top, edge, point).empty());
  BRepGeometricModifier modifier{brep};
  const auto info = modifier.split_edge(top, edge, point);

  EXPECT_THAT(info.surfaces, ::testing::UnorderedElementsAre(::testing::Key(top_id),
                                                             ::testing::Key(side_id)));
  ASSERT_EQ(info.lines.size(), 1u);
  const auto linked = brep.component_mesh_vertices(info.unique_vertex);
  EXPECT_EQ(linked.size(), 3u);
  for (auto const& [id, records] : info.surfaces) {
    SCOPED_TRACE(id.string());
    ASSERT_EQ(records.size(), 1u);
    auto const& record = records[0];
    auto const& mesh = mesh_of(brep, id);
    EXPECT_EQ(mesh.point(record.vertex), point);
    EXPECT_EQ(brep.unique_vertex({ComponentID{"Surface", id}, record.vertex}),
              info.unique_vertex);
    // On the border: only the own side, one triangle into two.
    EXPECT_TRUE(record.twin_edges.empty());
    ASSERT_EQ(record.own_triangles.size(), 2u);
    const index_t replaced = record.own_triangles[0].second;
    EXPECT_FALSE(modifier.is_triangle_active(brep.surface(id), replaced));
    for (local_index_t k = 0; k < 3; ++k) {
      const PolygonEdge before{replaced, k};
      const auto count = std::count_if(record.own_edges.begin(), record.own_edges.end(),
                                       [&](PolygonEdgePair const& pair) {
                                         return pair.second == before;
                                       });
      // The split edge (on the cube edge x = z = 1) has two pieces; the
      // other edges one new handle each.
      const auto ends = mesh.polygon_edge_vertices(before);
      const bool is_split = mesh.point(ends[0]).value(0) == 1.0 &&
                            mesh.point(ends[0]).value(2) == 1.0 &&
                            mesh.point(ends[1]).value(0) == 1.0 &&
                            mesh.point(ends[1]).value(2) == 1.0;
      EXPECT_EQ(count, is_split ? 2 : 1);
    }
  }
  // The top face's pieces pair with the handle of before the split.
  int pieces = 0;
  for (auto const& pair : info.surfaces.at(top_id)[0].own_edges) pieces += pair.second == edge;
  EXPECT_EQ(pieces, 2);
  EXPECT_TRUE(is_valid_edited_model(brep));
  modifier.clean();
  EXPECT_TRUE(is_valid_edited_model(brep));
}

TEST_F(Cube, SwapKeepsIndicesAndNormals) {
  const PolygonEdge edge{0, 2};
  ASSERT_TRUE(is_swap_edge_valid(brep, top, edge).empty());
  BRepGeometricModifier modifier{brep};
  modifier.swap_edge(top, edge);
  EXPECT_EQ(test::triangle_of(top_mesh, 0), (std::array<index_t, 3>{1, 4, 3}));
  EXPECT_EQ(test::triangle_of(top_mesh, 1), (std::array<index_t, 3>{1, 3, 0}));
  for (const index_t t : {0u, 1u}) {
    EXPECT_EQ(top_mesh.polygon_normal(t), (Vector<3>{{0, 0, 1}}));
  }
  EXPECT_TRUE(is_valid_edited_model(brep));
}

TEST_F(Cube, CollapseAndMoveKeepCornersAndLines) {
  BRepGeometricModifier modifier{brep};
  const index_t inner = top_unique(4);
  ASSERT_TRUE(is_move_point_valid(brep, inner, point3(0.6, 0.5, 1.05)));
  modifier.move_point(inner, point3(0.6, 0.5, 1.05));
  EXPECT_EQ(top_mesh.point(4), point3(0.6, 0.5, 1.05));

  const auto target = top_mesh.point(5);
  ASSERT_TRUE(is_collapse_edge_valid(brep, top, top_edge(4, 5), target).empty());
  const auto info = modifier.collapse_edge(top, top_edge(4, 5), target);
  EXPECT_EQ(info.at(top_id).at(0).vertex, 5u);
  EXPECT_EQ(top_mesh.point(5), target);
  modifier.clean();
  EXPECT_EQ(top_mesh.nb_polygons(), 6u);
  EXPECT_TRUE(is_valid_edited_model(brep));
}

//! A diamond in the plane z = 0: T = (P, Q, R) above P->Q and
//! T' = (Q, P, S) below it.
struct Diamond {
  BRep brep;
  uuid id;

  explicit Diamond(std::array<double, 3> const& s) {
    BRepBuilder builder{brep};
    id = builder.add_surface(test::make_surface<3>(
        {{{0, 0, 0}}, {{2, 0, 0}}, {{1, 1, 0}}, s}, {{{0, 1, 2}}, {{1, 0, 3}}}));
  }
  BRepSimulationResult swap() const {
    return is_swap_edge_valid(brep, brep.surface(id), {0, 0});
  }
};

TEST(BRepSimulation, FoldsAndOtherProblemsGoToTheirOwnMaps) {
  struct Case {
    std::string name;
    std::function<BRepSimulationResult()> simulate;
    bool folds;
    bool problems;
  };
  Diamond convex{{{1, -1, 0}}};
  Diamond reflex{{{4, -1, 0}}};    // the new (S, Q, R) faces down
  Diamond flat{{{3, -1, 0}}};      // Q lies on R-S
  Diamond tent{{{1, -1, 1.5}}};    // S lifted: a fold of less than 90 degrees
  // A hexagon fan around vertex 0 in the plane z = 0; edge (0, 0) runs
  // from the centre to the first ring vertex.
  BRep hexagon;
  const uuid hexagon_id = BRepBuilder{hexagon}.add_surface(test::make_surface<3>(
      {{{0, 0, 0}}, {{1, 0, 0}}, {{0.5, 0.9, 0}}, {{-0.5, 0.9, 0}}, {{-1, 0, 0}},
       {{-0.5, -0.9, 0}}, {{0.5, -0.9, 0}}},
      {{{0, 1, 2}}, {{0, 2, 3}}, {{0, 3, 4}}, {{0, 4, 5}}, {{0, 5, 6}}, {{0, 6, 1}}}));
  auto cube = test::make_cube_brep(2);
  auto const& top = cube.brep.surface(cube.surfaces[5]);
  auto const& mesh = mesh_of(cube.brep, cube.surfaces[5]);
  const PolygonEdge inner{0, 2};  // 4->0
  const PolygonEdge border = mesh.polygon_edge_from_vertices(2, 5).value();
  const Case cases[] = {
      {"swap in a convex diamond", [&] { return convex.swap(); }, false, false},
      {"swap in a reflex diamond", [&] { return reflex.swap(); }, true, false},
      {"swap making a flat triangle", [&] { return flat.swap(); }, false, true},
      {"swap over a gentle ridge", [&] { return tent.swap(); }, false, false},
      {"swap of a line edge", [&] { return is_swap_edge_valid(cube.brep, top, border); }, false, true},
      {"split in the plane", [&] { return is_split_edge_valid(cube.brep, top, inner, point3(0.25, 0.25, 1)); }, false, false},
      {"split above the plane", [&] { return is_split_edge_valid(cube.brep, top, inner, point3(0.25, 0.25, 1.1)); }, false, false},
      {"split turning a triangle over", [&] { return is_split_edge_valid(cube.brep, top, inner, point3(0.6, 0.1, 1)); }, true, false},
      {"split on a line off the segment", [&] { return is_split_edge_valid(cube.brep, top, border, point3(1.01, 0.25, 1.01)); }, false, false},
      {"split at an end", [&] { return is_split_edge_valid(cube.brep, top, border, mesh.point(5)); }, false, true},
      {"collapse onto the corner", [&] { return is_collapse_edge_valid(cube.brep, top, mesh.polygon_edge_from_vertices(4, 0).value(), mesh.point(0)); }, false, false},
      {"collapse removing the corner", [&] { return is_collapse_edge_valid(cube.brep, top, mesh.polygon_edge_from_vertices(4, 0).value(), mesh.point(4)); }, false, true},
      {"collapse turning triangles over", [&] { return is_collapse_edge_valid(hexagon, hexagon.surface(hexagon_id), {0, 0}, point3(-3, 0, 0)); }, true, false},
      {"collapse into the ring", [&] { return is_collapse_edge_valid(hexagon, hexagon.surface(hexagon_id), {0, 0}, point3(0.2, 0, 0)); }, false, false},
  };
  const auto before = snapshot(cube.brep);
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    const auto result = c.simulate();
    EXPECT_EQ(!result.folds.empty(), c.folds);
    EXPECT_EQ(!result.problems.empty(), c.problems);
    EXPECT_EQ(result.empty(), !c.folds && !c.problems);
  }
  EXPECT_EQ(snapshot(cube.brep), before);

  // A fold names the surface and an edge of before the edit.
  const auto folded = reflex.swap();
  ASSERT_EQ(folded.folds.size(), 1u);
  EXPECT_THAT(folded.folds.at(reflex.id), ::testing::Contains(PolygonEdge{0, 0}));
}

TEST(BRepSimulation, SplitWhereBothTrianglesShareAnotherEdgeIsAProblem) {
  // A closed pillow: two triangles glued along all three edges, so every
  // vertex has two triangles and no edge can be split. The fold that the
  // opposite normals give can be excused by a caller; the split cannot.
  BRep pillow;
  const uuid id = BRepBuilder{pillow}.add_surface(test::make_surface<3>(
      {{{0, 0, 0}}, {{1, 0, 0}}, {{0.5, 0.5, 0.2}}}, {{{0, 1, 2}}, {{0, 2, 1}}}));
  auto const& surface = pillow.surface(id);
  const PolygonEdge edge{0, 1};  // 1->2
  const auto before = snapshot(pillow);
  auto result = is_split_edge_valid(pillow, surface, edge, point3(0.75, 0.25, 0.1));
  EXPECT_THAT(result.problems[id], ::testing::Contains(edge));
  BRepGeometricModifier modifier{pillow};
  EXPECT_THROW(modifier.split_edge(surface, edge, point3(0.75, 0.25, 0.1)), UlvaneException);
  EXPECT_EQ(snapshot(pillow), before);
}

TEST_F(Cube, MoveSimulationKeepsCornersAndLineVertices) {
  const index_t corner = top_unique(0);
  const index_t on_line = top_unique(5);
  const index_t inner = top_unique(4);
  struct Case {
    char const* name;
    index_t unique_vertex;
    Point<3> target;
    bool expected;
  };
  const Case cases[] = {
      {"corner", corner, point3(0, 0, 0.9), false},
      {"corner where it is", corner, point3(0, 0, 1), true},
      {"line vertex along its line", on_line, point3(1, 0.7, 1), true},
      {"line vertex off its line", on_line, point3(0.9, 0.5, 1), false},
      {"inner vertex in the plane", inner, point3(0.3, 0.6, 1), true},
      {"inner vertex lifted", inner, point3(0.5, 0.5, 1.2), true},
      {"inner vertex past its ring", inner, point3(1.3, 0.5, 1), false},
  };
  const auto before = snapshot(brep);
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(is_move_point_valid(brep, c.unique_vertex, c.target), c.expected);
  }
  EXPECT_EQ(snapshot(brep), before);
}

}  // namespace
}  // namespace tarnix
