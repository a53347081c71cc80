// Runs families of generated Sections through the 2D pipeline (corners,
// lines, surface remeshing, relaxation) and checks every result: valid
// surfaces and model, conformity at lines and internal corners, areas kept,
// every vertex linked. The "brep" families run generated BReps through
// `remesh` and check the output model, the mapping, the input left as it
// was and what the intersection repair leaves. Each case runs in a child
// process against a bound on its CPU time proportional to its size (CPU
// time, so a machine loaded by other work does not make a case fail), so a
// crash or a hang is reported as the case's failure and the next case still runs.
// Inputs the pipeline must refuse have to raise an exception with a
// message.
//
// Usage: tarnix_stress [--shard=i/n] [family name part [seed]]
#include <poll.h>
#include <signal.h>
#include <time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <tuple>
#include <typeinfo>
#include <vector>

#include <absl/strings/str_cat.h>
#include <absl/strings/str_join.h>

#include <tarnix/brep.h>
#include <tarnix/surface2d/relax_surfaces.h>
#include <tarnix/surface2d/remesh_surfaces.h>
#include <ulvane/basic/ulvane_exception.h>
#include <ulvane/mesh/edged_curve_builder.h>
#include <ulvane/mesh/polygonal_surface.h>
#include <ulvane/model/section_builder.h>
#include <vantrel/corner.h>
#include <vantrel/initialize_remeshing_data.h>
#include <vantrel/line2d.h>

#include "brep_checks.h"
#include "brep_generator.h"
#include "model/model_validity.h"
#include "pipeline_checks.h"
#include "section_generator.h"
#include "stress_metric.h"

namespace {

using namespace tarnix;
using namespace tarnix::stress;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool INSTRUMENTED = true;
#else
constexpr bool INSTRUMENTED = false;
#endif

// Time bound of a case: a fixed allowance plus a share per unit of expected
// work (input triangles and remeshed line vertices). Sanitizers slow the
// pipeline down about tenfold.
constexpr double BASE_SECONDS = INSTRUMENTED ? 20.0 : 2.0;
constexpr double SECONDS_PER_WORK = INSTRUMENTED ? 2e-2 : 2e-3;
constexpr double GENERATION_SECONDS = INSTRUMENTED ? 60.0 : 10.0;
// A child that does not use its CPU time (blocked) is still stopped once
// its wall time reaches this many times its bound.
constexpr double WALL_FACTOR = 20.0;

// The child's messages to the parent, one line each: "work <units>" once
// the input is built, then "ok <summary>", "refused <message>" or
// "fail <problems>".
class Report {
 public:
  explicit Report(int fd) : fd_(fd) {}

  void work(double units) { send(absl::StrCat("work ", units)); }
  void ok(std::string const& summary) { send(absl::StrCat("ok ", summary)); }
  void refused(std::string const& message) { send(absl::StrCat("refused ", message)); }
  void fail(std::string const& what, std::vector<std::string> const& problems = {}) {
    failed_ = true;
    send(absl::StrCat("fail ", what, problems.empty() ? "" : ": ", absl::StrJoin(problems, "; ")));
  }
  bool failed() const { return failed_; }

 private:
  void send(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    text.push_back('\n');
    std::size_t written = 0;
    while (written < text.size()) {
      auto const n = ::write(fd_, text.data() + written, text.size() - written);
      if (n <= 0) return;
      written += static_cast<std::size_t>(n);
    }
  }
  int fd_;
  bool failed_{false};
};

std::vector<std::string> joined(std::vector<std::string> first, std::vector<std::string> second) {
  for (auto& text : second) first.push_back(std::move(text));
  return first;
}

// Remeshes, checks, relaxes the output (with the metric or without) and
// checks again.
void remesh_and_check(GeneratedSection const& input, Metric<2> const& metric, Choices& choices,
                      Report& report) {
  report.work(expected_work(input, metric));
  Section output;
  auto const data = remesh_section(input.section, output, metric);
  auto problems = remesh_problems(data);
  if (!problems.empty()) return report.fail("remeshed output", problems);
  auto const areas = surface_areas(output);
  auto const remeshed = nb_triangles(output);
  double const remeshed_quality = min_quality(output);
  if (choices.chance(0.5)) {
    relax_surfaces(output, metric);
  } else {
    relax_surfaces(output);
  }
  problems = joined(section_problems(output), area_problems(output, areas));
  if (!problems.empty()) return report.fail("relaxed output", problems);
  report.ok(absl::StrCat(input.nb_triangles, " -> ", remeshed, " -> ", nb_triangles(output),
                         " triangles, quality ", remeshed_quality, " -> ", min_quality(output)));
}

// A section of the given shape remeshed to a graded metric whose lengths
// lie in [smallest, largest] times the domain size.
void graded_case(std::uint64_t seed, ShapeOptions const& options, double smallest, double largest,
                 Report& report) {
  RandomChoices choices{seed};
  auto const input = generate_section(choices, options);
  auto const input_problems = section_problems(input.section);
  if (!input_problems.empty()) return report.fail("generated input", input_problems);
  double const size = input.size;
  // Bounds the number of remeshed line vertices, hence the output size.
  double const low = std::max(smallest * size, input.line_length / 2000.0);
  auto const metric =
      StressMetric::random(choices, size, low, std::max(low, largest * size));
  remesh_and_check(input, metric, choices, report);
}

void coarse_input(std::uint64_t seed, Report& report) {
  ShapeOptions options;
  options.min_cells = 2;
  options.max_cells = 8;
  graded_case(seed, options, 0.01, 0.4, report);
}

void fine_input(std::uint64_t seed, Report& report) {
  ShapeOptions options;
  options.min_cells = 40;
  options.max_cells = INSTRUMENTED ? 50 : 90;
  graded_case(seed, options, 0.005, 0.1, report);
}

void nearly_collinear(std::uint64_t seed, Report& report) {
  ShapeOptions options;
  options.jitter = 1e-10;
  options.max_cells = 30;
  graded_case(seed, options, 0.01, 0.2, report);
}

void nearly_coincident(std::uint64_t seed, Report& report) {
  ShapeOptions options;
  options.squash = true;
  options.min_cells = 5;
  options.max_cells = 30;
  options.jitter = seed % 2 == 0 ? 0.2 : 0.0;
  graded_case(seed, options, 0.01, 0.2, report);
}

void scaled_down(std::uint64_t seed, Report& report) {
  ShapeOptions options;
  options.scale = 1e-6;
  graded_case(seed, options, 0.01, 0.3, report);
}

void scaled_up(std::uint64_t seed, Report& report) {
  ShapeOptions options;
  options.scale = 1e6;
  graded_case(seed, options, 0.01, 0.3, report);
}

void metric_much_larger(std::uint64_t seed, Report& report) {
  RandomChoices choices{seed};
  double const factor = std::pow(10.0, choices.between(1.0, 4.0));
  graded_case(seed, ShapeOptions{}, factor, 3.0 * factor, report);
}

void metric_much_smaller(std::uint64_t seed, Report& report) {
  RandomChoices choices{seed};
  // A hundred to a few thousand target lengths across the domain: up to
  // about 10^5 output triangles.
  double const factor = std::pow(10.0, choices.between(-2.6, -2.0));
  ShapeOptions options;
  options.max_cells = 6;
  graded_case(seed, options, factor, 2.0 * factor, report);
}

// Relaxes a generated input directly, with a graded metric or without.
void relax_case(std::uint64_t seed, ShapeOptions const& options, Report& report) {
  RandomChoices choices{seed};
  auto input = generate_section(choices, options);
  report.work(input.nb_triangles);
  auto const areas = surface_areas(input.section);
  auto before = section_problems(input.section);
  if (!before.empty()) return report.fail("generated input", before);
  if (choices.chance(0.5)) {
    auto const metric = StressMetric::random(choices, input.size, 0.02 * input.size,
                                             0.3 * input.size);
    relax_surfaces(input.section, metric);
  } else {
    relax_surfaces(input.section);
  }
  auto problems = joined(section_problems(input.section), area_problems(input.section, areas));
  if (!problems.empty()) return report.fail("relaxed input", problems);
  report.ok(absl::StrCat(input.nb_triangles, " -> ", nb_triangles(input.section),
                         " triangles, quality ", min_quality(input.section)));
}

void relax_jittered(std::uint64_t seed, Report& report) {
  ShapeOptions options;
  options.jitter = 0.45;
  options.max_cells = 40;
  relax_case(seed, options, report);
}

void relax_degenerate(std::uint64_t seed, Report& report) {
  ShapeOptions options;
  options.squash = true;
  options.jitter = seed % 3 == 0 ? 0.0 : 1e-10;
  options.min_cells = 4;
  options.max_cells = 30;
  relax_case(seed, options, report);
}

// A metric that gives one length everywhere, whatever it is.
class FixedLength final : public Metric<2> {
 public:
  explicit FixedLength(double length) : length_(length) {}
  double edge_length(Point<2> const&) const override { return length_; }

 private:
  double length_;
};

double hostile_length(std::uint64_t seed) {
  double const lengths[] = {std::nan(""), 0.0, -0.1, INFINITY};
  return lengths[(seed / 7) % 4];
}

// Gives the first line two branches at its vertex 0, which then has three
// edges.
void add_branches(Section& section) {
  SectionBuilder builder{section};
  auto const& line = *section.lines().begin();
  auto curve = EdgedCurveBuilder<2>::create(builder.modifiable_line(line.id()).get_modifiable_mesh());
  Point<2> const at = line.mesh().point(0);
  for (double shift : {1e-3, 2e-3}) {
    auto const v = curve->create_point(Point<2>{{at.value(0) + shift, at.value(1) + 2 * shift}});
    builder.set_unique_vertex({line.component_id(), v}, builder.create_unique_vertex());
    curve->create_edge(0, v);
  }
}

// Inputs the pipeline must refuse with an exception, or, where nothing is
// promised, survive: the outcome must be an exception with a message or a
// valid result, never a crash or a hang.
void refused_input(std::uint64_t seed, Report& report) {
  RandomChoices choices{seed};
  ShapeOptions options;
  options.max_cells = 12;
  options.clockwise = seed % 7 == 4;
  auto input = generate_section(choices, options);
  report.work(input.nb_triangles * 4.0 + 1000.0);
  auto metric = StressMetric::random(choices, input.size, 0.05 * input.size, 0.2 * input.size);
  char const* expected = nullptr;  // the message start a refusal must have
  bool must_refuse = true;
  switch (seed % 7) {
    case 0:  // a metric without a usable length anywhere
      expected = "[remesh_lines]";
      break;
    case 1:  // usable lengths only near the border
      metric.set_interior_length(0.15 * input.size, hostile_length(seed));
      must_refuse = false;
      break;
    case 2:
      add_branches(input.section);
      expected = "[remesh_lines]";
      break;
    case 3:  // the line step is skipped: no "remeshed_line_attribute"
      expected = "[AttributeManager::find_attribute]";
      break;
    case 4:  // clockwise triangles
      must_refuse = false;
      break;
    case 5: {  // a surface that is not triangulated
      SectionBuilder builder{input.section};
      builder.set_surface_mesh(input.section.surfaces().begin()->id(),
                               PolygonalSurface<2>::create());
      break;
    }
    default:  // the same metric, everything valid: a control case
      must_refuse = false;
      break;
  }
  FixedLength const hostile{hostile_length(seed)};
  Metric<2> const& used = seed % 7 == 0 ? static_cast<Metric<2> const&>(hostile) : metric;
  try {
    Section output;
    auto data = initialize_remeshing_data<SectionBuilder, SectionGeometricModifier, Section, 2>(
        input.section, output, used);
    remesh_corners(data);
    if (seed % 7 != 3) remesh_lines(data);
    remesh_surfaces(data);
    auto problems = seed % 7 == 4 ? std::vector<std::string>{} : remesh_problems(data);
    if (must_refuse) return report.fail("accepted an input it must refuse");
    if (!problems.empty()) return report.fail("accepted, with an invalid output", problems);
    relax_surfaces(output, used);
    if (seed % 7 != 4) problems = section_problems(output);
    if (!problems.empty()) return report.fail("accepted, with an invalid relaxed output", problems);
    report.ok("accepted, valid");
  } catch (std::exception const& e) {
    std::string const message = e.what();
    if (message.empty()) return report.fail(absl::StrCat(typeid(e).name(), " without a message"));
    if (expected != nullptr && message.rfind(expected, 0) != 0) {
      return report.fail(absl::StrCat("refused with \"", message, "\", expected \"", expected,
                                      "...\""));
    }
    report.refused(message);
  }
}

// The scale of a generated BRep: mostly 1, else 1e-6 or 1e6.
double random_scale(Choices& choices) {
  const double draw = choices.unit();
  return draw < 0.6 ? 1.0 : (draw < 0.8 ? 1e-6 : 1e6);
}

// The distance within which the duplicated-edge repair takes a split point
// for its target and stops walking: edges much shorter than this cannot be
// taken apart, and what the repair leaves between them is only logged.
constexpr double REPAIR_TARGET_DISTANCE = 1e-5;

// Remeshes a generated BRep and checks the outcome: the input unchanged, a
// valid output with every input component mapped, every output vertex on
// its input surface, and no intersection finding left unless the repair
// logged that it left some (it cannot take apart surfaces whose inputs
// cross or overlap). Inputs whose surfaces do not cross, with edges well
// above the repair's distances, must come out with none.
void remesh_brep_and_check(GeneratedBRep& generated, Report& report) {
  // Findings that no repair removes are swept again pass after pass.
  report.work(5.0 * generated.nb_triangles);
  auto problems = test::model_problems(generated.brep);
  if (!problems.empty()) return report.fail("generated input", problems);
  BRepSnapshot const before{generated.brep};
  ConstantMetric<3> const metric{0.1 * generated.size};
  index_t nb_left = 0;
  BRep output;
  ModelCopyMapping mapping;
  {
    RepairLog const log;
    std::tie(output, mapping) = remesh(generated.brep, metric);
    nb_left = log.nb_left();
  }
  problems = joined(before.differences(generated.brep),
                    mapping_problems(generated.brep, output, mapping));
  if (!problems.empty()) return report.fail("remesh", problems);
  problems = joined(output_problems(output),
                    off_input_problems(generated.brep, output, mapping, 1e-9 * generated.size));
  if (!problems.empty()) return report.fail("remeshed output", problems);
  index_t const nb_findings = count_intersection_findings(generated.brep, output, mapping);
  if (nb_findings > 0 && nb_left == 0) {
    return report.fail(absl::StrCat(nb_findings, " intersection findings left, none logged"));
  }
  bool const repairable = !generated.inputs_cross &&
                          shortest_surface_edge(generated.brep) > 10.0 * REPAIR_TARGET_DISTANCE;
  if (nb_findings > 0 && repairable) {
    return report.fail(absl::StrCat(nb_findings, " intersection findings left between surfaces "
                                    "whose inputs do not cross"));
  }
  // The repair's splits are bounded by the larger of 64 and the number of
  // triangles it starts with; each adds two triangles, or one in every
  // surface sharing a border edge. The small-block splits add two per
  // surface at most.
  index_t const nb_output_triangles = nb_triangles(output);
  index_t const per_split = std::max<index_t>(2, most_surfaces_at_a_vertex(generated.brep));
  index_t const most = generated.nb_triangles +
                       per_split * std::max<index_t>(64, generated.nb_triangles) +
                       2 * output.nb_surfaces();
  if (nb_output_triangles > most) {
    return report.fail(absl::StrCat(nb_output_triangles, " output triangles, more than the ",
                                    most, " the split budget allows"));
  }
  report.ok(absl::StrCat(generated.nb_triangles, " -> ", nb_output_triangles, " triangles, ",
                         nb_findings, " findings left, ", nb_left, " left logged"));
}

void brep_crossing_sheets(std::uint64_t seed, Report& report) {
  RandomChoices choices{seed};
  CrossingOptions options;
  options.fine_cells = INSTRUMENTED ? 16 : 30;
  auto generated = generate_crossing_sheets(choices, options);
  scale(generated, random_scale(choices));
  remesh_brep_and_check(generated, report);
}

void brep_tiny_angle(std::uint64_t seed, Report& report) {
  RandomChoices choices{seed};
  CrossingOptions options;
  options.fine_cells = INSTRUMENTED ? 16 : 40;
  options.tiny_angle = true;
  auto generated = generate_crossing_sheets(choices, options);
  remesh_brep_and_check(generated, report);
}

void brep_fine_sheets(std::uint64_t seed, Report& report) {
  RandomChoices choices{seed};
  CrossingOptions options;
  options.max_sheets = 2;
  options.coarse_cells = 70;
  options.fine_cells = 90;
  auto generated = generate_crossing_sheets(choices, options);
  remesh_brep_and_check(generated, report);
}

void brep_duplicated(std::uint64_t seed, Report& report) {
  RandomChoices choices{seed};
  auto const kind = static_cast<Duplicate>(seed % NB_DUPLICATES);
  auto generated =
      generate_duplicated_surfaces(choices, kind, choices.in_range(2, INSTRUMENTED ? 12 : 30));
  scale(generated, random_scale(choices));
  remesh_brep_and_check(generated, report);
}

void brep_boxes(std::uint64_t seed, Report& report) {
  RandomChoices choices{seed};
  auto generated = generate_boxes(choices, choices.in_range(1, INSTRUMENTED ? 6 : 16),
                                  choices.between(0, 0.3), choices.chance(0.5));
  double const factors[] = {1.0, 1e-6, 1e6};
  scale(generated, factors[seed % 3]);
  remesh_brep_and_check(generated, report);
}

void brep_large_boxes(std::uint64_t seed, Report& report) {
  RandomChoices choices{seed};
  auto generated = generate_boxes(choices, choices.in_range(30, 40), 0.3);
  remesh_brep_and_check(generated, report);
}

void brep_small_parts(std::uint64_t seed, Report& report) {
  RandomChoices choices{seed};
  auto generated = generate_small_parts(choices, seed % NB_SMALL_KINDS);
  scale(generated, random_scale(choices));
  remesh_brep_and_check(generated, report);
}

// A box or crossing sheets of which one surface is polygonal: `remesh` must
// refuse it with its message and leave the input as it was.
void brep_refused(std::uint64_t seed, Report& report) {
  RandomChoices choices{seed};
  auto generated = seed % 2 == 0 ? generate_boxes(choices, choices.in_range(1, 4), 0.2)
                                 : generate_crossing_sheets(choices, CrossingOptions{});
  std::vector<uuid> surfaces;
  for (auto const& surface : generated.brep.surfaces()) surfaces.push_back(surface.id());
  make_polygonal(generated.brep, surfaces[choices.below(static_cast<index_t>(surfaces.size()))]);
  report.work(generated.nb_triangles);
  BRepSnapshot const before{generated.brep};
  std::string const expected = "[surface_remeshing] All surfaces should be TriangulatedSurfaces";
  try {
    remesh(generated.brep, ConstantMetric<3>{0.1 * generated.size});
    return report.fail("accepted a polygonal surface");
  } catch (UlvaneException const& e) {
    if (e.what() != expected) return report.fail(absl::StrCat("refused with \"", e.what(), "\""));
  }
  auto const changed = before.differences(generated.brep);
  if (!changed.empty()) return report.fail("refusal", changed);
  report.refused(expected);
}

struct Family {
  char const* name;
  std::uint64_t nb_cases;
  std::uint64_t nb_instrumented_cases;
  void (*run)(std::uint64_t seed, Report& report);
};

Family const FAMILIES[] = {
    // Instrumented builds run a few cases of each family within minutes;
    // the much smaller metric asks for 10^5 triangles, too many for them.
    {"coarse input", 30, 3, coarse_input},
    {"fine input", 8, 1, fine_input},
    {"nearly collinear", 25, 2, nearly_collinear},
    {"nearly coincident", 25, 2, nearly_coincident},
    {"scaled by 1e-6", 20, 2, scaled_down},
    {"scaled by 1e6", 20, 2, scaled_up},
    {"metric much larger", 20, 3, metric_much_larger},
    {"metric much smaller", 4, 0, metric_much_smaller},
    {"relax jittered", 30, 4, relax_jittered},
    {"relax degenerate", 30, 4, relax_degenerate},
    {"refused input", 42, 14, refused_input},
    {"brep crossing sheets", 12, 2, brep_crossing_sheets},
    {"brep tiny angle", 8, 1, brep_tiny_angle},
    {"brep fine sheets", 1, 0, brep_fine_sheets},
    {"brep duplicated", 15, 5, brep_duplicated},
    {"brep boxes", 12, 3, brep_boxes},
    {"brep large boxes", 2, 0, brep_large_boxes},
    {"brep small parts", 9, 3, brep_small_parts},
    {"brep refused", 6, 2, brep_refused},
};

struct CaseResult {
  enum class Status { ok, refused, failed, crashed, timed_out } status{Status::failed};
  std::string text;
  double seconds{0.0};      // wall time
  double cpu_seconds{0.0};  // CPU time, measured against the bound
  double bound{0.0};
};

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// CPU seconds a child process has used so far; 0 once it is gone.
double cpu_seconds(pid_t child) {
  clockid_t clock;
  timespec used{};
  if (::clock_getcpuclockid(child, &clock) != 0 || ::clock_gettime(clock, &used) != 0) {
    return 0.0;
  }
  return static_cast<double>(used.tv_sec) + 1e-9 * static_cast<double>(used.tv_nsec);
}

// Runs one case in a child process, killing it at its CPU-time bound.
CaseResult run_case(Family const& family, std::uint64_t seed, bool verbose_child) {
  int fds[2];
  if (::pipe(fds) != 0) return {CaseResult::Status::failed, "pipe failed", 0.0, 0.0, 0.0};
  std::fflush(stdout);
  std::fflush(stderr);
  pid_t const child = ::fork();
  if (child < 0) return {CaseResult::Status::failed, "fork failed", 0.0, 0.0, 0.0};
  if (child == 0) {
    ::close(fds[0]);
    if (!verbose_child) {
      // Progress lines of the pipeline would drown the summary.
      std::FILE* const quiet = std::freopen("/dev/null", "w", stderr);
      static_cast<void>(quiet);
    }
    Report report{fds[1]};
    try {
      family.run(seed, report);
    } catch (std::exception const& e) {
      report.fail(absl::StrCat("valid input refused: ", typeid(e).name(), " \"", e.what(), "\""));
    } catch (...) {
      report.fail("valid input refused by an unknown exception");
    }
    ::_exit(report.failed() ? 1 : 0);
  }
  ::close(fds[1]);
  auto const start = std::chrono::steady_clock::now();
  CaseResult result;
  result.bound = GENERATION_SECONDS;
  std::string received;
  std::string last;
  bool timed_out = false;
  double cpu = 0.0;
  while (true) {
    cpu = std::max(cpu, cpu_seconds(child));
    double const left = result.bound - cpu;
    if (left <= 0.0 || seconds_since(start) > WALL_FACTOR * result.bound) {
      timed_out = true;
      break;
    }
    // Wake at least every 100 ms to read the child's CPU clock.
    pollfd watched{fds[0], POLLIN, 0};
    int const ready = ::poll(&watched, 1, static_cast<int>(std::ceil(std::min(left, 0.1) * 1000.0)));
    if (ready == 0) continue;
    if (ready < 0) continue;
    char buffer[4096];
    auto const n = ::read(fds[0], buffer, sizeof buffer);
    if (n <= 0) break;
    received.append(buffer, static_cast<std::size_t>(n));
    std::size_t end;
    while ((end = received.find('\n')) != std::string::npos) {
      std::string const message = received.substr(0, end);
      received.erase(0, end + 1);
      if (message.rfind("work ", 0) == 0) {
        result.bound = std::max(cpu, cpu_seconds(child)) + BASE_SECONDS +
                       SECONDS_PER_WORK * std::atof(message.c_str() + 5);
      } else {
        last = message;
      }
    }
  }
  if (timed_out) ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  ::close(fds[0]);
  result.seconds = seconds_since(start);
  result.cpu_seconds = cpu;
  if (timed_out) {
    result.status = CaseResult::Status::timed_out;
    result.text = absl::StrCat("no result within its bound of ", result.bound, " s of CPU time");
  } else if (WIFSIGNALED(status)) {
    result.status = CaseResult::Status::crashed;
    result.text = absl::StrCat("crashed with signal ", WTERMSIG(status), " (", strsignal(WTERMSIG(status)), ")");
  } else if (last.rfind("ok ", 0) == 0 && WEXITSTATUS(status) == 0) {
    result.status = CaseResult::Status::ok;
    result.text = last.substr(3);
  } else if (last.rfind("refused ", 0) == 0 && WEXITSTATUS(status) == 0) {
    result.status = CaseResult::Status::refused;
    result.text = last.substr(8);
  } else {
    result.status = CaseResult::Status::failed;
    result.text = last.rfind("fail ", 0) == 0 ? last.substr(5)
                                              : absl::StrCat("exit status ", WEXITSTATUS(status));
  }
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  // "--shard=i/n" runs every n-th case of the whole list, from the i-th
  // (from 0), so that several processes share the cases.
  std::uint64_t shard = 0;
  std::uint64_t nb_shards = 1;
  if (argc > 1 && std::strncmp(argv[1], "--shard=", 8) == 0) {
    char* end = nullptr;
    shard = std::strtoull(argv[1] + 8, &end, 10);
    nb_shards = *end == '/' ? std::strtoull(end + 1, nullptr, 10) : 0;
    if (nb_shards == 0 || shard >= nb_shards) {
      std::fprintf(stderr, "usage: tarnix_stress [--shard=i/n | family [seed]]\n");
      return 2;
    }
    --argc;
    ++argv;
  }
  std::string const only = argc > 1 ? argv[1] : "";
  bool const single = argc > 2;
  std::uint64_t const single_seed = single ? std::strtoull(argv[2], nullptr, 10) : 0;
  bool const verbose = single || std::getenv("TARNIX_STRESS_VERBOSE") != nullptr;
  index_t nb_failures = 0;
  std::uint64_t case_index = 0;
  auto const start = std::chrono::steady_clock::now();
  for (auto const& family : FAMILIES) {
    if (std::string{family.name}.find(only) == std::string::npos) continue;
    std::uint64_t const nb_cases = INSTRUMENTED ? family.nb_instrumented_cases : family.nb_cases;
    index_t counts[5] = {0, 0, 0, 0, 0};
    double slowest = 0.0;
    double tightest = 0.0;  // largest share of its bound a case used
    auto const family_start = std::chrono::steady_clock::now();
    for (std::uint64_t k = 0; k < (single ? 1 : nb_cases); ++k) {
      if (case_index++ % nb_shards != shard) continue;
      std::uint64_t const seed = single ? single_seed : 1000 + k;
      auto const result = run_case(family, seed, verbose);
      ++counts[static_cast<int>(result.status)];
      slowest = std::max(slowest, result.seconds);
      tightest = std::max(tightest, result.cpu_seconds / result.bound);
      bool const bad = result.status != CaseResult::Status::ok &&
                       result.status != CaseResult::Status::refused;
      if (bad || verbose) {
        std::printf("  %s %s seed %llu (%.2f s): %s\n", bad ? "FAIL" : "case", family.name,
                    static_cast<unsigned long long>(seed), result.seconds, result.text.c_str());
      }
      if (bad) ++nb_failures;
    }
    std::printf("%-20s %3u ok %3u refused %3u failed %3u crashed %3u timed out | slowest %6.2f s "
                "(%3.0f%% of its bound) | %6.1f s\n",
                family.name, counts[0], counts[1], counts[2], counts[3], counts[4], slowest,
                100.0 * tightest, seconds_since(family_start));
    std::fflush(stdout);
  }
  std::printf("%u failing cases, %.1f s%s\n", nb_failures,
              seconds_since(start), INSTRUMENTED ? " (instrumented build, fewer cases)" : "");
  return nb_failures == 0 ? 0 : 1;
}
