#include "pipeline_checks.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <utility>

#include <absl/container/flat_hash_set.h>
#include <absl/strings/str_cat.h>

#include <model/model_validity.h>
#include <ulvane/mesh/triangulated_surface.h>

namespace tarnix {
namespace stress {
namespace {

TriangulatedSurface<2> const& mesh_of(Surface<2> const& surface) {
  return dynamic_cast<TriangulatedSurface<2> const&>(surface.mesh());
}

std::array<Point<2>, 3> triangle_points(TriangulatedSurface<2> const& mesh, index_t t) {
  return {mesh.point(mesh.polygon_vertex({t, 0})), mesh.point(mesh.polygon_vertex({t, 1})),
          mesh.point(mesh.polygon_vertex({t, 2}))};
}

double signed_area(std::array<Point<2>, 3> const& p) {
  return 0.5 * ((p[1].value(0) - p[0].value(0)) * (p[2].value(1) - p[0].value(1)) -
                (p[1].value(1) - p[0].value(1)) * (p[2].value(0) - p[0].value(0)));
}

double mesh_area(TriangulatedSurface<2> const& mesh) {
  double total = 0.0;
  for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
    if (mesh.is_polygon_active(t)) total += signed_area(triangle_points(mesh, t));
  }
  return total;
}

// Collects sentences up to a limit and counts the rest.
class Problems {
 public:
  explicit Problems(std::size_t limit) : limit_(limit) {}
  template <typename... Parts>
  void add(Parts const&... parts) {
    if (list_.size() < limit_) {
      list_.push_back(absl::StrCat(parts...));
    } else {
      ++dropped_;
    }
  }
  bool full() const { return list_.size() >= limit_; }
  std::vector<std::string> take() {
    if (dropped_ > 0) list_.push_back(absl::StrCat("... and ", dropped_, " more"));
    return std::move(list_);
  }

 private:
  std::size_t limit_;
  std::size_t dropped_{0};
  std::vector<std::string> list_;
};

// The one vertex of `surface` at line vertex v, or NO_ID (with a problem).
index_t surface_vertex_of(Section const& section, Surface<2> const& surface,
                          ComponentID const& component, index_t v, Problems& problems) {
  auto const unique = section.unique_vertex({component, v});
  auto const vertices = section.component_mesh_vertices(unique, surface.id());
  if (vertices.size() != 1) {
    problems.add("Surface ", surface.id().string(), ": vertex ", v, " of ", component.string(),
                 " is ", vertices.size(), " surface vertices");
    return NO_ID;
  }
  return vertices.front();
}

using VertexPair = std::pair<index_t, index_t>;

VertexPair unordered(index_t a, index_t b) { return {std::min(a, b), std::max(a, b)}; }

// Adds the surface vertices of each edge of `line` to `line_edges`.
void check_line(Section const& section, Surface<2> const& surface, Line<2> const& line,
                bool internal, Problems& problems, absl::flat_hash_set<VertexPair>& line_edges) {
  auto const& mesh = mesh_of(surface);
  auto const& curve = line.mesh();
  for (index_t e = 0; e < curve.nb_edges() && !problems.full(); ++e) {
    std::array<index_t, 2> ends{};
    for (local_index_t k = 0; k < 2; ++k) {
      ends[k] = surface_vertex_of(section, surface, line.component_id(),
                                  curve.edge_vertex({e, k}), problems);
    }
    if (ends[0] == NO_ID || ends[1] == NO_ID) continue;
    line_edges.insert(unordered(ends[0], ends[1]));
    bool const forward = mesh.polygon_edge_from_vertices(ends[0], ends[1]).has_value();
    bool const backward = mesh.polygon_edge_from_vertices(ends[1], ends[0]).has_value();
    if (internal ? !(forward && backward) : !(forward || backward)) {
      problems.add("Surface ", surface.id().string(), " does not conform to edge ", e, " of ",
                   line.component_id().string(), internal ? " (internal)" : "");
    }
  }
}

void check_surface(Section const& section, Surface<2> const& surface, Problems& problems) {
  absl::flat_hash_set<VertexPair> boundary_edges;
  absl::flat_hash_set<VertexPair> internal_edges;
  for (auto const& line : section.boundaries(surface)) {
    check_line(section, surface, line, false, problems, boundary_edges);
  }
  for (auto const& line : section.internal_lines(surface)) {
    check_line(section, surface, line, true, problems, internal_edges);
  }
  for (auto const& corner : section.internal_corners(surface)) {
    surface_vertex_of(section, surface, corner.component_id(), 0, problems);
  }
  auto const& mesh = mesh_of(surface);
  std::vector<bool> used(mesh.nb_vertices(), false);
  for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
    if (!mesh.is_polygon_active(t)) continue;
    for (local_index_t k = 0; k < 3; ++k) used[mesh.polygon_vertex({t, k})] = true;
  }
  // The surface ends at its boundary lines and nowhere else.
  for (index_t t = 0; t < mesh.nb_polygons() && !problems.full(); ++t) {
    if (!mesh.is_polygon_active(t)) continue;
    for (local_index_t j = 0; j < 3; ++j) {
      if (!mesh.is_edge_on_border({t, j})) continue;
      auto const ends = mesh.polygon_edge_vertices({t, j});
      if (!boundary_edges.contains(unordered(ends[0], ends[1]))) {
        problems.add("Surface ", surface.id().string(), ": border edge ", ends[0], "-", ends[1],
                     " lies on no boundary line");
      }
    }
  }
  for (index_t v = 0; v < mesh.nb_vertices() && !problems.full(); ++v) {
    if (section.unique_vertex({surface.component_id(), v}) == NO_ID) {
      problems.add("Surface ", surface.id().string(), ": vertex ", v, " has no unique vertex");
    }
    if (!used[v]) {
      problems.add("Surface ", surface.id().string(), ": vertex ", v, " lies in no triangle");
    }
  }
}

}  // namespace

absl::flat_hash_map<uuid, double> surface_areas(Section const& section) {
  absl::flat_hash_map<uuid, double> areas;
  for (auto const& surface : section.surfaces()) areas[surface.id()] = mesh_area(mesh_of(surface));
  return areas;
}

std::vector<std::string> section_problems(Section const& section, std::size_t limit) {
  Problems problems{limit};
  for (auto const& problem : test::model_problems(section)) problems.add(problem);
  for (auto const& surface : section.surfaces()) check_surface(section, surface, problems);
  return problems.take();
}

std::vector<std::string> area_problems(Section const& section,
                                       absl::flat_hash_map<uuid, double> const& areas,
                                       double tolerance) {
  std::vector<std::string> problems;
  for (auto const& surface : section.surfaces()) {
    auto const found = areas.find(surface.id());
    if (found == areas.end()) continue;
    double const area = mesh_area(mesh_of(surface));
    if (!(std::fabs(area - found->second) <= tolerance * std::fabs(found->second))) {
      problems.push_back(absl::StrCat("Surface ", surface.id().string(), " has area ", area,
                                      " instead of ", found->second));
    }
  }
  return problems;
}

std::vector<std::string> remesh_problems(RemeshingData<Section, 2> const& data, double tolerance) {
  auto problems = section_problems(data.output);
  auto const& surfaces = data.input_to_output.at("Surface");
  absl::flat_hash_map<uuid, double> expected;
  for (auto const& [id, area] : surface_areas(data.input)) expected[surfaces.in2out(id)] = area;
  for (auto& problem : area_problems(data.output, expected, tolerance)) {
    problems.push_back(std::move(problem));
  }
  return problems;
}

index_t nb_triangles(Section const& section) {
  index_t count = 0;
  for (auto const& surface : section.surfaces()) {
    auto const& mesh = mesh_of(surface);
    for (index_t t = 0; t < mesh.nb_polygons(); ++t) count += mesh.is_polygon_active(t);
  }
  return count;
}

double min_quality(Section const& section) {
  double lowest = std::numeric_limits<double>::infinity();
  for (auto const& surface : section.surfaces()) {
    auto const& mesh = mesh_of(surface);
    for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
      if (!mesh.is_polygon_active(t)) continue;
      auto const p = triangle_points(mesh, t);
      double const twice_area = 2.0 * signed_area(p);
      std::array<double, 3> sines{};
      for (int v = 0; v < 3; ++v) {
        double const a = Vector<2>{p[v], p[(v + 1) % 3]}.length();
        double const b = Vector<2>{p[v], p[(v + 2) % 3]}.length();
        sines[v] = twice_area / (a * b);
      }
      double const quality =
          4.0 * sines[0] * sines[1] * sines[2] / (sines[0] + sines[1] + sines[2]);
      lowest = std::min(lowest, quality);
    }
  }
  return lowest;
}

}  // namespace stress
}  // namespace tarnix
