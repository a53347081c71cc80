#include "driver/region_transfer.h"

#include <algorithm>
#include <array>
#include <vector>

#include <absl/container/flat_hash_map.h>
#include <absl/container/inlined_vector.h>

namespace tarnix {
namespace detail {

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
    for (auto const t : group.second) marks[t] = true;
    any = true;
  }
  if (!any) return;
  output_builder.delete_polygons(marks);
  output_builder.delete_isolated_vertices();
  output_builder.compute_polygon_adjacencies();
}

}  // namespace detail
}  // namespace tarnix
