// Blocks bounded by fewer than four triangles cannot be meshed: the single
// triangle of each of their one-triangle boundary surfaces is split first.

#include <memory>
#include <string>

#include <absl/container/flat_hash_set.h>

#include <ulvane/basic/ulvane_exception.h>
#include <ulvane/geometry/basic_objects.h>
#include <ulvane/geometry/distance.h>
#include <ulvane/geometry/intersection.h>
#include <ulvane/mesh/mesh_builder_factory.h>
#include <ulvane/mesh/triangulated_surface_builder.h>
#include <ulvane/model/brep_builder.h>

#include <morvex/modifier_surface.h>

#include "brep/aabb_traversal.h"
#include "brep/repair/surface_intersection_repairer.h"

namespace tarnix {
namespace detail {

void SurfaceIntersectionRepairer::repair_small_blocks() {
  absl::flat_hash_set<uuid> to_split;
  for (auto const& block : output.blocks()) {
    index_t nb_triangles = 0;
    for (auto const& boundary : output.boundaries(block)) {
      nb_triangles += boundary.mesh().nb_polygons();
      if (nb_triangles > 3) break;
    }
    if (nb_triangles < 4) {
      for (auto const& boundary : output.boundaries(block)) {
        if (boundary.mesh().nb_polygons() == 1) to_split.insert(boundary.id());
      }
    }
    progress.increment();
  }
  for (auto const& id : to_split) split_single_triangle_surface(output.surface(id));
}

void SurfaceIntersectionRepairer::split_single_triangle_surface(Surface<3> const& surface) {
  auto const& mesh = dynamic_cast<TriangulatedSurface<3> const&>(surface.mesh());
  auto const& input_mesh = dynamic_cast<TriangulatedSurface<3> const&>(
      input.surface(input_surface_id(remeshing_data, surface).id()).mesh());
  const Point<3> barycenter = mesh.polygon_barycenter(0);
  const Vector<3> normal = mesh.polygon_normal(0);
  const auto along = cast_ray_on_input_surface(surface, input_mesh, normal, barycenter);
  const auto against = cast_ray_on_input_surface(surface, input_mesh, normal * -1.0, barycenter);
  Point<3> point;
  if (along && against) {
    point = point_point_distance(*along, barycenter) < point_point_distance(*against, barycenter)
                ? *along
                : *against;
  } else if (along) {
    point = *along;
  } else if (against) {
    point = *against;
  } else {
    DistanceToTriangle<3> distance{input_mesh};
    point = std::get<1>(input_surface_tree(surface).closest_element(barycenter, distance));
  }
  split_triangle_at(surface, point);
}

absl::optional<Point<3>> SurfaceIntersectionRepairer::cast_ray_on_input_surface(
    Surface<3> const& surface, TriangulatedSurface<3> const& input_mesh,
    Vector<3> const& direction, Point<3> const& origin) {
  const InfiniteLine<3> line{direction, origin};
  RayTracing3D tracer{input_mesh, line};
  line_intersect(input_surface_tree(surface), line, tracer);
  const auto hit = tracer.closest_polygon();
  if (!hit) return absl::nullopt;
  const auto intersection = line_triangle_intersection(line, input_mesh.triangle(hit->polygon));
  if (intersection.type != IntersectionType::intersect) return absl::nullopt;
  return intersection.result;
}

void SurfaceIntersectionRepairer::split_triangle_at(Surface<3> const& surface,
                                                    Point<3> const& point) {
  auto const& mesh = dynamic_cast<TriangulatedSurface<3> const&>(surface.mesh());
  BRepBuilder builder{output};
  auto& modifiable_mesh = dynamic_cast<TriangulatedSurface<3>&>(
      builder.modifiable_surface(surface.id()).get_modifiable_mesh());
  const std::string key = modifiable_mesh.impl_name();
  std::unique_ptr<VertexSetBuilder> mesh_builder = MeshBuilderFactory::create(key, modifiable_mesh);
  auto* surface_builder = dynamic_cast<TriangulatedSurfaceBuilder<3>*>(mesh_builder.get());
  if (surface_builder == nullptr) {
    throw UlvaneException("Cannot create mesh builder with key: ", key);
  }
  TriangulatedSurfaceModifier<3> surface_modifier{mesh, *surface_builder};
  const index_t vertex = surface_modifier.split_triangle(0, point).vertex;
  builder.set_unique_vertex({surface.component_id(), vertex}, builder.create_unique_vertex());
  surface_modifier.clean_triangles();
  output_surface_trees.at(surface.id()).reset();
}

}  // namespace detail
}  // namespace tarnix
