#include <ulvane/mesh/point_set.h>

#include <gtest/gtest.h>

#include <common/variable_attribute.h>
#include <ulvane/basic/ulvane_exception.h>
#include <ulvane/mesh/point_set_builder.h>

namespace tarnix {
namespace {

TEST(PointSetTest, EditsKeepPointsAndAttributesTogether) {
  auto points = PointSet<3>::create();
  auto builder = PointSetBuilder<3>::create(*points);
  for (double x : {0.0, 1.0, 2.0, 3.0}) {
    EXPECT_EQ(builder->create_point(Point<3>{{x, 0.0, 0.0}}), static_cast<index_t>(x));
  }
  auto ids = points->vertex_attribute_manager().find_or_create_attribute<VariableAttribute, index_t>(
      "id", NO_ID, 0);
  for (index_t v = 0; v < 4; ++v) ids->set_value(v, v);

  EXPECT_EQ(builder->delete_vertices({false, true, false, false}),
            (std::vector<index_t>{0, NO_ID, 1, 2}));
  builder->permute_vertices(std::vector<index_t>{2, 0, 1});
  ASSERT_EQ(points->nb_vertices(), 3u);
  const std::vector<double> expected_x{3.0, 0.0, 2.0};
  for (index_t v = 0; v < 3; ++v) {
    EXPECT_EQ(points->point(v).value(0), expected_x[v]);
    EXPECT_EQ(ids->value(v), static_cast<index_t>(expected_x[v]));
  }
  EXPECT_THROW(builder->delete_vertices({true}), UlvaneException);
  EXPECT_THROW(builder->permute_vertices(std::vector<index_t>{0, 0, 1}), UlvaneException);
  EXPECT_THROW(points->point(3), std::out_of_range);
}

TEST(PointSetTest, NamesAndClone) {
  auto points = PointSet<2>::create();
  PointSetBuilder<2>::create(*points)->create_point(Point<2>{{1.0, 2.0}});
  EXPECT_EQ(points->type_name(), "PointSet2D");
  EXPECT_EQ(PointSet<3>::create()->type_name(), "PointSet3D");
  auto copy = points->clone();
  PointSetBuilder<2>::create(*copy)->set_point(0, Point<2>{{5.0, 5.0}});
  EXPECT_EQ(points->point(0), (Point<2>{{1.0, 2.0}}));
  EXPECT_EQ(copy->nb_vertices(), 1u);
}

}  // namespace
}  // namespace tarnix
