#include <algorithm>
#include <array>
#include <string>
#include <utility>

#include <absl/container/flat_hash_map.h>
#include <absl/container/flat_hash_set.h>
#include <absl/strings/str_cat.h>

#include <morvex/cutter_surface/cut_along_path.h>
#include <ulvane/basic/ulvane_exception.h>
#include <ulvane/geometry/predicates.h>

namespace tarnix {
namespace {

constexpr char const* OPERATION = "[cut_along_path]";

local_index_t next_local(local_index_t local) {
  return static_cast<local_index_t>((local + 1) % 3);
}

using Triple = std::array<index_t, 3>;
using DirectedEdge = std::pair<index_t, index_t>;

//! A point of the chain from a to b: an existing vertex, or a point inside
//! a polygon edge of the surface before the cut, which becomes a vertex.
struct ChainPoint {
  //! The existing vertex, or the id the created vertex will get.
  index_t vertex;
  //! Set for a created point: the crossed polygon edge as the cut names it.
  PolygonEdge edge;
  Point<2> point;

  bool is_created() const { return edge != PolygonEdge{}; }
};

//! A triangle of the surface that the cut divides, and its pieces.
struct DividedTriangle {
  index_t triangle;
  Triple vertices;
  //! The chain points inside its edges, in chain order: (point, local edge).
  absl::InlinedVector<std::pair<index_t, local_index_t>, 2> points;
  //! Each piece is the triangle with some vertices replaced in place by
  //! created vertices, so it keeps the triangle's vertex order.
  absl::InlinedVector<Triple, 3> pieces;
  //! The new triangle of each piece, once created.
  absl::InlinedVector<index_t, 3> created;
};

//! Where a piece edge comes from: the pre-cut polygon edge it lies on, or
//! none for an edge inside the divided triangle.
struct PieceEdge {
  index_t divided;
  index_t piece;
  local_index_t edge;
  absl::optional<PolygonEdge> lies_on;
};

}  // namespace

//! The cut, computed and checked on the surface before any edit, so that a
//! refused cut changes nothing.
class SurfaceCutPlan::Impl {
 public:
  Impl(TriangulatedSurface<2> const& surface, index_t a, index_t b,
       absl::Span<GeometricSurfacePath<2> const> cuts)
      : surface_(surface) {
    collect_points(a, b, cuts);
    collect_divided_triangles();
    std::size_t nb_pieces = 0;
    for (auto& divided : divided_) {
      divide(divided);
      nb_pieces += divided.pieces.size();
    }
    // Sized once: the index of the piece edges is the cut's largest table.
    pieces_edges_.reserve(3 * nb_pieces);
    edge_index_.reserve(3 * nb_pieces);
    collect_piece_edges();
    check_chain();
  }

  TriangulatedSurface<2> const& surface() const { return surface_; }

  SurfaceCutPathInfo apply(TriangulatedSurfaceBuilder<2>& builder) {
    create_vertices(builder);
    create_pieces(builder);
    replace_divided(builder);
    glue(builder);
    return make_info();
  }

 private:
  void collect_points(index_t a, index_t b, absl::Span<GeometricSurfacePath<2> const> cuts) {
    check_vertex(a);
    check_vertex(b);
    if (a == b) throw UlvaneException(OPERATION, absl::StrCat(" Both ends are vertex ", a));
    index_t next_vertex = surface_.nb_vertices();
    points_.reserve(cuts.size() + 2);
    points_.push_back({a, PolygonEdge{}, surface_.point(a)});
    absl::flat_hash_set<index_t> vertices{a};
    vertices.reserve(cuts.size() + 2);
    absl::flat_hash_set<DirectedEdge> crossed;
    crossed.reserve(cuts.size());
    const auto add_vertex = [this, &vertices](index_t vertex) {
      if (points_.back().vertex == vertex) return;
      if (!vertices.insert(vertex).second) {
        throw UlvaneException(OPERATION,
                              absl::StrCat(" The chain would pass vertex ", vertex, " twice"));
      }
      points_.push_back({vertex, PolygonEdge{}, surface_.point(vertex)});
    };
    for (auto const& cut : cuts) {
      if (cut.vertex != NO_ID) {
        check_vertex(cut.vertex);
        add_vertex(cut.vertex);
        continue;
      }
      check_edge(cut.edge);
      auto ends = surface_.polygon_edge_vertices(cut.edge);
      std::sort(ends.begin(), ends.end());
      if (!crossed.insert({ends[0], ends[1]}).second) {
        throw UlvaneException(OPERATION, absl::StrCat(" The chain would cross the edge ", ends[0],
                                                      "-", ends[1], " twice"));
      }
      created_points_.push_back(points_.size());
      points_.push_back({next_vertex++, cut.edge, cut.point});
    }
    add_vertex(b);
  }

  //! Both triangles on every crossed edge (one on the border), in chain
  //! order of their first crossing.
  void collect_divided_triangles() {
    absl::flat_hash_map<index_t, index_t> index_of;
    index_of.reserve(2 * created_points_.size());
    divided_.reserve(2 * created_points_.size());
    for (index_t p = 0; p < points_.size(); ++p) {
      if (!points_[p].is_created()) continue;
      const PolygonEdge edge = points_[p].edge;
      absl::InlinedVector<PolygonEdge, 2> sides{edge};
      if (const auto twin = surface_.polygon_adjacent_edge(edge)) sides.push_back(*twin);
      for (auto const& side : sides) {
        const auto found = index_of.emplace(side.polygon_id, divided_.size());
        if (found.second) {
          DividedTriangle divided;
          divided.triangle = side.polygon_id;
          for (local_index_t v = 0; v < 3; ++v) {
            divided.vertices[v] = surface_.polygon_vertex({side.polygon_id, v});
          }
          divided_.push_back(divided);
        }
        divided_[found.first->second].points.emplace_back(p, side.edge_id);
      }
    }
  }

  //! Splits the triangle at its points one after the other: each point lies
  //! inside an edge of exactly one current piece, which is replaced by the
  //! two halves joining the point to the opposite corner.
  void divide(DividedTriangle& divided) const {
    divided.pieces.push_back(divided.vertices);
    for (auto const& [p, e] : divided.points) {
      const index_t from = divided.vertices[e];
      const index_t to = divided.vertices[next_local(e)];
      const index_t vertex = points_[p].vertex;
      bool is_split = false;
      for (std::size_t k = 0; k < divided.pieces.size() && !is_split; ++k) {
        for (local_index_t f = 0; f < 3; ++f) {
          const Triple piece = divided.pieces[k];
          if (piece[f] != from || piece[next_local(f)] != to) continue;
          Triple first = piece;
          first[next_local(f)] = vertex;
          Triple second = piece;
          second[f] = vertex;
          divided.pieces[k] = first;
          divided.pieces.insert(divided.pieces.begin() + static_cast<std::ptrdiff_t>(k) + 1,
                                second);
          is_split = true;
          break;
        }
      }
      if (!is_split) {
        throw UlvaneException(
            OPERATION,
            absl::StrCat(" Two points of the cut lie on one edge of triangle ", divided.triangle));
      }
    }
    for (auto const& piece : divided.pieces) {
      if (orientation_2d(point(piece[0]), point(piece[1]), point(piece[2])) != Sign::positive) {
        throw UlvaneException(OPERATION,
                              absl::StrCat(" The cut would fold triangle ", divided.triangle));
      }
    }
  }

  //! Every edge of every piece, with the pre-cut polygon edge it lies on.
  //! A piece edge at local index e can only lie on the triangle's edge e:
  //! each of its ends is then the triangle's vertex at that place or a
  //! point created inside that edge.
  void collect_piece_edges() {
    for (index_t d = 0; d < divided_.size(); ++d) {
      auto const& divided = divided_[d];
      for (index_t k = 0; k < divided.pieces.size(); ++k) {
        Triple const& piece = divided.pieces[k];
        for (local_index_t e = 0; e < 3; ++e) {
          const local_index_t f = next_local(e);
          PieceEdge edge{d, k, e, absl::nullopt};
          if (ends_on_edge(divided, piece[e], e, e) && ends_on_edge(divided, piece[f], f, e)) {
            edge.lies_on = PolygonEdge{divided.triangle, e};
          }
          if (!edge_index_.emplace(DirectedEdge{piece[e], piece[f]}, pieces_edges_.size()).second) {
            throw UlvaneException(OPERATION, absl::StrCat(" The cut would repeat the edge ",
                                                          piece[e], "-", piece[f]));
          }
          pieces_edges_.push_back(edge);
        }
      }
    }
  }

  //! Whether `vertex`, at place `corner` of a piece of `divided`, is an end
  //! of the triangle's edge e at that place or a point created inside it.
  bool ends_on_edge(DividedTriangle const& divided, index_t vertex, local_index_t corner,
                    local_index_t e) const {
    if (vertex == divided.vertices[corner]) return true;
    for (auto const& [p, edge] : divided.points) {
      if (edge == e && points_[p].vertex == vertex) return true;
    }
    return false;
  }

  //! Every two consecutive points must be joined by an edge after the cut:
  //! a piece edge, or an edge between two existing vertices.
  void check_chain() const {
    for (std::size_t p = 0; p + 1 < points_.size(); ++p) {
      const index_t from = points_[p].vertex;
      const index_t to = points_[p + 1].vertex;
      if (edge_index_.contains({from, to}) || edge_index_.contains({to, from})) continue;
      if (!points_[p].is_created() && !points_[p + 1].is_created() &&
          (surface_.polygon_edge_from_vertices(from, to) ||
           surface_.polygon_edge_from_vertices(to, from))) {
        continue;
      }
      throw UlvaneException(OPERATION, absl::StrCat(" The chain vertices ", from, " and ", to,
                                                    " would share no edge"));
    }
  }

  void create_vertices(TriangulatedSurfaceBuilder<2>& builder) const {
    for (auto const& chain_point : points_) {
      if (!chain_point.is_created()) continue;
      const auto ends = surface_.polygon_edge_vertices(chain_point.edge);
      const Vector<2> along{surface_.point(ends[0]), surface_.point(ends[1])};
      const Vector<2> to_point{surface_.point(ends[0]), chain_point.point};
      // The ends are distinct points (the pieces are not flat), so the
      // squared length is positive.
      const double parameter = std::min(std::max(along.dot(to_point) / along.dot(along), 0.0), 1.0);
      const std::array<double, 2> weights{{1.0 - parameter, parameter}};
      builder.create_point(chain_point.point, WeightedElementList{ends, weights});
    }
  }

  void create_pieces(TriangulatedSurfaceBuilder<2>& builder) {
    for (auto& divided : divided_) {
      for (auto const& piece : divided.pieces) {
        divided.created.push_back(builder.create_triangle(piece, divided.triangle));
      }
    }
  }

  //! Moves the fans of the divided triangles' vertices to pieces first, so
  //! that the removal does not search the whole mesh for a new corner.
  void replace_divided(TriangulatedSurfaceBuilder<2>& builder) {
    for (auto const& divided : divided_) {
      for (local_index_t v = 0; v < 3; ++v) {
        const index_t vertex = divided.vertices[v];
        const auto corner = surface_.associated_polygon_vertex(vertex);
        if (!corner || corner->polygon_id != divided.triangle) continue;
        for (std::size_t k = 0; k < divided.pieces.size(); ++k) {
          if (divided.pieces[k][v] != vertex) continue;
          builder.associate_polygon_vertex_to_vertex({divided.created[k], v}, vertex);
          break;
        }
      }
      for (local_index_t e = 0; e < 3; ++e) {
        old_twins_.push_back(surface_.polygon_adjacent_edge({divided.triangle, e}));
      }
    }
    for (auto const& divided : divided_) builder.remove_polygon(divided.triangle);
  }

  PolygonEdge new_edge(PieceEdge const& edge) const {
    return {divided_[edge.divided].created[edge.piece], edge.edge};
  }

  //! Each piece edge joins its reverse among the pieces, or else the twin
  //! the triangle's edge had before the cut, when that twin is kept.
  void glue(TriangulatedSurfaceBuilder<2>& builder) const {
    for (auto const& edge : pieces_edges_) {
      const Triple& piece = divided_[edge.divided].pieces[edge.piece];
      const index_t from = piece[edge.edge];
      const index_t to = piece[next_local(edge.edge)];
      const PolygonEdge handle = new_edge(edge);
      const auto reverse = edge_index_.find(DirectedEdge{to, from});
      if (reverse != edge_index_.end()) {
        builder.set_polygon_adjacent(handle, new_edge(pieces_edges_[reverse->second]).polygon_id);
        continue;
      }
      if (!edge.lies_on) continue;
      const auto& twin = old_twins_[3 * edge.divided + edge.lies_on->edge_id];
      if (!twin || !surface_.is_polygon_active(twin->polygon_id)) continue;
      builder.set_polygon_adjacent(handle, twin->polygon_id);
      builder.set_polygon_adjacent(*twin, handle.polygon_id);
    }
  }

  //! The polygon edge from `from` to `to` after the cut, with the pre-cut
  //! edge it lies on (itself when it was kept, none inside a former
  //! triangle). A piece edge is flagged in `on_chain`.
  absl::optional<SurfaceCutEdge> chain_edge(index_t from, index_t to,
                                            std::vector<bool>& on_chain) const {
    const auto found = edge_index_.find(DirectedEdge{from, to});
    if (found != edge_index_.end()) {
      on_chain[found->second] = true;
      auto const& edge = pieces_edges_[found->second];
      SurfaceCutEdge entry{new_edge(edge), {}};
      if (edge.lies_on) entry.replaced.push_back(*edge.lies_on);
      return entry;
    }
    if (from >= first_created_ || to >= first_created_) return absl::nullopt;
    const auto kept = surface_.polygon_edge_from_vertices(from, to);
    if (!kept) return absl::nullopt;
    return SurfaceCutEdge{*kept, {*kept}};
  }

  SurfaceCutPathInfo make_info() const {
    SurfaceCutPathInfo info;
    std::vector<bool> on_chain(pieces_edges_.size(), false);
    info.created_vertices.reserve(created_points_.size());
    for (auto const& chain_point : points_) {
      if (chain_point.is_created()) {
        info.created_vertices.push_back({chain_point.vertex, {NO_ID, NO_ID}});
      }
    }
    info.second.reserve(points_.size());
    info.third.reserve(points_.size());
    for (std::size_t p = 0; p + 1 < points_.size(); ++p) {
      const index_t from = points_[p].vertex;
      const index_t to = points_[p + 1].vertex;
      if (auto forward = chain_edge(from, to, on_chain)) info.second.push_back(std::move(*forward));
      if (auto backward = chain_edge(to, from, on_chain)) info.third.push_back(std::move(*backward));
    }
    info.first.reserve(pieces_edges_.size());
    for (std::size_t k = 0; k < pieces_edges_.size(); ++k) {
      if (on_chain[k]) continue;
      auto const& edge = pieces_edges_[k];
      SurfaceCutEdge entry{new_edge(edge), {}};
      if (edge.lies_on) entry.replaced.push_back(*edge.lies_on);
      info.first.push_back(std::move(entry));
    }
    return info;
  }

  Point<2> const& point(index_t vertex) const {
    if (vertex < surface_.nb_vertices()) return surface_.point(vertex);
    return created_point(vertex);
  }

  Point<2> const& created_point(index_t vertex) const {
    return points_[created_points_.at(vertex - first_created_)].point;
  }

  void check_vertex(index_t vertex) const {
    if (vertex >= surface_.nb_vertices()) {
      throw UlvaneException(OPERATION, absl::StrCat(" Unknown vertex ", vertex));
    }
  }

  void check_edge(PolygonEdge const& edge) const {
    if (edge.polygon_id >= surface_.nb_polygons() || edge.edge_id >= 3 ||
        !surface_.is_polygon_active(edge.polygon_id)) {
      throw UlvaneException(
          OPERATION, absl::StrCat(" The cut names the edge ", edge.polygon_id, ":",
                                  static_cast<unsigned>(edge.edge_id), " of no active triangle"));
    }
  }

  TriangulatedSurface<2> const& surface_;
  index_t first_created_{surface_.nb_vertices()};
  std::vector<ChainPoint> points_;
  //! Per created vertex, in id order, its place in `points_`.
  std::vector<std::size_t> created_points_;
  std::vector<DividedTriangle> divided_;
  std::vector<PieceEdge> pieces_edges_;
  //! The place in `pieces_edges_` of each piece edge, by its two vertices.
  absl::flat_hash_map<DirectedEdge, std::size_t> edge_index_;
  //! Per divided triangle and local edge, its twin before the cut.
  std::vector<absl::optional<PolygonEdge>> old_twins_;
};

SurfaceCutPlan::SurfaceCutPlan(std::unique_ptr<Impl> impl, index_t a, index_t b)
    : impl_(std::move(impl)), start_(a), end_(b) {}

SurfaceCutPlan::~SurfaceCutPlan() = default;

std::unique_ptr<SurfaceCutPlan> SurfaceCutPlan::create(
    TriangulatedSurface<2> const& surface, index_t a, index_t b,
    absl::Span<GeometricSurfacePath<2> const> cuts) {
  std::unique_ptr<Impl> impl;
  try {
    impl = std::make_unique<Impl>(surface, a, b, cuts);
  } catch (UlvaneException const&) {
    // Planning raises exactly the refusals of the cut itself.
    return nullptr;
  }
  return std::unique_ptr<SurfaceCutPlan>(new SurfaceCutPlan(std::move(impl), a, b));
}

SurfaceCutPathInfo SurfaceCutPlan::apply(TriangulatedSurfaceBuilder<2>& builder) {
  if (!impl_) throw UlvaneException(OPERATION, " The planned cut was already made");
  if (&builder.triangulated_surface() != &impl_->surface()) {
    throw UlvaneException(OPERATION, " The builder must edit the cut surface");
  }
  auto impl = std::move(impl_);
  return impl->apply(builder);
}

template <index_t D>
SurfaceCutPathInfo cut_along_path(TriangulatedSurface<D> const& surface,
                                  TriangulatedSurfaceBuilder<D>& builder, index_t a, index_t b,
                                  absl::Span<GeometricSurfacePath<D> const> cuts) {
  static_assert(D == 2, "surfaces are cut in the plane");
  if (&builder.triangulated_surface() != &surface) {
    throw UlvaneException(OPERATION, " The builder must edit the cut surface");
  }
  SurfaceCutPlan::Impl plan{surface, a, b, cuts};
  return plan.apply(builder);
}

template <index_t D>
bool is_cut_along_path_valid(TriangulatedSurface<D> const& surface, index_t a, index_t b,
                             absl::Span<GeometricSurfacePath<D> const> cuts) {
  static_assert(D == 2, "surfaces are cut in the plane");
  return SurfaceCutPlan::create(surface, a, b, cuts) != nullptr;
}

template SurfaceCutPathInfo cut_along_path<2>(TriangulatedSurface<2> const&,
                                              TriangulatedSurfaceBuilder<2>&, index_t, index_t,
                                              absl::Span<GeometricSurfacePath<2> const>);
template bool is_cut_along_path_valid<2>(TriangulatedSurface<2> const&, index_t, index_t,
                                         absl::Span<GeometricSurfacePath<2> const>);

}  // namespace tarnix
