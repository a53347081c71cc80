// Closing a front edge: one candidate apex made into an output triangle, or
// withdrawn.

#include <tarnix/surface2d/frontal_remesher.h>

#include <algorithm>

#include <absl/strings/str_cat.h>

#include <common/variable_attribute.h>
#include <ulvane/basic/ulvane_exception.h>
#include <ulvane/geometry/predicates.h>

namespace tarnix {
namespace detail {

bool FrontalRemesher<2>::is_triangle_covered(unsigned int triangle) const {
  return triangle_info_attribute->value(triangle) != NO_ID;
}

bool FrontalRemesher<2>::has_output_vertex(unsigned int vertex) const {
  return vertex_info->value(vertex) != NO_ID;
}

bool FrontalRemesher<2>::is_left_of(FrontEdge const& edge, unsigned int a) const {
  return orientation_2d(input_mesh.point(edge.start), input_mesh.point(edge.end),
                        input_mesh.point(a)) == Sign::positive;
}

bool FrontalRemesher<2>::try_vertex(FrontEdge& edge, unsigned int a) {
  return try_vertex_within(edge, a, 0);
}

bool FrontalRemesher<2>::try_vertex_within(FrontEdge& edge, unsigned int a, std::size_t depth) {
  // Each level tries vertices enclosed by the candidate of the level above,
  // so a level encloses fewer output vertices than the one before.
  if (depth > vertex_origins.size()) {
    throw UlvaneException("[FrontalRemesher::try_vertex] The withdrawn candidates of front edge ",
                          absl::StrCat(edge.macro_edge, " nest deeper than there are output vertices"));
  }
  // An end of the front edge, or no vertex at all, would make a flat triangle.
  if (a == NO_ID || a == edge.start || a == edge.end) return false;
  // An apex on the front edge's line, or behind it, would make a flat or
  // turned-over output triangle. It is refused before any side is cut: a
  // front edge from a vertex to itself (a border loop with one output
  // vertex) would otherwise cut its first side and find that very side,
  // under its reserved index, as the second; and a candidate on the wrong
  // side would be cut and flood-filled only to be refused.
  if (!is_left_of(edge, a)) return false;
  const auto n = static_cast<unsigned int>(macro_edges.size());
  auto side1 = make_macro_edge(edge.start, a, n);
  // The chain of a new side is known from its cut.
  MacroEdgeChain chain1 = std::move(cut_chain);
  cut_chain.clear();
  edge.start = modifier.updated_vertex(edge.start);
  edge.end = modifier.updated_vertex(edge.end);
  const unsigned int a1 = modifier.updated_vertex(a);
  if (!side1) return false;
  auto side2 = make_macro_edge(a1, edge.end,
                               static_cast<unsigned int>(macro_edges.size()) + (side1->is_new ? 1 : 0));
  MacroEdgeChain chain2 = std::move(cut_chain);
  cut_chain.clear();
  // The cut of side 2 may have divided or flipped triangles along side 1,
  // whose marks then moved: that chain is walked again.
  if (!chain1.empty() && !is_chain_intact(chain1, edge.start, side1->macro_edge)) chain1.clear();
  update_edge_vertices(edge);
  const unsigned int apex = modifier.updated_vertex(a1);
  side1->start = modifier.updated_vertex(side1->start);
  side1->end = modifier.updated_vertex(side1->end);
  if (!side2) {
    if (side1->is_new) unmark_macro_edge(*side1);
    return false;
  }
  // The chains of the sides are kept: nothing edits the working surface
  // before a rollback, which removes the new sides' marks along them.
  const auto region = enclosed_triangles(*side1, *side2, edge, chain1, chain2);
  const auto rollback = [&]() {
    if (side1->is_new) unmark_chain(chain1, side1->macro_edge);
    if (side2->is_new) unmark_chain(chain2, side2->macro_edge);
  };
  // A region holding a covered triangle would make the new output triangle
  // overlap an existing one.
  const bool overlaps = std::any_of(region.begin(), region.end(),
                                    [this](unsigned int t) { return is_triangle_covered(t); });
  // The cuts keep the points of existing vertices, but the ids may have
  // moved to a merged vertex: the test is made again on the current ids.
  if (overlaps || !is_left_of(edge, apex) || !region_touches_macro_edge(region, edge.macro_edge)) {
    rollback();
    return false;
  }
  const auto inner = vertices_in_region(region, edge, apex);
  if (inner.empty()) {
    build_triangle(edge, *side1, *side2, apex, region);
    return true;
  }
  rollback();
  for (const unsigned int w : inner) {
    if (try_vertex_within(edge, w, depth + 1)) return true;
  }
  return false;
}

bool FrontalRemesher<2>::is_chain_intact(absl::Span<OrientedPolygonEdge const> chain,
                                         unsigned int start, unsigned int m) const {
  unsigned int at = modifier.updated_vertex(start);
  for (auto const& step : chain) {
    if (!input_mesh.is_polygon_active(step.edge.polygon_id) || chain_start(step) != at) {
      return false;
    }
    auto const& own = edge_lists(step.edge.polygon_id)[step.edge.edge_id];
    if (std::find(own.begin(), own.end(), m) == own.end()) return false;
    at = chain_end(step);
  }
  return true;
}

void FrontalRemesher<2>::toggle_chain_edges(unsigned int a, unsigned int b, unsigned int m,
                                            RegionBoundarySet& set) const {
  toggle_chain(macro_edge_chain(a, b, m), set);
}

void FrontalRemesher<2>::toggle_chain(absl::Span<OrientedPolygonEdge const> chain,
                                      RegionBoundarySet& set) const {
  for (auto const& step : chain) {
    RegionBoundaryEdge record;
    record.vertices = input_mesh.polygon_edge_vertices(step.edge);
    std::sort(record.vertices.begin(), record.vertices.end());
    record.on_border = false;
    record.edge = step.edge;
    // The loop start -> apex -> end runs clockwise, so the polygon edges
    // running against it lie inside.
    if (step.forward) {
      if (const auto twin = input_mesh.polygon_adjacent_edge(step.edge)) {
        record.edge = *twin;
      } else {
        record.on_border = true;
      }
    }
    if (set.erase(record) == 0) set.insert(record);
  }
}

std::vector<unsigned int> FrontalRemesher<2>::enclosed_triangles(CandidateSide const& side1,
                                                                 CandidateSide const& side2,
                                                                 FrontEdge const& edge) const {
  MacroEdgeChain chain1;
  MacroEdgeChain chain2;
  return enclosed_triangles(side1, side2, edge, chain1, chain2);
}

std::vector<unsigned int> FrontalRemesher<2>::enclosed_triangles(
    CandidateSide const& side1, CandidateSide const& side2, FrontEdge const& edge,
    MacroEdgeChain& chain1, MacroEdgeChain& chain2) const {
  RegionBoundarySet boundary;
  if (chain1.empty()) chain1 = macro_edge_chain(side1.start, side1.end, side1.macro_edge);
  toggle_chain(chain1, boundary);
  if (chain2.empty()) chain2 = macro_edge_chain(side2.start, side2.end, side2.macro_edge);
  toggle_chain(chain2, boundary);
  toggle_chain_edges(edge.end, edge.start, edge.macro_edge, boundary);

  std::vector<unsigned int> region;
  std::vector<unsigned int> stack;
  IdMarks& visited = triangle_marks;
  visited.start(input_mesh.nb_polygons());
  for (auto const& record : boundary) {
    if (record.on_border) {
      visited.insert(record.edge.polygon_id);
      continue;
    }
    if (const auto outside = input_mesh.polygon_adjacent(record.edge)) visited.insert(*outside);
    if (visited.insert(record.edge.polygon_id)) {
      region.push_back(record.edge.polygon_id);
      stack.push_back(record.edge.polygon_id);
    }
  }
  while (!stack.empty()) {
    const unsigned int u = stack.back();
    stack.pop_back();
    for (local_index_t i = 0; i < 3; ++i) {
      const PolygonEdge e{u, i};
      if (macro_edge_of(e) != NO_ID) continue;
      const auto g = input_mesh.polygon_adjacent(e);
      if (!g || is_triangle_covered(*g) || !visited.insert(*g)) continue;
      stack.push_back(*g);
      region.push_back(*g);
    }
  }
  return region;
}

bool FrontalRemesher<2>::region_touches_macro_edge(absl::Span<unsigned int const> region,
                                                   unsigned int m) const {
  for (const unsigned int t : region) {
    for (local_index_t i = 0; i < 3; ++i) {
      const PolygonEdge e{t, i};
      const auto twin = input_mesh.polygon_adjacent_edge(e);
      auto const& list = twin ? edge_lists(twin->polygon_id)[twin->edge_id] : edge_lists(t)[i];
      if (std::find(list.begin(), list.end(), m) != list.end()) return true;
    }
  }
  return false;
}

absl::flat_hash_set<unsigned int> FrontalRemesher<2>::vertices_in_region(
    absl::Span<unsigned int const> region, FrontEdge const& edge, unsigned int apex) const {
  absl::flat_hash_set<unsigned int> inner;
  for (const unsigned int t : region) {
    for (local_index_t k = 0; k < 3; ++k) {
      const unsigned int w = input_mesh.polygon_vertex({t, k});
      if (w == edge.start || w == edge.end || w == apex || !has_output_vertex(w)) continue;
      inner.insert(w);
    }
  }
  return inner;
}

void FrontalRemesher<2>::build_triangle(FrontEdge const& edge, CandidateSide const& side1,
                                        CandidateSide const& side2, unsigned int apex,
                                        absl::Span<unsigned int const> region) {
  output_vertex(apex, false);
  const unsigned int t = output_builder->create_triangle(
      {vertex_info->value(edge.start), vertex_info->value(edge.end), vertex_info->value(apex)});
  checked_at(macro_edge_sides, edge.macro_edge).second = t;
  link_adjacent_triangles(edge.end, edge.start, t, edge.macro_edge);
  for (const unsigned int covered : region) triangle_info_attribute->set_value(covered, t);
  const auto close_side = [&](CandidateSide const& side, unsigned int from, unsigned int to) {
    if (side.is_new) {
      add_front_edge(from, to, t, 1);
      return;
    }
    checked_at(macro_edge_sides, side.macro_edge).second = t;
    link_adjacent_triangles(from, to, t, side.macro_edge);
  };
  close_side(side1, edge.start, apex);
  close_side(side2, apex, edge.end);
  on_triangle_created(t, edge.start, edge.end, apex, region);
}

void FrontalRemesher<2>::rollback_candidate(CandidateSide const& side1, CandidateSide const& side2,
                                            absl::Span<unsigned int const> /*region*/) {
  // Nothing wrote "triangle info" for the region of a withdrawn candidate,
  // so it is left as it is: resetting it would uncover covered triangles.
  if (side1.is_new) unmark_macro_edge(side1);
  if (side2.is_new) unmark_macro_edge(side2);
}

}  // namespace detail
}  // namespace tarnix
