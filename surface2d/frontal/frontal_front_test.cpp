// The order of the front, output vertices and the skips of the main loop.

#include <queue>
#include <vector>

#include <gtest/gtest.h>

#include <common/variable_attribute.h>
#include <mesh/surface_fixtures.h>

#include "frontal/frontal_test_support.h"

namespace tarnix {
namespace test {
namespace {

using detail::ApexPoint;
using detail::FrontEdge;
using detail::FrontQueue;

FrontEdge front_edge(int kind, double length, double size, unsigned int id) {
  FrontEdge edge{};
  edge.kind = kind;
  edge.length = length;
  edge.size = size;
  edge.macro_edge = id;
  return edge;
}

TEST(FrontPriority, TakesEdgesInTheOrderOfTheirKeys) {
  struct Case {
    char const* name;
    std::vector<FrontEdge> pushed;
    std::vector<unsigned int> taken;
  };
  const Case cases[] = {
      {"border edges before kind 1, shorter first",
       {front_edge(0, 3.0, 1.0, 0), front_edge(0, 1.0, 1.0, 1), front_edge(1, 1.0, 1.0, 2)},
       {1, 0, 2}},
      {"kind 1 closest to its size first",
       {front_edge(1, 1.2, 1.0, 0), front_edge(1, 0.9, 1.0, 1)},
       {1, 0}},
      {"five equal border edges",
       {front_edge(0, 1.0, 1.0, 1), front_edge(0, 1.0, 1.0, 2), front_edge(0, 1.0, 1.0, 3),
        front_edge(0, 1.0, 1.0, 4), front_edge(0, 1.0, 1.0, 5)},
       {5, 3, 1, 2, 4}},
      {"three equal kind 1 edges",
       {front_edge(1, 1.0, 2.0, 1), front_edge(1, 1.0, 2.0, 2), front_edge(1, 1.0, 2.0, 3)},
       {3, 2, 1}},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    FrontQueue front;
    for (auto const& edge : c.pushed) front.push(edge);
    std::vector<unsigned int> taken;
    while (!front.empty()) {
      taken.push_back(front.top().macro_edge);
      front.pop();
    }
    EXPECT_EQ(taken, c.taken);
  }
}

TEST(FrontQueue, TakesEdgesAsAHeapOfRecordsWhilePushesAndPopsInterleave) {
  // Ties and reused slots: the front must take its edges in the very order
  // a priority queue of the records gives, or the remesh changes.
  std::priority_queue<FrontEdge, std::vector<FrontEdge>, detail::FrontPriority> records;
  FrontQueue front;
  std::vector<unsigned int> expected;
  std::vector<unsigned int> taken;
  unsigned int id = 0;
  for (unsigned int round = 0; round < 40; ++round) {
    // A few lengths and sizes, so that many keys are equal.
    const FrontEdge edge = front_edge(static_cast<int>(round % 3 == 0 ? 0 : 1),
                                      1.0 + (round * 7 % 4) * 0.5, 1.0 + (round % 2), id++);
    records.push(edge);
    front.push(edge);
    ASSERT_EQ(front.size(), records.size());
    // Every third round takes two edges, freeing slots for later pushes.
    for (unsigned int k = 0; k < (round % 3 == 2 ? 2U : 0U) && !records.empty(); ++k) {
      expected.push_back(records.top().macro_edge);
      records.pop();
      taken.push_back(front.top().macro_edge);
      front.pop();
    }
  }
  while (!records.empty()) {
    expected.push_back(records.top().macro_edge);
    records.pop();
    taken.push_back(front.top().macro_edge);
    front.pop();
  }
  EXPECT_TRUE(front.empty());
  EXPECT_EQ(taken, expected);
}

TEST(FrontPriority, EqualKeysYieldBothWays) {
  const detail::FrontPriority yields;
  const FrontEdge a = front_edge(0, 1.0, 1.0, 0);
  const FrontEdge b = front_edge(0, 1.0, 1.0, 1);
  EXPECT_TRUE(yields(a, b));
  EXPECT_TRUE(yields(b, a));
  EXPECT_FALSE(yields(front_edge(0, 5.0, 1.0, 0), front_edge(1, 1.0, 1.0, 1)));
}

struct GridRemesher {
  explicit GridRemesher(unsigned int n, double size = 1.0)
      : mesh(make_grid<2>(n)),
        builder(TriangulatedSurfaceBuilder<2>::create(*mesh)),
        metric(size),
        remesher(*mesh, *builder, metric, {}) {}

  std::unique_ptr<TriangulatedSurface<2>> mesh;
  std::unique_ptr<TriangulatedSurfaceBuilder<2>> builder;
  ConstantMetric<2> metric;
  TestRemesher remesher;
};

TEST(OutputVertex, MakesOneOutputVertexPerInputVertexInCreationOrder) {
  GridRemesher grid(2);
  auto& remesher = grid.remesher;
  EXPECT_EQ(remesher.output_vertex(4, false), 0u);
  EXPECT_EQ(remesher.output_vertex(7, true), 1u);
  // A second request keeps the id and the first `given` flag.
  EXPECT_EQ(remesher.output_vertex(4, true), 0u);
  ASSERT_EQ(remesher.output_vertex_origins().size(), 2u);
  EXPECT_EQ(remesher.output_vertex_origins()[0].input_vertex, 4u);
  EXPECT_EQ(remesher.output_vertex_origins()[0].given, 0);
  EXPECT_EQ(remesher.output_vertex_origins()[1].given, 1);
  EXPECT_EQ(remesher.output_surface().point(1), grid.mesh->point(7));
  EXPECT_EQ(remesher.output_vertex_of(4), 0u);
  EXPECT_EQ(remesher.output_vertex_of(5), NO_ID);
  EXPECT_THROW(remesher.output_vertex(grid.mesh->nb_vertices(), false), std::out_of_range);
}

TEST(AddFrontEdge, PushesTheEdgeWithANewMacroEdge) {
  GridRemesher grid(2, 2.0);
  auto& remesher = grid.remesher;
  const unsigned int m = remesher.add_front_edge(0, 4, 7, 1);
  EXPECT_EQ(m, 0u);
  ASSERT_EQ(remesher.front.size(), 1u);
  FrontEdge const& edge = remesher.front.top();
  EXPECT_EQ(edge.macro_edge, m);
  EXPECT_DOUBLE_EQ(edge.length, std::sqrt(2.0));
  EXPECT_EQ(edge.size, 2.0);
  EXPECT_EQ(edge.kind, 1);
  EXPECT_EQ(remesher.macro_edges[0], (detail::MacroEdge{0, 4}));
  EXPECT_EQ(remesher.macro_edge_sides[0].first, 7u);
  EXPECT_EQ(remesher.macro_edge_sides[0].second, NO_ID);
  EXPECT_NE(remesher.output_vertex_of(0), NO_ID);
  EXPECT_NE(remesher.output_vertex_of(4), NO_ID);
}

// Records the front edges the main loop asks an apex for, and answers with
// a fixed apex, or none.
class ApexRecorder : public TestRemesher {
 public:
  using TestRemesher::TestRemesher;
  absl::optional<ApexPoint> ideal_point(FrontEdge const& edge) const override {
    asked.push_back(edge.macro_edge);
    return apex;
  }
  mutable std::vector<unsigned int> asked;
  absl::optional<ApexPoint> apex;
};

TEST(AdvanceFront, SkipsClosedTooLongAndSelfApexEdges) {
  auto mesh = make_grid<2>(2);
  auto builder = TriangulatedSurfaceBuilder<2>::create(*mesh);
  const ConstantMetric<2> metric(1.0);
  ApexRecorder remesher(*mesh, *builder, metric, {});
  remesher.create_polygon_attributes();
  // Edge 0: exactly twice its size; edge 1: slightly longer; edge 2: closed.
  for (unsigned int m = 0; m < 3; ++m) {
    remesher.macro_edges.push_back({0, 8});
    remesher.macro_edge_sides.push_back({NO_ID, m == 2 ? 5u : NO_ID});
  }
  remesher.front.push(front_edge(0, 2.0, 1.0, 0));
  remesher.front.push(front_edge(0, std::nextafter(2.0, 3.0), 1.0, 1));
  remesher.front.push(front_edge(0, 1.0, 1.0, 2));
  // The apex lies on the edge's own macro edge: the edge is dropped before
  // any candidate is tried, so nothing is inserted.
  remesher.apex = ApexPoint{Point<2>{{0.7, 0.3}}, 0, 0};
  const unsigned int nb_vertices = mesh->nb_vertices();
  remesher.advance_front();
  EXPECT_EQ(remesher.asked, (std::vector<unsigned int>{0}));
  EXPECT_EQ(mesh->nb_vertices(), nb_vertices);
  EXPECT_EQ(remesher.output_surface().nb_polygons(), 0u);
}

}  // namespace
}  // namespace test
}  // namespace tarnix
