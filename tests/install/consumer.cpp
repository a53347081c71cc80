// A host of the installed libraries: builds a unit-square Section, runs the
// 2D pipeline on it (corners, lines, surfaces) and relaxes the result.
#include <array>
#include <cstdio>

#include <tarnix/surface2d/relax_surfaces.h>
#include <tarnix/surface2d/remesh_surfaces.h>
#include <ulvane/mesh/edged_curve_builder.h>
#include <ulvane/mesh/point_set_builder.h>
#include <ulvane/mesh/triangulated_surface.h>
#include <ulvane/mesh/triangulated_surface_builder.h>
#include <ulvane/model/section.h>
#include <ulvane/model/section_builder.h>
#include <vantrel/corner.h>
#include <vantrel/initialize_remeshing_data.h>
#include <vantrel/line2d.h>

using namespace tarnix;

int main() {
  Section input;
  SectionBuilder builder{input};
  std::array<Point<2>, 4> const points{
      {Point<2>{{0, 0}}, Point<2>{{1, 0}}, Point<2>{{1, 1}}, Point<2>{{0, 1}}}};
  std::array<index_t, 4> uniques{};
  std::array<uuid, 4> corners;
  for (int c = 0; c < 4; ++c) {
    uniques[c] = builder.create_unique_vertex();
    corners[c] = builder.add_corner();
    auto& mesh = builder.modifiable_corner(corners[c]).get_modifiable_mesh();
    PointSetBuilder<2>::create(mesh)->create_point(points[c]);
    builder.set_unique_vertex({{"Corner", corners[c]}, 0}, uniques[c]);
  }
  auto const surface = builder.add_surface();
  auto& mesh =
      dynamic_cast<TriangulatedSurface<2>&>(builder.modifiable_surface(surface).get_modifiable_mesh());
  auto surface_builder = TriangulatedSurfaceBuilder<2>::create(mesh);
  for (int c = 0; c < 4; ++c) {
    surface_builder->create_point(points[c]);
    builder.set_unique_vertex({{"Surface", surface}, static_cast<index_t>(c)}, uniques[c]);
  }
  surface_builder->create_triangle({0, 1, 2});
  surface_builder->create_triangle({0, 2, 3});
  surface_builder->compute_polygon_adjacencies();
  for (int c = 0; c < 4; ++c) {
    auto const line = builder.add_line();
    auto curve = EdgedCurveBuilder<2>::create(builder.modifiable_line(line).get_modifiable_mesh());
    for (int k = 0; k < 2; ++k) {
      auto const v = curve->create_point(points[(c + k) % 4]);
      builder.set_unique_vertex({{"Line", line}, v}, uniques[(c + k) % 4]);
      builder.add_corner_line_boundary_relationship(corners[(c + k) % 4], line);
    }
    curve->create_edge(0, 1);
    builder.add_line_surface_boundary_relationship(line, surface);
  }

  Section output;
  ConstantMetric<2> metric{0.05};
  auto data = initialize_remeshing_data<SectionBuilder, SectionGeometricModifier, Section, 2>(
      input, output, metric);
  remesh_corners(data);
  remesh_lines(data);
  remesh_surfaces(data);
  relax_surfaces(output, metric);

  index_t triangles = 0;
  for (auto const& remeshed : output.surfaces()) triangles += remeshed.mesh().nb_polygons();
  std::printf("consumer: %u triangles\n", triangles);
  return triangles > 500 ? 0 : 1;
}
