#include "stress_metric.h"

#include <algorithm>
#include <cmath>

#include <absl/strings/str_cat.h>

#include <tarnix/surface2d/remesh_surfaces.h>
#include <ulvane/model/section_builder.h>
#include <vantrel/corner.h>
#include <vantrel/initialize_remeshing_data.h>
#include <vantrel/line2d.h>

namespace tarnix {
namespace stress {

StressMetric StressMetric::random(Choices& choices, double size, double smallest,
                                  double largest) {
  auto const kind = static_cast<Kind>(choices.below(4));
  StressMetric metric{kind, size, smallest, largest};
  metric.center_ = {choices.between(-0.5, 1.5), choices.between(-0.5, 1.5)};
  double const angle = choices.between(0.0, 2.0 * M_PI);
  metric.direction_ = {std::cos(angle), std::sin(angle)};
  metric.frequency_ = choices.between(1.0, 8.0);
  return metric;
}

double StressMetric::graded(Point<2> const& point) const {
  double const x = point.value(0) / size_;
  double const y = point.value(1) / size_;
  double t = 0.0;  // in [0, 1] over the domain, roughly
  switch (kind_) {
    case Kind::constant:
      return smallest_;
    case Kind::gradient:
      t = 0.5 + 0.5 * (direction_[0] * (x - 0.5) + direction_[1] * (y - 0.5));
      break;
    case Kind::radial:
      t = std::hypot(x - center_[0], y - center_[1]);
      break;
    case Kind::waves:
      t = 0.5 + 0.5 * std::sin(frequency_ * (direction_[0] * x + direction_[1] * y));
      break;
  }
  t = std::min(1.0, std::max(0.0, t));
  return smallest_ + (largest_ - smallest_) * t;
}

double StressMetric::edge_length(Point<2> const& point) const {
  if (has_interior_) {
    double const x = point.value(0);
    double const y = point.value(1);
    double const border = std::min({x, y, size_ - x, size_ - y});
    if (border > interior_border_) return interior_length_;
  }
  return graded(point);
}

std::string StressMetric::description() const {
  static char const* const names[] = {"constant", "gradient", "radial", "waves"};
  return absl::StrCat(names[static_cast<int>(kind_)], " [", smallest_ / size_, ", ",
                      largest_ / size_, "] x size");
}

double expected_work(GeneratedSection const& input, Metric<2> const& metric) {
  double line_points = 0.0;
  for (auto const& line : input.section.lines()) {
    auto const& curve = line.mesh();
    for (index_t e = 0; e < curve.nb_edges(); ++e) {
      double const length = metric.edge_length(curve.edge_barycenter(e));
      if (length > 0.0 && std::isfinite(length)) line_points += curve.edge_length(e) / length;
    }
  }
  // Output triangles the metric asks for: the area over that of an
  // equilateral triangle of the local length.
  double output_triangles = 0.0;
  for (auto const& surface : input.section.surfaces()) {
    auto const& mesh = surface.mesh();
    for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
      auto const& a = mesh.point(mesh.polygon_vertex({t, 0}));
      auto const& b = mesh.point(mesh.polygon_vertex({t, 1}));
      auto const& c = mesh.point(mesh.polygon_vertex({t, 2}));
      double const area = 0.5 * std::fabs((b.value(0) - a.value(0)) * (c.value(1) - a.value(1)) -
                                           (b.value(1) - a.value(1)) * (c.value(0) - a.value(0)));
      double const length = metric.edge_length(mesh.polygon_barycenter(t));
      if (length > 0.0 && std::isfinite(length)) output_triangles += area / (0.433 * length * length);
    }
  }
  return input.nb_triangles + 3.0 * line_points + output_triangles;
}

RemeshingData<Section, 2> remesh_section(Section const& input, Section& output,
                                         Metric<2> const& metric) {
  auto data = initialize_remeshing_data<SectionBuilder, SectionGeometricModifier, Section, 2>(
      input, output, metric);
  remesh_corners(data);
  remesh_lines(data);
  remesh_surfaces(data);
  return data;
}

}  // namespace stress
}  // namespace tarnix
