#include "brep_checks.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include <absl/strings/match.h>
#include <absl/strings/str_cat.h>

#include <ulvane/geometry/aabb.h>
#include <ulvane/mesh/triangulated_surface.h>
#include <ulvane/model/brep.h>
#include <vantrel/core.h>

#include "brep/aabb_traversal.h"
#include "brep/repair/surface_intersection_repairer.h"
#include "model/model_validity.h"

namespace tarnix {
namespace stress {
namespace {

TriangulatedSurface<3> const& triangulated(Surface<3> const& surface) {
  return dynamic_cast<TriangulatedSurface<3> const&>(surface.mesh());
}

//! The text of a component: its points with their unique vertices, then
//! the vertices of each element.
template <typename Component, typename Elements>
std::string describe(BRep const& brep, Component const& component, Elements const& elements) {
  auto const& mesh = component.mesh();
  std::string text = component.component_id().string();
  for (index_t v = 0; v < mesh.nb_vertices(); ++v) {
    auto const& point = mesh.point(v);
    absl::StrAppend(&text, " v", v, "(", point.value(0), ",", point.value(1), ",", point.value(2),
                    ")u", brep.unique_vertex({component.component_id(), v}));
  }
  elements(mesh, text);
  return text;
}

}  // namespace

BRepSnapshot::BRepSnapshot(BRep const& brep) {
  const auto no_elements = [](auto const&, std::string&) {};
  for (auto const& corner : brep.corners()) {
    components_.push_back(describe(brep, corner, no_elements));
  }
  for (auto const& line : brep.lines()) {
    components_.push_back(describe(brep, line, [](EdgedCurve<3> const& mesh, std::string& text) {
      for (index_t e = 0; e < mesh.nb_edges(); ++e) {
        absl::StrAppend(&text, " e", mesh.edge_vertex({e, 0}), "-", mesh.edge_vertex({e, 1}));
      }
    }));
  }
  for (auto const& surface : brep.surfaces()) {
    components_.push_back(
        describe(brep, surface, [](SurfaceMesh<3> const& mesh, std::string& text) {
          absl::StrAppend(&text, " ", mesh.type_name());
          for (index_t p = 0; p < mesh.nb_polygons(); ++p) {
            absl::StrAppend(&text, " p");
            for (local_index_t k = 0; k < mesh.nb_polygon_vertices(p); ++k) {
              absl::StrAppend(&text, k == 0 ? "" : "-", mesh.polygon_vertex({p, k}));
            }
          }
        }));
  }
  for (auto const& block : brep.blocks()) {
    std::string text = block.component_id().string();
    for (auto const& boundary : brep.boundaries(block)) absl::StrAppend(&text, " ", boundary.id().string());
    components_.push_back(text);
  }
  components_.push_back(absl::StrCat(brep.nb_unique_vertices(), " unique vertices"));
}

std::vector<std::string> BRepSnapshot::differences(BRep const& brep) const {
  const BRepSnapshot now{brep};
  std::vector<std::string> found;
  if (now.components_.size() != components_.size()) {
    found.push_back(absl::StrCat("input has ", now.components_.size(), " parts, had ",
                                 components_.size()));
    return found;
  }
  for (std::size_t k = 0; k < components_.size(); ++k) {
    if (now.components_[k] == components_[k]) continue;
    const auto at = std::mismatch(components_[k].begin(), components_[k].end(),
                                  now.components_[k].begin(), now.components_[k].end());
    const auto offset = static_cast<std::size_t>(at.first - components_[k].begin());
    found.push_back(absl::StrCat("input changed: ", components_[k].substr(0, 60), "... at \"",
                                 components_[k].substr(offset, 40), "\" now \"",
                                 now.components_[k].substr(offset, 40), "\""));
  }
  return found;
}

std::vector<std::string> mapping_problems(BRep const& input, BRep const& output,
                                          ModelCopyMapping const& mapping) {
  std::vector<std::string> problems;
  const auto check = [&](ComponentType const& type, auto const& components, index_t nb_output,
                         auto const& has_output) {
    if (!mapping.has_mapping_type(type)) {
      problems.push_back(absl::StrCat("no ", type.get(), " mapping"));
      return;
    }
    auto const& ids = mapping.at(type);
    index_t count = 0;
    for (auto const& component : components) {
      ++count;
      if (!ids.has_mapping_input(component.id())) {
        problems.push_back(absl::StrCat("input ", component.component_id().string(), " unmapped"));
      } else if (!has_output(ids.in2out(component.id()))) {
        problems.push_back(absl::StrCat("input ", component.component_id().string(),
                                        " mapped to a missing component"));
      }
    }
    if (ids.size() != count || nb_output != count) {
      problems.push_back(absl::StrCat(type.get(), ": ", count, " inputs, ", ids.size(),
                                      " mapped, ", nb_output, " outputs"));
    }
  };
  check(Corner<3>::component_type_static(), input.corners(), output.nb_corners(),
        [&](uuid const& id) { return output.has_corner(id); });
  check(Line<3>::component_type_static(), input.lines(), output.nb_lines(),
        [&](uuid const& id) { return output.has_line(id); });
  check(Surface<3>::component_type_static(), input.surfaces(), output.nb_surfaces(),
        [&](uuid const& id) { return output.has_surface(id); });
  check(Block<3>::component_type_static(), input.blocks(), output.nb_blocks(),
        [&](uuid const& id) { return output.has_block(id); });
  return problems;
}

std::vector<std::string> output_problems(BRep const& output) {
  auto problems = test::model_problems(output);
  for (auto const& surface : output.surfaces()) {
    if (!surface.mesh().vertex_attribute_manager().attribute_exists("2d")) {
      problems.push_back(absl::StrCat(surface.component_id().string(), " lacks \"2d\""));
    }
    // A triangle of no area, to within the rounding of its coordinates.
    auto const& mesh = triangulated(surface);
    for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
      if (!mesh.is_polygon_active(t)) continue;
      const auto triangle = mesh.triangle(t);
      auto const& v = triangle.vertices();
      const Vector<3> first{v[0], v[1]};
      const Vector<3> second{v[0], v[2]};
      const double longest2 =
          std::max({first.length2(), second.length2(), Vector<3>{v[1], v[2]}.length2()});
      if (first.cross(second).length() <= 1e-12 * longest2) {
        problems.push_back(absl::StrCat(surface.component_id().string(), " triangle ", t,
                                        " has no area"));
      }
    }
  }
  for (auto const& block : output.blocks()) {
    if (!block.mesh().are_edges_enabled() || !block.mesh().are_facets_enabled()) {
      problems.push_back(absl::StrCat(block.component_id().string(),
                                      " mesh without edges or facets"));
    }
  }
  return problems;
}

std::vector<std::string> off_input_problems(BRep const& input, BRep const& output,
                                            ModelCopyMapping const& mapping, double tolerance) {
  std::vector<std::string> problems;
  auto const& surfaces = mapping.at(Surface<3>::component_type_static());
  for (auto const& surface : output.surfaces()) {
    auto const& input_mesh = triangulated(input.surface(surfaces.out2in(surface.id())));
    auto const& mesh = triangulated(surface);
    const auto tree = create_aabb_tree<3>(input_mesh);
    DistanceToTriangle<3> distance{input_mesh};
    index_t nb_off = 0;
    double farthest = 0.0;
    for (index_t v = 0; v < mesh.nb_vertices(); ++v) {
      const double d = std::get<2>(tree.closest_element(mesh.point(v), distance));
      if (!(d <= tolerance)) {
        ++nb_off;
        farthest = std::max(farthest, d);
      }
    }
    if (nb_off > 0) {
      problems.push_back(absl::StrCat(surface.component_id().string(), ": ", nb_off,
                                      " vertices off the input surface, up to ", farthest));
    }
  }
  return problems;
}

double shortest_surface_edge(BRep const& brep) {
  double shortest = std::numeric_limits<double>::infinity();
  for (auto const& surface : brep.surfaces()) {
    auto const& mesh = triangulated(surface);
    for (index_t p = 0; p < mesh.nb_polygons(); ++p) {
      for (local_index_t e = 0; e < 3; ++e) shortest = std::min(shortest, mesh.edge_length({p, e}));
    }
  }
  return shortest;
}

index_t most_surfaces_at_a_vertex(BRep const& brep) {
  std::size_t most = 0;
  for (index_t u = 0; u < brep.nb_unique_vertices(); ++u) {
    most = std::max(most,
                    brep.component_mesh_vertices(u, Surface<3>::component_type_static()).size());
  }
  return static_cast<index_t>(most);
}

index_t count_intersection_findings(BRep const& input, BRep& output,
                                    ModelCopyMapping const& mapping) {
  const ConstantMetric<3> metric{1.0};
  RemeshingData<BRep, 3> data{input,  std::make_unique<BRep>(), ModelCopyMapping{},
                              output, mapping,                  metric};
  detail::SurfaceIntersectionRepairer repairer{data};
  std::vector<AABBTree<3>> trees;
  for (auto const& surface : output.surfaces()) {
    trees.push_back(create_aabb_tree<3>(triangulated(surface)));
  }
  index_t count = 0;
  std::size_t s = 0;
  for (auto const& surface : output.surfaces()) {
    std::size_t o = 0;
    for (auto const& other : output.surfaces()) {
      detail::SurfaceIntersectionDetector detector{repairer, surface, other};
      detail::box_pair_intersect(trees[s], trees[o], detector);
      count += static_cast<index_t>(detector.crossings.size() + detector.duplicated_edges.size());
      ++o;
    }
    ++s;
  }
  return count;
}

RepairLog::RepairLog() {
  previous_ = Logger::set_sink([this](Logger::Level level, absl::string_view line) {
    if (level != Logger::Level::info && level != Logger::Level::warn) return;
    if (!absl::StartsWith(line, "[repair_surface_intersections]")) return;
    ++nb_lines_;
    if (absl::StrContains(line, "left unrepaired") || absl::StrContains(line, "Stopped after") ||
        absl::StrContains(line, "No more splits")) {
      ++nb_left_;
    }
  });
}

RepairLog::~RepairLog() { Logger::set_sink(previous_); }

}  // namespace stress
}  // namespace tarnix
