#include <ulvane/mesh/triangulated_surface_builder.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ulvane/mesh/polygonal_surface_builder.h>

#include "mesh/surface_fixtures.h"
#include "mesh/surface_validity.h"
#include "mesh/test_attribute.h"

namespace tarnix {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using test::TestAttribute;
using Fan = std::vector<PolygonVertex>;

template <typename Range>
Fan as_vector(Range const& range) {
  return Fan(range.begin(), range.end());
}

template <typename Call>
std::string error_of(Call&& call) {
  try {
    call();
  } catch (UlvaneException const& e) {
    return e.what();
  }
  return "no exception";
}

// The 2x2 grid of surface_fixtures.h, with one vertex and one polygon
// attribute holding the element's own index, so that tests can see where
// values went:
//
//     6 --- 7 --- 8
//     | 5 / | 7 / |
//     | / 4 | / 6 |
//     3 --- 4 --- 5
//     | 1 / | 3 / |
//     | / 0 | / 2 |
//     0 --- 1 --- 2
class GridBuilder : public ::testing::Test {
 protected:
  void SetUp() override {
    vertex_ids = TestAttribute<int>::attach(mesh->vertex_attribute_manager(), "id", -1);
    polygon_ids = TestAttribute<int>::attach(mesh->polygon_attribute_manager(), "id", -1);
    for (index_t v = 0; v < mesh->nb_vertices(); ++v) vertex_ids->set_value(v, v);
    for (index_t t = 0; t < mesh->nb_polygons(); ++t) polygon_ids->set_value(t, t);
  }

  std::vector<int> vertex_values() const { return values(*vertex_ids); }
  std::vector<int> polygon_values() const { return values(*polygon_ids); }
  static std::vector<int> values(TestAttribute<int> const& attribute) {
    std::vector<int> result;
    for (index_t i = 0; i < attribute.size(); ++i) result.push_back(attribute.value(i));
    return result;
  }

  std::unique_ptr<TriangulatedSurface<2>> mesh = test::make_grid<2>(2);
  std::unique_ptr<TriangulatedSurfaceBuilder<2>> builder =
      TriangulatedSurfaceBuilder<2>::create(*mesh);
  std::shared_ptr<TestAttribute<int>> vertex_ids;
  std::shared_ptr<TestAttribute<int>> polygon_ids;
};

TEST_F(GridBuilder, CreationAppendsAndSizesAttributes) {
  EXPECT_EQ(builder->create_point(Point<2>{{{3, 0}}}), 9u);
  EXPECT_EQ(vertex_ids->size(), 10u);
  EXPECT_EQ(vertex_ids->value(9), -1);
  EXPECT_FALSE(mesh->associated_polygon_vertex(9));

  EXPECT_EQ(builder->create_triangle({{2, 9, 5}}), 8u);
  EXPECT_EQ(polygon_ids->size(), 9u);
  EXPECT_EQ(polygon_ids->value(8), -1);
  // The new vertex gets its corner there; the others keep theirs.
  EXPECT_EQ(mesh->associated_polygon_vertex(9), PolygonVertex(8, 1));
  EXPECT_EQ(mesh->associated_polygon_vertex(2), PolygonVertex(2, 1));
  EXPECT_TRUE(mesh->is_edge_on_border({8, 0}));
  builder->compute_polygon_adjacencies();
  EXPECT_EQ(mesh->polygon_adjacent({8, 2}), 2u);  // 5 -> 2 against 2 -> 5
  test::expect_valid_surface(*mesh);
}

TEST_F(GridBuilder, DerivedElementsTakeDerivableValuesOnly) {
  auto weight = TestAttribute<double>::attach(mesh->vertex_attribute_manager(), "weight", 0.0,
                                              ATTRIBUTE_DERIVABLE);
  weight->set_value(0, 2.0);
  weight->set_value(1, 4.0);
  const index_t parents[] = {0, 1};
  const double weights[] = {0.25, 0.75};
  const index_t v = builder->create_point(Point<2>{{{0.75, 0}}}, {parents, weights});
  EXPECT_DOUBLE_EQ(weight->value(v), 3.5);
  EXPECT_EQ(vertex_ids->value(v), -1);  // not derivable: default

  auto info = TestAttribute<int>::attach(mesh->polygon_attribute_manager(), "info", 0,
                                         ATTRIBUTE_DERIVABLE);
  info->set_value(3, 42);
  const index_t t = builder->create_triangle({{1, 5, 4}}, 3);
  EXPECT_EQ(info->value(t), 42);
  EXPECT_EQ(polygon_ids->value(t), -1);
}

TEST_F(GridBuilder, InvalidArgumentsAreRefusedWithTheirOperation) {
  struct Case {
    std::string expected;
    std::function<void()> call;
  } const cases[] = {
      {"[SurfaceMeshBuilder::create_polygon] Unknown vertex 9 (9 vertices)",
       [&] { builder->create_triangle({{0, 1, 9}}); }},
      {"[SurfaceMeshBuilder::create_polygon] Vertex 1 repeated",
       [&] { builder->create_triangle({{0, 1, 1}}); }},
      {"[SurfaceMeshBuilder::create_polygon] Unknown polygon 8",
       [&] { builder->create_triangle({{0, 1, 2}}, 8); }},
      {"[SurfaceMeshBuilder::set_polygon_adjacent] Polygon 0 has no local index 3",
       [&] { builder->set_polygon_adjacent({0, 3}, 1); }},
      {"[SurfaceMeshBuilder::associate_polygon_vertex_to_vertex] Polygon 0 has no active corner "
       "of vertex 4 at local index 0",
       [&] { builder->associate_polygon_vertex_to_vertex({0, 0}, 4); }},
      {"[SurfaceMeshBuilder::set_polygon_vertex] Polygon 0 already uses vertex 4",
       [&] { builder->set_polygon_vertex({0, 0}, 4); }},
      {"[SurfaceMeshBuilder::replace_vertex] Polygon 0 already uses vertex 1",
       [&] { builder->replace_vertex(4, 1); }},
      {"[SurfaceMeshBuilder::delete_polygons] Expected 8 flags, got 2",
       [&] { builder->delete_polygons({true, false}); }},
      {"[SurfaceMeshBuilder::permute_polygons] The indices are not a permutation",
       [&] { builder->permute_polygons(std::vector<index_t>{0, 1, 2, 3, 4, 5, 6, 6}); }},
      {"[SurfaceMeshBuilder::permute_vertices] Expected 9 indices, got 1",
       [&] { builder->permute_vertices(std::vector<index_t>{0}); }},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.expected);
    EXPECT_THAT(error_of(c.call), HasSubstr(c.expected));
  }
  // Nothing was half done.
  EXPECT_EQ(mesh->nb_polygons(), 8u);
  test::expect_valid_surface(*mesh);
}

TEST_F(GridBuilder, SetPolygonAdjacentSetsOneDirection) {
  builder->set_polygon_adjacent({0, 2}, NO_ID);
  EXPECT_TRUE(mesh->is_edge_on_border({0, 2}));
  EXPECT_EQ(mesh->polygon_adjacent({1, 0}), 0u);
  EXPECT_FALSE(test::surface_problems(*mesh).empty());
  builder->set_polygon_adjacent({0, 2}, 1);
  test::expect_valid_surface(*mesh);
}

TEST(ComputePolygonAdjacencies, AmbiguousOrInconsistentPairsStayOnTheBorder) {
  // A fin: triangles 0, 1 and 2 share the vertex pair 0-1 (0 -> 1 once,
  // 1 -> 0 twice). Triangles 3 and 4 both run 1 -> 5. Triangle 4's 2 -> 1
  // pairs normally with triangle 0's 1 -> 2.
  auto mesh = test::make_surface<3>(
      {{{0, 0, 0}}, {{1, 0, 0}}, {{0, 1, 0}}, {{0, -1, 0}}, {{0, 0, 1}}, {{2, 0, 0}},
       {{2, 1, 0}}},
      {{{0, 1, 2}}, {{1, 0, 3}}, {{1, 0, 4}}, {{1, 5, 6}}, {{1, 5, 2}}});
  for (const PolygonEdge edge : {PolygonEdge{0, 0}, PolygonEdge{1, 0}, PolygonEdge{2, 0},
                                 PolygonEdge{3, 0}, PolygonEdge{4, 0}}) {
    EXPECT_TRUE(mesh->is_edge_on_border(edge)) << edge;
  }
  EXPECT_EQ(mesh->polygon_adjacent_edge({0, 1}), PolygonEdge(4, 2));
  EXPECT_EQ(mesh->polygon_adjacent_edge({4, 2}), PolygonEdge(0, 1));
  test::expect_valid_surface(*mesh);
}

TEST_F(GridBuilder, RemovedPolygonLeavesFansAndAdjacencies) {
  // Triangle 0 holds the associated corner of vertices 0, 1 and 4.
  builder->remove_polygon(0);
  builder->remove_polygon(0);  // again: nothing more
  EXPECT_EQ(mesh->nb_polygons(), 8u);
  EXPECT_FALSE(mesh->is_polygon_active(0));
  EXPECT_TRUE(mesh->is_edge_on_border({1, 0}));
  EXPECT_TRUE(mesh->is_edge_on_border({3, 2}));
  test::expect_valid_surface(*mesh);
  // Vertex 4 is now a border vertex: its fan starts at triangle 1, whose
  // edge 0 -> 4 entering the vertex is on the border, and turns across the
  // edges leaving it (4 -> 3, 4 -> 7, 4 -> 8, 4 -> 5) to triangle 3, whose
  // edge 4 -> 1 leaving it is on the border.
  EXPECT_THAT(as_vector(mesh->polygons_around_vertex(4)),
              ElementsAre(PolygonVertex(1, 1), PolygonVertex(4, 1), PolygonVertex(7, 0),
                          PolygonVertex(6, 0), PolygonVertex(3, 2)));
  EXPECT_THAT(as_vector(mesh->polygons_around_vertex(1)),
              ElementsAre(PolygonVertex(3, 0), PolygonVertex(2, 0)));
  EXPECT_THAT(error_of([&] { builder->set_polygon_adjacent({1, 0}, 0); }),
              HasSubstr("Removed polygons have no adjacency"));
}

TEST_F(GridBuilder, LostCornerMovesToAnotherPieceOfABrokenFan) {
  // Removing 1 and 6 breaks the fan of vertex 4 (0, 1, 4, 7, 6, 3) into
  // {3, 0} and {4, 7}; removing 3 and then 0 leaves the associated corner
  // without an active neighbour, so it moves to the other piece.
  for (const index_t t : {1u, 6u, 3u, 0u}) {
    builder->remove_polygon(t);
    SCOPED_TRACE(::testing::Message() << "after removing " << t);
    test::expect_valid_surface(*mesh);
  }
  EXPECT_EQ(mesh->associated_polygon_vertex(4), PolygonVertex(4, 1));
  EXPECT_THAT(as_vector(mesh->polygons_around_vertex(4)),
              ElementsAre(PolygonVertex(4, 1), PolygonVertex(7, 0)));
  builder->remove_polygon(7);
  builder->remove_polygon(4);
  EXPECT_FALSE(mesh->associated_polygon_vertex(4));
  EXPECT_TRUE(mesh->polygons_around_vertex(4).empty());
  test::expect_valid_surface(*mesh);
}

TEST_F(GridBuilder, DeletePolygonsKeepsOrderAndRemapsEverything) {
  std::vector<bool> to_delete(8, false);
  to_delete[0] = to_delete[5] = true;
  const auto old2new = builder->delete_polygons(to_delete);
  EXPECT_THAT(old2new, ElementsAre(NO_ID, 0u, 1u, 2u, 3u, NO_ID, 4u, 5u));
  EXPECT_EQ(mesh->nb_polygons(), 6u);
  EXPECT_THAT(polygon_values(), ElementsAre(1, 2, 3, 4, 6, 7));
  EXPECT_EQ(mesh->polygon_vertex({0, 0}), 0u);  // old triangle 1 = (0, 4, 3)
  EXPECT_EQ(mesh->polygon_adjacent({2, 1}), 4u);  // old 3 -> old 6
  // Vertex 0 lost its corner in old triangle 0; vertex 6 its only one.
  EXPECT_EQ(mesh->associated_polygon_vertex(0), PolygonVertex(0, 0));
  EXPECT_FALSE(mesh->associated_polygon_vertex(6));
  test::expect_valid_surface(*mesh);
}

TEST_F(GridBuilder, DeleteIsolatedVerticesKeepsVerticesOfRemovedPolygons) {
  builder->remove_polygon(5);  // (3, 7, 6): vertex 6 is in no active polygon
  EXPECT_THAT(builder->delete_isolated_vertices(),
              ElementsAre(0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u));
  EXPECT_EQ(mesh->nb_vertices(), 9u);

  const auto mappings = builder->clean();
  EXPECT_THAT(mappings.polygons, ElementsAre(0u, 1u, 2u, 3u, 4u, NO_ID, 5u, 6u));
  EXPECT_THAT(mappings.vertices, ElementsAre(0u, 1u, 2u, 3u, 4u, 5u, NO_ID, 6u, 7u));
  EXPECT_THAT(vertex_values(), ElementsAre(0, 1, 2, 3, 4, 5, 7, 8));
  EXPECT_THAT(polygon_values(), ElementsAre(0, 1, 2, 3, 4, 6, 7));
  EXPECT_EQ(mesh->point(6), (Point<2>{{{1, 2}}}));
  EXPECT_EQ(mesh->polygon_vertex({6, 1}), 7u);  // old (4, 8, 7) is now (4, 7, 6)
  test::expect_valid_surface(*mesh);
}

TEST_F(GridBuilder, DeleteIsolatedVerticesSparesTheKeptOnes) {
  std::vector<bool> removed(8, false);
  removed[5] = true;  // (3, 7, 6): vertex 6 is in no polygon any more
  builder->delete_polygons(removed);
  const index_t loose = builder->create_point(Point<2>{{{5, 5}}});
  // Flags for the first seven vertices only: the loose vertex goes.
  std::vector<bool> kept(7, false);
  kept[6] = true;
  EXPECT_THAT(builder->delete_isolated_vertices(kept),
              ElementsAre(0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, NO_ID));
  EXPECT_EQ(loose, 9u);
  EXPECT_EQ(mesh->nb_vertices(), 9u);
  EXPECT_THAT(vertex_values(), ElementsAre(0, 1, 2, 3, 4, 5, 6, 7, 8));
  EXPECT_FALSE(mesh->associated_polygon_vertex(6));
  test::expect_valid_surface(*mesh);
}

TEST_F(GridBuilder, PermutationsMoveValuesAndReferences) {
  // Reverse both orders.
  std::vector<index_t> vertices{8, 7, 6, 5, 4, 3, 2, 1, 0};
  std::vector<index_t> polygons{7, 6, 5, 4, 3, 2, 1, 0};
  const auto fan_before = as_vector(mesh->polygons_around_vertex(4));
  builder->permute_vertices(vertices);
  builder->permute_polygons(polygons);
  EXPECT_THAT(vertex_values(), ElementsAre(8, 7, 6, 5, 4, 3, 2, 1, 0));
  EXPECT_THAT(polygon_values(), ElementsAre(7, 6, 5, 4, 3, 2, 1, 0));
  EXPECT_EQ(mesh->point(0), (Point<2>{{{2, 2}}}));
  // Old triangle 0 = (0, 1, 4) is triangle 7 = (8, 7, 4).
  EXPECT_EQ(mesh->polygon_vertex({7, 0}), 8u);
  EXPECT_EQ(mesh->polygon_vertex({7, 1}), 7u);
  EXPECT_EQ(mesh->polygon_adjacent({7, 2}), 6u);  // old 0 -> old 1
  Fan expected;
  for (auto const& corner : fan_before) expected.push_back({7 - corner.polygon_id, corner.vertex_id});
  EXPECT_EQ(as_vector(mesh->polygons_around_vertex(4)), expected);
  test::expect_valid_surface(*mesh);
}

TEST_F(GridBuilder, SetPolygonVertexReassociatesTheOldVertex) {
  // Move corner (0, 0) from vertex 0 to a new vertex at the same place.
  const index_t copy = builder->create_point(mesh->point(0));
  builder->set_polygon_vertex({0, 0}, copy);
  builder->set_polygon_adjacent({0, 2}, NO_ID);
  builder->set_polygon_adjacent({1, 0}, NO_ID);
  EXPECT_EQ(mesh->associated_polygon_vertex(0), PolygonVertex(1, 0));
  EXPECT_EQ(mesh->associated_polygon_vertex(copy), PolygonVertex(0, 0));
  test::expect_valid_surface(*mesh);
}

TEST_F(GridBuilder, ReplaceVertexMovesTheFanWithItsOrder) {
  const auto fan = as_vector(mesh->polygons_around_vertex(4));
  const index_t copy = builder->create_point(mesh->point(4));
  builder->replace_vertex(4, copy);
  EXPECT_EQ(as_vector(mesh->polygons_around_vertex(copy)), fan);
  EXPECT_FALSE(mesh->associated_polygon_vertex(4));
  builder->replace_vertex(copy, copy);
  EXPECT_EQ(as_vector(mesh->polygons_around_vertex(copy)), fan);
  test::expect_valid_surface(*mesh);
}

// The bow tie of surface_mesh_test.cpp: vertex 2 joins two fans.
//
//                 6 ----- 5
//                 | t3  / |
//                 | / t2  |
//       3 ----- 2 ------- 4
//       | t1  / |
//       | / t0  |
//       0 ----- 1
TEST(NonManifoldVertex, SplitsFanByFanAsTheRemesherDoes) {
  auto mesh = test::make_surface<2>(
      {{{0, 0}}, {{1, 0}}, {{1, 1}}, {{0, 1}}, {{2, 1}}, {{2, 2}}, {{1, 2}}},
      {{{0, 1, 2}}, {{0, 2, 3}}, {{2, 4, 5}}, {{2, 5, 6}}});
  auto builder = TriangulatedSurfaceBuilder<2>::create(*mesh);
  const auto lower = as_vector(mesh->polygons_around_vertex(2));
  ASSERT_EQ(lower.size(), 2u);

  const index_t copy = builder->create_point(mesh->point(2));
  builder->replace_vertex(2, copy);
  EXPECT_EQ(as_vector(mesh->polygons_around_vertex(copy)), lower);
  // Vertex 2 kept the other fan, re-associated on its own.
  EXPECT_THAT(as_vector(mesh->polygons_around_vertex(2)),
              ElementsAre(PolygonVertex(3, 0), PolygonVertex(2, 0)));
  builder->associate_polygon_vertex_to_vertex({2, 0}, 2);
  EXPECT_EQ(mesh->associated_polygon_vertex(2), PolygonVertex(2, 0));
  test::expect_valid_surface(*mesh);
  // Each vertex now has one fan holding all its corners.
  EXPECT_EQ(mesh->next_on_border({0, 1}), PolygonEdge(1, 1));
  EXPECT_EQ(mesh->polygon_vertex({1, 1}), copy);
}

TEST_F(GridBuilder, CloneCopiesEverythingAndIsIndependent) {
  builder->remove_polygon(2);
  builder->associate_polygon_vertex_to_vertex({7, 0}, 4);
  auto copy = mesh->clone();
  EXPECT_EQ(copy->type_name(), "TriangulatedSurface2D");
  EXPECT_EQ(copy->nb_polygons(), 8u);
  EXPECT_FALSE(copy->is_polygon_active(2));
  EXPECT_EQ(copy->polygon_adjacent({0, 2}), 1u);
  EXPECT_EQ(as_vector(copy->polygons_around_vertex(4)),
            as_vector(mesh->polygons_around_vertex(4)));
  auto copied_ids = std::dynamic_pointer_cast<TestAttribute<int>>(
      copy->polygon_attribute_manager().find_attribute_base("id"));
  ASSERT_TRUE(copied_ids);
  EXPECT_EQ(copied_ids->value(7), 7);
  EXPECT_NE(copied_ids, polygon_ids);
  test::expect_valid_surface(*copy);

  auto copy_builder = TriangulatedSurfaceBuilder<2>::create(*copy);
  copy_builder->create_point(Point<2>{{{5, 5}}});
  copy_builder->set_point(0, Point<2>{{{-1, -1}}});
  copied_ids->set_value(0, 100);
  EXPECT_EQ(mesh->nb_vertices(), 9u);
  EXPECT_EQ(mesh->point(0), (Point<2>{{{0, 0}}}));
  EXPECT_EQ(polygon_ids->value(0), 0);
}

// The adjacencies the builder kept through its edits equal those it would
// compute from scratch.
template <index_t D>
void expect_adjacencies_as_computed(TriangulatedSurface<D> const& mesh) {
  auto recomputed = mesh.clone();
  TriangulatedSurfaceBuilder<D>::create(*recomputed)->compute_polygon_adjacencies();
  index_t differences = 0;
  for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
    for (local_index_t e = 0; e < 3; ++e) {
      differences += mesh.polygon_adjacent({t, e}) != recomputed->polygon_adjacent({t, e});
    }
  }
  EXPECT_EQ(differences, 0u);
}

TEST(LargeGrid, DeleteARegionCleanAndStayValid) {
  // 28 800 triangles. A disc in the middle becomes a hole and a strip
  // along the bottom is cut away; both are removed triangle by triangle,
  // then cleaned. Removing and cleaning must not go quadratic.
  constexpr index_t n = 120;
  auto mesh = test::make_grid<2>(n);
  auto builder = TriangulatedSurfaceBuilder<2>::create(*mesh);
  auto vertex_ids = TestAttribute<int>::attach(mesh->vertex_attribute_manager(), "id", -1);
  auto polygon_ids = TestAttribute<int>::attach(mesh->polygon_attribute_manager(), "id", -1);
  for (index_t v = 0; v < mesh->nb_vertices(); ++v) vertex_ids->set_value(v, v);
  for (index_t t = 0; t < mesh->nb_polygons(); ++t) polygon_ids->set_value(t, t);
  const auto in_region = [](Point<2> const& p) {
    const double dx = p.value(0) - 60.0;
    const double dy = p.value(1) - 60.0;
    return dx * dx + dy * dy < 30.0 * 30.0 || p.value(1) < 10.0;
  };
  index_t removed = 0;
  for (index_t t = 0; t < mesh->nb_polygons(); ++t) {
    if (!in_region(mesh->polygon_barycenter(t))) continue;
    builder->remove_polygon(t);
    ++removed;
  }
  test::expect_valid_surface(*mesh);
  expect_adjacencies_as_computed(*mesh);

  const auto mappings = builder->clean();
  EXPECT_EQ(mesh->nb_polygons(), 2 * n * n - removed);
  test::expect_valid_surface(*mesh);
  expect_adjacencies_as_computed(*mesh);
  // Values followed their elements: each vertex is still at the grid
  // point of its old index, each triangle kept its old vertices.
  for (index_t v = 0; v < mesh->nb_vertices(); ++v) {
    const auto old = static_cast<index_t>(vertex_ids->value(v));
    ASSERT_EQ(mappings.vertices[old], v);
    ASSERT_EQ(mesh->point(v), (Point<2>{{{double(old % (n + 1)), double(old / (n + 1))}}}));
  }
  for (index_t t = 0; t < mesh->nb_polygons(); ++t) {
    ASSERT_EQ(mappings.polygons[static_cast<index_t>(polygon_ids->value(t))], t);
  }
  // The hole is a border loop of its own: walking it from one of its
  // edges comes back to that edge.
  PolygonEdge start;
  for (index_t t = 0; t < mesh->nb_polygons() && start == PolygonEdge{}; ++t) {
    for (local_index_t e = 0; e < 3; ++e) {
      const double y = mesh->edge_barycenter({t, e}).value(1);
      if (mesh->is_edge_on_border({t, e}) && y > 20.0 && y < 100.0 &&
          mesh->edge_barycenter({t, e}).value(0) > 20.0 &&
          mesh->edge_barycenter({t, e}).value(0) < 100.0) {
        start = {t, e};
        break;
      }
    }
  }
  ASSERT_NE(start, PolygonEdge{});
  PolygonEdge edge = start;
  index_t steps = 0;
  do {
    edge = mesh->next_on_border(edge);
    ++steps;
  } while (edge != start && steps < mesh->nb_polygons());
  EXPECT_EQ(edge, start);
  EXPECT_GT(steps, 100u);
}

TEST(LargeGrid, CheckerboardRemovalBreaksFansAndStaysValid) {
  // Removing every third triangle leaves vertices whose fan is broken into
  // pieces (non-manifold vertices), so lost corners move between pieces.
  auto mesh = test::make_grid<2>(100);
  auto builder = TriangulatedSurfaceBuilder<2>::create(*mesh);
  for (index_t t = 0; t < mesh->nb_polygons(); t += 3) builder->remove_polygon(t);
  test::expect_valid_surface(*mesh);
  builder->clean();
  EXPECT_EQ(mesh->nb_polygons(), 20000u - 6667u);
  test::expect_valid_surface(*mesh);
  expect_adjacencies_as_computed(*mesh);
}

// The twin as a search of the adjacent polygon finds it: an edge that runs
// the other way, the first one that points back if any, else the first.
template <index_t D>
absl::optional<PolygonEdge> searched_twin(SurfaceMesh<D> const& mesh, PolygonEdge const& edge) {
  const auto adjacent = mesh.polygon_adjacent(edge);
  if (!adjacent) return absl::nullopt;
  const auto vertices = mesh.polygon_edge_vertices(edge);
  absl::optional<PolygonEdge> first;
  for (local_index_t e = 0; e < mesh.nb_polygon_vertices(*adjacent); ++e) {
    const PolygonEdge candidate{*adjacent, e};
    if (mesh.polygon_edge_vertices(candidate) != std::array<index_t, 2>{{vertices[1], vertices[0]}}) {
      continue;
    }
    if (mesh.polygon_adjacent(candidate) == edge.polygon_id) return candidate;
    if (!first) first = candidate;
  }
  return first;
}

// The fan `polygons_around_vertex` defines, turning with searched twins:
// forward round to the associated corner across twins that point back (a
// closed fan), else back to where the fan stops, then forward from there;
// never more corners than the vertex has.
template <index_t D>
Fan searched_fan(SurfaceMesh<D> const& mesh, index_t vertex) {
  bool mutual = false;
  const auto turn = [&mesh, &mutual](PolygonVertex const& corner,
                                     bool forward) -> absl::optional<PolygonVertex> {
    const PolygonEdge crossed = forward ? PolygonEdge{corner}
                                        : PolygonEdge{mesh.previous_polygon_vertex(corner)};
    const auto twin = searched_twin(mesh, crossed);
    if (!twin || !mesh.is_polygon_active(twin->polygon_id)) return absl::nullopt;
    mutual = mesh.polygon_adjacent(*twin) == corner.polygon_id;
    return forward ? mesh.next_polygon_vertex(PolygonVertex{*twin}) : PolygonVertex{*twin};
  };
  Fan fan;
  const auto associated = mesh.associated_polygon_vertex(vertex);
  if (!associated) return fan;
  const index_t bound = mesh.nb_active_corners(vertex);
  fan.push_back(*associated);
  for (auto next = turn(*associated, true); next && mutual; next = turn(*next, true)) {
    if (*next == *associated) return fan;
    if (fan.size() >= bound) break;
    fan.push_back(*next);
  }
  PolygonVertex first = *associated;
  for (index_t step = 0; step < bound; ++step) {
    const auto previous = turn(first, false);
    if (!previous) break;
    first = *previous;
    if (first == *associated) break;
  }
  fan.assign(1, first);
  for (auto next = turn(first, true); next && *next != first && fan.size() < bound;
       next = turn(*next, true)) {
    fan.push_back(*next);
  }
  return fan;
}

// Every twin and every fan of the mesh is what searching the adjacent
// polygons gives.
template <index_t D>
::testing::AssertionResult twins_as_searched(SurfaceMesh<D> const& mesh) {
  for (index_t p = 0; p < mesh.nb_polygons(); ++p) {
    for (local_index_t e = 0; e < mesh.nb_polygon_vertices(p); ++e) {
      const PolygonEdge edge{p, e};
      const auto twin = mesh.polygon_adjacent_edge(edge);
      if (twin != searched_twin(mesh, edge)) {
        return ::testing::AssertionFailure()
               << "edge " << edge << ": twin " << twin.value_or(PolygonEdge{});
      }
    }
  }
  for (index_t v = 0; v < mesh.nb_vertices(); ++v) {
    if (as_vector(mesh.polygons_around_vertex(v)) != searched_fan(mesh, v)) {
      return ::testing::AssertionFailure() << "fan of vertex " << v;
    }
  }
  return ::testing::AssertionSuccess();
}

TEST(StoredTwins, EditsThatChangeAdjacenciesKeepTheSearchedTwin) {
  using Edit = std::function<void(SurfaceMesh<2>&, SurfaceMeshBuilder<2>&)>;
  // Turns triangle 3 = (1, 5, 4) of the grid into (4, 1, 5) one corner at a
  // time: its edge 4 -> 1, twin of triangle 0's 1 -> 4, moves from local
  // edge 2 to local edge 0, where the stored twin no longer points.
  const auto rotate_triangle_3 = [](SurfaceMesh<2>& mesh, SurfaceMeshBuilder<2>& builder) {
    const index_t spare = builder.create_point(mesh.point(1));
    builder.set_polygon_vertex({3, 0}, spare);
    builder.set_polygon_vertex({3, 1}, 1);
    builder.set_polygon_vertex({3, 2}, 5);
    builder.set_polygon_vertex({3, 0}, 4);
  };
  struct Case {
    char const* name;
    Edit edit;
  } const cases[] = {
      {"one-way adjacency",
       [](SurfaceMesh<2>&, SurfaceMeshBuilder<2>& builder) {
         builder.set_polygon_adjacent({1, 0}, NO_ID);
       }},
      {"adjacency to a polygon without the edge",
       [](SurfaceMesh<2>&, SurfaceMeshBuilder<2>& builder) {
         builder.set_polygon_adjacent({0, 0}, 7);
         builder.set_polygon_adjacent({4, 1}, 0);
       }},
      {"adjacency cleared then set again",
       [](SurfaceMesh<2>&, SurfaceMeshBuilder<2>& builder) {
         builder.set_polygon_adjacent({0, 2}, NO_ID);
         builder.set_polygon_adjacent({1, 0}, NO_ID);
         builder.set_polygon_adjacent({1, 0}, 0);
         builder.set_polygon_adjacent({0, 2}, 1);
       }},
      {"twin gone by a vertex edit",
       [](SurfaceMesh<2>& mesh, SurfaceMeshBuilder<2>& builder) {
         // Triangle 3's stored twin edge still leaves 4, but for a new vertex.
         builder.set_polygon_vertex({3, 0}, builder.create_point(mesh.point(1)));
       }},
      {"twin moved by vertex edits", rotate_triangle_3},
      {"twin moved by vertex edits, then glued",
       [&rotate_triangle_3](SurfaceMesh<2>& mesh, SurfaceMeshBuilder<2>& builder) {
         rotate_triangle_3(mesh, builder);
         builder.set_polygon_adjacent({3, 0}, 0);
       }},
      {"twin moved by vertex edits, then computed",
       [&rotate_triangle_3](SurfaceMesh<2>& mesh, SurfaceMeshBuilder<2>& builder) {
         rotate_triangle_3(mesh, builder);
         builder.compute_polygon_adjacencies();
       }},
      {"diagonal flipped by vertex edits and glued",
       [](SurfaceMesh<2>&, SurfaceMeshBuilder<2>& builder) {
         // Triangles 0 = (0, 1, 4) and 1 = (0, 4, 3) become (1, 4, 3) and
         // (1, 3, 0), as the flips of the remesher do it.
         const std::pair<PolygonVertex, index_t> moves[] = {
             {{0, 2}, 3}, {{0, 1}, 4}, {{0, 0}, 1}, {{1, 0}, 1}, {{1, 2}, 0}, {{1, 1}, 3}};
         for (auto const& move : moves) builder.set_polygon_vertex(move.first, move.second);
         const std::pair<PolygonEdge, index_t> glues[] = {
             {{0, 2}, 1}, {{1, 0}, 0}, {{0, 0}, 3},     {{3, 2}, 0},
             {{0, 1}, 4}, {{4, 0}, 0}, {{1, 1}, NO_ID}, {{1, 2}, NO_ID}};
         for (auto const& glue : glues) builder.set_polygon_adjacent(glue.first, glue.second);
       }},
      {"stale adjacency to a removed triangle",
       [](SurfaceMesh<2>&, SurfaceMeshBuilder<2>& builder) {
         // Triangle 3 no longer points back at triangle 0, so removing it
         // leaves triangle 0's adjacency across 1 -> 4.
         builder.set_polygon_adjacent({3, 2}, NO_ID);
         builder.remove_polygon(3);
       }},
      {"removed triangle folded onto itself",
       [](SurfaceMesh<2>&, SurfaceMeshBuilder<2>& builder) {
         builder.set_polygon_adjacent({3, 2}, NO_ID);
         builder.remove_polygon(3);
         builder.set_polygon_vertex({3, 1}, 4);  // (1, 4, 4)
       }},
      {"replace vertex", [](SurfaceMesh<2>& mesh, SurfaceMeshBuilder<2>& builder) {
         builder.replace_vertex(4, builder.create_point(mesh.point(4)));
       }},
      {"removals, then clean",
       [](SurfaceMesh<2>&, SurfaceMeshBuilder<2>& builder) {
         builder.set_polygon_adjacent({3, 2}, NO_ID);
         builder.remove_polygon(1);
         builder.remove_polygon(3);
         builder.clean();
       }},
      {"polygons permuted",
       [](SurfaceMesh<2>&, SurfaceMeshBuilder<2>& builder) {
         builder.set_polygon_adjacent({1, 0}, NO_ID);
         builder.permute_polygons(std::vector<index_t>{3, 7, 0, 5, 1, 6, 2, 4});
       }},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    auto mesh = test::make_grid<2>(2);
    auto builder = SurfaceMeshBuilder<2>::create(*mesh);
    c.edit(*mesh, *builder);
    EXPECT_TRUE(twins_as_searched(*mesh));
    EXPECT_TRUE(twins_as_searched(*mesh->clone()));
  }
}

// Quads a = (0, 1, 4, 3) and b = (2, 5, 4, 1) side by side, glued along
// a's edge 1 -> 4 and b's edge 4 -> 1.
struct TwoQuads {
  TwoQuads() {
    for (auto const& p : {std::array<double, 2>{{0, 0}}, {{1, 0}}, {{2, 0}}, {{0, 1}}, {{1, 1}},
                          {{2, 1}}}) {
      builder->create_point(Point<2>{p});
    }
    builder->create_polygon(std::array<index_t, 4>{{0, 1, 4, 3}});
    builder->create_polygon(std::array<index_t, 4>{{2, 5, 4, 1}});
    builder->compute_polygon_adjacencies();
  }
  std::unique_ptr<PolygonalSurface<2>> mesh = PolygonalSurface<2>::create();
  std::unique_ptr<PolygonalSurfaceBuilder<2>> builder = PolygonalSurfaceBuilder<2>::create(*mesh);
};

TEST(StoredTwins, AStoredTwinInARemovedFoldedPolygonIsNotTaken) {
  // Quads a = (0, 1, 4, 3) and b = (2, 5, 4, 1) share 1 -> 4 (a's edge 1)
  // and 4 -> 1 (b's edge 2). Once b stops pointing back, removing it
  // leaves a's adjacency. Folded into (4, 1, 4, 1), b runs 4 -> 1 twice:
  // the twin is the first, edge 0, though the stored edge 2 fits too.
  TwoQuads quads;
  auto& mesh = quads.mesh;
  auto& builder = quads.builder;
  ASSERT_EQ(mesh->polygon_adjacent_edge({0, 1}), PolygonEdge(1, 2));
  builder->set_polygon_adjacent({1, 2}, NO_ID);
  builder->remove_polygon(1);
  builder->set_polygon_vertex({1, 0}, 4);
  builder->set_polygon_vertex({1, 1}, 1);
  EXPECT_EQ(mesh->polygon_adjacent_edge({0, 1}), PolygonEdge(1, 0));
  EXPECT_TRUE(twins_as_searched(*mesh));
}

// Seeded random edits, each followed by the comparison with the search:
// adjacencies set, glued or cleared at random, vertices moved, polygons
// removed, permuted and deleted, adjacencies recomputed. Edits the
// builder refuses change nothing and are skipped.
template <index_t D>
void edit_at_random(SurfaceMesh<D>& mesh, std::uint32_t seed, int nb_edits) {
  auto builder = SurfaceMeshBuilder<D>::create(mesh);
  std::minstd_rand random(seed);
  const index_t kept = 2 * mesh.nb_polygons() / 3;
  const auto pick = [&random](index_t count) { return static_cast<index_t>(random() % count); };
  const auto any_edge = [&](index_t polygon) {
    return PolygonEdge{polygon, static_cast<local_index_t>(pick(mesh.nb_polygon_vertices(polygon)))};
  };
  for (int step = 0; step < nb_edits; ++step) {
    const index_t polygon = pick(mesh.nb_polygons());
    const index_t other = pick(mesh.nb_polygons());
    const index_t edit = pick(40);
    try {
      if (edit < 10) {
        builder->set_polygon_adjacent(any_edge(polygon), edit == 0 ? NO_ID : other);
      } else if (edit < 18) {
        // Glue an edge to one running the other way, both directions.
        const PolygonEdge edge = any_edge(polygon);
        const auto vertices = mesh.polygon_edge_vertices(edge);
        if (const auto reverse = mesh.polygon_edge_from_vertices(vertices[1], vertices[0])) {
          builder->set_polygon_adjacent(edge, reverse->polygon_id);
          builder->set_polygon_adjacent(*reverse, polygon);
        }
      } else if (edit < 31) {
        const index_t vertex = pick(3) == 0
                                   ? builder->create_point(mesh.point(pick(mesh.nb_vertices())))
                                   : pick(mesh.nb_vertices());
        builder->set_polygon_vertex(PolygonVertex{any_edge(polygon)}, vertex);
      } else if (edit < 33) {
        // Keep two thirds of the polygons active.
        index_t active = 0;
        for (index_t p = 0; p < mesh.nb_polygons(); ++p) active += mesh.is_polygon_active(p);
        if (active > kept) builder->remove_polygon(polygon);
      } else if (edit < 35) {
        builder->replace_vertex(pick(mesh.nb_vertices()), pick(mesh.nb_vertices()));
      } else if (edit == 35) {
        std::vector<index_t> permutation(mesh.nb_polygons());
        for (index_t p = 0; p < permutation.size(); ++p) permutation[p] = p;
        std::shuffle(permutation.begin(), permutation.end(), random);
        builder->permute_polygons(permutation);
      } else if (edit == 36) {
        builder->clean();
      } else {
        builder->compute_polygon_adjacencies();
      }
    } catch (UlvaneException const&) {
      continue;
    }
    ASSERT_TRUE(twins_as_searched(mesh)) << "after edit " << step << " (kind " << edit << ")";
  }
}

// A 3 x 3 grid of unit squares in 3D, every other square cut into two
// triangles, so that polygon sizes differ.
std::unique_ptr<PolygonalSurface<3>> make_squares_and_triangles() {
  auto mesh = PolygonalSurface<3>::create();
  auto builder = PolygonalSurfaceBuilder<3>::create(*mesh);
  for (index_t j = 0; j <= 3; ++j) {
    for (index_t i = 0; i <= 3; ++i) builder->create_point(Point<3>{{{double(i), double(j), 0}}});
  }
  for (index_t j = 0; j < 3; ++j) {
    for (index_t i = 0; i < 3; ++i) {
      const index_t v = i + 4 * j;
      if ((i + j) % 2 == 0) {
        builder->create_polygon(std::array<index_t, 4>{{v, v + 1, v + 5, v + 4}});
      } else {
        builder->create_polygon(std::array<index_t, 3>{{v, v + 1, v + 5}});
        builder->create_polygon(std::array<index_t, 3>{{v, v + 5, v + 4}});
      }
    }
  }
  builder->compute_polygon_adjacencies();
  return mesh;
}

TEST(StoredTwins, RandomEditsKeepTheSearchedTwins) {
  // Short runs from an intact mesh: long ones scramble it until hardly an
  // edge has a twin left.
  for (std::uint32_t seed = 1; seed <= 12; ++seed) {
    SCOPED_TRACE(::testing::Message() << "seed " << seed);
    edit_at_random(*test::make_grid<2>(3), seed, 60);
    edit_at_random(*make_squares_and_triangles(), seed, 60);
  }
}

// The flip of an edge as a sequence of single edits: the two vertex edits,
// then both directions of the three adjacencies that change.
void flip_by_single_edits(SurfaceMesh<2> const& mesh, SurfaceMeshBuilder<2>& builder,
                          PolygonEdge const& edge) {
  const auto next = [](local_index_t k) { return static_cast<local_index_t>((k + 1) % 3); };
  const index_t t = edge.polygon_id;
  const PolygonEdge twin = mesh.polygon_adjacent_edge(edge).value();
  const index_t u = twin.polygon_id;
  const PolygonEdge t_side{t, next(edge.edge_id)};
  const PolygonEdge u_side{u, next(twin.edge_id)};
  const index_t c = mesh.polygon_vertex({t, next(next(edge.edge_id))});
  const index_t d = mesh.polygon_vertex({u, next(next(twin.edge_id))});
  const auto beyond_t_side = mesh.polygon_adjacent_edge(t_side);
  const auto beyond_u_side = mesh.polygon_adjacent_edge(u_side);
  builder.set_polygon_vertex(PolygonVertex{t_side}, d);
  builder.set_polygon_vertex(PolygonVertex{u_side}, c);
  builder.set_polygon_adjacent(edge, beyond_u_side ? beyond_u_side->polygon_id : NO_ID);
  if (beyond_u_side) builder.set_polygon_adjacent(*beyond_u_side, t);
  builder.set_polygon_adjacent(twin, beyond_t_side ? beyond_t_side->polygon_id : NO_ID);
  if (beyond_t_side) builder.set_polygon_adjacent(*beyond_t_side, u);
  builder.set_polygon_adjacent(t_side, u);
  builder.set_polygon_adjacent(u_side, t);
}

// Everything a later query can see: corners, adjacencies, twins, and each
// vertex's fan in its order.
void expect_same_surface(SurfaceMesh<2> const& flipped, SurfaceMesh<2> const& edited) {
  ASSERT_EQ(flipped.nb_polygons(), edited.nb_polygons());
  for (index_t p = 0; p < flipped.nb_polygons(); ++p) {
    for (local_index_t k = 0; k < 3; ++k) {
      EXPECT_EQ(flipped.polygon_vertex({p, k}), edited.polygon_vertex({p, k}));
      EXPECT_EQ(flipped.polygon_adjacent_edge({p, k}), edited.polygon_adjacent_edge({p, k}));
    }
  }
  for (index_t v = 0; v < flipped.nb_vertices(); ++v) {
    SCOPED_TRACE(v);
    EXPECT_EQ(flipped.associated_polygon_vertex(v), edited.associated_polygon_vertex(v));
    EXPECT_EQ(as_vector(flipped.polygons_around_vertex(v)),
              as_vector(edited.polygons_around_vertex(v)));
  }
  EXPECT_TRUE(twins_as_searched(flipped));
}

TEST(FlipEdge, LeavesTheSurfaceAsTheSingleEditsDo) {
  // Every inner edge of a grid, flipped alone and after a flip next to it
  // (which moves associated corners and stored twins), then each flipped back.
  auto grid = test::make_grid<2>(3);
  std::vector<PolygonEdge> inner;
  for (index_t p = 0; p < grid->nb_polygons(); ++p) {
    for (local_index_t k = 0; k < 3; ++k) {
      if (!grid->is_edge_on_border({p, k})) inner.push_back({p, k});
    }
  }
  for (auto const& first : inner) {
    for (auto const& second : inner) {
      SCOPED_TRACE(::testing::Message() << "flip " << first.polygon_id << "/"
                                        << int{first.edge_id} << " then " << second.polygon_id
                                        << "/" << int{second.edge_id});
      auto flipped = grid->clone();
      auto edited = grid->clone();
      auto flipper = SurfaceMeshBuilder<2>::create(*flipped);
      auto editor = SurfaceMeshBuilder<2>::create(*edited);
      flipper->flip_edge(first);
      flip_by_single_edits(*edited, *editor, first);
      // The second flip only where it still joins two triangles whose far
      // corners differ.
      const auto twin = flipped->polygon_adjacent_edge(second);
      if (twin && flipped->polygon_vertex({second.polygon_id,
                                           static_cast<local_index_t>((second.edge_id + 2) % 3)}) !=
                      flipped->polygon_vertex(
                          {twin->polygon_id, static_cast<local_index_t>((twin->edge_id + 2) % 3)})) {
        flipper->flip_edge(second);
        flip_by_single_edits(*edited, *editor, second);
      }
      expect_same_surface(*flipped, *edited);
      if (::testing::Test::HasFailure()) return;
    }
  }
}

TEST(FlipEdge, RefusesEdgesWithoutTwoActiveTriangles) {
  auto grid = test::make_grid<2>(2);
  auto builder = SurfaceMeshBuilder<2>::create(*grid);
  // Triangle 0 = (0, 1, 4): its edge 0 -> 1 is on the border.
  EXPECT_EQ(error_of([&] { builder->flip_edge({0, 0}); }),
            "[SurfaceMeshBuilder::flip_edge] The edge 0 of polygon 0 has no twin");
  TwoQuads quads;
  EXPECT_EQ(error_of([&] { quads.builder->flip_edge({0, 1}); }),
            "[SurfaceMeshBuilder::flip_edge] Polygons 0 and 1 are not two active triangles");
}

}  // namespace
}  // namespace tarnix
