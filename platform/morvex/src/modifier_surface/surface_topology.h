#pragma once

#include <array>

#include <absl/container/inlined_vector.h>

#include <ulvane/basic/common.h>
#include <ulvane/mesh/mesh_handles.h>
#include <ulvane/mesh/triangulated_surface.h>

namespace tarnix {
namespace detail {

inline local_index_t next_local(local_index_t local) {
  return static_cast<local_index_t>((local + 1) % 3);
}
inline local_index_t previous_local(local_index_t local) {
  return static_cast<local_index_t>((local + 2) % 3);
}

template <index_t D>
std::array<index_t, 3> triangle_vertices(TriangulatedSurface<D> const& mesh, index_t triangle) {
  return {{mesh.polygon_vertex({triangle, 0}), mesh.polygon_vertex({triangle, 1}),
           mesh.polygon_vertex({triangle, 2})}};
}

//! The local index of the vertex in the triangle, or NO_LID.
inline local_index_t local_of(std::array<index_t, 3> const& vertices, index_t vertex) {
  for (local_index_t v = 0; v < 3; ++v) {
    if (vertices[v] == vertex) return v;
  }
  return NO_LID;
}

//! The corners of one vertex's fan.
struct VertexFan {
  absl::InlinedVector<PolygonVertex, 10> corners;
  //! True when the fan is open: the vertex lies on the border there.
  bool on_border{false};
};

//! The fan of the corner's vertex that holds the corner: the active
//! triangles reached by turning across the edges at the vertex. Open fans
//! start at the triangle whose edge entering the vertex is on the border.
template <index_t D>
VertexFan fan_through(TriangulatedSurface<D> const& mesh, PolygonVertex const& start) {
  VertexFan fan;
  const index_t vertex = mesh.polygon_vertex(start);
  // A fan never holds more corners than the mesh has triangles; the bound
  // only guards against corrupted adjacencies.
  const index_t bound = mesh.nb_polygons();
  // The corner of `vertex` across the edge leaving (forward) or entering
  // (backward) it.
  const auto turn = [&mesh, vertex](PolygonVertex const& corner,
                                    bool forward) -> absl::optional<PolygonVertex> {
    const PolygonEdge crossed =
        forward ? PolygonEdge{corner} : mesh.previous_polygon_edge(PolygonEdge{corner});
    const auto twin = mesh.polygon_adjacent_edge(crossed);
    if (!twin || !mesh.is_polygon_active(twin->polygon_id)) return absl::nullopt;
    const PolygonVertex result = forward ? mesh.next_polygon_vertex(PolygonVertex{*twin})
                                         : PolygonVertex{*twin};
    if (mesh.polygon_vertex(result) != vertex) return absl::nullopt;
    return result;
  };

  PolygonVertex first = start;
  for (index_t step = 0; step < bound; ++step) {
    const auto previous = turn(first, false);
    if (!previous) {
      fan.on_border = true;
      break;
    }
    if (*previous == start) {
      first = start;
      break;
    }
    first = *previous;
  }
  fan.corners.push_back(first);
  PolygonVertex corner = first;
  while (fan.corners.size() < bound) {
    const auto next = turn(corner, true);
    if (!next) {
      fan.on_border = true;
      break;
    }
    if (*next == first) break;
    corner = *next;
    fan.corners.push_back(corner);
  }
  return fan;
}

}  // namespace detail
}  // namespace tarnix
