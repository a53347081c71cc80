#include "brep/post_process_surfaces.h"

#include <array>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <ulvane/basic/progress_logger.h>
#include <ulvane/mesh/triangulated_surface.h>
#include <ulvane/model/brep.h>
#include <ulvane/model/brep_builder.h>

#include "brep/brep_test_models.h"
#include "model/model_validity.h"

namespace tarnix {
namespace {

using Triangles = std::vector<std::array<index_t, 3>>;
using Relaxer = detail::SurfaceRelaxer<BRep, BRepGeometricModifier, 3>;

Point<3> point(double x, double y, double z) { return Point<3>{{x, y, z}}; }

TriangulatedSurface<3> const& mesh_of(BRep const& brep, uuid const& surface) {
  return dynamic_cast<TriangulatedSurface<3> const&>(brep.surface(surface).get_mesh());
}

// The swap of edge 0 of triangle 0, P->Q in T = (P, Q, R), with T' across.
detail::SwapCandidate<3> candidate_of_first_edge(TriangulatedSurface<3> const& mesh) {
  const PolygonEdge edge{0, 0};
  return {Relaxer::triangle_edge_context(mesh, edge),
          Relaxer::triangle_edge_context(mesh, mesh.polygon_adjacent_edge(edge).value()), 0.0,
          0.0};
}

// A roof with its crest P-Q along x, sloping down by d on both sides:
//
//   A --- R --- B     y = 1,  z = -d
//    \   / \   /   .
//     \ / T \ /    .
//      P --- Q        y = 0,  z = 0
//     / \ T'/ \    .
//    /   \ /   \   .
//   A'--- S --- B'    y = -1, z = -d
//
// The mean normals at P and Q, without T and T', point up; swapping P-Q
// into R-S turns the new triangles away from them by more as d grows.
struct SurfaceModel {
  BRep brep;
  uuid id;
};

SurfaceModel make_surface(std::vector<Point<3>> const& points, Triangles const& triangles) {
  SurfaceModel result;
  result.id = test::add_triangulated_surface(result.brep, points, triangles);
  return result;
}

SurfaceModel make_roof(double d) {
  return make_surface({point(0, 0, 0), point(1, 0, 0), point(0.5, 1, -d), point(0.5, -1, -d),
                       point(-0.5, 1, -d), point(-0.5, -1, -d), point(1.5, 1, -d),
                       point(1.5, -1, -d)},
                      {{0, 1, 2}, {1, 0, 3}, {0, 2, 4}, {0, 5, 3}, {1, 6, 2}, {1, 3, 7}});
}

// T = (P, Q, R) and T' = (Q, P, S) lifted by h at R and S, and at P two
// more triangles whose normals cancel exactly: the mean normal at P fails.
SurfaceModel make_cancelling_fan(double h) {
  return make_surface(
      {point(0, 0, 0), point(1, 0, 0), point(0.5, 1, h), point(0.5, -1, h), point(0, -1, 0)},
      {{0, 1, 2}, {1, 0, 3}, {0, 2, 4}, {0, 4, 3}});
}

TEST(BRepSurfaceRelaxer, NormalTestThresholds) {
  struct Case {
    char const* name;
    SurfaceModel surface;
    bool accepted;
  };
  Case cases[] = {
      // dot(nT, nT') = (1 - h^2) / (1 + h^2).
      {"nearly coplanar pair (dot 0.908) accepted before the mean normals",
       make_cancelling_fan(0.22), true},
      {"dot 0.891 reaches the cancelling mean normal and is refused", make_cancelling_fan(0.24),
       false},
      // before - after = 1/sqrt(1 + d^2) - 1/sqrt(1 + 4 d^2).
      {"roof losing 0.095 of agreement", make_roof(0.29), true},
      {"roof losing 0.105 of agreement", make_roof(0.31), false},
      {"steep roof", make_roof(0.6), false},
      {"two triangles: no other normal at P", make_surface({point(0, 0, 0), point(1, 0, 0),
                                                           point(0.5, 1, -0.6),
                                                           point(0.5, -1, -0.6)},
                                                          {{0, 1, 2}, {1, 0, 3}}),
       true},
      {"T without a normal", make_surface({point(0, 0, 0), point(1, 0, 0), point(0.5, 0, 0),
                                           point(0.5, -1, 1), point(-1, -1, -1)},
                                          {{0, 1, 2}, {1, 0, 3}, {0, 4, 3}}),
       true},
  };
  for (auto& test_case : cases) {
    SCOPED_TRACE(test_case.name);
    auto& brep = test_case.surface.brep;
    detail::BRepSurfaceRelaxer relaxer{brep, brep.surface(test_case.surface.id)};
    const auto candidate = candidate_of_first_edge(mesh_of(brep, test_case.surface.id));
    EXPECT_EQ(relaxer.is_swap_normal_valid(candidate), test_case.accepted);
    EXPECT_EQ(relaxer.is_swap_acceptable(candidate), test_case.accepted);
  }
}

TEST(BRepSurfaceRelaxer, AveragedNormals) {
  {
    auto roof = make_roof(0.5);
    detail::BRepSurfaceRelaxer relaxer{roof.brep, roof.brep.surface(roof.id)};
    const auto at_p = relaxer.average_vertex_normal(0, 0, 1);
    EXPECT_TRUE(at_p.valid);
    EXPECT_EQ(at_p.nb_normals, 2u);
    EXPECT_EQ(at_p.normal, (Vector<3>{{0, 0, 1}}));
    EXPECT_EQ(relaxer.average_vertex_normal(0, NO_ID, NO_ID).nb_normals, 4u);
  }
  {
    auto fan = make_cancelling_fan(0.3);
    detail::BRepSurfaceRelaxer relaxer{fan.brep, fan.brep.surface(fan.id)};
    const auto at_p = relaxer.average_vertex_normal(0, 0, 1);
    EXPECT_FALSE(at_p.valid);
    EXPECT_EQ(at_p.nb_normals, 0u);
    EXPECT_EQ(at_p.normal, Vector<3>{});
    // Q has no triangle besides T and T'.
    const auto at_q = relaxer.average_vertex_normal(1, 0, 1);
    EXPECT_TRUE(at_q.valid);
    EXPECT_EQ(at_q.nb_normals, 0u);
    EXPECT_EQ(at_q.normal, Vector<3>{});
  }
}

// A flat rhombus whose long diagonal P-Q the swap pass replaces by R-S:
//
//        R
//      / T \   .
//     P --- Q
//      \ T'/
//        S
//
// and, in some cases, a second surface on R, S and a point above.
TEST(BRepSurfaceRelaxer, SwapRefusedWhenAnotherSurfaceHasTheEdge) {
  struct Case {
    char const* name;
    bool has_other;
    bool shares_s;
    bool swapped;
  } const cases[] = {
      {"no other surface", false, false, true},
      {"other surface on the unique vertices of R and S", true, true, false},
      {"other surface sharing only R", true, false, true},
  };
  for (auto const& test_case : cases) {
    SCOPED_TRACE(test_case.name);
    BRep brep;
    const uuid rhombus = test::add_triangulated_surface(
        brep, {point(0, 0, 0), point(4, 0, 0), point(2, 1, 0), point(2, -1, 0)},
        {{0, 1, 2}, {1, 0, 3}});
    const ComponentID rhombus_id{"Surface", rhombus};
    if (test_case.has_other) {
      const std::vector<index_t> shared{brep.unique_vertex({rhombus_id, 2}),
                                        test_case.shares_s ? brep.unique_vertex({rhombus_id, 3})
                                                           : NO_ID,
                                        NO_ID};
      test::add_triangulated_surface(brep, {point(2, 1, 0), point(2, -1, 0), point(2, 0, 1)},
                                     {{0, 1, 2}}, shared);
    }
    {
      detail::BRepSurfaceRelaxer relaxer{brep, brep.surface(rhombus)};
      const auto candidate = candidate_of_first_edge(mesh_of(brep, rhombus));
      EXPECT_TRUE(relaxer.is_swap_normal_valid(candidate));
      EXPECT_EQ(relaxer.is_swap_edge_unique(candidate), test_case.swapped);
    }
    const ConstantMetric<3> metric{1.0};
    RemeshingData<BRep, 3> data{brep, std::make_unique<BRep>(), {}, brep, {}, metric};
    detail::post_process_surfaces(data);
    auto const& mesh = mesh_of(brep, rhombus);
    EXPECT_EQ(mesh.polygons_from_edge_vertices({{2, 3}}).empty(), !test_case.swapped);
    EXPECT_EQ(mesh.polygons_from_edge_vertices({{0, 1}}).empty(), test_case.swapped);
    EXPECT_TRUE(test::is_valid_model(brep));
  }
}

TEST(BRepSurfaceRelaxer, PostProcessingLeavesOnlyTheChart) {
  BRep brep;
  const uuid rhombus = test::add_triangulated_surface(
      brep, {point(0, 0, 0), point(4, 0, 0), point(2, 1, 0), point(2, -1, 0)},
      {{0, 1, 2}, {1, 0, 3}});
  const uuid empty =
      test::add_triangulated_surface(brep, {point(0, 0, 5), point(1, 0, 5)}, Triangles{});
  std::vector<ProgressLogger::Event::Kind> events;
  index_t nb_steps = 0;
  const auto previous = ProgressLogger::set_observer([&](ProgressLogger::Event const& event) {
    if (event.title != "Post-process Surfaces") return;
    events.push_back(event.kind);
    nb_steps = event.nb_steps;
  });
  const ConstantMetric<3> metric{1.0};
  RemeshingData<BRep, 3> data{brep, std::make_unique<BRep>(), {}, brep, {}, metric};
  detail::post_process_surfaces(data);
  ProgressLogger::set_observer(previous);
  using Kind = ProgressLogger::Event::Kind;
  EXPECT_EQ(events, (std::vector<Kind>{Kind::start, Kind::increment, Kind::increment, Kind::end}));
  EXPECT_EQ(nb_steps, 2u);
  for (auto const& id : {rhombus, empty}) {
    auto const& mesh = mesh_of(brep, id);
    auto const& vertices = mesh.vertex_attribute_manager();
    auto const& polygons = mesh.polygon_attribute_manager();
    EXPECT_TRUE(vertices.attribute_exists("2d"));
    EXPECT_FALSE(vertices.attribute_exists("stamp"));
    EXPECT_FALSE(vertices.attribute_exists("fixed"));
    EXPECT_FALSE(polygons.attribute_exists("stamp"));
    EXPECT_FALSE(polygons.attribute_exists("quality"));
    auto const chart = vertices.find_attribute<ReadOnlyAttribute<Point<2>>>("2d");
    for (index_t v = 0; v < mesh.nb_vertices(); ++v) EXPECT_EQ(chart->value(v), Point<2>{});
  }
}

TEST(BRepSurfaceRelaxer, TangentPlaneChart) {
  // A fan around vertex 0 at height 2, one neighbour raised in the second
  // model; vertex 5 has no triangle.
  for (const double raised : {2.0, 2.5}) {
    SCOPED_TRACE(raised);
    auto fan = make_surface({point(0, 0, 2), point(1, 0, 2), point(0, 1, raised),
                             point(-1, 0, 2), point(0, -1, 2), point(7, 7, 7)},
                            {{0, 1, 2}, {0, 2, 3}, {0, 3, 4}, {0, 4, 1}});
    auto const& mesh = mesh_of(fan.brep, fan.id);
    detail::BRepSurfaceRelaxer relaxer{fan.brep, fan.brep.surface(fan.id)};
    auto chart = mesh.vertex_attribute_manager()
                     .find_attribute<VariableAttribute<Point<2>>>("2d");
    chart->set_value(5, Point<2>{{3, 4}});
    EXPECT_FALSE(relaxer.prepare_smoothing(5, mesh.polygons_around_vertex(5)));
    EXPECT_EQ(relaxer.local_point(5), (Point<2>{{3, 4}}));

    chart->set_value(0, Point<2>{{9, 9}});
    ASSERT_TRUE(relaxer.prepare_smoothing(0, mesh.polygons_around_vertex(0)));
    EXPECT_EQ(relaxer.local_point(0), Point<2>{});
    for (index_t v = 1; v <= 4; ++v) {
      auto const& local = relaxer.local_point(v);
      EXPECT_NEAR(std::hypot(local.value(0), local.value(1)),
                  point_point_distance(mesh.point(0), mesh.point(v)), 1e-12);
    }
    if (raised == 2.0) {
      // Normal (0, 0, 1): the reference point is (1, 1, 2), so the first
      // axis is (1, 1, 0) / sqrt(2) and the second (-1, 1, 0) / sqrt(2).
      const double c = std::sqrt(0.5);
      EXPECT_NEAR(relaxer.local_point(1).value(0), c, 1e-15);
      EXPECT_NEAR(relaxer.local_point(1).value(1), -c, 1e-15);
      EXPECT_NEAR(relaxer.local_point(2).value(0), c, 1e-15);
      EXPECT_NEAR(relaxer.local_point(2).value(1), c, 1e-15);
    }
  }
}

}  // namespace
}  // namespace tarnix
