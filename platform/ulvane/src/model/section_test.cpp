#include <ulvane/model/section.h>

#include <gtest/gtest.h>

#include <common/variable_attribute.h>
#include <ulvane/basic/ulvane_exception.h>
#include <ulvane/mesh/triangulated_surface.h>
#include <ulvane/mesh/triangulated_surface_builder.h>
#include <ulvane/model/section_builder.h>

#include "model/model_fixtures.h"
#include "model/model_validity.h"

namespace tarnix {
namespace {

using Ids = std::vector<uuid>;

template <typename Range>
Ids ids_of(Range const& range) {
  Ids ids;
  for (auto const& component : range) ids.push_back(component.id());
  return ids;
}

TEST(SectionTest, FixturesAreValid) {
  for (const index_t n : {1u, 2u, 3u}) {
    SCOPED_TRACE(n);
    const auto two = test::make_two_surface_section(n);
    EXPECT_TRUE(test::is_valid_model(two.section));
    EXPECT_EQ(two.section.nb_unique_vertices(), (2 * n + 1) * (n + 1));
    const auto internal = test::make_internal_line_section(n);
    EXPECT_TRUE(test::is_valid_model(internal.section));
    EXPECT_EQ(internal.section.nb_unique_vertices(), (4 * n + 1) * (4 * n + 1));
  }
}

TEST(SectionTest, RangesAndRelationsFollowInsertionOrder) {
  const auto fixture = test::make_two_surface_section(1);
  auto const& section = fixture.section;
  auto const& l = fixture.lines;
  auto const& c = fixture.corners;
  EXPECT_EQ(ids_of(section.surfaces()), (Ids{fixture.left, fixture.right}));
  EXPECT_EQ(ids_of(section.lines()), l);
  EXPECT_EQ(ids_of(section.corners()), c);
  EXPECT_EQ(section.nb_lines(), 7u);

  EXPECT_EQ(ids_of(section.boundaries(section.surface(fixture.left))),
            (Ids{l[0], l[6], l[4], l[5]}));
  EXPECT_EQ(ids_of(section.incidences(section.line(fixture.shared_line))),
            (Ids{fixture.left, fixture.right}));
  EXPECT_EQ(ids_of(section.boundaries(section.line(l[0]))), (Ids{c[0], c[1]}));
  EXPECT_EQ(ids_of(section.incidences(section.corner(c[1]))), (Ids{l[0], l[1], l[6]}));
  EXPECT_TRUE(section.internal_lines(section.surface(fixture.left)).empty());
}

TEST(SectionTest, InternalLinesAndCornersShareVerticesWithTheirSurface) {
  const auto fixture = test::make_internal_line_section(2);
  auto const& section = fixture.section;
  auto const& surface = section.surface(fixture.surface);
  auto const& line = section.line(fixture.internal_line);
  EXPECT_EQ(ids_of(section.internal_lines(surface)), Ids{fixture.internal_line});
  EXPECT_EQ(ids_of(section.internal_corners(surface)), Ids{fixture.internal_corner});
  EXPECT_EQ(ids_of(section.embedding_surfaces(line)), Ids{fixture.surface});
  EXPECT_EQ(ids_of(section.embedding_surfaces(section.corner(fixture.internal_corner))),
            Ids{fixture.surface});
  EXPECT_EQ(ids_of(section.boundaries(line)), (Ids{fixture.corners[4], fixture.corners[5]}));
  EXPECT_EQ(ids_of(section.boundaries(surface)), fixture.boundary_lines);
  for (index_t v = 0; v < line.mesh().nb_vertices(); ++v) {
    const auto u = section.unique_vertex({line.component_id(), v});
    const auto on_surface = section.component_mesh_vertices(u, fixture.surface);
    ASSERT_EQ(on_surface.size(), 1u);
    EXPECT_EQ(surface.mesh().point(on_surface[0]), line.mesh().point(v));
  }
}

TEST(SectionTest, BuilderRefusesUnknownAndRepeatedIds) {
  Section section;
  SectionBuilder builder{section};
  const uuid given;
  EXPECT_EQ(builder.add_surface(given), given);
  EXPECT_THROW(builder.add_surface(given), UlvaneException);
  EXPECT_THROW(builder.add_line(given), UlvaneException);  // taken by another type
  EXPECT_EQ(section.nb_surfaces(), 1u);
  EXPECT_EQ(section.nb_lines(), 0u);
  EXPECT_THROW(section.surface(uuid{}), UlvaneException);
  EXPECT_THROW(section.line(given), UlvaneException);
  EXPECT_THROW(builder.modifiable_corner(given), UlvaneException);
  EXPECT_THROW(builder.add_line_surface_boundary_relationship(uuid{}, given), UlvaneException);

  const uuid line = builder.add_line();
  builder.add_line_surface_boundary_relationship(line, given);
  builder.add_line_surface_boundary_relationship(line, given);
  EXPECT_EQ(section.boundaries(section.surface(given)).size(), 1u);
  EXPECT_EQ(section.incidences(section.line(line)).size(), 1u);
  EXPECT_EQ(section.surface(given).mesh().type_name(), "TriangulatedSurface2D");
}

TEST(SectionTest, CopyIsDeepWithFreshIdsRelationsAndLinks) {
  auto fixture = test::make_two_surface_section(2);
  auto const& from = fixture.section;
  auto marks = from.surface(fixture.left)
                   .mesh()
                   .polygon_attribute_manager()
                   .find_or_create_attribute<VariableAttribute, double>("mark", 0.0, 0);
  marks->set_value(3, 7.0);

  // Into a model that already has a unique vertex: the copy's come after.
  Section copy;
  SectionBuilder builder{copy};
  builder.create_unique_vertex();
  const auto mapping = builder.copy(from);
  EXPECT_TRUE(test::is_valid_model(copy));
  EXPECT_EQ(copy.nb_unique_vertices(), from.nb_unique_vertices() + 1);

  for (char const* type : {"Corner", "Line", "Surface"}) {
    EXPECT_TRUE(mapping.has_mapping_type(type));
  }
  EXPECT_EQ(mapping.at("Line").size(), 7u);
  for (auto const& surface : from.surfaces()) {
    const uuid& copied_id = mapping.at("Surface").in2out(surface.id());
    EXPECT_FALSE(from.has_surface(copied_id));
    auto const& copied = copy.surface(copied_id);
    ASSERT_EQ(copied.mesh().nb_vertices(), surface.mesh().nb_vertices());
    ASSERT_EQ(copied.mesh().nb_polygons(), surface.mesh().nb_polygons());
    for (index_t v = 0; v < surface.mesh().nb_vertices(); ++v) {
      EXPECT_EQ(copied.mesh().point(v), surface.mesh().point(v));
      EXPECT_EQ(copy.unique_vertex({copied.component_id(), v}),
                from.unique_vertex({surface.component_id(), v}) + 1);
    }
    Ids expected_boundaries;
    for (auto const& line : from.boundaries(surface)) {
      expected_boundaries.push_back(mapping.at("Line").in2out(line.id()));
    }
    EXPECT_EQ(ids_of(copy.boundaries(copied)), expected_boundaries);
  }
  // Reverse lists keep their order, component for component.
  for (index_t u = 0; u < from.nb_unique_vertices(); ++u) {
    std::vector<ComponentMeshVertex> expected;
    for (auto const& cmv : from.component_mesh_vertices(u)) {
      expected.push_back(
          {{cmv.component_id.type(), mapping.at(cmv.component_id.type()).in2out(cmv.component_id.id())},
           cmv.vertex});
    }
    EXPECT_EQ(copy.component_mesh_vertices(u + 1), expected);
  }

  auto const& copied_left = copy.surface(mapping.at("Surface").in2out(fixture.left));
  auto copied_marks =
      copied_left.mesh().polygon_attribute_manager().find_attribute<VariableAttribute<double>>(
          "mark");
  EXPECT_EQ(copied_marks->value(3), 7.0);
  copied_marks->set_value(3, 1.0);
  EXPECT_EQ(marks->value(3), 7.0);

  // Edits of the copy leave the original alone.
  auto& mesh = dynamic_cast<TriangulatedSurface<2>&>(
      builder.modifiable_surface(copied_left.id()).get_modifiable_mesh());
  TriangulatedSurfaceBuilder<2>::create(mesh)->set_point(0, Point<2>{{-1, -1}});
  EXPECT_EQ(from.surface(fixture.left).mesh().point(0), (Point<2>{{0, 0}}));
  EXPECT_TRUE(test::is_valid_model(from));
  EXPECT_THROW(SectionBuilder{copy}.copy(copy), UlvaneException);
}

TEST(SectionTest, EmptyAndMovedSections) {
  Section empty;
  EXPECT_EQ(empty.nb_surfaces(), 0u);
  EXPECT_TRUE(empty.surfaces().empty());
  const auto mapping = SectionBuilder{empty}.copy(Section{});
  EXPECT_EQ(mapping.at("Surface").size(), 0u);

  auto fixture = test::make_two_surface_section(1);
  Section moved = std::move(fixture.section);
  EXPECT_EQ(moved.nb_surfaces(), 2u);
  EXPECT_EQ(ids_of(moved.incidences(moved.line(fixture.shared_line))),
            (Ids{fixture.left, fixture.right}));
  EXPECT_TRUE(test::is_valid_model(moved));
}

}  // namespace
}  // namespace tarnix
