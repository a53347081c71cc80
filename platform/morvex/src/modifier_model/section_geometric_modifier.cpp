#include <morvex/modifier_model/section_geometric_modifier.h>

#include "model_edits.h"

namespace tarnix {

SectionGeometricModifier::SectionGeometricModifier(Section& section) : section_(section) {}

void SectionGeometricModifier::swap_edge(Surface<2> const& surface, PolygonEdge const& edge) {
  detail::swap_model_edge(section_, surface, edge);
}

SectionCollapsePolygonEdgeInfo SectionGeometricModifier::collapse_edge(Surface<2> const& surface,
                                                                       PolygonEdge const& edge,
                                                                       Point<2> const& point) {
  auto info = detail::collapse_model_edge(section_, surface, edge, point);
  if (touched_set_.insert(surface.id()).second) touched_.push_back(surface.id());
  return info;
}

SectionSplitPolygonEdgeInfo SectionGeometricModifier::split_edge(Surface<2> const& surface,
                                                                 PolygonEdge const& edge,
                                                                 Point<2> const& point) {
  auto info = detail::split_model_edge(section_, surface, edge, point);
  for (auto const& changed : info.surfaces) {
    if (touched_set_.insert(changed.first).second) touched_.push_back(changed.first);
  }
  return info;
}

void SectionGeometricModifier::move_point(index_t unique_vertex, Point<2> const& point) {
  detail::move_model_point(section_, unique_vertex, point);
}

bool SectionGeometricModifier::is_triangle_active(Surface<2> const& surface,
                                                  index_t triangle) const {
  return surface.get_mesh().is_polygon_active(triangle);
}

void SectionGeometricModifier::clean() {
  detail::clean_model_surfaces(section_, touched_);
  touched_.clear();
  touched_set_.clear();
}

SectionSimulationResult is_swap_edge_valid(Section const& section, Surface<2> const& surface,
                                           PolygonEdge const& edge) {
  return detail::section_result(detail::simulate_swap(section, surface, edge));
}

SectionSimulationResult is_collapse_edge_valid(Section const& section, Surface<2> const& surface,
                                               PolygonEdge const& edge, Point<2> const& point) {
  return detail::section_result(detail::simulate_collapse(section, surface, edge, point));
}

SectionSimulationResult is_split_edge_valid(Section const& section, Surface<2> const& surface,
                                            PolygonEdge const& edge, Point<2> const& point) {
  return detail::section_result(detail::simulate_split(section, surface, edge, point));
}

bool is_move_point_valid(Section const& section, index_t unique_vertex, Point<2> const& point) {
  return detail::simulate_move(section, unique_vertex, point);
}

bool detail::is_move_point_valid(Section const& section,
                                 absl::Span<const ComponentMeshVertex> linked,
                                 Surface<2> const& surface, index_t vertex,
                                 absl::Span<const PolygonVertex> fan,
                                 absl::Span<const FanNeighbour<2>> neighbours,
                                 Point<2> const& point) {
  return simulate_move(section, linked, point, WalkedFan<2>{surface, vertex, fan, neighbours});
}

void detail::move_point(Section& section, absl::Span<const ComponentMeshVertex> linked,
                        Point<2> const& point) {
  move_linked_points(section, linked, point);
}

template class detail::LinkedPointMover<Section, 2>;

}  // namespace tarnix
