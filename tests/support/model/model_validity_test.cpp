#include "model/model_validity.h"

#include <absl/strings/str_join.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ulvane/mesh/edged_curve_builder.h>
#include <ulvane/mesh/triangulated_surface_builder.h>
#include <ulvane/model/section_builder.h>

#include "model/model_fixtures.h"

namespace tarnix {
namespace {

using ::testing::HasSubstr;

TEST(ModelValidity, FindsLinksAwayFromTheirUniqueVertexAndBrokenSurfaces) {
  auto fixture = test::make_two_surface_section(1);
  ASSERT_TRUE(test::is_valid_model(fixture.section));
  SectionBuilder builder{fixture.section};
  // Move a vertex of the shared line off the place of its unique vertex,
  // and glue a border edge of the left surface to nothing that holds it.
  auto& line = builder.modifiable_line(fixture.shared_line).get_modifiable_mesh();
  EdgedCurveBuilder<2>::create(line)->set_point(0, Point<2>{{0.5, 0.5}});
  auto& left = dynamic_cast<TriangulatedSurface<2>&>(
      builder.modifiable_surface(fixture.left).get_modifiable_mesh());
  TriangulatedSurfaceBuilder<2>::create(left)->set_polygon_adjacent({0, 0}, 1);

  const auto problems = absl::StrJoin(test::model_problems(fixture.section), "\n");
  EXPECT_THAT(problems, HasSubstr("Line " + fixture.shared_line.string() + " vertex 0 at"));
  EXPECT_THAT(problems, HasSubstr("Surface " + fixture.left.string() +
                                  ": edge (0, 0) has no twin running the other way"));
}

}  // namespace
}  // namespace tarnix
