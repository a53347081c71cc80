// remesh_surfaces on a section of 16 stacked layers (curved interfaces, an
// internal line in the middle layer), about 550k output triangles, with 1
// and 8 workers. Only remesh_surfaces is timed: the host's steps before it
// are made again, untimed, for every iteration.
#include <chrono>
#include <cstdlib>
#include <string>

#include <benchmark/benchmark.h>

#include <driver/stacked_section.h>
#include <tarnix/surface2d/remesh_surfaces.h>
#include <ulvane/model/section_builder.h>
#include <vantrel/corner.h>
#include <vantrel/initialize_remeshing_data.h>
#include <vantrel/line2d.h>

namespace tarnix {
namespace {

constexpr int NB_LAYERS = 16;
constexpr double TARGET_LENGTH = 0.005;

// range(0): the number of workers.
void remesh_stacked_layers(benchmark::State& state) {
  auto const workers = std::to_string(state.range(0));
  setenv("TARNIX_NUM_THREADS", workers.c_str(), 1);
  auto const stacked = test::make_stacked_section(NB_LAYERS, 120, 4);
  ConstantMetric<2> const metric{TARGET_LENGTH};
  double triangles = 0;
  for (auto _ : state) {
    Section output;
    auto data = initialize_remeshing_data<SectionBuilder, SectionGeometricModifier, Section, 2>(
        stacked.section, output, metric);
    remesh_corners(data);
    remesh_lines(data);
    auto const start = std::chrono::steady_clock::now();
    remesh_surfaces(data);
    auto const stop = std::chrono::steady_clock::now();
    state.SetIterationTime(std::chrono::duration<double>(stop - start).count());
    triangles = 0;
    for (auto const& surface : output.surfaces()) triangles += surface.mesh().nb_polygons();
  }
  unsetenv("TARNIX_NUM_THREADS");
  state.counters["output_triangles"] = triangles;
  state.counters["surfaces"] = NB_LAYERS;
}

BENCHMARK(remesh_stacked_layers)
    ->ArgName("workers")
    ->Arg(1)
    ->Arg(8)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);

}  // namespace
}  // namespace tarnix
