// Throughput of the frontal remesher on the unit square: uniform and graded
// targets, on a coarse working grid (spacing 5h, border split at h) and on a
// fine one (spacing h/3). Beside triangles per second and peak memory it
// reports the working triangles at the end per output triangle.

#include <sys/resource.h>

#include <cmath>
#include <cstdio>

#include <benchmark/benchmark.h>

#include <tarnix/surface2d/frontal_remesher.h>

#include "frontal/frontal_test_support.h"

namespace tarnix {
namespace {

using test::FunctionMetric;
using test::WorkingSurface;

enum class Grid { coarse, fine };
enum class Field { uniform, graded };

double peak_memory_mb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

WorkingSurface make_working(Grid grid, Field field, double h, Metric<2> const& metric) {
  if (grid == Grid::coarse) {
    WorkingSurface surface = test::make_split_border_grid(5 * h, 5, test::unit_square);
    if (field == Field::graded) test::choose_given_by_metric(surface, metric);
    return surface;
  }
  WorkingSurface surface = test::make_fine_grid(h / 3, field == Field::graded ? h / 3 : h,
                                                test::unit_square);
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
BENCHMARK_CAPTURE(remesh_unit_square, fine_uniform_h0_01, Grid::fine, Field::uniform, 0.01)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(remesh_unit_square, coarse_graded_h0_002, Grid::coarse, Field::graded, 0.002)
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
