#include "cutter_test_support.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <string>

#include <absl/container/flat_hash_map.h>
#include <absl/container/flat_hash_set.h>
#include <absl/strings/str_cat.h>
#include <absl/strings/str_join.h>

#include <mesh/surface_fixtures.h>
#include <mesh/surface_validity.h>
#include <mesh/test_attribute.h>
#include <ulvane/geometry/vector.h>

namespace tarnix {
namespace test {
namespace {

constexpr char const* PARENT = "parent";

std::string edge_text(PolygonEdge const& edge) {
  return absl::StrCat("(", edge.polygon_id, ", ", static_cast<unsigned>(edge.edge_id), ")");
}

double signed_area(TriangulatedSurface<2> const& surface, index_t triangle) {
  const Triangle<2> corners = surface.triangle(triangle);
  auto const& points = corners.vertices();
  const Vector<2> u{points[0], points[1]};
  const Vector<2> v{points[0], points[2]};
  return 0.5 * (u.value(0) * v.value(1) - u.value(1) * v.value(0));
}

//! The distance of p to the segment [u, v].
double distance_to_segment(Point<2> const& p, Point<2> const& u, Point<2> const& v) {
  const Vector<2> along{u, v};
  const Vector<2> to_p{u, p};
  const double t = std::min(std::max(along.dot(to_p) / along.dot(along), 0.0), 1.0);
  return Vector<2>{u + (v - u) * t, p}.length();
}

std::shared_ptr<TestAttribute<index_t>> parent_attribute(TriangulatedSurface<2> const& surface) {
  return std::dynamic_pointer_cast<TestAttribute<index_t>>(
      surface.polygon_attribute_manager().find_attribute_base(PARENT));
}

}  // namespace

std::unique_ptr<TriangulatedSurface<2>> make_jittered_grid(index_t n, double jitter,
                                                           unsigned int seed) {
  auto surface = make_grid<2>(n);
  auto builder = TriangulatedSurfaceBuilder<2>::create(*surface);
  std::mt19937 random{seed};
  std::uniform_real_distribution<double> offset{-jitter, jitter};
  for (index_t v = 0; v < surface->nb_vertices(); ++v) {
    Point<2> point = surface->point(v);
    for (index_t c = 0; c < 2; ++c) point.set_value(c, point.value(c) + offset(random));
    builder->set_point(v, point);
  }
  return surface;
}

CutFixture::CutFixture(std::unique_ptr<TriangulatedSurface<2>> mesh)
    : surface(std::move(mesh)), builder(TriangulatedSurfaceBuilder<2>::create(*surface)) {
  TestAttribute<index_t>::attach(surface->polygon_attribute_manager(), PARENT, NO_ID,
                                 ATTRIBUTE_DERIVABLE);
}

void number_parents(CutFixture& fixture) {
  auto parents = parent_attribute(*fixture.surface);
  for (index_t t = 0; t < fixture.surface->nb_polygons(); ++t) parents->set_value(t, t);
}

absl::optional<StraightCut> cut_straight(CutFixture& fixture, index_t a, index_t b) {
  auto const& surface = *fixture.surface;
  const auto paths = detail::find_straight_surface_path(surface, a, b);
  if (!paths) return absl::nullopt;
  number_parents(fixture);
  StraightCut result;
  result.cuts = determine_cuts(surface, a, b, *paths);
  EXPECT_TRUE(is_cut_along_path_valid<2>(surface, a, b, result.cuts));
  result.info = cut_along_path<2>(surface, *fixture.builder, a, b, result.cuts);
  return result;
}

double active_area(TriangulatedSurface<2> const& surface) {
  double area = 0.0;
  for (index_t t = 0; t < surface.nb_polygons(); ++t) {
    if (surface.is_polygon_active(t)) area += signed_area(surface, t);
  }
  return area;
}

::testing::AssertionResult is_sound_cut(TriangulatedSurface<2> const& before,
                                        TriangulatedSurface<2> const& after, index_t a, index_t b,
                                        std::vector<GeometricSurfacePath<2>> const& cuts,
                                        SurfaceCutPathInfo const& info, bool check_validity) {
  std::vector<std::string> problems;
  const index_t old_vertices = before.nb_vertices();
  const index_t old_polygons = before.nb_polygons();

  // The chain points and, per created vertex, the pre-cut edge it lies in.
  std::vector<index_t> chain{a};
  absl::flat_hash_map<index_t, std::array<index_t, 2>> created_on;
  index_t next_vertex = old_vertices;
  for (auto const& cut : cuts) {
    index_t vertex = cut.vertex;
    if (vertex == NO_ID) {
      vertex = next_vertex++;
      created_on[vertex] = before.polygon_edge_vertices(cut.edge);
      if (vertex < after.nb_vertices() && !(after.point(vertex) == cut.point)) {
        problems.push_back(absl::StrCat("created vertex ", vertex, " is not at its cut point"));
      }
    }
    if (chain.back() != vertex) chain.push_back(vertex);
  }
  if (chain.back() != b) chain.push_back(b);

  // Vertices: appended, never moved.
  if (after.nb_vertices() != next_vertex) {
    problems.push_back(absl::StrCat(after.nb_vertices(), " vertices, expected ", next_vertex));
  }
  if (info.created_vertices.size() != next_vertex - old_vertices) {
    problems.push_back(absl::StrCat(info.created_vertices.size(), " created vertices listed"));
  }
  for (std::size_t k = 0; k < info.created_vertices.size(); ++k) {
    auto const& created = info.created_vertices[k];
    if (created.vertex != old_vertices + k) {
      problems.push_back(absl::StrCat("created vertex ", k, " is ", created.vertex));
    }
    if (created.origins.empty() || std::any_of(created.origins.begin(), created.origins.end(),
                                               [](index_t origin) { return origin != NO_ID; })) {
      problems.push_back(absl::StrCat("created vertex ", created.vertex, " has origins"));
    }
  }
  for (index_t v = 0; v < old_vertices && v < after.nb_vertices(); ++v) {
    if (!(after.point(v) == before.point(v)))
      problems.push_back(absl::StrCat("vertex ", v, " moved"));
  }
  for (auto const& [vertex, ends] : created_on) {
    Point<2> const& u = before.point(ends[0]);
    Point<2> const& v = before.point(ends[1]);
    // Rounding of the coordinates bounds how close a point can get.
    const double scale = std::max({std::fabs(u.value(0)), std::fabs(u.value(1)),
                                   std::fabs(v.value(0)), std::fabs(v.value(1))});
    if (vertex < after.nb_vertices() && distance_to_segment(after.point(vertex), u, v) >
                                            1e-12 * Vector<2>{u, v}.length() + 1e-15 * scale) {
      problems.push_back(absl::StrCat("created vertex ", vertex, " is off its edge"));
    }
  }

  // Triangles: the divided ones removed in place, the pieces appended.
  std::vector<bool> is_divided(old_polygons, false);
  for (index_t t = 0; t < old_polygons; ++t) {
    for (local_index_t v = 0; v < 3; ++v) {
      if (after.polygon_vertex({t, v}) != before.polygon_vertex({t, v})) {
        problems.push_back(absl::StrCat("triangle ", t, " changed its vertices"));
      }
    }
    const bool was_active = before.is_polygon_active(t);
    const bool is_active = after.is_polygon_active(t);
    if (!was_active && is_active) problems.push_back(absl::StrCat("triangle ", t, " revived"));
    is_divided[t] = was_active && !is_active;
  }
  const auto parents = parent_attribute(after);
  absl::flat_hash_set<PolygonEdge> new_edges;
  for (index_t t = old_polygons; t < after.nb_polygons(); ++t) {
    if (!after.is_polygon_active(t)) {
      problems.push_back(absl::StrCat("new triangle ", t, " is inactive"));
      continue;
    }
    for (local_index_t e = 0; e < 3; ++e) new_edges.insert({t, e});
    const index_t parent = parents->value(t);
    if (parent >= old_polygons || !is_divided[parent]) {
      problems.push_back(absl::StrCat("new triangle ", t, " has parent ", parent));
      continue;
    }
    for (local_index_t v = 0; v < 3; ++v) {
      const index_t vertex = after.polygon_vertex({t, v});
      if (vertex != before.polygon_vertex({parent, v}) && vertex < old_vertices) {
        problems.push_back(absl::StrCat("new triangle ", t, " reorders the vertices of ", parent));
      }
    }
  }

  // The chain and its two lists.
  std::vector<PolygonEdge> second;
  std::vector<PolygonEdge> third;
  for (std::size_t p = 0; p + 1 < chain.size(); ++p) {
    const auto forward = after.polygon_edge_from_vertices(chain[p], chain[p + 1]);
    const auto backward = after.polygon_edge_from_vertices(chain[p + 1], chain[p]);
    if (!forward && !backward) {
      problems.push_back(absl::StrCat("no edge from ", chain[p], " to ", chain[p + 1]));
    }
    if (forward) second.push_back(*forward);
    if (backward) third.push_back(*backward);
    const int marks = (backward ? 1 : 0) + (forward && after.is_edge_on_border(*forward) ? 1 : 0);
    if (marks != 1) {
      problems.push_back(
          absl::StrCat("chain edge ", chain[p], "-", chain[p + 1], " gets ", marks, " marks"));
    }
  }
  const auto check_list = [&problems](char const* name, std::vector<SurfaceCutEdge> const& list,
                                      std::vector<PolygonEdge> const& expected) {
    bool same = list.size() == expected.size();
    for (std::size_t k = 0; same && k < list.size(); ++k) same = list[k].new_edge == expected[k];
    if (!same) {
      std::vector<std::string> got;
      for (auto const& entry : list) got.push_back(edge_text(entry.new_edge));
      std::vector<std::string> wanted;
      for (auto const& edge : expected) wanted.push_back(edge_text(edge));
      problems.push_back(absl::StrCat(name, " list is [", absl::StrJoin(got, " "), "], expected [",
                                      absl::StrJoin(wanted, " "), "]"));
    }
  };
  check_list("second", info.second, second);
  check_list("third", info.third, third);

  // The first list: every other new polygon edge, once.
  absl::flat_hash_set<PolygonEdge> listed;
  for (auto const* list : {&info.second, &info.third}) {
    for (auto const& entry : *list) listed.insert(entry.new_edge);
  }
  for (auto const& entry : info.first) {
    if (!new_edges.contains(entry.new_edge)) {
      problems.push_back(
          absl::StrCat("first list holds ", edge_text(entry.new_edge), ", no new polygon edge"));
    }
    if (!listed.insert(entry.new_edge).second) {
      problems.push_back(absl::StrCat("edge ", edge_text(entry.new_edge), " listed twice"));
    }
  }
  for (auto const& edge : new_edges) {
    if (!listed.contains(edge))
      problems.push_back(absl::StrCat("edge ", edge_text(edge), " unlisted"));
  }

  // Replaced edges: pre-cut edges that the new edge lies on, same direction.
  absl::flat_hash_set<PolygonEdge> replaced_edges;
  const auto lies_on = [&created_on](index_t vertex, index_t end, std::array<index_t, 2> ends) {
    if (vertex == end) return true;
    const auto found = created_on.find(vertex);
    if (found == created_on.end()) return false;
    auto on = found->second;
    std::sort(on.begin(), on.end());
    std::sort(ends.begin(), ends.end());
    return on == ends;
  };
  for (auto const* list : {&info.first, &info.second, &info.third}) {
    for (auto const& entry : *list) {
      for (auto const& replaced : entry.replaced) {
        if (replaced == PolygonEdge{} || replaced == entry.new_edge) continue;
        if (replaced.polygon_id >= old_polygons || !before.is_polygon_active(replaced.polygon_id)) {
          problems.push_back(absl::StrCat(edge_text(entry.new_edge), " replaces ",
                                          edge_text(replaced), ", no pre-cut edge"));
          continue;
        }
        replaced_edges.insert(replaced);
        const auto ends = before.polygon_edge_vertices(replaced);
        const auto now = after.polygon_edge_vertices(entry.new_edge);
        if (!lies_on(now[0], ends[0], ends) || !lies_on(now[1], ends[1], ends) ||
            (created_on.contains(now[0]) && created_on.contains(now[1]))) {
          problems.push_back(
              absl::StrCat(edge_text(entry.new_edge), " does not lie on ", edge_text(replaced)));
        }
      }
    }
  }
  for (index_t t = 0; t < old_polygons; ++t) {
    if (!is_divided[t]) continue;
    for (local_index_t e = 0; e < 3; ++e) {
      if (!replaced_edges.contains(PolygonEdge{t, e})) {
        problems.push_back(absl::StrCat("edge ", edge_text({t, e}),
                                        " of a divided triangle is "
                                        "replaced by nothing"));
      }
    }
  }

  // The pieces cover the divided triangles exactly, up to the rounding of
  // the created points.
  double divided_area = 0.0;
  for (index_t t = 0; t < old_polygons; ++t) {
    if (is_divided[t]) divided_area += signed_area(before, t);
  }
  double pieces_area = 0.0;
  for (index_t t = old_polygons; t < after.nb_polygons(); ++t) pieces_area += signed_area(after, t);
  if (std::fabs(pieces_area - divided_area) > 1e-9 * divided_area) {
    problems.push_back(
        absl::StrCat("the pieces cover ", pieces_area, ", the divided triangles ", divided_area));
  }
  if (check_validity) {
    for (auto& problem : surface_problems(after)) problems.push_back(std::move(problem));
  }
  if (problems.empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "cut " << a << " -> " << b << ":\n  " << absl::StrJoin(problems, "\n  ");
}

}  // namespace test
}  // namespace tarnix
