// The main job: remeshes a two-layer cross-section whose layers meet along
// a curved interface (the lower layer holds an internal line, the upper one
// a hole) to an edge length that is fine at the interface and coarse away
// from it, then relaxes the result. Writes pictures of the input and the
// output (SVG, triangles shaded by quality), a VTK file of the output, and
// prints a quality report.
//
// Usage: tarnix_demo [output folder]
#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include <absl/strings/match.h>

#include "crossing_sheets.h"
#include "layered_section.h"

#include <tarnix/brep.h>
#include <ulvane/basic/logger.h>
#include <ulvane/model/brep.h>

#include <tarnix/surface2d/relax_surfaces.h>
#include <tarnix/surface2d/remesh_surfaces.h>
#include <ulvane/mesh/triangulated_surface.h>
#include <ulvane/model/section.h>
#include <ulvane/model/section_builder.h>
#include <vantrel/corner.h>
#include <vantrel/initialize_remeshing_data.h>
#include <vantrel/line2d.h>

namespace {

using namespace tarnix;
using demo::HEIGHT;
using demo::WIDTH;

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

// Legacy VTK polydata of every surface (triangles with their quality) and
// every line, for ParaView.
void write_vtk(Section const& section, std::string const& path) {
  std::vector<Point<2>> points;
  std::vector<std::array<index_t, 3>> triangles;
  std::vector<double> qualities;
  std::vector<std::array<index_t, 2>> segments;
  for (auto const& surface : section.surfaces()) {
    auto const& mesh = dynamic_cast<TriangulatedSurface<2> const&>(surface.mesh());
    auto const offset = static_cast<index_t>(points.size());
    for (index_t v = 0; v < mesh.nb_vertices(); ++v) points.push_back(mesh.point(v));
    for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
      if (!mesh.is_polygon_active(t)) continue;
      triangles.push_back({offset + mesh.polygon_vertex({t, 0}), offset + mesh.polygon_vertex({t, 1}),
                           offset + mesh.polygon_vertex({t, 2})});
      qualities.push_back(quality_and_min_angle(corners_of(mesh, t)).first);
    }
  }
  for (auto const& line : section.lines()) {
    auto const& curve = line.mesh();
    auto const offset = static_cast<index_t>(points.size());
    for (index_t v = 0; v < curve.nb_vertices(); ++v) points.push_back(curve.point(v));
    for (index_t e = 0; e < curve.nb_edges(); ++e) {
      segments.push_back({offset + curve.edge_vertex({e, 0}), offset + curve.edge_vertex({e, 1})});
    }
  }
  std::ofstream out{path};
  out << "# vtk DataFile Version 3.0\nremeshed section\nASCII\nDATASET POLYDATA\n";
  out << "POINTS " << points.size() << " double\n";
  for (auto const& p : points) out << p.value(0) << ' ' << p.value(1) << " 0\n";
  out << "LINES " << segments.size() << ' ' << 3 * segments.size() << '\n';
  for (auto const& s : segments) out << "2 " << s[0] << ' ' << s[1] << '\n';
  out << "POLYGONS " << triangles.size() << ' ' << 4 * triangles.size() << '\n';
  for (auto const& t : triangles) out << "3 " << t[0] << ' ' << t[1] << ' ' << t[2] << '\n';
  // Cell data runs over lines first, then polygons.
  out << "CELL_DATA " << segments.size() + triangles.size() << "\nSCALARS quality double 1\n"
      << "LOOKUP_TABLE default\n";
  for (std::size_t i = 0; i < segments.size(); ++i) out << "1\n";
  for (double q : qualities) out << q << '\n';
}

// 3D quality of a triangle: the same formula, from the corner angles.
double quality_3d(std::array<Point<3>, 3> const& p) {
  std::array<double, 3> sines{};
  for (int v = 0; v < 3; ++v) {
    Vector<3> const u{p[v], p[(v + 1) % 3]};
    Vector<3> const w{p[v], p[(v + 2) % 3]};
    sines[v] = u.cross(w).length() / (u.length() * w.length());
  }
  return 4.0 * sines[0] * sines[1] * sines[2] / (sines[0] + sines[1] + sines[2]);
}

// The 3D pipeline on two surfaces that cross: remesh (with the repair of
// their crossing), then a report and a VTK file of the output surfaces.
void run_3d(std::string const& folder) {
  BRep const input = demo::make_crossing_sheets(25);
  ConstantMetric<3> const metric{0.05};
  index_t repairs = 0;
  auto const previous = Logger::set_sink([&repairs](Logger::Level, absl::string_view line) {
    if (absl::StartsWith(line, "other_surface intersection ") ||
        absl::StartsWith(line, "other_surface duplicated ")) {
      ++repairs;
    }
  });
  auto const start = std::chrono::steady_clock::now();
  auto remeshed = remesh(input, metric);
  auto const seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  Logger::set_sink(previous);
  BRep const& output = std::get<0>(remeshed);

  index_t triangles = 0;
  double min_quality = 1.0;
  double mean_quality = 0.0;
  std::vector<Point<3>> points;
  std::vector<std::array<index_t, 3>> cells;
  for (auto const& surface : output.surfaces()) {
    auto const& mesh = dynamic_cast<TriangulatedSurface<3> const&>(surface.mesh());
    auto const offset = static_cast<index_t>(points.size());
    for (index_t v = 0; v < mesh.nb_vertices(); ++v) points.push_back(mesh.point(v));
    for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
      if (!mesh.is_polygon_active(t)) continue;
      std::array<index_t, 3> const corners{mesh.polygon_vertex({t, 0}), mesh.polygon_vertex({t, 1}),
                                           mesh.polygon_vertex({t, 2})};
      double const q =
          quality_3d({mesh.point(corners[0]), mesh.point(corners[1]), mesh.point(corners[2])});
      min_quality = std::min(min_quality, q);
      mean_quality += q;
      ++triangles;
      cells.push_back({offset + corners[0], offset + corners[1], offset + corners[2]});
    }
  }
  if (triangles > 0) mean_quality /= triangles;
  std::printf("%-22s %8u triangles  quality min %.3f mean %.3f  intersection repairs %u  "
              "%.2f s\n",
              "3D crossing sheets", triangles, min_quality, mean_quality, repairs, seconds);

  std::ofstream out{folder + "/brep.vtk"};
  out << "# vtk DataFile Version 3.0\nremeshed brep\nASCII\nDATASET POLYDATA\n";
  out << "POINTS " << points.size() << " double\n";
  for (auto const& p : points) out << p.value(0) << ' ' << p.value(1) << ' ' << p.value(2) << '\n';
  out << "POLYGONS " << cells.size() << ' ' << 4 * cells.size() << '\n';
  for (auto const& c : cells) out << "3 " << c[0] << ' ' << c[1] << ' ' << c[2] << '\n';
}

}  // namespace

int main(int argc, char** argv) {
  std::string const folder = argc > 1 ? argv[1] : ".";
  Section const input = demo::make_layered_section(120, 40);
  demo::InterfaceMetric const metric{0.012, 0.08};

  Section output;
  auto const start = std::chrono::steady_clock::now();
  auto data = initialize_remeshing_data<SectionBuilder, SectionGeometricModifier, Section, 2>(
      input, output, metric);
  remesh_corners(data);
  remesh_lines(data);
  remesh_surfaces(data);
  auto const remeshed = std::chrono::steady_clock::now();
  Figures const before = measure(output, metric);
  write_svg(output, folder + "/remeshed.svg");
  relax_surfaces(output, metric);
  auto const relaxed = std::chrono::steady_clock::now();
  Figures const after = measure(output, metric);

  write_svg(input, folder + "/input.svg");
  write_svg(output, folder + "/relaxed.svg");
  write_vtk(output, folder + "/relaxed.vtk");
  print("input", measure(input, metric));
  print("remeshed", before);
  print("remeshed and relaxed", after);
  auto const seconds = [](auto from, auto to) {
    return std::chrono::duration<double>(to - from).count();
  };
  std::printf("remeshing %.2f s, relaxation %.2f s\n", seconds(start, remeshed),
              seconds(remeshed, relaxed));
  run_3d(folder);
  std::printf("pictures: %s/input.svg, %s/remeshed.svg, %s/relaxed.svg; "
              "ParaView: %s/relaxed.vtk, %s/brep.vtk\n",
              folder.c_str(), folder.c_str(), folder.c_str(), folder.c_str(), folder.c_str());
  return 0;
}
