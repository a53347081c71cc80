#include <gtest/gtest.h>

#include <ulvane/mesh/point_set_builder.h>
#include <ulvane/mesh/solid_mesh.h>
#include <ulvane/mesh/solid_mesh_builder.h>
#include <ulvane/model/brep.h>
#include <ulvane/model/brep_builder.h>
#include <vantrel/corner.h>
#include <vantrel/initialize_remeshing_data.h>
#include <vantrel/line3d.h>
#include <vantrel/solid.h>
#include <vantrel/surface3d.h>

#include "model/model_fixtures.h"
#include "model/model_validity.h"

namespace tarnix {
namespace {

RemeshingData<BRep, 3> make_record(BRep const& input, BRep& output, Metric<3> const& metric) {
  return initialize_remeshing_data<BRepBuilder, BRepGeometricModifier, BRep, 3>(input, output,
                                                                              metric);
}

void copy_all(RemeshingData<BRep, 3>& data) {
  remesh_corners(data);
  remesh_lines(data);
  remesh_surfaces(data);
}

TEST(BRepHost, OutputTopologyMirrorsTheInput) {
  const auto cube = test::make_cube_brep(2);
  const ConstantMetric<3> metric{0.5};
  BRep output;
  const auto data = make_record(cube.brep, output, metric);
  EXPECT_EQ(&data.input, &cube.brep);
  EXPECT_EQ(&data.output, &output);
  ASSERT_EQ(output.nb_corners(), 8u);
  ASSERT_EQ(output.nb_lines(), 12u);
  ASSERT_EQ(output.nb_surfaces(), 6u);
  ASSERT_EQ(output.nb_blocks(), 1u);
  auto const& blocks = data.input_to_output.at("Block");
  auto const& surfaces = data.input_to_output.at("Surface");
  auto const& lines = data.input_to_output.at("Line");
  auto const& corners = data.input_to_output.at("Corner");
  index_t nb_boundaries = 0;
  for (auto const& surface : cube.brep.boundaries(cube.brep.block(cube.block))) {
    const auto& out_block = output.block(blocks.in2out(cube.block));
    bool found = false;
    for (auto const& bounding : output.boundaries(out_block)) {
      found = found || bounding.id() == surfaces.in2out(surface.id());
    }
    EXPECT_TRUE(found);
    ++nb_boundaries;
  }
  EXPECT_EQ(nb_boundaries, 6u);
  for (auto const& line : cube.brep.lines()) {
    for (auto const& corner : cube.brep.boundaries(line)) {
      bool found = false;
      for (auto const& out : output.boundaries(output.line(lines.in2out(line.id())))) {
        found = found || out.id() == corners.in2out(corner.id());
      }
      EXPECT_TRUE(found);
    }
  }
  // Meshes stay empty until the steps copy them.
  for (auto const& surface : output.surfaces()) EXPECT_EQ(surface.mesh().nb_vertices(), 0u);
}

TEST(BRepHost, CopiesShareUniqueVerticesAlongLinesAndCorners) {
  const auto cube = test::make_cube_brep(3);
  const ConstantMetric<3> metric{0.5};
  BRep output;
  auto data = make_record(cube.brep, output, metric);
  copy_all(data);
  EXPECT_TRUE(test::is_valid_model(output));
  // The cube's vertices are all linked, so the copies have exactly as many
  // unique vertices as the input, each at its input position.
  EXPECT_EQ(output.nb_unique_vertices(), cube.brep.nb_unique_vertices());
  auto const& surfaces = data.input_to_output.at("Surface");
  for (auto const& input_surface : cube.brep.surfaces()) {
    auto const& copy = output.surface(surfaces.in2out(input_surface.id()));
    ASSERT_EQ(copy.mesh().nb_vertices(), input_surface.mesh().nb_vertices());
    ASSERT_EQ(copy.mesh().nb_polygons(), input_surface.mesh().nb_polygons());
    EXPECT_EQ(copy.mesh().type_name(), "TriangulatedSurface3D");
    for (index_t v = 0; v < copy.mesh().nb_vertices(); ++v) {
      EXPECT_EQ(copy.mesh().point(v), input_surface.mesh().point(v));
      const index_t u = output.unique_vertex({copy.component_id(), v});
      ASSERT_NE(u, NO_ID);
      // A vertex on an input line or corner shares its unique vertex with
      // the copied line or corner.
      const index_t input_u = cube.brep.unique_vertex({input_surface.component_id(), v});
      EXPECT_EQ(output.has_component_mesh_vertices(u, "Line"),
                cube.brep.has_component_mesh_vertices(input_u, "Line"));
      EXPECT_EQ(output.has_component_mesh_vertices(u, "Corner"),
                cube.brep.has_component_mesh_vertices(input_u, "Corner"));
      EXPECT_EQ(output.component_mesh_vertices(u, "Surface").size(),
                cube.brep.component_mesh_vertices(input_u, "Surface").size());
    }
  }
}

TEST(BRepHost, UnlinkedInputVerticesGetTheirOwnUniqueVertex) {
  BRep input;
  BRepBuilder builder{input};
  auto const& corner = builder.add_corner();
  {
    auto& mesh = builder.modifiable_corner(corner).get_modifiable_mesh();
    PointSetBuilder<3>::create(mesh)->create_point(Point<3>{{1.0, 2.0, 3.0}});
  }
  const ConstantMetric<3> metric{1.0};
  BRep output;
  auto data = make_record(input, output, metric);
  copy_all(data);
  auto const& copy = output.corner(data.input_to_output.at("Corner").in2out(corner));
  const index_t u = output.unique_vertex({copy.component_id(), 0});
  EXPECT_NE(u, NO_ID);
  EXPECT_EQ(output.component_mesh_vertices(u).size(), 1u);
}

TEST(BRepHost, CornerWithoutVertexIsRefused) {
  BRep input;
  BRepBuilder{input}.add_corner();
  const ConstantMetric<3> metric{1.0};
  BRep output;
  auto data = make_record(input, output, metric);
  try {
    remesh_corners(data);
    FAIL() << "no exception";
  } catch (UlvaneException const& error) {
    EXPECT_NE(std::string{error.what()}.find("[remesh_corners]"), std::string::npos);
  }
}

TEST(BRepHost, MeshBlocksWorksOnARecordOfOneModel) {
  auto cube = test::make_cube_brep(1);
  {
    // A block mesh with content, which mesh_blocks replaces.
    auto mesh = SolidMesh<3>::create();
    auto solid = SolidMeshBuilder<3>::create(*mesh);
    solid->create_point(Point<3>{{0.0, 0.0, 0.0}});
    solid->create_point(Point<3>{{1.0, 0.0, 0.0}});
    solid->create_point(Point<3>{{0.0, 1.0, 0.0}});
    solid->create_point(Point<3>{{0.0, 0.0, 1.0}});
    solid->create_tetrahedron({0, 1, 2, 3});
    BRepBuilder{cube.brep}.set_block_mesh(cube.block, std::move(mesh));
  }
  const ConstantMetric<3> metric{1.0};
  RemeshingData<BRep, 3> data{cube.brep, std::make_unique<BRep>(), {}, cube.brep, {}, metric};
  mesh_blocks(data);
  auto const& block_mesh = cube.brep.block(cube.block).mesh();
  EXPECT_EQ(block_mesh.nb_polyhedra(), 0u);
  EXPECT_FALSE(block_mesh.are_edges_enabled());
  EXPECT_FALSE(block_mesh.are_facets_enabled());
  // The relaxations leave the model as it is.
  relax_lines(cube.brep, metric);
  relax_surfaces(cube.brep, metric);
  EXPECT_TRUE(test::is_valid_model(cube.brep));
}

}  // namespace
}  // namespace tarnix
