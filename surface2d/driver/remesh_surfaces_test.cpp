#include <tarnix/surface2d/remesh_surfaces.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include <absl/container/flat_hash_set.h>
#include <gtest/gtest.h>

#include <mesh/surface_validity.h>
#include <model/model_fixtures.h>
#include <model/model_validity.h>
#include <ulvane/mesh/triangulated_surface.h>
#include <ulvane/model/section_builder.h>
#include <vantrel/corner.h>
#include <vantrel/initialize_remeshing_data.h>
#include <vantrel/line2d.h>

namespace tarnix {
namespace {

double signed_area(TriangulatedSurface<2> const& mesh, index_t t) {
  auto const& a = mesh.point(mesh.polygon_vertex({t, 0}));
  auto const& b = mesh.point(mesh.polygon_vertex({t, 1}));
  auto const& c = mesh.point(mesh.polygon_vertex({t, 2}));
  return 0.5 * ((b.value(0) - a.value(0)) * (c.value(1) - a.value(1)) -
                (b.value(1) - a.value(1)) * (c.value(0) - a.value(0)));
}

double area(TriangulatedSurface<2> const& mesh) {
  double total = 0.0;
  for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
    if (mesh.is_polygon_active(t)) total += signed_area(mesh, t);
  }
  return total;
}

// 4 sinA sinB sinC / (sinA + sinB + sinC): 1 for an equilateral triangle.
double quality(TriangulatedSurface<2> const& mesh, index_t t) {
  std::array<double, 3> sines{};
  for (local_index_t v = 0; v < 3; ++v) {
    auto const& p = mesh.point(mesh.polygon_vertex({t, v}));
    auto const& q = mesh.point(mesh.polygon_vertex({t, static_cast<local_index_t>((v + 1) % 3)}));
    auto const& r = mesh.point(mesh.polygon_vertex({t, static_cast<local_index_t>((v + 2) % 3)}));
    Vector<2> const u{p, q};
    Vector<2> const w{p, r};
    sines[v] = 2.0 * signed_area(mesh, t) / (u.length() * w.length());
  }
  return 4.0 * sines[0] * sines[1] * sines[2] / (sines[0] + sines[1] + sines[2]);
}

struct PipelineFigures {
  index_t nb_triangles{0};
  double min_quality{std::numeric_limits<double>::infinity()};
  double mean_quality{0.0};
};

// Runs the host's steps and the surface remeshing on a Section, and checks
// what every output must satisfy.
PipelineFigures remesh_and_check(Section const& input, Metric<2> const& metric) {
  Section output;
  auto data = initialize_remeshing_data<SectionBuilder, SectionGeometricModifier, Section, 2>(
      input, output, metric);
  remesh_corners(data);
  remesh_lines(data);
  remesh_surfaces(data);

  PipelineFigures figures;
  EXPECT_TRUE(test::is_valid_model(output));
  for (auto const& input_surface : input.surfaces()) {
    auto const& surface =
        output.surface(data.input_to_output.at("Surface").in2out(input_surface.id()));
    auto const& mesh = dynamic_cast<TriangulatedSurface<2> const&>(surface.mesh());
    auto const& input_mesh = dynamic_cast<TriangulatedSurface<2> const&>(input_surface.mesh());
    test::expect_valid_surface(mesh);
    EXPECT_NEAR(area(mesh), area(input_mesh), 1e-9 * area(input_mesh)) << surface.id().string();

    // Every vertex is linked; those of lines and corners to theirs.
    absl::flat_hash_set<index_t> surface_uniques;
    for (index_t v = 0; v < mesh.nb_vertices(); ++v) {
      auto const unique = output.unique_vertex({surface.component_id(), v});
      EXPECT_NE(unique, NO_ID);
      surface_uniques.insert(unique);
    }
    // The surface conforms to its boundary lines: every line edge is a
    // surface edge.
    for (auto const& line : output.boundaries(surface)) {
      auto const& curve = line.mesh();
      for (index_t e = 0; e < curve.nb_edges(); ++e) {
        std::array<index_t, 2> ends{};
        for (local_index_t k = 0; k < 2; ++k) {
          auto const unique = output.unique_vertex({line.component_id(), curve.edge_vertex({e, k})});
          auto const vertices = output.component_mesh_vertices(unique, surface.id());
          EXPECT_EQ(vertices.size(), 1u) << line.id().string() << " edge " << e;
          ends[k] = vertices.empty() ? NO_ID : vertices.front();
        }
        if (ends[0] == NO_ID || ends[1] == NO_ID) continue;
        EXPECT_TRUE(mesh.polygon_edge_from_vertices(ends[0], ends[1]) ||
                    mesh.polygon_edge_from_vertices(ends[1], ends[0]))
            << line.id().string() << " edge " << e;
      }
    }
    for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
      double const q = quality(mesh, t);
      figures.min_quality = std::min(figures.min_quality, q);
      figures.mean_quality += q;
    }
    figures.nb_triangles += mesh.nb_polygons();
  }
  if (figures.nb_triangles > 0) figures.mean_quality /= figures.nb_triangles;
  return figures;
}

struct PipelineCase {
  char const* name;
  index_t grid;  // input lattice steps per unit
  double h;      // target length
};

class RemeshSurfacesTest : public ::testing::TestWithParam<PipelineCase> {};

TEST_P(RemeshSurfacesTest, TwoSurfacesSharingALineConformToIt) {
  auto const& c = GetParam();
  auto fixture = test::make_two_surface_section(c.grid);
  ConstantMetric<2> metric{c.h};
  auto const figures = remesh_and_check(fixture.section, metric);
  EXPECT_GT(figures.nb_triangles, 0u);
  std::printf("[ figures  ] %s: %u triangles, quality min %.3f mean %.3f\n", c.name,
              figures.nb_triangles, figures.min_quality, figures.mean_quality);
}

INSTANTIATE_TEST_SUITE_P(Cases, RemeshSurfacesTest,
                         ::testing::Values(PipelineCase{"CoarseInput", 2, 0.1},
                                           PipelineCase{"FineInput", 40, 0.1},
                                           PipelineCase{"Large", 20, 0.01}),
                         [](auto const& test_info) { return test_info.param.name; });

TEST(RemeshSurfaces, InternalLineAndCornerBecomeOutputVertices) {
  auto fixture = test::make_internal_line_section(4);
  ConstantMetric<2> metric{0.2};
  Section output;
  auto data = initialize_remeshing_data<SectionBuilder, SectionGeometricModifier, Section, 2>(
      fixture.section, output, metric);
  remesh_corners(data);
  remesh_lines(data);
  remesh_surfaces(data);
  auto const& surface = output.surface(data.input_to_output.at("Surface").in2out(fixture.surface));
  test::expect_valid_surface(dynamic_cast<TriangulatedSurface<2> const&>(surface.mesh()));
  auto const& corner =
      output.corner(data.input_to_output.at("Corner").in2out(fixture.internal_corner));
  auto const unique = output.unique_vertex({corner.component_id(), 0});
  EXPECT_EQ(output.component_mesh_vertices(unique, surface.id()).size(), 1u);
  auto const& line = output.line(data.input_to_output.at("Line").in2out(fixture.internal_line));
  for (index_t v = 0; v < line.mesh().nb_vertices(); ++v) {
    auto const u = output.unique_vertex({line.component_id(), v});
    EXPECT_EQ(output.component_mesh_vertices(u, surface.id()).size(), 1u) << v;
  }
}

TEST(RemeshSurfaces, MissingLineAttributeIsReported) {
  auto fixture = test::make_two_surface_section(2);
  ConstantMetric<2> metric{0.25};
  Section output;
  auto data = initialize_remeshing_data<SectionBuilder, SectionGeometricModifier, Section, 2>(
      fixture.section, output, metric);
  remesh_corners(data);
  EXPECT_THROW(
      {
        try {
          remesh_surface(data, fixture.left);
        } catch (UlvaneException const& e) {
          EXPECT_NE(std::string{e.what()}.find("[AttributeManager::find_attribute]"),
                    std::string::npos);
          throw;
        }
      },
      UlvaneException);
}

}  // namespace
}  // namespace tarnix
