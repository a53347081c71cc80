// Throughput of the frontal remesher on the unit square: uniform and graded
// targets, on a coarse working grid (spacing 5h, border split at h), on
// finer ones (spacing h, h/2 and h/3: an existing mesh at, and finer than,
// the target), and on a surface of border vertices only (the border sampled
// at the target, long thin triangles across the square).
// Beside triangles per second and peak memory it reports the working
// triangles at the end per output triangle.

#include <sys/resource.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <functional>
#include <stdexcept>
#include <vector>

#include <benchmark/benchmark.h>

#include <tarnix/surface2d/frontal_remesher.h>
#include <ulvane/geometry/distance.h>

#include "frontal/frontal_test_support.h"

namespace tarnix {
namespace {

using test::FunctionMetric;
using test::WorkingSurface;

enum class Grid { coarse, at_target, half, fine, border_only };
enum class Field { uniform, graded };

double peak_memory_mb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// The points from `from` to `to` (both included) at equal steps of the
// metric length, as many steps as the metric length rounds to.
std::vector<Point<2>> sample_side(Point<2> const& from, Point<2> const& to,
                                  Metric<2> const& metric) {
  constexpr int NB_PARTS = 20000;
  std::vector<double> arc{0.0};
  for (int i = 1; i <= NB_PARTS; ++i) {
    const Point<2> a = from + (to - from) * (static_cast<double>(i - 1) / NB_PARTS);
    const Point<2> b = from + (to - from) * (static_cast<double>(i) / NB_PARTS);
    arc.push_back(arc.back() + point_point_distance<2>(a, b) / metric.edge_length((a + b) * 0.5));
  }
  const int nb_steps = std::max(1, static_cast<int>(std::lround(arc.back())));
  std::vector<Point<2>> points{from};
  std::size_t part = 0;
  for (int k = 1; k < nb_steps; ++k) {
    const double target = arc.back() * k / nb_steps;
    while (arc[part + 1] < target) ++part;
    const double t = (part + (target - arc[part]) / (arc[part + 1] - arc[part])) / NB_PARTS;
    points.push_back(from + (to - from) * t);
  }
  points.push_back(to);
  return points;
}

// The unit square with its border sampled by the metric and no inner
// vertex, as a remesher gets a surface of which only the border is known.
// The lower chain (bottom, then right side) and the upper one (left side,
// then top) run from (0, 0) to (1, 1) and are zipped in order of x, so the
// triangles reach across the square. Every border vertex is given.
WorkingSurface make_border_only(Metric<2> const& metric) {
  WorkingSurface surface;
  surface.mesh = TriangulatedSurface<2>::create();
  surface.builder = TriangulatedSurfaceBuilder<2>::create(*surface.mesh);
  const std::array<Point<2>, 4> corners{
      {Point<2>{{0.0, 0.0}}, Point<2>{{1.0, 0.0}}, Point<2>{{1.0, 1.0}}, Point<2>{{0.0, 1.0}}}};
  const auto chain = [&](Point<2> const& a, Point<2> const& b, Point<2> const& c) {
    auto points = sample_side(a, b, metric);
    const auto second = sample_side(b, c, metric);
    points.insert(points.end(), second.begin() + 1, second.end());
    return points;
  };
  const auto lower_points = chain(corners[0], corners[1], corners[2]);
  const auto upper_points = chain(corners[0], corners[3], corners[2]);
  std::vector<unsigned int> lower;
  std::vector<unsigned int> upper{surface.builder->create_point(upper_points.front())};
  lower.push_back(upper.front());
  for (std::size_t k = 1; k + 1 < lower_points.size(); ++k) {
    lower.push_back(surface.builder->create_point(lower_points[k]));
  }
  for (std::size_t k = 1; k + 1 < upper_points.size(); ++k) {
    upper.push_back(surface.builder->create_point(upper_points[k]));
  }
  const unsigned int last = surface.builder->create_point(upper_points.back());
  lower.push_back(last);
  upper.push_back(last);
  const auto create = [&surface](unsigned int a, unsigned int b, unsigned int c) {
    Point<2> const& pa = surface.mesh->point(a);
    Point<2> const& pb = surface.mesh->point(b);
    Point<2> const& pc = surface.mesh->point(c);
    const Vector<2> u{pa, pb};
    const Vector<2> v{pa, pc};
    if (u.value(0) * v.value(1) - u.value(1) * v.value(0) <= 0.0) {
      throw std::logic_error("make_border_only: a flat or turned-over triangle");
    }
    surface.builder->create_triangle({a, b, c});
  };
  // The diagonal lower[i] - upper[j] moves on until it is a border edge.
  const std::size_t n = lower.size() - 1;
  const std::size_t m = upper.size() - 1;
  create(lower[0], lower[1], upper[1]);
  std::size_t i = 1;
  std::size_t j = 1;
  while (!(i == n && j + 1 == m) && !(j == m && i + 1 == n)) {
    const bool lower_next =
        j == m || (i < n && (i + 1 < n || j + 1 == m) &&
                   surface.mesh->point(lower[i + 1]).value(0) <=
                       surface.mesh->point(upper[j + 1]).value(0));
    if (lower_next) {
      create(lower[i], lower[i + 1], upper[j]);
      ++i;
    } else {
      create(lower[i], upper[j + 1], upper[j]);
      ++j;
    }
  }
  surface.builder->compute_polygon_adjacencies();
  for (unsigned int v = 0; v < surface.mesh->nb_vertices(); ++v) surface.given.push_back(v);
  return surface;
}

WorkingSurface make_working(Grid grid, Field field, double h, Metric<2> const& metric) {
  if (grid == Grid::border_only) return make_border_only(metric);
  if (grid == Grid::coarse) {
    WorkingSurface surface = test::make_split_border_grid(5 * h, 5, test::unit_square);
    if (field == Field::graded) test::choose_given_by_metric(surface, metric);
    return surface;
  }
  const double cell = grid == Grid::at_target ? h : grid == Grid::half ? h / 2 : h / 3;
  WorkingSurface surface =
      test::make_fine_grid(cell, field == Field::graded ? cell : h, test::unit_square);
  if (field == Field::graded) test::choose_given_by_metric(surface, metric);
  return surface;
}

void remesh_unit_square(benchmark::State& state, Grid grid, Field field, double h) {
  const FunctionMetric metric([field, h](Point<2> const& p) {
    return field == Field::uniform ? h : h + 0.05 * std::fabs(p.value(0) - 0.5);
  });
  double nb_output = 0.0;
  unsigned int nb_working = 0;
  double nb_active_at_end = 0.0;
  double nb_stored_at_end = 0.0;
  for (auto _ : state) {
    state.PauseTiming();
    WorkingSurface working = make_working(grid, field, h, metric);
    nb_working = working.mesh->nb_polygons();
    state.ResumeTiming();
    const auto result = detail::remesh_surface(*working.mesh, *working.builder, metric, working.given);
    nb_output += result.mesh->nb_polygons();
    state.PauseTiming();
    nb_stored_at_end += working.mesh->nb_polygons();
    for (unsigned int t = 0; t < working.mesh->nb_polygons(); ++t) {
      if (working.mesh->is_polygon_active(t)) nb_active_at_end += 1.0;
    }
    std::remove(absl::StrCat("/tmp/iter", detail::dump_counter().load() - 1, ".ul_tsf2d").c_str());
    state.ResumeTiming();
  }
  state.counters["output_triangles"] = nb_output / static_cast<double>(state.iterations());
  state.counters["working_triangles"] = nb_working;
  // The size of the working surface at the end of the run per output
  // triangle: the active triangles, and all stored ones (removed included).
  state.counters["working_per_output"] = nb_active_at_end / nb_output;
  state.counters["stored_working_per_output"] = nb_stored_at_end / nb_output;
  state.counters["output_triangles_per_s"] = benchmark::Counter(nb_output, benchmark::Counter::kIsRate);
  state.counters["peak_memory_MB"] = peak_memory_mb();
}

BENCHMARK_CAPTURE(remesh_unit_square, coarse_uniform_h0_01, Grid::coarse, Field::uniform, 0.01)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(remesh_unit_square, at_target_uniform_h0_01, Grid::at_target, Field::uniform,
                  0.01)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(remesh_unit_square, half_uniform_h0_01, Grid::half, Field::uniform, 0.01)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(remesh_unit_square, fine_uniform_h0_01, Grid::fine, Field::uniform, 0.01)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(remesh_unit_square, coarse_graded_h0_002, Grid::coarse, Field::graded, 0.002)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(remesh_unit_square, border_only_uniform_h0_01, Grid::border_only, Field::uniform,
                  0.01)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(remesh_unit_square, border_only_graded_h0_002, Grid::border_only,
                  Field::graded, 0.002)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(remesh_unit_square, coarse_uniform_h0_002, Grid::coarse, Field::uniform, 0.002)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK_CAPTURE(remesh_unit_square, fine_graded_h0_002, Grid::fine, Field::graded, 0.002)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK_CAPTURE(remesh_unit_square, fine_uniform_h0_002, Grid::fine, Field::uniform, 0.002)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace
}  // namespace tarnix
