// The whole 2D pipeline as a host runs it (corners, lines, surfaces, then
// relaxation) on the demo's two-layer section, at two sizes.
#include <sys/resource.h>

#include <benchmark/benchmark.h>

#include "layered_section.h"

#include <tarnix/surface2d/relax_surfaces.h>
#include <tarnix/surface2d/remesh_surfaces.h>
#include <ulvane/basic/progress_logger.h>
#include <ulvane/model/section_builder.h>
#include <vantrel/corner.h>
#include <vantrel/initialize_remeshing_data.h>
#include <vantrel/line2d.h>

namespace tarnix {
namespace {

double peak_memory_mb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// range(0): the finest edge length at the interface, in thousandths.
void section_pipeline(benchmark::State& state, bool relax) {
  ProgressLogger::set_quiet(true);
  double const finest = static_cast<double>(state.range(0)) / 1000.0;
  demo::InterfaceMetric const metric{finest, 6.0 * finest};
  Section const input = demo::make_layered_section(120, 40);
  double triangles = 0;
  for (auto _ : state) {
    Section output;
    auto data = initialize_remeshing_data<SectionBuilder, SectionGeometricModifier, Section, 2>(
        input, output, metric);
    remesh_corners(data);
    remesh_lines(data);
    remesh_surfaces(data);
    if (relax) relax_surfaces(output, metric);
    triangles = 0;
    for (auto const& surface : output.surfaces()) triangles += surface.mesh().nb_polygons();
  }
  state.counters["output_triangles"] = triangles;
  state.counters["triangles_per_second"] =
      benchmark::Counter(triangles * state.iterations(), benchmark::Counter::kIsRate);
  state.counters["peak_memory_MB"] = peak_memory_mb();
}

void remesh_only(benchmark::State& state) { section_pipeline(state, false); }
void remesh_and_relax(benchmark::State& state) { section_pipeline(state, true); }

// About 20k and 500k output triangles.
BENCHMARK(remesh_only)->Arg(10)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(remesh_and_relax)->Arg(10)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace
}  // namespace tarnix
