#include <ulvane/mesh/edged_curve.h>

#include <gtest/gtest.h>

#include <common/variable_attribute.h>
#include <ulvane/basic/ulvane_exception.h>
#include <ulvane/mesh/edged_curve_builder.h>

namespace tarnix {
namespace {

using Ends = std::vector<EdgeVertex>;

// The polyline 0 -- 1 -- 2 along x, edges e0 = (0, 1) and e1 = (1, 2), with
// a vertex attribute "id" holding 10 + v and an edge attribute "tag"
// holding 100 + e.
class CurveTest : public ::testing::Test {
 protected:
  CurveTest() : curve(EdgedCurve<2>::create()), builder(EdgedCurveBuilder<2>::create(*curve)) {
    for (double x : {0.0, 1.0, 3.0}) builder->create_point(Point<2>{{x, 0.0}});
    builder->create_edge(0, 1);
    builder->create_edge(1, 2);
    ids = curve->vertex_attribute_manager().find_or_create_attribute<VariableAttribute, index_t>(
        "id", NO_ID, 0);
    tags = curve->edge_attribute_manager().find_or_create_attribute<VariableAttribute, index_t>(
        "tag", NO_ID, ATTRIBUTE_DERIVABLE);
    for (index_t v = 0; v < 3; ++v) ids->set_value(v, 10 + v);
    for (index_t e = 0; e < 2; ++e) tags->set_value(e, 100 + e);
  }

  std::vector<double> xs() const {
    std::vector<double> result;
    for (index_t v = 0; v < curve->nb_vertices(); ++v) result.push_back(curve->point(v).value(0));
    return result;
  }

  std::unique_ptr<EdgedCurve<2>> curve;
  std::unique_ptr<EdgedCurveBuilder<2>> builder;
  std::shared_ptr<VariableAttribute<index_t>> ids;
  std::shared_ptr<VariableAttribute<index_t>> tags;
};

TEST_F(CurveTest, QueriesEdgesAndGeometry) {
  EXPECT_EQ(curve->nb_vertices(), 3u);
  EXPECT_EQ(curve->nb_edges(), 2u);
  EXPECT_EQ(curve->edge_vertex({1, 0}), 1u);
  EXPECT_EQ(curve->edge_vertex({1, 1}), 2u);
  EXPECT_EQ(curve->edge_vertex(EdgeVertex{0, 0}.opposite()), 1u);
  EXPECT_EQ(curve->edges_around_vertex(1), (Ends{{0, 1}, {1, 0}}));
  EXPECT_EQ(curve->edges_around_vertex(0), (Ends{{0, 0}}));
  EXPECT_EQ(curve->edge_barycenter(1), (Point<2>{{2.0, 0.0}}));
  EXPECT_DOUBLE_EQ(curve->edge_length(1), 2.0);
  EXPECT_EQ(curve->type_name(), "EdgedCurve2D");
  EXPECT_EQ(EdgedCurve<3>::create()->type_name(), "EdgedCurve3D");
  EXPECT_EQ(curve->impl_name(), curve->type_name());
  EXPECT_THROW(curve->edge_vertices(2), std::out_of_range);
  EXPECT_THROW(curve->edges_around_vertex(3), std::out_of_range);
}

TEST_F(CurveTest, RefusesBadEdges) {
  EXPECT_THROW(builder->create_edge(1, 1), UlvaneException);
  EXPECT_THROW(builder->create_edge(0, 3), std::out_of_range);
  EXPECT_THROW(builder->split_edge(0, 1), UlvaneException);
  EXPECT_EQ(curve->nb_edges(), 2u);
}

TEST_F(CurveTest, SplitAppendsTheFarHalfAndCopiesDerivableValues) {
  const index_t middle = builder->create_point(Point<2>{{2.0, 0.0}});
  const index_t created = builder->split_edge(1, middle);
  EXPECT_EQ(created, 2u);
  EXPECT_EQ(curve->edge_vertices(1), (std::array<index_t, 2>{{1, middle}}));
  EXPECT_EQ(curve->edge_vertices(2), (std::array<index_t, 2>{{middle, 2}}));
  EXPECT_EQ(curve->edges_around_vertex(middle), (Ends{{1, 1}, {2, 0}}));
  EXPECT_EQ(curve->edges_around_vertex(2), (Ends{{2, 1}}));
  EXPECT_EQ(tags->value(2), 101u);
  EXPECT_EQ(ids->value(middle), NO_ID);
}

TEST_F(CurveTest, SplitAtAVertexWithEdgesKeepsListsInEdgeOrder) {
  // A vertex 3 already ending edge 2; splitting edge 0 at it puts (0, 1)
  // before (2, 1) in its list.
  const index_t extra = builder->create_point(Point<2>{{0.5, 1.0}});
  builder->create_edge(2, extra);
  builder->split_edge(0, extra);
  EXPECT_EQ(curve->edges_around_vertex(extra), (Ends{{0, 1}, {2, 1}, {3, 0}}));
}

TEST_F(CurveTest, DeletionsRenumberEdgesVerticesPointsAndAttributes) {
  const auto edge_map = builder->delete_edges({true, false});
  EXPECT_EQ(edge_map, (std::vector<index_t>{NO_ID, 0}));
  EXPECT_EQ(tags->value(0), 101u);
  EXPECT_EQ(curve->edges_around_vertex(0), Ends{});

  const auto vertex_map = builder->delete_isolated_vertices();
  EXPECT_EQ(vertex_map, (std::vector<index_t>{NO_ID, 0, 1}));
  EXPECT_EQ(xs(), (std::vector<double>{1.0, 3.0}));
  EXPECT_EQ(ids->value(0), 11u);
  EXPECT_EQ(ids->value(1), 12u);
  EXPECT_EQ(curve->edge_vertices(0), (std::array<index_t, 2>{{0, 1}}));
  EXPECT_EQ(curve->edges_around_vertex(1), (Ends{{0, 1}}));
  // One flag per edge: the curve has one edge left.
  EXPECT_THROW(builder->delete_edges({true, false}), UlvaneException);
  EXPECT_THROW(builder->delete_edges({}), UlvaneException);
  EXPECT_EQ(curve->nb_edges(), 1u);
  EXPECT_EQ(tags->value(0), 101u);
}

TEST_F(CurveTest, PermutationsMoveEverythingTogether) {
  builder->permute_vertices(std::vector<index_t>{2, 0, 1});
  EXPECT_EQ(xs(), (std::vector<double>{3.0, 0.0, 1.0}));
  EXPECT_EQ(ids->value(0), 12u);
  EXPECT_EQ(curve->edge_vertices(0), (std::array<index_t, 2>{{1, 2}}));
  EXPECT_EQ(curve->edges_around_vertex(2), (Ends{{0, 1}, {1, 0}}));

  builder->permute_edges(std::vector<index_t>{1, 0});
  EXPECT_EQ(curve->edge_vertices(0), (std::array<index_t, 2>{{2, 0}}));
  EXPECT_EQ(tags->value(0), 101u);
  EXPECT_EQ(curve->edges_around_vertex(2), (Ends{{0, 0}, {1, 1}}));

  const std::vector<std::vector<index_t>> invalid{{0, 1}, {0, 0, 1}, {0, 1, 3}};
  for (auto const& permutation : invalid) {
    EXPECT_THROW(builder->permute_vertices(permutation), UlvaneException);
  }
  EXPECT_EQ(xs(), (std::vector<double>{3.0, 0.0, 1.0}));
}

TEST_F(CurveTest, CloneIsDeepWithAttributes) {
  auto copy = curve->clone();
  EdgedCurveBuilder<2>::create(*copy)->set_point(0, Point<2>{{-1.0, 0.0}});
  EXPECT_EQ(curve->point(0), (Point<2>{{0.0, 0.0}}));
  EXPECT_EQ(copy->edges_around_vertex(1), curve->edges_around_vertex(1));
  auto copied_tags = copy->edge_attribute_manager().find_attribute<VariableAttribute<index_t>>("tag");
  EXPECT_NE(copied_tags, tags);
  EXPECT_EQ(copied_tags->value(1), 101u);
}

}  // namespace
}  // namespace tarnix
