#include <ulvane/mesh/solid_mesh.h>

#include <gtest/gtest.h>

#include <ulvane/basic/ulvane_exception.h>
#include <ulvane/mesh/solid_mesh_builder.h>

namespace tarnix {
namespace {

// Two tetrahedra sharing the facet (1, 2, 3): 9 edges and 7 facets.
std::unique_ptr<SolidMesh<3>> two_tetrahedra(bool enable_before) {
  auto solid = SolidMesh<3>::create();
  auto builder = SolidMeshBuilder<3>::create(*solid);
  const std::array<Point<3>, 5> points{{Point<3>{{0, 0, 0}}, Point<3>{{1, 0, 0}},
                                        Point<3>{{0, 1, 0}}, Point<3>{{0, 0, 1}},
                                        Point<3>{{1, 1, 1}}}};
  for (auto const& point : points) builder->create_point(point);
  SolidMesh<3> const& view = *solid;
  if (enable_before) {
    view.enable_edges();
    view.enable_facets();
  }
  EXPECT_EQ(builder->create_tetrahedron({0, 1, 2, 3}), 0u);
  EXPECT_EQ(builder->create_tetrahedron({1, 2, 3, 4}), 1u);
  return solid;
}

TEST(SolidMeshTest, DerivedElementsAreTheSameWhenEnabledBeforeOrAfter) {
  for (const bool before : {true, false}) {
    SCOPED_TRACE(before ? "enabled before" : "enabled after");
    auto solid = two_tetrahedra(before);
    SolidMesh<3> const& view = *solid;
    if (!before) {
      EXPECT_FALSE(view.are_edges_enabled());
      EXPECT_EQ(view.nb_edges(), 0u);
      view.enable_edges();
      view.enable_facets();
    }
    EXPECT_TRUE(view.are_edges_enabled());
    EXPECT_TRUE(view.are_facets_enabled());
    EXPECT_EQ(view.nb_edges(), 9u);
    EXPECT_EQ(view.nb_facets(), 7u);
    EXPECT_EQ(view.edge_vertices(8), (std::array<index_t, 2>{{3, 4}}));
    EXPECT_EQ(view.facet_vertices(0), (std::array<index_t, 3>{{1, 2, 3}}));
    EXPECT_EQ(view.facet_vertices(4), (std::array<index_t, 3>{{2, 3, 4}}));
  }
}

TEST(SolidMeshTest, RefusesBadTetrahedraAndClonesDeeply) {
  auto solid = two_tetrahedra(true);
  auto builder = SolidMeshBuilder<3>::create(*solid);
  EXPECT_THROW(builder->create_tetrahedron({0, 1, 1, 2}), UlvaneException);
  EXPECT_THROW(builder->create_tetrahedron({0, 1, 2, 5}), std::out_of_range);
  EXPECT_EQ(solid->nb_polyhedra(), 2u);
  EXPECT_EQ(solid->type_name(), "SolidMesh3D");

  auto copy = solid->clone();
  const index_t apex = SolidMeshBuilder<3>::create(*copy)->create_point(Point<3>{{2, 2, 2}});
  SolidMeshBuilder<3>::create(*copy)->create_tetrahedron({1, 2, 4, apex});
  EXPECT_EQ(copy->nb_edges(), 12u);
  EXPECT_EQ(solid->nb_edges(), 9u);
}

}  // namespace
}  // namespace tarnix
