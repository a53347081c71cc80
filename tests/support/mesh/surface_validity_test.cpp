#include "mesh/surface_validity.h"

#include <functional>
#include <string>

#include <absl/strings/str_join.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "mesh/surface_fixtures.h"
#include "mesh/test_attribute.h"

namespace tarnix {
namespace {

using ::testing::HasSubstr;

//! A storage that ignores resizes: it falls behind the element count.
class StuckAttribute : public test::TestAttribute<int> {
 public:
  StuckAttribute() : TestAttribute<int>(0, 0) {}
  void resize(index_t /*nb_elements*/) override {}
};

// Each case breaks one invariant of the 2x2 grid of surface_fixtures.h
// (or builds a broken surface) and expects the checker to say so.
TEST(SurfaceValidity, FindsEachBrokenInvariant) {
  using Grid = TriangulatedSurface<2>;
  struct Case {
    std::string expected;
    std::function<std::unique_ptr<Grid>()> make;
  } const cases[] = {
      {"triangle 1 is clockwise",
       [] { return test::make_surface<2>({{{0, 0}}, {{1, 0}}, {{0, 1}}}, {{{0, 1, 2}}, {{0, 2, 1}}}); }},
      {"triangle 0 is degenerate",
       [] { return test::make_surface<2>({{{0, 0}}, {{1, 1}}, {{3, 3}}}, {{{0, 1, 2}}}); }},
      {"edge (1, 0) and its twin edge (0, 2) are not adjacent both ways",
       [] {
         auto mesh = test::make_grid<2>(2);
         TriangulatedSurfaceBuilder<2>::create(*mesh)->set_polygon_adjacent({0, 2}, NO_ID);
         return mesh;
       }},
      {"edge (0, 0) has no twin running the other way in triangle 7",
       [] {
         auto mesh = test::make_grid<2>(2);
         TriangulatedSurfaceBuilder<2>::create(*mesh)->set_polygon_adjacent({0, 0}, 7);
         return mesh;
       }},
      {"the vertex attribute \"stuck\" does not hold 10 values",
       [] {
         auto mesh = test::make_grid<2>(2);
         mesh->vertex_attribute_manager().register_attribute(std::make_shared<StuckAttribute>(),
                                                             "stuck");
         TriangulatedSurfaceBuilder<2>::create(*mesh)->create_point(Point<2>{{{5, 5}}});
         return mesh;
       }},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.expected);
    const auto problems = test::surface_problems(*c.make());
    EXPECT_THAT(absl::StrJoin(problems, "\n"), HasSubstr(c.expected));
  }
}

TEST(SurfaceValidity, Judges3DTrianglesExactly) {
  // Triangle 2 is flat (its points lie on the x axis); triangles 0 and 1
  // both run 0 -> 1, so gluing them leaves edge (0, 0) without a twin.
  auto mesh = test::make_surface<3>(
      {{{0, 0, 0}}, {{1, 0, 0}}, {{2, 0, 0}}, {{0, 1, 0}}, {{0, -1, 0}}},
      {{{0, 1, 3}}, {{0, 1, 4}}, {{0, 2, 1}}});
  TriangulatedSurfaceBuilder<3>::create(*mesh)->set_polygon_adjacent({0, 0}, 1);
  const auto problems = absl::StrJoin(test::surface_problems(*mesh), "\n");
  EXPECT_THAT(problems, HasSubstr("triangle 2 is degenerate"));
  EXPECT_THAT(problems, HasSubstr("edge (0, 0) has no twin running the other way in triangle 1"));
  // A tiny triangle is not flat.
  EXPECT_TRUE(test::is_valid_surface(
      *test::make_surface<3>({{{0, 0, 0}}, {{1, 0, 0}}, {{0, 0, 1e-300}}}, {{{0, 1, 2}}})));
}

}  // namespace
}  // namespace tarnix
