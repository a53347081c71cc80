// libFuzzer target: the bytes choose a small Section (grid size, outline,
// regions, a hole, an internal line and corner, jitter, a squeezed column,
// the scale) and a graded metric; the 2D pipeline remeshes and relaxes it.
// Aborts on an invalid result; crashes, hangs and memory errors are the
// sanitizers' and libFuzzer's to report. Exceptions are accepted (each new
// message is printed once), since the pipeline may refuse an input.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <tarnix/surface2d/relax_surfaces.h>
#include <ulvane/model/section.h>

#include "pipeline_checks.h"
#include "section_generator.h"
#include "stress_metric.h"

namespace {

using namespace tarnix;
using namespace tarnix::stress;

void abort_with(char const* stage, std::vector<std::string> const& problems) {
  std::fprintf(stderr, "invalid %s:\n", stage);
  for (auto const& problem : problems) std::fprintf(stderr, "  %s\n", problem.c_str());
  std::abort();
}

void note_exception(std::exception const& e) {
  static std::set<std::string> seen;
  // Messages that name element indices differ run to run; keep the start.
  std::string const key = std::string{e.what()}.substr(0, 48);
  if (seen.insert(key).second) std::fprintf(stderr, "exception: %s\n", e.what());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
  ByteChoices choices{absl::MakeConstSpan(data, size)};
  ShapeOptions options;
  options.min_cells = 2;
  options.max_cells = 8;
  options.max_regions = 2;
  options.max_holes = 1;
  options.max_internal_lines = 1;
  options.max_internal_corners = 1;
  options.jitter = choices.between(0.0, 0.45);
  options.squash = choices.chance(0.15);
  double const scales[] = {1.0, 1e-6, 1e6, 1e3};
  options.scale = scales[choices.below(4)];

  std::optional<GeneratedSection> input;
  try {
    input.emplace(generate_section(choices, options));
  } catch (std::runtime_error const&) {
    return 0;  // no valid shape from these bytes
  }
  double const smallest =
      std::max(input->size * std::pow(10.0, -choices.between(0.5, 2.5)), input->line_length / 5000.0);
  auto const metric = StressMetric::random(choices, input->size, smallest,
                                           smallest * std::pow(10.0, choices.between(0.0, 1.5)));
  bool const relax_with_metric = choices.chance(0.5);

  Section output;
  try {
    auto const remeshed = remesh_section(input->section, output, metric);
    auto const problems = remesh_problems(remeshed);
    if (!problems.empty()) abort_with("remeshed output", problems);
    auto const areas = surface_areas(output);
    if (relax_with_metric) {
      relax_surfaces(output, metric);
    } else {
      relax_surfaces(output);
    }
    auto relaxed = section_problems(output);
    for (auto& problem : area_problems(output, areas)) relaxed.push_back(problem);
    if (!relaxed.empty()) abort_with("relaxed output", relaxed);
  } catch (std::exception const& e) {
    note_exception(e);
  }
  return 0;
}
