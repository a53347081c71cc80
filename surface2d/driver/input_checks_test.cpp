#include "driver/input_checks.h"

#include "frontal/frontal_test_support.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include <absl/strings/str_cat.h>
#include <absl/strings/str_replace.h>
#include <gtest/gtest.h>

#include <mesh/surface_fixtures.h>
#include <model/model_fixtures.h>
#include <tarnix/surface2d/frontal_remesher.h>
#include <tarnix/surface2d/remesh_surfaces.h>
#include <ulvane/basic/ulvane_exception.h>
#include <ulvane/mesh/polygonal_surface.h>
#include <ulvane/mesh/triangulated_surface_builder.h>
#include <ulvane/model/section_builder.h>
#include <vantrel/corner.h>
#include <vantrel/initialize_remeshing_data.h>
#include <vantrel/line2d.h>

namespace tarnix {
namespace {

using test::FunctionMetric;

constexpr double NOT_A_NUMBER = std::numeric_limits<double>::quiet_NaN();
constexpr double INFINITE = std::numeric_limits<double>::infinity();

// `inside` strictly inside the left unit square of the two-surface section,
// `outside` elsewhere: the lines (on x = 0, 1, 2 and y = 0, 1) only see
// `outside`.
FunctionMetric inside_left(double inside, double outside = 0.25) {
  return FunctionMetric{[inside, outside](Point<2> const& p) {
    bool const in = p.value(0) > 0.1 && p.value(0) < 0.9 && p.value(1) > 0.1 && p.value(1) < 0.9;
    return in ? inside : outside;
  }};
}

// The message of the UlvaneException that `run` raises, empty when it
// raises none; another exception is shown with a mark.
std::string message_of(std::function<void()> const& run) {
  try {
    run();
  } catch (UlvaneException const& e) {
    return e.what();
  } catch (std::exception const& e) {
    return absl::StrCat("not an UlvaneException: ", e.what());
  }
  return {};
}

// The builder of a surface's mesh in a section.
std::unique_ptr<TriangulatedSurfaceBuilder<2>> mesh_builder(Section& section, uuid const& surface) {
  SectionBuilder builder{section};
  auto& mesh = dynamic_cast<TriangulatedSurface<2>&>(
      builder.modifiable_surface(surface).get_modifiable_mesh());
  return TriangulatedSurfaceBuilder<2>::create(mesh);
}

TriangulatedSurface<2> const& surface_mesh(Section const& section, uuid const& surface) {
  return dynamic_cast<TriangulatedSurface<2> const&>(section.surface(surface).mesh());
}

// A host's record for a section, after the corner step; each test runs
// the line and surface steps itself.
struct Pipeline {
  Pipeline(Section const& input, Metric<2> const& metric)
      : data(initialize_remeshing_data<SectionBuilder, SectionGeometricModifier, Section, 2>(
            input, output, metric)) {
    remesh_corners(data);
  }
  uuid const& output_surface(uuid const& input) const {
    return data.input_to_output.at("Surface").in2out(input);
  }
  // Whether no output surface holds anything yet.
  bool surfaces_untouched() const {
    for (auto const& surface : output.surfaces()) {
      if (surface.mesh().nb_vertices() != 0) return false;
    }
    return true;
  }
  Section output;
  RemeshingData<Section, 2> data;
};

// The two-surface section (its left square of 2 x 2 cells has vertex
// i + 3 j at (i / 2, j / 2) and triangles numbered as in test::make_grid),
// edited by `edit`.
struct BadSurfaceCase {
  char const* name;
  std::function<void(test::TwoSurfaceSection&)> edit;
  // "{left}" stands for the component of `left` after the edit.
  std::string message;
};

TEST(RemeshSurfacesInput, BadSurfaceMeshIsRefusedBeforeAnyEdit) {
  BadSurfaceCase const cases[] = {
      {"InteriorCoordinateNotANumber",
       [](test::TwoSurfaceSection& f) {
         mesh_builder(f.section, f.left)->set_point(4, Point<2>{{NOT_A_NUMBER, 0.5}});
       },
       "[remesh_surfaces] Vertex 4 of {left} has a coordinate that is not finite: (nan, 0.5)"},
      {"BorderCoordinateInfinite",
       [](test::TwoSurfaceSection& f) {
         mesh_builder(f.section, f.left)->set_point(1, Point<2>{{0.5, -INFINITE}});
       },
       "[remesh_surfaces] Vertex 1 of {left} has a coordinate that is not finite: (0.5, -inf)"},
      {"VertexInNoTriangle",
       [](test::TwoSurfaceSection& f) {
         mesh_builder(f.section, f.left)->create_point(Point<2>{{0.25, 0.25}});
       },
       "[remesh_surfaces] Vertex 9 (0.25, 0.25) of {left} is in no triangle"},
      {"ClockwiseTriangles",
       [](test::TwoSurfaceSection& f) {
         // Every triangle turned over: a consistent but clockwise surface.
         auto builder = mesh_builder(f.section, f.left);
         auto const& mesh = surface_mesh(f.section, f.left);
         auto const nb_triangles = mesh.nb_polygons();
         for (index_t t = 0; t < nb_triangles; ++t) {
           builder->create_triangle({mesh.polygon_vertex({t, 0}), mesh.polygon_vertex({t, 2}),
                                     mesh.polygon_vertex({t, 1})});
         }
         std::vector<bool> originals(2 * nb_triangles, false);
         std::fill(originals.begin(), originals.begin() + nb_triangles, true);
         builder->delete_polygons(originals);
         builder->compute_polygon_adjacencies();
       },
       "[remesh_surfaces] Triangle 0 of {left} is clockwise: every triangle must be "
       "counter-clockwise with a positive area"},
      {"FlatTriangle",
       [](test::TwoSurfaceSection& f) {
         // Vertex 1 on the diagonal from vertex 0 to vertex 4.
         mesh_builder(f.section, f.left)->set_point(1, Point<2>{{0.25, 0.25}});
       },
       "[remesh_surfaces] Triangle 0 of {left} is flat: every triangle must be "
       "counter-clockwise with a positive area"},
      {"AdjacenciesNotComputed",
       [](test::TwoSurfaceSection& f) {
         auto builder = mesh_builder(f.section, f.left);
         auto const& mesh = surface_mesh(f.section, f.left);
         for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
           for (local_index_t j = 0; j < 3; ++j) builder->unset_polygon_adjacent({t, j});
         }
       },
       "[remesh_surfaces] Triangle 0 of {left} has no adjacency across the edge from vertex 1 "
       "(0.5, 0) to vertex 4 (0.5, 0.5), which triangle 3 shares: the polygon adjacencies must "
       "be computed"},
      {"AdjacencyToAnotherTriangle",
       [](test::TwoSurfaceSection& f) {
         mesh_builder(f.section, f.left)->set_polygon_adjacent({0, 1}, 7);
       },
       "[remesh_surfaces] Triangle 0 of {left} is adjacent to triangle 7 across the edge from "
       "vertex 1 (0.5, 0) to vertex 4 (0.5, 0.5), which triangle 3 shares"},
      {"OverlappingTriangles",
       [](test::TwoSurfaceSection& f) {
         auto builder = mesh_builder(f.section, f.left);
         builder->create_triangle({0, 1, 4});
         builder->compute_polygon_adjacencies();
       },
       "[remesh_surfaces] Triangles 0 and 8 of {left} both run along the edge from vertex 0 "
       "(0, 0) to vertex 1 (0.5, 0): they overlap"},
      {"LineVerticesNotLinkedToTheSurface",
       [](test::TwoSurfaceSection& f) {
         // The inner vertex of the shared line, seen from the left surface,
         // no longer stands for the line's vertex there.
         SectionBuilder builder{f.section};
         builder.set_unique_vertex({{"Surface", f.left}, 5}, builder.create_unique_vertex());
       },
       "[remesh_surfaces] The border edge from vertex 2 (1, 0) to vertex 5 (1, 0.5) of {left} "
       "lies on none of its lines"},
      {"CrackInsideTheSurface",
       [](test::TwoSurfaceSection& f) {
         // The cells right of x = 0.5 get their own vertices on x = 0.5,
         // at the same places and with the same unique vertices: two
         // pieces that touch along a crack no line covers.
         auto builder = mesh_builder(f.section, f.left);
         auto const& mesh = surface_mesh(f.section, f.left);
         SectionBuilder model{f.section};
         for (index_t const v : {1u, 4u, 7u}) {
           auto const copy = builder->create_point(mesh.point(v));
           model.set_unique_vertex({{"Surface", f.left}, copy},
                                   f.section.unique_vertex({{"Surface", f.left}, v}));
           for (index_t const t : {2u, 3u, 6u, 7u}) {
             for (local_index_t k = 0; k < 3; ++k) {
               if (mesh.polygon_vertex({t, k}) == v) builder->set_polygon_vertex({t, k}, copy);
             }
           }
         }
         builder->compute_polygon_adjacencies();
       },
       "[remesh_surfaces] The border edge from vertex 1 (0.5, 0) to vertex 4 (0.5, 0.5) of "
       "{left} lies on none of its lines"},
      {"SurfaceWithoutLines",
       [](test::TwoSurfaceSection& f) {
         SectionBuilder builder{f.section};
         f.left = builder.add_surface();
         auto mesh = mesh_builder(f.section, f.left);
         for (double const x : {3.0, 4.0}) mesh->create_point(Point<2>{{x, 0.0}});
         mesh->create_point(Point<2>{{3.0, 1.0}});
         mesh->create_triangle({0, 1, 2});
         mesh->compute_polygon_adjacencies();
       },
       "[remesh_surfaces] The border edge from vertex 0 (3, 0) to vertex 1 (4, 0) of {left} lies "
       "on none of its lines"},
      {"SurfaceWithoutTriangles",
       [](test::TwoSurfaceSection& f) {
         SectionBuilder builder{f.section};
         f.left = builder.add_surface();
       },
       "[remesh_surfaces] {left} has no triangle"},
      {"PolygonalSurface",
       [](test::TwoSurfaceSection& f) {
         SectionBuilder builder{f.section};
         f.left = builder.add_surface(PolygonalSurface<2>::create());
       },
       "[remesh_surfaces] {left} is not a triangulated surface (its mesh is a "
       "PolygonalSurface2D)"},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    auto fixture = test::make_two_surface_section(2);
    c.edit(fixture);
    ConstantMetric<2> const metric{0.25};
    Pipeline run{fixture.section, metric};
    remesh_lines(run.data);
    auto const expected =
        absl::StrReplaceAll(c.message, {{"{left}", ComponentID{"Surface", fixture.left}.string()}});
    EXPECT_EQ(message_of([&] { remesh_surfaces(run.data); }), expected);
    EXPECT_TRUE(run.surfaces_untouched());
  }
}

// Bad lengths strictly inside the left surface: the lines are fine, and
// only the surface step sees them.
TEST(RemeshSurfacesInput, MetricThatIsNotPositiveAndFiniteIsRefused) {
  struct {
    char const* name;
    double length;
    char const* shown;
  } const cases[] = {{"Zero", 0.0, "0"},
                     {"Negative", -1.0, "-1"},
                     {"NotANumber", NOT_A_NUMBER, "nan"},
                     {"Infinite", INFINITE, "inf"}};
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    auto fixture = test::make_two_surface_section(2);
    auto const metric = inside_left(c.length);
    Pipeline run{fixture.section, metric};
    remesh_lines(run.data);
    // The barycenter of the first triangle (0, 0), (0.5, 0), (0.5, 0.5).
    EXPECT_EQ(message_of([&] { remesh_surfaces(run.data); }),
              absl::StrCat("[remesh_surfaces] The metric must give positive finite lengths, got ",
                           c.shown, " at (0.333333, 0.166667) in ",
                           ComponentID{"Surface", fixture.left}.string()));
    EXPECT_TRUE(run.surfaces_untouched());
  }
}

TEST(RemeshSurfacesInput, MetricAskingForTooManyTrianglesIsRefusedBeforeAllocating) {
  auto fixture = test::make_two_surface_section(2);
  auto const metric = inside_left(1e-12);
  Pipeline run{fixture.section, metric};
  remesh_lines(run.data);
  // 1 / (sqrt(3) / 4 * 1e-24) over the unit square.
  EXPECT_EQ(message_of([&] { remesh_surface(run.data, fixture.left); }),
            absl::StrCat("[remesh_surface] The metric asks for about 2.3094e+24 triangles in ",
                         ComponentID{"Surface", fixture.left}.string(),
                         ", more than the limit of 2147483648"));
  EXPECT_TRUE(run.surfaces_untouched());
}

TEST(RemeshSurfacesInput, SecondRunOnTheSameDataIsRefused) {
  struct {
    char const* name;
    std::function<void(RemeshingData<Section, 2>&, uuid const&)> remesh;
    char const* step;
  } const cases[] = {
      {"AllSurfaces", [](RemeshingData<Section, 2>& data, uuid const&) { remesh_surfaces(data); },
       "remesh_surfaces"},
      {"OneSurface",
       [](RemeshingData<Section, 2>& data, uuid const& id) { remesh_surface(data, id); },
       "remesh_surface"}};
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    auto fixture = test::make_two_surface_section(2);
    ConstantMetric<2> const metric{0.25};
    Pipeline run{fixture.section, metric};
    remesh_lines(run.data);
    c.remesh(run.data, fixture.left);
    auto const& mesh = surface_mesh(run.output, run.output_surface(fixture.left));
    auto const nb_vertices = mesh.nb_vertices();
    auto const nb_triangles = mesh.nb_polygons();
    ASSERT_GT(nb_triangles, 0u);
    EXPECT_EQ(message_of([&] { c.remesh(run.data, fixture.left); }),
              absl::StrCat("[", c.step, "] ", ComponentID{"Surface", fixture.left}.string(),
                           " already holds a mesh in the output model (", nb_vertices,
                           " vertices, ", nb_triangles, " triangles): a surface is remeshed once"));
    EXPECT_EQ(mesh.nb_vertices(), nb_vertices);
    EXPECT_EQ(mesh.nb_polygons(), nb_triangles);
  }
}

TEST(RemeshLinesInput, BadMetricIsRefusedBeforeAnyLineIsWritten) {
  struct {
    char const* name;
    std::function<double(Point<2> const&)> length;
    // "{line}" stands for the refused line.
    char const* message;
  } const cases[] = {
      {"NotANumber", [](Point<2> const&) { return NOT_A_NUMBER; },
       "[remesh_lines] The metric must give positive finite lengths, got nan at (0.25, 0) on "
       "{line}"},
      {"Zero", [](Point<2> const&) { return 0.0; },
       "[remesh_lines] The metric must give positive finite lengths, got 0 at (0.25, 0) on "
       "{line}"},
      {"TooManyVertices", [](Point<2> const&) { return 1e-12; },
       "[remesh_lines] The metric asks for about 1e+12 vertices on {line}, more than the limit "
       "of 2147483648"},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    auto fixture = test::make_two_surface_section(2);
    FunctionMetric const metric{c.length};
    Pipeline run{fixture.section, metric};
    EXPECT_EQ(message_of([&] { remesh_lines(run.data); }),
              absl::StrReplaceAll(c.message,
                                  {{"{line}", ComponentID{"Line", fixture.lines[0]}.string()}}));
  }
}

TEST(RemeshLinesInput, LineRefusedLateLeavesTheEarlierLinesUnwritten) {
  auto fixture = test::make_two_surface_section(2);
  // Too fine on the top lines only (l3, l4), which come after l0 .. l2.
  FunctionMetric const metric{[](Point<2> const& p) { return p.value(1) == 1.0 ? 1e-12 : 0.25; }};
  Pipeline run{fixture.section, metric};
  auto const message = message_of([&] { remesh_lines(run.data); });
  EXPECT_NE(message.find("[remesh_lines] The metric asks for about 1e+12 vertices on Line "),
            std::string::npos)
      << message;
  for (auto const& line : run.output.lines()) EXPECT_EQ(line.mesh().nb_vertices(), 0u);
}

// detail::remesh_surface on its own: the 2 x 2 grid over [0, 2]^2 with its
// four corners given.
struct FrontalCall {
  FrontalCall()
      : mesh(test::make_grid<2>(2)), builder(TriangulatedSurfaceBuilder<2>::create(*mesh)) {}
  std::string message(Metric<2> const& metric, std::vector<unsigned int> const& given) {
    return message_of([&] { detail::remesh_surface(*mesh, *builder, metric, given); });
  }
  std::unique_ptr<TriangulatedSurface<2>> mesh;
  std::unique_ptr<TriangulatedSurfaceBuilder<2>> builder;
};

TEST(FrontalRemesherInput, EveryReadOfTheMetricIsChecked) {
  // Not a number on the bottom border only: no triangle barycenter lies
  // there, the first front edge's midpoint does.
  FunctionMetric const metric{
      [](Point<2> const& p) { return p.value(1) == 0.0 ? NOT_A_NUMBER : 0.5; }};
  FrontalCall call;
  EXPECT_EQ(call.message(metric, {0, 2, 6, 8}),
            "[detail::remesh_surface] The metric must give positive finite lengths, got nan at "
            "(1, 0) in the surface");
}

TEST(FrontalRemesherInput, BadCallIsRefusedBeforeTheSurfaceIsEdited) {
  struct {
    char const* name;
    std::function<double(Point<2> const&)> length;
    std::vector<unsigned int> given;
    std::function<void(TriangulatedSurfaceBuilder<2>&)> edit;
    char const* message;
  } const cases[] = {
      {"TooManyTriangles",
       [](Point<2> const&) { return 1e-12; },
       {0, 2, 6, 8},
       [](TriangulatedSurfaceBuilder<2>&) {},
       "[detail::remesh_surface] The metric asks for about 9.2376e+24 triangles in the surface, "
       "more than the limit of 2147483648"},
      {"GivenVertexOutside",
       [](Point<2> const&) { return 0.5; },
       {0, 9},
       [](TriangulatedSurfaceBuilder<2>&) {},
       "[detail::remesh_surface] Given vertex 9 is not a vertex of the surface, which has 9 "
       "vertices"},
      {"CoordinateNotANumber",
       [](Point<2> const&) { return 0.5; },
       {0, 2, 6, 8},
       [](TriangulatedSurfaceBuilder<2>& b) {
         b.set_point(4, Point<2>{{1.0, NOT_A_NUMBER}});
       },
       "[detail::remesh_surface] Vertex 4 of the surface has a coordinate that is not finite: "
       "(1, nan)"},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    FrontalCall call;
    c.edit(*call.builder);
    FunctionMetric const metric{c.length};
    EXPECT_EQ(call.message(metric, c.given), c.message);
    EXPECT_FALSE(call.mesh->vertex_attribute_manager().attribute_exists("vertex info"));
  }
}

}  // namespace
}  // namespace tarnix
