// Relaxation of a poor Section of about 200 000 triangles: a jittered grid
// with vertices of three and four triangles scattered through it.
#include <benchmark/benchmark.h>

#include <ulvane/basic/progress_logger.h>
#include <ulvane/model/section.h>
#include <vantrel/core.h>

#include <tarnix/surface2d/relax_surfaces.h>

#include "common/surface_relaxer/relaxer_test_sections.h"

namespace {

tarnix::Section make_section(tarnix::index_t n) {
  auto planar = tarnix::test::grid_mesh(n);
  tarnix::test::jitter_interior(planar, n, 0.3, 7);
  for (tarnix::index_t j = 0; j < n; ++j) {
    for (tarnix::index_t i = 0; i < n; ++i) {
      if ((i + 3 * j) % 11 == 0) tarnix::test::insert_square_centre(planar, n, i, j);
      if ((i + 3 * j) % 11 == 5) tarnix::test::insert_centroid(planar, 2 * (i + n * j));
    }
  }
  return std::move(tarnix::test::make_rectangle_section(planar, n, n).section);
}

void relax(benchmark::State& state, bool with_metric) {
  tarnix::ProgressLogger::set_quiet(true);
  const auto n = static_cast<tarnix::index_t>(state.range(0));
  const tarnix::ConstantMetric<2> metric{1.0};
  std::size_t triangles = 0;
  for (auto _ : state) {
    state.PauseTiming();
    tarnix::Section section = make_section(n);
    triangles = section.surfaces().begin()->get_mesh().nb_polygons();
    state.ResumeTiming();
    if (with_metric) {
      tarnix::relax_surfaces(section, metric);
    } else {
      tarnix::relax_surfaces(section);
    }
    state.PauseTiming();
    {
      tarnix::Section done = std::move(section);
    }
    state.ResumeTiming();
  }
  state.counters["triangles"] = static_cast<double>(triangles);
  state.counters["triangles/s"] = benchmark::Counter(static_cast<double>(triangles) *
                                                         static_cast<double>(state.iterations()),
                                                     benchmark::Counter::kIsRate);
}

void BM_RelaxSurfaces(benchmark::State& state) { relax(state, false); }
void BM_RelaxSurfacesWithMetric(benchmark::State& state) { relax(state, true); }

// n = 300: 180 000 grid triangles, about 196 000 with the insertions.
BENCHMARK(BM_RelaxSurfaces)->Arg(100)->Arg(300)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RelaxSurfacesWithMetric)->Arg(300)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
