#include "brep/post_process_surfaces.h"

#include <algorithm>
#include <cmath>
#include <tuple>

#include <ulvane/basic/progress_logger.h>
#include <ulvane/basic/ulvane_exception.h>
#include <ulvane/geometry/basic_objects.h>
#include <ulvane/geometry/distance.h>

namespace tarnix {
namespace detail {

BRepSurfaceRelaxer::BRepSurfaceRelaxer(BRep& brep, Surface<3> const& relaxed_surface)
    : SurfaceRelaxer(brep, relaxed_surface, nullptr),
      local_points(mesh.vertex_attribute_manager()
                       .find_or_create_attribute<VariableAttribute, Point<2>>(
                           "2d", Point<2>{}, ATTRIBUTE_DERIVABLE)) {}

void BRepSurfaceRelaxer::post_process() {
  if (mesh.nb_polygons() == 0) return;
  initialise_relaxation();
  // The pass drains the triangle queue, the triangles its swaps queue
  // included. The vertices it queues are for a vertex pass, which the
  // post-processing does not run.
  swap_pass();
  modifier.clean();
}

bool BRepSurfaceRelaxer::prepare_smoothing(unsigned int vertex, Ring const& ring) {
  const auto normal = mesh.new_polygon_vertex_normal(vertex);
  if (!normal) return false;
  auto const& origin = mesh.point(vertex);
  const Plane plane{*normal, origin};
  auto const& n = plane.normal();
  const double h = plane.plane_constant();
  // A point of the plane other than the vertex, which fixes the first axis.
  Point<3> reference;
  for (index_t i = 0; i < 3; ++i) {
    if (std::fabs(n.value(i)) <= 1e-6) continue;
    const index_t j = (i + 1) % 3;
    const index_t k = (i + 2) % 3;
    reference.set_value(j, 1.0);
    reference.set_value(k, 1.0);
    reference.set_value(i, -(h + n.value(j) + n.value(k)) / n.value(i));
    break;
  }
  const Vector<3> u = Vector<3>{origin, reference}.normalize();
  const Vector<3> w = n.cross(u);
  local_points->set_value(vertex, Point<2>{});
  for (auto const& corner : ring) {
    const index_t neighbour = mesh.polygon_edge_vertex(PolygonEdge{corner}, 1);
    auto const& point = mesh.point(neighbour);
    const double length = point_point_distance(origin, point);
    const Point<3> projection = std::get<1>(point_plane_distance(point, plane));
    const Vector<3> radius = Vector<3>{origin, projection}.normalize() * length;
    local_points->set_value(neighbour, Point<2>{{radius.dot(u), radius.dot(w)}});
  }
  return true;
}

Point<2> const& BRepSurfaceRelaxer::local_point(unsigned int vertex) {
  return local_points->value(vertex);
}

bool BRepSurfaceRelaxer::is_swap_acceptable(SwapCandidate<3> const& candidate) {
  return is_swap_normal_valid(candidate) && is_swap_edge_unique(candidate);
}

bool BRepSurfaceRelaxer::is_swap_normal_valid(SwapCandidate<3> const& candidate) const {
  try {
    const index_t triangle = candidate.triangle.given.edge.polygon_id;
    const auto triangle_normal = mesh.new_polygon_normal(triangle);
    if (!triangle_normal) return true;
    const index_t neighbour = mesh.polygon_adjacent(candidate.triangle.given.edge).value();
    const auto neighbour_normal = mesh.new_polygon_normal(neighbour);
    if (!neighbour_normal) return true;
    if (triangle_normal->dot(*neighbour_normal) > 0.9) return true;
    const index_t p = candidate.triangle.given.vertex;
    const index_t q = candidate.triangle.next.vertex;
    const auto at_p = average_vertex_normal(p, triangle, neighbour);
    if (!at_p.valid) return false;
    if (at_p.nb_normals == 0) return true;
    const auto at_q = average_vertex_normal(q, triangle, neighbour);
    if (!at_q.valid) return false;
    if (at_q.nb_normals == 0) return true;
    const double before = std::min({triangle_normal->dot(at_q.normal),
                                    triangle_normal->dot(at_p.normal),
                                    neighbour_normal->dot(at_q.normal),
                                    neighbour_normal->dot(at_p.normal)});
    auto const& point_p = mesh.point(p);
    auto const& point_q = mesh.point(q);
    auto const& point_r = candidate.triangle.previous.point;
    auto const& point_s = candidate.neighbour.previous.point;
    // Each new triangle is compared with the mean normal at the end of the
    // edge it keeps: (R, P, S) with P, (S, Q, R) with Q.
    const Vector<3> normal_p =
        Vector<3>{point_p, point_s}.cross(Vector<3>{point_p, point_r}).normalize();
    const Vector<3> normal_q =
        Vector<3>{point_q, point_r}.cross(Vector<3>{point_q, point_s}).normalize();
    const double after = std::min(normal_p.dot(at_p.normal), normal_q.dot(at_q.normal));
    return !(before - 0.1 > after);
  } catch (UlvaneException const&) {
    return false;
  }
}

AveragedNormal BRepSurfaceRelaxer::average_vertex_normal(index_t vertex, index_t first,
                                                         index_t second) const {
  try {
    Vector<3> sum;
    std::uint32_t count = 0;
    for (auto const& corner : mesh.polygons_around_vertex(vertex)) {
      const index_t polygon = corner.polygon_id;
      if (polygon == first || polygon == second) continue;
      const auto normal = mesh.new_polygon_normal(polygon);
      if (!normal) continue;
      sum += *normal;
      ++count;
    }
    return AveragedNormal{true, count > 0 ? sum.normalize() : Vector<3>{}, count};
  } catch (UlvaneException const&) {
    return AveragedNormal{false, Vector<3>{}, 0};
  }
}

bool BRepSurfaceRelaxer::is_swap_edge_unique(SwapCandidate<3> const& candidate) const {
  const index_t r = mesh.polygon_vertex(PolygonVertex{candidate.triangle.previous.edge});
  const index_t s = mesh.polygon_vertex(PolygonVertex{candidate.neighbour.previous.edge});
  const ComponentType surface_type = Surface<3>::component_type_static();
  const ComponentID own{surface_type, surface.id()};
  const index_t unique_r = model.unique_vertex({own, r});
  const index_t unique_s = model.unique_vertex({own, s});
  const auto at_r = model.component_mesh_vertices(unique_r, surface_type);
  const auto at_s = model.component_mesh_vertices(unique_s, surface_type);
  for (auto const& shared : model.component_mesh_vertex_pairs(at_r, at_s)) {
    if (shared.first.type() == surface_type && shared.first.id() == surface.id()) continue;
    auto const& other = model.surface(shared.first.id()).get_mesh();
    for (auto const& pair : shared.second) {
      if (!other.polygons_from_edge_vertices(pair).empty()) return false;
    }
  }
  return true;
}

void post_process_surfaces(RemeshingData<BRep, 3>& data) {
  ProgressLogger logger{"Post-process Surfaces", data.output.nb_surfaces()};
  for (auto const& surface : data.output.surfaces()) {
    BRepSurfaceRelaxer relaxer{data.output, surface};
    relaxer.post_process();
    logger.increment();
  }
}

}  // namespace detail
}  // namespace tarnix
