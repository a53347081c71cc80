#include "driver/stacked_section.h"

#include <array>
#include <cmath>
#include <vector>

#include <absl/container/flat_hash_map.h>

#include <ulvane/mesh/edged_curve_builder.h>
#include <ulvane/mesh/point_set_builder.h>
#include <ulvane/mesh/triangulated_surface.h>
#include <ulvane/mesh/triangulated_surface_builder.h>
#include <ulvane/model/section_builder.h>

namespace tarnix {
namespace test {
namespace {

constexpr double WIDTH = 3.0;
constexpr double HEIGHT = 2.0;

// Grid vertex (i, j): column i, global row j (layer k holds the rows
// [k rows, (k + 1) rows]).
using Cell = std::array<int, 2>;

class StackedSectionBuilder {
 public:
  StackedSectionBuilder(StackedSection& stacked, int nb_layers, int columns, int rows)
      : stacked_(stacked),
        nb_layers_(nb_layers),
        columns_(columns),
        rows_(rows),
        builder_(stacked.section) {
    for (int j = 0; j <= nb_layers * rows; ++j) {
      for (int i = 0; i <= columns; ++i) uniques_.push_back(builder_.create_unique_vertex());
    }
  }

  void build() {
    int const c = columns_;
    int const r = rows_;
    for (int k = 0; k <= nb_layers_; ++k) {
      stacked_.interfaces.push_back(add_line(cells({0, k * r}, {1, 0}, c)));
    }
    for (int k = 0; k < nb_layers_; ++k) {
      stacked_.left_sides.push_back(add_line(cells({0, k * r}, {0, 1}, r)));
      stacked_.right_sides.push_back(add_line(cells({c, k * r}, {0, 1}, r)));
    }
    for (int k = 0; k < nb_layers_; ++k) {
      auto const layer = add_layer(k);
      stacked_.layers.push_back(layer);
      for (auto const* line : {&stacked_.interfaces[k], &stacked_.interfaces[k + 1],
                               &stacked_.left_sides[k], &stacked_.right_sides[k]}) {
        builder_.add_line_surface_boundary_relationship(*line, layer);
      }
    }

    int const middle = nb_layers_ / 2;
    int const from = c / 6;
    stacked_.internal_line = add_line(cells({from, middle * r + r / 2}, {1, 0}, c / 3 - from));
    stacked_.internal_line_layer = static_cast<index_t>(middle);
    builder_.add_line_surface_internal_relationship(stacked_.internal_line,
                                                    stacked_.layers[middle]);
  }

 private:
  // Interface k: straight at the bottom and the top, a wave of its own
  // phase in between, never closer than half a layer to its neighbours.
  double interface_height(int k, double x) const {
    double const base = HEIGHT * k / nb_layers_;
    if (k == 0 || k == nb_layers_) return base;
    double const amplitude = 0.25 * HEIGHT / nb_layers_;
    return base + amplitude * std::sin(2.0 * M_PI * x / WIDTH + 0.7 * k);
  }

  Point<2> point(Cell cell) const {
    int const j = cell[1];
    double const x = WIDTH * cell[0] / columns_;
    int const k = j == nb_layers_ * rows_ ? nb_layers_ - 1 : j / rows_;
    double const t = static_cast<double>(j - k * rows_) / rows_;
    double const y = (1.0 - t) * interface_height(k, x) + t * interface_height(k + 1, x);
    return Point<2>{{x, y}};
  }

  // Links a component's vertex to the unique vertex of its grid vertex.
  void link(ComponentID const& component, index_t vertex, Cell cell) {
    builder_.set_unique_vertex({component, vertex}, uniques_[cell[0] + (columns_ + 1) * cell[1]]);
  }

  // The grid vertices from `from` in `count` steps of `step`.
  static std::vector<Cell> cells(Cell from, Cell step, int count) {
    std::vector<Cell> chain;
    for (int n = 0; n <= count; ++n) {
      chain.push_back({from[0] + step[0] * n, from[1] + step[1] * n});
    }
    return chain;
  }

  // The corner at a grid vertex, made when first asked for.
  uuid const& corner_at(Cell cell) {
    auto const found = corners_.find(cell);
    if (found != corners_.end()) return found->second;
    auto const& id = builder_.add_corner();
    auto points = PointSetBuilder<2>::create(builder_.modifiable_corner(id).get_modifiable_mesh());
    link({"Corner", id}, points->create_point(point(cell)), cell);
    return corners_.emplace(cell, id).first->second;
  }

  // The line through the grid vertices, with a corner at each end.
  uuid add_line(std::vector<Cell> const& chain) {
    auto const id = builder_.add_line();
    auto curve = EdgedCurveBuilder<2>::create(builder_.modifiable_line(id).get_modifiable_mesh());
    for (auto const& cell : chain) {
      auto const v = curve->create_point(point(cell));
      link({"Line", id}, v, cell);
      if (v > 0) curve->create_edge(v - 1, v);
    }
    for (auto const& end : {chain.front(), chain.back()}) {
      builder_.add_corner_line_boundary_relationship(corner_at(end), id);
    }
    return id;
  }

  uuid add_layer(int k) {
    auto const id = builder_.add_surface();
    auto& mesh = dynamic_cast<TriangulatedSurface<2>&>(
        builder_.modifiable_surface(id).get_modifiable_mesh());
    auto surface = TriangulatedSurfaceBuilder<2>::create(mesh);
    int const first_row = k * rows_;
    std::vector<index_t> vertices;
    for (int j = first_row; j <= first_row + rows_; ++j) {
      for (int i = 0; i <= columns_; ++i) {
        vertices.push_back(surface->create_point(point({i, j})));
        link({"Surface", id}, vertices.back(), {i, j});
      }
    }
    auto const vertex = [&](int i, int j) {
      return vertices[i + (columns_ + 1) * (j - first_row)];
    };
    for (int j = first_row; j < first_row + rows_; ++j) {
      for (int i = 0; i < columns_; ++i) {
        surface->create_triangle({vertex(i, j), vertex(i + 1, j), vertex(i + 1, j + 1)});
        surface->create_triangle({vertex(i, j), vertex(i + 1, j + 1), vertex(i, j + 1)});
      }
    }
    surface->compute_polygon_adjacencies();
    return id;
  }

  StackedSection& stacked_;
  int nb_layers_;
  int columns_;
  int rows_;
  SectionBuilder builder_;
  std::vector<index_t> uniques_;
  absl::flat_hash_map<Cell, uuid> corners_;
};

}  // namespace

StackedSection make_stacked_section(int nb_layers, int columns, int rows) {
  StackedSection stacked;
  StackedSectionBuilder{stacked, nb_layers, columns, rows}.build();
  return stacked;
}

}  // namespace test
}  // namespace tarnix
