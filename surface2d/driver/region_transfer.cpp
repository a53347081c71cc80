#include "driver/region_transfer.h"

#include <algorithm>
#include <array>
#include <vector>

#include <absl/container/flat_hash_map.h>
#include <absl/container/inlined_vector.h>

#include <ulvane/geometry/predicates.h>

namespace tarnix {
namespace detail {
namespace {

bool is_counter_clockwise(TriangulatedSurface<2> const& mesh, index_t triangle) {
  return orientation_2d(mesh.point(mesh.polygon_vertex({triangle, 0})),
                        mesh.point(mesh.polygon_vertex({triangle, 1})),
                        mesh.point(mesh.polygon_vertex({triangle, 2}))) == Sign::positive;
}

}  // namespace

void delete_duplicate_triangles(TriangulatedSurface<2> const& output_mesh,
                                TriangulatedSurfaceBuilder<2>& output_builder) {
  absl::flat_hash_map<std::array<unsigned int, 3>, absl::InlinedVector<unsigned int, 2>> groups;
  for (index_t t = 0; t < output_mesh.nb_polygons(); ++t) {
    std::array<unsigned int, 3> key{};
    for (local_index_t v = 0; v < 3; ++v) key[v] = output_mesh.polygon_vertex({t, v});
    std::sort(key.begin(), key.end());
    groups[key].push_back(t);
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
  output_builder.delete_isolated_vertices();
  output_builder.compute_polygon_adjacencies();
}

}  // namespace detail
}  // namespace tarnix
