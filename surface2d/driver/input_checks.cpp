#include "driver/input_checks.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include <absl/container/flat_hash_set.h>
#include <absl/container/inlined_vector.h>
#include <absl/strings/str_cat.h>

#include <ulvane/basic/ulvane_exception.h>
#include <ulvane/geometry/predicates.h>

namespace tarnix {
namespace detail {
namespace {

[[noreturn]] void refuse(InputContext const& context, std::string const& what) {
  throw UlvaneException(absl::StrCat("[", context.step, "] ").c_str(), what);
}

std::string point_text(Point<2> const& point) {
  return absl::StrCat("(", point.value(0), ", ", point.value(1), ")");
}

std::string vertex_text(TriangulatedSurface<2> const& mesh, index_t vertex) {
  return absl::StrCat("vertex ", vertex, " ", point_text(mesh.point(vertex)));
}

// The vertices of the triangles, as corners 3 t + k (inactive triangles
// hold NO_ID), and the corners at each vertex in compressed rows: the
// corners of v are corners[start[v]] .. corners[start[v + 1] - 1]. Each
// row entry also holds its corner's triangle and the vertices after and
// before it, so that the checks of every edge read one row and nothing
// else.
struct VertexCorners {
  struct RowEntry {
    index_t polygon;
    index_t next;
    index_t previous;
  };
  std::vector<index_t> vertices;
  std::vector<index_t> start;
  std::vector<RowEntry> rows;

  absl::Span<RowEntry const> of(index_t vertex) const {
    return absl::MakeConstSpan(rows.data() + start[vertex], start[vertex + 1] - start[vertex]);
  }
  index_t next(index_t corner) const { return vertices[corner % 3 == 2 ? corner - 2 : corner + 1]; }
  index_t previous(index_t corner) const {
    return vertices[corner % 3 == 0 ? corner + 2 : corner - 1];
  }
  // A triangle other than `polygon` that runs along the edge from `to` to
  // `from`, or NO_ID.
  index_t twin(index_t from, index_t to, index_t polygon) const {
    for (auto const& entry : of(from)) {
      if (entry.polygon != polygon && entry.previous == to) return entry.polygon;
    }
    return NO_ID;
  }
};

VertexCorners vertex_corners(TriangulatedSurface<2> const& mesh) {
  VertexCorners result;
  auto const nb_vertices = mesh.nb_vertices();
  result.vertices.assign(3 * std::size_t{mesh.nb_polygons()}, NO_ID);
  result.start.assign(nb_vertices + 1, 0);
  for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
    if (!mesh.is_polygon_active(t)) continue;
    for (local_index_t k = 0; k < 3; ++k) {
      auto const v = mesh.polygon_vertex({t, k});
      result.vertices[3 * t + k] = v;
      ++result.start[v + 1];
    }
  }
  for (index_t v = 0; v < nb_vertices; ++v) result.start[v + 1] += result.start[v];
  result.rows.resize(result.start[nb_vertices]);
  std::vector<index_t> next(result.start.begin(), result.start.end() - 1);
  for (index_t corner = 0; corner < result.vertices.size(); ++corner) {
    auto const v = result.vertices[corner];
    if (v == NO_ID) continue;
    result.rows[next[v]++] = {corner / 3, result.next(corner), result.previous(corner)};
  }
  return result;
}

void check_adjacencies(TriangulatedSurface<2> const& mesh, VertexCorners const& corners,
                       InputContext const& context) {
  for (index_t first = 0; first < corners.vertices.size(); ++first) {
    auto const a = corners.vertices[first];
    if (a == NO_ID) continue;
    auto const b = corners.next(first);
    index_t const t = first / 3;
    // Messages are only built for a refusal: the checks run on every call.
    auto const edge_text = [&] {
      return absl::StrCat("the edge from ", vertex_text(mesh, a), " to ", vertex_text(mesh, b));
    };
    // One pass over the corners at a finds both a triangle running the same
    // way (an overlap) and the one running the other way (the twin).
    index_t twin = NO_ID;
    for (auto const& entry : corners.of(a)) {
      if (entry.polygon == t) continue;
      if (entry.next == b) {
        refuse(context,
               absl::StrCat("Triangles ", t, " and ", entry.polygon, " of ", context.component,
                            " both run along ", edge_text(), ": they overlap"));
      }
      if (entry.previous == b) twin = entry.polygon;
    }
    // An edge without adjacency is on the border, even where another
    // triangle runs the other way along it: a surface may be cut open.
    auto const adjacent = mesh.polygon_adjacent({t, static_cast<local_index_t>(first % 3)});
    if (!adjacent || *adjacent == twin) continue;
    auto const triangle_text =
        absl::StrCat("Triangle ", t, " of ", context.component, " is adjacent to triangle ",
                     *adjacent, " across ", edge_text());
    if (twin == NO_ID) refuse(context, absl::StrCat(triangle_text, ", which that triangle lacks"));
    refuse(context, absl::StrCat(triangle_text, ", which triangle ", twin, " shares"));
  }
}

// `where` says which model the surface belongs to when it is not the
// host's input model.
TriangulatedSurface<2> const& triangulated(Surface<2> const& surface, absl::string_view where,
                                           InputContext const& context) {
  auto const* mesh = dynamic_cast<TriangulatedSurface<2> const*>(&surface.mesh());
  if (mesh == nullptr) {
    refuse(context, absl::StrCat(context.component, " is not a triangulated surface", where,
                                 " (its mesh is a ", surface.mesh().type_name(), ")"));
  }
  return *mesh;
}

// Every border edge of the working surface must be an edge of one of the
// surface's lines: the remeshing keeps the border only where the lines
// give its vertices, and an edge off the lines would come out unchanged.
void check_border_on_lines(RemeshingData<Section, 2> const& data, Surface<2> const& input_surface,
                           ComponentID const& working_surface, TriangulatedSurface<2> const& mesh,
                           VertexCorners const& corners, InputContext const& context) {
  Section const& working = *data.working;
  auto const& to_working = data.input_to_working.at(Line<2>::component_type_static());
  absl::flat_hash_set<std::pair<index_t, index_t>> line_edges;
  auto const add_line = [&](Line<2> const& input_line) {
    auto const& line = working.line(to_working.in2out(input_line.id()));
    auto const& curve = line.mesh();
    for (index_t e = 0; e < curve.nb_edges(); ++e) {
      auto const a = working.unique_vertex({line.component_id(), curve.edge_vertex({e, 0})});
      auto const b = working.unique_vertex({line.component_id(), curve.edge_vertex({e, 1})});
      if (a != NO_ID && b != NO_ID) line_edges.insert({std::min(a, b), std::max(a, b)});
    }
  };
  for (auto const& line : data.input.boundaries(input_surface)) add_line(line);
  for (auto const& line : data.input.internal_lines(input_surface)) add_line(line);

  for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
    if (!mesh.is_polygon_active(t)) continue;
    for (local_index_t j = 0; j < 3; ++j) {
      if (mesh.polygon_adjacent({t, j})) continue;
      auto const ends = mesh.polygon_edge_vertices({t, j});
      auto const a = working.unique_vertex({working_surface, ends[0]});
      auto const b = working.unique_vertex({working_surface, ends[1]});
      if (a != NO_ID && b != NO_ID && line_edges.contains({std::min(a, b), std::max(a, b)})) {
        continue;
      }
      auto const edge_text = absl::StrCat("edge from ", vertex_text(mesh, ends[0]), " to ",
                                          vertex_text(mesh, ends[1]));
      // Off the lines, an edge that another triangle runs along the other
      // way is only on the border because adjacencies are missing.
      auto const twin = corners.twin(ends[0], ends[1], t);
      if (twin != NO_ID) {
        refuse(context,
               absl::StrCat("Triangle ", t, " of ", context.component,
                            " has no adjacency across the ", edge_text, ", which triangle ", twin,
                            " shares: the polygon adjacencies must be computed"));
      }
      refuse(context, absl::StrCat("The border ", edge_text, " of ", context.component,
                                   " lies on none of its lines"));
    }
  }
}

VertexCorners checked_vertex_corners(TriangulatedSurface<2> const& mesh,
                                     InputContext const& context) {
  for (index_t v = 0; v < mesh.nb_vertices(); ++v) {
    auto const& point = mesh.point(v);
    if (!std::isfinite(point.value(0)) || !std::isfinite(point.value(1))) {
      refuse(context, absl::StrCat("Vertex ", v, " of ", context.component,
                                   " has a coordinate that is not finite: ", point_text(point)));
    }
  }
  auto const corners = vertex_corners(mesh);
  for (index_t v = 0; v < mesh.nb_vertices(); ++v) {
    if (corners.of(v).empty()) {
      refuse(context, absl::StrCat("Vertex ", v, " ", point_text(mesh.point(v)), " of ",
                                   context.component, " is in no triangle"));
    }
  }
  for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
    if (!mesh.is_polygon_active(t)) continue;
    auto const sign = orientation_2d(mesh.point(mesh.polygon_vertex({t, 0})),
                                     mesh.point(mesh.polygon_vertex({t, 1})),
                                     mesh.point(mesh.polygon_vertex({t, 2})));
    if (sign == Sign::positive) continue;
    refuse(context,
           absl::StrCat("Triangle ", t, " of ", context.component, " is ",
                        sign == Sign::negative ? "clockwise" : "flat",
                        ": every triangle must be counter-clockwise with a positive area"));
  }
  check_adjacencies(mesh, corners, context);
  return corners;
}

}  // namespace

double CheckedMetric::edge_length(Point<2> const& point) const {
  double const length = metric_.edge_length(point);
  if (!(length > 0.0) || !std::isfinite(length)) {
    refuse(context_, absl::StrCat("The metric must give positive finite lengths, got ", length,
                                  " at ", point_text(point), " in ", context_.component));
  }
  return length;
}

void check_surface_mesh(TriangulatedSurface<2> const& mesh, InputContext const& context) {
  checked_vertex_corners(mesh, context);
}

double estimated_nb_triangles(TriangulatedSurface<2> const& mesh, Metric<2> const& metric) {
  // An equilateral triangle of side h covers sqrt(3) / 4 h^2.
  double const equilateral = std::sqrt(3.0) / 4.0;
  double total = 0.0;
  for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
    if (!mesh.is_polygon_active(t)) continue;
    auto const& p0 = mesh.point(mesh.polygon_vertex({t, 0}));
    auto const& p1 = mesh.point(mesh.polygon_vertex({t, 1}));
    auto const& p2 = mesh.point(mesh.polygon_vertex({t, 2}));
    double const area = 0.5 * std::fabs((p1.value(0) - p0.value(0)) * (p2.value(1) - p0.value(1)) -
                                        (p1.value(1) - p0.value(1)) * (p2.value(0) - p0.value(0)));
    double const h = metric.edge_length((p0 + p1 + p2) / 3.0);
    total += area / (equilateral * h * h);
  }
  return total;
}

void check_output_size(TriangulatedSurface<2> const& mesh, Metric<2> const& metric,
                       InputContext const& context) {
  double const estimate = estimated_nb_triangles(mesh, metric);
  // Written so that a sum that is not a number is refused too.
  if (estimate <= MAX_OUTPUT_TRIANGLES) return;
  refuse(context, absl::StrCat("The metric asks for about ", estimate, " triangles in ",
                               context.component, ", more than the limit of ",
                               static_cast<std::uint64_t>(MAX_OUTPUT_TRIANGLES)));
}

void check_given_vertices(TriangulatedSurface<2> const& mesh,
                          absl::Span<unsigned int const> given_vertices,
                          InputContext const& context) {
  for (auto const v : given_vertices) {
    if (v >= mesh.nb_vertices()) {
      refuse(context, absl::StrCat("Given vertex ", v, " is not a vertex of ", context.component,
                                   ", which has ", mesh.nb_vertices(), " vertices"));
    }
  }
}

void check_surface_input(RemeshingData<Section, 2> const& data, Surface<2> const& input_surface,
                         absl::string_view step) {
  InputContext const context{std::string{step}, input_surface.component_id().string()};
  ComponentID const output_id{
      Surface<2>::component_type_static(),
      data.input_to_output.at(Surface<2>::component_type_static()).in2out(input_surface.id())};
  ComponentID const working_id{
      Surface<2>::component_type_static(),
      data.input_to_working.at(Surface<2>::component_type_static()).in2out(input_surface.id())};
  triangulated(input_surface, "", context);
  auto const& working =
      triangulated(data.working->surface(working_id.id()), " in the working model", context);
  auto const& output =
      triangulated(data.output.surface(output_id.id()), " in the output model", context);
  if (output.nb_vertices() != 0 || output.nb_polygons() != 0) {
    refuse(context, absl::StrCat(context.component, " already holds a mesh in the output model (",
                                 output.nb_vertices(), " vertices, ", output.nb_polygons(),
                                 " triangles): a surface is remeshed once"));
  }
  index_t nb_triangles = 0;
  for (index_t t = 0; t < working.nb_polygons(); ++t) {
    if (working.is_polygon_active(t)) ++nb_triangles;
  }
  if (nb_triangles == 0) refuse(context, absl::StrCat(context.component, " has no triangle"));
  auto const corners = checked_vertex_corners(working, context);
  check_border_on_lines(data, input_surface, working_id, working, corners, context);
  CheckedMetric const metric{data.metric, context};
  check_output_size(working, metric, context);
}

}  // namespace detail
}  // namespace tarnix
