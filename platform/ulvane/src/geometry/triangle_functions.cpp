#include <ulvane/geometry/triangle_functions.h>

#include <cmath>

#include <ulvane/basic/ulvane_exception.h>

namespace tarnix {
namespace {

double cross_2d(Vector<2> const& u, Vector<2> const& v) {
  return u.value(0) * v.value(1) - u.value(1) * v.value(0);
}

Vector<3> doubled_area_normal(Triangle<3> const& triangle) {
  auto const& v = triangle.vertices();
  return Vector<3>{v[0], v[1]}.cross(Vector<3>{v[0], v[2]});
}

void check_doubled_area(double doubled_area) {
  if (!detail::is_divisor_valid(doubled_area)) {
    throw UlvaneException(
        "[triangle_barycentric_coordinates] The triangle is degenerate: its area is too small");
  }
}

}  // namespace

double triangle_signed_area(Triangle<2> const& triangle) {
  auto const& v = triangle.vertices();
  return 0.5 * cross_2d(Vector<2>{v[0], v[1]}, Vector<2>{v[0], v[2]});
}

double triangle_area(Triangle<2> const& triangle) {
  return std::fabs(triangle_signed_area(triangle));
}

double triangle_area(Triangle<3> const& triangle) {
  return 0.5 * doubled_area_normal(triangle).length();
}

absl::optional<Vector<3>> triangle_normal(Triangle<3> const& triangle) {
  Vector<3> const normal = doubled_area_normal(triangle);
  double const length = normal.length();
  if (!detail::is_divisor_valid(length)) return absl::nullopt;
  return normal / length;
}

std::array<double, 3> triangle_barycentric_coordinates(Point<2> const& point,
                                                       Triangle<2> const& triangle) {
  auto const& v = triangle.vertices();
  double const doubled_area = cross_2d(Vector<2>{v[0], v[1]}, Vector<2>{v[0], v[2]});
  check_doubled_area(doubled_area);
  // Weight of vertex i: the area of the triangle the point makes with the
  // opposite edge, over the whole area.
  std::array<double, 3> weights{};
  for (int i = 0; i < 3; ++i) {
    Point<2> const& b = v[(i + 1) % 3];
    Point<2> const& c = v[(i + 2) % 3];
    weights[i] = cross_2d(Vector<2>{point, b}, Vector<2>{point, c}) / doubled_area;
  }
  return weights;
}

std::array<double, 3> triangle_barycentric_coordinates(Point<3> const& point,
                                                       Triangle<3> const& triangle) {
  auto const& v = triangle.vertices();
  Vector<3> const normal = doubled_area_normal(triangle);
  double const doubled_area2 = normal.length2();
  check_doubled_area(std::sqrt(doubled_area2));
  std::array<double, 3> weights{};
  for (int i = 0; i < 3; ++i) {
    Point<3> const& b = v[(i + 1) % 3];
    Point<3> const& c = v[(i + 2) % 3];
    weights[i] = Vector<3>{point, b}.cross(Vector<3>{point, c}).dot(normal) / doubled_area2;
  }
  return weights;
}

}  // namespace tarnix
