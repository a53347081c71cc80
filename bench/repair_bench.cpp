// One repair pass over two crossing surfaces of about 50k triangles each:
// the chord grid of an arch and a tilted sheet that crosses the chord.

#include <benchmark/benchmark.h>

#include <ulvane/basic/logger.h>
#include <ulvane/basic/progress_logger.h>

#include "brep/repair/repair_test_models.h"
#include "brep/repair/surface_intersection_repairer.h"

namespace tarnix {
namespace {

void BM_RepairPassOnCrossingSheets(benchmark::State& state) {
  const auto n = static_cast<index_t>(state.range(0));  // 2 n^2 triangles per surface
  Logger::set_level(Logger::Level::warn);
  ProgressLogger::set_quiet(true);
  for (auto _ : state) {
    state.PauseTiming();
    test::RepairModels models;
    const auto sheet = test::height_grid(
        0.3, 0.7, 0.15, 0.35, n, [](double x, double) { return -0.02 + (x - 0.3) * 0.125; });
    const auto arch = test::height_grid(0.0, 1.0, 0.0, 1.0, 64,
                                        [](double x, double) { return 0.4 * x * (1.0 - x); });
    const auto chord = test::height_grid(0.0, 1.0, 0.0, 1.0, n, [](double, double) { return 0.0; });
    models.add_surface(sheet.points, sheet.triangles);
    models.add_surface_pair(arch.points, arch.triangles, chord.points, chord.triangles);
    detail::SurfaceIntersectionRepairer repairer{models.data()};
    state.ResumeTiming();
    benchmark::DoNotOptimize(repairer.repair_pass());
    state.PauseTiming();
    index_t nb_triangles = 0;
    for (auto const& surface : models.output.surfaces()) {
      nb_triangles += surface.mesh().nb_polygons();
    }
    state.counters["triangles_after"] = nb_triangles;
    state.ResumeTiming();
  }
  Logger::set_level(Logger::Level::info);
}
BENCHMARK(BM_RepairPassOnCrossingSheets)
    ->Arg(40)
    ->Arg(158)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

}  // namespace
}  // namespace tarnix
