#include "brep/repair/surface_intersection_repairer.h"

#include <array>
#include <cmath>
#include <tuple>
#include <functional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <absl/strings/match.h>
#include <absl/strings/str_cat.h>

#include <ulvane/basic/logger.h>
#include <ulvane/basic/progress_logger.h>
#include <ulvane/mesh/triangulated_surface.h>
#include <ulvane/model/brep_builder.h>

#include <tarnix/brep/remesh.h>
#include <vantrel/core.h>

#include "brep/aabb_traversal.h"
#include "brep/repair/repair_test_models.h"
#include "brep/repair_surface_intersections.h"
#include "mesh/surface_validity.h"
#include "model/model_fixtures.h"
#include "model/model_validity.h"

namespace tarnix {
namespace {

using detail::CrossingEdgesRepair;
using detail::DuplicatedEdgePairRepair;
using detail::RepairLimits;
using detail::SurfaceIntersectionDetector;
using detail::SurfaceIntersectionRepairer;
using test::RepairModels;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

TriangulatedSurface<3> const& mesh_of(BRep const& brep, uuid const& id) {
  return dynamic_cast<TriangulatedSurface<3> const&>(brep.surface(id).mesh());
}

//! Captures the log lines of every level, the warnings apart, and the
//! counters of "Repairing surface intersections" while it lives.
class RepairCapture {
 public:
  RepairCapture() : previous_level_(Logger::level()) {
    ProgressLogger::set_quiet(true);
    Logger::set_level(Logger::Level::debug);
    previous_sink_ = Logger::set_sink([this](Logger::Level level, absl::string_view line) {
      lines.emplace_back(line);
      if (level == Logger::Level::debug) debug_lines.emplace_back(line);
      if (level == Logger::Level::warn) warnings.emplace_back(line);
    });
    previous_observer_ = ProgressLogger::set_observer([this](ProgressLogger::Event const& event) {
      if (event.title != "Repairing surface intersections") return;
      if (event.kind == ProgressLogger::Event::Kind::start) first_nb_steps = event.nb_steps;
      current = event.current;
      nb_steps = event.nb_steps;
      if (event.current >= event.nb_steps && event.kind == ProgressLogger::Event::Kind::increment &&
          !reached_total) {
        reached_total = true;
        current_at_total = event.current;
      }
      if (event.current > event.nb_steps) ++nb_overshoots;
      if (event.kind == ProgressLogger::Event::Kind::end) ++nb_ended;
    });
  }
  ~RepairCapture() {
    Logger::set_sink(previous_sink_);
    Logger::set_level(previous_level_);
    ProgressLogger::set_observer(previous_observer_);
  }

  std::vector<std::string> lines;
  std::vector<std::string> debug_lines;
  std::vector<std::string> warnings;
  index_t first_nb_steps = 0;
  index_t current = 0;
  index_t nb_steps = 0;
  //! Whether, and at which count, an increment reached the total.
  bool reached_total = false;
  index_t current_at_total = 0;
  int nb_overshoots = 0;
  int nb_ended = 0;

 private:
  Logger::Level previous_level_;
  Logger::Sink previous_sink_;
  ProgressLogger::Observer previous_observer_;
};

//! Whether the triangle is flat within the rounding of its coordinates.
bool is_numerically_flat(Triangle<3> const& triangle) {
  auto const& v = triangle.vertices();
  const Vector<3> first{v[0], v[1]};
  const Vector<3> second{v[0], v[2]};
  const double longest2 =
      std::max({first.length2(), second.length2(), Vector<3>{v[1], v[2]}.length2()});
  return first.cross(second).length() <= 1e-12 * longest2;
}

index_t nb_flat_triangles(BRep const& brep) {
  index_t count = 0;
  for (auto const& surface : brep.surfaces()) {
    auto const& mesh = mesh_of(brep, surface.id());
    for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
      if (is_numerically_flat(mesh.triangle(t))) ++count;
    }
  }
  return count;
}

//! Findings of a fresh detection of S against O, by kind.
struct Findings {
  std::size_t crossings = 0;
  std::size_t duplicated_edges = 0;
};
Findings findings_between(RemeshingData<BRep, 3>& data, uuid const& surface, uuid const& other) {
  SurfaceIntersectionRepairer repairer{data};
  SurfaceIntersectionDetector detector{repairer, data.output.surface(surface),
                                       data.output.surface(other)};
  const auto tree = create_aabb_tree<3>(mesh_of(data.output, surface));
  const auto other_tree = create_aabb_tree<3>(mesh_of(data.output, other));
  detail::box_pair_intersect(tree, other_tree, detector);
  return {detector.crossings.size(), detector.duplicated_edges.size()};
}

//! Findings of a fresh detection over every ordered pair of surfaces.
std::size_t count_findings(RemeshingData<BRep, 3>& data) {
  SurfaceIntersectionRepairer repairer{data};
  std::size_t count = 0;
  for (auto const& surface : data.output.surfaces()) {
    for (auto const& other : data.output.surfaces()) {
      SurfaceIntersectionDetector detector{repairer, surface, other};
      const auto tree = create_aabb_tree<3>(mesh_of(data.output, surface.id()));
      const auto other_tree = create_aabb_tree<3>(mesh_of(data.output, other.id()));
      detail::box_pair_intersect(tree, other_tree, detector);
      count += detector.crossings.size() + detector.duplicated_edges.size();
    }
  }
  return count;
}

std::string log_line(char const* prefix, RemeshingData<BRep, 3> const& data, uuid const& output) {
  return absl::StrCat(prefix, "Surface ", data.input_to_output.at("Surface").out2in(output).string());
}

// ---------------------------------------------------------------------------
// Whole repairs on small fixtures.

//! The fin: the triangle (A, B, top) in the vertical plane x = y above the
//! square [0, h]^2, whose diagonal A-B it shares by unique vertices but not
//! as a boundary. The square's input is `square_input` (the square itself
//! when empty); the fin is its own input.
struct FinOnSquare {
  uuid square;
  uuid fin;
};
FinOnSquare add_fin_on_square(RepairModels& models, double h,
                              std::vector<Point<3>> square_input = {}) {
  const std::vector<Point<3>> square{Point<3>{{0, 0, 0}}, Point<3>{{h, 0, 0}},
                                     Point<3>{{h, h, 0}}, Point<3>{{0, h, 0}}};
  const std::vector<std::array<index_t, 3>> square_triangles{{0, 1, 2}, {0, 2, 3}};
  FinOnSquare fixture;
  if (square_input.empty()) {
    fixture.square = models.add_surface(square, square_triangles);
  } else {
    const std::vector<std::array<index_t, 3>> input_triangle{{0, 1, 2}};
    fixture.square =
        models.add_surface_pair(square_input, input_triangle, square, square_triangles);
  }
  const index_t a = models.output.unique_vertex({ComponentID{"Surface", fixture.square}, 0});
  const index_t b = models.output.unique_vertex({ComponentID{"Surface", fixture.square}, 2});
  const std::vector<Point<3>> fin{Point<3>{{0, 0, 0}}, Point<3>{{h, h, 0}},
                                  Point<3>{{h / 2, h / 2, h}}};
  const std::vector<std::array<index_t, 3>> fin_triangle{{0, 1, 2}};
  const std::vector<index_t> fin_unique{a, b, NO_ID};
  fixture.fin = models.add_surface(fin, fin_triangle, fin_unique);
  return fixture;
}

//! One surface folded onto itself: the chord square of the crossing sheets
//! (two triangles at z = 0 under the arch z = 0.4 x (1 - x)), folded back
//! at its edge x = 1 by a bridge rising to z = 0.03 at x = 0.7, which goes
//! on as the tilted sheet (y in [0.15, 0.35]) down to z = -0.02 at x = 0.3
//! and so crosses the chord. Its input is the arch, the bridge and the
//! sheet, which do not cross; the chord's edges are nearer the arch than
//! the sheet, so that their splits go to the arch.
uuid add_folded_surface(RepairModels& models) {
  const std::vector<Point<3>> fold{
      Point<3>{{0, 0, 0}},          Point<3>{{1, 0, 0}},          Point<3>{{1, 1, 0}},
      Point<3>{{0, 1, 0}},          Point<3>{{0.7, 0.15, 0.03}},  Point<3>{{0.7, 0.35, 0.03}},
      Point<3>{{0.3, 0.15, -0.02}}, Point<3>{{0.3, 0.35, -0.02}},
  };
  const std::vector<std::array<index_t, 3>> fold_triangles{{0, 1, 2}, {0, 2, 3}, {2, 1, 4},
                                                           {2, 4, 5}, {5, 4, 6}, {5, 6, 7}};
  auto input = test::height_grid(0.0, 1.0, 0.0, 1.0, 8,
                                 [](double x, double) { return 0.4 * x * (1.0 - x); });
  const auto offset = static_cast<index_t>(input.points.size());
  for (index_t v = 1; v < fold.size(); ++v) input.points.push_back(fold[v]);
  for (std::size_t t = 2; t < fold_triangles.size(); ++t) {
    std::array<index_t, 3> triangle;
    for (int k = 0; k < 3; ++k) triangle[k] = fold_triangles[t][k] - 1 + offset;
    input.triangles.push_back(triangle);
  }
  return models.add_surface_pair(input.points, input.triangles, fold, fold_triangles);
}

struct ScenarioResult {
  std::vector<std::string> lines;
  index_t passes = 0;
};

//! Runs the repair step on the record, checks what every scenario must
//! satisfy, and returns the log.
ScenarioResult run_repair(RepairModels& models) {
  auto& data = models.data();
  const index_t nb_blocks = data.output.nb_blocks();
  const index_t nb_surfaces = data.output.nb_surfaces();
  ScenarioResult result;
  {
    RepairCapture capture;
    detail::repair_surface_intersections(data);
    result.lines = capture.lines;
    index_t surface_lines = 0;
    for (auto const& line : capture.debug_lines) {
      if (absl::StartsWith(line, "surface ")) ++surface_lines;
    }
    result.passes = nb_surfaces == 0 ? 0 : surface_lines / nb_surfaces;
    EXPECT_EQ(capture.nb_ended, 1);
    EXPECT_EQ(capture.nb_steps, nb_blocks + nb_surfaces * result.passes);
    EXPECT_EQ(capture.current, capture.nb_steps);
    EXPECT_EQ(capture.nb_overshoots, 0);
  }
  EXPECT_EQ(count_findings(data), 0u);
  EXPECT_TRUE(test::is_valid_model(data.output));
  return result;
}

TEST(RepairSurfaceIntersections, SharedBoundaryLineIsNoFinding) {
  // Through the whole pipeline: the surfaces of a cube share their lines.
  auto cube = test::make_cube_brep(2);
  RepairCapture capture;
  const auto result = remesh(cube.brep, ConstantMetric<3>{0.5});
  std::vector<std::string> expected;
  for (auto const& id : cube.surfaces) {
    expected.push_back(absl::StrCat("surface Surface ", id.string()));
  }
  // The line of each surface is a debug line; nothing else is written.
  std::vector<std::string> repair_lines;
  for (auto const& line : capture.lines) {
    if (absl::StrContains(line, "urface Surface ")) repair_lines.push_back(line);
  }
  EXPECT_THAT(repair_lines, ElementsAreArray(expected));
  std::vector<std::string> debug_repair_lines;
  for (auto const& line : capture.debug_lines) {
    if (absl::StrContains(line, "urface Surface ")) debug_repair_lines.push_back(line);
  }
  EXPECT_THAT(debug_repair_lines, ElementsAreArray(expected));
  EXPECT_EQ(capture.nb_steps, 1u + 6u);
  EXPECT_EQ(capture.current, 7u);
  EXPECT_TRUE(test::is_valid_model(std::get<0>(result)));
}

TEST(RepairSurfaceIntersections, CrossingSheetsAreSplitApart) {
  RepairModels models;
  const auto sheets = test::add_crossing_sheets(models, 1);
  auto const& data = models.data();
  const auto result = run_repair(models);
  EXPECT_EQ(result.passes, 2u);
  EXPECT_THAT(result.lines,
              ElementsAreArray({log_line("surface ", data, sheets.surface),
                                log_line("other_surface intersection ", data, sheets.other_surface),
                                log_line("surface ", data, sheets.other_surface),
                                log_line("surface ", data, sheets.surface),
                                log_line("surface ", data, sheets.other_surface)}));
  // The chord was split towards the arch; the tilted sheet kept its shape.
  EXPECT_GT(mesh_of(models.output, sheets.other_surface).nb_vertices(), 4u);
}

TEST(RepairSurfaceIntersections, DuplicatedEdgesAreTakenApart) {
  RepairModels models;
  const auto fixture = add_fin_on_square(models, 1.0);
  auto const& data = models.data();
  const auto result = run_repair(models);
  EXPECT_EQ(result.passes, 2u);
  EXPECT_THAT(result.lines,
              ElementsAreArray({log_line("surface ", data, fixture.square),
                                log_line("other_surface duplicated ", data, fixture.fin),
                                log_line("surface ", data, fixture.fin),
                                log_line("surface ", data, fixture.square),
                                log_line("surface ", data, fixture.fin)}));
  EXPECT_EQ(mesh_of(models.output, fixture.square).nb_vertices(), 5u);
  EXPECT_EQ(mesh_of(models.output, fixture.fin).nb_vertices(), 4u);
}

TEST(RepairSurfaceIntersections, SurfaceFoldedOntoItself) {
  RepairModels models;
  const uuid folded = add_folded_surface(models);
  auto const& data = models.data();
  const auto result = run_repair(models);
  EXPECT_EQ(result.passes, 2u);
  EXPECT_THAT(result.lines,
              ElementsAreArray({log_line("surface ", data, folded),
                                log_line("other_surface intersection ", data, folded),
                                log_line("surface ", data, folded)}));
}

// ---------------------------------------------------------------------------
// Loop bounds.

TEST(RepairSurfaceIntersections, CrossingInputsEndWithTheirFindingsLogged) {
  // The input surfaces themselves cross: no split can take them apart.
  RepairModels models;
  const auto flat = test::height_grid(0, 1, 0, 1, 2, [](double, double) { return 0.0; });
  const auto tilted =
      test::height_grid(0.2, 0.8, 0.2, 0.8, 3, [](double x, double) { return x - 0.5; });
  models.add_surface(flat.points, flat.triangles);
  models.add_surface(tilted.points, tilted.triangles);
  RepairCapture capture;
  detail::repair_surface_intersections(models.data());
  EXPECT_EQ(capture.nb_ended, 1);
  EXPECT_THAT(capture.warnings, testing::Contains(HasSubstr("left unrepaired between Surface ")));
  EXPECT_TRUE(test::is_valid_model(models.output));
}

//! The crossing inputs of the test above, as S then O.
std::array<uuid, 2> add_crossing_inputs(RepairModels& models) {
  const auto flat = test::height_grid(0, 1, 0, 1, 2, [](double, double) { return 0.0; });
  const auto tilted =
      test::height_grid(0.2, 0.8, 0.2, 0.8, 3, [](double x, double) { return x - 0.5; });
  return {models.add_surface(flat.points, flat.triangles),
          models.add_surface(tilted.points, tilted.triangles)};
}

TEST(RepairSurfaceIntersections, ProgressTotalIsRaisedBeforeItIsReached) {
  // The total grows by one pass of steps as soon as another pass is known
  // to come, and only when the pass bound lets it run: the count reaches
  // the total with the last increment only.
  struct Case {
    char const* name;
    bool crossing_inputs;
    RepairLimits limits;
  };
  RepairLimits bounded;
  bounded.max_passes_base = 0;  // 2 passes per surface
  bounded.max_sweeps_per_pair = 1;
  bounded.max_crossing_iterations = 1;
  bounded.min_split_budget = 100000;
  const Case cases[] = {
      {"repaired in the first pass", false, RepairLimits{}},
      {"stopped by the pass bound", true, bounded},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    RepairModels models;
    if (c.crossing_inputs) {
      add_crossing_inputs(models);
    } else {
      test::add_crossing_sheets(models, 1);
    }
    RepairCapture capture;
    index_t nb_passes = 0;
    index_t max_passes = 0;
    {
      SurfaceIntersectionRepairer repairer{models.data(), c.limits};
      max_passes = repairer.max_passes();
      repairer.repair_small_blocks();
      while (repairer.repair_pass() && repairer.nb_passes_run() < repairer.max_passes()) {
      }
      nb_passes = repairer.nb_passes_run();
    }
    EXPECT_EQ(nb_passes == max_passes, c.crossing_inputs);
    EXPECT_EQ(capture.nb_overshoots, 0);
    EXPECT_EQ(capture.current, capture.nb_steps);
    EXPECT_EQ(capture.nb_steps, 2u * nb_passes);
    ASSERT_TRUE(capture.reached_total);
    EXPECT_EQ(capture.current_at_total, capture.nb_steps);
  }
}

TEST(RepairSurfaceIntersections, DuplicatedEdgesThatStayLeaveTheCrossingsToBeRepaired) {
  // The crossing sheets (S, the tilted sheet, crosses the chord O, whose
  // input is the arch), and far from them a duplicated edge pair that no
  // repair changes: a fin of S over the diagonal of a square of O. The
  // input of each side near the pair is a triangle that leaves the pair at
  // one of its ends, so the split at its target is refused on both sides.
  auto sheet = test::height_grid(0.3, 0.7, 0.05, 0.25, 1,
                                 [](double x, double) { return -0.02 + (x - 0.3) * 0.175; });
  auto arch = test::height_grid(0.0, 1.0, 0.0, 1.0, 8,
                                [](double x, double) { return 0.4 * x * (1.0 - x); });
  auto chord = test::height_grid(0.0, 1.0, 0.0, 1.0, 1, [](double, double) { return 0.0; });
  const auto append = [](test::MeshData& mesh, std::vector<Point<3>> const& points,
                         std::vector<std::array<index_t, 3>> const& triangles) {
    const auto offset = static_cast<index_t>(mesh.points.size());
    mesh.points.insert(mesh.points.end(), points.begin(), points.end());
    for (auto const& t : triangles) mesh.triangles.push_back({t[0] + offset, t[1] + offset, t[2] + offset});
  };
  // The square [5, 6] x [0, 1] with its diagonal (5, 0)-(6, 1), and a
  // triangle at (6, 1) pointing away from it.
  append(chord, {Point<3>{{5, 0, 0}}, Point<3>{{6, 0, 0}}, Point<3>{{6, 1, 0}}, Point<3>{{5, 1, 0}}},
         {{0, 1, 2}, {0, 2, 3}});
  append(arch, {Point<3>{{6, 1, 0}}, Point<3>{{7, 1, 0}}, Point<3>{{6, 2, 0}}}, {{0, 1, 2}});
  // The fin over the diagonal, and a triangle at (5, 0) pointing away.
  const auto sheet_input_points = sheet.points;
  auto sheet_input = sheet;
  append(sheet, {Point<3>{{5, 0, 0}}, Point<3>{{6, 1, 0}}, Point<3>{{5.5, 0.5, 1}}}, {{0, 1, 2}});
  append(sheet_input, {Point<3>{{5, 0, 0}}, Point<3>{{4, 0, 0}}, Point<3>{{5, -1, 0}}}, {{0, 1, 2}});

  RepairModels models;
  const uuid o = models.add_surface_pair(arch.points, arch.triangles, chord.points, chord.triangles);
  std::vector<index_t> fin_unique(sheet.points.size(), NO_ID);
  const auto sheet_size = static_cast<index_t>(sheet_input_points.size());
  fin_unique[sheet_size] = models.output.unique_vertex({ComponentID{"Surface", o}, 4});
  fin_unique[sheet_size + 1] = models.output.unique_vertex({ComponentID{"Surface", o}, 6});
  const uuid s = models.add_surface_pair(sheet_input.points, sheet_input.triangles, sheet.points,
                                         sheet.triangles, fin_unique);
  auto& data = models.data();
  ASSERT_GT(findings_between(data, s, o).crossings, 0u);
  // The fin's edge against the diagonal, seen from both triangles of O.
  ASSERT_EQ(findings_between(data, s, o).duplicated_edges, 2u);

  RepairCapture capture;
  detail::repair_surface_intersections(data);
  EXPECT_EQ(findings_between(data, s, o).crossings, 0u);
  EXPECT_EQ(findings_between(data, o, s).crossings, 0u);
  EXPECT_EQ(findings_between(data, s, o).duplicated_edges, 2u);
  // What stays is a warning naming both surfaces; no crossing stays.
  const std::string s_text = detail::input_surface_id(data, data.output.surface(s)).string();
  const std::string o_text = detail::input_surface_id(data, data.output.surface(o)).string();
  EXPECT_THAT(capture.warnings,
              testing::Contains(absl::StrCat("[repair_surface_intersections] 2 duplicated edges "
                                             "left unrepaired between ",
                                             s_text, " and ", o_text)));
  EXPECT_THAT(capture.warnings, testing::Not(testing::Contains(HasSubstr("crossing edges"))));
  EXPECT_TRUE(test::is_valid_model(data.output));
}

TEST(RepairSurfaceIntersections, CoincidentSurfacesKeepNoFlatTriangle) {
  // Two copies of a square with a centre vertex, turned off the axes and
  // linked to the same unique vertices: every spoke is a duplicated edge.
  // Split points taken at an input barycenter lie on a median through an
  // earlier split point, up to rounding only.
  const std::vector<Point<3>> points{
      Point<3>{{-0.89216465119053978, -0.58063039381827952, 0.98312904157447389}},
      Point<3>{{1.0921646511905398, -0.79851173253634133, 0.86079776204939151}},
      Point<3>{{-0.89216465119053978, 0.39851173253634126, -0.76079776204939142}},
      Point<3>{{1.0921646511905398, 0.18063039381827944, -0.88312904157447381}},
      Point<3>{{0.19157302366019924, -0.227055495300371, 0.074634162219352596}}};
  const std::vector<std::array<index_t, 3>> triangles{{0, 1, 4}, {1, 3, 4}, {3, 2, 4}, {2, 0, 4}};
  RepairModels models;
  const uuid first = models.add_surface(points, triangles);
  std::vector<index_t> unique;
  for (index_t v = 0; v < points.size(); ++v) {
    unique.push_back(models.output.unique_vertex({ComponentID{"Surface", first}, v}));
  }
  const uuid second = models.add_surface(points, triangles, unique);
  auto& data = models.data();
  RepairCapture capture;
  detail::repair_surface_intersections(data);
  EXPECT_EQ(nb_flat_triangles(data.output), 0u);
  EXPECT_TRUE(test::is_valid_model(data.output));
  const std::size_t nb_left = findings_between(data, first, second).duplicated_edges +
                              findings_between(data, first, second).crossings;
  if (nb_left > 0) {
    EXPECT_FALSE(capture.warnings.empty());
  }
  for (auto const& warning : capture.warnings) {
    EXPECT_THAT(warning, HasSubstr(" between Surface "));
  }
}

// ---------------------------------------------------------------------------
// Small blocks.

TEST(RepairSmallBlocks, SplitsOnlyOneTriangleSurfacesOfSmallBlocks) {
  struct Case {
    char const* name;
    std::vector<index_t> nb_triangles;  // of the block's boundary surfaces
    std::vector<bool> split;
  } const cases[] = {
      {"three one-triangle surfaces", {1, 1, 1}, {true, true, true}},
      {"a two-triangle and a one-triangle surface", {2, 1}, {false, true}},
      {"four triangles first", {4, 1}, {false, false}},
      {"no boundary", {}, {}},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    RepairModels models;
    std::vector<uuid> surfaces;
    for (std::size_t s = 0; s < c.nb_triangles.size(); ++s) {
      // Triangle strips at height s; the input lies 0.25 above each.
      const double z = static_cast<double>(s);
      const auto strip = [&](double dz) {
        test::MeshData mesh;
        for (index_t k = 0; k <= c.nb_triangles[s] + 1; ++k) {
          mesh.points.push_back(Point<3>{{0.5 * (k / 2), static_cast<double>(k % 2), z + dz}});
        }
        for (index_t t = 0; t < c.nb_triangles[s]; ++t) {
          mesh.triangles.push_back(t % 2 == 0 ? std::array<index_t, 3>{t, t + 2, t + 1}
                                              : std::array<index_t, 3>{t, t + 1, t + 2});
        }
        return mesh;
      };
      const auto output = strip(0.0);
      const auto input = strip(0.25);
      surfaces.push_back(models.add_surface_pair(input.points, input.triangles, output.points,
                                                 output.triangles));
    }
    {
      BRepBuilder builder{models.output};
      uuid const& block = builder.add_block();
      for (auto const& id : surfaces) builder.add_surface_block_boundary_relationship(id, block);
    }
    RepairCapture capture;
    {
      SurfaceIntersectionRepairer repairer{models.data()};
      repairer.repair_small_blocks();
      EXPECT_EQ(capture.current, 1u);
    }
    for (std::size_t s = 0; s < surfaces.size(); ++s) {
      auto const& mesh = mesh_of(models.output, surfaces[s]);
      EXPECT_EQ(mesh.nb_polygons(), c.nb_triangles[s] + (c.split[s] ? 2u : 0u)) << s;
      EXPECT_TRUE(test::is_valid_surface(mesh));
      if (!c.split[s]) continue;
      // The ray along the normal meets the input 0.25 above the barycenter.
      const index_t v = mesh.nb_vertices() - 1;
      const Point<3> barycenter{{1.0 / 6.0, 1.0 / 3.0, static_cast<double>(s)}};
      EXPECT_NEAR(point_point_distance(mesh.point(v), barycenter), 0.25, 1e-12);
      const index_t unique = models.output.unique_vertex({ComponentID{"Surface", surfaces[s]}, v});
      EXPECT_NE(unique, NO_ID);
      EXPECT_EQ(models.output.component_mesh_vertices(unique).size(), 1u);
    }
    EXPECT_TRUE(test::is_valid_model(models.output));
  }
}

// ---------------------------------------------------------------------------
// The walk of a duplicated edge pair.

TEST(RepairDuplicatedEdgePair, WalkFromTheInputBarycenter) {
  // The square's diagonal A-B (A at 0, B at (h, h)) runs from 0 to (h, h);
  // its target is the midpoint T. The square's input is one triangle whose
  // barycenter is `corner` (exactly, powers of two), so the first
  // candidate is that point.
  struct Case {
    char const* name;
    double h;
    bool on_apex;  // barycenter at the apex (h, 0), else at B
    index_t nb_square_vertices;
    bool swapped;
  } const cases[] = {
      // B is refused (a split at an end); the halved candidate is within the
      // threshold of T, so B is the only candidate.
      {"barycenter within twice the threshold", 0x1p-16, false, 4, false},
      // The halved candidate is tested and allowed.
      {"barycenter farther", 0x1p-14, false, 5, false},
      {"barycenter on an apex", 1.0, true, 4, true},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    const double h = c.h;
    const Point<3> corner = c.on_apex ? Point<3>{{h, 0, 0}} : Point<3>{{h, h, 0}};
    // Offsets summing to zero, so that the barycenter is `corner`.
    const std::array<std::array<double, 2>, 3> offsets =
        c.on_apex ? std::array<std::array<double, 2>, 3>{{{-1.5, 1.5}, {1.5, 0}, {0, -1.5}}}
                  : std::array<std::array<double, 2>, 3>{{{-2, -2}, {2, 0}, {0, 2}}};
    std::vector<Point<3>> input;
    for (auto const& offset : offsets) {
      input.push_back(Point<3>{{corner.value(0) + offset[0] * h, corner.value(1) + offset[1] * h, 0}});
    }
    RepairModels models;
    const auto fixture = add_fin_on_square(models, h, input);
    SurfaceIntersectionRepairer repairer{models.data()};
    const auto& square = models.output.surface(fixture.square);
    const auto& fin = models.output.surface(fixture.fin);
    const PolygonEdge diagonal{0, 2};
    const PolygonEdge fin_edge{0, 0};  // the record keeps a reference
    DuplicatedEdgePairRepair repair{repairer, square, diagonal, fin, fin_edge};
    const auto modified = repair.repair_duplicated_edge_pair();
    auto const& mesh = mesh_of(models.output, fixture.square);
    EXPECT_EQ(mesh.nb_vertices(), c.nb_square_vertices);
    EXPECT_EQ(modified.contains(fixture.square), c.nb_square_vertices == 5 || c.swapped);
    EXPECT_EQ(mesh.polygon_edge_from_vertices(1, 3).has_value() ||
                  mesh.polygon_edge_from_vertices(3, 1).has_value(),
              c.swapped);
    if (c.nb_square_vertices == 5) {
      EXPECT_EQ(mesh.point(4), (Point<3>{{0.75 * h, 0.75 * h, 0}}));
    }
  }
}

// ---------------------------------------------------------------------------
// The split test.

TEST(SurfacePairRepair, IsSplitValidRefusesProblemsAndExcusesConsistentFolds) {
  struct Case {
    char const* name;
    Point<3> point;  // on the square's diagonal A-B
    bool flip_input;
    bool plain_allowed;
    bool valid;
  } const cases[] = {
      {"allowed", Point<3>{{0.5, 0.5, 0}}, false, true, true},
      // A flat triangle, which no normal excuses.
      {"at an end: a problem, no fold", Point<3>{{1, 1, 0}}, false, false, false},
      {"beyond an apex: folds facing with the input", Point<3>{{2, -1, 0}}, false, false, false},
      {"beyond an apex: folds facing against the input", Point<3>{{2, -1, 0}}, true, false, true},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    RepairModels models;
    std::vector<Point<3>> input{Point<3>{{-1, -1, 0}}, Point<3>{{3, -1, 0}},
                                Point<3>{{-1, 3, 0}}};
    if (c.flip_input) std::swap(input[1], input[2]);
    const auto fixture = add_fin_on_square(models, 1.0, input);
    SurfaceIntersectionRepairer repairer{models.data()};
    const auto& square = models.output.surface(fixture.square);
    const auto& fin = models.output.surface(fixture.fin);
    const PolygonEdge diagonal{0, 2};
    const PolygonEdge fin_edge{0, 0};  // the record keeps a reference
    DuplicatedEdgePairRepair repair{repairer, square, diagonal, fin, fin_edge};
    EXPECT_EQ(is_split_edge_valid(models.output, square, diagonal, c.point).empty(),
              c.plain_allowed);
    EXPECT_EQ(repair.is_split_valid(square, diagonal, c.point), c.valid);
  }
}

// ---------------------------------------------------------------------------
// The order of the splits of a crossing repair.

TEST(CrossingEdgesRepair, EdgeOfOtherSurfaceFirstOnEqualLengths) {
  // O: the triangle (0, 0, 0), (1, 0, 0), (0, 1, 0); its longest edge has
  // length sqrt(2). S: one triangle whose first edge crosses O and has
  // length sqrt(2) (equal) or sqrt(2.25) (longer). One split is allowed.
  struct Case {
    char const* name;
    double dz;
    bool surface_split;
  } const cases[] = {
      {"equal lengths", 1.0, false},
      {"longer edge of S", std::sqrt(1.25), true},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    RepairModels models;
    const std::vector<std::array<index_t, 3>> one{{0, 1, 2}};
    const uuid s = models.add_surface(
        std::vector<Point<3>>{Point<3>{{0.1, 0.1, -c.dz / 2}}, Point<3>{{0.1, 1.1, c.dz / 2}},
                              Point<3>{{-0.5, 0.6, 0}}},
        one);
    const uuid o = models.add_surface(
        std::vector<Point<3>>{Point<3>{{0, 0, 0}}, Point<3>{{1, 0, 0}}, Point<3>{{0, 1, 0}}}, one);
    RepairLimits limits;
    limits.max_crossing_iterations = 1;
    SurfaceIntersectionRepairer repairer{models.data(), limits};
    CrossingEdgesRepair repair{repairer, models.output.surface(s), PolygonEdge{0, 0},
                               models.output.surface(o), 0};
    const auto modified = repair.repair_crossing_edges();
    EXPECT_EQ(modified.contains(s), c.surface_split);
    EXPECT_EQ(modified.contains(o), !c.surface_split);
  }
}

TEST(CrossingEdgesRepair, StopAtTheIterationCapIsLogged) {
  // The crossing inputs cannot be taken apart: one iteration leaves
  // crossing edges, and the stop says so once.
  RepairModels models;
  const auto surfaces = add_crossing_inputs(models);
  auto& data = models.data();
  RepairLimits limits;
  limits.max_crossing_iterations = 1;
  SurfaceIntersectionRepairer repairer{data, limits};
  // The edges of the tilted grid cross the flat one.
  auto const& s = data.output.surface(surfaces[1]);
  auto const& o = data.output.surface(surfaces[0]);
  SurfaceIntersectionDetector detector{repairer, s, o};
  detail::box_pair_intersect(create_aabb_tree<3>(mesh_of(data.output, s.id())),
                             create_aabb_tree<3>(mesh_of(data.output, o.id())), detector);
  ASSERT_FALSE(detector.crossings.empty());
  auto const& crossing = detector.crossings.front();
  CrossingEdgesRepair repair{repairer, s, crossing.edge, o, crossing.triangle};
  RepairCapture capture;
  repair.repair_crossing_edges();
  ASSERT_FALSE(repair.edges.empty());
  EXPECT_THAT(capture.lines,
              ElementsAreArray({absl::StrCat(
                  "[repair_surface_intersections] Stopped after 1 iterations of a crossing "
                  "repair between ",
                  detail::input_surface_id(data, s).string(), " and ",
                  detail::input_surface_id(data, o).string(), ", ", repair.edges.size(),
                  " crossing edges left")}));
}

TEST(CrossingEdgesRepair, EmptyEdgesReturnAtOnce) {
  RepairModels models;
  const auto sheets = test::add_crossing_sheets(models, 1);
  SurfaceIntersectionRepairer repairer{models.data()};
  CrossingEdgesRepair repair{repairer, models.output.surface(sheets.surface), PolygonEdge{0, 0},
                             models.output.surface(sheets.other_surface), 0};
  repair.edges.clear();
  EXPECT_TRUE(repair.repair_crossing_edges().empty());
  EXPECT_EQ(repair.other_edges.size(), 3u);
}

}  // namespace
}  // namespace tarnix
