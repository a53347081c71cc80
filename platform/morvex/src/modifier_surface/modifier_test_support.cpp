#include "modifier_test_support.h"

#include <algorithm>
#include <cmath>
#include <random>

#include <absl/container/flat_hash_map.h>
#include <absl/container/flat_hash_set.h>
#include <absl/strings/str_cat.h>

#include <ulvane/geometry/predicates.h>
#include <ulvane/geometry/vector.h>

#include <morvex/common/snapping.h>

#include "mesh/surface_fixtures.h"

namespace tarnix {
namespace test {
namespace {

template <index_t D>
Vector<3> lift(Point<D> const& point) {
  Vector<3> lifted;
  for (index_t i = 0; i < D; ++i) lifted.set_value(i, point.value(i));
  return lifted;
}

//! Whether the point lies on the segment [a, b], up to `tolerance`: an
//! insertion takes a point within the snapping tolerance of an edge to be
//! on it.
bool is_on_segment(Vector<3> const& a, Vector<3> const& b, Vector<3> const& point,
                   double tolerance) {
  const Vector<3> direction = b - a;
  const Vector<3> offset = point - a;
  const double length = direction.length();
  if (direction.cross(offset).length() > tolerance * length) return false;
  const double along = direction.dot(offset);
  return along >= -tolerance * length && along <= length * (length + tolerance);
}

//! The snapping tolerance of the triangle, with a margin for rounding.
template <index_t D>
double snapping_tolerance(TriangulatedSurface<D> const& mesh, index_t triangle) {
  double longest = 0.0;
  for (local_index_t e = 0; e < 3; ++e) longest = std::max(longest, mesh.edge_length({triangle, e}));
  return 2 * detail::SNAPPING_RELATIVE_EPSILON * longest;
}

}  // namespace

template <index_t D>
std::unique_ptr<TriangulatedSurface<D>> make_jittered_grid(index_t n, std::uint32_t seed,
                                                           double amount) {
  auto mesh = make_grid<D>(n);
  auto builder = TriangulatedSurfaceBuilder<D>::create(*mesh);
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> jitter(-amount, amount);
  for (index_t j = 0; j <= n; ++j) {
    for (index_t i = 0; i <= n; ++i) {
      Point<D> point = mesh->point(i + (n + 1) * j);
      if (i > 0 && i < n && j > 0 && j < n) {
        point.set_value(0, point.value(0) + jitter(random));
        point.set_value(1, point.value(1) + jitter(random));
      }
      if constexpr (D == 3) {
        point.set_value(2, 0.4 * std::sin(0.5 * point.value(0)) * std::cos(0.3 * point.value(1)));
      }
      builder->set_point(i + (n + 1) * j, point);
    }
  }
  return mesh;
}

template <index_t D>
SurfaceSnapshot snapshot(TriangulatedSurface<D> const& mesh) {
  SurfaceSnapshot result;
  for (index_t v = 0; v < mesh.nb_vertices(); ++v) {
    auto const& values = mesh.point(v).values();
    result.points.emplace_back(values.begin(), values.end());
  }
  for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
    std::array<index_t, 3> vertices{};
    std::array<index_t, 3> adjacents{};
    for (local_index_t v = 0; v < 3; ++v) {
      vertices[v] = mesh.polygon_vertex({t, v});
      adjacents[v] = mesh.polygon_adjacent({t, v}).value_or(NO_ID);
    }
    result.triangles.push_back(vertices);
    result.adjacents.push_back(adjacents);
    result.active.push_back(mesh.is_polygon_active(t));
  }
  return result;
}

template <index_t D>
::testing::AssertionResult is_complete_split_record(TriangulatedSurface<D> const& mesh,
                                                    index_t first_new_triangle,
                                                    PolygonEdgePairs const& replacing,
                                                    PolygonEdgePairs const& interior) {
  const auto segment = [&mesh](PolygonEdge const& edge) {
    const auto ends = mesh.polygon_edge_vertices(edge);
    return std::array<Vector<3>, 2>{{lift(mesh.point(ends[0])), lift(mesh.point(ends[1]))}};
  };
  absl::flat_hash_map<PolygonEdge, int> listed;
  for (auto const* list : {&replacing, &interior}) {
    for (auto const& pair : *list) ++listed[pair.first];
  }
  for (index_t t = first_new_triangle; t < mesh.nb_polygons(); ++t) {
    for (local_index_t e = 0; e < 3; ++e) {
      const auto found = listed.find(PolygonEdge{t, e});
      if (found == listed.end() || found->second != 1) {
        return ::testing::AssertionFailure()
               << "new edge (" << t << ", " << int{e} << ") is listed "
               << (found == listed.end() ? 0 : found->second) << " times";
      }
    }
  }
  if (listed.size() != 3 * (mesh.nb_polygons() - first_new_triangle)) {
    return ::testing::AssertionFailure() << "the record lists edges of old triangles";
  }
  // The split element's tolerance: that of its largest divided triangle.
  double tolerance = 0.0;
  for (auto const& pair : replacing) {
    if (pair.second == PolygonEdge{}) continue;
    tolerance = std::max(tolerance, snapping_tolerance(mesh, pair.second.polygon_id));
  }
  for (auto const& pair : replacing) {
    if (pair.second == PolygonEdge{} || mesh.is_polygon_active(pair.second.polygon_id)) {
      return ::testing::AssertionFailure()
             << pair.first << " replaces " << pair.second << ", not an edge of a removed triangle";
    }
    const auto piece = segment(pair.first);
    const auto old = segment(pair.second);
    if (!is_on_segment(old[0], old[1], piece[0], tolerance) ||
        !is_on_segment(old[0], old[1], piece[1], tolerance) ||
        (piece[1] - piece[0]).dot(old[1] - old[0]) <= 0.0) {
      return ::testing::AssertionFailure()
             << pair.first << " does not lie along " << pair.second;
    }
  }
  absl::flat_hash_set<index_t> divided;
  for (auto const& pair : replacing) divided.insert(pair.second.polygon_id);
  for (auto const& pair : interior) {
    if (pair.second != PolygonEdge{}) {
      return ::testing::AssertionFailure() << pair.first << " inside pairs with " << pair.second;
    }
    const auto inner = segment(pair.first);
    const auto inner_ends = mesh.polygon_edge_vertices(pair.first);
    for (const index_t t : divided) {
      for (local_index_t e = 0; e < 3; ++e) {
        const auto old = segment({t, e});
        // Exactly (in 2D by the exact predicate): in a sliver, a new edge
        // inside lies within the tolerance of the sliver's edges.
        bool on_old_line = true;
        if constexpr (D == 2) {
          const auto old_ends = mesh.polygon_edge_vertices({t, e});
          for (const index_t end : inner_ends) {
            on_old_line = on_old_line && orientation_2d(mesh.point(old_ends[0]),
                                                        mesh.point(old_ends[1]),
                                                        mesh.point(end)) == Sign::zero;
          }
        }
        if (on_old_line && is_on_segment(old[0], old[1], inner[0], 0.0) &&
            is_on_segment(old[0], old[1], inner[1], 0.0)) {
          return ::testing::AssertionFailure()
                 << pair.first << " is listed inside but lies on (" << t << ", " << int{e} << ")";
        }
      }
    }
  }
  return ::testing::AssertionSuccess();
}

template std::unique_ptr<TriangulatedSurface<2>> make_jittered_grid<2>(index_t, std::uint32_t,
                                                                       double);
template std::unique_ptr<TriangulatedSurface<3>> make_jittered_grid<3>(index_t, std::uint32_t,
                                                                       double);
template SurfaceSnapshot snapshot<2>(TriangulatedSurface<2> const&);
template SurfaceSnapshot snapshot<3>(TriangulatedSurface<3> const&);
template ::testing::AssertionResult is_complete_split_record<2>(TriangulatedSurface<2> const&,
                                                                index_t, PolygonEdgePairs const&,
                                                                PolygonEdgePairs const&);
template ::testing::AssertionResult is_complete_split_record<3>(TriangulatedSurface<3> const&,
                                                                index_t, PolygonEdgePairs const&,
                                                                PolygonEdgePairs const&);

}  // namespace test
}  // namespace tarnix
