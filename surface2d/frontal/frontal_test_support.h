#pragma once

// Fixtures and measures shared by the frontal remesher's tests and benchmark.

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <tarnix/surface2d/frontal_remesher.h>
#include <ulvane/geometry/point.h>
#include <ulvane/mesh/triangulated_surface.h>
#include <ulvane/mesh/triangulated_surface_builder.h>
#include <vantrel/core.h>

namespace tarnix {
namespace test {

//! The remesher with its state open to the tests.
class TestRemesher : public detail::FrontalRemesher2D {
 public:
  using detail::FrontalRemesher2D::FrontalRemesher2D;
  using detail::FrontalRemesher<2>::append_edge_info;
  using detail::FrontalRemesher<2>::cut_chain;
  using detail::FrontalRemesher<2>::flip_if_better;
  using detail::FrontalRemesher<2>::edge_lists;
  using detail::FrontalRemesher<2>::set_edge_list;
  using detail::FrontalRemesher<2>::front;
  using detail::FrontalRemesher<2>::macro_edges;
  using detail::FrontalRemesher<2>::macro_edge_sides;
  using detail::FrontalRemesher<2>::modifier;
  using detail::FrontalRemesher<2>::output_builder;
  using detail::FrontalRemesher<2>::output_mesh;
  using detail::FrontalRemesher<2>::vertex_info;
  using detail::FrontalRemesher<2>::triangle_info_attribute;
};

//! A metric given by a function.
class FunctionMetric : public Metric<2> {
 public:
  explicit FunctionMetric(std::function<double(Point<2> const&)> length)
      : length_(std::move(length)) {}
  double edge_length(Point<2> const& point) const override { return length_(point); }

 private:
  std::function<double(Point<2> const&)> length_;
};

//! A working surface with its builder and the vertices to keep.
struct WorkingSurface {
  std::unique_ptr<TriangulatedSurface<2>> mesh;
  std::unique_ptr<TriangulatedSurfaceBuilder<2>> builder;
  std::vector<unsigned int> given;
};

//! Which square cells of a regular grid over [0, 1]^2 belong to the domain
//! (arguments: the cell's centre).
using CellDomain = std::function<bool(Point<2> const&)>;

//! The cells of size `cell` inside the domain, each cut into two
//! counter-clockwise triangles; the border vertices at multiples of
//! `spacing` are given. `cell` divides 1 and `spacing`.
WorkingSurface make_fine_grid(double cell, double spacing, CellDomain const& domain);

//! The cells of size `cell` inside the domain; a cell with a side on the
//! domain border has that side split into `pieces` and is fanned from its
//! centre. Every border vertex is given.
WorkingSurface make_split_border_grid(double cell, unsigned int pieces, CellDomain const& domain);

//! Marks given, on each straight border run between turning vertices, the
//! border vertices nearest to equal metric steps (turning vertices always).
void choose_given_by_metric(WorkingSurface& surface, Metric<2> const& metric);

//! The signed area of a triangle of a surface.
double triangle_area(TriangulatedSurface<2> const& mesh, unsigned int triangle);
//! The area of the active triangles.
double surface_area(TriangulatedSurface<2> const& mesh);

//! Measures of a remeshed surface.
struct MeshFigures {
  unsigned int nb_triangles{0};
  double min_quality{0.0};
  double mean_quality{0.0};
  double min_angle_degrees{0.0};
  double share_of_good_edges{0.0};
  unsigned int nb_regions{0};
  double region_area_share{0.0};
};

MeshFigures measure(detail::RemeshedSurface<2> const& result, Metric<2> const& metric,
                    double input_area);
std::string describe(MeshFigures const& figures);

//! The cell domains of the tests.
bool unit_square(Point<2> const& centre);
bool square_with_hole(Point<2> const& centre);
bool l_shape(Point<2> const& centre);

}  // namespace test
}  // namespace tarnix
