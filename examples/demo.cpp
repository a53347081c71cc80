// The main job: remeshes a two-layer cross-section whose layers meet along
// a curved interface, to an edge length that is fine at the interface and
// coarse away from it, then relaxes the result. Writes a picture of the
// input and of the output (SVG, triangles shaded by quality) and prints a
// quality report.
//
// Usage: tarnix_demo [output folder]
#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <tarnix/surface2d/relax_surfaces.h>
#include <tarnix/surface2d/remesh_surfaces.h>
#include <ulvane/mesh/edged_curve_builder.h>
#include <ulvane/mesh/point_set_builder.h>
#include <ulvane/mesh/triangulated_surface.h>
#include <ulvane/mesh/triangulated_surface_builder.h>
#include <ulvane/model/section.h>
#include <ulvane/model/section_builder.h>
#include <vantrel/corner.h>
#include <vantrel/initialize_remeshing_data.h>
#include <vantrel/line2d.h>

namespace {

using namespace tarnix;

constexpr double WIDTH = 3.0;
constexpr double HEIGHT = 2.0;

// The interface between the two layers.
double interface_height(double x) { return 1.0 + 0.25 * std::sin(2.0 * M_PI * x / WIDTH); }

// Fine at the interface, coarse at the top and bottom.
class InterfaceMetric : public Metric<2> {
 public:
  double edge_length(Point<2> const& p) const override {
    return 0.012 + 0.08 * std::fabs(p.value(1) - interface_height(p.value(0)));
  }
};

// A two-layer section: each layer is a structured grid that follows the
// interface, every line a chain of grid vertices, every vertex linked to
// the unique vertex of its position.
class LayeredSection {
 public:
  LayeredSection(int columns, int rows) : columns_(columns), rows_(rows), builder_(section) {
    // Grid vertex (i, j), j = 0 .. 2 rows, row `rows` on the interface.
    for (int j = 0; j <= 2 * rows; ++j) {
      for (int i = 0; i <= columns; ++i) uniques_.push_back(builder_.create_unique_vertex());
    }
    std::array<uuid, 6> corners;
    std::array<std::array<int, 2>, 6> const corner_at{
        {{0, 0}, {columns, 0}, {columns, rows}, {0, rows}, {columns, 2 * rows}, {0, 2 * rows}}};
    for (int c = 0; c < 6; ++c) corners[c] = add_corner(corner_at[c]);
    // bottom, right (lower), interface, left (lower), right (upper), top, left (upper)
    auto const bottom = add_line(corners[0], {0, 0}, {1, 0}, columns);
    auto const right_low = add_line(corners[1], {columns, 0}, {0, 1}, rows);
    auto const middle = add_line(corners[3], {0, rows}, {1, 0}, columns);
    auto const left_low = add_line(corners[0], {0, 0}, {0, 1}, rows);
    auto const right_up = add_line(corners[2], {columns, rows}, {0, 1}, rows);
    auto const top = add_line(corners[5], {0, 2 * rows}, {1, 0}, columns);
    auto const left_up = add_line(corners[3], {0, rows}, {0, 1}, rows);
    builder_.add_corner_line_boundary_relationship(corners[1], bottom);
    builder_.add_corner_line_boundary_relationship(corners[2], right_low);
    builder_.add_corner_line_boundary_relationship(corners[2], middle);
    builder_.add_corner_line_boundary_relationship(corners[3], left_low);
    builder_.add_corner_line_boundary_relationship(corners[4], right_up);
    builder_.add_corner_line_boundary_relationship(corners[4], top);
    builder_.add_corner_line_boundary_relationship(corners[5], left_up);
    auto const lower = add_surface(0);
    auto const upper = add_surface(rows);
    for (auto const& line : {bottom, right_low, middle, left_low}) {
      builder_.add_line_surface_boundary_relationship(line, lower);
    }
    for (auto const& line : {middle, right_up, top, left_up}) {
      builder_.add_line_surface_boundary_relationship(line, upper);
    }
  }

  Section section;

 private:
  Point<2> point(int i, int j) const {
    double const x = WIDTH * i / columns_;
    double const y0 = interface_height(x);
    double const y = j <= rows_ ? y0 * j / rows_ : y0 + (HEIGHT - y0) * (j - rows_) / rows_;
    return Point<2>{{x, y}};
  }
  index_t unique(int i, int j) const { return uniques_[i + (columns_ + 1) * j]; }

  uuid add_corner(std::array<int, 2> at) {
    auto const id = builder_.add_corner();
    auto& mesh = builder_.modifiable_corner(id).get_modifiable_mesh();
    auto const v = PointSetBuilder<2>::create(mesh)->create_point(point(at[0], at[1]));
    builder_.set_unique_vertex({{"Corner", id}, v}, unique(at[0], at[1]));
    return id;
  }

  uuid add_line(uuid const& from_corner, std::array<int, 2> from, std::array<int, 2> step,
                int count) {
    auto const id = builder_.add_line();
    auto& mesh = builder_.modifiable_line(id).get_modifiable_mesh();
    auto curve = EdgedCurveBuilder<2>::create(mesh);
    for (int k = 0; k <= count; ++k) {
      int const i = from[0] + step[0] * k;
      int const j = from[1] + step[1] * k;
      auto const v = curve->create_point(point(i, j));
      builder_.set_unique_vertex({{"Line", id}, v}, unique(i, j));
      if (k > 0) curve->create_edge(v - 1, v);
    }
    builder_.add_corner_line_boundary_relationship(from_corner, id);
    return id;
  }

  uuid add_surface(int first_row) {
    auto const id = builder_.add_surface();
    auto& mesh = dynamic_cast<TriangulatedSurface<2>&>(
        builder_.modifiable_surface(id).get_modifiable_mesh());
    auto surface = TriangulatedSurfaceBuilder<2>::create(mesh);
    for (int j = 0; j <= rows_; ++j) {
      for (int i = 0; i <= columns_; ++i) {
        auto const v = surface->create_point(point(i, first_row + j));
        builder_.set_unique_vertex({{"Surface", id}, v}, unique(i, first_row + j));
      }
    }
    auto const vertex = [&](int i, int j) { return static_cast<index_t>(i + (columns_ + 1) * j); };
    for (int j = 0; j < rows_; ++j) {
      for (int i = 0; i < columns_; ++i) {
        surface->create_triangle({vertex(i, j), vertex(i + 1, j), vertex(i + 1, j + 1)});
        surface->create_triangle({vertex(i, j), vertex(i + 1, j + 1), vertex(i, j + 1)});
      }
    }
    surface->compute_polygon_adjacencies();
    return id;
  }

  int columns_;
  int rows_;
  SectionBuilder builder_;
  std::vector<index_t> uniques_;
};

struct Figures {
  index_t triangles{0};
  double min_quality{1.0};
  double mean_quality{0.0};
  double min_angle{180.0};
  double within_target{0.0};  // share of edges within [1/sqrt2, sqrt2] of the target
};

std::array<Point<2>, 3> corners_of(TriangulatedSurface<2> const& mesh, index_t t) {
  return {mesh.point(mesh.polygon_vertex({t, 0})), mesh.point(mesh.polygon_vertex({t, 1})),
          mesh.point(mesh.polygon_vertex({t, 2}))};
}

// 4 sinA sinB sinC / (sinA + sinB + sinC), and the smallest angle in degrees.
std::pair<double, double> quality_and_min_angle(std::array<Point<2>, 3> const& p) {
  std::array<double, 3> sines{};
  double min_angle = 180.0;
  for (int v = 0; v < 3; ++v) {
    Vector<2> const u{p[v], p[(v + 1) % 3]};
    Vector<2> const w{p[v], p[(v + 2) % 3]};
    double const cross = u.value(0) * w.value(1) - u.value(1) * w.value(0);
    double const angle = std::atan2(cross, u.dot(w));
    sines[v] = std::sin(angle);
    min_angle = std::min(min_angle, angle * 180.0 / M_PI);
  }
  double const sum = sines[0] + sines[1] + sines[2];
  return {4.0 * sines[0] * sines[1] * sines[2] / sum, min_angle};
}

Figures measure(Section const& section, Metric<2> const& metric) {
  Figures figures;
  index_t edges = 0;
  index_t good_edges = 0;
  for (auto const& surface : section.surfaces()) {
    auto const& mesh = dynamic_cast<TriangulatedSurface<2> const&>(surface.mesh());
    for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
      if (!mesh.is_polygon_active(t)) continue;
      auto const p = corners_of(mesh, t);
      auto const qa = quality_and_min_angle(p);
      figures.min_quality = std::min(figures.min_quality, qa.first);
      figures.min_angle = std::min(figures.min_angle, qa.second);
      figures.mean_quality += qa.first;
      ++figures.triangles;
      for (int e = 0; e < 3; ++e) {
        Point<2> const middle = (p[e] + p[(e + 1) % 3]) * 0.5;
        double const ratio = Vector<2>{p[e], p[(e + 1) % 3]}.length() / metric.edge_length(middle);
        ++edges;
        if (ratio >= M_SQRT1_2 && ratio <= M_SQRT2) ++good_edges;
      }
    }
  }
  if (figures.triangles > 0) figures.mean_quality /= figures.triangles;
  if (edges > 0) figures.within_target = static_cast<double>(good_edges) / edges;
  return figures;
}

void print(char const* title, Figures const& f) {
  std::printf("%-22s %8u triangles  quality min %.3f mean %.3f  min angle %5.1f deg  "
              "edges near target %5.1f%%\n",
              title, f.triangles, f.min_quality, f.mean_quality, f.min_angle, 100.0 * f.within_target);
}

// Triangles shaded from red (poor) to white (equilateral), lines on top.
void write_svg(Section const& section, std::string const& path) {
  double const scale = 400.0;
  std::ofstream out{path};
  out << "<svg xmlns='http://www.w3.org/2000/svg' width='" << WIDTH * scale + 20 << "' height='"
      << HEIGHT * scale + 20 << "'>\n<g transform='translate(10," << HEIGHT * scale + 10
      << ") scale(" << scale << "," << -scale << ")' stroke-width='" << 0.6 / scale << "'>\n";
  for (auto const& surface : section.surfaces()) {
    auto const& mesh = dynamic_cast<TriangulatedSurface<2> const&>(surface.mesh());
    for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
      if (!mesh.is_polygon_active(t)) continue;
      auto const p = corners_of(mesh, t);
      double const q = std::max(0.0, quality_and_min_angle(p).first);
      int const shade = static_cast<int>(255 * std::min(1.0, q * q));
      out << "<polygon points='";
      for (auto const& point : p) out << point.value(0) << ',' << point.value(1) << ' ';
      out << "' fill='rgb(255," << shade << ',' << shade << ")' stroke='#555'/>\n";
    }
  }
  for (auto const& line : section.lines()) {
    auto const& curve = line.mesh();
    for (index_t e = 0; e < curve.nb_edges(); ++e) {
      auto const& a = curve.point(curve.edge_vertex({e, 0}));
      auto const& b = curve.point(curve.edge_vertex({e, 1}));
      out << "<line x1='" << a.value(0) << "' y1='" << a.value(1) << "' x2='" << b.value(0)
          << "' y2='" << b.value(1) << "' stroke='black' stroke-width='" << 2.0 / scale << "'/>\n";
    }
  }
  out << "</g>\n</svg>\n";
}

}  // namespace

int main(int argc, char** argv) {
  std::string const folder = argc > 1 ? argv[1] : ".";
  LayeredSection input{120, 40};
  InterfaceMetric metric;

  Section output;
  auto const start = std::chrono::steady_clock::now();
  auto data = initialize_remeshing_data<SectionBuilder, SectionGeometricModifier, Section, 2>(
      input.section, output, metric);
  remesh_corners(data);
  remesh_lines(data);
  remesh_surfaces(data);
  auto const remeshed = std::chrono::steady_clock::now();
  Figures const before = measure(output, metric);
  write_svg(output, folder + "/remeshed.svg");
  relax_surfaces(output, metric);
  auto const relaxed = std::chrono::steady_clock::now();
  Figures const after = measure(output, metric);

  write_svg(input.section, folder + "/input.svg");
  write_svg(output, folder + "/relaxed.svg");
  print("input", measure(input.section, metric));
  print("remeshed", before);
  print("remeshed and relaxed", after);
  auto const seconds = [](auto from, auto to) {
    return std::chrono::duration<double>(to - from).count();
  };
  std::printf("remeshing %.2f s, relaxation %.2f s\n", seconds(start, remeshed),
              seconds(remeshed, relaxed));
  std::printf("pictures: %s/input.svg, %s/remeshed.svg, %s/relaxed.svg\n", folder.c_str(),
              folder.c_str(), folder.c_str());
  return 0;
}
