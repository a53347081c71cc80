#include <common/surface_relaxer.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <ulvane/basic/logger.h>
#include <ulvane/mesh/polygonal_surface.h>
#include <ulvane/model/brep.h>
#include <ulvane/model/section.h>
#include <ulvane/model/section_builder.h>

#include <morvex/modifier_model.h>
#include <vantrel/core.h>

#include "common/surface_relaxer/relaxer_test_sections.h"
#include "mesh/surface_validity.h"
#include "model/model_fixtures.h"

namespace tarnix {

// Every member of both instances compiles, the vertex pass of the 3D one
// included.
template class detail::SurfaceRelaxer<Section, SectionGeometricModifier, 2>;
template class detail::SurfaceRelaxer<BRep, BRepGeometricModifier, 3>;

namespace {

using detail::SwapCandidate;
using detail::triangle_quality;
using detail::vertex_angle;

const double nan = std::numeric_limits<double>::quiet_NaN();
const double pi = 3.141592653589793;

template <typename Model, typename Modifier, index_t dimension>
class TestRelaxer : public detail::SurfaceRelaxer<Model, Modifier, dimension> {
  using Base = detail::SurfaceRelaxer<Model, Modifier, dimension>;

 public:
  TestRelaxer(Model& relaxed_model, Surface<dimension> const& relaxed_surface,
              Metric<dimension> const* target_metric = nullptr)
      : Base(relaxed_model, relaxed_surface, target_metric) {}

  using Base::fixed_flags;
  using Base::mesh;
  using Base::modifier;
  using Base::polygon_queue;
  using Base::polygon_stamps;
  using Base::qualities;
  using Base::queue_polygon;
  using Base::queue_vertex;
  using Base::vertex_queue;
  using Base::vertex_stamps;

  bool prepare_smoothing(unsigned int vertex,
                         typename Base::Ring const& /*ring*/) override {
    ++smoothing_calls[vertex];
    return smoothing_allowed;
  }

  Point<2> const& local_point(unsigned int vertex) override;

  bool is_swap_acceptable(SwapCandidate<dimension> const& /*candidate*/) override {
    ++acceptance_calls;
    return swap_acceptable;
  }

  //! Examines only the given vertex in the next vertex pass.
  void queue_only_vertex(index_t vertex) {
    vertex_queue.clear();
    queue_vertex(vertex);
  }

  index_t nb_active_triangles() const {
    index_t count = 0;
    for (index_t t = 0; t < mesh.nb_polygons(); ++t) count += mesh.is_polygon_active(t);
    return count;
  }

  bool smoothing_allowed = true;
  bool swap_acceptable = true;
  index_t acceptance_calls = 0;
  std::map<index_t, index_t> smoothing_calls;
  //! When set, `local_point` of this vertex is shifted by `shift`, turned
  //! a quarter turn more at each examination of the vertex.
  index_t shifted_vertex = NO_ID;
  Point<2> shift;
  Point<2> shifted;
};

template <>
Point<2> const& TestRelaxer<Section, SectionGeometricModifier, 2>::local_point(
    unsigned int vertex) {
  if (vertex != shifted_vertex) return mesh.point(vertex);
  Vector<2> turned{shift};
  for (index_t k = 0; k < smoothing_calls[vertex] % 4; ++k) turned = perpendicular(turned);
  shifted = mesh.point(vertex) + turned;
  return shifted;
}

template <>
Point<2> const& TestRelaxer<BRep, BRepGeometricModifier, 3>::local_point(unsigned int vertex) {
  const auto& point = mesh.point(vertex);
  shifted = Point<2>{{point.value(0), point.value(1)}};
  return shifted;
}

using SectionRelaxer = TestRelaxer<Section, SectionGeometricModifier, 2>;

Surface<2> const& only_surface(test::RectangleSection const& fixture) {
  return fixture.section.surface(fixture.surface);
}

index_t grid_vertex(index_t n, index_t i, index_t j) { return i + (n + 1) * j; }

Point<2> point(double x, double y) { return Point<2>{{x, y}}; }

// --- Quality and angles -----------------------------------------------------

TEST(TriangleQuality, KnownTriangles) {
  const double h = std::sqrt(3.0) / 2;
  struct Case {
    char const* name;
    Triangle<2> triangle;
    double expected;
  } const cases[] = {
      {"equilateral", {point(0, 0), point(1, 0), point(0.5, h)}, 1.0},
      {"clockwise equilateral", {point(0, 0), point(0.5, h), point(1, 0)}, 1.0},
      {"right isosceles", {point(0, 0), point(1, 0), point(0, 1)}, 2 * std::sqrt(2.0) - 2},
      {"flat, middle corner between", {point(0, 0), point(2, 2), point(1, 1)}, 0.0},
      {"flat off the axes", {point(0.1, 0.7), point(0.4, 0.3), point(0.7, -0.1)}, 0.0},
      {"two coincident vertices", {point(0, 0), point(1, 0), point(1, 0)}, nan},
      {"three coincident vertices", {point(2, 2), point(2, 2), point(2, 2)}, nan},
      {"corners 1e-31 apart", {point(0, 0), point(1, 0), point(1, 1e-31)}, nan},
      {"a coordinate not a number", {point(0, 0), point(1, 0), point(nan, 1)}, nan},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    const double quality = triangle_quality(c.triangle);
    if (std::isnan(c.expected)) {
      EXPECT_TRUE(std::isnan(quality)) << quality;
    } else {
      EXPECT_NEAR(quality, c.expected, 1e-15);
    }
  }
  const Triangle<3> equilateral{Point<3>{{1, 0, 0}}, Point<3>{{0, 1, 0}}, Point<3>{{0, 0, 1}}};
  EXPECT_NEAR(triangle_quality(equilateral), 1.0, 1e-15);
}

// The shortcut on the squares of the sides must tell a missing quality as
// measuring it does, on either side of its bounds and from every corner.
TEST(TriangleQuality, ShortcutTellsAMissingQualityAsTheMeasure) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    char const* name;
    Triangle<2> triangle;
    bool expected;
  } const cases[] = {
      {"proper triangle", {point(0, 0), point(1, 0), point(0.3, 0.8)}, false},
      {"flat triangle", {point(0, 0), point(2, 2), point(1, 1)}, false},
      {"coincident vertices", {point(0, 0), point(1, 0), point(1, 0)}, true},
      {"side of 1e-31", {point(0, 0), point(1, 0), point(1, 1e-31)}, true},
      {"side of 3e-30, square below the bound", {point(0, 0), point(1, 0), point(1, 3e-30)}, false},
      {"side of 1e-30, the guard itself", {point(0, 0), point(1, 0), point(1, 1e-30)}, true},
      {"sides of 1e49, squares within the bound", {point(0, 0), point(1e49, 0), point(0, 1e49)}, false},
      {"sides of 1e120, squares beyond the bound", {point(0, 0), point(1e120, 0), point(0, 1e120)}, true},
      {"sides of 1e60, finite squares beyond the bound", {point(0, 0), point(1e60, 0), point(0, 1e60)}, false},
      {"infinite coordinate", {point(0, 0), point(inf, 0), point(0, 1)}, true},
      {"coordinate not a number", {point(0, 0), point(1, 0), point(nan, 1)}, true},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    auto const& t = c.triangle.vertices();
    ASSERT_EQ(std::isnan(triangle_quality(c.triangle)), c.expected) << triangle_quality(c.triangle);
    for (index_t k = 0; k < 3; ++k) {
      EXPECT_EQ(detail::is_quality_nan(t[k], t[(k + 1) % 3], t[(k + 2) % 3]), c.expected) << k;
    }
  }
  EXPECT_FALSE(detail::is_quality_nan(Point<3>{{1, 0, 0}}, Point<3>{{0, 1, 0}}, Point<3>{{0, 0, 1}}));
  EXPECT_TRUE(detail::is_quality_nan(Point<3>{{1, 0, 0}}, Point<3>{{1, 0, 0}}, Point<3>{{0, 0, 1}}));
}

// The quality through the angles' sines, as the formula defines it.
double quality_from_angles(Triangle<2> const& triangle) {
  auto const& t = triangle.vertices();
  double s[3];
  for (index_t i = 0; i < 3; ++i) {
    s[i] = std::sin(vertex_angle(t[i], t[(i + 2) % 3], t[(i + 1) % 3]));
  }
  return 4 * s[0] * s[1] * s[2] / (s[0] + s[1] + s[2]);
}

// The sines measured through acos lose digits on small angles (an angle
// of 1e-5 keeps about ten), hence the looser bounds there.
TEST(TriangleQuality, AgreesWithTheAnglesFormula) {
  struct Case {
    char const* name;
    Triangle<2> triangle;
    double tolerance;
  } const cases[] = {
      {"equilateral", {point(0, 0), point(1, 0), point(0.5, std::sqrt(3.0) / 2)}, 1e-15},
      {"right", {point(0, 0), point(3, 0), point(0, 4)}, 1e-15},
      {"obtuse", {point(0, 0), point(1, 0), point(-0.3, 0.4)}, 1e-14},
      {"needle", {point(0, 0), point(1e3, 1), point(1e3, 1.01)}, 1e-6},
      {"cap", {point(0, 0), point(1, 0), point(0.3, 1e-5)}, 1e-6},
      {"flat cap", {point(0, 0), point(1, 0), point(0.5, 1e-4)}, 1e-6},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    const double expected = quality_from_angles(c.triangle);
    EXPECT_NEAR(triangle_quality(c.triangle), expected, c.tolerance * expected);
  }
}

// Isosceles with apex height h on a unit base: 16 K^2 = 4 h^2, and the
// sides are 1 and twice sqrt(1/4 + h^2).
TEST(TriangleQuality, KeepsItsDigitsOnACap) {
  const long double h = 1e-4L;
  const long double side = std::sqrt(0.25L + h * h);
  const long double expected = 4 * h * h / (side * side * (2 * side + 1));
  const double quality = triangle_quality(Triangle<2>{point(0, 0), point(1, 0), point(0.5, 1e-4)});
  EXPECT_NEAR(quality, static_cast<double>(expected), 1e-14 * static_cast<double>(expected));
}

// The swap test compares a proposed triangle's quality with the stored
// quality of the same triangle, stored from another corner: the two must be
// the very same number.
TEST(TriangleQuality, DoesNotDependOnTheStartingCorner) {
  std::mt19937 random{42};
  std::uniform_real_distribution<double> coordinate{-1, 1};
  for (int k = 0; k < 2000; ++k) {
    const Point<2> a = point(coordinate(random), coordinate(random));
    const Point<2> b = point(coordinate(random), coordinate(random));
    const Point<2> c = point(coordinate(random), coordinate(random));
    const double quality = triangle_quality(Triangle<2>{a, b, c});
    EXPECT_EQ(quality, triangle_quality(Triangle<2>{b, c, a}));
    EXPECT_EQ(quality, triangle_quality(Triangle<2>{c, a, b}));
  }
}

TEST(VertexAngle, AnglesAndCoincidentPoints) {
  EXPECT_DOUBLE_EQ(vertex_angle(point(0, 0), point(2, 0), point(0, 3)), pi / 2);
  EXPECT_DOUBLE_EQ(vertex_angle(point(1, 1), point(2, 1), point(0, 1)), pi);
  EXPECT_DOUBLE_EQ(vertex_angle(Point<3>{{0, 0, 0}}, Point<3>{{1, 0, 0}}, Point<3>{{0, 0, 5}}),
                   pi / 2);
  try {
    vertex_angle(point(1, 1), point(1, 1), point(0, 1));
    FAIL() << "no exception";
  } catch (UlvaneException const& error) {
    EXPECT_STREQ(error.what(),
                 "[Point::operator/] Cannot divide Point by something close to zero");
  }
}

TEST(IdealApex, EquilateralApexOnTheLeft) {
  const Point<2> apex = SectionRelaxer::ideal_apex(point(0, 0), point(2, 0));
  EXPECT_DOUBLE_EQ(apex.value(0), 1.0);
  EXPECT_DOUBLE_EQ(apex.value(1), std::sqrt(3.0));
  const Point<2> reversed = SectionRelaxer::ideal_apex(point(2, 0), point(0, 0));
  EXPECT_DOUBLE_EQ(reversed.value(1), -std::sqrt(3.0));
  EXPECT_THROW(SectionRelaxer::ideal_apex(point(1, 1), point(1, 1)), UlvaneException);
}

// The shortcut on squares must decide as the square root does, also for the
// squares right at the boundary, where the root rounds onto the length.
TEST(ShorterThan, DecidesAsTheRoundedSquareRoot) {
  const auto reference = [](double length, double length2) {
    return !(std::sqrt(length2) >= length);
  };
  std::mt19937_64 random{17};
  std::uniform_real_distribution<double> mantissa{1.0, 2.0};
  std::uniform_real_distribution<double> offset{-0x1p-48, 0x1p-48};
  std::uniform_int_distribution<int> exponent{-400, 400};
  for (int trial = 0; trial < 20000; ++trial) {
    // Powers of two too: there the double below the length is closer.
    const double length = std::ldexp(trial % 4 == 0 ? 1.0 : mantissa(random), exponent(random));
    const detail::ShorterThan is_short{length};
    const double square = length * length;
    std::vector<double> squares{square, square * (1.0 + offset(random)),
                                (length * (1.0 + offset(random))) * (length * (1.0 + offset(random)))};
    double below = square;
    double above = square;
    for (int step = 0; step < 8; ++step) {
      below = std::nextafter(below, 0.0);
      above = std::nextafter(above, std::numeric_limits<double>::infinity());
      squares.push_back(below);
      squares.push_back(above);
    }
    for (const double length2 : squares) {
      ASSERT_EQ(is_short(length2), reference(length, length2))
          << std::hexfloat << "length " << length << ", square " << length2;
    }
  }
  const detail::ShorterThan unit{1.0};
  EXPECT_TRUE(unit(nan));
  EXPECT_TRUE(unit(0.0));
  EXPECT_FALSE(unit(std::numeric_limits<double>::infinity()));
}

// --- Construction, attributes, initialisation --------------------------------

TEST(SurfaceRelaxer, RegistersItsWorkingAttributesForItsLifetime) {
  auto fixture = test::make_rectangle_section(test::grid_mesh(2), 2, 2);
  auto const& mesh = only_surface(fixture).get_mesh();
  {
    SectionRelaxer relaxer{fixture.section, only_surface(fixture)};
    EXPECT_TRUE(mesh.vertex_attribute_manager().attribute_exists("stamp"));
    EXPECT_TRUE(mesh.vertex_attribute_manager().attribute_exists("fixed"));
    EXPECT_TRUE(mesh.polygon_attribute_manager().attribute_exists("stamp"));
    EXPECT_TRUE(mesh.polygon_attribute_manager().attribute_exists("quality"));
    EXPECT_TRUE(std::isnan(relaxer.qualities->value(0)));
    EXPECT_EQ(relaxer.vertex_stamps->value(0), 0u);
  }
  for (auto const& name : {"stamp", "fixed", "quality"}) {
    EXPECT_FALSE(mesh.vertex_attribute_manager().attribute_exists(name)) << name;
    EXPECT_FALSE(mesh.polygon_attribute_manager().attribute_exists(name)) << name;
  }
}

TEST(SurfaceRelaxer, RefusesAConflictingAttributeAndAnUntriangulatedMesh) {
  auto fixture = test::make_rectangle_section(test::grid_mesh(2), 2, 2);
  auto const& mesh = only_surface(fixture).get_mesh();
  mesh.polygon_attribute_manager().find_or_create_attribute<VariableAttribute, bool>("quality",
                                                                                    false, 1);
  try {
    SectionRelaxer relaxer{fixture.section, only_surface(fixture)};
    FAIL() << "no exception";
  } catch (UlvaneException const& error) {
    EXPECT_STREQ(error.what(),
                 "[AttributeManager::find_or_create_attribute] Do not instantiate an attribute "
                 "if an instantiated attribute of the same name with different storage already "
                 "exists.");
  }
  // The names registered before the conflict are taken back; the other
  // attribute stays.
  EXPECT_FALSE(mesh.vertex_attribute_manager().attribute_exists("stamp"));
  EXPECT_FALSE(mesh.polygon_attribute_manager().attribute_exists("stamp"));
  EXPECT_TRUE(mesh.polygon_attribute_manager().attribute_exists("quality"));

  Section section;
  SectionBuilder builder{section};
  uuid const& surface = builder.add_surface(PolygonalSurface<2>::create());
  EXPECT_THROW(SectionRelaxer(section, section.surface(surface)), std::bad_cast);
}

TEST(InitialiseRelaxation, FixesLineAndCornerVerticesAndQueuesTheOthers) {
  const index_t n = 3;
  auto fixture = test::make_rectangle_section(test::grid_mesh(n), n, n);
  SectionRelaxer relaxer{fixture.section, only_surface(fixture)};
  relaxer.initialise_relaxation();
  auto const& mesh = relaxer.mesh;
  ASSERT_EQ(relaxer.polygon_queue.size(), mesh.nb_polygons());
  for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
    EXPECT_EQ(relaxer.qualities->value(t), triangle_quality(mesh.triangle(t)));
  }
  std::vector<index_t> queued;
  for (auto const& entry : relaxer.vertex_queue) queued.push_back(entry.index);
  const std::vector<index_t> interior{grid_vertex(n, 1, 1), grid_vertex(n, 2, 1),
                                      grid_vertex(n, 1, 2), grid_vertex(n, 2, 2)};
  EXPECT_EQ(queued, interior);
  for (index_t v = 0; v < mesh.nb_vertices(); ++v) {
    const bool is_interior = std::find(interior.begin(), interior.end(), v) != interior.end();
    EXPECT_EQ(relaxer.fixed_flags->value(v), !is_interior) << v;
  }
}

TEST(InitialiseRelaxation, QueuesNoVertexWhenAllLieOnLines) {
  auto fixture = test::make_rectangle_section(test::grid_mesh(1), 1, 1);
  SectionRelaxer relaxer{fixture.section, only_surface(fixture)};
  relaxer.initialise_relaxation();
  EXPECT_TRUE(relaxer.vertex_queue.empty());
  for (index_t v = 0; v < 4; ++v) EXPECT_TRUE(relaxer.fixed_flags->value(v));
  EXPECT_EQ(relaxer.polygon_queue.size(), 2u);
}

// --- Queues ----------------------------------------------------------------

TEST(Queues, AnElementQueuedTwiceIsExaminedOnce) {
  const index_t n = 4;
  auto fixture = test::make_rectangle_section(test::grid_mesh(n), n, n);
  SectionRelaxer relaxer{fixture.section, only_surface(fixture)};
  relaxer.initialise_relaxation();
  const index_t v = grid_vertex(n, 2, 2);
  relaxer.vertex_queue.clear();
  relaxer.queue_vertex(v);
  relaxer.queue_vertex(v);
  ASSERT_EQ(relaxer.vertex_queue.size(), 2u);
  relaxer.vertex_pass();
  EXPECT_EQ(relaxer.smoothing_calls[v], 1u);
  EXPECT_TRUE(relaxer.vertex_queue.empty());
}

TEST(Queues, StampsWrapAround) {
  auto fixture = test::make_rectangle_section(test::grid_mesh(2), 2, 2);
  SectionRelaxer relaxer{fixture.section, only_surface(fixture)};
  relaxer.polygon_stamps->set_value(3, 0xFFFFFFFFu);
  relaxer.queue_polygon(3);
  EXPECT_EQ(relaxer.polygon_stamps->value(3), 0u);
  ASSERT_EQ(relaxer.polygon_queue.size(), 1u);
  EXPECT_EQ(relaxer.polygon_queue.front().index, 3u);
  EXPECT_EQ(relaxer.polygon_queue.front().stamp, 0u);
}

// --- The swap test -------------------------------------------------------------

// A 3 x 3 grid whose interior square (1, 1) is squeezed into a thin rhombus
// along its diagonal p00-p11; the other diagonal p10-p01 is much better.
//
//     p01 ---- p11
//      |  '.  / |         p01 -> (1.3, 1.7)
//      |    X   |         p10 -> (1.7, 1.3)
//      | /  '.  |
//     p00 ---- p10
struct ThinRhombus {
  ThinRhombus() {
    auto planar = test::grid_mesh(3);
    planar.points[grid_vertex(3, 2, 1)] = {{1.7, 1.3}};
    planar.points[grid_vertex(3, 1, 2)] = {{1.3, 1.7}};
    fixture = test::make_rectangle_section(planar, 3, 3);
  }
  // Edge p11 -> p00 of triangle (p00, p10, p11) of square (1, 1).
  PolygonEdge diagonal{8, 2};
  index_t p = grid_vertex(3, 2, 2);
  index_t q = grid_vertex(3, 1, 1);
  index_t r = grid_vertex(3, 2, 1);
  index_t s = grid_vertex(3, 1, 2);
  test::RectangleSection fixture;
};

TEST(EvaluateSwap, AcceptsABetterDiagonal) {
  ThinRhombus rhombus;
  SectionRelaxer relaxer{rhombus.fixture.section, only_surface(rhombus.fixture)};
  relaxer.initialise_relaxation();
  const auto candidate = relaxer.evaluate_swap(rhombus.diagonal);
  ASSERT_TRUE(candidate);
  EXPECT_EQ(candidate->triangle.given.vertex, rhombus.p);
  EXPECT_EQ(candidate->triangle.next.vertex, rhombus.q);
  EXPECT_EQ(candidate->triangle.previous.vertex, rhombus.r);
  EXPECT_EQ(candidate->neighbour.previous.vertex, rhombus.s);
  EXPECT_EQ(candidate->neighbour.next.vertex, rhombus.p);
  EXPECT_EQ(candidate->neighbour.given.vertex, rhombus.q);
  EXPECT_EQ(candidate->triangle.given.edge, rhombus.diagonal);
  EXPECT_EQ(candidate->triangle.given.adjacent, absl::optional<index_t>{9});
  EXPECT_EQ(&candidate->triangle.given.point, &relaxer.mesh.point(rhombus.p));
  auto const& mesh = relaxer.mesh;
  EXPECT_EQ(candidate->first_quality,
            triangle_quality(Triangle<2>{mesh.point(rhombus.r), mesh.point(rhombus.p),
                                         mesh.point(rhombus.s)}));
  EXPECT_EQ(candidate->second_quality,
            triangle_quality(Triangle<2>{mesh.point(rhombus.s), mesh.point(rhombus.q),
                                         mesh.point(rhombus.r)}));
  EXPECT_EQ(relaxer.acceptance_calls, 1u);

  relaxer.swap_acceptable = false;
  EXPECT_FALSE(relaxer.evaluate_swap(rhombus.diagonal));
}

TEST(EvaluateSwap, RefusesABorderEdgeAndAThirdTriangleOnTheNewEdge) {
  // Border: edge p00 -> p10 of the lower-right triangle of a unit square.
  auto square = test::make_rectangle_section(test::grid_mesh(1), 1, 1);
  SectionRelaxer on_square{square.section, only_surface(square)};
  on_square.initialise_relaxation();
  EXPECT_FALSE(on_square.evaluate_swap(PolygonEdge{0, 0}));

  // Q has three triangles, (A, B, Q), (B, C, Q) and (C, A, Q). Swapping the
  // edge A -> Q of (C, A, Q) would make B-C, which (B, C, Q) already holds:
  // the triangle across Q->R is the one across S->Q.
  //
  //    D ------- C
  //    |       / |
  //    |     /   |
  //    |   /  Q  |
  //    | /       |
  //    A ------- B
  test::PlanarMesh planar;
  planar.points = {{{0, 0}}, {{4, 0}}, {{4, 4}}, {{0, 4}}, {{2, 1.5}}};
  planar.triangles = {{{0, 1, 4}}, {{1, 2, 4}}, {{2, 0, 4}}, {{2, 3, 0}}};
  auto fan = test::make_rectangle_section(planar, 4, 4);
  SectionRelaxer on_fan{fan.section, only_surface(fan)};
  on_fan.initialise_relaxation();
  EXPECT_FALSE(on_fan.evaluate_swap(PolygonEdge{2, 1}));
  EXPECT_EQ(on_fan.acceptance_calls, 0u);
}

TEST(EvaluateSwap, RefusesWithoutErrorAroundCoincidentPoints) {
  // (2, 1) moved onto (2, 2): the two triangles on that edge are flat, and
  // no swap the model allows needs their angles.
  auto planar = test::grid_mesh(3);
  planar.points[grid_vertex(3, 2, 1)] = {{2, 2}};
  auto fixture = test::make_rectangle_section(planar, 3, 3);
  SectionRelaxer relaxer{fixture.section, only_surface(fixture)};
  relaxer.initialise_relaxation();
  for (const index_t t : {8u, 11u}) {
    EXPECT_TRUE(std::isnan(relaxer.qualities->value(t)));
    for (local_index_t e = 0; e < 3; ++e) {
      EXPECT_NO_THROW(EXPECT_FALSE(relaxer.evaluate_swap({t, e})));
    }
  }
}

TEST(EvaluateSwap, RefusesAQuadrilateralWithAReflexAngle) {
  // X = (0.8, 0.8) with a fan of four in the square [0, 2]^2: the edge
  // X -> c0 sits in a quadrilateral X, c3, c0, c1 whose angle at X exceeds pi.
  test::PlanarMesh planar;
  planar.points = {{{0, 0}}, {{2, 0}}, {{2, 2}}, {{0, 2}}, {{0.8, 0.8}}};
  planar.triangles = {{{0, 1, 4}}, {{1, 2, 4}}, {{2, 3, 4}}, {{3, 0, 4}}};
  auto fixture = test::make_rectangle_section(planar, 2, 2);
  SectionRelaxer relaxer{fixture.section, only_surface(fixture)};
  relaxer.initialise_relaxation();
  EXPECT_FALSE(relaxer.evaluate_swap(PolygonEdge{0, 2}));
  EXPECT_EQ(relaxer.acceptance_calls, 0u);
}

// The two diagonals of a rectangle give congruent triangles: neither may
// replace the other, whichever corner each triangle starts at.
TEST(EvaluateSwap, RefusesASwapThatDoesNotRaiseTheSmallestQuality) {
  for (index_t first = 0; first < 3; ++first) {
    for (index_t second = 0; second < 3; ++second) {
      SCOPED_TRACE(testing::Message() << "rotations " << first << ", " << second);
      test::PlanarMesh planar;
      planar.points = {{{0, 0}}, {{1, 0}}, {{1, 2}}, {{0, 2}}};
      const std::array<index_t, 3> lower{{0, 1, 2}};
      const std::array<index_t, 3> upper{{0, 2, 3}};
      planar.triangles = {{{lower[first], lower[(first + 1) % 3], lower[(first + 2) % 3]}},
                          {{upper[second], upper[(second + 1) % 3], upper[(second + 2) % 3]}}};
      auto fixture = test::make_rectangle_section(planar, 1, 2);
      SectionRelaxer relaxer{fixture.section, only_surface(fixture)};
      relaxer.initialise_relaxation();
      for (local_index_t e = 0; e < 3; ++e) EXPECT_FALSE(relaxer.evaluate_swap({0, e}));
      relaxer.swap_pass();
      EXPECT_EQ(relaxer.acceptance_calls, 0u);
      EXPECT_EQ(relaxer.mesh.polygon_edge_from_vertices(0, 2).has_value() ||
                    relaxer.mesh.polygon_edge_from_vertices(2, 0).has_value(),
                true);
    }
  }
}

TEST(EvaluateSwap, ComparesWithTheStoredQualities) {
  // The unit square's diagonal: both choices are equally good.
  auto fixture = test::make_rectangle_section(test::grid_mesh(1), 1, 1);
  SectionRelaxer relaxer{fixture.section, only_surface(fixture)};
  relaxer.initialise_relaxation();
  const PolygonEdge diagonal{0, 2};
  EXPECT_FALSE(relaxer.evaluate_swap(diagonal));
  // T of no quality: any swap with numeric new qualities passes.
  relaxer.qualities->set_value(0, nan);
  EXPECT_TRUE(relaxer.evaluate_swap(diagonal));
  // Only T' of no quality: T's own quality decides.
  relaxer.qualities->set_value(0, triangle_quality(relaxer.mesh.triangle(0)));
  relaxer.qualities->set_value(1, nan);
  EXPECT_FALSE(relaxer.evaluate_swap(diagonal));
  // A stored quality below the new ones lets the swap through.
  relaxer.qualities->set_value(1, 0.5);
  EXPECT_TRUE(relaxer.evaluate_swap(diagonal));
}

// --- The swap pass ---------------------------------------------------------

TEST(SwapPass, SwapsAndRequeuesWhatTheSwapTouched) {
  ThinRhombus rhombus;
  SectionRelaxer relaxer{rhombus.fixture.section, only_surface(rhombus.fixture)};
  relaxer.initialise_relaxation();
  const double old_min = std::min(relaxer.qualities->value(8), relaxer.qualities->value(9));
  std::vector<unsigned int> stamps;
  for (const index_t v : {rhombus.p, rhombus.q, rhombus.r, rhombus.s}) {
    stamps.push_back(relaxer.vertex_stamps->value(v));
  }
  relaxer.vertex_queue.clear();
  relaxer.polygon_queue.clear();
  relaxer.queue_polygon(8);
  relaxer.swap_pass();

  auto const& mesh = relaxer.mesh;
  EXPECT_TRUE(test::is_valid_surface(mesh));
  EXPECT_TRUE(mesh.polygon_edge_from_vertices(rhombus.r, rhombus.s) ||
              mesh.polygon_edge_from_vertices(rhombus.s, rhombus.r));
  EXPECT_FALSE(mesh.polygon_edge_from_vertices(rhombus.p, rhombus.q) ||
               mesh.polygon_edge_from_vertices(rhombus.q, rhombus.p));
  EXPECT_TRUE(relaxer.polygon_queue.empty());
  for (const index_t t : {8u, 9u}) {
    EXPECT_EQ(relaxer.qualities->value(t), triangle_quality(mesh.triangle(t)));
    EXPECT_GT(relaxer.qualities->value(t), old_min);
  }
  // P, Q, R and S were queued first, in that order.
  std::vector<index_t> queued;
  for (auto const& entry : relaxer.vertex_queue) queued.push_back(entry.index);
  const std::vector<index_t> expected{rhombus.p, rhombus.q, rhombus.r, rhombus.s};
  ASSERT_GE(queued.size(), 4u);
  EXPECT_EQ(std::vector<index_t>(queued.begin(), queued.begin() + 4), expected);
  for (index_t k = 0; k < 4; ++k) {
    EXPECT_GT(relaxer.vertex_stamps->value(expected[k]), stamps[k]);
  }
}

// --- Vertex collapses --------------------------------------------------------

struct CollapseCase {
  char const* name;
  index_t grid;
  //! Builds the mesh and names the vertex to examine.
  std::function<index_t(test::PlanarMesh&)> edit;
  bool collapses;
};

TEST(VertexPass, CollapsesVerticesOfThreeFourAndFiveTriangles) {
  const CollapseCase cases[] = {
      {"three triangles", 4, [](test::PlanarMesh& m) { return test::insert_centroid(m, 10); },
       true},
      {"four triangles", 4,
       [](test::PlanarMesh& m) { return test::insert_square_centre(m, 4, 1, 2); }, true},
      // Flipping squares (2, 2) and (4, 4) leaves (2, 2), (3, 3), (4, 4) and
      // (5, 5) with five triangles; only (3, 3) and (4, 4) are neighbours.
      {"five triangles, neighbour of five", 8,
       [](test::PlanarMesh& m) {
         test::flip_square(m, 8, 2, 2);
         test::flip_square(m, 8, 4, 4);
         return grid_vertex(8, 3, 3);
       },
       true},
      {"five triangles, no neighbour of five", 8,
       [](test::PlanarMesh& m) {
         test::flip_square(m, 8, 2, 2);
         test::flip_square(m, 8, 4, 4);
         return grid_vertex(8, 2, 2);
       },
       false},
      {"six triangles", 4, [](test::PlanarMesh&) { return grid_vertex(4, 2, 2); }, false},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    auto planar = test::grid_mesh(c.grid);
    const index_t v = c.edit(planar);
    auto fixture = test::make_rectangle_section(planar, c.grid, c.grid);
    SectionRelaxer relaxer{fixture.section, only_surface(fixture)};
    relaxer.initialise_relaxation();
    // Without smoothing, the vertex is the only one examined.
    relaxer.smoothing_allowed = false;
    auto const& mesh = relaxer.mesh;
    const auto ring = mesh.polygons_around_vertex(v);
    const index_t first_far = mesh.polygon_edge_vertex(PolygonEdge{ring.front()}, 1);
    const index_t before = relaxer.nb_active_triangles();
    relaxer.queue_only_vertex(v);
    relaxer.vertex_pass();
    EXPECT_EQ(mesh.polygons_around_vertex(v).empty(), c.collapses);
    EXPECT_EQ(relaxer.nb_active_triangles(), c.collapses ? before - 2 : before);
    EXPECT_EQ(relaxer.fixed_flags->value(v), c.collapses);
    if (c.collapses) {
      // The remaining vertex stays where it was and ends fixed.
      index_t remaining = first_far;
      if (ring.size() == 5) remaining = grid_vertex(8, 4, 4);
      EXPECT_TRUE(relaxer.fixed_flags->value(remaining));
      EXPECT_EQ(relaxer.smoothing_calls.count(v), 0u);
    } else {
      EXPECT_EQ(relaxer.smoothing_calls[v], 1u);
    }
    relaxer.modifier.clean();
    EXPECT_TRUE(test::is_valid_surface(mesh));
  }
}

TEST(VertexPass, NeverTouchesALineVertex) {
  // A border vertex of a grid has three triangles, like a removable one.
  const index_t n = 4;
  auto fixture = test::make_rectangle_section(test::grid_mesh(n), n, n);
  SectionRelaxer relaxer{fixture.section, only_surface(fixture)};
  relaxer.initialise_relaxation();
  const index_t v = grid_vertex(n, 2, 0);
  ASSERT_EQ(relaxer.mesh.polygons_around_vertex(v).size(), 3u);
  relaxer.queue_only_vertex(v);
  relaxer.vertex_pass();
  EXPECT_EQ(relaxer.mesh.polygons_around_vertex(v).size(), 3u);
  EXPECT_TRUE(relaxer.smoothing_calls.empty());
  EXPECT_TRUE(relaxer.polygon_queue.size() == relaxer.mesh.nb_polygons());
}

//! The metric of the given length everywhere.
class FixedMetric : public Metric<2> {
 public:
  explicit FixedMetric(double length) : length_(length) {}
  double edge_length(Point<2> const& /*point*/) const override { return length_; }

 private:
  double length_;
};

TEST(VertexPass, CollapsesAnEdgeShorterThanTheMetricAsks) {
  // Vertex (4, 4) of an 8 x 8 grid moved to (4.8, 4.8): its edge to (5, 5)
  // is 0.28 long, the others at least 0.82.
  const index_t n = 8;
  auto planar = test::grid_mesh(n);
  const index_t v = grid_vertex(n, 4, 4);
  const index_t c = grid_vertex(n, 5, 5);
  planar.points[v] = {{4.8, 4.8}};

  const auto run = [&](Metric<2> const* metric) {
    auto fixture = test::make_rectangle_section(planar, n, n);
    SectionRelaxer relaxer{fixture.section, only_surface(fixture), metric};
    relaxer.initialise_relaxation();
    relaxer.smoothing_allowed = false;
    relaxer.queue_only_vertex(v);
    relaxer.vertex_pass();
    const bool collapsed = relaxer.mesh.polygons_around_vertex(v).empty();
    if (collapsed) {
      EXPECT_TRUE(relaxer.fixed_flags->value(c));
    }
    return collapsed;
  };
  EXPECT_FALSE(run(nullptr));
  const FixedMetric unit{1.0};
  EXPECT_TRUE(run(&unit));

  // An edge of exactly 0.433 L is not short.
  const double length = std::sqrt(0.2 * 0.2 + 0.2 * 0.2);
  auto fixture = test::make_rectangle_section(planar, n, n);
  const auto edge = fixture.section.surface(fixture.surface).get_mesh().polygon_edge_from_vertices(v, c);
  ASSERT_TRUE(edge);
  const double measured = fixture.section.surface(fixture.surface).get_mesh().edge_length(*edge);
  EXPECT_NEAR(measured, length, 1e-12);
  double exact = measured / 0.433;
  while (exact * 0.433 < measured) exact = std::nextafter(exact, 1e9);
  while (exact * 0.433 > measured) exact = std::nextafter(exact, 0.0);
  if (exact * 0.433 != measured) GTEST_SKIP() << "no metric length hits the edge length";
  const FixedMetric at_threshold{exact};
  EXPECT_FALSE(run(&at_threshold));
  double above = exact;
  while (above * 0.433 <= measured) above = std::nextafter(above, 1e9);
  const FixedMetric just_above{above};
  EXPECT_TRUE(run(&just_above));
}

// The driver checks the metric at every vertex before it starts; a vertex
// that moved meets the metric where it was never read.
TEST(VertexPass, RefusesAMetricLengthThatIsNotPositiveFinite) {
  const index_t n = 4;
  const index_t v = grid_vertex(n, 2, 2);
  const struct Case {
    double length;
    char const* written;
  } cases[] = {{0.0, "0.000000"},
               {-2.0, "-2.000000"},
               {nan, "nan"},
               {std::numeric_limits<double>::infinity(), "inf"}};
  for (auto const& c : cases) {
    SCOPED_TRACE(c.written);
    auto fixture = test::make_rectangle_section(test::grid_mesh(n), n, n);
    const FixedMetric metric{c.length};
    SectionRelaxer relaxer{fixture.section, only_surface(fixture), &metric};
    relaxer.initialise_relaxation();
    relaxer.queue_only_vertex(v);
    try {
      relaxer.vertex_pass();
      ADD_FAILURE() << "no exception";
    } catch (UlvaneException const& error) {
      EXPECT_EQ(std::string{error.what()},
                std::string{"[relax_surfaces] The metric must give positive finite lengths, got "} +
                    c.written + " at vertex 12 of Surface " + fixture.surface.string());
    }
    EXPECT_EQ(relaxer.nb_active_triangles(), relaxer.mesh.nb_polygons());
  }
}

// --- Smoothing ------------------------------------------------------------------

TEST(VertexPass, LeavesAVertexThatIsWellPlaced) {
  const index_t n = 4;
  auto fixture = test::make_rectangle_section(test::grid_mesh(n), n, n);
  SectionRelaxer relaxer{fixture.section, only_surface(fixture)};
  relaxer.initialise_relaxation();
  const index_t v = grid_vertex(n, 2, 2);
  const Point<2> before = relaxer.mesh.point(v);
  relaxer.queue_only_vertex(v);
  const unsigned int stamp = relaxer.vertex_stamps->value(v);
  relaxer.polygon_queue.clear();
  relaxer.vertex_pass();
  EXPECT_EQ(relaxer.mesh.point(v), before);
  EXPECT_EQ(relaxer.smoothing_calls[v], 1u);
  EXPECT_EQ(relaxer.vertex_stamps->value(v), stamp);
  EXPECT_TRUE(relaxer.polygon_queue.empty());
}

TEST(VertexPass, MovesAVertexTowardsItsIdealPlaceAndRequeuesItsSurroundings) {
  const index_t n = 4;
  auto planar = test::grid_mesh(n);
  const index_t v = grid_vertex(n, 2, 2);
  planar.points[v] = {{2.4, 1.8}};
  auto fixture = test::make_rectangle_section(planar, n, n);
  SectionRelaxer relaxer{fixture.section, only_surface(fixture)};
  relaxer.initialise_relaxation();
  relaxer.queue_only_vertex(v);
  relaxer.polygon_queue.clear();

  relaxer.smoothing_allowed = false;
  relaxer.vertex_pass();
  EXPECT_EQ(relaxer.mesh.point(v), point(2.4, 1.8));

  relaxer.smoothing_allowed = true;
  relaxer.queue_only_vertex(v);
  relaxer.vertex_pass();
  // The vertex heads for the mean of its neighbours, (2, 2), which move a
  // little in turn; it is examined again after each move.
  const Point<2> moved = relaxer.mesh.point(v);
  EXPECT_LT(point_point_distance(moved, point(2, 2)), 0.15);
  EXPECT_GT(relaxer.smoothing_calls[v], 2u);
  // Its triangles wait for the swap pass with fresh qualities.
  std::vector<index_t> queued;
  for (auto const& entry : relaxer.polygon_queue) {
    if (relaxer.polygon_stamps->value(entry.index) == entry.stamp) queued.push_back(entry.index);
  }
  std::vector<index_t> ring;
  for (auto const& corner : relaxer.mesh.polygons_around_vertex(v)) {
    ring.push_back(corner.polygon_id);
    EXPECT_EQ(relaxer.qualities->value(corner.polygon_id),
              triangle_quality(relaxer.mesh.triangle(corner.polygon_id)));
  }
  std::sort(queued.begin(), queued.end());
  for (const index_t t : ring) {
    EXPECT_TRUE(std::binary_search(queued.begin(), queued.end(), t)) << t;
  }
  EXPECT_TRUE(test::is_valid_surface(relaxer.mesh));
}

TEST(FindMovedPosition, RefusesShortMovesAndTargetsOutsideTheRing) {
  const index_t n = 4;
  auto fixture = test::make_rectangle_section(test::grid_mesh(n), n, n);
  SectionRelaxer relaxer{fixture.section, only_surface(fixture)};
  relaxer.initialise_relaxation();
  const index_t v = grid_vertex(n, 2, 2);
  const auto ring = relaxer.mesh.polygons_around_vertex(v);
  struct Case {
    char const* name;
    Point<2> target;
    double mean_length;
    bool moves;
  } const cases[] = {
      {"inside the ring", point(2.3, 2.1), 1.0, true},
      {"shorter than a hundredth", point(2.009, 2), 1.0, false},
      {"just over a hundredth", point(2 + 1.0 / 64, 2), 1.0, true},
      {"outside every triangle", point(3.5, 2), 1.0, false},
      {"onto a neighbour", point(3, 2), 1.0, false},
      {"no ring length", point(2.3, 2.1), 0.0, true},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    const auto moved = relaxer.find_moved_position(v, c.target, ring, c.mean_length);
    ASSERT_EQ(moved.has_value(), c.moves);
    if (moved) {
      EXPECT_NEAR(moved->value(0), c.target.value(0), 1e-12);
      EXPECT_NEAR(moved->value(1), c.target.value(1), 1e-12);
    }
  }
}

// A vertex of 40 triangles, more than the move simulation searches
// linearly: a move just past any one side of its ring turns that one
// triangle over and must be refused, wherever the triangle comes in the fan.
TEST(MoveSimulation, RefusesAMoveThatTurnsAnyOneTriangleOfALargeFanOver) {
  // A rim of 40 vertices on the unit circle about (2, 2) in the square
  // [0, 4]^2, each rim edge joined to the centre and to the square's corner
  // of its quadrant; the corners' sides close on the rim vertices at 0, 90,
  // 180 and 270 degrees.
  constexpr index_t nb_rim = 40;
  test::PlanarMesh planar;
  planar.points = {{{4, 0}}, {{4, 4}}, {{0, 4}}, {{0, 0}}, {{2, 2}}};
  const index_t centre = 4;
  const double step = 2 * pi / nb_rim;
  for (index_t k = 0; k < nb_rim; ++k) {
    planar.points.push_back({{2 + std::cos(k * step), 2 + std::sin(k * step)}});
  }
  const auto rim = [](index_t k) { return 5 + k % nb_rim; };
  for (index_t k = 0; k < nb_rim; ++k) {
    const index_t corner = 1 + k / (nb_rim / 4);
    planar.triangles.push_back({{centre, rim(k), rim(k + 1)}});
    planar.triangles.push_back({{rim(k + 1), rim(k), corner % 4}});
  }
  for (index_t side = 0; side < 4; ++side) {
    planar.triangles.push_back({{side, (side + 1) % 4, rim(side * (nb_rim / 4))}});
  }
  auto fixture = test::make_rectangle_section(planar, 4, 4);
  auto const& surface = only_surface(fixture);
  ASSERT_EQ(surface.get_mesh().polygons_around_vertex(centre).size(), nb_rim);
  const index_t unique = fixture.section.unique_vertex({surface.component_id(), centre});
  EXPECT_TRUE(is_move_point_valid(fixture.section, unique, point(2.1, 2.05)));
  for (index_t k = 0; k < nb_rim; ++k) {
    SCOPED_TRACE(k);
    // On the circle halfway between two rim vertices: past their edge,
    // inside the lines of every other rim edge.
    const double angle = (k + 0.5) * step;
    EXPECT_FALSE(is_move_point_valid(fixture.section, unique,
                                     point(2 + std::cos(angle), 2 + std::sin(angle))));
  }
}

TEST(MeanIdealApex, LeavesOutTrianglesWithoutQuality) {
  const index_t n = 4;
  auto planar = test::grid_mesh(n);
  const index_t v = grid_vertex(n, 2, 2);
  planar.points[grid_vertex(n, 3, 2)] = {{3.2, 2.3}};
  auto fixture = test::make_rectangle_section(planar, n, n);
  SectionRelaxer relaxer{fixture.section, only_surface(fixture)};
  relaxer.initialise_relaxation();
  auto const& mesh = relaxer.mesh;
  const auto ring = mesh.polygons_around_vertex(v);
  std::vector<Point<2>> apexes;
  for (auto const& corner : ring) {
    const PolygonEdge opposite = mesh.next_polygon_edge(PolygonEdge{corner});
    apexes.push_back(SectionRelaxer::ideal_apex(mesh.point(mesh.polygon_edge_vertex(opposite, 0)),
                                                mesh.point(mesh.polygon_edge_vertex(opposite, 1))));
  }
  const auto mean_of = [&](index_t skipped) {
    Point<2> sum;
    index_t count = 0;
    for (index_t k = 0; k < apexes.size(); ++k) {
      if (k == skipped) continue;
      sum += apexes[k];
      ++count;
    }
    return sum / count;
  };
  const auto expect_near = [](Point<2> const& a, Point<2> const& b) {
    EXPECT_NEAR(a.value(0), b.value(0), 1e-12);
    EXPECT_NEAR(a.value(1), b.value(1), 1e-12);
  };
  expect_near(relaxer.mean_ideal_apex(ring), mean_of(NO_ID));
  relaxer.qualities->set_value(ring[1].polygon_id, nan);
  expect_near(relaxer.mean_ideal_apex(ring), mean_of(1));
  for (auto const& corner : ring) relaxer.qualities->set_value(corner.polygon_id, nan);
  EXPECT_EQ(relaxer.mean_ideal_apex(ring), mesh.point(v));
}

// A local point that turns around the vertex at every examination keeps the
// target away from it however it moves; the pass still ends.
TEST(VertexPass, EndsWhenSmoothingNeverSettles) {
  const index_t n = 4;
  auto fixture = test::make_rectangle_section(test::grid_mesh(n), n, n);
  SectionRelaxer relaxer{fixture.section, only_surface(fixture)};
  relaxer.initialise_relaxation();
  const index_t v = grid_vertex(n, 2, 2);
  relaxer.shifted_vertex = v;
  relaxer.shift = point(0.3, 0);
  relaxer.queue_only_vertex(v);
  std::vector<std::string> lines;
  const auto previous = Logger::set_sink(
      [&lines](Logger::Level, absl::string_view line) { lines.emplace_back(line); });
  relaxer.vertex_pass();
  Logger::set_sink(previous);
  EXPECT_TRUE(relaxer.vertex_queue.empty());
  const auto budget = SectionRelaxer::max_moves_per_vertex * relaxer.mesh.nb_vertices();
  EXPECT_EQ(lines, std::vector<std::string>{"[relax_surfaces] Stopped moving vertices after " +
                                            std::to_string(budget) + " moves on Surface " +
                                            fixture.surface.string()});
  std::uint64_t calls = 0;
  for (auto const& entry : relaxer.smoothing_calls) calls += entry.second;
  EXPECT_GE(calls, budget);
  EXPECT_TRUE(test::is_valid_surface(relaxer.mesh));
}

// --- The 3D instance ----------------------------------------------------------

TEST(SurfaceRelaxer3D, SwapsNothingOnTheFacesOfACube) {
  auto cube = test::make_cube_brep(3);
  for (auto const& id : cube.surfaces) {
    TestRelaxer<BRep, BRepGeometricModifier, 3> relaxer{cube.brep, cube.brep.surface(id)};
    relaxer.initialise_relaxation();
    // Only the four interior vertices of each face lie on no line.
    EXPECT_EQ(relaxer.vertex_queue.size(), 4u);
    relaxer.swap_pass();
    EXPECT_EQ(relaxer.acceptance_calls, 0u);
    EXPECT_TRUE(test::is_valid_surface(relaxer.mesh));
  }
}

}  // namespace
}  // namespace tarnix
