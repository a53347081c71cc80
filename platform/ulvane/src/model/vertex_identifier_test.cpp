#include <ulvane/model/vertex_identifier.h>

#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <ulvane/basic/ulvane_exception.h>
#include <ulvane/mesh/edged_curve_builder.h>
#include <ulvane/mesh/point_set_builder.h>
#include <ulvane/mesh/polygonal_surface.h>
#include <ulvane/mesh/triangulated_surface.h>
#include <ulvane/mesh/triangulated_surface_builder.h>
#include <ulvane/model/section_builder.h>

#include "model/model_fixtures.h"
#include "model/model_validity.h"

namespace tarnix {
namespace {

using Cmvs = std::vector<ComponentMeshVertex>;
using Indices = std::vector<index_t>;

// A surface S whose vertex 0 (at p0) is in no triangle, a line L and two
// corners A, B; unique vertex uk is at pk and links, in this order, the
// corners, the line and the surface vertices there.
//
//     p3 (S3)
//     |  .
//     |    .           p0 (S0) alone at (5, 5)
//     |      .
//     p1 ---- p2       L: L0 at p1, L1 at p2
//     A, S1   B, S2
class SmallSectionTest : public ::testing::Test {
 protected:
  SmallSectionTest() {
    SectionBuilder builder{section};
    corner_a = builder.add_corner();
    corner_b = builder.add_corner();
    line = builder.add_line();
    surface = builder.add_surface();
    builder.create_unique_vertices(4);
    PointSetBuilder<2>::create(builder.modifiable_corner(corner_a).get_modifiable_mesh())
        ->create_point(points[1]);
    PointSetBuilder<2>::create(builder.modifiable_corner(corner_b).get_modifiable_mesh())
        ->create_point(points[2]);
    auto curve = EdgedCurveBuilder<2>::create(builder.modifiable_line(line).get_modifiable_mesh());
    curve->create_point(points[1]);
    curve->create_point(points[2]);
    curve->create_edge(0, 1);
    auto mesh = TriangulatedSurfaceBuilder<2>::create(surface_mesh());
    for (auto const& point : points) mesh->create_point(point);
    mesh->create_triangle({1, 2, 3});
    mesh->compute_polygon_adjacencies();

    builder.set_unique_vertex(a(0), 1);
    builder.set_unique_vertex(b(0), 2);
    builder.set_unique_vertex(l(0), 1);
    builder.set_unique_vertex(l(1), 2);
    for (index_t v = 0; v < 4; ++v) builder.set_unique_vertex(s(v), v);
  }

  TriangulatedSurface<2>& surface_mesh() {
    return dynamic_cast<TriangulatedSurface<2>&>(
        SectionBuilder{section}.modifiable_surface(surface).get_modifiable_mesh());
  }
  ComponentMeshVertex a(index_t v) const { return {{"Corner", corner_a}, v}; }
  ComponentMeshVertex b(index_t v) const { return {{"Corner", corner_b}, v}; }
  ComponentMeshVertex l(index_t v) const { return {{"Line", line}, v}; }
  ComponentMeshVertex s(index_t v) const { return {{"Surface", surface}, v}; }

  const std::array<Point<2>, 4> points{
      {Point<2>{{5, 5}}, Point<2>{{0, 0}}, Point<2>{{1, 0}}, Point<2>{{0, 1}}}};
  Section section;
  uuid corner_a, corner_b, line, surface;
};

TEST_F(SmallSectionTest, AnswersForwardAndReverseQueries) {
  EXPECT_EQ(section.nb_unique_vertices(), 4u);
  EXPECT_EQ(section.unique_vertex(l(1)), 2u);
  EXPECT_EQ(section.component_mesh_vertices(1), (Cmvs{a(0), l(0), s(1)}));
  EXPECT_EQ(section.component_mesh_vertices(2, surface), Indices{2});
  EXPECT_EQ(section.component_mesh_vertices(2, "Line"), Cmvs{l(1)});
  EXPECT_TRUE(section.has_component_mesh_vertices(1, "Corner"));
  EXPECT_FALSE(section.has_component_mesh_vertices(3, "Corner"));
  EXPECT_TRUE(section.has_component_mesh_vertices(3, surface));
  EXPECT_FALSE(section.has_component_mesh_vertices(3, line));
  EXPECT_EQ(section.component_mesh_vertices(3, uuid{}), Indices{});
  EXPECT_TRUE(test::is_valid_model(section));
}

TEST_F(SmallSectionTest, NoIdQueriesAreEmpty) {
  EXPECT_TRUE(section.component_mesh_vertices(NO_ID).empty());
  EXPECT_TRUE(section.component_mesh_vertices(NO_ID, surface).empty());
  EXPECT_TRUE(section.component_mesh_vertices(NO_ID, "Surface").empty());
  EXPECT_FALSE(section.has_component_mesh_vertices(NO_ID, "Surface"));
  EXPECT_FALSE(section.has_component_mesh_vertices(NO_ID, surface));
}

TEST_F(SmallSectionTest, RejectsUnknownComponentsVerticesAndUniqueVertices) {
  SectionBuilder builder{section};
  const std::vector<ComponentMeshVertex> unknown{
      {{"Surface", uuid{}}, 0},  // no such component
      {{"Line", surface}, 0},    // the id of another type
      s(4),                      // beyond the mesh
  };
  for (auto const& cmv : unknown) {
    SCOPED_TRACE(::testing::PrintToString(cmv));
    EXPECT_THROW(section.unique_vertex(cmv), UlvaneException);
    EXPECT_THROW(builder.set_unique_vertex(cmv, 0), UlvaneException);
  }
  EXPECT_THROW(builder.set_unique_vertex(s(0), 4), UlvaneException);
  EXPECT_THROW(section.component_mesh_vertices(4), UlvaneException);
  EXPECT_THROW(section.has_component_mesh_vertices(4, "Line"), UlvaneException);
  EXPECT_EQ(section.unique_vertex(s(0)), 0u);
}

TEST_F(SmallSectionTest, RelinkingMovesTheVertexBetweenLists) {
  SectionBuilder builder{section};
  builder.set_unique_vertex(s(1), 1);  // the same link again
  EXPECT_EQ(section.component_mesh_vertices(1), (Cmvs{a(0), l(0), s(1)}));
  builder.set_unique_vertex(s(1), 0);
  EXPECT_EQ(section.component_mesh_vertices(1), (Cmvs{a(0), l(0)}));
  EXPECT_EQ(section.component_mesh_vertices(0), (Cmvs{s(0), s(1)}));
  builder.set_unique_vertex(s(1), NO_ID);
  EXPECT_EQ(section.unique_vertex(s(1)), NO_ID);
  EXPECT_EQ(section.component_mesh_vertices(0), Cmvs{s(0)});
}

TEST_F(SmallSectionTest, VerticesMadeByMeshBuildersAreUnlinked) {
  auto mesh = TriangulatedSurfaceBuilder<2>::create(surface_mesh());
  const index_t plain = mesh->create_point(Point<2>{{2, 2}});
  const index_t derived = mesh->create_point(Point<2>{{0.5, 0}}, {Indices{1, 2}, {0.5, 0.5}});
  EXPECT_EQ(section.unique_vertex(s(plain)), NO_ID);
  EXPECT_EQ(section.unique_vertex(s(derived)), NO_ID);
  EXPECT_EQ(section.component_mesh_vertices(1), (Cmvs{a(0), l(0), s(1)}));
  SectionBuilder{section}.set_unique_vertex(s(derived), 3);
  EXPECT_EQ(section.component_mesh_vertices(3, surface), (Indices{3, derived}));
}

TEST_F(SmallSectionTest, LinksFollowSurfaceVertexDeletionInLinkOrder) {
  TriangulatedSurfaceBuilder<2>::create(surface_mesh())->delete_isolated_vertices();
  ASSERT_EQ(section.surface(surface).mesh().nb_vertices(), 3u);
  EXPECT_EQ(section.unique_vertex(s(0)), 1u);
  EXPECT_EQ(section.unique_vertex(s(2)), 3u);
  EXPECT_EQ(section.component_mesh_vertices(1), (Cmvs{a(0), l(0), s(0)}));
  EXPECT_TRUE(section.component_mesh_vertices(0).empty());
  EXPECT_TRUE(test::is_valid_model(section));
}

TEST_F(SmallSectionTest, LinksFollowPermutationsOfEveryMeshKind) {
  TriangulatedSurfaceBuilder<2>::create(surface_mesh())
      ->permute_vertices(Indices{3, 2, 1, 0});
  EdgedCurveBuilder<2>::create(SectionBuilder{section}.modifiable_line(line).get_modifiable_mesh())
      ->permute_vertices(Indices{1, 0});
  for (index_t v = 0; v < 4; ++v) EXPECT_EQ(section.unique_vertex(s(v)), 3 - v);
  EXPECT_EQ(section.unique_vertex(l(0)), 2u);
  EXPECT_EQ(section.component_mesh_vertices(2), (Cmvs{b(0), l(0), s(1)}));
  EXPECT_EQ(section.component_mesh_vertices(1), (Cmvs{a(0), l(1), s(2)}));
  EXPECT_TRUE(test::is_valid_model(section));
}

TEST_F(SmallSectionTest, DeletedCornerAndLineVerticesLeaveTheirLists) {
  SectionBuilder builder{section};
  PointSetBuilder<2>::create(builder.modifiable_corner(corner_a).get_modifiable_mesh())
      ->delete_vertices({true});
  auto curve = EdgedCurveBuilder<2>::create(builder.modifiable_line(line).get_modifiable_mesh());
  curve->delete_edges({true});
  curve->delete_isolated_vertices();
  EXPECT_EQ(section.component_mesh_vertices(1), Cmvs{s(1)});
  EXPECT_EQ(section.component_mesh_vertices(2), (Cmvs{b(0), s(2)}));
  EXPECT_TRUE(test::is_valid_model(section));
}

TEST_F(SmallSectionTest, LinksStayTrackedAfterTheModelMoves) {
  Section moved = std::move(section);
  SectionBuilder builder{moved};
  auto& mesh = dynamic_cast<TriangulatedSurface<2>&>(
      builder.modifiable_surface(surface).get_modifiable_mesh());
  TriangulatedSurfaceBuilder<2>::create(mesh)->delete_isolated_vertices();
  EXPECT_EQ(moved.component_mesh_vertices(3), Cmvs{s(2)});
  EXPECT_TRUE(test::is_valid_model(moved));
  EXPECT_EQ(section.nb_unique_vertices(), 0u);  // moved-from: empty
}

TEST_F(SmallSectionTest, ReplacedMeshesBringTheirOwnLinks) {
  SectionBuilder builder{section};
  // A clone carries the links over.
  builder.set_surface_mesh(surface, section.surface(surface).mesh().clone());
  EXPECT_EQ(section.component_mesh_vertices(1), (Cmvs{a(0), l(0), s(1)}));
  TriangulatedSurfaceBuilder<2>::create(surface_mesh())->delete_isolated_vertices();
  EXPECT_EQ(section.component_mesh_vertices(1), (Cmvs{a(0), l(0), s(0)}));

  // A fresh mesh of another type has none.
  builder.set_surface_mesh(surface, PolygonalSurface<2>::create());
  EXPECT_EQ(section.surface(surface).mesh().type_name(), "PolygonalSurface2D");
  EXPECT_EQ(section.component_mesh_vertices(1), (Cmvs{a(0), l(0)}));
  EXPECT_TRUE(test::is_valid_model(section));
  EXPECT_THROW(builder.set_surface_mesh(surface, nullptr), UlvaneException);
}

TEST_F(SmallSectionTest, MeshesLinkingBeyondTheUniqueVerticesAreRefused) {
  Section other;
  SectionBuilder other_builder{other};
  // A clone linking to unique vertex 3 cannot go where there are none.
  EXPECT_THROW(other_builder.add_surface(section.surface(surface).mesh().clone()),
               UlvaneException);
  EXPECT_EQ(other.nb_surfaces(), 0u);
  other_builder.create_unique_vertices(4);
  other_builder.add_surface(section.surface(surface).mesh().clone());
  EXPECT_EQ(other.component_mesh_vertices(3).size(), 1u);
}

TEST(VertexIdentifierTest, CleanOfASurfaceKeepsTheModelValid) {
  auto fixture = test::make_two_surface_section(2);
  auto& section = fixture.section;
  SectionBuilder builder{section};
  auto& mesh = dynamic_cast<TriangulatedSurface<2>&>(
      builder.modifiable_surface(fixture.left).get_modifiable_mesh());
  // Triangles 0 and 1 are the only ones at vertex 0, the corner c0.
  const index_t u_c0 = section.unique_vertex({{"Corner", fixture.corners[0]}, 0});
  ASSERT_EQ(section.unique_vertex({{"Surface", fixture.left}, 0}), u_c0);
  auto mesh_builder = TriangulatedSurfaceBuilder<2>::create(mesh);
  mesh_builder->remove_polygon(0);
  mesh_builder->remove_polygon(1);
  mesh_builder->clean();
  EXPECT_EQ(mesh.nb_vertices(), 8u);
  EXPECT_FALSE(section.has_component_mesh_vertices(u_c0, "Surface"));
  EXPECT_TRUE(section.has_component_mesh_vertices(u_c0, "Corner"));
  EXPECT_TRUE(test::is_valid_model(section));
}

TEST(VertexIdentifierTest, PairsOnTheSharedLine) {
  auto fixture = test::make_two_surface_section(2);
  auto const& section = fixture.section;
  const ComponentID line{"Line", fixture.shared_line};
  const ComponentID left{"Surface", fixture.left};
  const ComponentID right{"Surface", fixture.right};
  // Shared-line vertices 0 at (1, 0) and 1 at (1, 0.5): left grid vertices
  // 2 and 5, right grid vertices 0 and 3.
  const auto first = section.component_mesh_vertices(section.unique_vertex({line, 0}));
  const auto second = section.component_mesh_vertices(section.unique_vertex({line, 1}));
  EXPECT_EQ(first.size(), 6u);  // c1, l0, l1, l6, left, right
  const auto pairs = section.component_mesh_vertex_pairs(first, second);
  using Pairs = std::vector<std::array<index_t, 2>>;
  EXPECT_EQ(pairs.size(), 3u);
  EXPECT_EQ(pairs.at(line), (Pairs{{{0, 1}}}));
  EXPECT_EQ(pairs.at(left), (Pairs{{{2, 5}}}));
  EXPECT_EQ(pairs.at(right), (Pairs{{{0, 3}}}));
  EXPECT_EQ(section.component_mesh_vertices(section.unique_vertex({line, 0}), "Line").size(),
            3u);

  // Several vertices of one component: every pair, first list major.
  const Cmvs xs{{left, 0}, {right, 7}, {left, 1}};
  const Cmvs ys{{left, 2}, {left, 3}};
  EXPECT_EQ(section.component_mesh_vertex_pairs(xs, ys).at(left),
            (Pairs{{{0, 2}}, {{0, 3}}, {{1, 2}}, {{1, 3}}}));
  EXPECT_TRUE(section.component_mesh_vertex_pairs(xs, {}).empty());
}

// Surfaces whose vertices share unique vertices write the same reverse
// lists: each edited on a thread of its own (links set, vertices created
// and deleted, lists read), the lists end as a run on one thread leaves
// them.
TEST(VertexIdentifierTest, SurfacesEditedOnTheirOwnThreadsKeepTheSharedListsRight) {
  constexpr index_t nb_uniques = 8;
  constexpr index_t nb_rounds = 300;
  Section section;
  std::vector<uuid> surfaces;
  {
    SectionBuilder builder{section};
    builder.create_unique_vertices(nb_uniques);
    for (int k = 0; k < 4; ++k) surfaces.push_back(builder.add_surface());
  }
  std::vector<std::thread> threads;
  std::vector<bool> lists_read_right(surfaces.size(), true);
  for (std::size_t k = 0; k < surfaces.size(); ++k) {
    threads.emplace_back([&, k] {
      SectionBuilder builder{section};
      auto& mesh = dynamic_cast<TriangulatedSurface<2>&>(
          builder.modifiable_surface(surfaces[k]).get_modifiable_mesh());
      auto mesh_builder = TriangulatedSurfaceBuilder<2>::create(mesh);
      for (index_t round = 0; round < nb_rounds; ++round) {
        // Two vertices per unique vertex, then every second one goes: the
        // deletion renumbers the kept vertices in the lists.
        index_t const before = mesh.nb_vertices();
        for (index_t v = 0; v < 2 * nb_uniques; ++v) {
          auto const created = mesh_builder->create_point(Point<2>{{double(v / 2), 0.0}});
          builder.set_unique_vertex({{"Surface", surfaces[k]}, created}, v / 2);
        }
        std::vector<bool> kept(mesh.nb_vertices(), true);
        for (index_t v = before; v < kept.size(); ++v) kept[v] = (v - before) % 2 == 0;
        mesh_builder->delete_isolated_vertices(kept);
        for (index_t u = 0; u < nb_uniques; ++u) {
          if (section.component_mesh_vertices(u, surfaces[k]).size() != round + 1) {
            lists_read_right[k] = false;
          }
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (std::size_t k = 0; k < surfaces.size(); ++k) EXPECT_TRUE(lists_read_right[k]) << k;
  for (index_t u = 0; u < nb_uniques; ++u) {
    EXPECT_EQ(section.component_mesh_vertices(u).size(), surfaces.size() * nb_rounds);
  }
  EXPECT_TRUE(test::is_valid_model(section));
}

}  // namespace
}  // namespace tarnix
