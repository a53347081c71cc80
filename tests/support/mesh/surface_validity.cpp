#include "mesh/surface_validity.h"

#include <stdexcept>

#include <absl/container/flat_hash_set.h>
#include <absl/strings/str_cat.h>
#include <absl/strings/str_join.h>

namespace tarnix {
namespace test {
namespace {

//! Twice the signed area of a 2D triangle. Plain floating point: the
//! fixtures use coordinates whose products are exact.
double signed_area2(Triangle<2> const& triangle) {
  auto const& p = triangle.vertices();
  return (p[1].value(0) - p[0].value(0)) * (p[2].value(1) - p[0].value(1)) -
         (p[1].value(1) - p[0].value(1)) * (p[2].value(0) - p[0].value(0));
}

void check_shape(TriangulatedSurface<2> const& surface, index_t t,
                 std::vector<std::string>& problems) {
  const double area = signed_area2(surface.triangle(t));
  if (area == 0.0) problems.push_back(absl::StrCat("triangle ", t, " is degenerate"));
  if (area < 0.0) problems.push_back(absl::StrCat("triangle ", t, " is clockwise"));
}

void check_shape(TriangulatedSurface<3> const& surface, index_t t,
                 std::vector<std::string>& problems) {
  if (!surface.new_polygon_normal(t)) {
    problems.push_back(absl::StrCat("triangle ", t, " is degenerate"));
  }
}

template <index_t D>
void check_adjacency(TriangulatedSurface<D> const& surface, index_t t,
                     std::vector<std::string>& problems) {
  for (local_index_t e = 0; e < 3; ++e) {
    const PolygonEdge edge{t, e};
    const auto adjacent = surface.polygon_adjacent(edge);
    if (!adjacent) continue;
    if (!surface.is_polygon_active(t)) {
      problems.push_back(absl::StrCat("removed triangle ", t, " keeps a neighbour"));
      return;
    }
    if (*adjacent >= surface.nb_polygons()) {
      problems.push_back(absl::StrCat("edge (", t, ", ", static_cast<unsigned>(e), ") names triangle ", *adjacent,
                                      " that does not exist"));
      continue;
    }
    if (!surface.is_polygon_active(*adjacent)) {
      problems.push_back(absl::StrCat("active triangle ", t, " is adjacent to removed triangle ",
                                      *adjacent));
      continue;
    }
    const auto twin = surface.polygon_adjacent_edge(edge);
    if (!twin) {
      problems.push_back(absl::StrCat("edge (", t, ", ", static_cast<unsigned>(e), ") has no twin running the other way in triangle ",
                                      *adjacent));
    } else if (surface.polygon_adjacent(*twin) != absl::optional<index_t>(t)) {
      problems.push_back(absl::StrCat("edge (", t, ", ", static_cast<unsigned>(e), ") and its twin (", twin->polygon_id,
                                      ", ", static_cast<unsigned>(twin->edge_id), ") are not adjacent both ways"));
    }
  }
}

template <index_t D>
void check_vertex(TriangulatedSurface<D> const& surface, index_t v,
                  std::vector<index_t> const& active_corners, std::vector<std::string>& problems) {
  const auto associated = surface.associated_polygon_vertex(v);
  if (!associated) {
    if (active_corners[v] > 0) {
      problems.push_back(absl::StrCat("vertex ", v, " has active corners but no associated one"));
    }
    return;
  }
  if (associated->polygon_id >= surface.nb_polygons() || associated->vertex_id >= 3 ||
      !surface.is_polygon_active(associated->polygon_id) ||
      surface.polygon_vertex(*associated) != v) {
    problems.push_back(absl::StrCat("vertex ", v, " is associated with ", associated->polygon_id,
                                    ":", static_cast<unsigned>(associated->vertex_id),
                                    ", not an active corner of it"));
    return;
  }
  const auto fan = surface.polygons_around_vertex(v);
  bool holds_associated = false;
  absl::flat_hash_set<index_t> triangles;
  for (auto const& corner : fan) {
    holds_associated |= corner == *associated;
    if (!surface.is_polygon_active(corner.polygon_id) || surface.polygon_vertex(corner) != v) {
      problems.push_back(absl::StrCat("the fan of vertex ", v, " holds a corner of another vertex"));
    }
    if (!triangles.insert(corner.polygon_id).second) {
      problems.push_back(absl::StrCat("the fan of vertex ", v, " repeats triangle ",
                                      corner.polygon_id));
    }
  }
  if (!holds_associated) {
    problems.push_back(absl::StrCat("the fan of vertex ", v, " misses its associated corner"));
  }
}

}  // namespace

template <index_t D>
std::vector<std::string> surface_problems(TriangulatedSurface<D> const& surface) {
  std::vector<std::string> problems;
  if (surface.polygon_attribute_manager().nb_elements() != surface.nb_polygons()) {
    problems.push_back(absl::StrCat("the polygon attributes hold ",
                                    surface.polygon_attribute_manager().nb_elements(),
                                    " elements for ", surface.nb_polygons(), " triangles"));
  }
  // The vertex count is the vertex registry's; the points must match it.
  const index_t nb_vertices = surface.vertex_attribute_manager().nb_elements();
  bool points_match = true;
  try {
    if (nb_vertices > 0) surface.point(nb_vertices - 1);
  } catch (std::out_of_range const&) {
    points_match = false;
  }
  try {
    surface.point(nb_vertices);
    points_match = false;
  } catch (std::out_of_range const&) {
  }
  if (!points_match) {
    problems.push_back(absl::StrCat("the points do not match the ", nb_vertices,
                                    " elements of the vertex attributes"));
  }

  std::vector<index_t> active_corners(surface.nb_vertices(), 0);
  for (index_t t = 0; t < surface.nb_polygons(); ++t) {
    if (surface.nb_polygon_vertices(t) != 3) {
      problems.push_back(absl::StrCat("polygon ", t, " is not a triangle"));
      continue;
    }
    check_adjacency(surface, t, problems);
    if (!surface.is_polygon_active(t)) continue;
    check_shape(surface, t, problems);
    for (local_index_t v = 0; v < 3; ++v) ++active_corners[surface.polygon_vertex({t, v})];
  }
  for (index_t v = 0; v < surface.nb_vertices(); ++v) {
    check_vertex(surface, v, active_corners, problems);
  }
  return problems;
}

template <index_t D>
::testing::AssertionResult is_valid_surface(TriangulatedSurface<D> const& surface) {
  const auto problems = surface_problems(surface);
  if (problems.empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "invalid surface:\n  " << absl::StrJoin(problems, "\n  ");
}

template std::vector<std::string> surface_problems(TriangulatedSurface<2> const&);
template std::vector<std::string> surface_problems(TriangulatedSurface<3> const&);
template ::testing::AssertionResult is_valid_surface(TriangulatedSurface<2> const&);
template ::testing::AssertionResult is_valid_surface(TriangulatedSurface<3> const&);

}  // namespace test
}  // namespace tarnix
