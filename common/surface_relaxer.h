#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <deque>
#include <limits>
#include <memory>
#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

#include <absl/container/inlined_vector.h>
#include <absl/strings/str_cat.h>
#include <absl/types/optional.h>
#include <absl/types/span.h>

#include <ulvane/basic/common.h>
#include <ulvane/basic/logger.h>
#include <ulvane/basic/ulvane_exception.h>
#include <ulvane/geometry/basic_objects.h>
#include <ulvane/geometry/distance.h>
#include <ulvane/geometry/point.h>
#include <ulvane/geometry/predicates.h>
#include <ulvane/geometry/triangle_functions.h>
#include <ulvane/geometry/vector.h>
#include <ulvane/mesh/mesh_handles.h>
#include <ulvane/mesh/triangulated_surface.h>
#include <ulvane/model/component_type.h>
#include <ulvane/model/surface.h>

#include <morvex/modifier_model.h>
#include <morvex/modifier_model/point_mover.h>
#include <vantrel/core.h>

#include <common/variable_attribute.h>

namespace tarnix {
namespace detail {

//! The angle at `apex` between the directions to `first` and to `second`.
//! The dot product of the unit directions is not clamped, so a value that
//! rounds beyond [-1, 1] gives not-a-number.
//! \throw UlvaneException "[Point::operator/] Cannot divide Point by
//! something close to zero" when `first` or `second` lies at `apex`.
template <index_t dimension>
double vertex_angle(Point<dimension> const& apex, Point<dimension> const& first,
                    Point<dimension> const& second) {
  const auto to_first = Vector<dimension>{apex, first}.normalize();
  const auto to_second = Vector<dimension>{apex, second}.normalize();
  return std::acos(to_first.dot(to_second));
}

//! 4 sinA sinB sinC / (sinA + sinB + sinC) over the three angles: 1 for an
//! equilateral triangle, towards 0 for a flat one, not-a-number when two
//! corners are not more than 1e-30 apart (or a coordinate is not a
//! number). Never throws.
//!
//! By the law of sines the value is 16 K^2 / (a b c (a + b + c)), K the
//! area and a, b, c the sides, with 2 K the length of the cross product of
//! two sides. That keeps the digits that angles measured through their
//! cosines lose on small angles, and those that Heron's formula on rounded
//! sides loses on caps.
//!
//! The result does not depend on which corner the triangle starts at: the
//! sides are combined in decreasing order and the cross product is taken
//! at the lexicographically smallest corner (whose two sides give the same
//! magnitude in either order). The swap test compares the quality of a
//! proposed triangle with the stored quality of the same triangle after
//! the swap, and a difference in the last bit between two rotations would
//! let two equally good diagonals (a rectangle's) replace each other
//! forever.
template <index_t dimension>
double triangle_quality(Triangle<dimension> const& triangle) {
  auto const& t = triangle.vertices();
  // Three scalars rather than an array: the sorting stays in registers.
  // The lengths are `point_point_distance`'s, written out so that they are
  // computed in place rather than called through the library's table.
  double longest = Vector<dimension>{t[0], t[1]}.length();
  double middle = Vector<dimension>{t[1], t[2]}.length();
  double shortest = Vector<dimension>{t[2], t[0]}.length();
  if (longest < middle) std::swap(longest, middle);
  if (middle < shortest) std::swap(middle, shortest);
  if (longest < middle) std::swap(longest, middle);
  if (!detail::is_divisor_valid(shortest)) return std::numeric_limits<double>::quiet_NaN();
  index_t first = 0;
  if (t[1] < t[first]) first = 1;
  if (t[2] < t[first]) first = 2;
  const Vector<dimension> u{t[first], t[(first + 1) % 3]};
  const Vector<dimension> v{t[first], t[(first + 2) % 3]};
  double cross2 = 0;
  if constexpr (dimension == 2) {
    const double cross = u.value(0) * v.value(1) - u.value(1) * v.value(0);
    cross2 = cross * cross;
  } else {
    cross2 = u.cross(v).length2();
  }
  return 4 * cross2 / (((longest * middle) * shortest) * ((longest + middle) + shortest));
}

//! Whether `triangle_quality` of the triangle (a, b, c) is not a number,
//! mostly without measuring it: when the squares of the three sides lie in
//! [1e-58, 1e100], the sides lie in [1e-29, 1e50], so the shortest is a
//! valid divisor and the product and sum of the sides and the squared cross
//! product stay finite and positive (or zero): the quality is a number.
template <index_t dimension>
inline bool is_quality_nan(Point<dimension> const& a, Point<dimension> const& b,
                    Point<dimension> const& c) {
  const auto is_moderate = [](double square) { return square >= 1e-58 && square <= 1e100; };
  if (is_moderate(Vector<dimension>{a, b}.length2()) &&
      is_moderate(Vector<dimension>{b, c}.length2()) &&
      is_moderate(Vector<dimension>{c, a}.length2())) {
    return false;
  }
  return std::isnan(triangle_quality(Triangle<dimension>{a, b, c}));
}

//! The metric's length at a vertex of the relaxed surface.
//! \throw UlvaneException "[relax_surfaces] The metric must give positive
//! finite lengths, got <value> at vertex <v> of Surface <uuid>" for zero,
//! a negative value, not-a-number or infinity.
template <index_t dimension>
double relaxation_length(Metric<dimension> const& metric, Surface<dimension> const& surface,
                         index_t vertex) {
  const double length = metric.edge_length(surface.get_mesh().point(vertex));
  if (!(length > 0.0) || !std::isfinite(length)) {
    throw UlvaneException(
        "[relax_surfaces] The metric must give positive finite lengths, got ",
        absl::StrCat(std::to_string(length), " at vertex ", vertex, " of Surface ",
                     surface.id().string()));
  }
  return length;
}

//! Tells whether lengths, given by their squares, are shorter than a given
//! length, deciding exactly as `!(std::sqrt(length2) >= length)` does (so a
//! not-a-number square counts as shorter) but without the square root
//! unless the square lies within 2^-50 of the length's square.
//!
//! Why the shortcut decides the same: with u = 2^-53 and T the exact
//! square of the length t, the computed bounds are within (1 + u)^2 of
//! T (1 -+ 2^-50). Above the upper one, sqrt(length2) > t, which rounds to
//! at least t. Below the lower one, sqrt(length2) < t (1 - 2^-52), which
//! rounds below t, since the double below t is at least t 2^-54 away. Lengths
//! outside [1e-100, 1e100] always take the square root, so that the square
//! of the length neither underflows nor overflows.
class ShorterThan {
 public:
  explicit ShorterThan(double length) : length_(length) {
    if (length > 1e-100 && length < 1e100) {
      const double square = length * length;
      surely_shorter_below_ = square * (1.0 - 0x1p-50);
      surely_not_shorter_above_ = square * (1.0 + 0x1p-50);
    }
  }

  bool operator()(double length2) const {
    if (length2 < surely_shorter_below_) return true;
    if (length2 > surely_not_shorter_above_) return false;
    return !(std::sqrt(length2) >= length_);
  }

 private:
  double length_;
  double surely_shorter_below_{-std::numeric_limits<double>::infinity()};
  double surely_not_shorter_above_{std::numeric_limits<double>::infinity()};
};

//! The attribute's value at the element, read without the virtual call:
//! the relaxer creates its working attributes as `VariableAttribute`
//! itself, so the call can inline.
//! \throw std::out_of_range at or beyond the attribute's count.
template <typename T>
T const& stored_value(VariableAttribute<T> const& attribute, index_t element) {
  return attribute.VariableAttribute<T>::value(element);
}

//! An element waiting in a relaxer's queue, with the element's "stamp" at
//! the moment it was queued; the entry is stale once the stamp moved on.
struct QueueEntry {
  std::uint32_t index;
  std::uint32_t stamp;
};

//! One edge of a triangle seen from a given edge of that triangle.
template <index_t dimension>
struct EdgeEntry {
  PolygonEdge edge;
  //! The first vertex of `edge`.
  index_t vertex;
  //! The mesh's point of `vertex`.
  Point<dimension> const& point;
  //! The triangle across `edge`; empty on the border.
  absl::optional<index_t> adjacent;
};

//! Triangle (P, Q, R) seen from its edge P->Q: `previous` is R->P (vertex
//! R), `next` is Q->R (vertex Q), `given` is P->Q (vertex P).
template <index_t dimension>
struct TriangleEdgeContext {
  EdgeEntry<dimension> previous;
  EdgeEntry<dimension> next;
  EdgeEntry<dimension> given;
};

//! A proposed swap of the edge P-Q of T = (P, Q, R) and T' = (Q, P, S)
//! into R-S, which gives (R, P, S) and (S, Q, R).
template <index_t dimension>
struct SwapCandidate {
  //! T, built on P->Q.
  TriangleEdgeContext<dimension> triangle;
  //! T', built on Q->P: `previous` has vertex S, `next` vertex P.
  TriangleEdgeContext<dimension> neighbour;
  //! Quality of (R, P, S).
  double first_quality;
  //! Quality of (S, Q, R).
  double second_quality;
};

//! Improves the triangulation of one surface of a model in place: edge
//! swaps that raise the smallest quality of the two triangles involved,
//! and a vertex pass that removes vertices of three, four or five triangles
//! (and, with a metric, vertices on much too short edges) and smooths the
//! others. Every edit goes through the model modifier after the model's
//! validity simulation has allowed it.
//!
//! Work is kept in two FIFO queues of (index, stamp) entries, one of
//! triangles for the swap pass and one of vertices for the vertex pass.
//! The relaxer registers the working attributes "stamp" (vertices and
//! polygons), "quality" (polygons) and "fixed" (vertices) on the surface
//! mesh and deletes them by name when it is destroyed.
//!
//! Run order: construct, `initialise_relaxation` (when the mesh has
//! polygons), passes as the derived driver decides, `modifier.clean()`,
//! destroy.
template <typename Model, typename Modifier, index_t dimension>
class SurfaceRelaxer {
 public:
  using Ring = absl::InlinedVector<PolygonVertex, 10>;
  //! The other two vertices of a triangle of a vertex's ring: `far` follows
  //! the vertex in the triangle (the far end of the ring edge that leaves
  //! it), `opposite` precedes it.
  using RingNeighbour = FanNeighbour<dimension>;
  using RingNeighbours = absl::InlinedVector<RingNeighbour, 10>;

  //! The local points of the other two vertices of a ring triangle.
  struct LocalNeighbour {
    Point<2> far;
    Point<2> opposite;
  };
  //! Per ring triangle, in the ring's order.
  using RingLocalPoints = absl::InlinedVector<LocalNeighbour, 10>;

  //! A vertex pass moves vertices at most this many times the number of
  //! mesh vertices; further moves are skipped, the stop is logged and the
  //! pass only drains its queue. Smoothing converges well before this, but a `local_point` that
  //! does not follow the mesh could otherwise keep a vertex moving forever.
  static constexpr std::uint64_t max_moves_per_vertex = 64;

  //! \throw std::bad_cast when the surface mesh is not a
  //! `TriangulatedSurface<dimension>`.
  //! \throw UlvaneException when one of the working attribute names is
  //! registered with another storage type.
  SurfaceRelaxer(Model& relaxed_model, Surface<dimension> const& relaxed_surface,
                 Metric<dimension> const* target_metric)
      : model(relaxed_model),
        modifier(relaxed_model),
        metric(target_metric),
        surface(relaxed_surface),
        surface_component(relaxed_surface.component_id()),
        mesh(dynamic_cast<TriangulatedSurface<dimension> const&>(relaxed_surface.get_mesh())) {
    auto& vertices = mesh.vertex_attribute_manager();
    auto& polygons = mesh.polygon_attribute_manager();
    try {
      vertex_stamps = vertices.template find_or_create_attribute<VariableAttribute, unsigned int>(
          "stamp", 0u, ATTRIBUTE_DERIVABLE);
      polygon_stamps = polygons.template find_or_create_attribute<VariableAttribute, unsigned int>(
          "stamp", 0u, ATTRIBUTE_DERIVABLE);
      qualities = polygons.template find_or_create_attribute<VariableAttribute, double>(
          "quality", std::numeric_limits<double>::quiet_NaN(), ATTRIBUTE_DERIVABLE);
      fixed_flags = vertices.template find_or_create_attribute<VariableAttribute, bool>(
          "fixed", false, ATTRIBUTE_DERIVABLE);
    } catch (...) {
      // No destructor runs for a relaxer that fails here: delete the names
      // already taken, as the destructor would, so none is left behind.
      if (vertex_stamps) vertices.delete_attribute("stamp");
      if (polygon_stamps) polygons.delete_attribute("stamp");
      if (qualities) polygons.delete_attribute("quality");
      throw;
    }
  }

  virtual ~SurfaceRelaxer() {
    mesh.vertex_attribute_manager().delete_attribute("stamp");
    mesh.polygon_attribute_manager().delete_attribute("stamp");
    mesh.polygon_attribute_manager().delete_attribute("quality");
    mesh.vertex_attribute_manager().delete_attribute("fixed");
  }

  SurfaceRelaxer(SurfaceRelaxer const&) = delete;
  SurfaceRelaxer& operator=(SurfaceRelaxer const&) = delete;

  //! Queues every triangle with its quality, and every vertex that lies on
  //! no corner, no line and no border edge of the mesh; those are marked
  //! "fixed" instead. A border vertex stays where it is even off a line, so
  //! that the surface keeps its outline and area (the two sides of a crack
  //! stay together). So does a vertex where several fans meet, which in 2D
  //! is always on the border: the model's simulations would check only one
  //! of its fans, and a move or a collapse from it could turn the others
  //! over.
  void initialise_relaxation() {
    for (index_t polygon = 0; polygon < mesh.nb_polygons(); ++polygon) {
      queue_polygon(polygon);
      qualities->set_value(polygon, triangle_quality(mesh.triangle(polygon)));
    }
    const auto on_border = find_border_vertices();
    for (index_t vertex = 0; vertex < mesh.nb_vertices(); ++vertex) {
      if (on_border[vertex]) {
        fixed_flags->set_value(vertex, true);
        continue;
      }
      const auto unique = unique_vertex(vertex);
      if (model.has_component_mesh_vertices(unique, "Corner") ||
          model.has_component_mesh_vertices(unique, "Line")) {
        fixed_flags->set_value(vertex, true);
      } else {
        queue_vertex(vertex);
      }
    }
  }

  //! Drains the triangle queue: for each live entry, swaps the first edge
  //! of the triangle that `evaluate_swap` accepts and queues what the swap
  //! touched. The pass ends: with positions fixed, a swap raises the
  //! smallest quality of the pair it replaces, so the sorted list of
  //! qualities rises and no triangulation comes back (stale stored
  //! qualities are refreshed by the first swap that reads them).
  void swap_pass() {
    while (!polygon_queue.empty()) {
      const QueueEntry entry = polygon_queue.front();
      polygon_queue.pop_front();
      const index_t polygon = entry.index;
      if (stored_value(*polygon_stamps, polygon) != entry.stamp) continue;
      if (!modifier.is_triangle_active(surface, polygon)) continue;
      // The triangle is read once; each edge sees its three edges rotated.
      const std::array<EdgeEntry<dimension>, 3> edges{
          {edge_entry(mesh, {polygon, 0}), edge_entry(mesh, {polygon, 1}),
           edge_entry(mesh, {polygon, 2})}};
      for (local_index_t e = 0; e < 3; ++e) {
        const PolygonEdge edge{polygon, e};
        const auto candidate = evaluate_swap(
            TriangleEdgeContext<dimension>{edges[(e + 2) % 3], edges[(e + 1) % 3], edges[e]});
        if (!candidate) continue;
        const index_t p = candidate->triangle.given.vertex;
        const index_t q = candidate->triangle.next.vertex;
        const index_t r = candidate->triangle.previous.vertex;
        const index_t s = candidate->neighbour.previous.vertex;
        const index_t neighbour = candidate->neighbour.given.edge.polygon_id;
        modifier.swap_edge(surface, edge);
        queue_vertex(p);
        queue_vertex(q);
        queue_vertex(r);
        queue_vertex(s);
        requeue_triangle(polygon);
        requeue_triangle(neighbour);
        break;
      }
    }
  }

  //! The swap of `edge` (P->Q in T = (P, Q, R)) if it is allowed and raises
  //! the smallest quality strictly; empty otherwise. In 2D the quadrilateral
  //! must be strictly convex at P and Q (exact orientations); in 3D its
  //! angles there must not exceed pi.
  //! \throw UlvaneException "[Point::operator/] ..." in 3D when two points
  //! of T or T' coincide and the model allows the swap.
  absl::optional<SwapCandidate<dimension>> evaluate_swap(PolygonEdge edge) {
    if (mesh.is_edge_on_border(edge)) return absl::nullopt;
    return evaluate_swap(triangle_edge_context(mesh, edge));
  }

  //! `evaluate_swap` of the given edge of the context, with the edges of
  //! its triangle already read.
  absl::optional<SwapCandidate<dimension>> evaluate_swap(TriangleEdgeContext<dimension> triangle) {
    const PolygonEdge edge = triangle.given.edge;
    if (!triangle.given.adjacent) return absl::nullopt;
    const auto twin = mesh.polygon_adjacent_edge(edge);
    auto neighbour = twin_edge_context(twin.value(), triangle);
    // A third triangle already holding R and S: the edge R-S would exist
    // twice.
    if (triangle.next.adjacent && triangle.next.adjacent == neighbour.previous.adjacent) {
      return absl::nullopt;
    }
    if (triangle.previous.adjacent && triangle.previous.adjacent == neighbour.next.adjacent) {
      return absl::nullopt;
    }
    // The model's simulation is by far the dearest test, so it runs last,
    // for a swap that every geometric test accepts. The outcome is the one
    // of running it first: the simulation changes nothing, and an angle
    // that cannot be measured is an error only when the model allows the
    // swap.
    const auto is_allowed = [this, &edge] {
      return is_swap_edge_valid(model, surface, edge).empty();
    };
    auto const& p = triangle.given.point;
    auto const& q = triangle.next.point;
    auto const& r = triangle.previous.point;
    auto const& s = neighbour.previous.point;
    if constexpr (dimension == 2) {
      // The quadrilateral P, S, Q, R is convex at P and at Q exactly when
      // both new triangles turn counter-clockwise; a flat one is refused,
      // as the model would refuse it.
      if (orientation_2d(r, p, s) != Sign::positive) return absl::nullopt;
      if (orientation_2d(s, q, r) != Sign::positive) return absl::nullopt;
    } else {
      // The interior angles at P and at Q of the quadrilateral P, S, Q, R.
      constexpr double pi = 3.141592653589793;
      double beta_prime = 0, alpha_prime = 0, alpha = 0, beta = 0;
      try {
        beta_prime = vertex_angle(q, s, p);
        alpha_prime = vertex_angle(p, q, s);
        alpha = vertex_angle(p, r, q);
        beta = vertex_angle(q, p, r);
      } catch (UlvaneException const&) {
        if (!is_allowed()) return absl::nullopt;
        throw;
      }
      if (alpha_prime + alpha > pi) return absl::nullopt;
      if (beta + beta_prime > pi) return absl::nullopt;
    }
    const double triangle_value = stored_value(*qualities, edge.polygon_id);
    const double neighbour_value = stored_value(*qualities, triangle.given.adjacent.value());
    const double old_min = neighbour_value < triangle_value ? neighbour_value : triangle_value;
    const double first = triangle_quality(Triangle<dimension>{r, p, s});
    if (std::isnan(first)) return absl::nullopt;
    // The smaller new quality is at most `first`: most candidates are
    // refused here, before the second triangle is measured.
    if (old_min >= first) return absl::nullopt;
    const double second = triangle_quality(Triangle<dimension>{s, q, r});
    if (std::isnan(second)) return absl::nullopt;
    const double new_min = first > second ? second : first;
    if (old_min >= new_min) return absl::nullopt;
    if (!is_allowed()) return absl::nullopt;
    SwapCandidate<dimension> candidate{std::move(triangle), std::move(neighbour), first, second};
    if (!is_swap_acceptable(candidate)) return absl::nullopt;
    return candidate;
  }

  //! The three edges of the edge's triangle, seen from that edge.
  static TriangleEdgeContext<dimension> triangle_edge_context(
      SurfaceMesh<dimension> const& surface_mesh, PolygonEdge edge) {
    return TriangleEdgeContext<dimension>{
        edge_entry(surface_mesh, surface_mesh.previous_polygon_edge(edge)),
        edge_entry(surface_mesh, surface_mesh.next_polygon_edge(edge)),
        edge_entry(surface_mesh, edge)};
  }

  //! `triangle_edge_context` of the twin Q->P of the given edge P->Q of T:
  //! the twin runs from Q to P, so only S is read from T'.
  TriangleEdgeContext<dimension> twin_edge_context(
      PolygonEdge twin, TriangleEdgeContext<dimension> const& triangle) const {
    const PolygonEdge next = mesh.next_polygon_edge(twin);
    return TriangleEdgeContext<dimension>{
        edge_entry(mesh, mesh.previous_polygon_edge(twin)),
        EdgeEntry<dimension>{next, triangle.given.vertex, triangle.given.point,
                             mesh.polygon_adjacent(next)},
        EdgeEntry<dimension>{twin, triangle.next.vertex, triangle.next.point,
                             mesh.polygon_adjacent(twin)}};
  }

  //! The edge with its first vertex, that vertex's point and the triangle
  //! across it.
  static EdgeEntry<dimension> edge_entry(SurfaceMesh<dimension> const& surface_mesh,
                                         PolygonEdge const& edge) {
    const index_t vertex = surface_mesh.polygon_vertex(PolygonVertex{edge});
    return EdgeEntry<dimension>{edge, vertex, surface_mesh.point(vertex),
                                surface_mesh.polygon_adjacent(edge)};
  }

  //! Drains the vertex queue: removes a vertex of three, four or five
  //! triangles by an edge collapse, or with a metric one with a much too
  //! short edge; otherwise moves it halfway towards the mean ideal apex of
  //! its triangles when that move is long enough and allowed.
  void vertex_pass() {
    const std::uint64_t move_budget = max_moves_per_vertex * mesh.nb_vertices();
    std::uint64_t moves_left = move_budget;
    LinkedPointMover<Model, dimension> mover{model, surface};
    // The triangles a move reshapes are measured when read or when the pass
    // ends, also when it ends with an exception.
    struct DeferredQualities {
      SurfaceRelaxer& relaxer;
      explicit DeferredQualities(SurfaceRelaxer& owner) : relaxer(owner) {
        relaxer.defer_qualities = true;
      }
      ~DeferredQualities() {
        relaxer.defer_qualities = false;
        relaxer.settle_qualities();
      }
      DeferredQualities(DeferredQualities const&) = delete;
      DeferredQualities& operator=(DeferredQualities const&) = delete;
    } deferred{*this};
    forget_rings();
    links_alone.assign(mesh.nb_vertices(), 0);
    while (!vertex_queue.empty()) {
      const QueueEntry entry = vertex_queue.front();
      vertex_queue.pop_front();
      const index_t vertex = entry.index;
      if (stored_value(*vertex_stamps, vertex) != entry.stamp) continue;
      if (stored_value(*fixed_flags, vertex)) continue;
      const Ring ring = read_ring(vertex);
      const auto nb_triangles = ring.size();
      if (nb_triangles == 0) continue;
      const RingNeighbours neighbours = ring_neighbours(ring);
      bool collapsed = false;
      if (nb_triangles == 3) {
        const PolygonEdge edge{ring.front()};
        const index_t far_vertex = mesh.polygon_edge_vertex(edge, 1);
        if (is_collapse_edge_valid(model, surface, edge, mesh.point(far_vertex)).empty()) {
          collapse_and_requeue(edge, far_vertex);
          collapsed = true;
        }
      } else if (nb_triangles == 4) {
        collapsed = collapse_valence4(ring);
      } else if (nb_triangles == 5) {
        collapsed = collapse_valence5(ring);
      }
      if (!collapsed && metric != nullptr) {
        collapsed = collapse_short_edge(ring, neighbours, vertex);
      }
      if (collapsed) {
        fixed_flags->set_value(vertex, true);
        continue;
      }
      if (moves_left == 0) continue;
      if (!prepare_smoothing(vertex, ring)) continue;
      const Point<2> position = local_point(vertex);
      const RingLocalPoints around = ring_local_points(neighbours);
      const Point<2> apex = mean_ideal_apex(ring, neighbours, around);
      double length_sum = 0.0;
      LocalNeighbour const* const locals = around.data();
      for (std::size_t i = 0; i < nb_triangles; ++i) {
        length_sum += Vector<2>{position, locals[i].far}.length();
      }
      const double mean_length = length_sum / static_cast<double>(nb_triangles);
      Point<2> target;
      for (index_t i = 0; i < 2; ++i) {
        target.set_value(i, (position.value(i) + apex.value(i)) * 0.5);
      }
      if (is_move_too_short(position, target, mean_length)) continue;
      // The vertices linked to the vertex are read once, for the simulations
      // and the move; one linked to nothing else is remembered as such.
      const ComponentMeshVertex itself{surface_component, vertex};
      std::vector<ComponentMeshVertex> read_links;
      absl::Span<const ComponentMeshVertex> linked{&itself, 1};
      if (vertex >= links_alone.size()) links_alone.resize(mesh.nb_vertices(), 0);
      if (links_alone[vertex] == 0) {
        read_links = model.component_mesh_vertices(unique_vertex(vertex));
        linked = read_links;
        links_alone[vertex] = read_links.size() == 1 && read_links.front() == itself;
      }
      const auto moved =
          moved_position(vertex, position, linked, target, ring, neighbours, around);
      if (!moved) continue;
      settle_qualities_before_move(vertex, linked);
      mover.move(linked, *moved);
      if (--moves_left == 0) {
        Logger::log_info("[relax_surfaces] Stopped moving vertices after ", move_budget,
                         " moves on Surface ", surface.id().string());
      }
      queue_vertex(vertex);
      // A move keeps the triangles around the vertex.
      requeue_around(vertex, ring, neighbours);
    }
  }

  //! Collapses the first ring edge whose collapse onto its far end is
  //! allowed. \return true when a collapse was made.
  bool collapse_valence4(Ring const& ring) {
    for (auto const& corner : ring) {
      const PolygonEdge edge{corner};
      const index_t far_vertex = mesh.polygon_edge_vertex(edge, 1);
      if (is_collapse_edge_valid(model, surface, edge, mesh.point(far_vertex)).empty()) {
        collapse_and_requeue(edge, far_vertex);
        return true;
      }
    }
    return false;
  }

  //! Collapses the first ring edge whose far end also has five triangles
  //! and whose collapse onto that end is allowed.
  //! \return true when a collapse was made.
  bool collapse_valence5(Ring const& ring) {
    for (auto const& corner : ring) {
      const PolygonEdge edge{corner};
      const index_t far_vertex = mesh.polygon_vertex(mesh.next_polygon_vertex(corner));
      // A vertex that is not "fixed" lies inside the surface, where its one
      // closed fan holds a triangle at each of its corners: no walk needed.
      const std::size_t nb_around = stored_value(*fixed_flags, far_vertex)
                                        ? mesh.polygons_around_vertex(far_vertex).size()
                                        : std::size_t{mesh.nb_active_corners(far_vertex)};
      if (nb_around != 5) continue;
      if (is_collapse_edge_valid(model, surface, edge, mesh.point(far_vertex)).empty()) {
        collapse_and_requeue(edge, far_vertex);
        return true;
      }
    }
    return false;
  }

  //! With the metric's length L at the vertex, collapses the first ring
  //! edge shorter than 0.433 L (or of no comparable length) whose collapse
  //! onto its far end is allowed. \return true when a collapse was made.
  //! \throw std::out_of_range when the collapse reports nothing for this
  //! surface.
  //! \throw UlvaneException when the metric's length at the vertex is not a
  //! positive finite number (see `relaxation_length`).
  bool collapse_short_edge(Ring const& ring, RingNeighbours const& neighbours,
                           unsigned int vertex) {
    const ShorterThan is_short{relaxation_length(*metric, surface, vertex) * 0.433};
    auto const& origin = mesh.point(vertex);
    const std::size_t size = ring.size();
    RingNeighbour const* const around = neighbours.data();
    for (std::size_t i = 0; i < size; ++i) {
      auto const& far_point = *around[i].far_point;
      if (!is_short(Vector<dimension>{origin, far_point}.length2())) continue;
      const PolygonEdge edge{ring[i]};
      const index_t far_vertex = around[i].far;
      if (!is_collapse_edge_valid(model, surface, edge, far_point).empty()) continue;
      const Point<dimension> target = far_point;
      prepare_collapse(vertex, far_vertex);
      const auto info = modifier.collapse_edge(surface, edge, target);
      for (auto const& collapse : info.at(surface.id())) {
        if (stored_value(*fixed_flags, far_vertex)) {
          fixed_flags->set_value(collapse.vertex, true);
        } else {
          queue_vertex(collapse.vertex);
        }
      }
      fixed_flags->set_value(far_vertex, true);
      return true;
    }
    return false;
  }

  //! Collapses `edge` onto the point of `far_vertex`; the remaining vertex
  //! takes over the far end's "fixed" flag and is queued with its
  //! surroundings, and the far end is marked "fixed".
  //! \throw std::out_of_range when the collapse reports nothing for this
  //! surface.
  void collapse_and_requeue(PolygonEdge edge, unsigned int far_vertex) {
    const Point<dimension> target = mesh.point(far_vertex);
    prepare_collapse(mesh.polygon_vertex(PolygonVertex{edge}), far_vertex);
    const auto info = modifier.collapse_edge(surface, edge, target);
    const index_t remaining = info.at(surface.id()).at(0).vertex;
    fixed_flags->set_value(remaining, stored_value(*fixed_flags, far_vertex));
    queue_vertex(remaining);
    requeue_around_vertex(remaining);
    fixed_flags->set_value(far_vertex, true);
  }

  //! The mean of the ideal apexes built on the edges opposite the vertex in
  //! its triangles, leaving out triangles of not-a-number quality. The
  //! vertex's own local point when every triangle is left out.
  //! \throw UlvaneException "[Point::operator/] ..." for an opposite edge
  //! of no length.
  Point<2> mean_ideal_apex(Ring const& ring) {
    const RingNeighbours neighbours = ring_neighbours(ring);
    return mean_ideal_apex(ring, neighbours, ring_local_points(neighbours));
  }

  //! `mean_ideal_apex` with the ring's other vertices and their local points
  //! already read.
  Point<2> mean_ideal_apex(Ring const& ring, RingNeighbours const& neighbours,
                           RingLocalPoints const& around) {
    Point<2> sum;
    index_t nb_apexes = 0;
    Point<dimension> const* origin = nullptr;
    const std::size_t size = ring.size();
    PolygonVertex const* const corners = ring.data();
    RingNeighbour const* const others = neighbours.data();
    LocalNeighbour const* const locals = around.data();
    for (std::size_t i = 0; i < size; ++i) {
      const index_t polygon = corners[i].polygon_id;
      bool no_quality = false;
      if (is_quality_pending(polygon)) {
        if (origin == nullptr) origin = &mesh.point(mesh.polygon_vertex(corners[i]));
        no_quality = is_quality_nan(*origin, *others[i].far_point, *others[i].opposite_point);
      } else {
        no_quality = std::isnan(stored_value(*qualities, polygon));
      }
      if (no_quality) continue;
      sum += ideal_apex(locals[i].far, locals[i].opposite);
      ++nb_apexes;
    }
    if (nb_apexes == 0) return local_point(mesh.polygon_vertex(ring.front()));
    return sum / static_cast<double>(nb_apexes);
  }

  //! The apex of the equilateral triangle built on the segment from
  //! `first` to `second`, on its left (the inner side of a
  //! counter-clockwise triangle).
  //! \throw UlvaneException "[Point::operator/] ..." when the points are
  //! not more than 1e-30 apart.
  static Point<2> ideal_apex(Point<2> const& first, Point<2> const& second) {
    const Vector<2> direction{first, second};
    const double square = direction.value(0) * direction.value(0) +
                          direction.value(1) * direction.value(1);
    const double height = std::sqrt(3 * square) * 0.5;
    const double length = std::sqrt(square);
    const Vector<2> unit = direction / length;
    const Vector<2> offset = perpendicular(unit) * height;
    const Point<2> middle = (first + second) * 0.5;
    return middle + offset;
  }

  //! The mesh position for a vertex whose local target is `target`: the
  //! target's barycentric image in the first ring triangle that holds it
  //! and where the move is allowed. Empty when the move would be shorter
  //! than a hundredth of `mean_length` or no triangle gives a position.
  absl::optional<Point<dimension>> find_moved_position(unsigned int vertex,
                                                       Point<2> const& target,
                                                       Ring const& ring, double mean_length) {
    const Point<2> position = local_point(vertex);
    if (is_move_too_short(position, target, mean_length)) return absl::nullopt;
    const RingNeighbours neighbours = ring_neighbours(ring);
    return moved_position(vertex, position, model.component_mesh_vertices(unique_vertex(vertex)),
                          target, ring, neighbours, ring_local_points(neighbours));
  }

  //! Whether moving the vertex from its local `position` to `target` is
  //! shorter than a hundredth of `mean_length`.
  static bool is_move_too_short(Point<2> const& position, Point<2> const& target,
                                double mean_length) {
    return point_point_distance(position, target) / mean_length < 0.01;
  }

  //! `find_moved_position` past the length test, with the vertex's local
  //! position, the model's vertices linked to it, the ring's other vertices
  //! and their local points already read.
  absl::optional<Point<dimension>> moved_position(unsigned int vertex, Point<2> const& position,
                                                  absl::Span<const ComponentMeshVertex> linked,
                                                  Point<2> const& target, Ring const& ring,
                                                  RingNeighbours const& neighbours,
                                                  RingLocalPoints const& around) {
    for (std::size_t i = 0; i < ring.size(); ++i) {
      // The triangle in its own vertex order: the vertex's corner, then the
      // far and the opposite vertex.
      const local_index_t k = ring[i].vertex_id;
      std::array<Point<dimension> const*, 3> t;
      std::array<Point<2> const*, 3> local;
      t[k] = &mesh.point(vertex);
      local[k] = &position;
      t[(k + 1) % 3] = neighbours[i].far_point;
      local[(k + 1) % 3] = &around[i].far;
      t[(k + 2) % 3] = neighbours[i].opposite_point;
      local[(k + 2) % 3] = &around[i].opposite;
      try {
        const auto coordinates =
            triangle_barycentric_coordinates(target, Triangle<2>{*local[0], *local[1], *local[2]});
        if (std::any_of(coordinates.begin(), coordinates.end(),
                        [](double c) { return std::isnan(c) || c < 0.0; })) {
          continue;
        }
        const Point<dimension> candidate =
            (*t[0] * coordinates[0] + *t[1] * coordinates[1]) + *t[2] * coordinates[2];
        if (is_move_point_valid(model, linked, surface, vertex, absl::MakeConstSpan(ring),
                                absl::MakeConstSpan(neighbours), candidate)) {
          return candidate;
        }
      } catch (UlvaneException const&) {
        continue;
      }
    }
    return absl::nullopt;
  }

 protected:
  //! Called before a vertex is smoothed, with its triangles; false skips
  //! the smoothing.
  virtual bool prepare_smoothing(unsigned int vertex, Ring const& ring) = 0;
  //! The 2D position of a vertex in which smoothing targets are computed.
  virtual Point<2> const& local_point(unsigned int vertex) = 0;
  //! The last, instance-specific test of a swap.
  virtual bool is_swap_acceptable(SwapCandidate<dimension> const& candidate) = 0;

  void queue_vertex(unsigned int vertex) { queue(*vertex_stamps, vertex_queue, vertex); }
  void queue_polygon(unsigned int polygon) { queue(*polygon_stamps, polygon_queue, polygon); }

  //! Queues the triangle and refreshes its quality.
  void requeue_triangle(unsigned int polygon) {
    queue_polygon(polygon);
    measure_quality(polygon);
  }

  //! Whether the triangle's stored quality waits to be measured again.
  bool is_quality_pending(index_t polygon) const {
    return polygon < pending_qualities.size() && pending_qualities[polygon] != 0;
  }

  //! Stores the triangle's quality as its shape gives it now.
  void measure_quality(index_t polygon) {
    qualities->set_value(polygon, triangle_quality(mesh.triangle(polygon)));
    if (polygon < pending_qualities.size()) pending_qualities[polygon] = 0;
  }

  void mark_quality_pending(index_t polygon) {
    if (polygon >= pending_qualities.size()) pending_qualities.resize(mesh.nb_polygons(), 0);
    if (pending_qualities[polygon] != 0) return;
    pending_qualities[polygon] = 1;
    pending_list.push_back(polygon);
  }

  //! Measures every pending quality (of the triangles still active: an
  //! edit that removes a triangle measures it first).
  void settle_qualities() {
    for (const index_t polygon : pending_list) {
      if (is_quality_pending(polygon) && mesh.is_polygon_active(polygon)) {
        measure_quality(polygon);
      }
    }
    pending_list.clear();
  }

  //! Before a collapse of the edge from `vertex` to `far_vertex` onto the
  //! far end's point. The collapse reshapes the triangles of the vertex,
  //! which is not "fixed" and so has one fan: their pending qualities are
  //! measured, so that they keep the qualities of their shape before it, as
  //! every other triangle a collapse reshapes does. It changes the fans of
  //! the vertices of those triangles only (it replaces the vertex in them,
  //! removes the two on the edge and joins their neighbours across them):
  //! their remembered rings, and those around the far end, are forgotten.
  //! The far end goes instead when both ends lie at the same point; then
  //! every pending quality is measured and every ring forgotten.
  void prepare_collapse(index_t vertex, index_t far_vertex) {
    if (mesh.point(vertex) == mesh.point(far_vertex)) {
      settle_qualities();
      forget_rings();
      return;
    }
    for (const index_t end : {vertex, far_vertex}) {
      for (auto const& corner : mesh.polygons_around_vertex(end)) {
        if (end == vertex && is_quality_pending(corner.polygon_id)) {
          measure_quality(corner.polygon_id);
        }
        for (local_index_t k = 0; k < 3; ++k) {
          forget_ring(mesh.polygon_vertex({corner.polygon_id, k}));
        }
      }
    }
  }

  //! The vertex's ring, as remembered since the start of the vertex pass
  //! when nothing near the vertex collapsed since: a move keeps every fan,
  //! and within a vertex pass only collapses change them.
  Ring read_ring(index_t vertex) {
    if (vertex < ring_slots.size() && ring_slots[vertex].size != no_ring) {
      auto const& slot = ring_slots[vertex];
      return Ring(ring_corners.begin() + slot.offset,
                  ring_corners.begin() + slot.offset + slot.size);
    }
    Ring ring = mesh.polygons_around_vertex(vertex);
    if (vertex >= ring_slots.size()) ring_slots.resize(mesh.nb_vertices(), RingSlot{});
    ring_slots[vertex] = RingSlot{static_cast<std::uint32_t>(ring_corners.size()),
                                  static_cast<std::uint32_t>(ring.size())};
    ring_corners.insert(ring_corners.end(), ring.begin(), ring.end());
    return ring;
  }

  void forget_ring(index_t vertex) {
    if (vertex < ring_slots.size()) ring_slots[vertex].size = no_ring;
  }

  void forget_rings() {
    ring_slots.assign(mesh.nb_vertices(), RingSlot{});
    ring_corners.clear();
  }

  //! Before the vertex moves with `linked`: a linked vertex of this surface
  //! other than the vertex reshapes triangles that the move does not queue,
  //! which keep the qualities of their shape before it; every pending
  //! quality is measured first.
  void settle_qualities_before_move(index_t vertex, absl::Span<const ComponentMeshVertex> linked) {
    for (auto const& other : linked) {
      if (other.component_id == surface_component && other.vertex != vertex) {
        settle_qualities();
        return;
      }
    }
  }

  //! Queues, for each triangle around the vertex, the vertex that follows it
  //! there and the triangle, whose quality is refreshed.
  void requeue_around_vertex(unsigned int vertex) {
    const Ring ring = mesh.polygons_around_vertex(vertex);
    requeue_around(vertex, ring, ring_neighbours(ring));
  }

  //! `requeue_around_vertex` with the vertex's triangles already walked.
  //! A triangle's quality is the same from any starting corner, so it is
  //! measured from the vertex's.
  void requeue_around(unsigned int vertex, Ring const& ring, RingNeighbours const& neighbours) {
    auto const& origin = mesh.point(vertex);
    const std::size_t size = ring.size();
    PolygonVertex const* const corners = ring.data();
    RingNeighbour const* const others = neighbours.data();
    for (std::size_t i = 0; i < size; ++i) {
      const index_t polygon = corners[i].polygon_id;
      queue_vertex(others[i].far);
      queue_polygon(polygon);
      if (defer_qualities) {
        mark_quality_pending(polygon);
        continue;
      }
      qualities->set_value(polygon, triangle_quality(Triangle<dimension>{
                                        origin, *others[i].far_point, *others[i].opposite_point}));
    }
  }

  //! The local points of the ring's other vertices, each read once.
  RingLocalPoints ring_local_points(RingNeighbours const& neighbours) {
    const std::size_t size = neighbours.size();
    RingLocalPoints around(size);
    if constexpr (dimension == 2) {
      if (local_points_are_mesh_points) {
        LocalNeighbour* const out = around.data();
        RingNeighbour const* const in = neighbours.data();
        for (std::size_t i = 0; i < size; ++i) out[i] = {*in[i].far_point, *in[i].opposite_point};
        return around;
      }
    }
    for (std::size_t i = 0; i < size; ++i) around[i].far = local_point(neighbours[i].far);
    for (std::size_t i = 0; i < size; ++i) {
      // Around a closed fan, a triangle's opposite vertex is the far vertex
      // of the triangle before it.
      const std::size_t before = i == 0 ? size - 1 : i - 1;
      around[i].opposite = neighbours[i].opposite == neighbours[before].far
                               ? around[before].far
                               : local_point(neighbours[i].opposite);
    }
    return around;
  }

  //! The two other vertices of each ring triangle, in the ring's order.
  RingNeighbours ring_neighbours(Ring const& ring) const {
    const std::size_t size = ring.size();
    RingNeighbours neighbours(size);
    RingNeighbour* const out = neighbours.data();
    // The mesh holds triangles only: the other two corners of a triangle
    // follow the vertex's corner cyclically.
    for (std::size_t i = 0; i < size; ++i) {
      const PolygonVertex corner = ring[i];
      const local_index_t k = corner.vertex_id;
      out[i].far = mesh.polygon_vertex({corner.polygon_id, static_cast<local_index_t>((k + 1) % 3)});
      out[i].opposite =
          mesh.polygon_vertex({corner.polygon_id, static_cast<local_index_t>((k + 2) % 3)});
      out[i].far_point = &mesh.point(out[i].far);
    }
    for (std::size_t i = 0; i < size; ++i) {
      // Around a closed fan, a triangle's opposite vertex is the far vertex
      // of the triangle before it.
      const std::size_t before = i == 0 ? size - 1 : i - 1;
      out[i].opposite_point = out[i].opposite == out[before].far ? out[before].far_point
                                                                 : &mesh.point(out[i].opposite);
    }
    return neighbours;
  }

  //! The model's unique vertex of a vertex of the relaxed surface.
  index_t unique_vertex(index_t vertex) const {
    return model.unique_vertex(ComponentMeshVertex{surface_component, vertex});
  }

  Model& model;
  Modifier modifier;
  Metric<dimension> const* metric;
  Surface<dimension> const& surface;
  //! The surface's component, as the model's vertex lookups name it.
  ComponentID surface_component;
  TriangulatedSurface<dimension> const& mesh;
  std::shared_ptr<VariableAttribute<unsigned int>> vertex_stamps;
  std::deque<QueueEntry> vertex_queue;
  std::shared_ptr<VariableAttribute<unsigned int>> polygon_stamps;
  std::deque<QueueEntry> polygon_queue;
  std::shared_ptr<VariableAttribute<double>> qualities;
  std::shared_ptr<VariableAttribute<bool>> fixed_flags;
  //! Set by a 2D relaxer whose `local_point` is the mesh's point: the
  //! local points of a vertex's ring are then copied from the mesh points
  //! already read, without a call per vertex.
  bool local_points_are_mesh_points = false;
  //! Set during a vertex pass: the triangles around a moved vertex are
  //! marked pending instead of being measured after every move, and
  //! measured when read, before an edit reshapes them otherwise, or when the
  //! pass ends. Every change of a triangle's shape marks it again, so the
  //! quality read is the one measuring at the move would have stored.
  bool defer_qualities = false;
  //! The rings remembered during a vertex pass: per vertex, where its ring
  //! starts in the pool and its size (`no_ring` when not remembered).
  static constexpr std::uint32_t no_ring = std::numeric_limits<std::uint32_t>::max();
  struct RingSlot {
    std::uint32_t offset{0};
    std::uint32_t size{no_ring};
  };
  std::vector<RingSlot> ring_slots;
  std::vector<PolygonVertex> ring_corners;
  //! Per vertex, 1 when the model links it to nothing but itself, as read
  //! since the start of the vertex pass (0: not read, or linked to more).
  //! The links of a vertex do not change within the pass: moves keep every
  //! link, and a collapse keeps those of the vertex that stays.
  std::vector<std::uint8_t> links_alone;
  //! Per triangle, whether its stored quality waits to be measured again.
  std::vector<std::uint8_t> pending_qualities;
  //! The triangles marked pending since the last settling.
  std::vector<index_t> pending_list;

 private:
  //! Per vertex, whether it is an end of a border edge of an active
  //! triangle. Every triangle is read, so that every fan of a vertex where
  //! several fans meet is seen, not only the one its triangles are walked
  //! from.
  std::vector<bool> find_border_vertices() const {
    std::vector<bool> on_border(mesh.nb_vertices(), false);
    for (index_t polygon = 0; polygon < mesh.nb_polygons(); ++polygon) {
      if (!mesh.is_polygon_active(polygon)) continue;
      for (local_index_t e = 0; e < 3; ++e) {
        const PolygonEdge edge{polygon, e};
        if (!mesh.is_edge_on_border(edge)) continue;
        const auto ends = mesh.polygon_edge_vertices(edge);
        on_border[ends[0]] = true;
        on_border[ends[1]] = true;
      }
    }
    return on_border;
  }

  //! Bumps the element's stamp (wrapping) and appends the entry.
  static void queue(VariableAttribute<unsigned int>& stamps, std::deque<QueueEntry>& entries,
                    index_t element) {
    auto& stamp = stamps.modifiable_value(element);
    ++stamp;
    entries.push_back(QueueEntry{element, stamp});
  }
};

}  // namespace detail
}  // namespace tarnix
