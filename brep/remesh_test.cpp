#include <tarnix/brep.h>

#include <algorithm>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <ulvane/basic/ulvane_exception.h>
#include <ulvane/mesh/polygonal_surface.h>
#include <ulvane/mesh/polygonal_surface_builder.h>
#include <ulvane/mesh/solid_mesh.h>
#include <ulvane/mesh/triangulated_surface.h>
#include <ulvane/model/brep.h>
#include <ulvane/model/brep_builder.h>
#include <morvex/modifier_model.h>
#include <vantrel/initialize_remeshing_data.h>

#include "brep/brep_test_models.h"
#include "brep/surface_remeshing.h"
#include "common/surface_relaxer.h"
#include "model/model_fixtures.h"
#include "model/model_validity.h"

namespace tarnix {
namespace {

double smallest_quality(BRep const& brep) {
  double smallest = std::numeric_limits<double>::infinity();
  for (auto const& surface : brep.surfaces()) {
    auto const& mesh = dynamic_cast<TriangulatedSurface<3> const&>(surface.get_mesh());
    for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
      smallest = std::min(smallest, detail::triangle_quality(mesh.triangle(t)));
    }
  }
  return smallest;
}

index_t nb_triangles(BRep const& brep) {
  index_t count = 0;
  for (auto const& surface : brep.surfaces()) count += surface.get_mesh().nb_polygons();
  return count;
}

// What every remesh must give: a valid model, each input component mapped
// to one output component, output surfaces with "2d" and no working
// attribute of the relaxer, block meshes with edges and facets.
void expect_remeshed(BRep const& input, BRep const& output, ModelCopyMapping const& mapping) {
  EXPECT_TRUE(test::is_valid_model(output));
  EXPECT_EQ(mapping.size(), 4u);
  const auto expect_mapped = [&](char const* type, auto const& components, index_t nb_output,
                                 auto const& has_output) {
    SCOPED_TRACE(type);
    auto const& ids = mapping.at(type);
    index_t count = 0;
    for (auto const& component : components) {
      EXPECT_TRUE(has_output(ids.in2out(component.id())));
      ++count;
    }
    EXPECT_EQ(ids.size(), count);
    EXPECT_EQ(nb_output, count);
  };
  expect_mapped("Corner", input.corners(), output.nb_corners(),
                [&](uuid const& id) { return output.has_corner(id); });
  expect_mapped("Line", input.lines(), output.nb_lines(),
                [&](uuid const& id) { return output.has_line(id); });
  expect_mapped("Surface", input.surfaces(), output.nb_surfaces(),
                [&](uuid const& id) { return output.has_surface(id); });
  expect_mapped("Block", input.blocks(), output.nb_blocks(),
                [&](uuid const& id) { return output.has_block(id); });
  for (auto const& surface : output.surfaces()) {
    auto const& vertices = surface.get_mesh().vertex_attribute_manager();
    auto const& polygons = surface.get_mesh().polygon_attribute_manager();
    EXPECT_TRUE(vertices.attribute_exists("2d"));
    for (char const* name : {"stamp", "fixed"}) EXPECT_FALSE(vertices.attribute_exists(name));
    for (char const* name : {"stamp", "quality"}) EXPECT_FALSE(polygons.attribute_exists(name));
  }
  for (auto const& block : output.blocks()) {
    EXPECT_TRUE(block.get_mesh().are_edges_enabled());
    EXPECT_TRUE(block.get_mesh().are_facets_enabled());
  }
  // The input is left alone.
  for (auto const& surface : input.surfaces()) {
    EXPECT_FALSE(surface.get_mesh().vertex_attribute_manager().attribute_exists("2d"));
  }
}

TEST(Remesh, ModelsComeOutValidAndComplete) {
  struct Case {
    char const* name;
    std::function<BRep()> make;
  } const cases[] = {
      {"cube", [] { return std::move(test::make_cube_brep(2).brep); }},
      {"two blocks sharing a surface", [] { return std::move(test::make_box_row_brep(2, 2).brep); }},
      {"jittered cube", [] {
         auto cube = test::make_box_row_brep(1, 4);
         test::jitter_surface_interiors(cube.brep, 0.08, 5);
         return std::move(cube.brep);
       }},
      {"no component", [] { return BRep{}; }},
  };
  for (auto const& test_case : cases) {
    SCOPED_TRACE(test_case.name);
    const BRep input = test_case.make();
    ASSERT_TRUE(test::is_valid_model(input));
    const ConstantMetric<3> metric{0.5};
    auto result = remesh(input, metric);
    expect_remeshed(input, std::get<0>(result), std::get<1>(result));
    EXPECT_EQ(nb_triangles(std::get<0>(result)), nb_triangles(input));
    EXPECT_GE(smallest_quality(std::get<0>(result)), smallest_quality(input));
  }
}

TEST(Remesh, SharedSurfaceBoundsBothOutputBlocks) {
  const auto row = test::make_box_row_brep(2, 2);
  const ConstantMetric<3> metric{0.5};
  const auto [output, mapping] = remesh(row.brep, metric);
  auto const& shared = mapping.at("Surface").in2out(row.shared_surfaces.at(0));
  index_t nb_bounded = 0;
  for (auto const& input_block : row.blocks) {
    auto const& block = output.block(mapping.at("Block").in2out(input_block));
    index_t nb_boundaries = 0;
    for (auto const& surface : output.boundaries(block)) {
      nb_bounded += surface.id() == shared ? 1 : 0;
      ++nb_boundaries;
    }
    EXPECT_EQ(nb_boundaries, 6u);
  }
  EXPECT_EQ(nb_bounded, 2u);
}

TEST(Remesh, RefusesAnUntriangulatedSurfaceBeforeAnyStep) {
  auto cube = test::make_cube_brep(1);
  {
    // The last surface becomes a single quadrangle.
    auto quad = PolygonalSurface<3>::create();
    auto builder = PolygonalSurfaceBuilder<3>::create(*quad);
    for (auto const& p : {Point<3>{{0, 0, 1}}, Point<3>{{1, 0, 1}}, Point<3>{{1, 1, 1}},
                          Point<3>{{0, 1, 1}}}) {
      builder->create_point(p);
    }
    const index_t vertices[] = {0, 1, 2, 3};
    builder->create_polygon(vertices);
    BRepBuilder{cube.brep}.set_surface_mesh(cube.surfaces.back(), std::move(quad));
  }
  const ConstantMetric<3> metric{0.5};
  const std::string message = "[surface_remeshing] All surfaces should be TriangulatedSurfaces";
  try {
    remesh(cube.brep, metric);
    ADD_FAILURE() << "remesh accepted a polygonal surface";
  } catch (UlvaneException const& error) {
    EXPECT_EQ(error.what(), message);
  }
  // No sibling step ran: the output corners, lines and surfaces are empty.
  BRep output;
  auto data = initialize_remeshing_data<BRepBuilder, BRepGeometricModifier, BRep, 3>(
      cube.brep, output, metric);
  try {
    detail::surface_remeshing(data);
    ADD_FAILURE() << "surface_remeshing accepted a polygonal surface";
  } catch (UlvaneException const& error) {
    EXPECT_EQ(error.what(), message);
  }
  for (auto const& corner : output.corners()) EXPECT_EQ(corner.mesh().nb_vertices(), 0u);
  for (auto const& line : output.lines()) EXPECT_EQ(line.mesh().nb_vertices(), 0u);
  for (auto const& surface : output.surfaces()) EXPECT_EQ(surface.mesh().nb_vertices(), 0u);
}

TEST(Remesh, MeshMeshesBlocksInPlaceWithoutEnablingEdges) {
  auto row = test::make_box_row_brep(2, 1);
  const ConstantMetric<3> metric{0.5};
  std::vector<SolidMesh<3> const*> before;
  for (auto const& block : row.brep.blocks()) before.push_back(&block.get_mesh());
  mesh(row.brep, metric);
  index_t k = 0;
  for (auto const& block : row.brep.blocks()) {
    EXPECT_NE(&block.get_mesh(), before[k++]) << "the block mesh was not replaced";
    EXPECT_FALSE(block.get_mesh().are_edges_enabled());
    EXPECT_FALSE(block.get_mesh().are_facets_enabled());
  }
  EXPECT_TRUE(test::is_valid_model(row.brep));
}

TEST(Remesh, RefinedJitteredCube) {
  // 6 x 2 x 64^2 = 49152 triangles, their inner vertices moved in plane so
  // that many diagonals are worth swapping.
  auto cube = test::make_box_row_brep(1, 64);
  test::jitter_surface_interiors(cube.brep, 0.3 / 64, 17);
  ASSERT_TRUE(test::is_valid_model(cube.brep));
  const ConstantMetric<3> metric{1.0 / 64};
  const auto [output, mapping] = remesh(cube.brep, metric);
  expect_remeshed(cube.brep, output, mapping);
  EXPECT_EQ(nb_triangles(output), 49152u);
  EXPECT_GE(smallest_quality(output), smallest_quality(cube.brep));
  // Some swaps were made: not every input edge is still there.
  index_t nb_kept = 0;
  index_t nb_edges = 0;
  for (auto const& input_surface : cube.brep.surfaces()) {
    auto const& input_mesh = input_surface.get_mesh();
    auto const& output_mesh = output.surface(mapping.at("Surface").in2out(input_surface.id()))
                                  .get_mesh();
    for (index_t t = 0; t < input_mesh.nb_polygons(); ++t) {
      for (local_index_t e = 0; e < 3; ++e) {
        ++nb_edges;
        nb_kept += output_mesh.polygons_from_edge_vertices(
                                  input_mesh.polygon_edge_vertices({t, e}))
                           .empty()
                       ? 0
                       : 1;
      }
    }
  }
  EXPECT_LT(nb_kept, nb_edges);
}

}  // namespace
}  // namespace tarnix
