#include "frontal/frontal_test_support.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include <absl/container/flat_hash_map.h>
#include <absl/container/flat_hash_set.h>

#include <ulvane/geometry/distance.h>
#include <ulvane/geometry/vector.h>

namespace tarnix {
namespace test {
namespace {

// Lattice coordinates in units of a fraction of the cell, so that shared
// points are found exactly.
using LatticePoint = std::array<long long, 2>;

class LatticeBuilder {
 public:
  LatticeBuilder(double unit, TriangulatedSurfaceBuilder<2>& builder)
      : unit_(unit), builder_(builder) {}

  unsigned int vertex(LatticePoint const& p) {
    const auto found = vertices_.find(p);
    if (found != vertices_.end()) return found->second;
    const unsigned int v = builder_.create_point(
        Point<2>{{static_cast<double>(p[0]) * unit_, static_cast<double>(p[1]) * unit_}});
    vertices_.emplace(p, v);
    return v;
  }

 private:
  double unit_;
  TriangulatedSurfaceBuilder<2>& builder_;
  absl::flat_hash_map<LatticePoint, unsigned int> vertices_;
};

WorkingSurface empty_surface() {
  WorkingSurface surface;
  surface.mesh = TriangulatedSurface<2>::create();
  surface.builder = TriangulatedSurfaceBuilder<2>::create(*surface.mesh);
  return surface;
}

long long cells_per_side(double cell) { return std::llround(1.0 / cell); }

// The border edges of the surface, as (first vertex -> second vertex).
std::vector<PolygonEdge> border_edges(TriangulatedSurface<2> const& mesh) {
  std::vector<PolygonEdge> edges;
  for (unsigned int t = 0; t < mesh.nb_polygons(); ++t) {
    for (local_index_t j = 0; j < 3; ++j) {
      if (mesh.is_edge_on_border({t, j})) edges.emplace_back(t, j);
    }
  }
  return edges;
}

}  // namespace

WorkingSurface make_fine_grid(double cell, double spacing, CellDomain const& domain) {
  WorkingSurface surface = empty_surface();
  const long long n = cells_per_side(cell);
  LatticeBuilder lattice{cell, *surface.builder};
  for (long long j = 0; j < n; ++j) {
    for (long long i = 0; i < n; ++i) {
      if (!domain(Point<2>{{(i + 0.5) * cell, (j + 0.5) * cell}})) continue;
      const unsigned int v00 = lattice.vertex({i, j});
      const unsigned int v10 = lattice.vertex({i + 1, j});
      const unsigned int v11 = lattice.vertex({i + 1, j + 1});
      const unsigned int v01 = lattice.vertex({i, j + 1});
      surface.builder->create_triangle({v00, v10, v11});
      surface.builder->create_triangle({v00, v11, v01});
    }
  }
  surface.builder->compute_polygon_adjacencies();
  const long long step = std::llround(spacing / cell);
  absl::flat_hash_set<unsigned int> given;
  for (auto const& edge : border_edges(*surface.mesh)) {
    const unsigned int v = surface.mesh->polygon_edge_vertex(edge, 0);
    Point<2> const& p = surface.mesh->point(v);
    const long long i = std::llround(p.value(0) / cell);
    const long long j = std::llround(p.value(1) / cell);
    if (i % step == 0 && j % step == 0) given.insert(v);
  }
  surface.given.assign(given.begin(), given.end());
  std::sort(surface.given.begin(), surface.given.end());
  return surface;
}

WorkingSurface make_split_border_grid(double cell, unsigned int pieces, CellDomain const& domain) {
  WorkingSurface surface = empty_surface();
  const long long n = cells_per_side(cell);
  // Unit: cell / (2 pieces), so that centres and split points are lattice points.
  const long long k = 2 * static_cast<long long>(pieces);
  LatticeBuilder lattice{cell / static_cast<double>(k), *surface.builder};
  const auto inside = [&](long long i, long long j) {
    return i >= 0 && j >= 0 && i < n && j < n &&
           domain(Point<2>{{(i + 0.5) * cell, (j + 0.5) * cell}});
  };
  for (long long j = 0; j < n; ++j) {
    for (long long i = 0; i < n; ++i) {
      if (!inside(i, j)) continue;
      const LatticePoint corners[4] = {
          {i * k, j * k}, {(i + 1) * k, j * k}, {(i + 1) * k, (j + 1) * k}, {i * k, (j + 1) * k}};
      // Sides in counter-clockwise order: bottom, right, top, left.
      const bool on_border[4] = {!inside(i, j - 1), !inside(i + 1, j), !inside(i, j + 1),
                                 !inside(i - 1, j)};
      if (!on_border[0] && !on_border[1] && !on_border[2] && !on_border[3]) {
        const unsigned int v[4] = {lattice.vertex(corners[0]), lattice.vertex(corners[1]),
                                   lattice.vertex(corners[2]), lattice.vertex(corners[3])};
        surface.builder->create_triangle({v[0], v[1], v[2]});
        surface.builder->create_triangle({v[0], v[2], v[3]});
        continue;
      }
      std::vector<unsigned int> ring;
      for (int s = 0; s < 4; ++s) {
        LatticePoint const& a = corners[s];
        LatticePoint const& b = corners[(s + 1) % 4];
        const long long parts = on_border[s] ? static_cast<long long>(pieces) : 1;
        for (long long q = 0; q < parts; ++q) {
          ring.push_back(lattice.vertex(
              {a[0] + (b[0] - a[0]) * q / parts, a[1] + (b[1] - a[1]) * q / parts}));
        }
      }
      const unsigned int centre = lattice.vertex({i * k + k / 2, j * k + k / 2});
      for (std::size_t q = 0; q < ring.size(); ++q) {
        surface.builder->create_triangle({centre, ring[q], ring[(q + 1) % ring.size()]});
      }
    }
  }
  surface.builder->compute_polygon_adjacencies();
  absl::flat_hash_set<unsigned int> given;
  for (auto const& edge : border_edges(*surface.mesh)) {
    given.insert(surface.mesh->polygon_edge_vertex(edge, 0));
  }
  surface.given.assign(given.begin(), given.end());
  std::sort(surface.given.begin(), surface.given.end());
  return surface;
}

void choose_given_by_metric(WorkingSurface& surface, Metric<2> const& metric) {
  auto const& mesh = *surface.mesh;
  absl::flat_hash_map<unsigned int, PolygonEdge> leaving;
  for (auto const& edge : border_edges(mesh)) {
    leaving.emplace(mesh.polygon_edge_vertex(edge, 0), edge);
  }
  // The vertex before each border vertex, to tell where the border turns.
  absl::flat_hash_map<unsigned int, unsigned int> previous;
  for (auto const& entry : leaving) previous.emplace(mesh.polygon_edge_vertex(entry.second, 1), entry.first);
  const auto turns = [&](unsigned int v) {
    const unsigned int before = previous.at(v);
    const unsigned int after = mesh.polygon_edge_vertex(leaving.at(v), 1);
    const Vector<2> in{mesh.point(before), mesh.point(v)};
    const Vector<2> on{mesh.point(v), mesh.point(after)};
    return std::fabs(in.value(0) * on.value(1) - in.value(1) * on.value(0)) > 1e-12 * in.length() * on.length();
  };

  absl::flat_hash_set<unsigned int> done;
  std::vector<unsigned int> given;
  for (auto const& entry : leaving) {
    if (done.contains(entry.first) || !turns(entry.first)) continue;
    // One border loop, from a turning vertex, cut into straight runs.
    unsigned int v = entry.first;
    std::vector<unsigned int> run{v};
    while (true) {
      done.insert(v);
      const unsigned int next = mesh.polygon_edge_vertex(leaving.at(v), 1);
      run.push_back(next);
      if (turns(next)) {
        // Metric length along the run, then the vertices nearest to equal steps.
        std::vector<double> arc{0.0};
        for (std::size_t q = 1; q < run.size(); ++q) {
          Point<2> const& a = mesh.point(run[q - 1]);
          Point<2> const& b = mesh.point(run[q]);
          arc.push_back(arc.back() +
                        point_point_distance<2>(a, b) / metric.edge_length((a + b) * 0.5));
        }
        const double steps = std::max(1.0, std::round(arc.back()));
        given.push_back(run.front());
        std::size_t q = 0;
        for (int s = 1; s < static_cast<int>(steps); ++s) {
          const double target = arc.back() * s / steps;
          while (q + 1 < arc.size() && arc[q + 1] <= target) ++q;
          const std::size_t nearest =
              (q + 1 < arc.size() && arc[q + 1] - target < target - arc[q]) ? q + 1 : q;
          if (nearest > 0 && nearest + 1 < run.size() && run[nearest] != given.back()) {
            given.push_back(run[nearest]);
          }
        }
        run.assign(1, next);
      }
      v = next;
      if (done.contains(v)) break;
    }
  }
  std::sort(given.begin(), given.end());
  given.erase(std::unique(given.begin(), given.end()), given.end());
  surface.given = std::move(given);
}

double triangle_area(TriangulatedSurface<2> const& mesh, unsigned int triangle) {
  Point<2> const& a = mesh.point(mesh.polygon_vertex({triangle, 0}));
  Point<2> const& b = mesh.point(mesh.polygon_vertex({triangle, 1}));
  Point<2> const& c = mesh.point(mesh.polygon_vertex({triangle, 2}));
  return 0.5 * ((b.value(0) - a.value(0)) * (c.value(1) - a.value(1)) -
                (b.value(1) - a.value(1)) * (c.value(0) - a.value(0)));
}

double surface_area(TriangulatedSurface<2> const& mesh) {
  double area = 0.0;
  for (unsigned int t = 0; t < mesh.nb_polygons(); ++t) {
    if (mesh.is_polygon_active(t)) area += triangle_area(mesh, t);
  }
  return area;
}

MeshFigures measure(detail::RemeshedSurface<2> const& result, Metric<2> const& metric,
                    double input_area) {
  MeshFigures figures;
  auto const& mesh = *result.mesh;
  figures.nb_triangles = mesh.nb_polygons();
  figures.min_quality = 1.0;
  figures.min_angle_degrees = 180.0;
  double quality_sum = 0.0;
  unsigned int nb_edges = 0;
  unsigned int nb_good = 0;
  const double pi = std::acos(-1.0);
  for (unsigned int t = 0; t < mesh.nb_polygons(); ++t) {
    std::array<Point<2>, 3> p;
    for (local_index_t k = 0; k < 3; ++k) p[k] = mesh.point(mesh.polygon_vertex({t, k}));
    std::array<double, 3> angles;
    for (int k = 0; k < 3; ++k) {
      const Vector<2> u{p[k], p[(k + 1) % 3]};
      const Vector<2> w{p[k], p[(k + 2) % 3]};
      angles[k] = std::acos(std::max(-1.0, std::min(1.0, u.dot(w) / (u.length() * w.length()))));
    }
    const double s0 = std::sin(angles[0]);
    const double s1 = std::sin(angles[1]);
    const double s2 = std::sin(angles[2]);
    const double quality = 4.0 * s0 * s1 * s2 / (s0 + s1 + s2);
    quality_sum += quality;
    figures.min_quality = std::min(figures.min_quality, quality);
    for (double angle : angles) {
      figures.min_angle_degrees = std::min(figures.min_angle_degrees, angle * 180.0 / pi);
    }
    for (local_index_t e = 0; e < 3; ++e) {
      // Each inner edge once, from the triangle with the smaller id.
      const auto across = mesh.polygon_adjacent({t, e});
      if (across && *across < t) continue;
      Point<2> const& a = p[e];
      Point<2> const& b = p[(e + 1) % 3];
      const double ratio = point_point_distance<2>(a, b) / metric.edge_length((a + b) * 0.5);
      ++nb_edges;
      if (ratio >= 1.0 / std::sqrt(2.0) && ratio <= std::sqrt(2.0)) ++nb_good;
    }
  }
  if (figures.nb_triangles > 0) {
    figures.mean_quality = quality_sum / figures.nb_triangles;
    figures.share_of_good_edges = static_cast<double>(nb_good) / nb_edges;
  } else {
    figures.min_quality = 0.0;
    figures.min_angle_degrees = 0.0;
  }
  figures.nb_regions = static_cast<unsigned int>(result.unmeshed_regions.size());
  double region_area = 0.0;
  for (auto const& region : result.unmeshed_regions) {
    const auto nb_filled = static_cast<unsigned int>(region.mesh->nb_polygons() -
                                                     region.ring_triangles.size());
    for (unsigned int t = 0; t < nb_filled; ++t) region_area += triangle_area(*region.mesh, t);
  }
  figures.region_area_share = region_area / input_area;
  return figures;
}

std::string describe(MeshFigures const& figures) {
  std::ostringstream out;
  out << figures.nb_triangles << " triangles, quality min " << figures.min_quality << " mean "
      << figures.mean_quality << ", min angle " << figures.min_angle_degrees << " deg, "
      << 100.0 * figures.share_of_good_edges << "% of edges within [1/sqrt2, sqrt2] of target, "
      << figures.nb_regions << " unmeshed regions (" << 100.0 * figures.region_area_share
      << "% of the area)";
  return out.str();
}

bool unit_square(Point<2> const& /*centre*/) { return true; }

bool square_with_hole(Point<2> const& centre) {
  const auto in_hole = [](double x) { return x > 0.4 && x < 0.6; };
  return !(in_hole(centre.value(0)) && in_hole(centre.value(1)));
}

bool l_shape(Point<2> const& centre) { return !(centre.value(0) > 0.5 && centre.value(1) > 0.5); }

}  // namespace test
}  // namespace tarnix
