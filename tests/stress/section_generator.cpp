#include "section_generator.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>
#include <vector>

#include <absl/container/flat_hash_map.h>
#include <absl/container/inlined_vector.h>

#include <ulvane/mesh/edged_curve_builder.h>
#include <ulvane/mesh/point_set_builder.h>
#include <ulvane/mesh/triangulated_surface.h>
#include <ulvane/mesh/triangulated_surface_builder.h>
#include <ulvane/model/section_builder.h>

namespace tarnix {
namespace stress {

index_t RandomChoices::below(index_t n) {
  if (n == 0) return 0;
  return std::uniform_int_distribution<index_t>{0, n - 1}(engine_);
}

double RandomChoices::unit() { return std::uniform_real_distribution<double>{0.0, 1.0}(engine_); }

index_t ByteChoices::below(index_t n) {
  if (n == 0) return 0;
  index_t const value = next() | (n > 256 ? static_cast<index_t>(next()) << 8 : 0u);
  return value % n;
}

double ByteChoices::unit() { return next() / 256.0; }

namespace {

constexpr int VOID = -1;

// Cells (i, j) and the grid vertices (i, j) at their lower left corners.
// Horizontal edge (i, j) runs from vertex (i, j) to (i + 1, j), vertical
// edge (i, j) from vertex (i, j) to (i, j + 1).
class Grid {
 public:
  Grid(Choices& choices, ShapeOptions const& options, index_t nx, index_t ny)
      : choices_(choices), options_(options), nx_(nx), ny_(ny),
        labels_(nx * ny, 0), on_internal_line_(nb_edges(), false), points_((nx + 1) * (ny + 1)) {}

  // Draws the regions and holes; false when nothing usable is left.
  bool draw_regions() {
    draw_outline();
    draw_holes();
    split_into_regions();
    if (!repair()) return false;
    index_t used = 0;
    for (int label : labels_) used += label != VOID;
    return used >= 2;
  }

  void draw_features() {
    index_t const nb_lines = choices_.below(options_.max_internal_lines + 1);
    for (index_t l = 0; l < nb_lines; ++l) draw_internal_line();
    index_t const nb_corners = choices_.below(options_.max_internal_corners + 1);
    for (index_t c = 0; c < nb_corners; ++c) {
      auto const v = random_free_vertex();
      if (v != NO_ID) internal_corners_.push_back(v);
    }
    find_corners();
  }

  // Jitters the vertices and picks the diagonals. Corners stay on the grid
  // and line vertices move only along their line, so that every line is
  // straight between corners: the remeshed lines then follow the input
  // lines exactly and the remeshed surfaces keep their areas. False when a
  // cell cannot be cut into two counter-clockwise triangles.
  bool place_points(double jitter) {
    double const h = 1.0 / std::max(nx_, ny_);
    std::vector<std::array<double, 2>> offsets(points_.size());
    for (auto& offset : offsets) offset = {choices_.between(-1, 1), choices_.between(-1, 1)};
    index_t squashed = NO_ID;
    if (options_.squash && nx_ >= 3) squashed = choices_.in_range(1, nx_ - 2);
    for (index_t j = 0; j <= ny_; ++j) {
      for (index_t i = 0; i <= nx_; ++i) {
        index_t const v = vertex(i, j);
        auto& offset = offsets[v];
        if (is_corner_[v] || on_vertical_line(v)) offset[0] = 0.0;
        if (is_corner_[v] || on_horizontal_line(v)) offset[1] = 0.0;
        if (squashed != NO_ID && (i == squashed || i == squashed + 1)) {
          // Both sides of the squeezed column: same height, no sideways move.
          index_t const left = vertex(squashed, j);
          index_t const right = vertex(squashed + 1, j);
          bool const still = is_corner_[left] || is_corner_[right] || on_horizontal_line(left) ||
                             on_horizontal_line(right);
          offset = {0.0, still ? 0.0 : offsets[left][1]};
        }
      }
    }
    for (index_t j = 0; j <= ny_; ++j) {
      for (index_t i = 0; i <= nx_; ++i) {
        index_t const v = vertex(i, j);
        double x = i * h;
        if (squashed != NO_ID && i == squashed + 1) x = squashed * h + 1e-9;
        points_[v] = {x + jitter * offsets[v][0] * h, (j + jitter * offsets[v][1]) * h};
      }
    }
    diagonals_.resize(nx_ * ny_);
    for (index_t c = 0; c < nx_ * ny_; ++c) {
      diagonals_[c] = choices_.below(2);
      if (!cell_is_ccw(c)) diagonals_[c] = 1 - diagonals_[c];
      if (!cell_is_ccw(c)) return false;
    }
    return true;
  }

  GeneratedSection build() {
    trace_lines();
    GeneratedSection result;
    result.size = options_.scale;
    result.cell = options_.scale / std::max(nx_, ny_);
    SectionBuilder builder{result.section};
    uniques_.assign(points_.size(), NO_ID);
    absl::flat_hash_map<index_t, uuid> corner_ids;
    for (index_t v = 0; v < points_.size(); ++v) {
      if (!is_corner_[v]) continue;
      auto const id = builder.add_corner();
      auto& mesh = builder.modifiable_corner(id).get_modifiable_mesh();
      PointSetBuilder<2>::create(mesh)->create_point(point(v));
      builder.set_unique_vertex({{"Corner", id}, 0}, unique(builder, v));
      corner_ids.emplace(v, id);
    }
    absl::flat_hash_map<int, uuid> surface_ids;
    for (int label : labels_) {
      if (label != VOID && !surface_ids.contains(label)) {
        surface_ids.emplace(label, add_surface(builder, label, result.nb_triangles));
      }
    }
    for (auto const& chain : chains_) {
      auto const id = builder.add_line();
      auto curve = EdgedCurveBuilder<2>::create(builder.modifiable_line(id).get_modifiable_mesh());
      bool const closed = chain.vertices.front() == chain.vertices.back();
      index_t const nb_points = chain.vertices.size() - (closed ? 1 : 0);
      for (index_t k = 0; k < nb_points; ++k) {
        auto const v = curve->create_point(point(chain.vertices[k]));
        builder.set_unique_vertex({{"Line", id}, v}, unique(builder, chain.vertices[k]));
      }
      for (index_t k = 0; k + 1 < chain.vertices.size(); ++k) {
        curve->create_edge(k, (k + 1) % nb_points);
        auto const& a = point(chain.vertices[k]);
        auto const& b = point(chain.vertices[k + 1]);
        result.line_length += std::hypot(b.value(0) - a.value(0), b.value(1) - a.value(1));
      }
      result.nb_line_edges += chain.vertices.size() - 1;
      builder.add_corner_line_boundary_relationship(corner_ids.at(chain.vertices.front()), id);
      builder.add_corner_line_boundary_relationship(corner_ids.at(chain.vertices.back()), id);
      auto const sides = edge_sides(chain.first_edge);
      if (on_internal_line_[chain.first_edge]) {
        builder.add_line_surface_internal_relationship(id, surface_ids.at(sides[0]));
        continue;
      }
      for (int side : sides) {
        if (side != VOID) builder.add_line_surface_boundary_relationship(id, surface_ids.at(side));
      }
    }
    for (auto const v : internal_corners_) {
      builder.add_corner_surface_internal_relationship(corner_ids.at(v),
                                                       surface_ids.at(label(v % (nx_ + 1),
                                                                            v / (nx_ + 1))));
    }
    return result;
  }

 private:
  struct Chain {
    std::vector<index_t> vertices;
    index_t first_edge;
  };

  index_t vertex(index_t i, index_t j) const { return i + (nx_ + 1) * j; }
  index_t nb_horizontal() const { return nx_ * (ny_ + 1); }
  index_t nb_edges() const { return nb_horizontal() + (nx_ + 1) * ny_; }
  index_t horizontal(index_t i, index_t j) const { return i + nx_ * j; }
  index_t vertical(index_t i, index_t j) const { return nb_horizontal() + i + (nx_ + 1) * j; }

  // The cell label, VOID outside the grid.
  int label(long i, long j) const {
    if (i < 0 || j < 0 || i >= static_cast<long>(nx_) || j >= static_cast<long>(ny_)) return VOID;
    return labels_[i + nx_ * j];
  }

  std::array<index_t, 2> edge_ends(index_t e) const {
    if (e < nb_horizontal()) {
      index_t const i = e % nx_;
      index_t const j = e / nx_;
      return {vertex(i, j), vertex(i + 1, j)};
    }
    index_t const i = (e - nb_horizontal()) % (nx_ + 1);
    index_t const j = (e - nb_horizontal()) / (nx_ + 1);
    return {vertex(i, j), vertex(i, j + 1)};
  }

  // The labels of the two cells along an edge.
  std::array<int, 2> edge_sides(index_t e) const {
    if (e < nb_horizontal()) {
      long const i = e % nx_;
      long const j = e / nx_;
      return {label(i, j - 1), label(i, j)};
    }
    long const i = (e - nb_horizontal()) % (nx_ + 1);
    long const j = (e - nb_horizontal()) / (nx_ + 1);
    return {label(i - 1, j), label(i, j)};
  }

  bool is_line_edge(index_t e) const {
    auto const sides = edge_sides(e);
    return on_internal_line_[e] || (sides[0] != sides[1]);
  }

  // The up to four grid edges at a vertex.
  absl::InlinedVector<index_t, 4> edges_at(index_t v) const {
    index_t const i = v % (nx_ + 1);
    index_t const j = v / (nx_ + 1);
    absl::InlinedVector<index_t, 4> edges;
    if (i < nx_) edges.push_back(horizontal(i, j));
    if (i > 0) edges.push_back(horizontal(i - 1, j));
    if (j < ny_) edges.push_back(vertical(i, j));
    if (j > 0) edges.push_back(vertical(i, j - 1));
    return edges;
  }

  bool on_horizontal_line(index_t v) const {
    for (auto e : edges_at(v)) {
      if (e < nb_horizontal() && is_line_edge(e)) return true;
    }
    return false;
  }

  bool on_vertical_line(index_t v) const {
    for (auto e : edges_at(v)) {
      if (e >= nb_horizontal() && is_line_edge(e)) return true;
    }
    return false;
  }

  index_t line_degree(index_t v) const {
    index_t degree = 0;
    for (auto e : edges_at(v)) degree += is_line_edge(e);
    return degree;
  }

  // Inside a random star-shaped outline, or the whole grid.
  void draw_outline() {
    if (choices_.chance(0.3)) return;
    std::array<double, 3> amplitudes{};
    std::array<double, 3> phases{};
    for (int k = 0; k < 3; ++k) {
      amplitudes[k] = choices_.between(0.0, 0.12);
      phases[k] = choices_.between(0.0, 2.0 * M_PI);
    }
    for (index_t j = 0; j < ny_; ++j) {
      for (index_t i = 0; i < nx_; ++i) {
        double const x = (i + 0.5) / nx_ - 0.5;
        double const y = (j + 0.5) / ny_ - 0.5;
        double const angle = std::atan2(y, x);
        double radius = 0.45;
        for (int k = 0; k < 3; ++k) radius += amplitudes[k] * std::cos((k + 2) * angle + phases[k]);
        if (std::hypot(x, y) > radius) labels_[i + nx_ * j] = VOID;
      }
    }
  }

  void draw_holes() {
    index_t const nb_holes = choices_.below(options_.max_holes + 1);
    for (index_t h = 0; h < nb_holes; ++h) {
      double const cx = choices_.between(0.2, 0.8);
      double const cy = choices_.between(0.2, 0.8);
      double const radius = choices_.between(0.05, 0.2);
      for (index_t j = 0; j < ny_; ++j) {
        for (index_t i = 0; i < nx_; ++i) {
          if (std::hypot((i + 0.5) / nx_ - cx, (j + 0.5) / ny_ - cy) < radius) {
            labels_[i + nx_ * j] = VOID;
          }
        }
      }
    }
  }

  // Each used cell takes the label of the nearest of a few seeds.
  void split_into_regions() {
    index_t const nb_regions = choices_.in_range(1, std::max<index_t>(1, options_.max_regions));
    std::vector<std::array<double, 2>> seeds(nb_regions);
    for (auto& seed : seeds) seed = {choices_.unit(), choices_.unit()};
    for (index_t j = 0; j < ny_; ++j) {
      for (index_t i = 0; i < nx_; ++i) {
        auto& cell = labels_[i + nx_ * j];
        if (cell == VOID) continue;
        double best = 1e300;
        for (index_t s = 0; s < nb_regions; ++s) {
          double const d =
              std::hypot((i + 0.5) / nx_ - seeds[s][0], (j + 0.5) / ny_ - seeds[s][1]);
          if (d < best) {
            best = d;
            cell = static_cast<int>(s);
          }
        }
      }
    }
  }

  // Removes what would make a surface non-manifold or disconnected: a
  // region meeting itself at a vertex only (two diagonal cells), and every
  // piece of a region but its largest. Bounded: each pass changes cells,
  // and a shape that does not settle is dropped.
  bool repair() {
    for (int pass = 0; pass < 50; ++pass) {
      bool changed = false;
      for (index_t j = 1; j < ny_; ++j) {
        for (index_t i = 1; i < nx_; ++i) {
          int const ll = label(i - 1, j - 1);
          int const lr = label(i, j - 1);
          int const ur = label(i, j);
          int const ul = label(i - 1, j);
          if (ll != VOID && ll == ur && lr != ll && ul != ll) {
            labels_[i + nx_ * (j - 1)] = ll;
            changed = true;
          } else if (lr != VOID && lr == ul && ll != lr && ur != lr) {
            labels_[i + nx_ * j] = lr;
            changed = true;
          }
        }
      }
      changed = keep_largest_pieces() || changed;
      if (!changed) return true;
    }
    return false;
  }

  bool keep_largest_pieces() {
    std::vector<index_t> piece(labels_.size(), NO_ID);
    std::vector<index_t> sizes;
    for (index_t start = 0; start < labels_.size(); ++start) {
      if (labels_[start] == VOID || piece[start] != NO_ID) continue;
      index_t const id = sizes.size();
      sizes.push_back(0);
      std::vector<index_t> stack{start};
      piece[start] = id;
      while (!stack.empty()) {
        index_t const c = stack.back();
        stack.pop_back();
        ++sizes[id];
        long const i = c % nx_;
        long const j = c / nx_;
        std::array<std::array<long, 2>, 4> const next{{{i + 1, j}, {i - 1, j}, {i, j + 1}, {i, j - 1}}};
        for (auto const& n : next) {
          if (label(n[0], n[1]) != labels_[c]) continue;
          index_t const neighbour = n[0] + nx_ * n[1];
          if (piece[neighbour] != NO_ID) continue;
          piece[neighbour] = id;
          stack.push_back(neighbour);
        }
      }
    }
    absl::flat_hash_map<int, index_t> largest;  // label -> piece id
    for (index_t c = 0; c < labels_.size(); ++c) {
      if (labels_[c] == VOID) continue;
      auto const found = largest.find(labels_[c]);
      if (found == largest.end() || sizes[found->second] < sizes[piece[c]]) {
        largest[labels_[c]] = piece[c];
      }
    }
    bool changed = false;
    for (index_t c = 0; c < labels_.size(); ++c) {
      if (labels_[c] != VOID && largest.at(labels_[c]) != piece[c]) {
        labels_[c] = VOID;
        changed = true;
      }
    }
    return changed;
  }

  // A vertex whose four cells belong to one region and that no line touches.
  bool is_free(index_t v) const {
    index_t const i = v % (nx_ + 1);
    index_t const j = v / (nx_ + 1);
    if (i == 0 || j == 0 || i == nx_ || j == ny_) return false;
    int const l = label(i, j);
    if (l == VOID || label(i - 1, j) != l || label(i - 1, j - 1) != l || label(i, j - 1) != l) {
      return false;
    }
    if (std::find(internal_corners_.begin(), internal_corners_.end(), v) != internal_corners_.end()) {
      return false;
    }
    return line_degree(v) == 0;
  }

  index_t random_free_vertex() {
    for (int attempt = 0; attempt < 20; ++attempt) {
      index_t const v = choices_.below((nx_ + 1) * (ny_ + 1));
      if (is_free(v)) return v;
    }
    return NO_ID;
  }

  // A self-avoiding walk of free vertices.
  void draw_internal_line() {
    index_t current = random_free_vertex();
    if (current == NO_ID) return;
    index_t const length = choices_.in_range(1, 6);
    std::vector<index_t> walked{current};
    for (index_t step = 0; step < length; ++step) {
      auto const edges = edges_at(current);
      auto const e = edges[choices_.below(edges.size())];
      auto const ends = edge_ends(e);
      index_t const next = ends[0] == current ? ends[1] : ends[0];
      if (!is_free(next) || std::find(walked.begin(), walked.end(), next) != walked.end()) break;
      on_internal_line_[e] = true;
      walked.push_back(next);
      current = next;
    }
  }

  bool cell_is_ccw(index_t c) const {
    for (auto const& t : cell_triangles(c)) {
      auto const& a = points_[t[0]];
      auto const& b = points_[t[1]];
      auto const& p = points_[t[2]];
      if ((b[0] - a[0]) * (p[1] - a[1]) - (b[1] - a[1]) * (p[0] - a[0]) <= 0.0) return false;
    }
    return true;
  }

  std::array<std::array<index_t, 3>, 2> cell_triangles(index_t c) const {
    index_t const i = c % nx_;
    index_t const j = c / nx_;
    index_t const v00 = vertex(i, j);
    index_t const v10 = vertex(i + 1, j);
    index_t const v11 = vertex(i + 1, j + 1);
    index_t const v01 = vertex(i, j + 1);
    if (diagonals_[c] == 0) return {{{v00, v10, v11}, {v00, v11, v01}}};
    return {{{v00, v10, v01}, {v10, v11, v01}}};
  }

  void find_corners() {
    is_corner_.assign(points_.size(), false);
    for (index_t v = 0; v < points_.size(); ++v) {
      index_t const degree = line_degree(v);
      if (degree != 0 && degree != 2) is_corner_[v] = true;
      if (degree == 2 && on_horizontal_line(v) && on_vertical_line(v)) is_corner_[v] = true;
      if (degree == 2 && choices_.chance(options_.extra_corner_chance)) is_corner_[v] = true;
    }
    for (auto const v : internal_corners_) is_corner_[v] = true;
    // Every closed loop gets a corner, sometimes two.
    std::vector<bool> seen(nb_edges(), false);
    for (index_t e = 0; e < nb_edges(); ++e) {
      if (!is_line_edge(e) || seen[e]) continue;
      auto const loop = walk(edge_ends(e)[0], e, seen);
      bool has_corner = false;
      for (auto const v : loop) has_corner = has_corner || is_corner_[v];
      if (has_corner) continue;
      is_corner_[loop.front()] = true;
      if (loop.size() > 3 && choices_.chance(0.5)) is_corner_[loop[loop.size() / 2]] = true;
    }
  }

  // The vertices met walking from `from` along `e` until a corner or back
  // at the start; marks the edges seen.
  std::vector<index_t> walk(index_t from, index_t e, std::vector<bool>& seen) const {
    std::vector<index_t> vertices{from};
    index_t current = from;
    while (true) {
      seen[e] = true;
      auto const ends = edge_ends(e);
      current = ends[0] == current ? ends[1] : ends[0];
      vertices.push_back(current);
      if (current == from || is_corner_[current]) return vertices;
      index_t next = NO_ID;
      for (auto const other : edges_at(current)) {
        if (other != e && is_line_edge(other)) next = other;
      }
      e = next;
    }
  }

  void trace_lines() {
    std::vector<bool> seen(nb_edges(), false);
    for (index_t v = 0; v < points_.size(); ++v) {
      if (!is_corner_[v]) continue;
      for (auto const e : edges_at(v)) {
        if (!is_line_edge(e) || seen[e]) continue;
        chains_.push_back({walk(v, e, seen), e});
      }
    }
  }

  Point<2> point(index_t v) const {
    return Point<2>{{points_[v][0] * options_.scale, points_[v][1] * options_.scale}};
  }

  index_t unique(SectionBuilder& builder, index_t v) {
    if (uniques_[v] == NO_ID) uniques_[v] = builder.create_unique_vertex();
    return uniques_[v];
  }

  uuid add_surface(SectionBuilder& builder, int region, index_t& nb_triangles) {
    auto const id = builder.add_surface();
    auto& mesh = dynamic_cast<TriangulatedSurface<2>&>(
        builder.modifiable_surface(id).get_modifiable_mesh());
    auto surface = TriangulatedSurfaceBuilder<2>::create(mesh);
    absl::flat_hash_map<index_t, index_t> local;
    auto const local_vertex = [&](index_t v) {
      auto const found = local.find(v);
      if (found != local.end()) return found->second;
      auto const created = surface->create_point(point(v));
      builder.set_unique_vertex({{"Surface", id}, created}, unique(builder, v));
      local.emplace(v, created);
      return created;
    };
    for (index_t c = 0; c < labels_.size(); ++c) {
      if (labels_[c] != region) continue;
      for (auto const& t : cell_triangles(c)) {
        std::array<index_t, 3> corners{local_vertex(t[0]), local_vertex(t[1]), local_vertex(t[2])};
        if (options_.clockwise) std::swap(corners[1], corners[2]);
        surface->create_triangle(corners);
        ++nb_triangles;
      }
    }
    surface->compute_polygon_adjacencies();
    return id;
  }

  Choices& choices_;
  ShapeOptions const& options_;
  index_t nx_;
  index_t ny_;
  std::vector<int> labels_;
  std::vector<bool> on_internal_line_;
  std::vector<index_t> internal_corners_;
  std::vector<std::array<double, 2>> points_;
  std::vector<int> diagonals_;
  std::vector<bool> is_corner_;
  std::vector<Chain> chains_;
  std::vector<index_t> uniques_;
};

}  // namespace

GeneratedSection generate_section(Choices& choices, ShapeOptions const& options) {
  double jitter = std::min(options.jitter, 0.45);
  for (int attempt = 0; attempt < 8; ++attempt) {
    index_t const cells = choices.in_range(std::max<index_t>(options.min_cells, 2),
                                           std::max(options.min_cells, options.max_cells));
    index_t const other = std::max<index_t>(2, choices.in_range(cells / 2, cells));
    bool const wide = choices.chance(0.5);
    Grid grid{choices, options, wide ? cells : other, wide ? other : cells};
    if (!grid.draw_regions()) continue;
    grid.draw_features();
    if (!grid.place_points(jitter)) {
      jitter *= 0.5;
      continue;
    }
    return grid.build();
  }
  throw std::runtime_error("[generate_section] no valid shape found");
}

}  // namespace stress
}  // namespace tarnix
