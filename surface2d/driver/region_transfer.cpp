#include "driver/region_transfer.h"

#include <algorithm>
#include <array>
#include <memory>
#include <utility>
#include <vector>

#include <absl/container/flat_hash_map.h>
#include <absl/container/inlined_vector.h>

#include <morvex/modifier_surface/triangulated_surface_modifier.h>
#include <ulvane/geometry/distance.h>
#include <ulvane/geometry/predicates.h>

namespace tarnix {
namespace detail {
namespace {

using DirectedEdge = std::pair<index_t, index_t>;
// Directed edges, each cancelled by one edge the other way.
using EdgeBalance = absl::flat_hash_map<DirectedEdge, index_t>;

void add_edge(EdgeBalance& balance, index_t from, index_t to) {
  auto const reverse = balance.find({to, from});
  if (reverse == balance.end()) {
    ++balance[{from, to}];
  } else if (--reverse->second == 0) {
    balance.erase(reverse);
  }
}

bool is_positive(VertexPoint point, index_t a, index_t b, index_t c) {
  return orientation_2d(point(a), point(b), point(c)) == Sign::positive;
}

// True when p lies in the closed triangle (a, b, c), counter-clockwise.
bool in_closed_triangle(Point<2> const& p, Point<2> const& a, Point<2> const& b,
                        Point<2> const& c) {
  return orientation_2d(a, b, p) != Sign::negative && orientation_2d(b, c, p) != Sign::negative &&
         orientation_2d(c, a, p) != Sign::negative;
}

// Ear clipping of a polygon taken counter-clockwise. The walk goes round
// the corners clipping ears; a whole round without one ends it.
absl::optional<std::vector<VertexTriple>> clip_ears(absl::Span<index_t const> polygon,
                                                     VertexPoint point) {
  auto const n = static_cast<index_t>(polygon.size());
  std::vector<VertexTriple> triangles;
  triangles.reserve(n - 2);
  std::vector<index_t> next(n);
  std::vector<index_t> previous(n);
  for (index_t i = 0; i < n; ++i) {
    next[i] = (i + 1) % n;
    previous[i] = (i + n - 1) % n;
  }
  auto const is_ear = [&](index_t corner) {
    auto const a = polygon[previous[corner]];
    auto const b = polygon[corner];
    auto const c = polygon[next[corner]];
    if (!is_positive(point, a, b, c)) return false;
    Point<2> const pa = point(a);
    Point<2> const pb = point(b);
    Point<2> const pc = point(c);
    for (auto i = next[next[corner]]; i != previous[corner]; i = next[i]) {
      if (in_closed_triangle(point(polygon[i]), pa, pb, pc)) return false;
    }
    return true;
  };
  index_t remaining = n;
  index_t corner = 0;
  index_t tried = 0;  // corners tested since the last clip
  while (remaining > 3) {
    if (tried > remaining) return absl::nullopt;
    if (!is_ear(corner)) {
      corner = next[corner];
      ++tried;
      continue;
    }
    auto const before = previous[corner];
    auto const after = next[corner];
    triangles.push_back({polygon[before], polygon[corner], polygon[after]});
    next[before] = after;
    previous[after] = before;
    --remaining;
    corner = before;
    tried = 0;
  }
  VertexTriple const last{polygon[previous[corner]], polygon[corner], polygon[next[corner]]};
  if (!is_positive(point, last[0], last[1], last[2])) return absl::nullopt;
  triangles.push_back(last);
  return triangles;
}

bool is_counter_clockwise(TriangulatedSurface<2> const& mesh, index_t triangle) {
  return orientation_2d(mesh.point(mesh.polygon_vertex({triangle, 0})),
                        mesh.point(mesh.polygon_vertex({triangle, 1})),
                        mesh.point(mesh.polygon_vertex({triangle, 2}))) == Sign::positive;
}

// Splits a closed walk that passes a vertex more than once (gaps that
// touch at a vertex) into loops that pass each vertex once.
std::vector<std::vector<index_t>> simple_loops(std::vector<index_t> const& walk) {
  std::vector<std::vector<index_t>> loops;
  std::vector<index_t> open;
  absl::flat_hash_map<index_t, std::size_t> position;
  for (auto const v : walk) {
    auto const found = position.find(v);
    if (found == position.end()) {
      position.emplace(v, open.size());
      open.push_back(v);
      continue;
    }
    // The walk came back to v: what it went round since is a loop.
    std::vector<index_t> loop(open.begin() + static_cast<std::ptrdiff_t>(found->second), open.end());
    for (std::size_t k = 1; k < loop.size(); ++k) position.erase(loop[k]);
    open.resize(found->second + 1);
    loops.push_back(std::move(loop));
  }
  loops.push_back(std::move(open));
  return loops;
}

// The edits that close the gaps of a mesh: triangles of the mesh replaced,
// and triangles made, which later steps may replace again. Nothing reaches
// the mesh before `apply`.
class GapEdits {
 public:
  explicit GapEdits(TriangulatedSurface<2> const& mesh)
      : mesh_(mesh), removed_(mesh.nb_polygons(), false) {}

  void add(VertexTriple const& triangle) {
    auto const id = static_cast<index_t>(made_.size());
    made_.push_back(triangle);
    made_removed_.push_back(false);
    for (local_index_t j = 0; j < 3; ++j) {
      made_edges_[{triangle[j], triangle[(j + 1) % 3]}] = id;
    }
  }

  // Splits the triangle (a, b, x) that holds a->b at w, into (a, w, x) and
  // (w, b, x), when both turn counter-clockwise: w lies inside it or on
  // a-b. A gap running b->a then runs b->w->a.
  bool split(index_t a, index_t b, index_t w) {
    auto const x = split_across(a, b, w);
    if (!x) return false;
    add({a, w, *x});
    add({w, b, *x});
    return true;
  }

  // Makes the triangles, each vertex of `isolated` that lies inside them
  // inserted, and removes the replaced ones.
  index_t apply(TriangulatedSurfaceBuilder<2>& builder, absl::Span<index_t const> isolated) {
    std::vector<VertexTriple> triangles;
    for (std::size_t t = 0; t < made_.size(); ++t) {
      if (!made_removed_[t]) triangles.push_back(made_[t]);
    }
    auto const point = [this](index_t v) { return mesh_.point(v); };
    for (auto const v : isolated) insert_vertex(triangles, v, point);
    auto const created = static_cast<index_t>(triangles.size());
    for (auto const& triangle : triangles) builder.create_triangle(triangle);
    if (std::find(removed_.begin(), removed_.end(), true) != removed_.end()) {
      removed_.resize(mesh_.nb_polygons(), false);
      builder.delete_polygons(removed_);
    }
    return created;
  }

 private:
  // When the triangle (u, v, x) holding u->v also holds `inner` strictly
  // inside or on u-v, removes it and returns x.
  absl::optional<index_t> split_across(index_t u, index_t v, index_t inner) {
    index_t x = NO_ID;
    auto const made = made_edges_.find({u, v});
    bool const from_made = made != made_edges_.end() && !made_removed_[made->second];
    absl::optional<PolygonEdge> edge;
    if (from_made) {
      auto const& triangle = made_[made->second];
      for (auto const w : triangle) {
        if (w != u && w != v) x = w;
      }
    } else {
      edge = mesh_.polygon_edge_from_vertices(u, v);
      if (!edge || removed_[edge->polygon_id]) return absl::nullopt;
      x = mesh_.polygon_vertex(mesh_.previous_polygon_vertex({edge->polygon_id, edge->edge_id}));
    }
    auto const& pi = mesh_.point(inner);
    if (x == inner || orientation_2d(mesh_.point(v), mesh_.point(x), pi) != Sign::positive ||
        orientation_2d(mesh_.point(x), mesh_.point(u), pi) != Sign::positive) {
      return absl::nullopt;
    }
    if (from_made) {
      made_removed_[made->second] = true;
    } else {
      removed_[edge->polygon_id] = true;
    }
    return x;
  }

  TriangulatedSurface<2> const& mesh_;
  std::vector<bool> removed_;
  std::vector<VertexTriple> made_;
  std::vector<bool> made_removed_;
  absl::flat_hash_map<DirectedEdge, index_t> made_edges_;
};

// Closes one gap, counter-clockwise, with no new vertex. What is not a
// simple polygon is cut where a corner of the gap lies on or across the
// gap's own edges:
// - a spike: at corner q (p before, r after) the gap turns back, and r
//   lies in the triangle beyond p->q (or p in the one beyond q->r); that
//   triangle is split there and q leaves the gap;
// - a corner w on (or across) an edge u->v: the triangle beyond is split
//   at w, and the gap falls apart at w into two.
// Every simple piece is triangulated. The edits are bounded; a gap that
// needs more stays.
bool close_gap(std::vector<index_t> gap, VertexPoint point, GapEdits& edits) {
  std::size_t budget = 4 * gap.size() + 8;
  std::vector<std::vector<index_t>> pending{std::move(gap)};
  while (!pending.empty()) {
    auto loop = std::move(pending.back());
    pending.pop_back();
    if (auto const fill = triangulate_polygon(loop, point)) {
      for (auto const& triangle : *fill) edits.add(triangle);
      continue;
    }
    if (budget == 0) return false;
    --budget;
    auto const n = loop.size();
    auto const at = [&](std::size_t k) { return loop[k % n]; };
    bool cut = false;
    for (std::size_t k = 0; k < n && !cut; ++k) {
      auto const p = at(k + n - 1);
      auto const q = at(k);
      auto const r = at(k + 1);
      if (orientation_2d(point(p), point(q), point(r)) == Sign::positive) continue;
      if (edits.split(q, p, r) || edits.split(r, q, p)) {
        loop.erase(loop.begin() + static_cast<std::ptrdiff_t>(k));
        pending.push_back(std::move(loop));
        cut = true;
      }
    }
    if (cut) continue;
    // Corners nearest to an edge first: the one the edge runs through.
    std::vector<std::pair<double, std::pair<std::size_t, std::size_t>>> touching;
    for (std::size_t k = 0; k < n; ++k) {
      Segment<2> const side{point(at(k)), point(at(k + 1))};
      for (std::size_t j = 2; j < n; ++j) {
        touching.push_back({point_segment_distance(point(at(k + j)), side), {k, j}});
      }
    }
    std::sort(touching.begin(), touching.end());
    for (auto const& [distance, place] : touching) {
      auto const [k, j] = place;
      auto const w = at(k + j);
      if (!edits.split(at(k + 1), at(k), w)) continue;
      loop.insert(loop.begin() + static_cast<std::ptrdiff_t>(k + 1), w);
      for (auto& piece : simple_loops(loop)) pending.push_back(std::move(piece));
      cut = true;
      break;
    }
    if (!cut) return false;  // not a polygon this can close: the gap stays
  }
  return true;
}

// Closes every gap into `edits`; returns the gaps that stay.
std::vector<std::size_t> close_gaps(std::vector<std::vector<index_t>> gaps, VertexPoint point,
                                    GapEdits& edits) {
  std::vector<std::size_t> stuck;
  for (std::size_t g = 0; g < gaps.size(); ++g) {
    if (!close_gap(std::move(gaps[g]), point, edits)) stuck.push_back(g);
  }
  return stuck;
}

}  // namespace

std::vector<index_t> region_outline(UnmeshedRegion const& region) {
  auto const& chains = region.boundary_chains;
  std::vector<index_t> outline;
  outline.reserve(chains.size());
  for (std::size_t m = 0; m < chains.size(); ++m) {
    auto const& chain = chains[m];
    auto const& previous_chain = chains[(m + chains.size() - 1) % chains.size()];
    // A chain runs from its macro edge's end to its start, which is the
    // previous macro edge's end when the cycle closes.
    if (chain.empty() || chain.back() != previous_chain.front()) return {};
    auto const vertex = region.to_output_vertex.at(chain.front());
    if (vertex == NO_ID) return {};
    outline.push_back(vertex);
  }
  return outline;
}

bool tiles_outline(absl::Span<VertexTriple const> triangles, absl::Span<index_t const> outline,
                   VertexPoint point) {
  EdgeBalance balance;
  for (auto const& triangle : triangles) {
    if (!is_positive(point, triangle[0], triangle[1], triangle[2])) return false;
    for (local_index_t j = 0; j < 3; ++j) add_edge(balance, triangle[j], triangle[(j + 1) % 3]);
  }
  EdgeBalance expected;
  for (std::size_t i = 0; i < outline.size(); ++i) {
    add_edge(expected, outline[i], outline[(i + 1) % outline.size()]);
  }
  return balance == expected;
}

absl::optional<std::vector<VertexTriple>> triangulate_polygon(absl::Span<index_t const> polygon,
                                                             VertexPoint point) {
  if (polygon.size() < 3) {
    std::vector<VertexTriple> none;
    if (tiles_outline(none, polygon, point)) return none;
    return absl::nullopt;
  }
  auto triangles = clip_ears(polygon, point);
  if (triangles && tiles_outline(*triangles, polygon, point)) return triangles;
  return absl::nullopt;
}

bool insert_vertex(std::vector<VertexTriple>& triangles, index_t vertex, VertexPoint point) {
  auto const p = point(vertex);
  for (std::size_t t = 0; t < triangles.size(); ++t) {
    auto const triangle = triangles[t];
    if (std::find(triangle.begin(), triangle.end(), vertex) != triangle.end()) return false;
    std::array<Sign, 3> sides{};
    for (local_index_t j = 0; j < 3; ++j) {
      sides[j] = orientation_2d(point(triangle[j]), point(triangle[(j + 1) % 3]), p);
    }
    if (std::find(sides.begin(), sides.end(), Sign::negative) != sides.end()) continue;
    auto const on_edge = std::find(sides.begin(), sides.end(), Sign::zero);
    if (on_edge == sides.end()) {
      triangles[t] = {triangle[0], triangle[1], vertex};
      triangles.push_back({triangle[1], triangle[2], vertex});
      triangles.push_back({triangle[2], triangle[0], vertex});
      return true;
    }
    // On edge a->b: the triangle holding b->a splits with it, if the set
    // has one.
    auto const j = static_cast<local_index_t>(on_edge - sides.begin());
    if (std::count(sides.begin(), sides.end(), Sign::zero) > 1) return false;  // at a corner
    auto const a = triangle[j];
    auto const b = triangle[(j + 1) % 3];
    auto const c = triangle[(j + 2) % 3];
    for (std::size_t u = 0; u < triangles.size(); ++u) {
      auto const other = triangles[u];
      for (local_index_t k = 0; k < 3; ++k) {
        if (other[k] != b || other[(k + 1) % 3] != a) continue;
        auto const d = other[(k + 2) % 3];
        triangles[t] = {a, vertex, c};
        triangles[u] = {b, vertex, d};
        triangles.push_back({vertex, b, c});
        triangles.push_back({vertex, a, d});
        return true;
      }
    }
    return false;
  }
  return false;
}

namespace {

using LineEdges = absl::flat_hash_set<std::pair<index_t, index_t>>;

// The loops of border edges off the lines, each as a gap taken
// counter-clockwise.
std::vector<std::vector<index_t>> gap_loops(TriangulatedSurface<2> const& mesh,
                                            LineEdges const& line_edges) {
  std::vector<std::vector<index_t>> gaps;
  // Border edges off the lines, as their triangles run them: a gap's edges
  // run clockwise around it.
  absl::flat_hash_map<index_t, absl::InlinedVector<index_t, 1>> stray;
  std::size_t nb_stray = 0;
  for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
    if (!mesh.is_polygon_active(t)) continue;
    for (local_index_t j = 0; j < 3; ++j) {
      if (!mesh.is_edge_on_border({t, j})) continue;
      auto const ends = mesh.polygon_edge_vertices({t, j});
      if (line_edges.contains({std::min(ends[0], ends[1]), std::max(ends[0], ends[1])})) continue;
      stray[ends[0]].push_back(ends[1]);
      ++nb_stray;
    }
  }
  if (stray.empty()) return gaps;
  // Line edges that no triangle holds: a gap along the border ends on
  // them, in the direction its loop needs.
  absl::flat_hash_map<index_t, absl::InlinedVector<index_t, 2>> missing;
  for (auto const& edge : line_edges) {
    if (mesh.polygon_edge_from_vertices(edge.first, edge.second) ||
        mesh.polygon_edge_from_vertices(edge.second, edge.first)) {
      continue;
    }
    missing[edge.first].push_back(edge.second);
    missing[edge.second].push_back(edge.first);
  }
  // Takes a missing line edge leaving `from` out of the map, both ways
  // round; NO_ID when there is none.
  auto const take_missing = [&](index_t from) -> index_t {
    auto const found = missing.find(from);
    if (found == missing.end()) return NO_ID;
    auto const to = found->second.back();
    found->second.pop_back();
    if (found->second.empty()) missing.erase(found);
    auto& back = missing[to];
    back.erase(std::find(back.begin(), back.end(), from));
    if (back.empty()) missing.erase(to);
    return to;
  };
  while (!stray.empty()) {
    auto const start = stray.begin()->first;
    // Each step of the walk uses up one edge, so it ends within the number
    // of stray edges.
    std::vector<index_t> loop;
    auto current = start;
    do {
      if (loop.size() > nb_stray + line_edges.size()) break;
      auto const found = stray.find(current);
      index_t next = NO_ID;
      if (found != stray.end()) {
        next = found->second.back();
        found->second.pop_back();
        if (found->second.empty()) stray.erase(found);
      } else {
        next = take_missing(current);
      }
      if (next == NO_ID) break;
      loop.push_back(current);
      current = next;
    } while (current != start);
    if (current != start) continue;  // an open chain: not a gap
    for (auto& gap : simple_loops(loop)) {
      std::reverse(gap.begin(), gap.end());
      gaps.push_back(std::move(gap));
    }
  }
  return gaps;
}

// A gap no split closes can be a fold against a line: a corner off the
// lines lies a hair outside it. Collapses such a corner onto a neighbour
// corner of the gap where the collapse is valid; true when one was made.
bool collapse_free_corner(TriangulatedSurface<2> const& mesh,
                          TriangulatedSurfaceModifier<2>& modifier,
                          absl::Span<index_t const> gap, absl::flat_hash_set<index_t> const& fixed) {
  auto const n = gap.size();
  for (std::size_t k = 0; k < n; ++k) {
    auto const p = gap[(k + n - 1) % n];
    auto const q = gap[k];
    auto const r = gap[(k + 1) % n];
    if (fixed.contains(q) ||
        orientation_2d(mesh.point(p), mesh.point(q), mesh.point(r)) == Sign::positive) {
      continue;
    }
    for (auto const x : {p, r}) {
      auto edge = mesh.polygon_edge_from_vertices(q, x);
      if (!edge) edge = mesh.polygon_edge_from_vertices(x, q);
      if (!edge || !is_collapse_edge_valid<2>(mesh, *edge, mesh.point(x))) continue;
      modifier.collapse_edge(*edge, mesh.point(x));
      return true;
    }
  }
  return false;
}

std::vector<index_t> isolated_vertices(TriangulatedSurface<2> const& mesh) {
  std::vector<bool> used(mesh.nb_vertices(), false);
  for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
    if (!mesh.is_polygon_active(t)) continue;
    for (local_index_t j = 0; j < 3; ++j) used[mesh.polygon_vertex({t, j})] = true;
  }
  std::vector<index_t> isolated;
  for (index_t v = 0; v < mesh.nb_vertices(); ++v) {
    if (!used[v]) isolated.push_back(v);
  }
  return isolated;
}

}  // namespace

index_t fill_gaps(TriangulatedSurface<2> const& mesh, TriangulatedSurfaceBuilder<2>& builder,
                  LineEdges const& line_edges, std::vector<bool> const& kept) {
  auto gaps = gap_loops(mesh, line_edges);
  if (gaps.empty()) return 0;
  auto const point = [&](index_t v) { return mesh.point(v); };
  auto edits = std::make_unique<GapEdits>(mesh);
  auto const stuck = close_gaps(gaps, point, *edits);
  // A gap that stays may be a fold: its collapse changes the mesh, so the
  // edits are dropped and the gaps found and closed again.
  bool collapsed = false;
  if (!stuck.empty()) {
    absl::flat_hash_set<index_t> fixed;
    for (auto const& edge : line_edges) fixed.insert({edge.first, edge.second});
    for (index_t v = 0; v < kept.size(); ++v) {
      if (kept[v]) fixed.insert(v);
    }
    TriangulatedSurfaceModifier<2> modifier{mesh, builder};
    for (auto const g : stuck) {
      collapsed = collapse_free_corner(mesh, modifier, gaps[g], fixed) || collapsed;
    }
    if (collapsed) {
      // The collapsed corners go; a kept vertex in no triangle stays for
      // the gaps to take in.
      modifier.clean_triangles();
      auto const vertices = builder.delete_isolated_vertices(kept);
      LineEdges renumbered;
      for (auto const& edge : line_edges) {
        auto const a = vertices.at(edge.first);
        auto const b = vertices.at(edge.second);
        if (a != NO_ID && b != NO_ID) renumbered.insert({std::min(a, b), std::max(a, b)});
      }
      edits = std::make_unique<GapEdits>(mesh);
      close_gaps(gap_loops(mesh, renumbered), point, *edits);
    }
  }
  auto const created = edits->apply(builder, isolated_vertices(mesh));
  if (created > 0 || collapsed) builder.compute_polygon_adjacencies();
  return created;
}

absl::optional<OpenSpot> find_open_spot(TriangulatedSurface<2> const& mesh,
                                        LineEdges const& line_edges,
                                        std::vector<bool> const& kept) {
  for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
    if (!mesh.is_polygon_active(t)) continue;
    for (local_index_t j = 0; j < 3; ++j) {
      if (!mesh.is_edge_on_border({t, j})) continue;
      auto const ends = mesh.polygon_edge_vertices({t, j});
      if (!line_edges.contains({std::min(ends[0], ends[1]), std::max(ends[0], ends[1])})) {
        return OpenSpot{true, mesh.point(ends[0])};
      }
    }
  }
  for (auto const v : isolated_vertices(mesh)) {
    if (v < kept.size() && kept[v]) return OpenSpot{false, mesh.point(v)};
  }
  return absl::nullopt;
}

void delete_duplicate_triangles(TriangulatedSurface<2> const& output_mesh,
                                TriangulatedSurfaceBuilder<2>& output_builder,
                                std::vector<bool> const& kept_vertices) {
  auto const sorted_vertices = [&output_mesh](index_t t) {
    std::array<unsigned int, 3> key{};
    for (local_index_t v = 0; v < 3; ++v) key[v] = output_mesh.polygon_vertex({t, v});
    std::sort(key.begin(), key.end());
    return key;
  };
  // Most triangles have no copy: one pass finds the first triangle of
  // every vertex set and the later ones, and only the sets met twice are
  // gathered into groups (each in triangle order).
  absl::flat_hash_map<std::array<unsigned int, 3>, unsigned int> first;
  first.reserve(output_mesh.nb_polygons());
  std::vector<unsigned int> copies;
  for (index_t t = 0; t < output_mesh.nb_polygons(); ++t) {
    if (!first.try_emplace(sorted_vertices(t), t).second) copies.push_back(t);
  }
  absl::flat_hash_map<std::array<unsigned int, 3>, absl::InlinedVector<unsigned int, 2>> groups;
  for (auto const t : copies) {
    auto const key = sorted_vertices(t);
    auto& group = groups[key];
    if (group.empty()) group.push_back(first.at(key));
    group.push_back(t);
  }
  std::vector<bool> marks(output_mesh.nb_polygons(), false);
  bool any = false;
  for (auto const& group : groups) {
    if (group.second.size() < 2) continue;
    // Deleting every copy would leave a hole where the copies stood: the
    // first counter-clockwise copy stays, the other copies (a reversed copy
    // folds the surface) go.
    bool kept = false;
    for (auto const t : group.second) {
      if (!kept && is_counter_clockwise(output_mesh, t)) {
        kept = true;
        continue;
      }
      marks[t] = true;
    }
    any = true;
  }
  if (!any) return;
  output_builder.delete_polygons(marks);
  output_builder.delete_isolated_vertices(kept_vertices);
  output_builder.compute_polygon_adjacencies();
}

}  // namespace detail
}  // namespace tarnix
