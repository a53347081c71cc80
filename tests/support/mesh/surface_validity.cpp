#include "mesh/surface_validity.h"

#include <stdexcept>

#include <absl/container/flat_hash_set.h>
#include <absl/strings/str_cat.h>
#include <absl/strings/str_join.h>

#include <ulvane/geometry/predicates.h>

namespace tarnix {
namespace test {
namespace {

std::string edge_text(PolygonEdge const& edge) {
  return absl::StrCat("edge (", edge.polygon_id, ", ", static_cast<unsigned>(edge.edge_id), ")");
}

std::string corner_text(PolygonVertex const& corner) {
  return absl::StrCat("corner (", corner.polygon_id, ", ", static_cast<unsigned>(corner.vertex_id),
                      ")");
}

void check_shape(TriangulatedSurface<2> const& surface, index_t t,
                 std::vector<std::string>& problems) {
  const auto triangle = surface.triangle(t);
  auto const& p = triangle.vertices();
  const Sign sign = orientation_2d(p[0], p[1], p[2]);
  if (sign == Sign::zero) problems.push_back(absl::StrCat("triangle ", t, " is degenerate"));
  if (sign == Sign::negative) problems.push_back(absl::StrCat("triangle ", t, " is clockwise"));
}

// Three points in space are collinear exactly when their projections on the
// three coordinate planes all are.
void check_shape(TriangulatedSurface<3> const& surface, index_t t,
                 std::vector<std::string>& problems) {
  const auto triangle = surface.triangle(t);
  auto const& p = triangle.vertices();
  for (index_t axis = 0; axis < 3; ++axis) {
    const auto project = [axis](Point<3> const& point) {
      return Point<2>{{point.value((axis + 1) % 3), point.value((axis + 2) % 3)}};
    };
    if (orientation_2d(project(p[0]), project(p[1]), project(p[2])) != Sign::zero) return;
  }
  problems.push_back(absl::StrCat("triangle ", t, " is degenerate"));
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
      problems.push_back(
          absl::StrCat(edge_text(edge), " names triangle ", *adjacent, ", which does not exist"));
      continue;
    }
    if (!surface.is_polygon_active(*adjacent)) {
      problems.push_back(absl::StrCat("active triangle ", t, " is adjacent to removed triangle ",
                                      *adjacent));
      continue;
    }
    // Consistent orientation: the neighbour holds the same edge the other way.
    const auto twin = surface.polygon_adjacent_edge(edge);
    if (!twin) {
      problems.push_back(absl::StrCat(edge_text(edge),
                                      " has no twin running the other way in triangle ",
                                      *adjacent));
    } else if (surface.polygon_adjacent(*twin) != absl::optional<index_t>(t)) {
      problems.push_back(absl::StrCat(edge_text(edge), " and its twin ", edge_text(*twin),
                                      " are not adjacent both ways"));
    }
  }
}

//! The corner of the vertex in the active triangle across `crossed` (an
//! edge at the vertex), if the adjacency continues the fan there.
template <index_t D>
absl::optional<PolygonVertex> across(TriangulatedSurface<D> const& surface,
                                     PolygonEdge const& crossed, index_t vertex) {
  const auto twin = surface.polygon_adjacent_edge(crossed);
  if (!twin || twin->polygon_id >= surface.nb_polygons() ||
      !surface.is_polygon_active(twin->polygon_id)) {
    return absl::nullopt;
  }
  for (local_index_t k = 0; k < 3; ++k) {
    const PolygonVertex corner{twin->polygon_id, k};
    if (surface.polygon_vertex(corner) == vertex) return corner;
  }
  return absl::nullopt;
}

template <index_t D>
void check_fan(TriangulatedSurface<D> const& surface, index_t v, PolygonVertex const& associated,
               std::vector<std::string>& problems) {
  const auto fan = surface.polygons_around_vertex(v);
  absl::flat_hash_set<PolygonVertex> corners;
  for (auto const& corner : fan) {
    if (corner.polygon_id >= surface.nb_polygons() || corner.vertex_id >= 3 ||
        !surface.is_polygon_active(corner.polygon_id) || surface.polygon_vertex(corner) != v) {
      problems.push_back(absl::StrCat("the fan of vertex ", v, " holds ", corner_text(corner),
                                      ", not an active corner of it"));
      return;
    }
    if (!corners.insert(corner).second) {
      problems.push_back(absl::StrCat("the fan of vertex ", v, " repeats ", corner_text(corner)));
      return;
    }
  }
  if (!corners.contains(associated)) {
    problems.push_back(absl::StrCat("the fan of vertex ", v, " misses its associated ",
                                    corner_text(associated)));
    return;
  }
  // The fan is closed under turning across the edges at the vertex, and
  // runs in order: each entry is across the edge leaving the previous one.
  for (std::size_t i = 0; i < fan.size(); ++i) {
    const PolygonEdge leaving{fan[i]};
    const PolygonEdge entering{surface.previous_polygon_vertex(fan[i])};
    for (auto const& edge : {leaving, entering}) {
      const auto next = across(surface, edge, v);
      if (next && !corners.contains(*next)) {
        problems.push_back(absl::StrCat("the fan of vertex ", v, " misses ", corner_text(*next),
                                        " across ", edge_text(edge)));
      }
    }
    if (i + 1 < fan.size() && across(surface, leaving, v) != fan[i + 1]) {
      problems.push_back(absl::StrCat("the fan of vertex ", v, " does not turn from ",
                                      corner_text(fan[i]), " to ", corner_text(fan[i + 1])));
    }
  }
  // Where it starts: at the associated corner of a closed fan, else at the
  // triangle whose edge entering the vertex has no neighbour in the fan.
  const bool closed = across(surface, PolygonEdge{fan.back()}, v) == fan.front();
  if (closed && fan.front() != associated) {
    problems.push_back(absl::StrCat("the closed fan of vertex ", v, " starts at ",
                                    corner_text(fan.front()), ", not at its associated corner"));
  }
  if (!closed &&
      across(surface, PolygonEdge{surface.previous_polygon_vertex(fan.front())}, v)) {
    problems.push_back(absl::StrCat("the open fan of vertex ", v, " does not start at the border"));
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
    if (!surface.polygons_around_vertex(v).empty()) {
      problems.push_back(absl::StrCat("vertex ", v, " has a fan but no associated corner"));
    }
    return;
  }
  if (associated->polygon_id >= surface.nb_polygons() || associated->vertex_id >= 3 ||
      !surface.is_polygon_active(associated->polygon_id) ||
      surface.polygon_vertex(*associated) != v) {
    problems.push_back(absl::StrCat("vertex ", v, " is associated with ",
                                    corner_text(*associated), ", not an active corner of it"));
    return;
  }
  check_fan(surface, v, *associated, problems);
}

//! Every storage of the registry holds exactly `count` values: reading
//! the last one works and reading one more is out of range.
void check_storages(AttributeManager const& manager, index_t count, absl::string_view kind,
                    std::vector<std::string>& problems) {
  if (manager.nb_elements() != count) {
    problems.push_back(absl::StrCat("the ", kind, " attributes hold ", manager.nb_elements(),
                                    " elements for ", count));
  }
  for (auto const& name : manager.attribute_names()) {
    const auto storage = manager.find_attribute_base(name);
    bool sized = true;
    try {
      if (count > 0) storage->float_value(count - 1);
    } catch (std::out_of_range const&) {
      sized = false;
    }
    try {
      storage->float_value(count);
      sized = false;
    } catch (std::out_of_range const&) {
    }
    if (!sized) {
      problems.push_back(absl::StrCat("the ", kind, " attribute \"", name, "\" does not hold ",
                                      count, " values"));
    }
  }
}

}  // namespace

template <index_t D>
std::vector<std::string> surface_problems(TriangulatedSurface<D> const& surface) {
  std::vector<std::string> problems;
  // The vertex count is the vertex registry's; the points must match it.
  const index_t nb_vertices = surface.nb_vertices();
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
    problems.push_back(absl::StrCat("the points do not match the ", nb_vertices, " vertices"));
  }
  check_storages(surface.vertex_attribute_manager(), nb_vertices, "vertex", problems);
  check_storages(surface.polygon_attribute_manager(), surface.nb_polygons(), "polygon", problems);

  std::vector<index_t> active_corners(nb_vertices, 0);
  for (index_t t = 0; t < surface.nb_polygons(); ++t) {
    if (surface.nb_polygon_vertices(t) != 3) {
      problems.push_back(absl::StrCat("polygon ", t, " is not a triangle"));
      continue;
    }
    bool known_vertices = true;
    for (local_index_t k = 0; k < 3; ++k) {
      if (surface.polygon_vertex({t, k}) >= nb_vertices) {
        problems.push_back(absl::StrCat("triangle ", t, " uses an unknown vertex"));
        known_vertices = false;
      }
    }
    if (!known_vertices) continue;
    check_adjacency(surface, t, problems);
    if (!surface.is_polygon_active(t)) continue;
    check_shape(surface, t, problems);
    for (local_index_t k = 0; k < 3; ++k) ++active_corners[surface.polygon_vertex({t, k})];
  }
  if (!problems.empty()) return problems;  // the fans would only repeat them
  for (index_t v = 0; v < nb_vertices; ++v) {
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
