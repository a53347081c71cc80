#include <tarnix/surface2d/remesh_surfaces.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>
#include <string>
#include <tuple>

#include <absl/container/flat_hash_map.h>
#include <absl/container/flat_hash_set.h>
#include <absl/strings/str_cat.h>
#include <absl/types/optional.h>
#include <gtest/gtest.h>

#include <driver/stacked_section.h>
#include <layered_section.h>
#include <mesh/surface_validity.h>
#include <ulvane/mesh/edged_curve_builder.h>
#include <ulvane/mesh/mesh_builder_factory.h>
#include <ulvane/mesh/point_set_builder.h>
#include <ulvane/mesh/polygonal_surface.h>
#include <ulvane/mesh/triangulated_surface_builder.h>
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
// `input_area_tolerance` is relative: remeshed lines cut the bends of their
// input.
PipelineFigures remesh_and_check(Section const& input, Metric<2> const& metric,
                                 double input_area_tolerance = 1e-4) {
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
    // The output lines bound the surface: their edges, taken in the
    // direction of the surface's border, enclose exactly its area. Lines
    // resampled along curves may cut their input's bends, so the input area
    // is only close.
    double enclosed = 0.0;
    for (auto const& line : output.boundaries(surface)) {
      auto const& curve = line.mesh();
      for (index_t e = 0; e < curve.nb_edges(); ++e) {
        std::array<index_t, 2> ends{NO_ID, NO_ID};
        for (local_index_t k = 0; k < 2; ++k) {
          auto const unique = output.unique_vertex({line.component_id(), curve.edge_vertex({e, k})});
          auto const vertices = output.component_mesh_vertices(unique, surface.id());
          if (!vertices.empty()) ends[k] = vertices.front();
        }
        if (ends[0] == NO_ID || ends[1] == NO_ID) continue;
        if (!mesh.polygon_edge_from_vertices(ends[0], ends[1])) std::swap(ends[0], ends[1]);
        auto const& a = mesh.point(ends[0]);
        auto const& b = mesh.point(ends[1]);
        enclosed += 0.5 * (a.value(0) * b.value(1) - a.value(1) * b.value(0));
      }
    }
    EXPECT_NEAR(area(mesh), enclosed, 1e-9 * enclosed) << surface.id().string();
    EXPECT_NEAR(area(mesh), area(input_mesh), input_area_tolerance * area(input_mesh))
        << surface.id().string();

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
    absl::flat_hash_set<std::array<index_t, 3>> triples;
    for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
      std::array<index_t, 3> triple{mesh.polygon_vertex({t, 0}), mesh.polygon_vertex({t, 1}),
                                    mesh.polygon_vertex({t, 2})};
      std::sort(triple.begin(), triple.end());
      EXPECT_TRUE(triples.insert(triple).second) << "triangle " << t << " is duplicated";
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

// Instrumented builds run the large case at a coarser target.
#if defined(__SANITIZE_ADDRESS__)
constexpr double LARGE_CASE_LENGTH = 0.03;
#else
constexpr double LARGE_CASE_LENGTH = 0.01;
#endif

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
                                           PipelineCase{"Large", 20, LARGE_CASE_LENGTH}),
                         [](auto const& test_info) { return test_info.param.name; });

// The demo's section: two layers along a curved line, an internal line and
// a hole, with a graded metric.
TEST(RemeshSurfaces, LayeredSectionWithHoleAndInternalLine) {
#if defined(__SANITIZE_ADDRESS__)
  demo::InterfaceMetric const metric{0.03, 0.2};
#else
  demo::InterfaceMetric const metric{0.008, 0.05};
#endif
  auto const figures = remesh_and_check(demo::make_layered_section(120, 40), metric);
  EXPECT_GT(figures.nb_triangles, 1000u);
  std::printf("[ figures  ] layered section: %u triangles, quality min %.3f mean %.3f\n",
              figures.nb_triangles, figures.min_quality, figures.mean_quality);
}

// Twelve stacked layers, each bounded by two curved interfaces it shares
// with its neighbours, remeshed side by side on the workers: every layer
// conforms to its lines.
TEST(RemeshSurfaces, StackedLayersConformToTheInterfacesTheyShare) {
  auto const stacked = test::make_stacked_section(12, 24, 2);
  ConstantMetric<2> metric{0.05};
  auto const figures = remesh_and_check(stacked.section, metric, 1e-2);
  EXPECT_GT(figures.nb_triangles, 3000u);
}

class InternalLineTest : public ::testing::TestWithParam<double> {};

TEST_P(InternalLineTest, LineAndCornerBecomePartOfTheSurface) {
  auto fixture = test::make_internal_line_section(4);
  ConstantMetric<2> metric{GetParam()};
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
  // Every internal line edge is an edge of the surface, with a triangle on
  // each side.
  auto const& mesh = dynamic_cast<TriangulatedSurface<2> const&>(surface.mesh());
  auto const& curve = line.mesh();
  for (index_t e = 0; e < curve.nb_edges(); ++e) {
    std::array<index_t, 2> ends{};
    for (local_index_t k = 0; k < 2; ++k) {
      auto const u = output.unique_vertex({line.component_id(), curve.edge_vertex({e, k})});
      ends[k] = output.component_mesh_vertices(u, surface.id()).at(0);
    }
    EXPECT_TRUE(mesh.polygon_edge_from_vertices(ends[0], ends[1])) << "edge " << e;
    EXPECT_TRUE(mesh.polygon_edge_from_vertices(ends[1], ends[0])) << "edge " << e;
  }
}

INSTANTIATE_TEST_SUITE_P(TargetLengths, InternalLineTest, ::testing::Values(0.2, 0.3, 0.5, 2.0));

// A Section of one surface drawn on the lattice of step 1/2: the surface's
// triangles over lattice points, its boundary and internal lines as chains
// of lattice points with a corner at each end, and its internal corners.
// Every vertex of every mesh is linked to the unique vertex of its point.
struct Sketch {
  std::vector<std::array<int, 2>> points;
  std::vector<std::array<index_t, 3>> triangles;
  std::vector<std::vector<index_t>> boundary_lines;
  std::vector<std::vector<index_t>> internal_lines;
  std::vector<index_t> internal_corners;
};

Section make_section(Sketch const& sketch) {
  Section section;
  SectionBuilder builder{section};
  std::vector<index_t> uniques;
  std::vector<Point<2>> points;
  for (auto const& p : sketch.points) {
    uniques.push_back(builder.create_unique_vertex());
    points.push_back(Point<2>{{p[0] / 2.0, p[1] / 2.0}});
  }
  absl::flat_hash_map<index_t, uuid> corners;
  auto const corner = [&](index_t p) -> uuid const& {
    auto const found = corners.find(p);
    if (found != corners.end()) return found->second;
    auto const& id = builder.add_corner();
    auto const v = PointSetBuilder<2>::create(builder.modifiable_corner(id).get_modifiable_mesh())
                       ->create_point(points[p]);
    builder.set_unique_vertex({ComponentID{"Corner", id}, v}, uniques[p]);
    return corners.emplace(p, id).first->second;
  };
  auto const line = [&](std::vector<index_t> const& chain) -> uuid const& {
    auto const& id = builder.add_line();
    auto curve = EdgedCurveBuilder<2>::create(builder.modifiable_line(id).get_modifiable_mesh());
    for (auto const p : chain) {
      auto const v = curve->create_point(points[p]);
      builder.set_unique_vertex({ComponentID{"Line", id}, v}, uniques[p]);
      if (v > 0) curve->create_edge(v - 1, v);
    }
    builder.add_corner_line_boundary_relationship(corner(chain.front()), id);
    builder.add_corner_line_boundary_relationship(corner(chain.back()), id);
    return id;
  };
  auto const& surface = builder.add_surface();
  auto& mesh = dynamic_cast<TriangulatedSurface<2>&>(
      builder.modifiable_surface(surface).get_modifiable_mesh());
  auto mesh_builder = TriangulatedSurfaceBuilder<2>::create(mesh);
  for (index_t p = 0; p < points.size(); ++p) {
    builder.set_unique_vertex({ComponentID{"Surface", surface}, mesh_builder->create_point(points[p])},
                              uniques[p]);
  }
  for (auto const& triangle : sketch.triangles) mesh_builder->create_triangle(triangle);
  mesh_builder->compute_polygon_adjacencies();
  for (auto const& chain : sketch.boundary_lines) {
    builder.add_line_surface_boundary_relationship(line(chain), surface);
  }
  for (auto const& chain : sketch.internal_lines) {
    builder.add_line_surface_internal_relationship(line(chain), surface);
  }
  for (auto const p : sketch.internal_corners) {
    builder.add_corner_surface_internal_relationship(corner(p), surface);
  }
  return section;
}

// The sketch's point at lattice position (i, j), added when new.
index_t lattice_point(Sketch& sketch, int i, int j) {
  std::array<int, 2> const key{i, j};
  auto const found = std::find(sketch.points.begin(), sketch.points.end(), key);
  if (found != sketch.points.end()) return static_cast<index_t>(found - sketch.points.begin());
  sketch.points.push_back(key);
  return static_cast<index_t>(sketch.points.size() - 1);
}

// The lattice cells of [i0, i0 + n) x [j0, j0 + n), each cut along its
// rising diagonal into two counter-clockwise triangles; `skip` names the
// cell and triangle (0: lower right, 1: upper left) to leave out.
void add_cells(Sketch& sketch, int i0, int j0, int n,
               std::function<bool(int, int, int)> const& skip = {}) {
  for (int j = j0; j < j0 + n; ++j) {
    for (int i = i0; i < i0 + n; ++i) {
      auto const p00 = lattice_point(sketch, i, j);
      auto const p10 = lattice_point(sketch, i + 1, j);
      auto const p11 = lattice_point(sketch, i + 1, j + 1);
      auto const p01 = lattice_point(sketch, i, j + 1);
      if (!skip || !skip(i, j, 0)) sketch.triangles.push_back({p00, p10, p11});
      if (!skip || !skip(i, j, 1)) sketch.triangles.push_back({p00, p11, p01});
    }
  }
}

// The straight line of lattice steps from one lattice point to another.
std::vector<index_t> lattice_chain(Sketch& sketch, std::array<int, 2> from, std::array<int, 2> to) {
  int const steps = std::max(std::abs(to[0] - from[0]), std::abs(to[1] - from[1]));
  std::vector<index_t> chain;
  for (int k = 0; k <= steps; ++k) {
    chain.push_back(lattice_point(sketch, from[0] + (to[0] - from[0]) * k / steps,
                                  from[1] + (to[1] - from[1]) * k / steps));
  }
  return chain;
}

// A closed polygon of lattice points as straight lines between them.
void add_loop(Sketch& sketch, std::vector<std::array<int, 2>> const& corners) {
  for (std::size_t k = 0; k < corners.size(); ++k) {
    sketch.boundary_lines.push_back(
        lattice_chain(sketch, corners[k], corners[(k + 1) % corners.size()]));
  }
}

// Two squares of side 1 that touch at their corner (1, 1).
Sketch squares_touching_at_a_corner() {
  Sketch sketch;
  add_cells(sketch, 0, 0, 2);
  add_cells(sketch, 2, 2, 2);
  add_loop(sketch, {{0, 0}, {2, 0}, {2, 2}, {0, 2}});
  add_loop(sketch, {{2, 2}, {4, 2}, {4, 4}, {2, 4}});
  return sketch;
}

// The square [0, 2]^2 with a triangular hole whose corner (1, 0) lies on
// the bottom side: the border passes (1, 0) twice.
Sketch hole_touching_the_border() {
  Sketch sketch;
  add_cells(sketch, 0, 0, 4, [](int i, int j, int t) { return i == 2 && j == 0 && t == 1; });
  add_loop(sketch, {{0, 0}, {2, 0}, {4, 0}, {4, 4}, {0, 4}});
  add_loop(sketch, {{2, 0}, {2, 1}, {3, 1}});
  return sketch;
}

struct PinchCase {
  char const* name;
  Sketch (*sketch)();
};

class SurfaceTouchingItselfTest
    : public ::testing::TestWithParam<std::tuple<PinchCase, double>> {};

// Where the surface touches itself, its fans share one output vertex,
// linked to the lines and corner there, and each side is remeshed up to it,
// for targets finer and coarser than the input.
TEST_P(SurfaceTouchingItselfTest, KeepsOneVertexWhereItTouchesItself) {
  auto const input = make_section(std::get<0>(GetParam()).sketch());
  ASSERT_TRUE(test::is_valid_model(input));
  ConstantMetric<2> metric{std::get<1>(GetParam())};
  EXPECT_GT(remesh_and_check(input, metric).nb_triangles, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SurfaceTouchingItselfTest,
    ::testing::Combine(
        ::testing::Values(PinchCase{"SquaresTouchingAtACorner", squares_touching_at_a_corner},
                          PinchCase{"HoleTouchingTheBorder", hole_touching_the_border}),
        ::testing::Values(0.15, 0.45, 2.0)),
    [](auto const& test_info) {
      return std::string{std::get<0>(test_info.param).name} + "_" +
             std::to_string(test_info.index);
    });

// The host's record for a Section, after the corner and line steps.
struct Prepared {
  explicit Prepared(Section const& input, double h)
      : metric(h),
        data(initialize_remeshing_data<SectionBuilder, SectionGeometricModifier, Section, 2>(
            input, output, metric)) {
    remesh_corners(data);
    remesh_lines(data);
  }
  Section output;
  ConstantMetric<2> metric;
  RemeshingData<Section, 2> data;
};

// The message of the UlvaneException the surface step raises on the
// input at target length h; empty when it raises none.
std::string refusal(Section const& input, double h) {
  Prepared run{input, h};
  try {
    remesh_surfaces(run.data);
  } catch (UlvaneException const& e) {
    return e.what();
  }
  return {};
}

// A vertex of the surface mesh that no triangle uses is refused before any
// edit, naming it: as an internal corner no remeshed surface could hold it
// (instead a surface without it would be returned), and numbered before all
// the others the clean of the working surface would renumber the rest, the
// fixed vertices of the lines and the internal corner with them.
TEST(RemeshSurfaces, VertexInNoTriangleIsRefusedNamingIt) {
  struct Case {
    char const* name;
    // Lattice cells per side of the square.
    int size;
    // A lattice point made before the cells, used by no triangle.
    absl::optional<std::array<int, 2>> unused_first;
    // The lattice point of the internal corner.
    std::array<int, 2> corner;
    char const* vertex;
  };
  const Case cases[] = {
      {"an internal corner in no triangle", 2, absl::nullopt, {5, 2}, "Vertex 9 (2.5, 1)"},
      {"an unused vertex numbered first", 4, std::array<int, 2>{7, 7}, {2, 2},
       "Vertex 0 (3.5, 3.5)"},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    Sketch sketch;
    if (c.unused_first) lattice_point(sketch, (*c.unused_first)[0], (*c.unused_first)[1]);
    add_cells(sketch, 0, 0, c.size);
    add_loop(sketch, {{0, 0}, {c.size, 0}, {c.size, c.size}, {0, c.size}});
    sketch.internal_corners.push_back(lattice_point(sketch, c.corner[0], c.corner[1]));
    auto const input = make_section(sketch);
    EXPECT_EQ(refusal(input, 0.3), absl::StrCat("[remesh_surfaces] ", c.vertex, " of Surface ",
                                                input.surfaces().begin()->id().string(),
                                                " is in no triangle"));
  }
}

// hole_touching_the_border with no corner at (1, 0): the bottom line runs
// straight through it and one line of the hole bends there, so that the
// remeshed lines need not have a vertex at the point the border passes
// twice.
//
//   (1, 0.5) ----- (1.5, 0.5)
//       |          /
//       |        /
//       |      /
//       |    /
//   ---(1, 0)------------- bottom line
Section hole_touching_the_border_between_corners() {
  Sketch sketch;
  add_cells(sketch, 0, 0, 4, [](int i, int j, int t) { return i == 2 && j == 0 && t == 1; });
  add_loop(sketch, {{0, 0}, {4, 0}, {4, 4}, {0, 4}});
  sketch.boundary_lines.push_back(lattice_chain(sketch, {2, 1}, {3, 1}));
  auto bent = lattice_chain(sketch, {3, 1}, {2, 0});
  auto const up = lattice_chain(sketch, {2, 0}, {2, 1});
  bent.insert(bent.end(), up.begin() + 1, up.end());
  sketch.boundary_lines.push_back(bent);
  return make_section(sketch);
}

class TouchingItselfBetweenLineVerticesTest : public ::testing::TestWithParam<double> {};

// Targets that put no line vertex at (1, 0): the vertex the border passes
// twice is split like a fixed one, and each side is remeshed up to its
// lines.
TEST_P(TouchingItselfBetweenLineVerticesTest, EachSideIsRemeshedUpToItsLines) {
  auto const input = hole_touching_the_border_between_corners();
  ASSERT_TRUE(test::is_valid_model(input));
  ConstantMetric<2> metric{GetParam()};
  EXPECT_GT(remesh_and_check(input, metric, 1e-2).nb_triangles, 0u);
}

INSTANTIATE_TEST_SUITE_P(TargetLengths, TouchingItselfBetweenLineVerticesTest,
                         ::testing::Values(0.15, 0.3, 0.7));

// The square [0, 2]^2 with lines along its bottom and right sides only.
Section square_with_two_lines() {
  Sketch sketch;
  add_cells(sketch, 0, 0, 4);
  sketch.boundary_lines.push_back(lattice_chain(sketch, {0, 0}, {4, 0}));
  sketch.boundary_lines.push_back(lattice_chain(sketch, {4, 0}, {4, 4}));
  return make_section(sketch);
}

struct HoleCase {
  char const* name;
  Section (*section)();
  double h;
  char const* before_id;  // the message around the surface's id
  char const* after_id;
};

class HoleOffTheLinesTest : public ::testing::TestWithParam<HoleCase> {};

// A remeshed surface whose border leaves its lines is reported, not
// returned.
TEST_P(HoleOffTheLinesTest, IsRefusedNamingTheSurface) {
  auto const input = GetParam().section();
  auto const message = refusal(input, GetParam().h);
  std::string const expected =
      GetParam().before_id + input.surfaces().begin()->id().string() + GetParam().after_id;
  EXPECT_EQ(message.substr(0, expected.size()), expected) << message;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HoleOffTheLinesTest,
    ::testing::Values(
        // At a target of 1 both lines of the hole become the one edge from
        // (1, 0.5) to (1.5, 0.5): no surface can have both as its border.
        HoleCase{"LinesMergedByACoarseTarget", hole_touching_the_border_between_corners, 1.0,
                 "[SurfaceRemesher::check_closed] Surface ",
                 ": the remeshed surface keeps a hole off its lines at ("},
        // Two sides without lines: the triangles made from the lines
        // overlapped, covering 5.4 for the square's 4. The input check
        // refuses it before any edit.
        HoleCase{"BorderPartlyWithoutLines", square_with_two_lines, 0.3,
                 "[remesh_surfaces] The border edge from vertex 3 (0, 0.5) to vertex 0 (0, 0) of "
                 "Surface ",
                 " lies on none of its lines"}),
    [](auto const& test_info) { return test_info.param.name; });

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

TEST(RemeshSurfaces, OneSurfaceAloneGivesTheSameMesh) {
  auto fixture = test::make_two_surface_section(4);
  Prepared all{fixture.section, 0.08};
  remesh_surfaces(all.data);
  Prepared one{fixture.section, 0.08};
  remesh_surface(one.data, fixture.left);

  auto const mesh_of = [&fixture](Prepared const& run) -> TriangulatedSurface<2> const& {
    auto const& id = run.data.input_to_output.at("Surface").in2out(fixture.left);
    return dynamic_cast<TriangulatedSurface<2> const&>(run.output.surface(id).mesh());
  };
  auto const& a = mesh_of(all);
  auto const& b = mesh_of(one);
  ASSERT_EQ(a.nb_vertices(), b.nb_vertices());
  ASSERT_EQ(a.nb_polygons(), b.nb_polygons());
  for (index_t v = 0; v < a.nb_vertices(); ++v) EXPECT_EQ(a.point(v), b.point(v));
  for (index_t t = 0; t < a.nb_polygons(); ++t) {
    for (local_index_t k = 0; k < 3; ++k) {
      EXPECT_EQ(a.polygon_vertex({t, k}), b.polygon_vertex({t, k}));
    }
  }
  // The other surface is left empty.
  auto const& right = one.data.input_to_output.at("Surface").in2out(fixture.right);
  EXPECT_EQ(one.output.surface(right).mesh().nb_polygons(), 0u);
}

TEST(RemeshSurfaces, MissingMappingEntryIsAnOutOfRangeError) {
  auto fixture = test::make_two_surface_section(2);
  Prepared run{fixture.section, 0.25};
  ModelCopyMapping without_surfaces;
  for (char const* type : {"Corner", "Line"}) {
    without_surfaces.set(type, run.data.input_to_output.at(type));
  }
  run.data.input_to_output = without_surfaces;
  try {
    remesh_surfaces(run.data);
    FAIL() << "no error";
  } catch (std::out_of_range const& e) {
    EXPECT_STREQ(e.what(), "absl::container_internal::raw_hash_map<>::at");
  }
}

TEST(RemeshSurfaces, SurfaceThatIsNotTriangulatedIsRefusedWithItsId) {
  Section input;
  SectionBuilder builder{input};
  auto const id = builder.add_surface(PolygonalSurface<2>::create());
  Section output;
  ConstantMetric<2> metric{0.5};
  auto data = initialize_remeshing_data<SectionBuilder, SectionGeometricModifier, Section, 2>(
      input, output, metric);
  try {
    remesh_surface(data, id);
    FAIL() << "no error";
  } catch (UlvaneException const& e) {
    EXPECT_EQ(std::string{e.what()},
              "[remesh_surface] Surface " + id.string() +
                  " is not a triangulated surface (its mesh is a PolygonalSurface2D)");
  }
}

TEST(RemeshSurfaces, BuilderOfAnotherKindIsReportedWithItsKey) {
  auto fixture = test::make_two_surface_section(2);
  Prepared run{fixture.section, 0.25};
  std::string const key = "TriangulatedSurface2D";
  // A factory whose builder for the key is not a triangulated-surface one.
  MeshBuilderFactory::register_creator(
      key, [](VertexSet&) { return std::unique_ptr<VertexSetBuilder>{}; });
  std::string message;
  try {
    remesh_surfaces(run.data);
  } catch (UlvaneException const& e) {
    message = e.what();
  }
  MeshBuilderFactory::register_creator(key, [](VertexSet& mesh) -> std::unique_ptr<VertexSetBuilder> {
    auto* surface = dynamic_cast<TriangulatedSurface<2>*>(&mesh);
    if (surface == nullptr) return nullptr;
    return TriangulatedSurfaceBuilder<2>::create(*surface);
  });
  EXPECT_EQ(message, "Cannot create mesh builder with key: " + key);
}

}  // namespace
}  // namespace tarnix
