// Preparation of the working surface, the initial front and the debug dump.

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <absl/strings/str_cat.h>

#include <common/variable_attribute.h>
#include <mesh/surface_fixtures.h>
#include <mesh/surface_validity.h>
#include <ulvane/basic/logger.h>
#include <ulvane/geometry/predicates.h>
#include <ulvane/mesh/triangulated_surface_io.h>

#include "frontal/frontal_test_support.h"

namespace tarnix {
namespace test {
namespace {

struct Fixture {
  Fixture(std::unique_ptr<TriangulatedSurface<2>> surface, std::vector<unsigned int> given_ids)
      : mesh(std::move(surface)),
        builder(TriangulatedSurfaceBuilder<2>::create(*mesh)),
        given(std::move(given_ids)),
        remesher(*mesh, *builder, metric, given) {}

  std::unique_ptr<TriangulatedSurface<2>> mesh;
  std::unique_ptr<TriangulatedSurfaceBuilder<2>> builder;
  ConstantMetric<2> metric{1.0};
  std::vector<unsigned int> given;
  TestRemesher remesher;
};

// A square of side 2 * scale whose centre is two vertices 1e-7 * scale
// apart, E (4) and F (5):
//
//   D ------- C
//   | \     / |
//   |  E - F  |
//   | /     \ |
//   A ------- B
//
// The two triangles on EF come last, or first with `short_edge_first`.
std::unique_ptr<TriangulatedSurface<2>> square_with_short_edge(double scale = 1.0,
                                                               bool short_edge_first = false) {
  std::vector<std::array<index_t, 3>> triangles{{0, 1, 5}, {1, 2, 5}, {2, 3, 4},
                                                     {3, 0, 4}, {0, 5, 4}, {2, 4, 5}};
  if (short_edge_first) std::rotate(triangles.begin(), triangles.begin() + 4, triangles.end());
  return make_surface<2>({{0, 0},
                          {2 * scale, 0},
                          {2 * scale, 2 * scale},
                          {0, 2 * scale},
                          {scale, scale},
                          {(1 + 1e-7) * scale, scale}},
                         triangles);
}

unsigned int nb_active_triangles(TriangulatedSurface<2> const& mesh) {
  unsigned int nb_active = 0;
  for (unsigned int t = 0; t < mesh.nb_polygons(); ++t) {
    if (mesh.is_polygon_active(t)) ++nb_active;
  }
  return nb_active;
}

// A collapse never removes a given vertex: it keeps the given end, and an
// edge between two given vertices stays. Every given vertex keeps its own
// output vertex, in the order given, and its lock.
TEST(PrepareSurface, CollapsesShortEdgesAndKeepsTheGivenVertices) {
  struct Case {
    char const* name;
    std::vector<unsigned int> given;
    unsigned int nb_active;
  };
  const std::vector<Case> cases{
      {"first end given", {4, 0}, 4},
      {"second end given", {5, 0}, 4},
      {"both ends given", {4, 5, 0}, 6},
      {"no end given", {0}, 4},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f(square_with_short_edge(), c.given);
    f.remesher.prepare_surface();
    expect_valid_surface(*f.mesh);
    EXPECT_EQ(nb_active_triangles(*f.mesh), c.nb_active);
    for (unsigned int o = 0; o < c.given.size(); ++o) {
      const unsigned int g = c.given[o];
      EXPECT_EQ(f.remesher.modifier.updated_vertex(g), g) << "given vertex " << g << " merged";
      EXPECT_EQ(f.remesher.output_vertex_of(g), o);
      EXPECT_TRUE(f.remesher.is_vertex_locked(g));
      EXPECT_FALSE(f.mesh->polygons_around_vertex(g).empty());
    }
    EXPECT_FALSE(f.remesher.is_vertex_locked(1));
  }
}

// The collapse length scales with the model below size 1: a model of size
// 2e-7 keeps its triangles and still loses its 1e-14 edge, and a model of
// size 2e3 keeps its 1e-4 edge.
TEST(PrepareSurface, CollapsesOnlyEdgesShortForTheModelSize) {
  struct Case {
    double scale;
    unsigned int nb_active;
  };
  for (auto const& c : {Case{1e-7, 4}, Case{1.0, 4}, Case{1e3, 6}}) {
    SCOPED_TRACE(c.scale);
    Fixture f(square_with_short_edge(c.scale), {0});
    f.remesher.prepare_surface();
    expect_valid_surface(*f.mesh);
    EXPECT_EQ(nb_active_triangles(*f.mesh), c.nb_active);
  }
}

// The smallest angle of the active triangles, in degrees.
double smallest_angle_degrees(TriangulatedSurface<2> const& mesh) {
  double smallest = 180.0;
  for (unsigned int t = 0; t < mesh.nb_polygons(); ++t) {
    if (!mesh.is_polygon_active(t)) continue;
    for (local_index_t k = 0; k < 3; ++k) {
      Point<2> const& p = mesh.point(mesh.polygon_vertex({t, k}));
      Point<2> const& q = mesh.point(mesh.polygon_vertex({t, static_cast<local_index_t>((k + 1) % 3)}));
      Point<2> const& r = mesh.point(mesh.polygon_vertex({t, static_cast<local_index_t>((k + 2) % 3)}));
      const double ux = q.value(0) - p.value(0);
      const double uy = q.value(1) - p.value(1);
      const double vx = r.value(0) - p.value(0);
      const double vy = r.value(1) - p.value(1);
      const double angle = std::atan2(std::abs(ux * vy - uy * vx), ux * vx + uy * vy);
      smallest = std::min(smallest, angle * 180.0 / M_PI);
    }
  }
  return smallest;
}

// Cuts into triangles much larger than the target length fill them with
// slivers; the inner edges are split first down to four times the target
// length (1 here), and the border edges stay.
TEST(PrepareSurface, SplitsInnerEdgesMuchLongerThanTheTarget) {
  // A square of side 16 whose border is split into unit edges, fanned
  // from its centre (vertex 64): inner edges 8 to 8 sqrt(2) long.
  std::vector<std::array<double, 2>> points;
  for (int i = 0; i < 16; ++i) points.push_back({double(i), 0.0});
  for (int i = 0; i < 16; ++i) points.push_back({16.0, double(i)});
  for (int i = 0; i < 16; ++i) points.push_back({16.0 - i, 16.0});
  for (int i = 0; i < 16; ++i) points.push_back({0.0, 16.0 - i});
  points.push_back({8.0, 8.0});
  std::vector<std::array<index_t, 3>> triangles;
  for (index_t v = 0; v < 64; ++v) triangles.push_back({64, v, (v + 1) % 64});
  Fixture f(make_surface<2>(points, triangles), {0, 16, 32, 48});
  f.remesher.prepare_surface();
  f.remesher.create_polygon_attributes();
  f.remesher.refine_coarse_triangles();
  expect_valid_surface(*f.mesh);
  unsigned int nb_border = 0;
  for (unsigned int t = 0; t < f.mesh->nb_polygons(); ++t) {
    if (!f.mesh->is_polygon_active(t)) continue;
    for (local_index_t j = 0; j < 3; ++j) {
      if (f.mesh->is_edge_on_border({t, j})) {
        ++nb_border;
        EXPECT_NEAR(f.mesh->edge_length({t, j}), 1.0, 1e-12);
      } else {
        EXPECT_LE(f.mesh->edge_length({t, j}), 4.0);
      }
    }
  }
  EXPECT_EQ(nb_border, 64u);
  EXPECT_GT(nb_active_triangles(*f.mesh), 64u);
  EXPECT_NEAR(surface_area(*f.mesh), 256.0, 1e-9);
  // Splits alone leave slivers of 3 degrees along the fan's edges; the
  // flips around each new point more than double the smallest angle.
  EXPECT_GT(smallest_angle_degrees(*f.mesh), 6.0);
}

// Two triangles meeting at the given vertex 0 only.
std::unique_ptr<TriangulatedSurface<2>> bowtie() {
  return make_surface<2>({{0, 0}, {1, 0}, {1, 1}, {-1, 0}, {-1, -1}}, {{0, 1, 2}, {0, 3, 4}});
}

// An n x n grid of cells, point (i, j) at `point`(i, j), whose cell (i, j)
// is cut from its corner (i, j) when `from_corner`(i, j), else along the
// other diagonal. The points are placed first, then the cells cut, each in
// row order.
std::unique_ptr<TriangulatedSurface<2>> cut_grid(
    index_t n, std::function<std::array<double, 2>(index_t, index_t)> const& point,
    std::function<bool(index_t, index_t)> const& from_corner) {
  std::vector<std::array<double, 2>> points;
  for (index_t j = 0; j <= n; ++j) {
    for (index_t i = 0; i <= n; ++i) points.push_back(point(i, j));
  }
  std::vector<std::array<index_t, 3>> triangles;
  for (index_t j = 0; j < n; ++j) {
    for (index_t i = 0; i < n; ++i) {
      const index_t a = j * (n + 1) + i;
      const index_t b = a + 1;
      const index_t c = a + n + 2;
      const index_t d = a + n + 1;
      if (from_corner(i, j)) {
        triangles.push_back({a, b, c});
        triangles.push_back({a, c, d});
      } else {
        triangles.push_back({a, b, d});
        triangles.push_back({b, c, d});
      }
    }
  }
  return make_surface<2>(points, triangles);
}

// An n x n grid of parallelograms (sides (1, 0) and (0.9, 0.35)), each cut
// along its long diagonal, into two slivers that one flip makes fair,
// when `every_cell` or in every other cell; the others are cut along the
// short diagonal.
std::unique_ptr<TriangulatedSurface<2>> sheared_grid(index_t n, bool every_cell) {
  return cut_grid(
      n, [](index_t i, index_t j) { return std::array<double, 2>{i + 0.9 * j, 0.35 * j}; },
      [every_cell](index_t i, index_t j) { return every_cell || (i + j) % 2 == 0; });
}

// An n x n grid of squares of side `side` whose inner points move by up
// to 0.4 side in each direction and whose cells are cut along either
// diagonal, both drawn from `seed`.
std::unique_ptr<TriangulatedSurface<2>> jittered_grid(index_t n, unsigned int seed,
                                                      double side = 1.0) {
  unsigned int state = seed * 2654435761u + 12345u;
  const auto draw = [&state] {
    state = state * 1664525u + 1013904223u;
    return (state >> 8) / double(1u << 24);
  };
  return cut_grid(
      n,
      [n, side, &draw](index_t i, index_t j) {
        const bool inner = i > 0 && j > 0 && i < n && j < n;
        const double x = inner ? i + 0.8 * (draw() - 0.5) : i;
        const double y = inner ? j + 0.8 * (draw() - 0.5) : j;
        return std::array<double, 2>{side * x, side * y};
      },
      [&draw](index_t, index_t) { return draw() < 0.5; });
}

std::vector<std::array<index_t, 3>> triangle_vertices(TriangulatedSurface<2> const& mesh) {
  std::vector<std::array<index_t, 3>> vertices;
  for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
    vertices.push_back({mesh.polygon_vertex({t, 0}), mesh.polygon_vertex({t, 1}),
                        mesh.polygon_vertex({t, 2})});
  }
  return vertices;
}

// The first flips of the refinement, which meet every inner edge from both
// sides, flip exactly the edges that testing each pending edge in turn
// flips, also where a flip comes between the two sides of an edge (no
// inner edge here is long enough to split).
TEST(PrepareSurface, FlipsTheSliversAsTestingEveryEdgeInTurnDoes) {
  struct Case {
    char const* name;
    std::function<std::unique_ptr<TriangulatedSurface<2>>()> surface;
    std::size_t nb_flips;
  };
  // In the jittered grid a flip rewrites a triangle whose edge was refused
  // from its other side before; the rewritten edge is then flipped.
  for (Case const& c : {Case{"sheared, every cell", [] { return sheared_grid(6, true); }, 36},
                        Case{"sheared, every other cell", [] { return sheared_grid(6, false); }, 18},
                        Case{"jittered", [] { return jittered_grid(6, 209); }, 5}}) {
    SCOPED_TRACE(c.name);
    Fixture refined(c.surface(), {0});
    refined.remesher.prepare_surface();
    refined.remesher.create_polygon_attributes();
    refined.remesher.refine_coarse_triangles();

    Fixture reference(c.surface(), {0});
    reference.remesher.prepare_surface();
    reference.remesher.create_polygon_attributes();
    std::vector<PolygonEdge> pending;
    for (index_t t = 0; t < reference.mesh->nb_polygons(); ++t) {
      for (local_index_t j = 0; j < 3; ++j) pending.push_back({t, j});
    }
    std::size_t nb_flips = 0;
    while (!pending.empty()) {
      const PolygonEdge edge = pending.back();
      pending.pop_back();
      if (const auto outer = reference.remesher.flip_if_better(edge)) {
        ++nb_flips;
        pending.insert(pending.end(), outer->begin(), outer->end());
      }
    }
    EXPECT_EQ(nb_flips, c.nb_flips);
    EXPECT_EQ(refined.mesh->nb_polygons(), 72u);
    EXPECT_EQ(triangle_vertices(*refined.mesh), triangle_vertices(*reference.mesh));
  }
}

// The refinement measures each inner edge against its target once per
// pass, for both of its sides; splits and flips rewrite triangles between
// the two, and still no inner edge is left longer than four targets or
// four times the longest border edge of its two triangles.
TEST(PrepareSurface, LeavesNoInnerEdgeLongerThanFourTargetsAfterSplitsAndFlips) {
  for (const unsigned int seed : {0u, 4u}) {
    SCOPED_TRACE(seed);
    Fixture f(jittered_grid(4, seed, 6.0), {0});
    f.remesher.prepare_surface();
    f.remesher.create_polygon_attributes();
    f.remesher.refine_coarse_triangles();
    expect_valid_surface(*f.mesh);
    EXPECT_GT(nb_active_triangles(*f.mesh), 32u);
    const auto longest_border_edge = [&f](unsigned int t) {
      double length = 0.0;
      for (local_index_t k = 0; k < 3; ++k) {
        if (f.mesh->is_edge_on_border({t, k})) {
          length = std::max(length, f.mesh->edge_length({t, k}));
        }
      }
      return length;
    };
    for (unsigned int t = 0; t < f.mesh->nb_polygons(); ++t) {
      if (!f.mesh->is_polygon_active(t)) continue;
      for (local_index_t j = 0; j < 3; ++j) {
        if (f.mesh->is_edge_on_border({t, j})) continue;
        const double border = std::max(longest_border_edge(t),
                                       longest_border_edge(f.mesh->polygon_adjacent({t, j}).value()));
        EXPECT_LE(f.mesh->edge_length({t, j}), 4.0 * std::max(1.0, border)) << t << " " << int(j);
      }
    }
  }
}

TEST(PrepareSurface, SplitsAGivenVertexWhereTwoFansMeet) {
  Fixture f(bowtie(), {0});
  f.remesher.prepare_surface();
  ASSERT_EQ(f.mesh->nb_vertices(), 6u);
  const unsigned int copy = 5;
  EXPECT_EQ(f.mesh->point(copy), f.mesh->point(0));
  EXPECT_EQ(f.mesh->polygons_around_vertex(0).size(), 1u);
  EXPECT_EQ(f.mesh->polygons_around_vertex(copy).size(), 1u);
  EXPECT_NE(f.mesh->polygon_vertex({0, 0}), f.mesh->polygon_vertex({1, 0}));
  // The given vertex first, then its copy; both given and locked.
  auto const& origins = f.remesher.output_vertex_origins();
  ASSERT_EQ(origins.size(), 2u);
  EXPECT_EQ(origins[0].input_vertex, 0u);
  EXPECT_EQ(origins[1].input_vertex, copy);
  EXPECT_EQ(origins[0].given, 1);
  EXPECT_EQ(origins[1].given, 1);
  EXPECT_TRUE(f.remesher.is_vertex_locked(0));
  EXPECT_TRUE(f.remesher.is_vertex_locked(copy));
  expect_valid_surface(*f.mesh);
}

TEST(PrepareSurface, LeavesAManifoldSurfaceUnchanged) {
  Fixture f(make_grid<2>(2), {0, 4});
  f.remesher.prepare_surface();
  EXPECT_EQ(f.mesh->nb_vertices(), 9u);
  for (unsigned int t = 0; t < f.mesh->nb_polygons(); ++t) EXPECT_TRUE(f.mesh->is_polygon_active(t));
  EXPECT_EQ(f.remesher.output_vertex_origins().size(), 2u);
}

std::vector<std::vector<unsigned int>> front_macro_edges(TestRemesher& remesher) {
  std::vector<std::vector<unsigned int>> result;
  auto front = remesher.front;
  while (!front.empty()) {
    auto const& edge = front.top();
    result.push_back({edge.start, edge.end, static_cast<unsigned int>(edge.kind)});
    front.pop();
  }
  std::sort(result.begin(), result.end());
  return result;
}

// The grid of make_grid(2): border loop 0 1 2 5 8 7 6 3.
TEST(InitializeFront, MakesOneFrontEdgePerBorderStretch) {
  struct Case {
    char const* name;
    std::vector<unsigned int> given;
    std::vector<std::vector<unsigned int>> front;  // start, end, kind; sorted
  };
  const Case cases[] = {
      {"four corners", {0, 2, 8, 6}, {{0, 2, 0}, {2, 8, 0}, {6, 0, 0}, {8, 6, 0}}},
      {"one border vertex: a loop of length 0", {5}, {{5, 5, 0}}},
      {"no border vertex", {4}, {}},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f(make_grid<2>(2), c.given);
    f.remesher.prepare_surface();
    f.remesher.create_polygon_attributes();
    f.remesher.initialize_front();
    EXPECT_EQ(front_macro_edges(f.remesher), c.front);
    ASSERT_EQ(f.remesher.macro_edges.size(), c.front.size());
    for (auto const& sides : f.remesher.macro_edge_sides) {
      EXPECT_EQ(sides.first, NO_ID);
      EXPECT_EQ(sides.second, NO_ID);
    }
    // Every border edge of a stretch holds its macro edge, nothing else does.
    unsigned int nb_marked = 0;
    for (unsigned int t = 0; t < f.mesh->nb_polygons(); ++t) {
      for (local_index_t j = 0; j < 3; ++j) {
        const auto list = f.remesher.edge_info({t, j});
        if (list.empty()) continue;
        ++nb_marked;
        ASSERT_EQ(list.size(), 1u);
        EXPECT_TRUE(f.mesh->is_edge_on_border({t, j}));
        auto const& macro_edge = f.remesher.macro_edges[list[0]];
        EXPECT_EQ(f.remesher.macro_edge_chain(macro_edge[0], macro_edge[1], list[0]).size(),
                  c.front.size() == 1 ? 8u : 2u);
      }
    }
    EXPECT_EQ(nb_marked, c.front.empty() ? 0u : 8u);
  }
}

TEST(RemeshSurface, WithoutGivenBorderVertexGivesOnlyTheGivenOutputVertices) {
  auto mesh = make_grid<2>(2);
  auto builder = TriangulatedSurfaceBuilder<2>::create(*mesh);
  const std::vector<unsigned int> given{4};
  const auto result = detail::remesh_surface(*mesh, *builder, ConstantMetric<2>{1.0}, given);
  EXPECT_EQ(result.mesh->nb_vertices(), 1u);
  EXPECT_EQ(result.mesh->nb_polygons(), 0u);
  EXPECT_TRUE(result.unmeshed_regions.empty());
  ASSERT_EQ(result.vertex_origins.size(), 1u);
  EXPECT_EQ(result.vertex_origins[0].input_vertex, 4u);
}

// A strip of n unit cells; its border has 2n + 2 edges.
std::unique_ptr<TriangulatedSurface<2>> strip(unsigned int n) {
  std::vector<std::array<double, 2>> points;
  for (unsigned int j = 0; j < 2; ++j) {
    for (unsigned int i = 0; i <= n; ++i) points.push_back({double(i), double(j)});
  }
  std::vector<std::array<unsigned int, 3>> triangles;
  for (unsigned int i = 0; i < n; ++i) {
    triangles.push_back({i, i + 1, i + n + 2});
    triangles.push_back({i, i + n + 2, i + n + 1});
  }
  return make_surface<2>(points, triangles);
}

TEST(InitializeFront, EndsABorderStretchAfter10001Edges) {
  const unsigned int n = 5001;
  Fixture f(strip(n), {0});
  f.remesher.prepare_surface();
  f.remesher.create_polygon_attributes();
  f.remesher.initialize_front();
  // Bottom (5001 edges), right side (1), then 4999 edges of the top: the
  // stretch stops at the top vertex above x = 2, which gets an output vertex.
  const unsigned int stop = n + 1 + 2;
  EXPECT_EQ(front_macro_edges(f.remesher),
            (std::vector<std::vector<unsigned int>>{{0, stop, 0}, {stop, 0, 0}}));
  EXPECT_EQ(f.remesher.output_vertex_of(stop), 1u);
  EXPECT_EQ(f.remesher.output_vertex_origins()[1].given, 0);
  EXPECT_EQ(f.remesher.macro_edge_chain(0, stop, 0).size(), 10001u);
  EXPECT_EQ(f.remesher.macro_edge_chain(stop, 0, 1).size(), 3u);
}

std::string dump_file(unsigned int number) {
  return absl::StrCat("/tmp/iter", number, ".ul_tsf2d");
}

TEST(DumpIteration, WritesTheCleanedSurfaceUnderTheNextNumber) {
  // A number of this process's own, so that parallel test processes do not
  // write the same file.
  const unsigned int first = 1000000u + static_cast<unsigned int>(getpid());
  detail::dump_counter() = first;
  for (unsigned int run = 0; run < 2; ++run) {
    Fixture f(square_with_short_edge(), {0, 1, 2, 3});
    f.remesher.prepare_surface();
    f.remesher.create_polygon_attributes();
    f.remesher.initialize_front();
    EXPECT_EQ(detail::dump_counter().load(), first + run + 1);
    const auto loaded = load_triangulated_surface<2>(dump_file(first + run));
    // Cleaned: the two triangles removed by the collapse and vertex E are gone.
    EXPECT_EQ(loaded->nb_polygons(), 4u);
    EXPECT_EQ(loaded->nb_vertices(), 5u);
    expect_valid_surface(*loaded);
    // The working surface itself keeps its removed triangles and attributes.
    EXPECT_EQ(f.mesh->nb_polygons(), 6u);
    EXPECT_TRUE(f.mesh->polygon_attribute_manager().attribute_exists("edge info"));
    std::remove(dump_file(first + run).c_str());
  }
}

std::string file_content(std::string const& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

// The last active corner of the vertex, in triangle order.
PolygonVertex last_corner(TriangulatedSurface<2> const& mesh, unsigned int vertex) {
  PolygonVertex last;
  for (unsigned int t = 0; t < mesh.nb_polygons(); ++t) {
    if (!mesh.is_polygon_active(t)) continue;
    for (local_index_t k = 0; k < 3; ++k) {
      if (mesh.polygon_vertex({t, k}) == vertex) last = {t, k};
    }
  }
  return last;
}

// The dump holds the bytes a cleaned copy of the working surface would
// give: as it is when a clean changes nothing; without a vertex no
// triangle uses; without removed triangles, every index renumbered (the
// removed ones last, then first); and with each vertex's own associated
// corner, not merely its first one.
TEST(DumpIteration, WritesWhatTheCleanedCopyWouldHold) {
  struct Case {
    char const* name;
    bool short_edge;
    bool isolated_vertex;
    bool later_corner;
  };
  const unsigned int number = 3000000u + static_cast<unsigned int>(getpid());
  for (const Case c : {Case{"unchanged", false, false, false},
                       Case{"isolated vertex", false, true, false},
                       Case{"removed triangles", true, false, false},
                       Case{"removed triangles, later corners", true, true, true}}) {
    SCOPED_TRACE(c.name);
    detail::dump_counter() = number;
    Fixture f(c.short_edge ? square_with_short_edge(1.0, c.later_corner) : make_grid<2>(2),
              c.short_edge ? std::vector<unsigned int>{0, 1, 2, 3}
                           : std::vector<unsigned int>{0, 2, 8, 6});
    if (c.isolated_vertex) f.builder->create_point(Point<2>{{5.0, 5.0}});
    f.remesher.prepare_surface();
    if (c.later_corner) {
      for (unsigned int v = 0; v < 4; ++v) {
        f.builder->associate_polygon_vertex_to_vertex(last_corner(*f.mesh, v), v);
      }
    }
    f.remesher.create_polygon_attributes();
    f.remesher.initialize_front();
    auto expected = f.mesh->clone();
    auto expected_builder = TriangulatedSurfaceBuilder<2>::create(*expected);
    const auto mappings = expected_builder->clean();
    EXPECT_EQ(expected->nb_vertices(), c.short_edge ? 5u : 9u);
    EXPECT_EQ(mappings.polygons.back(), c.later_corner ? 3u : c.short_edge ? NO_ID : 7u);
    const std::string reference = dump_file(number) + ".expected";
    save_triangulated_surface<2>(*expected, reference);
    EXPECT_EQ(file_content(dump_file(number)), file_content(reference));
    std::remove(dump_file(number).c_str());
    std::remove(reference.c_str());
  }
}

// The polygon attributes are reserved to ten times the prepared surface,
// whatever the metric asks for, and grow geometrically beyond that.
TEST(CreatePolygonAttributes, ReservesTenTimesTheInputAndGrowsGeometrically) {
  for (const double length : {10.0, 1.0, 1e-4, 1e-9, 0.0, std::nan("")}) {
    SCOPED_TRACE(length);
    auto mesh = make_grid<2>(2);
    auto builder = TriangulatedSurfaceBuilder<2>::create(*mesh);
    const FunctionMetric metric([length](Point<2> const&) { return length; });
    const std::vector<unsigned int> given;
    TestRemesher remesher(*mesh, *builder, metric, given);
    remesher.create_polygon_attributes();
    auto const info = mesh->polygon_attribute_manager()
                          .find_attribute<VariableAttribute<detail::EdgeInfoLists>>("edge info");
    EXPECT_EQ(info->size(), 8u);
    EXPECT_EQ(info->capacity(), 80u);
    while (mesh->nb_polygons() <= 80) builder->create_triangle({0, 1, 4});
    EXPECT_EQ(info->size(), 81u);
    EXPECT_GE(info->capacity(), 160u);
  }
}

// Collects the warnings logged while it lives.
struct WarningLog {
  WarningLog()
      : previous(Logger::set_sink([this](Logger::Level level, absl::string_view line) {
          if (level == Logger::Level::warn) lines.emplace_back(line);
        })) {}
  ~WarningLog() { Logger::set_sink(previous); }
  std::vector<std::string> lines;
  Logger::Sink previous;
};

// Seeds the front of a unit square with one given vertex, the debug dump
// numbered `number`; returns the number of front edges.
std::size_t seed_unit_square_dumped_as(unsigned int number) {
  detail::dump_counter() = number;
  Fixture f(make_grid<2>(1), {0});
  f.remesher.prepare_surface();
  f.remesher.create_polygon_attributes();
  f.remesher.initialize_front();
  return f.remesher.front_queue().size();
}

// A dump that cannot be written costs the run nothing: it is logged, the
// front is seeded, and the number is used up.
TEST(DumpIteration, AFailedWriteIsLoggedAndTheRunGoesOn) {
  const unsigned int before = 2000000u + static_cast<unsigned int>(getpid());
  // A directory in the way of the file makes the write fail.
  const std::string blocked = dump_file(before);
  std::filesystem::create_directory(blocked);
  WarningLog log;
  std::size_t nb_front_edges = 0;
  EXPECT_NO_THROW(nb_front_edges = seed_unit_square_dumped_as(before));
  EXPECT_EQ(nb_front_edges, 1u);
  EXPECT_EQ(detail::dump_counter().load(), before + 1);
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_NE(log.lines[0].find("[FrontalRemesher::dump_iteration]"), std::string::npos);
  EXPECT_TRUE(std::filesystem::is_directory(blocked));
  // No temporary file is left beside it.
  unsigned int nb_left = 0;
  for (auto const& entry : std::filesystem::directory_iterator("/tmp")) {
    nb_left += entry.path().string().rfind(blocked + ".", 0) == 0 ? 1 : 0;
  }
  EXPECT_EQ(nb_left, 0u);
  std::filesystem::remove(blocked);
}

// A symbolic link at the dump's name is replaced, its target left alone; a
// file of another user at that name is not written.
TEST(DumpIteration, NeitherFollowsALinkNorWritesAnotherUsersFile) {
  const unsigned int number = 4000000u + static_cast<unsigned int>(getpid());
  const std::string file = dump_file(number);
  const std::string target = file + ".target";
  {
    std::ofstream(target) << "kept";
    std::filesystem::create_symlink(target, file);
    seed_unit_square_dumped_as(number);
    EXPECT_EQ(file_content(target), "kept");
    EXPECT_FALSE(std::filesystem::is_symlink(file));
    EXPECT_EQ(load_triangulated_surface<2>(file)->nb_polygons(), 2u);
    std::remove(file.c_str());
    std::remove(target.c_str());
  }
  std::ofstream(file) << "theirs";
  // Only a privileged test run can hand the file to another user.
  if (::chown(file.c_str(), 65534, 65534) != 0) {
    std::remove(file.c_str());
    GTEST_SKIP() << "cannot give a file to another user";
  }
  WarningLog log;
  seed_unit_square_dumped_as(number);
  EXPECT_EQ(file_content(file), "theirs");
  EXPECT_EQ(log.lines.size(), 1u);
  std::remove(file.c_str());
}

TEST(LinkAdjacentTriangles, JoinsOnlyTrianglesOfMadeMacroEdges) {
  Fixture f(make_grid<2>(1), {});
  auto& r = f.remesher;
  for (unsigned int v = 0; v < 4; ++v) r.output_vertex(v, false);
  const unsigned int t0 = r.output_builder->create_triangle({0, 1, 3});
  const unsigned int t1 = r.output_builder->create_triangle({1, 2, 3});
  // Macro edge 0 lies on the border; macro edge 1 was made by t0 from 3 to 1.
  r.macro_edges = {{0, 1}, {3, 1}};
  r.macro_edge_sides = {{NO_ID, NO_ID}, {t0, NO_ID}};
  r.link_adjacent_triangles(1, 0, t1, 0);
  for (local_index_t e = 0; e < 3; ++e) EXPECT_FALSE(r.output_surface().polygon_adjacent({t1, e}));
  r.link_adjacent_triangles(1, 3, t1, 1);
  EXPECT_EQ(r.output_surface().polygon_adjacent({t1, 2}), absl::optional<unsigned int>(t0));
  EXPECT_EQ(r.output_surface().polygon_adjacent({t0, 1}), absl::optional<unsigned int>(t1));
}

}  // namespace
}  // namespace test
}  // namespace tarnix
