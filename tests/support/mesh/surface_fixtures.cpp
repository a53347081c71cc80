#include "mesh/surface_fixtures.h"

namespace tarnix {
namespace test {

template <index_t D>
std::unique_ptr<TriangulatedSurface<D>> make_surface(
    std::vector<std::array<double, D>> const& points,
    std::vector<std::array<index_t, 3>> const& triangles) {
  auto surface = TriangulatedSurface<D>::create();
  auto builder = TriangulatedSurfaceBuilder<D>::create(*surface);
  for (auto const& point : points) builder->create_point(Point<D>{point});
  for (auto const& triangle : triangles) builder->create_triangle(triangle);
  builder->compute_polygon_adjacencies();
  return surface;
}

template <index_t D>
std::unique_ptr<TriangulatedSurface<D>> make_grid(index_t n) {
  std::vector<std::array<double, D>> points;
  for (index_t j = 0; j <= n; ++j) {
    for (index_t i = 0; i <= n; ++i) {
      std::array<double, D> point{};
      point[0] = i;
      point[1] = j;
      points.push_back(point);
    }
  }
  std::vector<std::array<index_t, 3>> triangles;
  for (index_t j = 0; j < n; ++j) {
    for (index_t i = 0; i < n; ++i) {
      const index_t corner = i + (n + 1) * j;
      triangles.push_back({corner, corner + 1, corner + n + 2});
      triangles.push_back({corner, corner + n + 2, corner + n + 1});
    }
  }
  return make_surface<D>(points, triangles);
}

template std::unique_ptr<TriangulatedSurface<2>> make_surface<2>(
    std::vector<std::array<double, 2>> const&, std::vector<std::array<index_t, 3>> const&);
template std::unique_ptr<TriangulatedSurface<3>> make_surface<3>(
    std::vector<std::array<double, 3>> const&, std::vector<std::array<index_t, 3>> const&);
template std::unique_ptr<TriangulatedSurface<2>> make_grid<2>(index_t);
template std::unique_ptr<TriangulatedSurface<3>> make_grid<3>(index_t);

}  // namespace test
}  // namespace tarnix
