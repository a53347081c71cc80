// The remeshed result and the regions the front left open.

#include <tarnix/surface2d/frontal_remesher.h>

#include <common/variable_attribute.h>
#include <ulvane/basic/ulvane_exception.h>

namespace tarnix {
namespace detail {
namespace {

// "triangle info" of an input triangle taken into an unmeshed region.
constexpr unsigned int IN_REGION = 0xFFFFFFFE;
// Longest walk of open macro edges before it is cut.
constexpr unsigned int MAX_CYCLE_WALK = 1000;

// Makes input vertex w a region vertex; returns its region id.
unsigned int region_vertex(TriangulatedSurface<2> const& input,
                           TriangulatedSurfaceBuilder<2>& builder, RegionIndexMap& vertex_map,
                           unsigned int w) {
  const auto inserted =
      vertex_map.try_emplace(w, static_cast<unsigned int>(vertex_map.size()));
  if (inserted.second) builder.create_point(input.point(w));
  return inserted.first->second;
}

}  // namespace

RemeshedSurface<2> FrontalRemesher<2>::build_remeshed_surface() {
  RemeshedSurface<2> result;
  result.mesh = std::move(output_mesh);
  result.vertex_origins = std::move(vertex_origins);
  for (auto const& cycle : open_macro_edge_cycles()) {
    if (auto region = extract_region(cycle)) {
      result.unmeshed_regions.push_back(std::move(*region));
    }
  }
  complete_result(result);
  return result;
}

MacroEdgeCycles FrontalRemesher<2>::open_macro_edge_cycles() const {
  std::vector<unsigned int> open;
  absl::flat_hash_map<unsigned int, absl::InlinedVector<unsigned int, 4>> by_start;
  for (unsigned int i = 0; i < macro_edge_sides.size(); ++i) {
    if (macro_edge_sides[i].second != NO_ID) continue;
    open.push_back(i);
    by_start[modifier.updated_vertex(checked_at(macro_edges, i)[0])].push_back(i);
  }
  std::vector<bool> visited(macro_edges.size(), false);
  MacroEdgeCycles cycles;
  for (const unsigned int u : open) {
    if (visited[u]) continue;
    std::vector<unsigned int> walk;
    unsigned int current = u;
    while (true) {
      visited[current] = true;
      walk.push_back(current);
      if (walk.size() >= MAX_CYCLE_WALK) break;
      const unsigned int e = modifier.updated_vertex(macro_edges[current][1]);
      // An open macro edge may end where no open macro edge starts (an
      // open area that reaches a border without macro edges): the walk then
      // ends open, and the region is filled up to that border.
      const auto candidates = by_start.find(e);
      if (candidates == by_start.end()) break;
      unsigned int next = NO_ID;
      for (const unsigned int c : candidates->second) {
        if (!visited[c]) {
          next = c;
          break;
        }
      }
      if (next == NO_ID) break;
      current = next;
    }

    // Cut the walk into simple cycles at its repeated start vertices.
    std::vector<bool> taken(walk.size(), false);
    absl::flat_hash_map<unsigned int, unsigned int> position;
    for (unsigned int j = 0; j < walk.size(); ++j) {
      const unsigned int s = modifier.updated_vertex(macro_edges[walk[j]][0]);
      const auto found = position.find(s);
      if (found != position.end()) {
        const unsigned int k = found->second;
        std::vector<unsigned int> cycle;
        for (unsigned int q = k; q < j; ++q) {
          if (taken[q]) continue;
          cycle.push_back(walk[q]);
          position.erase(modifier.updated_vertex(macro_edges[walk[q]][0]));
        }
        for (unsigned int q = k; q < j; ++q) taken[q] = true;
        cycles.push_back(std::move(cycle));
      }
      position[s] = j;
    }
    std::vector<unsigned int> rest;
    for (unsigned int j = 0; j < walk.size(); ++j) {
      if (!taken[j]) rest.push_back(walk[j]);
    }
    cycles.push_back(std::move(rest));
  }
  return cycles;
}

absl::optional<UnmeshedRegion> FrontalRemesher<2>::extract_region(
    absl::Span<unsigned int const> cycle) {
  UnmeshedRegion region;
  region.mesh = TriangulatedSurface<2>::create();
  auto builder = TriangulatedSurfaceBuilder<2>::create(*region.mesh);
  region.boundary_chains.reserve(cycle.size());
  RegionIndexMap vertex_map;
  RegionIndexMap triangle_map;
  RegionIndexMap ring_seeds;
  std::vector<unsigned int> work;

  for (const unsigned int m : cycle) {
    auto const& macro_edge = checked_at(macro_edges, m);
    const unsigned int f = modifier.updated_vertex(macro_edge[0]);
    const unsigned int g = modifier.updated_vertex(macro_edge[1]);
    const auto chain = follow_chain(macro_edge_edges_around(m, g).at(0), m, f);
    region.boundary_chains.emplace_back();
    auto& list = region.boundary_chains.back();
    list.push_back(region_vertex(input_mesh, *builder, vertex_map, g));
    for (auto const& q : chain) {
      const auto vertices = input_mesh.polygon_edge_vertices(q.edge);
      const unsigned int r0 = region_vertex(input_mesh, *builder, vertex_map, vertices[0]);
      const unsigned int r1 = region_vertex(input_mesh, *builder, vertex_map, vertices[1]);
      list.push_back(q.forward ? r1 : r0);
      const auto across = input_mesh.polygon_adjacent(q.edge);
      const unsigned int inside = across ? *across : q.edge.polygon_id;
      if (triangle_info_attribute->value(inside) == NO_ID) {
        work.push_back(inside);
      } else {
        ring_seeds.try_emplace(vertices[0], r0);
        ring_seeds.try_emplace(vertices[1], r1);
      }
    }
  }

  while (!work.empty()) {
    const unsigned int t = work.back();
    work.pop_back();
    if (triangle_info_attribute->value(t) != NO_ID) continue;
    triangle_info_attribute->set_value(t, IN_REGION);
    const unsigned int r = copy_triangle_to_region(*builder, triangle_map, vertex_map, t);
    for (local_index_t i = 0; i < 3; ++i) {
      const PolygonEdge edge{t, i};
      if (carries_macro_edge(edge)) continue;
      const auto across = input_mesh.polygon_adjacent_edge(edge);
      if (!across) continue;
      const unsigned int u = across->polygon_id;
      const unsigned int info = triangle_info_attribute->value(u);
      if (info == IN_REGION) {
        const unsigned int h = triangle_map.at(u);
        builder->set_polygon_adjacent({r, i}, h);
        builder->set_polygon_adjacent({h, across->edge_id}, r);
      } else if (info == NO_ID) {
        work.push_back(u);
      }
    }
  }
  if (region.mesh->nb_polygons() == 0) return absl::nullopt;

  for (auto const& seed : ring_seeds) {
    for (auto const& corner : input_mesh.polygons_around_vertex(seed.first)) {
      if (triangle_map.contains(corner.polygon_id)) continue;
      region.ring_triangles.push_back(
          copy_triangle_to_region(*builder, triangle_map, vertex_map, corner.polygon_id));
    }
  }

  const auto n = static_cast<unsigned int>(vertex_map.size());
  region.to_output_vertex.assign(n, NO_ID);
  region.to_input_vertex.assign(n, NO_ID);
  for (auto const& entry : vertex_map) {
    region.to_input_vertex[entry.second] = entry.first;
    const unsigned int output = vertex_info->value(entry.first);
    if (output != NO_ID) region.to_output_vertex[entry.second] = output;
  }
  builder->compute_polygon_adjacencies();
  return region;
}

unsigned int FrontalRemesher<2>::copy_triangle_to_region(TriangulatedSurfaceBuilder<2>& builder,
                                                         RegionIndexMap& triangle_map,
                                                         RegionIndexMap& vertex_map,
                                                         unsigned int t) const {
  const auto found = triangle_map.find(t);
  if (found != triangle_map.end()) return found->second;
  const auto id = static_cast<unsigned int>(triangle_map.size());
  triangle_map.emplace(t, id);
  std::array<unsigned int, 3> vertices;
  for (local_index_t k = 0; k < 3; ++k) {
    vertices[k] = region_vertex(input_mesh, builder, vertex_map, input_mesh.polygon_vertex({t, k}));
  }
  builder.create_triangle(vertices);
  return id;
}

}  // namespace detail
}  // namespace tarnix
