#include "walks/walk_fixtures.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include <common/variable_attribute.h>
#include <mesh/surface_fixtures.h>
#include <ulvane/geometry/intersection.h>
#include <ulvane/geometry/predicates.h>
#include <ulvane/geometry/vector.h>

namespace tarnix {
namespace test {
namespace {

double cross(Vector<2> const& u, Vector<2> const& v) {
  return u.value(0) * v.value(1) - u.value(1) * v.value(0);
}

//! Whether `middle`, collinear with `from` and `to`, lies strictly between
//! them; coordinates are compared along the longer axis, so it is exact.
bool strictly_between(Point<2> const& from, Point<2> const& middle, Point<2> const& to) {
  const index_t axis =
      std::fabs(to.value(0) - from.value(0)) >= std::fabs(to.value(1) - from.value(1)) ? 0 : 1;
  const double f = from.value(axis);
  const double m = middle.value(axis);
  const double t = to.value(axis);
  return f < t ? f < m && m < t : t < m && m < f;
}

bool opposite_strict(Sign a, Sign b) {
  return (a == Sign::positive && b == Sign::negative) ||
         (a == Sign::negative && b == Sign::positive);
}

}  // namespace

WalkWorld::WalkWorld(std::unique_ptr<TriangulatedSurface<2>> mesh)
    : surface_(std::move(mesh)), builder_(TriangulatedSurfaceBuilder<2>::create(*surface_)) {
  remesher_ = std::make_unique<detail::FrontalRemesher2D>(*surface_, *builder_, metric_,
                                                          absl::Span<index_t const>{});
  remesher_->create_polygon_attributes();
}

WalkWorld::~WalkWorld() = default;

void WalkWorld::cover(index_t triangle, index_t output_triangle) {
  surface_->polygon_attribute_manager()
      .find_attribute<VariableAttribute<index_t>>("triangle info")
      ->set_value(triangle, output_triangle);
}

void WalkWorld::mark(PolygonEdge const& edge, index_t macro_edge) {
  auto attribute = surface_->polygon_attribute_manager()
                       .find_attribute<VariableAttribute<detail::EdgeInfoLists>>("edge info");
  auto lists = attribute->value(edge.polygon_id);
  lists[edge.edge_id].push_back(macro_edge);
  attribute->set_value(edge.polygon_id, lists);
}

PolygonEdge WalkWorld::edge(index_t from, index_t to) const {
  return surface_->polygon_edge_from_vertices(from, to).value();
}

std::unique_ptr<TriangulatedSurface<2>> make_jittered_grid(index_t n, double jitter,
                                                           unsigned int seed) {
  std::mt19937 random{seed};
  std::uniform_real_distribution<double> offset{-jitter, jitter};
  std::vector<std::array<double, 2>> points;
  for (index_t j = 0; j <= n; ++j) {
    for (index_t i = 0; i <= n; ++i) {
      const double x = i + offset(random);
      const double y = j + offset(random);
      points.push_back({x, y});
    }
  }
  std::vector<std::array<index_t, 3>> triangles;
  for (index_t j = 0; j < n; ++j) {
    for (index_t i = 0; i < n; ++i) {
      const index_t corner = i + (n + 1) * j;
      triangles.push_back({corner, corner + 1, corner + n + 2});
      triangles.push_back({corner, corner + n + 2, corner + n + 1});
    }
  }
  return make_surface<2>(points, triangles);
}

std::unique_ptr<TriangulatedSurface<2>> make_mirrored(TriangulatedSurface<2> const& surface) {
  std::vector<std::array<double, 2>> points;
  for (index_t v = 0; v < surface.nb_vertices(); ++v) {
    points.push_back({-surface.point(v).value(0), surface.point(v).value(1)});
  }
  std::vector<std::array<index_t, 3>> triangles;
  for (index_t t = 0; t < surface.nb_polygons(); ++t) {
    triangles.push_back({surface.polygon_vertex({t, 0}), surface.polygon_vertex({t, 1}),
                         surface.polygon_vertex({t, 2})});
  }
  return make_surface<2>(points, triangles);
}

VertexPair vertex_pair(TriangulatedSurface<2> const& surface, PolygonEdge const& edge) {
  auto vertices = surface.polygon_edge_vertices(edge);
  if (vertices[1] < vertices[0]) std::swap(vertices[0], vertices[1]);
  return vertices;
}

ContactReference::ContactReference(TriangulatedSurface<2> const& surface) : surface_(surface) {
  for (index_t t = 0; t < surface.nb_polygons(); ++t) {
    if (!surface.is_polygon_active(t)) continue;
    for (local_index_t e = 0; e < 3; ++e) {
      const auto vertices = surface.polygon_edge_vertices({t, e});
      // Each input edge once: from the polygon edge that runs upwards in
      // vertex ids, or from the only one on the border.
      if (vertices[0] < vertices[1] || surface.is_edge_on_border({t, e})) {
        edges_.push_back(vertex_pair(surface, {t, e}));
      }
    }
  }
  double x1 = x0_ = surface.nb_vertices() == 0 ? 0.0 : surface.point(0).value(0);
  double y1 = y0_ = surface.nb_vertices() == 0 ? 0.0 : surface.point(0).value(1);
  for (index_t v = 0; v < surface.nb_vertices(); ++v) {
    x0_ = std::min(x0_, surface.point(v).value(0));
    x1 = std::max(x1, surface.point(v).value(0));
    y0_ = std::min(y0_, surface.point(v).value(1));
    y1 = std::max(y1, surface.point(v).value(1));
  }
  for (auto const& edge : edges_) {
    const Vector<2> along{surface.point(edge[0]), surface.point(edge[1])};
    cell_size_ = std::max({cell_size_, std::fabs(along.value(0)), std::fabs(along.value(1))});
  }
  nb_columns_ = static_cast<int>((x1 - x0_) / cell_size_) + 1;
  nb_rows_ = static_cast<int>((y1 - y0_) / cell_size_) + 1;
  cells_.resize(static_cast<std::size_t>(nb_columns_) * nb_rows_);
  for (index_t e = 0; e < edges_.size(); ++e) {
    cell_at((surface.point(edges_[e][0]) + surface.point(edges_[e][1])) * 0.5).edges.push_back(e);
  }
  for (index_t v = 0; v < surface.nb_vertices(); ++v) {
    cell_at(surface.point(v)).vertices.push_back(v);
  }
}

ContactReference::Cell& ContactReference::cell_at(Point<2> const& point) {
  const int column = static_cast<int>((point.value(0) - x0_) / cell_size_);
  const int row = static_cast<int>((point.value(1) - y0_) / cell_size_);
  return cells_.at(static_cast<std::size_t>(std::min(row, nb_rows_ - 1)) * nb_columns_ +
                   std::min(column, nb_columns_ - 1));
}

std::vector<ContactReference::Cell const*> ContactReference::cells_near(Point<2> const& a,
                                                                        Point<2> const& b) const {
  // One more cell on each side covers the half-cell margin and rounding.
  const auto column_of = [this](double x) {
    return std::max(
        0, std::min(nb_columns_ - 1, static_cast<int>(std::floor((x - x0_) / cell_size_))));
  };
  const auto row_of = [this](double y) {
    return std::max(0,
                    std::min(nb_rows_ - 1, static_cast<int>(std::floor((y - y0_) / cell_size_))));
  };
  const double dx = b.value(0) - a.value(0);
  const double dy = b.value(1) - a.value(1);
  std::vector<Cell const*> cells;
  const int first_column = column_of(std::min(a.value(0), b.value(0))) - 1;
  const int last_column = column_of(std::max(a.value(0), b.value(0))) + 1;
  for (int column = std::max(0, first_column); column <= std::min(nb_columns_ - 1, last_column);
       ++column) {
    // The part of the segment over the column, grown by a cell each side.
    double t0 = 0.0;
    double t1 = 1.0;
    if (dx != 0.0) {
      const double left = x0_ + (column - 1) * cell_size_;
      const double right = x0_ + (column + 2) * cell_size_;
      t0 = (left - a.value(0)) / dx;
      t1 = (right - a.value(0)) / dx;
      if (t1 < t0) std::swap(t0, t1);
      t0 = std::max(0.0, t0);
      t1 = std::min(1.0, t1);
      if (t1 < t0) continue;
    }
    const double ya = a.value(1) + t0 * dy;
    const double yb = a.value(1) + t1 * dy;
    for (int row = std::max(0, row_of(std::min(ya, yb)) - 1);
         row <= std::min(nb_rows_ - 1, row_of(std::max(ya, yb)) + 1); ++row) {
      cells.push_back(&cells_[static_cast<std::size_t>(row) * nb_columns_ + column]);
    }
  }
  return cells;
}

std::vector<Contact> ContactReference::segment_contacts(index_t a, index_t b) const {
  Point<2> const& pa = surface_.point(a);
  Point<2> const& pb = surface_.point(b);
  const Vector<2> direction{pa, pb};
  const double squared_length = direction.dot(direction);
  std::vector<Contact> contacts;
  for (Cell const* cell : cells_near(pa, pb)) {
    for (index_t w : cell->vertices) {
      Point<2> const& p = surface_.point(w);
      if (w == a || w == b) continue;
      if (orientation_2d(pa, pb, p) == Sign::zero && strictly_between(pa, p, pb)) {
        contacts.push_back({Vector<2>{pa, p}.dot(direction) / squared_length, w, {}, p});
      }
    }
    for (index_t e : cell->edges) {
      auto const& edge = edges_[e];
      Point<2> const& u = surface_.point(edge[0]);
      Point<2> const& v = surface_.point(edge[1]);
      if (!opposite_strict(orientation_2d(pa, pb, u), orientation_2d(pa, pb, v)) ||
          !opposite_strict(orientation_2d(u, v, pa), orientation_2d(u, v, pb))) {
        continue;
      }
      const Vector<2> along{u, v};
      const double t = cross(Vector<2>{pa, u}, along) / cross(direction, along);
      contacts.push_back({t, NO_ID, edge, pa + direction * t});
    }
  }
  std::sort(contacts.begin(), contacts.end(),
            [](Contact const& x, Contact const& y) { return x.parameter < y.parameter; });
  contacts.push_back({1.0, b, {}, pb});
  return contacts;
}

LineContacts ContactReference::line_contacts(InfiniteLine<2> const& line) const {
  LineContacts contacts;
  const Vector<2> travel = line.direction() * -1.0;
  for (auto const& edge : edges_) {
    const Segment<2> segment{surface_.point(edge[0]), surface_.point(edge[1])};
    const Position position = segment_line_intersection_detection(segment, line);
    if (position == Position::outside) continue;
    if (position != Position::inside) {
      contacts.passes_vertex = true;
      continue;
    }
    const Point<2> point = segment_line_intersection(segment, line).result.value();
    contacts.crossings.push_back({Vector<2>{line.origin(), point}.dot(travel), NO_ID, edge, point});
  }
  std::sort(contacts.crossings.begin(), contacts.crossings.end(),
            [](Contact const& x, Contact const& y) { return x.parameter < y.parameter; });
  return contacts;
}

absl::optional<index_t> triangle_containing(TriangulatedSurface<2> const& surface,
                                            Point<2> const& point) {
  for (index_t t = 0; t < surface.nb_polygons(); ++t) {
    if (!surface.is_polygon_active(t)) continue;
    if (point_triangle_position(point, surface.triangle(t)) != Position::outside) return t;
  }
  return absl::nullopt;
}

}  // namespace test
}  // namespace tarnix
