#include "brep/repair/surface_intersection_repairer.h"

#include <algorithm>
#include <array>
#include <string>
#include <utility>

#include <absl/strings/str_cat.h>

#include <ulvane/basic/logger.h>
#include <ulvane/geometry/basic_objects.h>
#include <ulvane/geometry/intersection.h>
#include <ulvane/geometry/position.h>

#include "brep/aabb_traversal.h"
#include "brep/repair_surface_intersections.h"

namespace tarnix {
namespace detail {
namespace {

TriangulatedSurface<3> const& triangulated(SurfaceMesh<3> const& mesh) {
  return dynamic_cast<TriangulatedSurface<3> const&>(mesh);
}

//! The two unique vertices of an edge, ascending.
std::array<index_t, 2> sorted_unique_vertices(BRep const& model, ComponentID const& component,
                                              TriangulatedSurface<3> const& mesh,
                                              PolygonEdge const& edge) {
  const auto vertices = mesh.polygon_edge_vertices(edge);
  std::array<index_t, 2> unique{{model.unique_vertex({component, vertices[0]}),
                                 model.unique_vertex({component, vertices[1]})}};
  if (unique[1] < unique[0]) std::swap(unique[0], unique[1]);
  return unique;
}

//! The triangle of O that a finding names.
index_t other_triangle(DuplicatedEdgePair const& pair) { return pair.other_edge.polygon_id; }
index_t other_triangle(EdgeTriangleCrossing const& crossing) { return crossing.triangle; }

//! The repair of one finding. \return the surfaces changed.
absl::flat_hash_set<uuid> repair_finding(SurfaceIntersectionRepairer& repairer,
                                         Surface<3> const& surface, Surface<3> const& other,
                                         DuplicatedEdgePair const& pair) {
  return DuplicatedEdgePairRepair{repairer, surface, pair.edge, other, pair.other_edge}
      .repair_duplicated_edge_pair();
}
absl::flat_hash_set<uuid> repair_finding(SurfaceIntersectionRepairer& repairer,
                                         Surface<3> const& surface, Surface<3> const& other,
                                         EdgeTriangleCrossing const& crossing) {
  return CrossingEdgesRepair{repairer, surface, crossing.edge, other, crossing.triangle}
      .repair_crossing_edges();
}

}  // namespace

ComponentID input_surface_id(RemeshingData<BRep, 3> const& data, Surface<3> const& surface) {
  return {Surface<3>::component_type_static(),
          input_uuid_of(data.input_to_output.at(Surface<3>::component_type_static()),
                        surface.id())};
}

ComponentID input_line_id(RemeshingData<BRep, 3> const& data, Line<3> const& line) {
  return {Line<3>::component_type_static(),
          input_uuid_of(data.input_to_output.at(Line<3>::component_type_static()), line.id())};
}

uuid const& input_uuid_of(BijectiveMapping const& mapping, uuid const& output_id) {
  return mapping.out2in(output_id);
}

SurfaceIntersectionRepairer::SurfaceIntersectionRepairer(RemeshingData<BRep, 3>& data,
                                                         RepairLimits repair_limits)
    : remeshing_data(data),
      input(data.input),
      output(data.output),
      modifier(data.output),
      progress("Repairing surface intersections",
               data.output.nb_blocks() + data.output.nb_surfaces()),
      limits(repair_limits),
      split_budget(limits.min_split_budget) {
  index_t nb_triangles = 0;
  for (auto const& surface : output.surfaces()) nb_triangles += surface.mesh().nb_polygons();
  split_budget = std::max(split_budget, nb_triangles);
  input_line_trees.reserve(input.nb_lines());
  for (auto const& line : output.lines()) input_line_trees.emplace(line.id(), absl::nullopt);
  input_surface_trees.reserve(input.nb_surfaces());
  output_surface_trees.reserve(input.nb_surfaces());
  for (auto const& surface : output.surfaces()) {
    input_surface_trees.emplace(surface.id(), absl::nullopt);
    output_surface_trees.emplace(surface.id(), create_aabb_tree<3>(triangulated(surface.mesh())));
  }
}

BRepSplitPolygonEdgeInfo SurfaceIntersectionRepairer::split_edge(Surface<3> const& surface,
                                                                 PolygonEdge const& edge,
                                                                 Point<3> const& point) {
  auto info = modifier.split_edge(surface, edge, point);
  if (++nb_splits == split_budget) {
    Logger::log_warn("[repair_surface_intersections] No more splits after ", split_budget,
                     " splits");
  }
  return info;
}

index_t SurfaceIntersectionRepairer::max_passes() const {
  return limits.max_passes_base + 2 * output.nb_surfaces();
}

AABBTree<3> const& SurfaceIntersectionRepairer::input_surface_tree(Surface<3> const& surface) {
  auto& slot = input_surface_trees.at(surface.id());
  if (!slot) {
    auto const& input_surface = input.surface(input_surface_id(remeshing_data, surface).id());
    slot.emplace(create_aabb_tree<3>(triangulated(input_surface.mesh())));
  }
  return *slot;
}

AABBTree<3> const& SurfaceIntersectionRepairer::input_line_tree(Line<3> const& line) {
  auto& slot = input_line_trees.at(line.id());
  if (!slot) {
    auto const& input_line = input.line(input_line_id(remeshing_data, line).id());
    slot.emplace(create_aabb_tree<3>(input_line.mesh()));
  }
  return *slot;
}

AABBTree<3> const& SurfaceIntersectionRepairer::output_surface_tree(Surface<3> const& surface) {
  auto& slot = output_surface_trees.at(surface.id());
  if (!slot) slot.emplace(create_aabb_tree<3>(triangulated(surface.mesh())));
  return *slot;
}

void SurfaceIntersectionRepairer::drop_output_trees(absl::flat_hash_set<uuid> const& surfaces) {
  for (auto const& id : surfaces) output_surface_trees.at(id).reset();
}

std::string SurfaceIntersectionRepairer::surface_text(Surface<3> const& surface) const {
  return input_surface_id(remeshing_data, surface).string();
}

bool SurfaceIntersectionRepairer::repair_pass() {
  // The steps of the next pass are announced as soon as it is known to
  // come, so that the count never reaches the total early; a pass that the
  // bound will not run is not announced.
  const bool next_pass_allowed = nb_passes + 1 < max_passes();
  bool repaired = false;
  for (auto const& surface : output.surfaces()) {
    Logger::log_debug("surface ", surface_text(surface));
    const bool found = repair_surface_against_others(surface);
    if (found && !repaired && next_pass_allowed) {
      for (index_t step = 0; step < output.nb_surfaces(); ++step) progress.increment_nb_steps();
    }
    if (found) repaired = true;
    progress.increment();
  }
  ++nb_passes;
  return repaired;
}

template <typename Finding>
absl::flat_hash_set<uuid> SurfaceIntersectionRepairer::repair_findings(
    char const* prefix, Surface<3> const& surface, Surface<3> const& other_surface,
    std::vector<Finding> const& findings) {
  Logger::log_info(prefix, surface_text(other_surface));
  absl::flat_hash_set<uuid> changed;
  for (auto const& finding : findings) {
    if (!modifier.is_triangle_active(surface, finding.edge.polygon_id) ||
        !modifier.is_triangle_active(other_surface, other_triangle(finding))) {
      continue;
    }
    const auto modified = repair_finding(*this, surface, other_surface, finding);
    drop_output_trees(modified);
    changed.insert(modified.begin(), modified.end());
  }
  modifier.clean();
  return changed;
}

bool SurfaceIntersectionRepairer::repair_surface_against_others(Surface<3> const& surface) {
  for (auto const& other_surface : output.surfaces()) {
    bool pair_repaired = false;
    for (index_t sweep = 0;; ++sweep) {
      SurfaceIntersectionDetector detector{*this, surface, other_surface};
      auto const& other_tree = output_surface_tree(other_surface);
      auto const& tree = output_surface_tree(surface);
      box_pair_intersect(tree, other_tree, detector);
      if (detector.duplicated_edges.empty() && detector.crossings.empty()) break;

      // Duplicated edges go first. Once their repairs have changed the
      // meshes, the crossings are found again by the next sweep; when they
      // changed nothing, the crossings of this sweep still hold and are
      // repaired now.
      absl::flat_hash_set<uuid> changed;
      if (!detector.duplicated_edges.empty()) {
        changed = repair_findings("other_surface duplicated ", surface, other_surface,
                                  detector.duplicated_edges);
      }
      if (changed.empty() && !detector.crossings.empty()) {
        changed = repair_findings("other_surface intersection ", surface, other_surface,
                                  detector.crossings);
      }

      // A sweep whose repairs changed nothing would be repeated unchanged in
      // every later sweep and pass: the pair is left as it is, and counts as
      // repaired only when an earlier sweep changed the model.
      if (changed.empty()) {
        const auto left = [&](std::size_t count, char const* kind) {
          if (count == 0) return;
          Logger::log_warn("[repair_surface_intersections] ", count, " ", kind,
                           " left unrepaired between ", surface_text(surface), " and ",
                           surface_text(other_surface));
        };
        left(detector.duplicated_edges.size(), "duplicated edges");
        left(detector.crossings.size(), "crossing edges");
        break;
      }
      pair_repaired = true;
      if (sweep + 1 == limits.max_sweeps_per_pair) {
        Logger::log_info("[repair_surface_intersections] Stopped after ",
                         limits.max_sweeps_per_pair, " sweeps between ", surface_text(surface),
                         " and ", surface_text(other_surface));
        break;
      }
    }
    if (pair_repaired) return true;
  }
  return false;
}

SurfaceIntersectionDetector::SurfaceIntersectionDetector(SurfaceIntersectionRepairer& owner,
                                                         Surface<3> const& s,
                                                         Surface<3> const& o)
    : repairer(owner),
      surface(s),
      other_surface(o),
      surface_mesh(triangulated(s.mesh())),
      other_surface_mesh(triangulated(o.mesh())),
      same_surface(s.id() == o.id()) {}

void SurfaceIntersectionDetector::operator()(index_t p, index_t t) {
  if (same_surface) {
    if (t == p) return;
    for (local_index_t e = 0; e < 3; ++e) {
      const auto adjacent = surface_mesh.polygon_adjacent({p, e});
      if (adjacent && *adjacent == t) return;
    }
  }
  const Triangle<3> triangle = other_surface_mesh.triangle(t);
  for (local_index_t e = 0; e < 3; ++e) {
    const PolygonEdge edge{p, e};
    const auto adjacent = surface_mesh.polygon_adjacent(edge);
    // An interior edge is tested with the larger-indexed of its triangles.
    if (adjacent && *adjacent > p) continue;
    const Segment<3> segment{surface_mesh.point(surface_mesh.polygon_edge_vertex(edge, 0)),
                             surface_mesh.point(surface_mesh.polygon_edge_vertex(edge, 1))};
    const auto position = segment_triangle_intersection_detection(segment, triangle);
    if (position.first == Position::inside || position.second == Position::inside) {
      crossings.push_back({edge, t});
      continue;
    }
    if (position.first != Position::parallel) continue;
    const auto unique = sorted_unique_vertices(repairer.output, surface.component_id(),
                                               surface_mesh, edge);
    const ComponentID other_id = other_surface.component_id();
    for (local_index_t j = 0; j < 3; ++j) {
      const PolygonEdge other_edge{t, j};
      if (sorted_unique_vertices(repairer.output, other_id, other_surface_mesh, other_edge) !=
          unique) {
        continue;
      }
      if (!adjacent && other_surface_mesh.is_edge_on_border(other_edge)) continue;
      duplicated_edges.push_back({edge, other_edge});
    }
  }
}

SurfacePairRepair::SurfacePairRepair(SurfaceIntersectionRepairer& owner, Surface<3> const& s,
                                     PolygonEdge const& edge, Surface<3> const& o)
    : repairer(owner),
      surface(s),
      surface_mesh(triangulated(s.mesh())),
      input_mesh(triangulated(
          owner.input.surface(input_surface_id(owner.remeshing_data, s).id()).mesh())),
      edges{edge},
      other_surface(o),
      other_surface_mesh(triangulated(o.mesh())),
      other_input_mesh(triangulated(
          owner.input.surface(input_surface_id(owner.remeshing_data, o).id()).mesh())) {}

DuplicatedEdgePairRepair::DuplicatedEdgePairRepair(SurfaceIntersectionRepairer& owner,
                                                   Surface<3> const& s,
                                                   PolygonEdge const& edge,
                                                   Surface<3> const& o,
                                                   PolygonEdge const& other)
    : SurfacePairRepair(owner, s, edge, o), other_edge(other) {}

CrossingEdgesRepair::CrossingEdgesRepair(SurfaceIntersectionRepairer& owner,
                                         Surface<3> const& s, PolygonEdge const& edge,
                                         Surface<3> const& o, index_t other_triangle)
    : SurfacePairRepair(owner, s, edge, o),
      other_edges{{other_triangle, 0}, {other_triangle, 1}, {other_triangle, 2}} {}

void repair_surface_intersections(RemeshingData<BRep, 3>& data) {
  SurfaceIntersectionRepairer repairer{data};
  repairer.repair_small_blocks();
  while (repairer.repair_pass()) {
    if (repairer.nb_passes_run() == repairer.max_passes()) {
      Logger::log_warn("[repair_surface_intersections] Stopped after ", repairer.max_passes(),
                       " passes with repairs left to do");
      break;
    }
  }
}

}  // namespace detail
}  // namespace tarnix
