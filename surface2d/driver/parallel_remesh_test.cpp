// remesh_surfaces on many surfaces with several workers gives what it
// gives with one: the same output model, the same log, and on a failure
// the same exception and the same output model.
#include <tarnix/surface2d/remesh_surfaces.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <sstream>
#include <stdexcept>
#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

#include <absl/container/flat_hash_map.h>
#include <gtest/gtest.h>

#include <common/variable_attribute.h>
#include <driver/stacked_section.h>
#include <ulvane/basic/logger.h>
#include <ulvane/mesh/triangulated_surface.h>
#include <ulvane/model/section_builder.h>
#include <vantrel/corner.h>
#include <vantrel/initialize_remeshing_data.h>
#include <vantrel/line2d.h>

namespace tarnix {
namespace {

using LinePoints = std::deque<std::pair<Point<2>, unsigned int>>;

// The ids of a run's output and working components, named after the input
// component they copy ("3" for the output copy of the fourth input line of
// its type, "w3" for its working copy), so that runs compare.
using Names = absl::flat_hash_map<std::string, std::string>;

Names component_names(RemeshingData<Section, 2> const& data) {
  Names names;
  auto const add = [&](char const* type, auto const& range) {
    index_t k = 0;
    for (auto const& component : range) {
      auto const name = std::to_string(k++);
      names[data.input_to_output.at(type).in2out(component.id()).string()] = name;
      names[data.input_to_working.at(type).in2out(component.id()).string()] = "w" + name;
    }
  };
  add("Surface", data.input.surfaces());
  add("Line", data.input.lines());
  add("Corner", data.input.corners());
  return names;
}

// The text with every component id replaced by its name.
std::string named(std::string text, Names const& names) {
  for (auto const& entry : names) {
    for (auto at = text.find(entry.first); at != std::string::npos; at = text.find(entry.first)) {
      text.replace(at, entry.first.size(), entry.second);
    }
  }
  return text;
}

// Everything of an output model a host can read, as text: per surface of
// the input (in order) its points bit for bit, triangles, adjacencies and
// links; the links of every line and corner; and the list of every unique
// vertex, in the model's order.
std::vector<std::string> snapshot(Section const& input, Section const& output,
                                  ModelCopyMapping const& input_to_output, Names const& names) {
  std::vector<std::string> lines;
  auto const bits = [](double value) {
    std::ostringstream text;
    text << std::hexfloat << value;
    return text.str();
  };
  for (auto const& input_surface : input.surfaces()) {
    auto const& surface = output.surface(input_to_output.at("Surface").in2out(input_surface.id()));
    auto const& mesh = dynamic_cast<TriangulatedSurface<2> const&>(surface.mesh());
    lines.push_back("surface " + std::to_string(mesh.nb_vertices()) + " vertices " +
                    std::to_string(mesh.nb_polygons()) + " triangles");
    for (index_t v = 0; v < mesh.nb_vertices(); ++v) {
      lines.push_back("v " + bits(mesh.point(v).value(0)) + " " + bits(mesh.point(v).value(1)) +
                      " u " + std::to_string(output.unique_vertex({surface.component_id(), v})));
    }
    for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
      std::string triangle = "t";
      for (local_index_t k = 0; k < 3; ++k) {
        triangle += " " + std::to_string(mesh.polygon_vertex({t, k}));
        auto const adjacent = mesh.polygon_adjacent({t, k});
        triangle += adjacent ? "/" + std::to_string(*adjacent) : "/-";
      }
      lines.push_back(triangle);
    }
  }
  for (auto const& line : output.lines()) {
    for (index_t v = 0; v < line.mesh().nb_vertices(); ++v) {
      lines.push_back("l " + std::to_string(output.unique_vertex({line.component_id(), v})));
    }
  }
  for (auto const& corner : output.corners()) {
    lines.push_back("c " + std::to_string(output.unique_vertex({corner.component_id(), 0})));
  }
  for (index_t u = 0; u < output.nb_unique_vertices(); ++u) {
    std::string list = "u " + std::to_string(u);
    for (auto const& vertex : output.component_mesh_vertices(u)) {
      list += " " + named(vertex.component_id.string(), names) + "/" +
              std::to_string(vertex.vertex);
    }
    lines.push_back(list);
  }
  return lines;
}

// Reports the first line where two snapshots differ.
void expect_same(std::vector<std::string> const& expected, std::vector<std::string> const& actual,
                 unsigned int nb_workers) {
  ASSERT_EQ(expected.size(), actual.size()) << nb_workers << " workers";
  for (std::size_t k = 0; k < expected.size(); ++k) {
    ASSERT_EQ(expected[k], actual[k]) << nb_workers << " workers, line " << k;
  }
}

class MetricFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A constant target length that, once armed, fails inside a disk: armed
// after the line step and put around an input vertex farther from every
// triangle barycenter than the radius, only the frontal remesher meets it.
class FailingMetric final : public Metric<2> {
 public:
  explicit FailingMetric(double length) : length_(length) {}
  double edge_length(Point<2> const& point) const override {
    if (armed.load()) {
      for (auto const& disk : disks) {
        double const dx = point.value(0) - disk.first.value(0);
        double const dy = point.value(1) - disk.first.value(1);
        if (std::sqrt(dx * dx + dy * dy) < disk.second) {
          throw MetricFailure("no length near the point of layer " +
                              std::to_string(disk.first.value(1)));
        }
      }
    }
    return length_;
  }

  std::atomic<bool> armed{false};
  std::vector<std::pair<Point<2>, double>> disks;

 private:
  double length_;
};

constexpr int NB_LAYERS = 12;
constexpr int COLUMNS = 24;
constexpr int ROWS = 2;
constexpr double TARGET_LENGTH = 0.05;

// How a layer is made to fail.
enum class Breakage {
  // A remeshed point of its left side lies off the side's edge: the line
  // transfer refuses it after the interfaces' points went in.
  line_point_off_its_edge,
  // The metric fails inside the layer, during the frontal remesher.
  metric_fails_inside,
};

struct Failure {
  index_t layer;
  Breakage how;
};

// What one remesh_surfaces run leaves: the output model and the log, and
// the exception it raised ("" when none).
struct Run {
  std::vector<std::string> output;
  std::vector<std::string> log;
  std::string exception;
  index_t nb_triangles{0};
};

Run remesh_with(test::StackedSection const& stacked, std::vector<Failure> const& failures,
                unsigned int nb_workers) {
  FailingMetric metric{TARGET_LENGTH};
  Section output;
  auto data = initialize_remeshing_data<SectionBuilder, SectionGeometricModifier, Section, 2>(
      stacked.section, output, metric);
  remesh_corners(data);
  remesh_lines(data);
  for (auto const& failure : failures) {
    if (failure.how == Breakage::metric_fails_inside) {
      // Local row 1 of the layer, the middle column.
      auto const& mesh = stacked.section.surface(stacked.layers[failure.layer]).mesh();
      metric.disks.emplace_back(mesh.point(COLUMNS / 2 + COLUMNS + 1), 0.03);
      continue;
    }
    auto const& side = data.working->line(
        data.input_to_working.at("Line").in2out(stacked.left_sides[failure.layer]));
    auto points =
        side.mesh().edge_attribute_manager().find_attribute<VariableAttribute<LinePoints>>(
            "remeshed_line_attribute");
    auto& deque = points->modifiable_value(side.mesh().nb_edges() - 1);
    deque.emplace_back(Point<2>{{-1.0, 1.0}}, 0);
  }
  metric.armed = true;

  Run run;
  auto const names = component_names(data);
  auto const previous =
      Logger::set_sink([&run, &names](Logger::Level level, absl::string_view message) {
        run.log.push_back(std::to_string(static_cast<int>(level)) + " " +
                          named(std::string{message}, names));
      });
  setenv("TARNIX_NUM_THREADS", std::to_string(nb_workers).c_str(), 1);
  try {
    remesh_surfaces(data);
  } catch (std::exception const& e) {
    run.exception = named(std::string{typeid(e).name()} + ": " + e.what(), names);
  }
  unsetenv("TARNIX_NUM_THREADS");
  Logger::set_sink(previous);
  run.output = snapshot(stacked.section, output, data.input_to_output, names);
  for (auto const& surface : output.surfaces()) run.nb_triangles += surface.mesh().nb_polygons();
  return run;
}

TEST(ParallelRemeshSurfaces, OutputIsTheSameForEveryNumberOfWorkers) {
  auto const stacked = test::make_stacked_section(NB_LAYERS, COLUMNS, ROWS);
  auto const serial = remesh_with(stacked, {}, 1);
  ASSERT_EQ(serial.exception, "");
  EXPECT_GT(serial.nb_triangles, 3000u);
  for (unsigned int const nb_workers : {2u, 8u}) {
    auto const parallel = remesh_with(stacked, {}, nb_workers);
    EXPECT_EQ(parallel.exception, "");
    expect_same(serial.output, parallel.output, nb_workers);
    EXPECT_EQ(serial.log, parallel.log) << nb_workers << " workers";
  }
}

struct FailureCase {
  char const* name;
  std::vector<Failure> failures;
  index_t first_failing;
  char const* exception_part;
};

void PrintTo(FailureCase const& c, std::ostream* os) { *os << c.name; }

class ParallelRemeshFailureTest : public ::testing::TestWithParam<FailureCase> {};

// The layers before the failing one are remeshed, the failing one holds
// what its transfer made before the failure, the later ones nothing: as
// the run on one thread leaves them, with the same exception.
TEST_P(ParallelRemeshFailureTest, FirstFailingLayerInOrderIsReportedAsInTheSerialRun) {
  auto const& c = GetParam();
  auto const stacked = test::make_stacked_section(NB_LAYERS, COLUMNS, ROWS);
  auto const serial = remesh_with(stacked, c.failures, 1);
  EXPECT_NE(serial.exception.find(c.exception_part), std::string::npos) << serial.exception;
  auto const surface_line = [&](index_t layer) {
    index_t seen = 0;
    for (auto const& line : serial.output) {
      if (line.rfind("surface ", 0) == 0 && seen++ == layer) return line;
    }
    return std::string{};
  };
  // The failing layer holds the output vertices of the lines transferred
  // before the failure, and no triangle.
  auto const failing = surface_line(c.first_failing);
  EXPECT_NE(failing.rfind(" vertices 0 triangles"), std::string::npos) << failing;
  EXPECT_NE(failing, "surface 0 vertices 0 triangles");
  EXPECT_EQ(surface_line(c.first_failing - 1).rfind(" vertices 0 triangles"), std::string::npos);
  EXPECT_EQ(surface_line(c.first_failing + 1), "surface 0 vertices 0 triangles");
  for (unsigned int const nb_workers : {2u, 8u}) {
    auto const parallel = remesh_with(stacked, c.failures, nb_workers);
    EXPECT_EQ(serial.exception, parallel.exception) << nb_workers << " workers";
    expect_same(serial.output, parallel.output, nb_workers);
    EXPECT_EQ(serial.log, parallel.log) << nb_workers << " workers";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParallelRemeshFailureTest,
    ::testing::Values(
        FailureCase{"LinePointOffItsEdge", {{5, Breakage::line_point_off_its_edge}}, 5,
                    "[SurfaceRemesher::insert_line_points] Vertex 0 of Line 23 cannot be "
                    "inserted in Surface w5"},
        FailureCase{"MetricFailsInTheFrontalRemesher", {{5, Breakage::metric_fails_inside}}, 5,
                    "MetricFailureE: no length near the point"},
        // The later layer fails at once, long before the earlier one's
        // frontal remesher does: the earlier one is still the one raised.
        FailureCase{"EarlierLayerFailingLaterInTime",
                    {{4, Breakage::metric_fails_inside}, {9, Breakage::line_point_off_its_edge}},
                    4, "MetricFailure"}),
    [](auto const& test_info) { return std::string{test_info.param.name}; });

}  // namespace
}  // namespace tarnix
