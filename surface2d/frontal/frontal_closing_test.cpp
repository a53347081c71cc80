// Candidate vertices and closing a front edge: build, withdrawal, rollback.

#include <vector>

#include <gtest/gtest.h>

#include <common/variable_attribute.h>
#include <mesh/surface_fixtures.h>
#include <mesh/surface_validity.h>
#include <ulvane/geometry/distance.h>

#include "frontal/frontal_test_support.h"

namespace tarnix {
namespace test {
namespace {

using detail::ApexPoint;
using detail::FrontEdge;

// Refuses the n-th straight walk it is asked for (counting from 1).
class WalkRefuser : public TestRemesher {
 public:
  using TestRemesher::TestRemesher;
  absl::optional<std::vector<SurfacePath>> surface_path(unsigned int a,
                                                        unsigned int b) const override {
    if (++nb_walks == refused_walk) return absl::nullopt;
    return TestRemesher::surface_path(a, b);
  }
  mutable unsigned int nb_walks{0};
  unsigned int refused_walk{0};
};

// make_grid(n) with its four corners given, prepared up to the initial front.
struct Square {
  explicit Square(unsigned int n)
      : mesh(make_grid<2>(n)),
        builder(TriangulatedSurfaceBuilder<2>::create(*mesh)),
        given{0, n, (n + 1) * (n + 1) - 1, n * (n + 1)},
        remesher(*mesh, *builder, metric, given) {
    remesher.prepare_surface();
    remesher.create_polygon_attributes();
    remesher.initialize_front();
  }

  // The front edge along the bottom side, from 0 to n.
  FrontEdge bottom_edge() {
    auto front = remesher.front;
    while (front.top().start != 0) front.pop();
    return front.top();
  }

  unsigned int nb_marks() const {
    unsigned int count = 0;
    for (unsigned int t = 0; t < mesh->nb_polygons(); ++t) {
      if (!mesh->is_polygon_active(t)) continue;
      for (local_index_t j = 0; j < 3; ++j) count += remesher.edge_info({t, j}).size();
    }
    return count;
  }

  std::unique_ptr<TriangulatedSurface<2>> mesh;
  std::unique_ptr<TriangulatedSurfaceBuilder<2>> builder;
  ConstantMetric<2> metric{1.0};
  std::vector<unsigned int> given;
  WalkRefuser remesher;
};

TEST(CandidateVertices, AreSortedByDistanceThenIdWithinTheRadius) {
  // make_grid(4): vertex i + 5 j at (i, j). Front edge 0 -> 1 on the border.
  Square square(4);
  auto& r = square.remesher;
  FrontEdge edge = r.construct_front_edge(0, 1, 0);
  edge.macro_edge = 0;
  for (const unsigned int v : {1u, 5u, 6u, 11u, 12u}) r.output_vertex(v, false);
  r.macro_edges.push_back({12, 5});
  r.macro_edge_sides.push_back({NO_ID, NO_ID});
  const auto macro_edge = static_cast<unsigned int>(r.macro_edges.size() - 1);
  // In t1 = (0, 6, 5); 5 and 6 are at the same distance.
  const ApexPoint apex{Point<2>{{0.5, 0.8}}, 1, macro_edge};
  // Vertex 11 lies exactly at the radius; the ends of the apex's macro edge
  // count even beyond it, and 5 is listed once.
  const double radius = point_point_distance<2>(apex.point, square.mesh->point(11));
  const auto candidates = r.candidate_vertices(edge, apex, radius);
  std::vector<unsigned int> vertices;
  for (auto const& c : candidates) vertices.push_back(c.vertex);
  EXPECT_EQ(vertices, (std::vector<unsigned int>{5, 6, 12}));
  EXPECT_LE(candidates[0].distance, candidates[1].distance);
}

TEST(TryVertex, BuildsTheTriangleAndPushesItsNewSides) {
  Square square(2);
  auto& r = square.remesher;
  FrontEdge edge = square.bottom_edge();
  const unsigned int nb_macro_edges = static_cast<unsigned int>(r.macro_edges.size());
  r.output_vertex(4, false);
  ASSERT_TRUE(r.try_vertex(edge, 4));
  ASSERT_EQ(r.output_surface().nb_polygons(), 1u);
  EXPECT_EQ(r.output_surface().polygon_vertex({0, 2}), r.output_vertex_of(4));
  EXPECT_EQ(r.macro_edge_sides[edge.macro_edge].second, 0u);
  // Both sides are new: indices n and n + 1, made by triangle 0.
  ASSERT_EQ(r.macro_edges.size(), nb_macro_edges + 2);
  EXPECT_EQ(r.macro_edges[nb_macro_edges], (detail::MacroEdge{0, 4}));
  EXPECT_EQ(r.macro_edges[nb_macro_edges + 1], (detail::MacroEdge{4, 2}));
  EXPECT_EQ(r.macro_edge_sides[nb_macro_edges].first, 0u);
  // The covered triangles are those below 0 - 4 - 2.
  double covered = 0.0;
  for (unsigned int t = 0; t < square.mesh->nb_polygons(); ++t) {
    if (square.mesh->is_polygon_active(t) && r.triangle_info(t) == 0) {
      covered += triangle_area(*square.mesh, t);
    }
  }
  EXPECT_DOUBLE_EQ(covered, 1.0);
  expect_valid_surface(*square.mesh);
}

TEST(TryVertex, WithdrawsACandidateThatEnclosesAnOutputVertex) {
  Square square(2);
  auto& r = square.remesher;
  FrontEdge edge = square.bottom_edge();
  r.output_vertex(4, false);
  const unsigned int marks_before = square.nb_marks();
  // The triangle 0 - 2 - 7 holds the centre 4: 4 is built instead.
  ASSERT_TRUE(r.try_vertex(edge, 7));
  ASSERT_EQ(r.output_surface().nb_polygons(), 1u);
  EXPECT_EQ(r.output_surface().polygon_vertex({0, 2}), r.output_vertex_of(4));
  EXPECT_EQ(r.output_vertex_of(7), NO_ID);
  // Only the two sides of the built triangle add marks.
  EXPECT_EQ(square.nb_marks(), marks_before + r.macro_edge_chain(0, 4, 4).size() +
                                   r.macro_edge_chain(4, 2, 5).size());
  expect_valid_surface(*square.mesh);
}

TEST(TryVertex, RollsBackTheFirstSideWhenTheSecondIsRefused) {
  Square square(2);
  auto& r = square.remesher;
  FrontEdge edge = square.bottom_edge();
  r.refused_walk = 2;
  const unsigned int marks_before = square.nb_marks();
  const unsigned int triangles_before = square.mesh->nb_polygons();
  EXPECT_FALSE(r.try_vertex(edge, 7));
  EXPECT_EQ(r.output_surface().nb_polygons(), 0u);
  // Side 1 (0 to 7, flipped into the surface) stays, its marks are gone,
  // nothing is covered.
  EXPECT_EQ(square.mesh->nb_polygons(), triangles_before);
  EXPECT_TRUE(square.mesh->polygon_edge_from_vertices(0, 7));
  EXPECT_EQ(square.nb_marks(), marks_before);
  for (unsigned int t = 0; t < square.mesh->nb_polygons(); ++t) EXPECT_EQ(r.triangle_info(t), NO_ID);
  EXPECT_EQ(edge.start, 0u);
  EXPECT_EQ(edge.end, 2u);
  expect_valid_surface(*square.mesh);
}

TEST(TryVertex, RefusesARegionThatHoldsACoveredTriangle) {
  Square square(2);
  auto& r = square.remesher;
  FrontEdge edge = square.bottom_edge();
  r.output_vertex(4, false);
  // Triangle 0 = (0, 1, 4) lies below 0 - 4 - 2 but is already covered.
  r.triangle_info_attribute->set_value(0, 99);
  EXPECT_FALSE(r.try_vertex(edge, 4));
  EXPECT_EQ(r.output_surface().nb_polygons(), 0u);
  // The withdrawal leaves the covered triangle covered.
  EXPECT_EQ(r.triangle_info(0), 99u);
}

TEST(TryVertex, RefusesTheFirstSideWithoutChange) {
  Square square(2);
  auto& r = square.remesher;
  FrontEdge edge = square.bottom_edge();
  r.refused_walk = 1;
  const unsigned int triangles_before = square.mesh->nb_polygons();
  EXPECT_FALSE(r.try_vertex(edge, 7));
  EXPECT_EQ(square.mesh->nb_polygons(), triangles_before);
  EXPECT_FALSE(r.try_vertex(edge, 0));
  EXPECT_FALSE(r.try_vertex(edge, NO_ID));
}

TEST(TryVertex, ReusesExistingSidesAndLinksTheTriangles) {
  Square square(1);
  auto& r = square.remesher;
  // make_grid(1): border front edges 0 -> 1, 1 -> 3, 3 -> 2, 2 -> 0.
  FrontEdge bottom = square.bottom_edge();
  ASSERT_TRUE(r.try_vertex(bottom, 3));
  const unsigned int nb_macro_edges = static_cast<unsigned int>(r.macro_edges.size());
  // The side 3 -> 0 of the new triangle is open; the triangle on 2 -> 0
  // with apex 3 reuses it and the border edge 3 -> 2.
  auto front = r.front;
  while (front.top().start != 2) front.pop();
  FrontEdge left = front.top();
  ASSERT_TRUE(r.try_vertex(left, 3));
  EXPECT_EQ(r.macro_edges.size(), nb_macro_edges);
  ASSERT_EQ(r.output_surface().nb_polygons(), 2u);
  for (auto const& sides : r.macro_edge_sides) {
    EXPECT_NE(sides.second, NO_ID);
  }
  bool linked = false;
  for (local_index_t e = 0; e < 3; ++e) {
    linked |= r.output_surface().polygon_adjacent({1, e}) == absl::optional<unsigned int>(0);
  }
  EXPECT_TRUE(linked);
}

}  // namespace
}  // namespace test
}  // namespace tarnix
