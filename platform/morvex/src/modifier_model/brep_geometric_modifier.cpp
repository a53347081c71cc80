#include <morvex/modifier_model/brep_geometric_modifier.h>

#include "model_edits.h"

namespace tarnix {

BRepGeometricModifier::BRepGeometricModifier(BRep& brep) : brep_(brep) {}

void BRepGeometricModifier::swap_edge(Surface<3> const& surface, PolygonEdge const& edge) {
  detail::swap_model_edge(brep_, surface, edge);
}

BRepCollapsePolygonEdgeInfo BRepGeometricModifier::collapse_edge(Surface<3> const& surface,
                                                                       PolygonEdge const& edge,
                                                                       Point<3> const& point) {
  auto info = detail::collapse_model_edge(brep_, surface, edge, point);
  if (touched_set_.insert(surface.id()).second) touched_.push_back(surface.id());
  return info;
}

BRepSplitPolygonEdgeInfo BRepGeometricModifier::split_edge(Surface<3> const& surface,
                                                                 PolygonEdge const& edge,
                                                                 Point<3> const& point) {
  auto info = detail::split_model_edge(brep_, surface, edge, point);
  for (auto const& changed : info.surfaces) {
    if (touched_set_.insert(changed.first).second) touched_.push_back(changed.first);
  }
  return info;
}

void BRepGeometricModifier::move_point(index_t unique_vertex, Point<3> const& point) {
  detail::move_model_point(brep_, unique_vertex, point);
}

bool BRepGeometricModifier::is_triangle_active(Surface<3> const& surface,
                                                  index_t triangle) const {
  return surface.get_mesh().is_polygon_active(triangle);
}

void BRepGeometricModifier::clean() {
  detail::clean_model_surfaces(brep_, touched_);
  touched_.clear();
  touched_set_.clear();
}

BRepSimulationResult is_swap_edge_valid(BRep const& brep, Surface<3> const& surface,
                                           PolygonEdge const& edge) {
  return detail::brep_result(detail::simulate_swap(brep, surface, edge));
}

BRepSimulationResult is_collapse_edge_valid(BRep const& brep, Surface<3> const& surface,
                                               PolygonEdge const& edge, Point<3> const& point) {
  return detail::brep_result(detail::simulate_collapse(brep, surface, edge, point));
}

BRepSimulationResult is_split_edge_valid(BRep const& brep, Surface<3> const& surface,
                                            PolygonEdge const& edge, Point<3> const& point) {
  return detail::brep_result(detail::simulate_split(brep, surface, edge, point));
}

bool is_move_point_valid(BRep const& brep, index_t unique_vertex, Point<3> const& point) {
  return detail::simulate_move(brep, unique_vertex, point);
}

bool detail::is_move_point_valid(BRep const& brep,
                                 absl::Span<const ComponentMeshVertex> linked,
                                 Surface<3> const& surface, index_t vertex,
                                 absl::Span<const PolygonVertex> fan,
                                 absl::Span<const FanNeighbour<3>> neighbours,
                                 Point<3> const& point) {
  return simulate_move(brep, linked, point, WalkedFan<3>{surface, vertex, fan, neighbours});
}

void detail::move_point(BRep& brep, absl::Span<const ComponentMeshVertex> linked,
                        Point<3> const& point) {
  move_linked_points(brep, linked, point);
}

template class detail::LinkedPointMover<BRep, 3>;

}  // namespace tarnix
