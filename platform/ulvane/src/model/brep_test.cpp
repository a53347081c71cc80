#include <ulvane/model/brep.h>

#include <gtest/gtest.h>

#include <ulvane/model/brep_builder.h>

#include "model/model_fixtures.h"
#include "model/model_validity.h"

namespace tarnix {
namespace {

TEST(BRepTest, CubeIsAClosedValidModel) {
  for (const index_t n : {1u, 3u}) {
    SCOPED_TRACE(n);
    const auto fixture = test::make_cube_brep(n);
    auto const& brep = fixture.brep;
    EXPECT_TRUE(test::is_valid_model(brep));
    EXPECT_EQ(brep.nb_corners(), 8u);
    EXPECT_EQ(brep.nb_lines(), 12u);
    EXPECT_EQ(brep.nb_surfaces(), 6u);
    EXPECT_EQ(brep.nb_blocks(), 1u);
    // The vertices of the cube's surface grid, shared once each.
    EXPECT_EQ(brep.nb_unique_vertices(), 6 * n * n + 2);
    auto const& block = brep.block(fixture.block);
    EXPECT_EQ(brep.boundaries(block).size(), 6u);
    for (auto const& line : brep.lines()) {
      EXPECT_EQ(brep.boundaries(line).size(), 2u);
      EXPECT_EQ(brep.incidences(line).size(), 2u);
    }
    for (auto const& corner : brep.corners()) EXPECT_EQ(brep.incidences(corner).size(), 3u);
    const Point<3> center{{0.5, 0.5, 0.5}};
    for (auto const& surface : brep.surfaces()) {
      EXPECT_EQ(brep.boundaries(surface).size(), 4u);
      EXPECT_EQ(brep.incidences(surface).begin()->id(), fixture.block);
      auto const& mesh = surface.mesh();
      EXPECT_EQ(mesh.nb_polygons(), 2 * n * n);
      for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
        const Vector<3> outward{center, mesh.polygon_barycenter(t)};
        EXPECT_GT(mesh.polygon_normal(t).dot(outward), 0.0) << "triangle " << t;
      }
    }
  }
}

TEST(BRepTest, BlockMeshesEnableThroughTheModelAndCopiesKeepBlocks) {
  auto fixture = test::make_cube_brep(1);
  auto const& block_mesh = fixture.brep.block(fixture.block).mesh();
  block_mesh.enable_edges();
  block_mesh.enable_facets();
  EXPECT_TRUE(block_mesh.are_edges_enabled());
  EXPECT_TRUE(block_mesh.are_facets_enabled());

  BRep copy;
  const auto mapping = BRepBuilder{copy}.copy(fixture.brep);
  EXPECT_TRUE(test::is_valid_model(copy));
  const uuid& block = mapping.at("Block").in2out(fixture.block);
  EXPECT_TRUE(copy.block(block).mesh().are_edges_enabled());
  EXPECT_EQ(copy.boundaries(copy.block(block)).size(), 6u);
  EXPECT_EQ(copy.nb_unique_vertices(), fixture.brep.nb_unique_vertices());
  for (auto const& surface : copy.boundaries(copy.block(block))) {
    EXPECT_TRUE(mapping.at("Surface").has_mapping_output(surface.id()));
  }
}

}  // namespace
}  // namespace tarnix
