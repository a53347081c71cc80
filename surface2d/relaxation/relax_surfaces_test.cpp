#include <tarnix/surface2d/relax_surfaces.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <absl/strings/str_cat.h>

#include <ulvane/basic/logger.h>
#include <ulvane/basic/progress_logger.h>
#include <ulvane/geometry/predicates.h>
#include <ulvane/mesh/polygonal_surface.h>
#include <ulvane/mesh/triangulated_surface.h>
#include <ulvane/mesh/triangulated_surface_builder.h>
#include <ulvane/model/section.h>
#include <ulvane/model/section_builder.h>

#include <common/surface_relaxer.h>

#include "common/surface_relaxer/relaxer_test_sections.h"
#include "relax_section_surfaces.h"
#include "mesh/surface_validity.h"
#include "model/model_fixtures.h"
#include "model/model_validity.h"

namespace tarnix {
namespace {

struct QualityStats {
  double min = std::numeric_limits<double>::infinity();
  double mean = 0;
  index_t nb_triangles = 0;
};

QualityStats quality_stats(Section const& section) {
  QualityStats stats;
  double sum = 0;
  for (auto const& surface : section.surfaces()) {
    auto const& mesh = dynamic_cast<TriangulatedSurface<2> const&>(surface.get_mesh());
    for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
      if (!mesh.is_polygon_active(t)) continue;
      const double quality = detail::triangle_quality(mesh.triangle(t));
      stats.min = std::min(stats.min, quality);
      sum += quality;
      ++stats.nb_triangles;
    }
  }
  stats.mean = sum / stats.nb_triangles;
  return stats;
}

//! The points of every line and corner mesh, in order.
std::vector<Point<2>> line_and_corner_points(Section const& section) {
  std::vector<Point<2>> points;
  for (auto const& line : section.lines()) {
    for (index_t v = 0; v < line.mesh().nb_vertices(); ++v) points.push_back(line.mesh().point(v));
  }
  for (auto const& corner : section.corners()) {
    for (index_t v = 0; v < corner.mesh().nb_vertices(); ++v) {
      points.push_back(corner.mesh().point(v));
    }
  }
  return points;
}

//! Every way the surface fails to follow its lines and corners: a line or
//! corner vertex without a surface vertex at the same place, and a line
//! edge that is not an edge of the surface.
std::vector<std::string> conformity_problems(Section const& section, Surface<2> const& surface) {
  std::vector<std::string> problems;
  auto const& mesh = surface.get_mesh();
  const auto surface_vertex = [&](ComponentMeshVertex const& vertex) {
    const index_t unique = section.unique_vertex(vertex);
    const auto found = section.component_mesh_vertices(unique, surface.id());
    return found.empty() ? NO_ID : found.front();
  };
  const auto check_line = [&](Line<2> const& line) {
    auto const& curve = line.mesh();
    for (index_t v = 0; v < curve.nb_vertices(); ++v) {
      const index_t s = surface_vertex({line.component_id(), v});
      if (s == NO_ID || !(mesh.point(s) == curve.point(v))) {
        problems.push_back("line vertex " + std::to_string(v) + " lost in the surface");
      }
    }
    for (index_t e = 0; e < curve.nb_edges(); ++e) {
      const index_t a = surface_vertex({line.component_id(), curve.edge_vertex({e, 0})});
      const index_t b = surface_vertex({line.component_id(), curve.edge_vertex({e, 1})});
      if (a == NO_ID || b == NO_ID ||
          !(mesh.polygon_edge_from_vertices(a, b) || mesh.polygon_edge_from_vertices(b, a))) {
        problems.push_back("line edge " + std::to_string(e) + " missing from the surface");
      }
    }
  };
  for (auto const& line : section.boundaries(surface)) check_line(line);
  for (auto const& line : section.internal_lines(surface)) check_line(line);
  for (auto const& corner : section.internal_corners(surface)) {
    if (surface_vertex({corner.component_id(), 0}) == NO_ID) {
      problems.push_back("internal corner lost in the surface");
    }
  }
  return problems;
}

bool has_working_attribute(SurfaceMesh<2> const& mesh) {
  for (auto const& name : {"stamp", "quality", "fixed"}) {
    if (mesh.vertex_attribute_manager().attribute_exists(name) ||
        mesh.polygon_attribute_manager().attribute_exists(name)) {
      return true;
    }
  }
  return false;
}

// --- Poor Sections of real size ------------------------------------------------

Section jittered_grid() {
  const index_t n = 100;
  auto planar = test::grid_mesh(n);
  test::jitter_interior(planar, n, 0.45, 1);
  return std::move(test::make_rectangle_section(planar, n, n).section);
}

constexpr index_t low_valence_grid = 90;

Section many_low_valences() {
  const index_t n = low_valence_grid;
  auto planar = test::grid_mesh(n);
  test::jitter_interior(planar, n, 0.2, 2);
  for (index_t j = 0; j < n; ++j) {
    for (index_t i = 0; i < n; ++i) {
      if ((i + j) % 5 == 0) test::insert_square_centre(planar, n, i, j);
      if ((i + j) % 5 == 2) test::insert_centroid(planar, 2 * (i + n * j));
    }
  }
  return std::move(test::make_rectangle_section(planar, n, n).section);
}

Section two_surfaces_sharing_a_line() {
  const index_t n = 80;
  auto fixture = test::make_two_surface_section(n);
  test::jitter_free_vertices(fixture.section, 0.45 / n, 3);
  return std::move(fixture.section);
}

Section internal_line_and_corner() {
  const index_t n = 25;
  auto fixture = test::make_internal_line_section(n);
  test::jitter_free_vertices(fixture.section, 0.45 / n, 4);
  return std::move(fixture.section);
}

//! The vertices strictly inside [0, size]^2 with three or four triangles.
index_t nb_low_valence_vertices(Section const& section, double size) {
  index_t count = 0;
  for (auto const& surface : section.surfaces()) {
    auto const& mesh = surface.get_mesh();
    for (index_t v = 0; v < mesh.nb_vertices(); ++v) {
      auto const& p = mesh.point(v);
      const bool inside = p.value(0) > 0 && p.value(0) < size && p.value(1) > 0 && p.value(1) < size;
      count += inside && mesh.polygons_around_vertex(v).size() <= 4;
    }
  }
  return count;
}

struct RelaxationCase {
  char const* name;
  std::function<Section()> make;
  //! The metric's length, or 0 for none.
  double metric_length;
  //! The square the surfaces cover, for counting vertices of few triangles
  //! (0: not counted).
  double size;
};

TEST(RelaxSurfaces, ImprovesPoorSectionsAndKeepsThemValid) {
  const RelaxationCase cases[] = {
      {"jittered grid", jittered_grid, 0, 0},
      {"many vertices of three and four triangles", many_low_valences, 0, low_valence_grid},
      {"two surfaces sharing a line", two_surfaces_sharing_a_line, 0, 0},
      {"internal line and corner", internal_line_and_corner, 0, 0},
      {"jittered grid, coarse metric", jittered_grid, 2.0, 0},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    Section section = c.make();
    ASSERT_TRUE(test::is_valid_model(section));
    const auto fixed_points = line_and_corner_points(section);
    const QualityStats before = quality_stats(section);
    const index_t low_before = c.size > 0 ? nb_low_valence_vertices(section, c.size) : 0;

    if (c.metric_length > 0) {
      relax_surfaces(section, ConstantMetric<2>{c.metric_length});
    } else {
      relax_surfaces(section);
    }

    const QualityStats after = quality_stats(section);
    std::printf("%-45s %7u triangles, quality min %.4f mean %.4f -> %7u triangles, min %.4f mean %.4f\n",
                c.name, before.nb_triangles, before.min, before.mean, after.nb_triangles, after.min,
                after.mean);
    EXPECT_GT(after.min, before.min);
    EXPECT_GT(after.mean, before.mean);
    if (c.size > 0) {
      // Without a metric, vertices of three and four triangles still go.
      EXPECT_GT(low_before, 1000u);
      EXPECT_LT(nb_low_valence_vertices(section, c.size), low_before / 20);
    }
    EXPECT_TRUE(test::is_valid_model(section));
    EXPECT_EQ(line_and_corner_points(section), fixed_points);
    for (auto const& surface : section.surfaces()) {
      auto const& mesh = dynamic_cast<TriangulatedSurface<2> const&>(surface.get_mesh());
      EXPECT_TRUE(test::is_valid_surface(mesh));
      EXPECT_EQ(conformity_problems(section, surface), std::vector<std::string>{});
      EXPECT_FALSE(has_working_attribute(mesh));
      // Cleaned: every triangle and every vertex is in use.
      for (index_t t = 0; t < mesh.nb_polygons(); ++t) ASSERT_TRUE(mesh.is_polygon_active(t));
      for (index_t v = 0; v < mesh.nb_vertices(); ++v) {
        ASSERT_FALSE(mesh.polygons_around_vertex(v).empty());
      }
    }
  }
}

// Only swaps: no vertex may move or go when every vertex lies on a line.
TEST(RelaxSurfaces, OnlySwapsWhenEveryVertexLiesOnALine) {
  // A fan from (0, 0) over the border of [0, 4] x [0, 1].
  test::PlanarMesh planar;
  planar.points = {{{0, 0}}, {{1, 0}}, {{2, 0}}, {{3, 0}}, {{4, 0}}, {{4, 1}},
                   {{3, 1}}, {{2, 1}}, {{1, 1}}, {{0, 1}}};
  for (index_t v = 1; v + 1 < 10; ++v) planar.triangles.push_back({{0, v, v + 1}});
  auto fixture = test::make_rectangle_section(planar, 4, 1);
  auto const& mesh = fixture.section.surface(fixture.surface).get_mesh();
  std::vector<Point<2>> points;
  for (index_t v = 0; v < mesh.nb_vertices(); ++v) points.push_back(mesh.point(v));
  const QualityStats before = quality_stats(fixture.section);

  relax_surfaces(fixture.section);

  std::vector<Point<2>> after_points;
  for (index_t v = 0; v < mesh.nb_vertices(); ++v) after_points.push_back(mesh.point(v));
  EXPECT_EQ(after_points, points);
  EXPECT_EQ(mesh.nb_polygons(), 8u);
  EXPECT_GT(quality_stats(fixture.section).min, before.min);
  EXPECT_TRUE(test::is_valid_surface(dynamic_cast<TriangulatedSurface<2> const&>(mesh)));
}

TEST(RelaxSurfaces, ReportsOneStepPerSurface) {
  struct Event {
    ProgressLogger::Event::Kind kind;
    std::string title;
    index_t nb_steps;
  };
  std::vector<Event> events;
  const auto previous = ProgressLogger::set_observer([&events](ProgressLogger::Event const& event) {
    events.push_back({event.kind, std::string{event.title}, event.nb_steps});
  });
  ProgressLogger::set_quiet(true);

  Section empty;
  relax_surfaces(empty);
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.front().title, "Relaxing Surfaces");
  EXPECT_EQ(events.front().nb_steps, 0u);
  EXPECT_EQ(events.back().kind, ProgressLogger::Event::Kind::end);

  // A surface without triangles next to one with some.
  events.clear();
  auto fixture = test::make_two_surface_section(2);
  SectionBuilder builder{fixture.section};
  uuid const& bare = builder.add_surface();
  relax_surfaces(fixture.section, ConstantMetric<2>{0.5});
  index_t increments = 0;
  for (auto const& event : events) {
    EXPECT_EQ(event.title, "Relaxing Surfaces");
    increments += event.kind == ProgressLogger::Event::Kind::increment;
  }
  EXPECT_EQ(events.front().nb_steps, 3u);
  EXPECT_EQ(increments, 3u);
  for (auto const& surface : fixture.section.surfaces()) {
    EXPECT_FALSE(has_working_attribute(surface.get_mesh()));
  }
  EXPECT_EQ(fixture.section.surface(bare).get_mesh().nb_vertices(), 0u);

  ProgressLogger::set_observer(previous);
  ProgressLogger::set_quiet(false);
}

//! A metric that cannot be evaluated.
class FailingMetric : public Metric<2> {
 public:
  double edge_length(Point<2> const& /*point*/) const override {
    throw UlvaneException("[FailingMetric] no length here");
  }
};

TEST(RelaxSurfaces, LeavesNoWorkingAttributeWhenItFails) {
  auto fixture = test::make_two_surface_section(4);
  try {
    relax_surfaces(fixture.section, FailingMetric{});
    FAIL() << "no exception";
  } catch (UlvaneException const& error) {
    EXPECT_STREQ(error.what(), "[FailingMetric] no length here");
  }
  for (auto const& surface : fixture.section.surfaces()) {
    EXPECT_FALSE(has_working_attribute(surface.get_mesh()));
  }
  EXPECT_TRUE(test::is_valid_model(fixture.section));
}


// --- Bad input and surfaces off lines -------------------------------------------

//! Every point and triangle of every surface, written out, NaN included.
std::string snapshot(Section const& section) {
  std::string text;
  for (auto const& surface : section.surfaces()) {
    auto const& mesh = surface.get_mesh();
    absl::StrAppend(&text, surface.id().string(), ":");
    for (index_t v = 0; v < mesh.nb_vertices(); ++v) {
      absl::StrAppend(&text, " (", mesh.point(v).value(0), " ", mesh.point(v).value(1), ")");
    }
    for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
      absl::StrAppend(&text, " [");
      for (local_index_t k = 0; k < mesh.nb_polygon_vertices(t); ++k) {
        absl::StrAppend(&text, " ", mesh.polygon_vertex({t, k}));
      }
      absl::StrAppend(&text, " ]");
    }
    absl::StrAppend(&text, "\n");
  }
  return text;
}

//! Adds a surface meshed by `planar`, shifted by `shift` in x, with each
//! vertex linked to a unique vertex of its own and no line or corner.
uuid const& add_free_surface(Section& section, test::PlanarMesh const& planar, double shift,
                             bool adjacencies = true) {
  SectionBuilder builder{section};
  auto mesh = TriangulatedSurface<2>::create();
  {
    auto mesh_builder = TriangulatedSurfaceBuilder<2>::create(*mesh);
    for (auto const& p : planar.points) {
      mesh_builder->create_point(Point<2>{{p[0] + shift, p[1]}});
    }
    for (auto const& triangle : planar.triangles) mesh_builder->create_triangle(triangle);
    if (adjacencies) mesh_builder->compute_polygon_adjacencies();
  }
  uuid const& id = builder.add_surface(std::move(mesh));
  for (index_t v = 0; v < planar.points.size(); ++v) {
    builder.set_unique_vertex({ComponentID{"Surface", id}, v}, builder.create_unique_vertex());
  }
  return id;
}

//! A metric of 1, and of `far_length` from x = 150 on.
class FarMetric : public Metric<2> {
 public:
  explicit FarMetric(double far_length) : far_length_(far_length) {}
  double edge_length(Point<2> const& point) const override {
    return point.value(0) < 150 ? 1.0 : far_length_;
  }

 private:
  double far_length_;
};

TEST(RelaxSurfaces, RefusesBadInputBeforeChangingAnySurface) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const auto with_point = [](index_t vertex, std::array<double, 2> point) {
    auto planar = test::grid_mesh(2);
    planar.points[vertex] = point;
    return planar;
  };
  auto clockwise = test::grid_mesh(2);
  std::swap(clockwise.triangles[3][1], clockwise.triangles[3][2]);
  const FarMetric zero{0.0}, negative{-1.0}, not_a_number{nan}, infinite{inf};

  struct BadInput {
    char const* name;
    //! Adds the bad surface, after a poor but good one.
    std::function<uuid(Section&)> add;
    Metric<2> const* metric;
    //! The message after "[relax_surfaces] ", with the bad surface's name.
    std::function<std::string(std::string const&)> message;
  };
  const auto metric_case = [](char const* name, FarMetric const& metric, char const* value) {
    return BadInput{name,
                    [](Section& s) { return add_free_surface(s, test::grid_mesh(2), 200); },
                    &metric, [value](std::string const& surface) {
                      return absl::StrCat("The metric must give positive finite lengths, got ",
                                          value, " at vertex 0 of ", surface);
                    }};
  };
  const BadInput cases[] = {
      {"polygonal surface",
       [](Section& s) {
         SectionBuilder builder{s};
         return builder.add_surface(PolygonalSurface<2>::create());
       },
       nullptr,
       [](std::string const& surface) { return surface + " is not a TriangulatedSurface"; }},
      {"not-a-number coordinate",
       [&](Section& s) { return add_free_surface(s, with_point(4, {{nan, 1}}), 0); }, nullptr,
       [](std::string const& surface) {
         return "Vertex 4 of " + surface + " is not at a finite point: (nan, 1)";
       }},
      {"infinite coordinate",
       [&](Section& s) { return add_free_surface(s, with_point(4, {{1, -inf}}), 0); }, nullptr,
       [](std::string const& surface) {
         return "Vertex 4 of " + surface + " is not at a finite point: (1, -inf)";
       }},
      {"clockwise triangle", [&](Section& s) { return add_free_surface(s, clockwise, 200); },
       nullptr,
       [](std::string const& surface) { return "Triangle 3 of " + surface + " is clockwise"; }},
      {"adjacencies not computed",
       [](Section& s) { return add_free_surface(s, test::grid_mesh(2), 200, false); }, nullptr,
       [](std::string const& surface) {
         return "Triangles 0 and 1 of " + surface +
                " share an edge but are not adjacent: compute the polygon adjacencies";
       }},
      metric_case("metric of zero", zero, "0.000000"),
      metric_case("negative metric", negative, "-1.000000"),
      metric_case("not-a-number metric", not_a_number, "nan"),
      metric_case("infinite metric", infinite, "inf"),
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    Section section = jittered_grid();
    const std::string bad = "Surface " + c.add(section).string();
    const std::string before = snapshot(section);
    try {
      if (c.metric != nullptr) {
        relax_surfaces(section, *c.metric);
      } else {
        relax_surfaces(section);
      }
      ADD_FAILURE() << "no exception";
    } catch (UlvaneException const& error) {
      EXPECT_EQ(std::string{error.what()}, "[relax_surfaces] " + c.message(bad));
    }
    EXPECT_EQ(snapshot(section), before);
    for (auto const& surface : section.surfaces()) {
      EXPECT_FALSE(has_working_attribute(surface.get_mesh()));
    }
  }
}

double area(SurfaceMesh<2> const& mesh) {
  double sum = 0;
  for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
    if (!mesh.is_polygon_active(t)) continue;
    auto const& a = mesh.point(mesh.polygon_vertex({t, 0}));
    auto const& b = mesh.point(mesh.polygon_vertex({t, 1}));
    auto const& c = mesh.point(mesh.polygon_vertex({t, 2}));
    sum += ((b.value(0) - a.value(0)) * (c.value(1) - a.value(1)) -
            (b.value(1) - a.value(1)) * (c.value(0) - a.value(0))) /
           2;
  }
  return sum;
}

index_t nb_clockwise_or_flat(SurfaceMesh<2> const& mesh) {
  index_t count = 0;
  for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
    if (!mesh.is_polygon_active(t)) continue;
    count += orientation_2d(mesh.point(mesh.polygon_vertex({t, 0})),
                            mesh.point(mesh.polygon_vertex({t, 1})),
                            mesh.point(mesh.polygon_vertex({t, 2}))) != Sign::positive;
  }
  return count;
}

// A crack: the triangles above the segment from (1, 2) to (3, 2) use a copy
// of vertex (2, 2), so the segment's two edges are on the border twice
// although no line lies there. Moving either copy would open a hole.
TEST(RelaxSurfaces, KeepsACrackClosedAndTheAreaUnchanged) {
  const index_t n = 4;
  auto planar = test::grid_mesh(n);
  test::jitter_interior(planar, n, 0.3, 5);
  const index_t below = 2 + (n + 1) * 2;
  const index_t above = static_cast<index_t>(planar.points.size());
  planar.points.push_back(planar.points[below]);
  for (auto& triangle : planar.triangles) {
    double y = 0;
    for (const index_t v : triangle) y += planar.points[v][1];
    if (y / 3 <= planar.points[below][1]) continue;
    for (auto& v : triangle) {
      if (v == below) v = above;
    }
  }
  auto fixture = test::make_rectangle_section(planar, n, n);
  auto const& mesh = fixture.section.surface(fixture.surface).get_mesh();
  ASSERT_EQ(mesh.polygons_around_vertex(below).size(), 3u);
  ASSERT_EQ(mesh.polygons_around_vertex(above).size(), 3u);
  const Point<2> crack = mesh.point(below);
  const double before = area(mesh);

  relax_surfaces(fixture.section);

  // Both copies are still in use where they were.
  index_t nb_copies = 0;
  for (index_t v = 0; v < mesh.nb_vertices(); ++v) {
    nb_copies += mesh.point(v) == crack && !mesh.polygons_around_vertex(v).empty();
  }
  EXPECT_EQ(nb_copies, 2u);
  EXPECT_NEAR(area(mesh), before, 1e-12);
  EXPECT_TRUE(test::is_valid_surface(dynamic_cast<TriangulatedSurface<2> const&>(mesh)));
}

// Two triangles that touch at one vertex and nowhere else: its triangles
// form two fans, whichever of them the mesh walks from.
TEST(RelaxSurfaces, TurnsNoTriangleOverWhereTwoFansMeet) {
  const std::array<std::array<index_t, 3>, 2> thin{{{{0, 1, 2}}, {{0, 3, 4}}}};
  const std::array<std::array<index_t, 3>, 2> swapped{{thin[1], thin[0]}};
  for (auto const& triangles : {thin, swapped}) {
    test::PlanarMesh planar;
    // (0, 0) moving towards the ideal place of the thin triangle would
    // cross the far edge of the other one.
    planar.points = {{{0, 0}}, {{4, 0}}, {{4, 1}}, {{0.5, 0.15}}, {{-1, 1}}};
    planar.triangles.assign(triangles.begin(), triangles.end());
    Section section;
    uuid const& id = add_free_surface(section, planar, 0);
    auto const& mesh = section.surface(id).get_mesh();
    ASSERT_EQ(mesh.polygons_around_vertex(0).size(), 1u);
    const double before = area(mesh);

    relax_surfaces(section);

    EXPECT_EQ(nb_clockwise_or_flat(mesh), 0u);
    EXPECT_NEAR(area(mesh), before, 1e-12);
  }
}

TEST(RelaxSurfaces, LogsWhenItStopsAfterItsRoundBound) {
  std::vector<std::string> lines;
  const auto previous = Logger::set_sink(
      [&lines](Logger::Level, absl::string_view line) { lines.emplace_back(line); });
  ProgressLogger::set_quiet(true);
  Section section = jittered_grid();
  const std::string surface = section.surfaces().begin()->id().string();

  detail::relax_section_surfaces(section, nullptr, 1);
  EXPECT_EQ(lines, std::vector<std::string>{"[relax_surfaces] Stopped after 1 rounds with work "
                                            "left on Surface " + surface});
  EXPECT_TRUE(test::is_valid_model(section));
  EXPECT_FALSE(has_working_attribute(section.surfaces().begin()->get_mesh()));

  lines.clear();
  relax_surfaces(section);
  EXPECT_EQ(lines, std::vector<std::string>{});

  Logger::set_sink(previous);
  ProgressLogger::set_quiet(false);
}

}  // namespace
}  // namespace tarnix
