#include <cmath>
#include <deque>
#include <utility>

#include <gtest/gtest.h>

#include <common/variable_attribute.h>
#include <model/model_fixtures.h>
#include <ulvane/basic/ulvane_exception.h>
#include <ulvane/mesh/edged_curve_builder.h>
#include <ulvane/mesh/point_set_builder.h>
#include <ulvane/mesh/triangulated_surface.h>
#include <ulvane/model/section_builder.h>
#include <vantrel/corner.h>
#include <vantrel/initialize_remeshing_data.h>
#include <vantrel/line2d.h>

namespace tarnix {
namespace {

using LinePoints = std::deque<std::pair<Point<2>, unsigned int>>;

RemeshingData<Section, 2> prepare(Section const& input, Section& output,
                                  Metric<2> const& metric) {
  return initialize_remeshing_data<SectionBuilder, SectionGeometricModifier, Section, 2>(
      input, output, metric);
}

double cross(Point<2> const& a, Point<2> const& b, Point<2> const& c) {
  return (b.value(0) - a.value(0)) * (c.value(1) - a.value(1)) -
         (b.value(1) - a.value(1)) * (c.value(0) - a.value(0));
}

TEST(InitializeRemeshingData, CopiesTheTopologyWithEmptyMeshes) {
  auto fixture = test::make_internal_line_section(2);
  Section output;
  ConstantMetric<2> metric{0.5};
  auto data = prepare(fixture.section, output, metric);

  EXPECT_EQ(output.nb_corners(), fixture.section.nb_corners());
  EXPECT_EQ(output.nb_lines(), fixture.section.nb_lines());
  EXPECT_EQ(output.nb_surfaces(), 1u);
  for (char const* type : {"Corner", "Line", "Surface"}) {
    EXPECT_EQ(data.input_to_output.at(type).size(), data.input_to_working.at(type).size());
  }
  auto const& out_surface = output.surface(data.input_to_output.at("Surface").in2out(fixture.surface));
  EXPECT_EQ(out_surface.mesh().nb_vertices(), 0u);
  EXPECT_NE(dynamic_cast<TriangulatedSurface<2> const*>(&out_surface.mesh()), nullptr);
  index_t nb_internal = 0;
  for (auto const& line : output.internal_lines(out_surface)) {
    EXPECT_EQ(data.input_to_output.at("Line").out2in(line.id()), fixture.internal_line);
    ++nb_internal;
  }
  EXPECT_EQ(nb_internal, 1u);
  index_t nb_boundaries = 0;
  for (auto const& line : output.boundaries(out_surface)) {
    (void)line;
    ++nb_boundaries;
  }
  EXPECT_EQ(nb_boundaries, 4u);

  // The working copy is a deep copy with its own ids.
  auto const& working_surface =
      data.working->surface(data.input_to_working.at("Surface").in2out(fixture.surface));
  EXPECT_NE(working_surface.id(), fixture.surface);
  EXPECT_EQ(working_surface.mesh().nb_polygons(),
            fixture.section.surface(fixture.surface).mesh().nb_polygons());
}

class SectionHostTest : public ::testing::TestWithParam<double> {};

// After the corner and line steps every output line is a chain at about the
// target spacing, its ends share the output corners' unique vertices, and
// the working lines tell where each output vertex lies.
TEST_P(SectionHostTest, RemeshesLinesToTheMetricAndRecordsWhereTheirVerticesLie) {
  double const h = GetParam();
  auto fixture = test::make_two_surface_section(3);
  Section output;
  ConstantMetric<2> metric{h};
  auto data = prepare(fixture.section, output, metric);
  remesh_corners(data);
  remesh_lines(data);

  for (auto const& corner : output.corners()) {
    ASSERT_EQ(corner.mesh().nb_vertices(), 1u);
    EXPECT_NE(output.unique_vertex({corner.component_id(), 0}), NO_ID);
  }
  for (auto const& input_line : fixture.section.lines()) {
    auto const& out_line = output.line(data.input_to_output.at("Line").in2out(input_line.id()));
    auto const& working_line =
        data.working->line(data.input_to_working.at("Line").in2out(input_line.id()));
    auto const& curve = out_line.mesh();
    // Every side of the fixture has length 1.
    auto const expected = static_cast<index_t>(std::max(1.0, std::round(1.0 / h)));
    ASSERT_EQ(curve.nb_edges(), expected);
    ASSERT_EQ(curve.nb_vertices(), expected + 1);

    // The ends are the corners' vertices.
    for (index_t end : {index_t{0}, expected}) {
      auto const unique = output.unique_vertex({out_line.component_id(), end});
      EXPECT_FALSE(output.component_mesh_vertices(unique, ComponentType{"Corner"}).empty());
    }
    for (index_t v = 1; v < expected; ++v) {
      auto const unique = output.unique_vertex({out_line.component_id(), v});
      ASSERT_NE(unique, NO_ID);
      EXPECT_TRUE(output.component_mesh_vertices(unique, ComponentType{"Corner"}).empty());
    }

    auto attribute =
        working_line.mesh().edge_attribute_manager().find_attribute<ReadOnlyAttribute<LinePoints>>(
            "remeshed_line_attribute");
    std::vector<index_t> seen(curve.nb_vertices(), 0);
    for (index_t e = 0; e < working_line.mesh().nb_edges(); ++e) {
      auto const& ends = working_line.mesh().edge_vertices(e);
      auto const& p0 = working_line.mesh().point(ends[0]);
      auto const& p1 = working_line.mesh().point(ends[1]);
      double previous = -1.0;
      for (auto const& entry : attribute->value(e)) {
        EXPECT_EQ(curve.point(entry.second), entry.first);
        EXPECT_NEAR(cross(p0, p1, entry.first), 0.0, 1e-12);
        Vector<2> const along{p0, p1};
        double const t = Vector<2>{p0, entry.first}.dot(along) / along.length2();
        EXPECT_GE(t, -1e-12);
        EXPECT_LE(t, 1.0 + 1e-12);
        EXPECT_GT(t, previous) << "points go from the edge's vertex 0 to its vertex 1";
        previous = t;
        ++seen[entry.second];
      }
    }
    for (index_t v = 0; v < curve.nb_vertices(); ++v) EXPECT_GE(seen[v], 1u) << v;
  }
}

INSTANTIATE_TEST_SUITE_P(Spacings, SectionHostTest, ::testing::Values(0.25, 0.1, 1.0 / 3.0, 0.7, 5.0));

// A section with one closed line and nothing else.
struct ClosedLine {
  Section section;
  uuid line;
};

ClosedLine make_closed_line(index_t nb_vertices, bool branch) {
  ClosedLine result;
  SectionBuilder builder{result.section};
  result.line = builder.add_line();
  auto& mesh = builder.modifiable_line(result.line).get_modifiable_mesh();
  auto curve = EdgedCurveBuilder<2>::create(mesh);
  for (index_t v = 0; v < nb_vertices; ++v) {
    double const angle = 2.0 * M_PI * v / nb_vertices;
    curve->create_point(Point<2>{{std::cos(angle), std::sin(angle)}});
  }
  // Edges in a scrambled direction, to exercise the chain ordering.
  for (index_t v = 0; v < nb_vertices; ++v) {
    auto const next = (v + 1) % nb_vertices;
    if (v % 2 == 0) {
      curve->create_edge(v, next);
    } else {
      curve->create_edge(next, v);
    }
  }
  if (branch) curve->create_edge(0, nb_vertices / 2);
  for (index_t v = 0; v < nb_vertices; ++v) {
    builder.set_unique_vertex({{"Line", result.line}, v}, builder.create_unique_vertex());
  }
  return result;
}

TEST(RemeshLines, ClosedLineBecomesAClosedChain) {
  auto fixture = make_closed_line(40, false);
  Section output;
  ConstantMetric<2> metric{0.5};
  auto data = prepare(fixture.section, output, metric);
  remesh_corners(data);
  remesh_lines(data);
  auto const& curve = output.line(data.input_to_output.at("Line").in2out(fixture.line)).mesh();
  EXPECT_EQ(curve.nb_vertices(), curve.nb_edges());
  EXPECT_GE(curve.nb_edges(), 12u);
  for (index_t v = 0; v < curve.nb_vertices(); ++v) {
    EXPECT_EQ(curve.edges_around_vertex(v).size(), 2u);
  }
}

TEST(RemeshLines, RefusesBranchesAndBadMetrics) {
  struct NegativeMetric : Metric<2> {
    double edge_length(Point<2> const&) const override { return -1.0; }
  };
  {
    auto fixture = make_closed_line(8, true);
    Section output;
    ConstantMetric<2> metric{0.5};
    auto data = prepare(fixture.section, output, metric);
    EXPECT_THROW(remesh_lines(data), UlvaneException);
  }
  {
    auto fixture = make_closed_line(8, false);
    Section output;
    NegativeMetric metric;
    auto data = prepare(fixture.section, output, metric);
    EXPECT_THROW(remesh_lines(data), UlvaneException);
  }
}

}  // namespace
}  // namespace tarnix
