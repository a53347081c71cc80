#include "layered_section.h"

#include <array>
#include <cmath>
#include <vector>

#include <ulvane/mesh/edged_curve_builder.h>
#include <ulvane/mesh/point_set_builder.h>
#include <ulvane/mesh/triangulated_surface.h>
#include <ulvane/mesh/triangulated_surface_builder.h>
#include <ulvane/model/section_builder.h>

namespace tarnix {
namespace demo {

double interface_height(double x) { return 1.0 + 0.25 * std::sin(2.0 * M_PI * x / WIDTH); }

double InterfaceMetric::edge_length(Point<2> const& point) const {
  return finest_ + growth_ * std::fabs(point.value(1) - interface_height(point.value(0)));
}

namespace {

using Cell = std::array<int, 2>;

// Builds the section on a lattice of (columns + 1) x (2 rows + 1) grid
// vertices; row `rows` lies on the interface.
class LayeredSectionBuilder {
 public:
  LayeredSectionBuilder(Section& section, int columns, int rows)
      : columns_(columns), rows_(rows), builder_(section) {
    for (int j = 0; j <= 2 * rows; ++j) {
      for (int i = 0; i <= columns; ++i) uniques_.push_back(builder_.create_unique_vertex());
    }
  }

  void build() {
    int const c = columns_;
    int const r = rows_;
    auto const c0 = add_corner({0, 0});
    auto const c1 = add_corner({c, 0});
    auto const c2 = add_corner({c, r});
    auto const c3 = add_corner({0, r});
    auto const c4 = add_corner({c, 2 * r});
    auto const c5 = add_corner({0, 2 * r});
    std::array<uuid, 4> const lower_lines{add_line(c0, c1, {0, 0}, {1, 0}, c),
                                          add_line(c1, c2, {c, 0}, {0, 1}, r),
                                          add_line(c3, c2, {0, r}, {1, 0}, c),
                                          add_line(c0, c3, {0, 0}, {0, 1}, r)};
    std::array<uuid, 4> const upper_lines{lower_lines[2], add_line(c2, c4, {c, r}, {0, 1}, r),
                                          add_line(c5, c4, {0, 2 * r}, {1, 0}, c),
                                          add_line(c3, c5, {0, r}, {0, 1}, r)};

    // The internal line of the lower layer, along its middle row.
    int const line_row = r / 2;
    int const line_from = c / 6;
    int const line_to = c / 3;
    auto const i0 = add_corner({line_from, line_row});
    auto const i1 = add_corner({line_to, line_row});
    auto const internal =
        add_line(i0, i1, {line_from, line_row}, {1, 0}, line_to - line_from);

    // The hole of the upper layer: rows [r + r/3, r + 2r/3), columns
    // [c/2, 2c/3).
    hole_from_ = {c / 2, r + r / 3};
    hole_to_ = {2 * c / 3, r + 2 * r / 3};
    auto const h0 = add_corner(hole_from_);
    auto const h1 = add_corner({hole_to_[0], hole_from_[1]});
    auto const h2 = add_corner(hole_to_);
    auto const h3 = add_corner({hole_from_[0], hole_to_[1]});
    int const hole_width = hole_to_[0] - hole_from_[0];
    int const hole_height = hole_to_[1] - hole_from_[1];
    std::array<uuid, 4> const hole_lines{
        add_line(h0, h1, hole_from_, {1, 0}, hole_width),
        add_line(h1, h2, {hole_to_[0], hole_from_[1]}, {0, 1}, hole_height),
        add_line(h3, h2, {hole_from_[0], hole_to_[1]}, {1, 0}, hole_width),
        add_line(h0, h3, hole_from_, {0, 1}, hole_height)};

    auto const lower = add_surface(0, false);
    auto const upper = add_surface(r, true);
    for (auto const& line : lower_lines) builder_.add_line_surface_boundary_relationship(line, lower);
    builder_.add_line_surface_internal_relationship(internal, lower);
    for (auto const& line : upper_lines) builder_.add_line_surface_boundary_relationship(line, upper);
    for (auto const& line : hole_lines) builder_.add_line_surface_boundary_relationship(line, upper);
  }

 private:
  Point<2> point(int i, int j) const {
    double const x = WIDTH * i / columns_;
    double const y0 = interface_height(x);
    double const y = j <= rows_ ? y0 * j / rows_ : y0 + (HEIGHT - y0) * (j - rows_) / rows_;
    return Point<2>{{x, y}};
  }
  index_t unique(int i, int j) const { return uniques_[i + (columns_ + 1) * j]; }
  bool in_hole(int i, int j) const {
    return i >= hole_from_[0] && i < hole_to_[0] && j >= hole_from_[1] && j < hole_to_[1];
  }

  uuid add_corner(Cell at) {
    auto const id = builder_.add_corner();
    auto& mesh = builder_.modifiable_corner(id).get_modifiable_mesh();
    auto const v = PointSetBuilder<2>::create(mesh)->create_point(point(at[0], at[1]));
    builder_.set_unique_vertex({{"Corner", id}, v}, unique(at[0], at[1]));
    return id;
  }

  uuid add_line(uuid const& from_corner, uuid const& to_corner, Cell from, Cell step, int count) {
    auto const id = builder_.add_line();
    auto& mesh = builder_.modifiable_line(id).get_modifiable_mesh();
    auto curve = EdgedCurveBuilder<2>::create(mesh);
    for (int k = 0; k <= count; ++k) {
      int const i = from[0] + step[0] * k;
      int const j = from[1] + step[1] * k;
      auto const v = curve->create_point(point(i, j));
      builder_.set_unique_vertex({{"Line", id}, v}, unique(i, j));
      if (k > 0) curve->create_edge(v - 1, v);
    }
    builder_.add_corner_line_boundary_relationship(from_corner, id);
    builder_.add_corner_line_boundary_relationship(to_corner, id);
    return id;
  }

  // The layer of grid rows [first_row, first_row + rows], without the
  // hole's cells when asked; only vertices of kept cells are created.
  uuid add_surface(int first_row, bool with_hole) {
    auto const id = builder_.add_surface();
    auto& mesh = dynamic_cast<TriangulatedSurface<2>&>(
        builder_.modifiable_surface(id).get_modifiable_mesh());
    auto surface = TriangulatedSurfaceBuilder<2>::create(mesh);
    std::vector<index_t> vertices((columns_ + 1) * (rows_ + 1), NO_ID);
    auto const vertex = [&](int i, int j) {
      auto& v = vertices[i + (columns_ + 1) * (j - first_row)];
      if (v == NO_ID) {
        v = surface->create_point(point(i, j));
        builder_.set_unique_vertex({{"Surface", id}, v}, unique(i, j));
      }
      return v;
    };
    for (int j = first_row; j < first_row + rows_; ++j) {
      for (int i = 0; i < columns_; ++i) {
        if (with_hole && in_hole(i, j)) continue;
        surface->create_triangle({vertex(i, j), vertex(i + 1, j), vertex(i + 1, j + 1)});
        surface->create_triangle({vertex(i, j), vertex(i + 1, j + 1), vertex(i, j + 1)});
      }
    }
    surface->compute_polygon_adjacencies();
    return id;
  }

  int columns_;
  int rows_;
  SectionBuilder builder_;
  std::vector<index_t> uniques_;
  Cell hole_from_{0, 0};
  Cell hole_to_{0, 0};
};

}  // namespace

Section make_layered_section(int columns, int rows) {
  Section section;
  LayeredSectionBuilder{section, columns, rows}.build();
  return section;
}

}  // namespace demo
}  // namespace tarnix
