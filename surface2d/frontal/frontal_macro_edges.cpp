// Macro edges: their marks in "edge info", their chains, and the making of
// one side of a candidate triangle.

#include <tarnix/surface2d/frontal_remesher.h>

#include <algorithm>

#include <absl/strings/str_cat.h>

#include <common/variable_attribute.h>
#include <morvex/cutter_surface/cut_along_path.h>
#include <ulvane/basic/ulvane_exception.h>
#include <ulvane/geometry/predicates.h>

namespace tarnix {
namespace detail {
namespace {

bool contains(absl::InlinedVector<unsigned int, 1> const& list, unsigned int m) {
  return std::find(list.begin(), list.end(), m) != list.end();
}

}  // namespace

EdgeInfoLists const& FrontalRemesher<2>::edge_lists(unsigned int triangle) const {
  return edge_info_attribute->value(triangle);
}

void FrontalRemesher<2>::set_edge_list(PolygonEdge const& edge,
                                       absl::InlinedVector<unsigned int, 1> list) {
  edge_info_attribute->modifiable_value(edge.polygon_id)[edge.edge_id] = std::move(list);
}

void FrontalRemesher<2>::clear_edge_list(PolygonEdge const& edge) {
  edge_info_attribute->modifiable_value(edge.polygon_id)[edge.edge_id].clear();
}

void FrontalRemesher<2>::append_edge_info(PolygonEdge const& to, PolygonEdge const& from) {
  auto const& source = edge_lists(from.polygon_id)[from.edge_id];
  if (source.empty()) return;
  auto& list = edge_info_attribute->modifiable_value(to.polygon_id)[to.edge_id];
  if (&list == &source) {
    // Appending a list to itself: the source range moves as the list grows.
    const auto copy = source;
    list.insert(list.end(), copy.begin(), copy.end());
    return;
  }
  list.insert(list.end(), source.begin(), source.end());
}

unsigned int FrontalRemesher<2>::chain_start(OrientedPolygonEdge const& edge) const {
  return input_mesh.polygon_edge_vertex(edge.edge, edge.forward ? 0 : 1);
}

unsigned int FrontalRemesher<2>::chain_end(OrientedPolygonEdge const& edge) const {
  return input_mesh.polygon_edge_vertex(edge.edge, edge.forward ? 1 : 0);
}

unsigned int FrontalRemesher<2>::macro_edge_of(PolygonEdge const& edge) const {
  auto const& own = edge_lists(edge.polygon_id)[edge.edge_id];
  if (!own.empty()) return *std::max_element(own.begin(), own.end());
  const auto twin = input_mesh.polygon_adjacent_edge(edge);
  if (!twin) return NO_ID;
  auto const& other = edge_lists(twin->polygon_id)[twin->edge_id];
  if (other.empty()) return NO_ID;
  return *std::max_element(other.begin(), other.end());
}

bool FrontalRemesher<2>::carries_macro_edge(PolygonEdge const& edge) const {
  return macro_edge_of(edge) != NO_ID;
}

MacroEdgeIds FrontalRemesher<2>::macro_edges_around(unsigned int v) const {
  MacroEdgeIds result;
  for (auto const& corner : input_mesh.polygons_around_vertex(v)) {
    const PolygonEdge leaving{corner};
    const PolygonEdge entering = input_mesh.previous_polygon_edge(leaving);
    auto const& lists = edge_lists(corner.polygon_id);
    // Most edges hold no mark.
    for (const unsigned int m : lists[leaving.edge_id]) result.push_back(m);
    for (const unsigned int m : lists[entering.edge_id]) result.push_back(m);
  }
  return result;
}

absl::optional<unsigned int> FrontalRemesher<2>::first_common_entry(
    absl::Span<unsigned int const> around_a, absl::Span<unsigned int const> around_b) {
  if (around_a.empty()) return absl::nullopt;
  for (const unsigned int m : around_b) {
    if (std::find(around_a.begin(), around_a.end(), m) != around_a.end()) return m;
  }
  return absl::nullopt;
}

absl::optional<unsigned int> FrontalRemesher<2>::common_macro_edge(unsigned int a,
                                                                   unsigned int b) const {
  return first_common_entry(macro_edges_around(a), macro_edges_around(b));
}

absl::optional<unsigned int> FrontalRemesher<2>::if_runs_from_to(absl::optional<unsigned int> m,
                                                                 unsigned int a,
                                                                 unsigned int b) const {
  if (!m) return absl::nullopt;
  auto const& macro_edge = checked_at(macro_edges, *m);
  if (modifier.updated_vertex(macro_edge[0]) == a && modifier.updated_vertex(macro_edge[1]) == b) {
    return m;
  }
  return absl::nullopt;
}

absl::optional<unsigned int> FrontalRemesher<2>::find_macro_edge(unsigned int a,
                                                                 unsigned int b) const {
  return if_runs_from_to(common_macro_edge(a, b), a, b);
}

absl::InlinedVector<OrientedPolygonEdge, 4> FrontalRemesher<2>::macro_edge_edges_around(
    unsigned int m, unsigned int v) const {
  absl::InlinedVector<OrientedPolygonEdge, 4> result;
  for (auto const& corner : input_mesh.polygons_around_vertex(v)) {
    const PolygonEdge leaving{corner};
    const PolygonEdge entering = input_mesh.previous_polygon_edge(leaving);
    auto const& lists = edge_lists(corner.polygon_id);
    if (contains(lists[leaving.edge_id], m)) result.push_back({leaving, true});
    if (contains(lists[entering.edge_id], m)) result.push_back({entering, false});
  }
  return result;
}

absl::optional<OrientedPolygonEdge> FrontalRemesher<2>::next_chain_edge(
    OrientedPolygonEdge const& current, unsigned int m) const {
  const unsigned int v = chain_end(current);
  // A reserved index is not in the list yet: its walk ends only at b.
  if (m < macro_edges.size() && (v == modifier.updated_vertex(macro_edges[m][0]) ||
                                 v == modifier.updated_vertex(macro_edges[m][1]))) {
    return absl::nullopt;
  }
  const auto around = macro_edge_edges_around(m, v);
  auto const& first = around.at(0);
  if (chain_end(first) == chain_start(current)) return around.back();
  return first;
}

MacroEdgeChain FrontalRemesher<2>::follow_chain(OrientedPolygonEdge const& first, unsigned int m,
                                                unsigned int target) const {
  const std::size_t bound = 3 * std::size_t{input_mesh.nb_polygons()};
  MacroEdgeChain chain{first};
  while (chain_end(chain.back()) != target) {
    const OrientedPolygonEdge next = next_chain_edge(chain.back(), m).value();
    // Turning back along the edge just walked means the marks break off
    // here; the walk would go to and fro for ever.
    if (next.edge == chain.back().edge || chain.size() >= bound) {
      throw UlvaneException("[FrontalRemesher::macro_edge_chain] The chain of macro edge ",
                            absl::StrCat(m, " breaks off at vertex ", chain_end(chain.back()),
                                         " before reaching vertex ", target));
    }
    chain.push_back(next);
  }
  return chain;
}

MacroEdgeChain FrontalRemesher<2>::macro_edge_chain(unsigned int a, unsigned int b,
                                                    unsigned int m) const {
  // The chain starts on the first edge at a, in the fan's order, that holds m.
  for (auto const& corner : input_mesh.polygons_around_vertex(a)) {
    const PolygonEdge leaving{corner};
    auto const& lists = edge_lists(corner.polygon_id);
    if (contains(lists[leaving.edge_id], m)) return follow_chain({leaving, true}, m, b);
    const PolygonEdge entering = input_mesh.previous_polygon_edge(leaving);
    if (contains(lists[entering.edge_id], m)) return follow_chain({entering, false}, m, b);
  }
  // No edge at a holds m: the same error as a lookup in an empty list.
  return follow_chain(macro_edge_edges_around(m, a).at(0), m, b);
}

absl::optional<std::vector<GeometricSurfacePath<2>>> FrontalRemesher<2>::straight_path(
    unsigned int a, unsigned int b) const {
  const auto paths = surface_path(a, b);
  if (!paths) return absl::nullopt;
  auto cuts = geometric_cuts(a, b, *paths);
  for (auto const& cut : cuts) {
    // A side never runs through an output vertex other than its ends.
    if (cut.vertex != NO_ID && cut.vertex != a && cut.vertex != b &&
        has_output_vertex(cut.vertex)) {
      return absl::nullopt;
    }
  }
  if (!are_cuts_valid(a, b, cuts)) return absl::nullopt;
  return cuts;
}

CandidateSide FrontalRemesher<2>::existing_side(unsigned int a, unsigned int b,
                                                unsigned int m) const {
  return {false, m, a, b};
}

absl::optional<CandidateSide> FrontalRemesher<2>::make_macro_edge(unsigned int a, unsigned int b,
                                                                  unsigned int c) {
  cut_chain.clear();
  // find_macro_edge(b, a), then find_macro_edge(a, b), on the lists
  // around a and b gathered once. Both find nothing when either list is
  // empty: a candidate apex just inserted carries no mark, and the fan of
  // the front edge's start is then not walked.
  const auto around_b = macro_edges_around(b);
  if (!around_b.empty()) {
    const auto around_a = macro_edges_around(a);
    if (const auto m = if_runs_from_to(first_common_entry(around_b, around_a), b, a)) {
      return existing_side(a, b, *m);
    }
    if (if_runs_from_to(first_common_entry(around_a, around_b), a, b)) return absl::nullopt;
  }
  auto cuts = straight_path(a, b);
  if (!cuts) return absl::nullopt;
  // A side whose crossed edges can all be flipped becomes one input edge:
  // no vertex is added, and the working surface keeps the size of the
  // overlay of its own vertices and the output's.
  bool changed = false;
  if (const auto side = flip_in_side(a, b, *cuts, changed)) {
    mark_macro_edge({*side}, c);
    record_cut_chain({*side}, {}, a, b);
    return CandidateSide{true, c, a, b};
  }
  if (changed) {
    // The flips stopped half way: the path is found again on the triangles
    // they made.
    cuts = straight_path(a, b);
    if (!cuts) return absl::nullopt;
  }
  // A cut that the cutter would refuse refuses the side.
  auto plan = SurfaceCutPlan::create(input_mesh, a, b, *cuts);
  if (!plan) return absl::nullopt;
  const unsigned int nb_polygons_before = input_mesh.nb_polygons();
  const SurfaceCutPathInfo info = plan->apply(input_builder);
  for (auto const& created : info.created_vertices) {
    for (const unsigned int origin : created.origins) {
      if (origin == NO_ID) continue;
      vertex_info->set_value(created.vertex, vertex_info->value(origin));
    }
  }
  const unsigned int a1 = modifier.updated_vertex(a);
  const unsigned int b1 = modifier.updated_vertex(b);
  const auto edges = collect_cut_edges(info);
  mark_macro_edge(edges.first, c);
  mark_macro_edge(edges.second, c);
  record_cut_chain(edges.first, edges.second, a1, b1);
  improve_cut_pieces(nb_polygons_before);
  return CandidateSide{true, c, a1, b1};
}

namespace {

// Area over the sum of the squared edge lengths: largest for an
// equilateral triangle, zero for a flat one.
double shape_quality(Point<2> const& p0, Point<2> const& p1, Point<2> const& p2) {
  const double ux = p1.value(0) - p0.value(0);
  const double uy = p1.value(1) - p0.value(1);
  const double vx = p2.value(0) - p0.value(0);
  const double vy = p2.value(1) - p0.value(1);
  const double wx = p2.value(0) - p1.value(0);
  const double wy = p2.value(1) - p1.value(1);
  return (ux * vy - uy * vx) / (ux * ux + uy * uy + vx * vx + vy * vy + wx * wx + wy * wy);
}

// The local index after k in a triangle.
local_index_t next_local(local_index_t k) { return static_cast<local_index_t>((k + 1) % 3); }

// A flip must raise the worse of the two shapes more than this many times:
// slivers go, and triangles of fair shape stay as the cuts made them (every
// change to them moves where later apexes snap). The margin also keeps the
// flips from turning in a circle.
constexpr double FLIP_GAIN = 2.0;

}  // namespace

void FrontalRemesher<2>::improve_cut_pieces(unsigned int first_piece) {
  // A cut joins its points to the far corners of the triangles it divides,
  // and later cuts would cross those slivers again and again. Edges of the
  // pieces that carry no macro edge and lie between uncovered triangles are
  // flipped while that makes the worse of their two triangles better
  // shaped. Marked edges, covered triangles and vertices stay as they are.
  const unsigned int nb_pieces = input_mesh.nb_polygons() - first_piece;
  std::vector<PolygonEdge> pending;
  for (unsigned int t = first_piece; t < input_mesh.nb_polygons(); ++t) {
    for (local_index_t i = 0; i < 3; ++i) pending.push_back({t, i});
  }
  std::vector<std::array<unsigned int, 2>> chain_ends;
  chain_ends.reserve(cut_chain.size());
  for (auto const& step : cut_chain) {
    chain_ends.push_back(input_mesh.polygon_edge_vertices(step.edge));
  }
  // The bound only keeps a run of flips local to the cut.
  flip_pending(pending, 4 * std::size_t{nb_pieces} + 8);
  // The chain of the side just cut follows its polygon edges, which the
  // flips may have moved to other local edges or triangles.
  for (std::size_t k = 0; k < cut_chain.size(); ++k) {
    auto& step = cut_chain[k];
    if (input_mesh.polygon_edge_vertices(step.edge) == chain_ends[k]) continue;
    const auto moved = input_mesh.polygon_edge_from_vertices(chain_ends[k][0], chain_ends[k][1]);
    if (!moved) {
      cut_chain.clear();
      return;
    }
    step.edge = *moved;
  }
}

void FrontalRemesher<2>::flip_pending(std::vector<PolygonEdge>& pending, std::size_t nb_flips) {
  // Each flip at least doubles the worse shape of its two triangles, so
  // the flips end on their own; the bound states how far they may go.
  while (!pending.empty() && nb_flips > 0) {
    const PolygonEdge edge = pending.back();
    pending.pop_back();
    if (const auto outer = flip_if_better(edge)) {
      --nb_flips;
      pending.insert(pending.end(), outer->begin(), outer->end());
    }
  }
}

absl::optional<std::array<PolygonEdge, 4>> FrontalRemesher<2>::flip_if_better(
    PolygonEdge const& edge) {
  const unsigned int t = edge.polygon_id;
  if (!input_mesh.is_polygon_active(t) || is_triangle_covered(t)) return absl::nullopt;
  if (!edge_lists(t)[edge.edge_id].empty()) return absl::nullopt;
  const auto twin = input_mesh.polygon_adjacent_edge(edge);
  if (!twin) return absl::nullopt;
  const unsigned int u = twin->polygon_id;
  if (is_triangle_covered(u) || !edge_lists(u)[twin->edge_id].empty()) return absl::nullopt;
  // t = (a, b, c) with the edge a -> b, u = (b, a, d).
  const local_index_t i = edge.edge_id;
  const local_index_t j = twin->edge_id;
  const unsigned int a = input_mesh.polygon_vertex({t, i});
  const unsigned int b = input_mesh.polygon_vertex({t, next_local(i)});
  const unsigned int c = input_mesh.polygon_vertex({t, next_local(next_local(i))});
  const unsigned int d = input_mesh.polygon_vertex({u, next_local(next_local(j))});
  if (c == d) return absl::nullopt;
  Point<2> const& pa = input_mesh.point(a);
  Point<2> const& pb = input_mesh.point(b);
  Point<2> const& pc = input_mesh.point(c);
  Point<2> const& pd = input_mesh.point(d);
  // A new triangle that turns right has a negative shape, so most refusals
  // need no exact test.
  const double before = std::min(shape_quality(pa, pb, pc), shape_quality(pb, pa, pd));
  const double after = std::min(shape_quality(pc, pa, pd), shape_quality(pd, pb, pc));
  if (!(after > before * FLIP_GAIN)) return absl::nullopt;
  // The new triangles (c, a, d) and (d, b, c) must both turn left.
  if (orientation_2d(pc, pa, pd) != Sign::positive ||
      orientation_2d(pd, pb, pc) != Sign::positive) {
    return absl::nullopt;
  }
  // No other edge may join c and d already.
  if (!input_mesh.polygons_from_edge_vertices({c, d}).empty()) return absl::nullopt;
  return flip_edge(edge);
}

std::array<PolygonEdge, 4> FrontalRemesher<2>::flip_edge(PolygonEdge const& edge) {
  const unsigned int t = edge.polygon_id;
  const PolygonEdge twin = input_mesh.polygon_adjacent_edge(edge).value();
  const unsigned int u = twin.polygon_id;
  const local_index_t i = edge.edge_id;
  const local_index_t j = twin.edge_id;
  // The two triangles are rewritten in place: t becomes (a, d, c) and u
  // becomes (b, c, d). Their edges a -> d and b -> c take the lists and
  // neighbours of the edges they replace; c -> a and d -> b keep theirs.
  const PolygonEdge t_side{t, next_local(i)};
  const PolygonEdge u_side{u, next_local(j)};
  input_builder.flip_edge(edge);
  auto& t_lists = edge_info_attribute->modifiable_value(t);
  auto& u_lists = edge_info_attribute->modifiable_value(u);
  t_lists[i] = std::move(u_lists[u_side.edge_id]);
  u_lists[u_side.edge_id].clear();
  u_lists[j] = std::move(t_lists[t_side.edge_id]);
  t_lists[t_side.edge_id].clear();
  return std::array<PolygonEdge, 4>{
      {{t, i}, {t, next_local(next_local(i))}, {u, j}, {u, next_local(next_local(j))}}};
}

absl::optional<absl::InlinedVector<PolygonEdge, 8>> FrontalRemesher<2>::flippable_crossings(
    unsigned int a, unsigned int b, absl::Span<GeometricSurfacePath<2> const> cuts) const {
  // The walk of the straight path already refused marked edges, the border
  // and covered triangles; the cuts name a vertex for every step through
  // one and for every crossing that snaps to an end of its edge. Only the
  // last item may name one: b.
  if (cuts.empty() || cuts.back().vertex != b) return absl::nullopt;
  Point<2> const& pa = input_mesh.point(a);
  Point<2> const& pb = input_mesh.point(b);
  absl::InlinedVector<PolygonEdge, 8> crossings;
  for (std::size_t k = 0; k + 1 < cuts.size(); ++k) {
    auto const& cut = cuts[k];
    if (cut.vertex != NO_ID) return absl::nullopt;
    // The crossed polygon edge lies in the triangle on a's side, so it runs
    // from the segment's right to its left.
    const auto ends = input_mesh.polygon_edge_vertices(cut.edge);
    if (orientation_2d(pa, pb, input_mesh.point(ends[0])) != Sign::negative ||
        orientation_2d(pa, pb, input_mesh.point(ends[1])) != Sign::positive) {
      return absl::nullopt;
    }
    crossings.push_back(cut.edge);
  }
  if (crossings.empty()) return absl::nullopt;
  return crossings;
}

absl::optional<PolygonEdge> FrontalRemesher<2>::flip_in_side(
    unsigned int a, unsigned int b, absl::Span<GeometricSurfacePath<2> const> cuts, bool& changed) {
  changed = false;
  const auto crossings = flippable_crossings(a, b, cuts);
  if (!crossings) return absl::nullopt;
  Point<2> const& pa = input_mesh.point(a);
  Point<2> const& pb = input_mesh.point(b);
  // Crossed edges are flipped where their quadrilateral is convex, and a
  // new edge that still crosses the segment waits its turn again; among
  // the edges crossing a segment one is always flippable, so the queue
  // empties within a number of turns quadratic in the crossings. Every
  // vertex met lies strictly on one side of the segment.
  struct Crossing {
    //! The right and the left end.
    std::array<unsigned int, 2> ends;
    //! Where the edge from the right end to the left was last seen: flips
    //! of its neighbours may have moved it.
    PolygonEdge edge;
  };
  absl::InlinedVector<Crossing, 8> queue;
  for (auto const& edge : *crossings) {
    queue.push_back({input_mesh.polygon_edge_vertices(edge), edge});
  }
  const std::size_t n = queue.size();
  std::size_t turns = 4 * n * n + 16;
  for (std::size_t head = 0; head < queue.size(); ++head) {
    if (turns-- == 0) return absl::nullopt;
    const Crossing crossing = queue[head];
    const auto& ends = crossing.ends;
    const PolygonEdge edge = input_mesh.polygon_edge_vertices(crossing.edge) == ends
                                 ? crossing.edge
                                 : input_mesh.polygon_edge_from_vertices(ends[0], ends[1]).value();
    const unsigned int t = edge.polygon_id;
    const PolygonEdge twin = input_mesh.polygon_adjacent_edge(edge).value();
    const unsigned int c = input_mesh.polygon_vertex({t, next_local(next_local(edge.edge_id))});
    const unsigned int d =
        input_mesh.polygon_vertex({twin.polygon_id, next_local(next_local(twin.edge_id))});
    Point<2> const& pc = input_mesh.point(c);
    Point<2> const& pd = input_mesh.point(d);
    if (orientation_2d(pc, input_mesh.point(ends[0]), pd) != Sign::positive ||
        orientation_2d(pd, input_mesh.point(ends[1]), pc) != Sign::positive) {
      queue.push_back({ends, edge});
      continue;
    }
    // No edge c-d exists already: it would cross this one, and the
    // triangles of the working surface do not overlap.
    flip_edge(edge);
    changed = true;
    if (c == a || c == b || d == a || d == b) continue;
    // t is now (right, d, c) and the twin's triangle (left, c, d).
    const Sign side_c = orientation_2d(pa, pb, pc);
    if (side_c != orientation_2d(pa, pb, pd)) {
      if (side_c == Sign::negative) {
        queue.push_back({{c, d}, {twin.polygon_id, next_local(twin.edge_id)}});
      } else {
        queue.push_back({{d, c}, {t, next_local(edge.edge_id)}});
      }
    }
  }
  return input_mesh.polygon_edge_from_vertices(b, a);
}

void FrontalRemesher<2>::record_cut_chain(absl::Span<PolygonEdge const> against,
                                          absl::Span<PolygonEdge const> along_border,
                                          unsigned int a, unsigned int b) {
  // Each input edge of the cut's chain holds one mark: on its polygon edge
  // running back from b to a, or on the border edge running from a to b.
  // Both lists are in chain order, so the chain takes, at each vertex, the
  // next entry of the one list or of the other.
  cut_chain.clear();
  std::size_t next_against = 0;
  std::size_t next_border = 0;
  unsigned int at = a;
  // Takes the next entry of the list when the chain goes on with it.
  const auto take = [this, &at](absl::Span<PolygonEdge const> list, std::size_t& next,
                                bool forward) {
    if (next >= list.size()) return false;
    const OrientedPolygonEdge step{list[next], forward};
    if (chain_start(step) != at) return false;
    cut_chain.push_back(step);
    ++next;
    at = chain_end(step);
    return true;
  };
  while (at != b) {
    if (take(against, next_against, false) || take(along_border, next_border, true)) continue;
    // Not a chain from a to b: the chain is walked on the marks instead.
    cut_chain.clear();
    return;
  }
  if (next_against != against.size() || next_border != along_border.size()) cut_chain.clear();
}

std::pair<std::vector<PolygonEdge>, std::vector<PolygonEdge>> FrontalRemesher<2>::collect_cut_edges(
    SurfaceCutPathInfo const& info) {
  std::vector<PolygonEdge> against;
  for (auto const& entry : info.third) against.push_back(entry.new_edge);
  std::vector<PolygonEdge> along_border;
  for (auto const& entry : info.second) {
    if (input_mesh.is_edge_on_border(entry.new_edge)) along_border.push_back(entry.new_edge);
  }
  merge_edge_info_in_ranges(info.second);
  merge_edge_info_in_ranges(info.third);
  merge_edge_info_in_ranges(info.first);
  return {std::move(against), std::move(along_border)};
}

void FrontalRemesher<2>::mark_macro_edge(absl::Span<PolygonEdge const> edges, unsigned int m) {
  for (auto const& edge : edges) {
    auto list = edge_lists(edge.polygon_id)[edge.edge_id];
    list.push_back(m);
    set_edge_list(edge, std::move(list));
  }
}

void FrontalRemesher<2>::unmark_macro_edge(CandidateSide const& side) {
  unmark_chain(macro_edge_chain(side.start, side.end, side.macro_edge), side.macro_edge);
}

void FrontalRemesher<2>::unmark_chain(absl::Span<OrientedPolygonEdge const> chain,
                                      unsigned int m) {
  for (auto const& step : chain) {
    auto const& current = edge_lists(step.edge.polygon_id)[step.edge.edge_id];
    const auto found = std::find(current.begin(), current.end(), m);
    if (found == current.end()) continue;
    auto list = current;
    list.erase(list.begin() + (found - current.begin()));
    set_edge_list(step.edge, std::move(list));
  }
}

void FrontalRemesher<2>::merge_edge_info(absl::Span<PolygonEdgePair const> pairs) {
  for (auto const& pair : pairs) {
    if (pair.second == PolygonEdge{} || pair.second == pair.first) continue;
    append_edge_info(pair.first, pair.second);
  }
}

void FrontalRemesher<2>::merge_edge_info_in_ranges(absl::Span<SurfaceCutEdge const> entries) {
  for (auto const& entry : entries) {
    for (auto const& replaced : entry.replaced) {
      if (replaced == PolygonEdge{} || replaced == entry.new_edge) continue;
      append_edge_info(entry.new_edge, replaced);
    }
  }
}

void FrontalRemesher<2>::update_edge_vertices(FrontEdge& edge) const {
  edge.start = modifier.updated_vertex(edge.start);
  edge.end = modifier.updated_vertex(edge.end);
}

}  // namespace detail
}  // namespace tarnix
