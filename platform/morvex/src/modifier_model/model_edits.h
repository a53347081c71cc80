#pragma once

// The edits and simulations shared by the Section and BRep modifiers, as
// templates over the model type. Included by the two modifier sources only.

#include <algorithm>
#include <array>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <absl/container/flat_hash_map.h>
#include <absl/container/flat_hash_set.h>
#include <absl/container/inlined_vector.h>
#include <absl/strings/str_cat.h>
#include <absl/types/optional.h>
#include <absl/types/span.h>

#include <ulvane/basic/attribute.h>
#include <ulvane/basic/common.h>
#include <ulvane/basic/ulvane_exception.h>
#include <ulvane/basic/uuid.h>
#include <ulvane/geometry/point.h>
#include <ulvane/geometry/predicates.h>
#include <ulvane/geometry/vector.h>
#include <ulvane/mesh/edged_curve_builder.h>
#include <ulvane/mesh/mesh_handles.h>
#include <ulvane/mesh/point_set_builder.h>
#include <ulvane/mesh/solid_mesh_builder.h>
#include <ulvane/mesh/triangulated_surface.h>
#include <ulvane/mesh/triangulated_surface_builder.h>
#include <ulvane/model/brep.h>
#include <ulvane/model/brep_builder.h>
#include <ulvane/model/section.h>
#include <ulvane/model/section_builder.h>

#include <morvex/modifier_model/fan_neighbour.h>
#include <morvex/modifier_model/model_edit_records.h>
#include <morvex/modifier_model/point_mover.h>
#include <morvex/modifier_surface/triangulated_surface_modifier.h>

namespace tarnix {
namespace detail {

template <typename Model>
struct ModelTraits;

template <>
struct ModelTraits<Section> {
  static constexpr index_t dimension = 2;
  using Builder = SectionBuilder;
  static constexpr char const* modifier_name = "SectionGeometricModifier";
};

template <>
struct ModelTraits<BRep> {
  static constexpr index_t dimension = 3;
  using Builder = BRepBuilder;
  static constexpr char const* modifier_name = "BRepGeometricModifier";
};

template <typename Model>
constexpr index_t dimension_of = ModelTraits<Model>::dimension;

template <typename Model>
[[noreturn]] void fail(char const* operation, std::string const& text) {
  const std::string name = absl::StrCat("[", ModelTraits<Model>::modifier_name, "::", operation,
                                        "] ");
  throw UlvaneException(name.c_str(), text);
}

// ---------------------------------------------------------------------------
// Findings of a simulation.

using EdgeLists = absl::flat_hash_map<uuid, std::vector<PolygonEdge>>;

//! What a simulation found: folds apart from every other problem.
struct Findings {
  EdgeLists folds;
  EdgeLists problems;

  void fold(uuid const& surface, PolygonEdge const& edge) { add(folds, surface, edge); }
  void problem(uuid const& surface, PolygonEdge const& edge) { add(problems, surface, edge); }
  bool empty() const { return folds.empty() && problems.empty(); }

 private:
  static void add(EdgeLists& lists, uuid const& surface, PolygonEdge const& edge) {
    auto& list = lists[surface];
    if (std::find(list.begin(), list.end(), edge) == list.end()) list.push_back(edge);
  }
};

inline SectionSimulationResult section_result(Findings findings) {
  // 2D checks find no folds: an inverted triangle is a problem of its own.
  SectionSimulationResult result;
  result.problems = std::move(findings.problems);
  return result;
}

inline BRepSimulationResult brep_result(Findings findings) {
  BRepSimulationResult result;
  result.folds = std::move(findings.folds);
  result.problems = std::move(findings.problems);
  return result;
}

// ---------------------------------------------------------------------------
// Mesh helpers.

template <index_t D>
TriangulatedSurface<D> const& triangulated(Surface<D> const& surface) {
  return dynamic_cast<TriangulatedSurface<D> const&>(surface.get_mesh());
}

inline PolygonEdge local_edge(index_t triangle, unsigned offset) {
  return {triangle, static_cast<local_index_t>(offset % 3)};
}

//! The vertex opposite the edge in its triangle.
template <index_t D>
index_t opposite_vertex(TriangulatedSurface<D> const& mesh, PolygonEdge const& edge) {
  return mesh.polygon_vertex(mesh.previous_polygon_vertex(PolygonVertex{edge}));
}

template <index_t D>
std::array<index_t, 3> triangle_vertices(TriangulatedSurface<D> const& mesh, index_t triangle) {
  return {mesh.polygon_vertex({triangle, 0}), mesh.polygon_vertex({triangle, 1}),
          mesh.polygon_vertex({triangle, 2})};
}

//! The active triangles around the vertex of a corner, found by turning
//! across the edges at the vertex; `on_border` when the turn meets the
//! border. On a non-manifold vertex, only the fan holding the corner.
struct Fan {
  absl::InlinedVector<PolygonVertex, 10> corners;
  bool on_border{false};
};

template <index_t D>
Fan fan_through(TriangulatedSurface<D> const& mesh, PolygonVertex const& start) {
  Fan fan;
  fan.corners.push_back(start);
  // A fan never holds more corners than there are triangles.
  const index_t bound = mesh.nb_polygons();
  PolygonVertex corner = start;
  for (index_t step = 0;; ++step) {
    if (step > bound) throw UlvaneException("[fan_through] The adjacencies form no fan");
    // Across the edge leaving the vertex: the twin runs back into it.
    const auto twin = mesh.polygon_adjacent_edge(PolygonEdge{corner});
    if (!twin) {
      fan.on_border = true;
      break;
    }
    corner = mesh.next_polygon_vertex(PolygonVertex{*twin});
    if (corner == start) return fan;
    fan.corners.push_back(corner);
  }
  corner = start;
  for (index_t step = 0;; ++step) {
    if (step > bound) throw UlvaneException("[fan_through] The adjacencies form no fan");
    // Across the edge entering the vertex: the twin starts at it.
    const auto twin = mesh.polygon_adjacent_edge(mesh.previous_polygon_edge(PolygonEdge{corner}));
    if (!twin) break;
    corner = PolygonVertex{*twin};
    fan.corners.push_back(corner);
  }
  return fan;
}

//! The fan of the vertex through its associated corner (empty when the
//! vertex is in no active triangle).
template <index_t D>
Fan vertex_fan(TriangulatedSurface<D> const& mesh, index_t vertex) {
  const auto corner = mesh.associated_polygon_vertex(vertex);
  if (!corner) return {};
  return fan_through(mesh, *corner);
}

template <index_t D>
bool has_edge_between(TriangulatedSurface<D> const& mesh, index_t a, index_t b) {
  return !mesh.polygons_from_edge_vertices({a, b}).empty();
}

//! Whether the triangle of the edge and the one across it are glued along
//! a second edge too (a vertex with only these two triangles): the halves
//! of a split could not be glued, so no split of the edge is possible.
template <index_t D>
bool split_sides_share_another_edge(TriangulatedSurface<D> const& mesh, PolygonEdge const& edge) {
  const auto twin = mesh.polygon_adjacent_edge(edge);
  const index_t across = twin ? twin->polygon_id : edge.polygon_id;
  absl::InlinedVector<PolygonEdge, 2> sides{edge};
  if (twin) sides.push_back(*twin);
  for (auto const& side : sides) {
    for (const unsigned offset : {1u, 2u}) {
      const auto outer = mesh.polygon_adjacent(local_edge(side.polygon_id, side.edge_id + offset));
      if (outer && (*outer == edge.polygon_id || *outer == across)) return true;
    }
  }
  return false;
}

// ---------------------------------------------------------------------------
// Geometry.

//! Whether the three points are collinear, exactly: a triangle of them is
//! flat. In 3D, when the three coordinate projections are all collinear.
inline bool are_collinear(Point<2> const& a, Point<2> const& b, Point<2> const& c) {
  return orientation_2d(a, b, c) == Sign::zero;
}

inline bool are_collinear(Point<3> const& a, Point<3> const& b, Point<3> const& c) {
  constexpr std::array<std::array<index_t, 2>, 3> planes{{{{0, 1}}, {{1, 2}}, {{0, 2}}}};
  for (auto const& axes : planes) {
    const auto project = [&axes](Point<3> const& p) {
      return Point<2>{{p.value(axes[0]), p.value(axes[1])}};
    };
    if (orientation_2d(project(a), project(b), project(c)) != Sign::zero) return false;
  }
  return true;
}

//! Whether the point lies on the segment from `from` to `to`, `from`
//! excluded and `to` included, exactly.
template <index_t D>
bool is_on_segment_after_start(Point<D> const& from, Point<D> const& to, Point<D> const& point) {
  if (point == from || !are_collinear(from, to, point)) return false;
  // Collinear: the point is on the segment when every coordinate is.
  for (index_t i = 0; i < D; ++i) {
    const double low = std::min(from.value(i), to.value(i));
    const double high = std::max(from.value(i), to.value(i));
    if (point.value(i) < low || point.value(i) > high) return false;
  }
  return true;
}

inline absl::optional<Vector<3>> triangle_normal(std::array<Point<3>, 3> const& corners) {
  const Vector<3> normal =
      Vector<3>{corners[0], corners[1]}.cross(Vector<3>{corners[0], corners[2]});
  const double length = normal.length();
  if (!is_divisor_valid(length)) return absl::nullopt;
  return normal / length;
}

//! A normal that a new triangle must not face against, and the edge (of
//! before the edit) to report as a fold when it does.
struct FacingReference {
  Vector<3> normal;
  PolygonEdge edge;
};
using FacingReferences = absl::InlinedVector<FacingReference, 6>;

inline void add_reference(FacingReferences& references, absl::optional<Vector<3>> const& normal,
                          PolygonEdge const& edge) {
  if (normal) references.push_back({*normal, edge});
}

//! The unit normal of an existing triangle (3D), or none.
inline absl::optional<Vector<3>> existing_normal(TriangulatedSurface<3> const& mesh,
                                                 index_t triangle) {
  return mesh.new_polygon_normal(triangle);
}

//! The normal of the triangle across the edge, or none on the border.
inline absl::optional<Vector<3>> normal_across(TriangulatedSurface<3> const& mesh,
                                               PolygonEdge const& edge) {
  const auto adjacent = mesh.polygon_adjacent(edge);
  if (!adjacent) return absl::nullopt;
  return existing_normal(mesh, *adjacent);
}

//! Records the problems of a triangle as an edit would leave it. In 2D a
//! triangle must stay counter-clockwise (exact), so that no fold needs a
//! test of its own.
inline void check_triangle(Findings& findings, uuid const& surface,
                           std::array<Point<2>, 3> const& corners, PolygonEdge const& report,
                           FacingReferences const& /*references*/) {
  if (orientation_2d(corners[0], corners[1], corners[2]) != Sign::positive) {
    findings.problem(surface, report);
  }
}

//! Whether the triangle is flat within the rounding of its coordinates: its
//! area is below what rounding errors of the order of a few ulps make of
//! two of its sides. Points computed on a line (a median, a midpoint) land
//! beside it only by rounding, and the exact test would take them for a
//! proper triangle of zero area.
inline bool is_flat_within_rounding(std::array<Point<3>, 3> const& corners) {
  constexpr double relative = 64.0 * std::numeric_limits<double>::epsilon();
  const Vector<3> first{corners[0], corners[1]};
  const Vector<3> second{corners[0], corners[2]};
  const Vector<3> third{corners[1], corners[2]};
  const double longest2 = std::max({first.length2(), second.length2(), third.length2()});
  return first.cross(second).length() <= relative * longest2;
}

//! In 3D a triangle must not be flat (exactly, or within rounding) nor face
//! against any reference normal. The side is decided exactly for the point
//! a + normal, so a nearly flat but consistently oriented triangle is not
//! taken for a fold.
inline void check_triangle(Findings& findings, uuid const& surface,
                           std::array<Point<3>, 3> const& corners, PolygonEdge const& report,
                           FacingReferences const& references) {
  if (are_collinear(corners[0], corners[1], corners[2]) || is_flat_within_rounding(corners)) {
    findings.problem(surface, report);
    return;
  }
  for (auto const& reference : references) {
    const Point<3> above = corners[0] + reference.normal;
    if (orientation_3d(corners[0], corners[1], corners[2], above) == Sign::negative) {
      findings.fold(surface, reference.edge);
    }
  }
}

//! The points of the triangle with the moved vertices at the point.
template <index_t D>
std::array<Point<D>, 3> moved_points(TriangulatedSurface<D> const& mesh, index_t triangle,
                                     absl::Span<const index_t> moved, Point<D> const& point) {
  std::array<Point<D>, 3> corners;
  for (local_index_t v = 0; v < 3; ++v) {
    const index_t current = mesh.polygon_vertex({triangle, v});
    corners[v] = std::find(moved.begin(), moved.end(), current) != moved.end()
                     ? point
                     : mesh.point(current);
  }
  return corners;
}

//! The triangles of the checked fans, each once in the order its first
//! corner is met, with their points as the edit leaves them. Fans are
//! short, so a linear search finds a triangle; past `indexed_from` entries
//! a hash index takes over, so that a vertex of very many triangles costs
//! no quadratic search.
template <index_t D>
class ChangedTriangles {
 public:
  struct Entry {
    PolygonVertex corner;
    std::array<Point<D>, 3> points;
  };

  //! Adds the corner's triangle with its points unless it is there already.
  void add(TriangulatedSurface<D> const& mesh, PolygonVertex const& corner,
           absl::Span<const index_t> moved, Point<D> const& point) {
    if (find(corner.polygon_id) != nullptr) return;
    entries_.push_back({corner, moved_points(mesh, corner.polygon_id, moved, point)});
    if (entries_.size() == indexed_from) {
      for (index_t i = 0; i < entries_.size(); ++i) index_.emplace(entries_[i].corner.polygon_id, i);
    } else if (entries_.size() > indexed_from) {
      index_.emplace(corner.polygon_id, entries_.size() - 1);
    }
  }

  //! The entry of the triangle, or null.
  Entry const* find(index_t triangle) const {
    if (entries_.size() >= indexed_from) {
      const auto found = index_.find(triangle);
      return found == index_.end() ? nullptr : &entries_[found->second];
    }
    for (auto const& entry : entries_) {
      if (entry.corner.polygon_id == triangle) return &entry;
    }
    return nullptr;
  }

  absl::Span<const Entry> entries() const { return entries_; }

 private:
  static constexpr std::size_t indexed_from = 32;
  absl::InlinedVector<Entry, 16> entries_;
  absl::flat_hash_map<index_t, index_t> index_;
};

//! Checks the triangles of the fans with every moved vertex at the point,
//! except the triangles that go (`removed`). In 3D a triangle must not face
//! against itself before the move, nor against a triangle across one of
//! its edges (moved as well, or not).
template <index_t D>
void check_moved_fans(Findings& findings, uuid const& surface, TriangulatedSurface<D> const& mesh,
                      absl::Span<const Fan> fans, absl::Span<const index_t> moved,
                      Point<D> const& point, absl::Span<const index_t> removed) {
  const auto is_removed = [&removed](index_t triangle) {
    return std::find(removed.begin(), removed.end(), triangle) != removed.end();
  };
  ChangedTriangles<D> changed;
  for (auto const& fan : fans) {
    for (auto const& corner : fan.corners) {
      if (!is_removed(corner.polygon_id)) changed.add(mesh, corner, moved, point);
    }
  }
  for (auto const& entry : changed.entries()) {
    const PolygonVertex corner = entry.corner;
    const index_t triangle = corner.polygon_id;
    FacingReferences references;
    if constexpr (D == 3) {
      add_reference(references, existing_normal(mesh, triangle), PolygonEdge{corner});
      for (local_index_t k = 0; k < 3; ++k) {
        const auto adjacent = mesh.polygon_adjacent({triangle, k});
        if (!adjacent || is_removed(*adjacent)) continue;
        auto const* found = changed.find(*adjacent);
        add_reference(references,
                      found != nullptr ? triangle_normal(found->points)
                                       : existing_normal(mesh, *adjacent),
                      PolygonEdge{triangle, k});
      }
    }
    check_triangle(findings, surface, entry.points, PolygonEdge{corner}, references);
  }
}

// ---------------------------------------------------------------------------
// Model helpers.

template <typename Model>
using SurfaceOf = Surface<dimension_of<Model>>;
template <typename Model>
using PointOf = Point<dimension_of<Model>>;

template <typename Model>
index_t surface_unique_vertex(Model const& model, SurfaceOf<Model> const& surface,
                              index_t vertex) {
  return model.unique_vertex({surface.component_id(), vertex});
}

//! The line edges between the two unique vertices: (line, edge) pairs.
template <typename Model>
std::vector<std::pair<uuid, index_t>> line_edges_between(Model const& model, index_t first,
                                                         index_t second) {
  std::vector<std::pair<uuid, index_t>> edges;
  if (first == NO_ID || second == NO_ID) return edges;
  for (auto const& line_vertex :
       model.component_mesh_vertices(first, Line<dimension_of<Model>>::component_type_static())) {
    auto const& curve = model.line(line_vertex.component_id.id()).mesh();
    for (auto const& end : curve.edges_around_vertex(line_vertex.vertex)) {
      const index_t other = curve.edge_vertex(end.opposite());
      if (model.unique_vertex({line_vertex.component_id, other}) != second) continue;
      const std::pair<uuid, index_t> edge{line_vertex.component_id.id(), end.edge_id};
      if (std::find(edges.begin(), edges.end(), edge) == edges.end()) edges.push_back(edge);
    }
  }
  return edges;
}

//! Whether the component mesh vertex is the only one linked to its unique
//! vertex (true when unlinked).
template <typename Model>
bool is_alone(Model const& model, ComponentMeshVertex const& vertex) {
  const index_t unique = model.unique_vertex(vertex);
  if (unique == NO_ID) return true;
  const auto linked = model.component_mesh_vertices(unique);
  return linked.size() == 1 && linked.front() == vertex;
}

//! The polygon edges that a split of `edge` cuts: the edge itself (with its
//! twin), and for an edge along a line edge, every other polygon edge
//! between the same two unique vertices in any surface (twins once).
struct SplitTarget {
  uuid surface;
  PolygonEdge edge;
};

template <typename Model>
std::vector<SplitTarget> split_targets(Model const& model, SurfaceOf<Model> const& surface,
                                       PolygonEdge const& edge, bool along_line) {
  constexpr index_t D = dimension_of<Model>;
  std::vector<SplitTarget> targets{{surface.id(), edge}};
  if (!along_line) return targets;
  auto const& mesh = triangulated(surface);
  const auto ends = mesh.polygon_edge_vertices(edge);
  const index_t first = surface_unique_vertex(model, surface, ends[0]);
  const index_t second = surface_unique_vertex(model, surface, ends[1]);
  const auto type = Surface<D>::component_type_static();
  const auto second_vertices = model.component_mesh_vertices(second, type);
  absl::flat_hash_set<std::pair<uuid, PolygonEdge>> taken;
  taken.insert({surface.id(), edge});
  if (const auto twin = mesh.polygon_adjacent_edge(edge)) taken.insert({surface.id(), *twin});
  for (auto const& a : model.component_mesh_vertices(first, type)) {
    for (auto const& b : second_vertices) {
      if (a.component_id != b.component_id) continue;
      auto const& other = triangulated(model.surface(a.component_id.id()));
      for (auto const& candidate : other.polygons_from_edge_vertices({a.vertex, b.vertex})) {
        if (!taken.insert({a.component_id.id(), candidate}).second) continue;
        if (const auto twin = other.polygon_adjacent_edge(candidate)) {
          taken.insert({a.component_id.id(), *twin});
        }
        targets.push_back({a.component_id.id(), candidate});
      }
    }
  }
  return targets;
}

// ---------------------------------------------------------------------------
// Simulations.

template <typename Model>
Findings simulate_swap(Model const& model, SurfaceOf<Model> const& surface,
                       PolygonEdge const& edge) {
  constexpr index_t D = dimension_of<Model>;
  Findings findings;
  auto const& id = surface.id();
  auto const& mesh = triangulated(surface);
  if (!mesh.is_polygon_active(edge.polygon_id)) {
    findings.problem(id, edge);
    return findings;
  }
  const auto twin = mesh.polygon_adjacent_edge(edge);
  if (!twin) {
    findings.problem(id, edge);
    return findings;
  }
  const index_t p = mesh.polygon_edge_vertex(edge, 0);
  const index_t q = mesh.polygon_edge_vertex(edge, 1);
  const index_t r = opposite_vertex(mesh, edge);
  const index_t s = opposite_vertex(mesh, *twin);
  // A line edge stays; so does a diamond whose new edge exists already.
  if (r == s || has_edge_between(mesh, r, s) ||
      !line_edges_between(model, surface_unique_vertex(model, surface, p),
                          surface_unique_vertex(model, surface, q))
           .empty()) {
    findings.problem(id, edge);
    return findings;
  }
  const std::array<Point<D>, 3> first{{mesh.point(r), mesh.point(p), mesh.point(s)}};
  const std::array<Point<D>, 3> second{{mesh.point(s), mesh.point(q), mesh.point(r)}};
  FacingReferences first_references;
  FacingReferences second_references;
  if constexpr (D == 3) {
    const index_t t = edge.polygon_id;
    const index_t t_twin = twin->polygon_id;
    for (auto* references : {&first_references, &second_references}) {
      add_reference(*references, existing_normal(mesh, t), edge);
      add_reference(*references, existing_normal(mesh, t_twin), edge);
    }
    add_reference(first_references, triangle_normal(second), edge);
    add_reference(second_references, triangle_normal(first), edge);
    // (R, P, S) takes over R->P of T and P->S of T'; (S, Q, R) takes over
    // S->Q of T' and Q->R of T.
    const PolygonEdge rp = local_edge(t, edge.edge_id + 2u);
    const PolygonEdge ps = local_edge(t_twin, twin->edge_id + 1u);
    const PolygonEdge sq = local_edge(t_twin, twin->edge_id + 2u);
    const PolygonEdge qr = local_edge(t, edge.edge_id + 1u);
    add_reference(first_references, normal_across(mesh, rp), rp);
    add_reference(first_references, normal_across(mesh, ps), ps);
    add_reference(second_references, normal_across(mesh, sq), sq);
    add_reference(second_references, normal_across(mesh, qr), qr);
  }
  check_triangle(findings, id, first, edge, first_references);
  check_triangle(findings, id, second, edge, second_references);
  return findings;
}

template <typename Model>
Findings simulate_collapse(Model const& model, SurfaceOf<Model> const& surface,
                           PolygonEdge const& edge, PointOf<Model> const& point) {
  Findings findings;
  auto const& id = surface.id();
  auto const& mesh = triangulated(surface);
  if (!mesh.is_polygon_active(edge.polygon_id)) {
    findings.problem(id, edge);
    return findings;
  }
  const auto ends = mesh.polygon_edge_vertices(edge);
  const local_index_t kept =
      mesh.point(ends[0]) != point && mesh.point(ends[1]) == point ? 1 : 0;
  const index_t remaining = ends[kept];
  const index_t merged = ends[1 - kept];

  // The end that goes must belong to this surface alone; the end that stays
  // may be shared (a line or corner vertex) only if it does not move.
  const bool merged_alone = is_alone(model, {surface.component_id(), merged});
  const bool remaining_moves = mesh.point(remaining) != point;
  if (!merged_alone ||
      (remaining_moves && !is_alone(model, {surface.component_id(), remaining}))) {
    findings.problem(id, edge);
    return findings;
  }

  // Link condition, as for a surface on its own.
  const auto twin = mesh.polygon_adjacent_edge(edge);
  absl::InlinedVector<index_t, 2> on_edge{edge.polygon_id};
  absl::InlinedVector<index_t, 2> opposite{opposite_vertex(mesh, edge)};
  if (twin) {
    on_edge.push_back(twin->polygon_id);
    opposite.push_back(opposite_vertex(mesh, *twin));
  } else if (mesh.is_edge_on_border(mesh.next_polygon_edge(edge)) &&
             mesh.is_edge_on_border(mesh.previous_polygon_edge(edge))) {
    // A lone triangle would vanish into a segment.
    findings.problem(id, edge);
    return findings;
  }
  const std::array<Fan, 2> fans{{fan_through(mesh, PolygonVertex{edge}),
                                 fan_through(mesh, mesh.next_polygon_vertex(PolygonVertex{edge}))}};
  // An inside edge whose ends both lie on the border would pinch the
  // surface into one vertex.
  if (twin && fans[0].on_border && fans[1].on_border) {
    findings.problem(id, edge);
    return findings;
  }
  absl::flat_hash_set<index_t> first_neighbours;
  for (auto const& corner : fans[0].corners) {
    first_neighbours.insert(mesh.polygon_vertex(mesh.next_polygon_vertex(corner)));
    first_neighbours.insert(mesh.polygon_vertex(mesh.previous_polygon_vertex(corner)));
  }
  for (auto const& corner : fans[1].corners) {
    for (const index_t neighbour : {mesh.polygon_vertex(mesh.next_polygon_vertex(corner)),
                                    mesh.polygon_vertex(mesh.previous_polygon_vertex(corner))}) {
      if (neighbour == ends[0] ||
          std::find(opposite.begin(), opposite.end(), neighbour) != opposite.end()) {
        continue;
      }
      if (first_neighbours.contains(neighbour)) {
        findings.problem(id, edge);
        return findings;
      }
    }
  }
  // Every triangle that stays, with its end at the point.
  check_moved_fans(findings, id, mesh, absl::MakeConstSpan(fans), absl::MakeConstSpan(ends), point,
                   on_edge);
  return findings;
}

template <typename Model>
Findings simulate_split(Model const& model, SurfaceOf<Model> const& surface,
                        PolygonEdge const& edge, PointOf<Model> const& point) {
  constexpr index_t D = dimension_of<Model>;
  Findings findings;
  auto const& mesh = triangulated(surface);
  if (!mesh.is_polygon_active(edge.polygon_id)) {
    findings.problem(surface.id(), edge);
    return findings;
  }
  const auto ends = mesh.polygon_edge_vertices(edge);
  if (mesh.point(ends[0]) == point || mesh.point(ends[1]) == point) {
    findings.problem(surface.id(), edge);
    return findings;
  }
  const auto line_edges =
      line_edges_between(model, surface_unique_vertex(model, surface, ends[0]),
                         surface_unique_vertex(model, surface, ends[1]));
  if constexpr (D == 2) {
    // A new line vertex must lie on the line: strictly inside the edge.
    for (auto const& line_edge : line_edges) {
      auto const& curve = model.line(line_edge.first).mesh();
      auto const& from = curve.point(curve.edge_vertex({line_edge.second, 0}));
      auto const& to = curve.point(curve.edge_vertex({line_edge.second, 1}));
      if (point == to || !is_on_segment_after_start(from, to, point)) {
        findings.problem(surface.id(), edge);
        return findings;
      }
    }
  }
  for (auto const& target : split_targets(model, surface, edge, !line_edges.empty())) {
    auto const& target_mesh = triangulated(model.surface(target.surface));
    if (split_sides_share_another_edge(target_mesh, target.edge)) {
      findings.problem(target.surface, target.edge);
      return findings;
    }
    const auto twin = target_mesh.polygon_adjacent_edge(target.edge);
    absl::InlinedVector<PolygonEdge, 2> sides{target.edge};
    if (twin) sides.push_back(*twin);
    // Each side A->B of (A, B, C) becomes (A, X, C) and (X, B, C).
    struct Halves {
      std::array<Point<D>, 3> at_start;
      std::array<Point<D>, 3> at_end;
    };
    absl::InlinedVector<Halves, 2> halves;
    for (auto const& side : sides) {
      auto const& a = target_mesh.point(target_mesh.polygon_edge_vertex(side, 0));
      auto const& b = target_mesh.point(target_mesh.polygon_edge_vertex(side, 1));
      auto const& c = target_mesh.point(opposite_vertex(target_mesh, side));
      halves.push_back({{{a, point, c}}, {{point, b, c}}});
    }
    for (std::size_t k = 0; k < sides.size(); ++k) {
      auto const& side = sides[k];
      FacingReferences start_references;
      FacingReferences end_references;
      if constexpr (D == 3) {
        const auto own = existing_normal(target_mesh, side.polygon_id);
        const auto start_normal = triangle_normal(halves[k].at_start);
        const auto end_normal = triangle_normal(halves[k].at_end);
        add_reference(start_references, own, side);
        add_reference(end_references, own, side);
        add_reference(start_references, end_normal, side);
        add_reference(end_references, start_normal, side);
        if (sides.size() == 2) {
          // Across the split edge, (A, X, C) faces the other side's half at
          // A, which is that side's half at its end.
          auto const& other = halves[1 - k];
          add_reference(start_references, triangle_normal(other.at_end), side);
          add_reference(end_references, triangle_normal(other.at_start), side);
        }
        const PolygonEdge ca = local_edge(side.polygon_id, side.edge_id + 2u);
        const PolygonEdge bc = local_edge(side.polygon_id, side.edge_id + 1u);
        add_reference(start_references, normal_across(target_mesh, ca), ca);
        add_reference(end_references, normal_across(target_mesh, bc), bc);
      }
      check_triangle(findings, target.surface, halves[k].at_start, side, start_references);
      check_triangle(findings, target.surface, halves[k].at_end, side, end_references);
    }
  }
  return findings;
}

//! Whether the component vertex of a line may move to the point: it must
//! stay on one of its line edges (the far end excluded).
template <typename Model>
bool may_move_on_line(Model const& model, ComponentMeshVertex const& line_vertex,
                      PointOf<Model> const& point) {
  auto const& curve = model.line(line_vertex.component_id.id()).mesh();
  auto const& current = curve.point(line_vertex.vertex);
  for (auto const& end : curve.edges_around_vertex(line_vertex.vertex)) {
    auto const& far = curve.point(curve.edge_vertex(end.opposite()));
    if (is_on_segment_after_start(far, current, point)) return true;
  }
  return false;
}

//! A surface vertex whose fan the caller has already walked: the vertex's
//! corner in each triangle of the fan through its associated corner, in
//! any order.
template <index_t D>
struct WalkedFan {
  Surface<D> const& surface;
  index_t vertex;
  absl::Span<const PolygonVertex> corners;
  //! When not empty, the other two vertices of each corner's triangle, in
  //! the corners' order, with their points.
  absl::Span<const FanNeighbour<D>> neighbours;
};

//! `fan_stays_counter_clockwise` with the other two vertices of each
//! triangle already read.
inline bool fan_stays_counter_clockwise(absl::Span<const FanNeighbour<2>> neighbours,
                                        index_t vertex, Point<2> const& point) {
  for (auto const& neighbour : neighbours) {
    auto const& second = neighbour.far == vertex ? point : *neighbour.far_point;
    auto const& third = neighbour.opposite == vertex ? point : *neighbour.opposite_point;
    if (orientation_2d(point, second, third) != Sign::positive) return false;
  }
  return true;
}

//! Whether the triangles of the vertex's corners all stay counter-clockwise
//! (exact) with the vertex at the point. Each triangle is read from the
//! vertex's corner on, a rotation, which keeps the orientation.
inline bool fan_stays_counter_clockwise(SurfaceMesh<2> const& mesh,
                                        absl::Span<const PolygonVertex> corners, index_t vertex,
                                        Point<2> const& point) {
  const auto moved = [&](index_t other) -> Point<2> const& {
    return other == vertex ? point : mesh.point(other);
  };
  // Turning around a fan, a triangle's last vertex is the previous one's
  // second: its point is read once.
  index_t previous = NO_ID;
  Point<2> const* previous_point = nullptr;
  for (auto const& corner : corners) {
    const auto others = mesh.polygon_edge_vertices(PolygonEdge{mesh.next_polygon_vertex(corner)});
    auto const& second = moved(others[0]);
    auto const& third = others[1] == previous ? *previous_point : moved(others[1]);
    if (orientation_2d(point, second, third) != Sign::positive) return false;
    previous = others[0];
    previous_point = &second;
  }
  return true;
}

//! `is_move_point_valid` for the unique vertex linked to the component
//! vertices `linked`; with `walked`, that vertex's fan is read from it
//! instead of being walked again (the other linked vertices are walked).
template <typename Model>
bool simulate_move(Model const& model, absl::Span<const ComponentMeshVertex> linked,
                   PointOf<Model> const& point, WalkedFan<dimension_of<Model>> const* walked) {
  constexpr index_t D = dimension_of<Model>;
  // The names are interned once, not for every linked vertex of every call.
  static const ComponentType corner_type = Corner<D>::component_type_static();
  static const ComponentType line_type = Line<D>::component_type_static();
  static const ComponentType surface_type = Surface<D>::component_type_static();
  if (linked.empty()) return false;
  index_t nb_line_vertices = 0;
  for (auto const& vertex : linked) {
    auto const& type = vertex.component_id.type();
    if (type == corner_type) {
      if (model.corner(vertex.component_id.id()).mesh().point(vertex.vertex) != point) {
        return false;
      }
    } else if (type == line_type) {
      ++nb_line_vertices;
      if (!may_move_on_line(model, vertex, point)) return false;
    }
  }
  // Where lines meet there should be a corner; without one, stay put.
  if (nb_line_vertices > 1) {
    for (auto const& vertex : linked) {
      if (vertex.component_id.type() == line_type &&
          model.line(vertex.component_id.id()).mesh().point(vertex.vertex) != point) {
        return false;
      }
    }
  }
  Findings findings;
  for (auto const& vertex : linked) {
    if (vertex.component_id.type() != surface_type) continue;
    // The type is a surface's: the ids tell the surface.
    const bool is_walked = walked != nullptr && vertex.vertex == walked->vertex &&
                           vertex.component_id.id() == walked->surface.id();
    auto const& surface = is_walked ? walked->surface : model.surface(vertex.component_id.id());
    // The vertex's fan: the caller's walk, or walked here.
    Fan fan;
    if (!is_walked) fan = vertex_fan(triangulated(surface), vertex.vertex);
    const auto corners = is_walked ? walked->corners : absl::MakeConstSpan(fan.corners);
    if constexpr (D == 2) {
      // One vertex moves: every triangle of its fan, each met once, must
      // stay counter-clockwise. This is what the check of moved fans
      // decides in 2D, without gathering the triangles first.
      const bool stays = is_walked && !walked->neighbours.empty()
                             ? fan_stays_counter_clockwise(walked->neighbours, vertex.vertex, point)
                             : fan_stays_counter_clockwise(surface.get_mesh(), corners,
                                                           vertex.vertex, point);
      if (!stays) return false;
      continue;
    }
    auto const& mesh = triangulated(surface);
    std::array<Fan, 1> fans;
    fans[0].corners.assign(corners.begin(), corners.end());
    const std::array<index_t, 1> moved{{vertex.vertex}};
    check_moved_fans(findings, vertex.component_id.id(), mesh, absl::MakeConstSpan(fans),
                     absl::MakeConstSpan(moved), point, {});
    if (!findings.empty()) return false;
  }
  return true;
}

template <typename Model>
bool simulate_move(Model const& model, index_t unique_vertex, PointOf<Model> const& point) {
  return simulate_move(model, model.component_mesh_vertices(unique_vertex), point, nullptr);
}

template <typename Model>
bool simulate_move(Model const& model, absl::Span<const ComponentMeshVertex> linked,
                   PointOf<Model> const& point, WalkedFan<dimension_of<Model>> const& walked) {
  return simulate_move(model, linked, point, &walked);
}

// ---------------------------------------------------------------------------
// Surface-level edits through a builder.

//! Points every listed vertex whose associated corner lies in a triangle
//! about to go to a corner of it in one of the triangles that replace them,
//! so that removing the old triangles needs no search.
template <index_t D>
void move_associations(TriangulatedSurface<D> const& mesh, TriangulatedSurfaceBuilder<D>& builder,
                       absl::Span<const index_t> leaving, absl::Span<const index_t> arriving) {
  for (const index_t triangle : leaving) {
    for (const index_t vertex : triangle_vertices(mesh, triangle)) {
      const auto associated = mesh.associated_polygon_vertex(vertex);
      if (!associated || std::find(leaving.begin(), leaving.end(), associated->polygon_id) ==
                             leaving.end()) {
        continue;
      }
      for (const index_t candidate : arriving) {
        const auto vertices = triangle_vertices(mesh, candidate);
        const auto found = std::find(vertices.begin(), vertices.end(), vertex);
        if (found == vertices.end()) continue;
        builder.associate_polygon_vertex_to_vertex(
            {candidate, static_cast<local_index_t>(found - vertices.begin())}, vertex);
        break;
      }
    }
  }
}

template <index_t D>
void glue(TriangulatedSurfaceBuilder<D>& builder, PolygonEdge const& a,
          absl::optional<PolygonEdge> const& b) {
  if (!b) {
    builder.set_polygon_adjacent(a, NO_ID);
    return;
  }
  builder.set_polygon_adjacent(a, b->polygon_id);
  builder.set_polygon_adjacent(*b, a.polygon_id);
}

//! Swaps the diagonal, keeping both triangle indices (see `swap_edge`).
template <typename Model, index_t D>
void swap_surface_edge(TriangulatedSurface<D> const& mesh, TriangulatedSurfaceBuilder<D>& builder,
                       PolygonEdge const& edge) {
  constexpr char const* operation = "swap_edge";
  if (!mesh.is_polygon_active(edge.polygon_id)) {
    fail<Model>(operation, absl::StrCat("Triangle ", edge.polygon_id, " is removed"));
  }
  const auto twin = mesh.polygon_adjacent_edge(edge);
  if (!twin) fail<Model>(operation, "A border edge cannot be swapped");
  const index_t t = edge.polygon_id;
  const index_t t_twin = twin->polygon_id;
  const unsigned i = edge.edge_id;
  const unsigned j = twin->edge_id;
  const index_t p = mesh.polygon_edge_vertex(edge, 0);
  const index_t q = mesh.polygon_edge_vertex(edge, 1);
  const index_t r = opposite_vertex(mesh, edge);
  const index_t s = opposite_vertex(mesh, *twin);
  if (r == s || has_edge_between(mesh, r, s)) {
    fail<Model>(operation, absl::StrCat("The edge between vertices ", r, " and ", s,
                                        " exists already"));
  }
  const auto qr = mesh.polygon_adjacent_edge(local_edge(t, i + 1));
  const auto rp = mesh.polygon_adjacent_edge(local_edge(t, i + 2));
  const auto ps = mesh.polygon_adjacent_edge(local_edge(t_twin, j + 1));
  const auto sq = mesh.polygon_adjacent_edge(local_edge(t_twin, j + 2));

  // T = (P, Q, R) at (i, i+1, i+2) becomes (S, R, P); T' = (Q, P, S) at
  // (j, j+1, j+2) becomes (R, S, Q). One corner at a time, in an order
  // where no triangle ever holds a vertex twice.
  const auto corner = [](index_t triangle, unsigned local) {
    return PolygonVertex{triangle, static_cast<local_index_t>(local % 3)};
  };
  builder.set_polygon_vertex(corner(t, i), s);
  builder.set_polygon_vertex(corner(t, i + 2), p);
  builder.set_polygon_vertex(corner(t, i + 1), r);
  builder.set_polygon_vertex(corner(t_twin, j), r);
  builder.set_polygon_vertex(corner(t_twin, j + 2), q);
  builder.set_polygon_vertex(corner(t_twin, j + 1), s);

  glue(builder, local_edge(t, i), absl::optional<PolygonEdge>{local_edge(t_twin, j)});
  glue(builder, local_edge(t, i + 1), rp);
  glue(builder, local_edge(t, i + 2), ps);
  glue(builder, local_edge(t_twin, j + 1), sq);
  glue(builder, local_edge(t_twin, j + 2), qr);
}

//! The position of the point's projection along the segment, in [0, 1].
template <index_t D>
double segment_parameter(Point<D> const& from, Point<D> const& to, Point<D> const& point) {
  const Vector<D> direction{from, to};
  const double length2 = direction.length2();
  if (!(length2 > 0.0)) return 0.5;
  const double parameter = direction.dot(Vector<D>{from, point}) / length2;
  return std::min(1.0, std::max(0.0, parameter));
}

//! Splits the edge and its twin at a new vertex at the point; the replaced
//! triangles are removed and the new ones appended (see `SplitRecord`).
template <typename Model, index_t D>
SplitRecord split_surface_edge(TriangulatedSurface<D> const& mesh,
                               TriangulatedSurfaceBuilder<D>& builder, PolygonEdge const& edge,
                               Point<D> const& point) {
  constexpr char const* operation = "split_edge";
  if (!mesh.is_polygon_active(edge.polygon_id)) {
    fail<Model>(operation, absl::StrCat("Triangle ", edge.polygon_id, " is removed"));
  }
  struct Side {
    PolygonEdge edge;
    std::array<index_t, 3> vertices;
    //! The twins of the edges B->C and C->A, kept by the new halves.
    absl::optional<PolygonEdge> bc;
    absl::optional<PolygonEdge> ca;
    index_t at_start{NO_ID};
    index_t at_end{NO_ID};
  };
  absl::InlinedVector<Side, 2> sides;
  sides.push_back({edge, triangle_vertices(mesh, edge.polygon_id), {}, {}});
  if (const auto twin = mesh.polygon_adjacent_edge(edge)) {
    sides.push_back({*twin, triangle_vertices(mesh, twin->polygon_id), {}, {}});
  }
  if (split_sides_share_another_edge(mesh, edge)) {
    fail<Model>(operation, "The edge's two triangles share another edge");
  }
  for (auto& side : sides) {
    side.bc = mesh.polygon_adjacent_edge(local_edge(side.edge.polygon_id, side.edge.edge_id + 1u));
    side.ca = mesh.polygon_adjacent_edge(local_edge(side.edge.polygon_id, side.edge.edge_id + 2u));
  }

  const index_t p = mesh.polygon_edge_vertex(edge, 0);
  const index_t q = mesh.polygon_edge_vertex(edge, 1);
  const double parameter = segment_parameter(mesh.point(p), mesh.point(q), point);
  const std::array<index_t, 2> parents{{p, q}};
  const std::array<double, 2> weights{{1.0 - parameter, parameter}};
  SplitRecord record;
  const index_t x = builder.create_point(point, WeightedElementList{parents, weights});
  record.vertex = x;

  absl::InlinedVector<index_t, 2> leaving;
  absl::InlinedVector<index_t, 4> arriving;
  for (auto& side : sides) {
    const index_t t = side.edge.polygon_id;
    const unsigned k = side.edge.edge_id;
    auto at_start = side.vertices;
    at_start[(k + 1) % 3] = x;
    auto at_end = side.vertices;
    at_end[k] = x;
    side.at_start = builder.create_triangle(at_start, t);
    side.at_end = builder.create_triangle(at_end, t);
    leaving.push_back(t);
    arriving.push_back(side.at_start);
    arriving.push_back(side.at_end);
  }
  move_associations(mesh, builder, leaving, arriving);
  for (const index_t t : leaving) builder.remove_polygon(t);

  for (std::size_t n = 0; n < sides.size(); ++n) {
    auto const& side = sides[n];
    const index_t t = side.edge.polygon_id;
    const unsigned k = side.edge.edge_id;
    glue(builder, local_edge(side.at_start, k + 1),
         absl::optional<PolygonEdge>{local_edge(side.at_end, k + 2)});
    glue(builder, local_edge(side.at_end, k + 1), side.bc);
    glue(builder, local_edge(side.at_start, k + 2), side.ca);
    auto& edges = n == 0 ? record.own_edges : record.twin_edges;
    auto& triangles = n == 0 ? record.own_triangles : record.twin_triangles;
    edges.push_back({local_edge(side.at_start, k), side.edge});
    edges.push_back({local_edge(side.at_end, k), side.edge});
    edges.push_back({local_edge(side.at_end, k + 1), local_edge(t, k + 1)});
    edges.push_back({local_edge(side.at_start, k + 2), local_edge(t, k + 2)});
    edges.push_back({local_edge(side.at_start, k + 1), PolygonEdge{}});
    edges.push_back({local_edge(side.at_end, k + 2), PolygonEdge{}});
    triangles.push_back({side.at_start, t});
    triangles.push_back({side.at_end, t});
  }
  if (sides.size() == 2) {
    // A->X of one side is X->A of the other side's half at its end.
    glue(builder, local_edge(sides[0].at_start, sides[0].edge.edge_id),
         absl::optional<PolygonEdge>{local_edge(sides[1].at_end, sides[1].edge.edge_id)});
    glue(builder, local_edge(sides[0].at_end, sides[0].edge.edge_id),
         absl::optional<PolygonEdge>{local_edge(sides[1].at_start, sides[1].edge.edge_id)});
  }
  return record;
}

// ---------------------------------------------------------------------------
// Model-level edits.

template <typename Model>
TriangulatedSurface<dimension_of<Model>>& modifiable_mesh(
    typename ModelTraits<Model>::Builder& builder, uuid const& surface) {
  return dynamic_cast<TriangulatedSurface<dimension_of<Model>>&>(
      builder.modifiable_surface(surface).get_modifiable_mesh());
}

template <typename Model>
void swap_model_edge(Model& model, SurfaceOf<Model> const& surface, PolygonEdge const& edge) {
  typename ModelTraits<Model>::Builder model_builder{model};
  auto& mesh = modifiable_mesh<Model>(model_builder, surface.id());
  auto builder = TriangulatedSurfaceBuilder<dimension_of<Model>>::create(mesh);
  swap_surface_edge<Model>(mesh, *builder, edge);
}

//! Moves every component vertex of `linked` to the point.
template <typename Model>
void move_linked_points(Model& model, absl::Span<const ComponentMeshVertex> linked,
                        PointOf<Model> const& point) {
  constexpr index_t D = dimension_of<Model>;
  // The names are interned once, not for every linked vertex of every call.
  static const ComponentType surface_type = Surface<D>::component_type_static();
  static const ComponentType line_type = Line<D>::component_type_static();
  static const ComponentType corner_type = Corner<D>::component_type_static();
  typename ModelTraits<Model>::Builder model_builder{model};
  for (auto const& vertex : linked) {
    auto const& type = vertex.component_id.type();
    auto const& id = vertex.component_id.id();
    if (type == surface_type) {
      SurfaceMeshBuilder<D>::create(model_builder.modifiable_surface(id).get_modifiable_mesh())
          ->set_point(vertex.vertex, point);
    } else if (type == line_type) {
      EdgedCurveBuilder<D>{model_builder.modifiable_line(id).get_modifiable_mesh()}.set_point(
          vertex.vertex, point);
    } else if (type == corner_type) {
      PointSetBuilder<D>::create(model_builder.modifiable_corner(id).get_modifiable_mesh())
          ->set_point(vertex.vertex, point);
    } else if constexpr (D == 3) {
      if (type == Block<3>::component_type_static()) {
        SolidMeshBuilder<3>::create(model_builder.modifiable_block(id).get_modifiable_mesh())
            ->set_point(vertex.vertex, point);
      }
    }
  }
}

template <typename Model, index_t D>
LinkedPointMover<Model, D>::LinkedPointMover(Model& model, Surface<D> const& surface)
    : model_(model),
      surface_(surface.component_id()),
      builder_(SurfaceMeshBuilder<D>::create(typename ModelTraits<Model>::Builder{model}
                                                 .modifiable_surface(surface.id())
                                                 .get_modifiable_mesh())) {}

template <typename Model, index_t D>
LinkedPointMover<Model, D>::~LinkedPointMover() = default;

template <typename Model, index_t D>
void LinkedPointMover<Model, D>::move(absl::Span<const ComponentMeshVertex> linked,
                                      Point<D> const& point) {
  for (std::size_t i = 0; i < linked.size(); ++i) {
    if (linked[i].component_id == surface_) {
      builder_->set_point(linked[i].vertex, point);
    } else {
      move_linked_points(model_, linked.subspan(i, 1), point);
    }
  }
}

template <typename Model>
void move_model_point(Model& model, index_t unique_vertex, PointOf<Model> const& point) {
  move_linked_points(model, model.component_mesh_vertices(unique_vertex), point);
}

template <typename Model>
ModelCollapsePolygonEdgeInfo collapse_model_edge(Model& model, SurfaceOf<Model> const& surface,
                                                 PolygonEdge const& edge,
                                                 PointOf<Model> const& point) {
  constexpr index_t D = dimension_of<Model>;
  constexpr char const* operation = "collapse_edge";
  typename ModelTraits<Model>::Builder model_builder{model};
  auto& mesh = modifiable_mesh<Model>(model_builder, surface.id());
  if (!mesh.is_polygon_active(edge.polygon_id)) {
    fail<Model>(operation, absl::StrCat("Triangle ", edge.polygon_id, " is removed"));
  }
  const auto ends = mesh.polygon_edge_vertices(edge);
  const local_index_t kept =
      mesh.point(ends[0]) != point && mesh.point(ends[1]) == point ? 1 : 0;
  // The vertex that goes must not leave a line or corner without its
  // surface vertex.
  if (!is_alone(model, {surface.component_id(), ends[1 - kept]})) {
    fail<Model>(operation, absl::StrCat("Vertex ", ends[1 - kept],
                                        " is shared with another component"));
  }
  auto builder = TriangulatedSurfaceBuilder<D>::create(mesh);
  TriangulatedSurfaceModifier<D> modifier{mesh, *builder};
  const CollapseInfo collapse = modifier.collapse_edge(edge, point);
  const index_t unique = surface_unique_vertex(model, surface, collapse.vertex);
  if (unique != NO_ID) move_model_point(model, unique, point);
  ModelCollapsePolygonEdgeInfo info;
  info[surface.id()].push_back(collapse);
  return info;
}

template <typename Model>
ModelSplitPolygonEdgeInfo split_model_edge(Model& model, SurfaceOf<Model> const& surface,
                                           PolygonEdge const& edge, PointOf<Model> const& point) {
  constexpr index_t D = dimension_of<Model>;
  constexpr char const* operation = "split_edge";
  auto const& mesh = triangulated(surface);
  if (!mesh.is_polygon_active(edge.polygon_id)) {
    fail<Model>(operation, absl::StrCat("Triangle ", edge.polygon_id, " is removed"));
  }
  const auto ends = mesh.polygon_edge_vertices(edge);
  const auto line_edges =
      line_edges_between(model, surface_unique_vertex(model, surface, ends[0]),
                         surface_unique_vertex(model, surface, ends[1]));
  const auto targets = split_targets(model, surface, edge, !line_edges.empty());
  // Every target is checked before the first change, so that a refused
  // split leaves the model as it was.
  for (auto const& target : targets) {
    if (split_sides_share_another_edge(triangulated(model.surface(target.surface)), target.edge)) {
      fail<Model>(operation, "The edge's two triangles share another edge");
    }
  }

  typename ModelTraits<Model>::Builder model_builder{model};
  ModelSplitPolygonEdgeInfo info;
  info.unique_vertex = model_builder.create_unique_vertex();
  for (auto const& line_edge : line_edges) {
    auto& line = model_builder.modifiable_line(line_edge.first);
    EdgedCurveBuilder<D> line_builder{line.get_modifiable_mesh()};
    LineSplitRecord record;
    record.edge = line_edge.second;
    record.vertex = line_builder.create_point(point);
    record.new_edge = line_builder.split_edge(line_edge.second, record.vertex);
    model_builder.set_unique_vertex({line.component_id(), record.vertex}, info.unique_vertex);
    info.lines[line_edge.first].push_back(record);
  }
  for (auto const& target : targets) {
    auto& target_surface = model_builder.modifiable_surface(target.surface);
    auto& target_mesh =
        dynamic_cast<TriangulatedSurface<D>&>(target_surface.get_modifiable_mesh());
    auto builder = TriangulatedSurfaceBuilder<D>::create(target_mesh);
    auto record = split_surface_edge<Model>(target_mesh, *builder, target.edge, point);
    model_builder.set_unique_vertex({target_surface.component_id(), record.vertex},
                                    info.unique_vertex);
    info.surfaces[target.surface].push_back(std::move(record));
  }
  return info;
}

template <typename Model>
void clean_model_surfaces(Model& model, absl::Span<const uuid> surfaces) {
  constexpr index_t D = dimension_of<Model>;
  typename ModelTraits<Model>::Builder model_builder{model};
  for (auto const& id : surfaces) {
    // A surface removed from the model since it was touched is skipped.
    if (!model.has_surface(id)) continue;
    SurfaceMeshBuilder<D>::create(model_builder.modifiable_surface(id).get_modifiable_mesh())
        ->clean();
  }
}

}  // namespace detail
}  // namespace tarnix
