#include <tarnix/surface2d/remesh_surfaces.h>

#include "driver/input_checks.h"
#include "driver/region_transfer.h"
#include "driver/worker_pool.h"

#include <algorithm>
#include <array>
#include <deque>
#include <exception>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <absl/container/flat_hash_map.h>
#include <absl/container/flat_hash_set.h>
#include <absl/container/inlined_vector.h>
#include <absl/functional/function_ref.h>
#include <absl/strings/str_cat.h>
#include <absl/types/span.h>

#include <common/variable_attribute.h>
#include <morvex/modifier_surface/triangulated_surface_epsilon_modifier.h>
#include <morvex/modifier_surface/triangulated_surface_modifier.h>
#include <tarnix/surface2d/frontal_remesher.h>
#include <ulvane/basic/ulvane_exception.h>
#include <ulvane/mesh/mesh_builder_factory.h>
#include <ulvane/mesh/triangulated_surface.h>
#include <ulvane/mesh/triangulated_surface_builder.h>
#include <ulvane/model/section.h>
#include <ulvane/model/section_builder.h>

namespace tarnix {
namespace detail {

using LinePoints = std::deque<std::pair<Point<2>, unsigned int>>;

//! Remeshes one surface of a model into the output model of a remeshing
//! record.
//!
//! The work comes in two halves. The first (construction, the opening of
//! internal lines, the line and corner transfer, the clean, the split of
//! pinched vertices and `run_frontal_remesher`) edits only the surface's
//! working copy and reads what no step writes during the remeshing (the
//! input model, the mappings, the output model's components and the links
//! of its lines and corners): the surfaces of a model may go through it
//! side by side. The line and corner transfer keeps the output vertices and
//! links it asks for in `output_links`. The second half touches the output
//! model and runs for one surface after the other, in the surfaces' order:
//! `start_output`, `apply_output_links`, `remesh` and the steps after it.
template <typename Data, typename ModelBuilder, index_t D>
class SurfaceRemesher;

template <>
class SurfaceRemesher<RemeshingData<Section, 2>, SectionBuilder, 2> {
 public:
  SurfaceRemesher(RemeshingData<Section, 2>& remeshing_data, Surface<2> const& surface);
  virtual ~SurfaceRemesher() = default;
  SurfaceRemesher(SurfaceRemesher const&) = delete;
  SurfaceRemesher& operator=(SurfaceRemesher const&) = delete;

  //! Runs the frontal remesher on the working surface, with the fixed
  //! vertices, and keeps its result for `remesh`.
  void run_frontal_remesher();
  //! Makes the output surface's builder.
  void start_output();
  //! Creates the output vertices and sets the links the line and corner
  //! transfer asked for, in the order it asked for them.
  void apply_output_links();
  //! Fills the output surface with the result of the frontal remesher.
  virtual void remesh() = 0;

  //! Opens the working surface along its internal lines, so that the
  //! front starts on both sides of each of them.
  void open_internal_lines();
  void transfer_lines_and_corners();
  //! Drops what the insertions removed from the working surface, and the
  //! vertices no triangle uses; the fixed vertices follow the renumbering.
  void clean_working_surface();
  //! Gives every fan but one of a vertex where the working surface touches
  //! itself its own working vertex at the same point; the copies of a
  //! fixed vertex stand for its output vertex.
  void split_pinched_vertices();
  void delete_duplicate_triangles();
  //! Triangulates the gaps the remeshed surface keeps between its
  //! triangles (a cycle of the front around covered triangles only).
  void fill_gaps();
  //! Refuses an output surface that keeps a hole off its boundary lines or
  //! leaves a vertex of a line or corner out of its triangles.
  void check_closed() const;
  void link_new_vertices();

 protected:
  void transfer_line(Line<2> const& input_line);
  void transfer_corner(Corner<2> const& input_corner);
  std::vector<unsigned int> line_vertex_surface_vertices(Line<2> const& working_line,
                                                         unsigned int line_vertex) const;
  absl::InlinedVector<std::pair<PolygonEdge, bool>, 2> surface_edges_on_line_edge(
      Line<2> const& working_line, unsigned int line_edge) const;
  void insert_line_points(Line<2> const& working_line, Line<2> const& output_line,
                          unsigned int line_edge, LinePoints const& points);
  //! The output vertex of a working vertex, created (in `output_links`)
  //! when it has none yet, and linked to the unique vertex.
  unsigned int link_output_vertex(unsigned int working_vertex, index_t unique);
  unsigned int working_to_output_vertex(unsigned int working_vertex);
  //! The point of an output vertex the transfer created.
  Point<2> const& output_point(unsigned int output_vertex) const;
  //! Moves every fan of the vertex but the last one found to a new vertex
  //! at the same point, linked to the same working unique vertex, so that
  //! the surface is manifold there. `corners` are all the corners of the
  //! vertex. \return the new vertices.
  std::vector<index_t> split_fans(index_t vertex, std::vector<PolygonVertex> const& corners);
  //! Per output vertex, whether it is linked to a line or a corner.
  std::vector<bool> const& line_and_corner_vertices() const;
  //! The output-surface edges of the boundary lines, as vertex pairs.
  absl::flat_hash_set<std::pair<index_t, index_t>> const& boundary_line_edges() const;

  RemeshingData<Section, 2>& data;
  SectionBuilder builder;
  Surface<2> const& input_surface;
  ComponentID output_surface_id;
  ComponentID working_surface_id;
  Surface<2> const& working_surface;
  TriangulatedSurface<2> const& working_mesh;
  std::unique_ptr<TriangulatedSurfaceBuilder<2>> working_builder;
  TriangulatedSurfaceEpsilonModifier<2> modifier;
  TriangulatedSurface<2> const& output_mesh;
  std::unique_ptr<TriangulatedSurfaceBuilder<2>> output_builder;
  std::vector<unsigned int> fixed_vertices;
  absl::flat_hash_map<unsigned int, unsigned int> output_vertices;
  //! The output vertex linked to each output unique vertex met by the
  //! transfer: the two sides of an opened internal line share it.
  absl::flat_hash_map<index_t, unsigned int> unique_output_vertices;
  //! Whether an internal line was opened: the output triangles on its two
  //! sides are then joined afterwards.
  bool opened_lines{false};

  //! An output vertex the line and corner transfer links to a unique
  //! vertex; `created` when the link makes the vertex, at the next point of
  //! `created_points`.
  struct OutputLink {
    unsigned int vertex;
    index_t unique;
    bool created;
  };
  std::vector<OutputLink> output_links;
  std::vector<Point<2>> created_points;
  //! The number of vertices of the output surface once `output_links` are
  //! applied.
  unsigned int nb_output_vertices;
  //! The result of the frontal remesher, until `remesh` takes it.
  std::unique_ptr<RemeshedSurface<2>> frontal_result;

  //! A value read off the output surface, kept for the vertex count it was
  //! read at: the steps after `remesh` only delete vertices, and only a
  //! deletion renumbers them.
  template <typename Value>
  struct KeptForVertexCount {
    index_t nb_vertices{NO_ID};
    Value value;
  };
  mutable KeptForVertexCount<std::vector<bool>> kept_line_and_corner_vertices;
  mutable KeptForVertexCount<absl::flat_hash_set<std::pair<index_t, index_t>>>
      kept_boundary_line_edges;
};

namespace {

using Remesher = SurfaceRemesher<RemeshingData<Section, 2>, SectionBuilder, 2>;

ComponentType const& surface_type() {
  static ComponentType const type = Surface<2>::component_type_static();
  return type;
}
ComponentType const& line_type() {
  static ComponentType const type = Line<2>::component_type_static();
  return type;
}
ComponentType const& corner_type() {
  static ComponentType const type = Corner<2>::component_type_static();
  return type;
}

TriangulatedSurface<2> const& triangulated_mesh(Surface<2> const& surface) {
  return dynamic_cast<TriangulatedSurface<2> const&>(surface.mesh());
}

// The builder of a surface's mesh, made by the mesh builder factory from
// the mesh's implementation name.
std::unique_ptr<TriangulatedSurfaceBuilder<2>> surface_mesh_builder(SectionBuilder& builder,
                                                                    uuid const& surface_id) {
  auto& mesh = dynamic_cast<TriangulatedSurface<2>&>(
      builder.modifiable_surface(surface_id).get_modifiable_mesh());
  auto const key = mesh.impl_name();
  auto created = MeshBuilderFactory::create(key, mesh);
  auto* typed = dynamic_cast<TriangulatedSurfaceBuilder<2>*>(created.get());
  if (typed == nullptr) throw UlvaneException("Cannot create mesh builder with key: ", key);
  created.release();
  return std::unique_ptr<TriangulatedSurfaceBuilder<2>>{typed};
}

// The corners of every vertex that `wanted` accepts, over the active
// triangles in order.
absl::flat_hash_map<index_t, std::vector<PolygonVertex>> vertex_corners(
    TriangulatedSurface<2> const& mesh, absl::FunctionRef<bool(index_t)> wanted) {
  absl::flat_hash_map<index_t, std::vector<PolygonVertex>> corners;
  for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
    if (!mesh.is_polygon_active(t)) continue;
    for (local_index_t k = 0; k < 3; ++k) {
      auto const v = mesh.polygon_vertex({t, k});
      if (wanted(v)) corners[v].push_back({t, k});
    }
  }
  return corners;
}

}  // namespace

Remesher::SurfaceRemesher(RemeshingData<Section, 2>& remeshing_data, Surface<2> const& surface)
    : data(remeshing_data),
      builder(remeshing_data.output),
      input_surface(surface),
      output_surface_id(surface_type(),
                        remeshing_data.input_to_output.at(surface_type()).in2out(surface.id())),
      working_surface_id(surface_type(),
                         remeshing_data.input_to_working.at(surface_type()).in2out(surface.id())),
      working_surface(remeshing_data.working->surface(working_surface_id.id())),
      working_mesh(triangulated_mesh(working_surface)),
      working_builder([&] {
        SectionBuilder working_model_builder{*remeshing_data.working};
        return surface_mesh_builder(working_model_builder, working_surface_id.id());
      }()),
      modifier(working_mesh, *working_builder),
      output_mesh(triangulated_mesh(remeshing_data.output.surface(output_surface_id.id()))),
      nb_output_vertices(output_mesh.nb_vertices()) {}

void Remesher::start_output() {
  output_builder = surface_mesh_builder(builder, output_surface_id.id());
}

void Remesher::apply_output_links() {
  std::size_t next_point = 0;
  for (auto const& link : output_links) {
    if (link.created) output_builder->create_point(created_points[next_point++]);
    builder.set_unique_vertex({output_surface_id, link.vertex}, link.unique);
  }
}

void Remesher::run_frontal_remesher() {
  // The input checks ran on the surface this working copy was made from.
  frontal_result = std::make_unique<RemeshedSurface<2>>(remesh_checked_surface(
      working_mesh, *working_builder, data.metric, absl::MakeConstSpan(fixed_vertices)));
}

void Remesher::open_internal_lines() {
  // Detach the triangles on the two sides of every internal line edge.
  absl::flat_hash_set<index_t> on_lines;
  for (auto const& input_line : data.input.internal_lines(input_surface)) {
    auto const& working_line =
        data.working->line(data.input_to_working.at(line_type()).in2out(input_line.id()));
    for (index_t e = 0; e < working_line.mesh().nb_edges(); ++e) {
      for (auto const& edge : surface_edges_on_line_edge(working_line, e)) {
        auto const twin = working_mesh.polygon_adjacent_edge(edge.first);
        if (!twin) continue;
        working_builder->unset_polygon_adjacent(edge.first);
        working_builder->unset_polygon_adjacent(*twin);
        for (auto const v : working_mesh.polygon_edge_vertices(edge.first)) on_lines.insert(v);
        opened_lines = true;
      }
    }
  }
  if (on_lines.empty()) return;

  // A vertex inside an opened line now has one fan per side: every fan but
  // the last found moves to a new vertex at the same point, linked to the
  // same unique vertex, so that the surface stays manifold.
  auto const corners =
      vertex_corners(working_mesh, [&](index_t v) { return on_lines.contains(v); });
  for (auto const& entry : corners) split_fans(entry.first, entry.second);
}

std::vector<index_t> Remesher::split_fans(index_t vertex,
                                          std::vector<PolygonVertex> const& corners) {
  std::vector<index_t> copies;
  auto fan = working_mesh.polygons_around_vertex(vertex);
  if (fan.size() >= corners.size()) return copies;
  SectionBuilder working_model_builder{*data.working};
  auto const unique = data.working->unique_vertex({working_surface_id, vertex});
  absl::flat_hash_set<PolygonVertex> seen;
  // Each round moves at least one corner away, so there are at most as
  // many rounds as corners.
  for (std::size_t round = 0; fan.size() + seen.size() < corners.size() && round < corners.size();
       ++round) {
    for (auto const& corner : fan) seen.insert(corner);
    auto const copy = working_builder->create_point(working_mesh.point(vertex));
    working_builder->replace_vertex(vertex, copy);
    for (auto const& corner : corners) {
      if (!seen.contains(corner)) {
        working_builder->associate_polygon_vertex_to_vertex(corner, vertex);
        break;
      }
    }
    if (unique != NO_ID) working_model_builder.set_unique_vertex({working_surface_id, copy}, unique);
    copies.push_back(copy);
    fan = working_mesh.polygons_around_vertex(vertex);
  }
  return copies;
}

void Remesher::split_pinched_vertices() {
  // A border vertex where the surface touches itself starts more than one
  // border edge.
  std::vector<bool> starts_border(working_mesh.nb_vertices(), false);
  std::vector<bool> pinched(working_mesh.nb_vertices(), false);
  bool any = false;
  for (index_t t = 0; t < working_mesh.nb_polygons(); ++t) {
    if (!working_mesh.is_polygon_active(t)) continue;
    for (local_index_t j = 0; j < 3; ++j) {
      if (!working_mesh.is_edge_on_border({t, j})) continue;
      auto const v = working_mesh.polygon_edge_vertices({t, j})[0];
      if (starts_border[v]) {
        pinched[v] = true;
        any = true;
      }
      starts_border[v] = true;
    }
  }
  if (!any) return;
  auto const corners = vertex_corners(working_mesh, [&](index_t v) { return pinched[v]; });
  // The copies of a fixed vertex join the fixed vertices: the frontal
  // remesher then finds every fixed vertex manifold and makes no copy the
  // driver does not know. A vertex off the remeshed lines where the border
  // passes twice is split too, so that the front walks each side's border
  // on its own.
  for (std::size_t f = 0, nb_fixed = fixed_vertices.size(); f < nb_fixed; ++f) {
    auto const vertex = fixed_vertices[f];
    if (!pinched[vertex]) continue;
    auto const output = output_vertices.at(vertex);
    for (auto const copy : split_fans(vertex, corners.at(vertex))) {
      output_vertices.emplace(copy, output);
      fixed_vertices.push_back(copy);
    }
  }
  for (index_t v = 0; v < pinched.size(); ++v) {
    if (pinched[v] && !output_vertices.contains(v)) split_fans(v, corners.at(v));
  }
}

void Remesher::transfer_lines_and_corners() {
  Section const& input = data.input;
  for (auto const& line : input.boundaries(input_surface)) transfer_line(line);
  for (auto const& line : input.internal_lines(input_surface)) transfer_line(line);
  for (auto const& corner : input.internal_corners(input_surface)) transfer_corner(corner);
}

void Remesher::transfer_line(Line<2> const& input_line) {
  auto const& working_line =
      data.working->line(data.input_to_working.at(line_type()).in2out(input_line.id()));
  auto const& output_line =
      data.output.line(data.input_to_output.at(line_type()).in2out(input_line.id()));
  auto const points =
      working_line.mesh().edge_attribute_manager().find_attribute<ReadOnlyAttribute<LinePoints>>(
          "remeshed_line_attribute");
  for (index_t e = 0; e < working_line.mesh().nb_edges(); ++e) {
    auto const& deque = points->value(e);
    if (!deque.empty()) insert_line_points(working_line, output_line, e, deque);
  }
}

std::vector<unsigned int> Remesher::line_vertex_surface_vertices(Line<2> const& working_line,
                                                                 unsigned int line_vertex) const {
  auto const unique = data.working->unique_vertex({working_line.component_id(), line_vertex});
  return data.working->component_mesh_vertices(unique, working_surface.id());
}

absl::InlinedVector<std::pair<PolygonEdge, bool>, 2> Remesher::surface_edges_on_line_edge(
    Line<2> const& working_line, unsigned int line_edge) const {
  auto const& curve = working_line.mesh();
  auto const first = line_vertex_surface_vertices(working_line, curve.edge_vertex({line_edge, 0}));
  auto const second = line_vertex_surface_vertices(working_line, curve.edge_vertex({line_edge, 1}));
  absl::InlinedVector<std::pair<PolygonEdge, bool>, 2> edges;
  for (auto const a : second) {
    for (auto const b : first) {
      if (auto const edge = working_mesh.polygon_edge_from_vertices(b, a)) {
        edges.emplace_back(*edge, true);
      }
      if (auto const edge = working_mesh.polygon_edge_from_vertices(a, b)) {
        edges.emplace_back(*edge, false);
      }
    }
  }
  return edges;
}

void Remesher::insert_line_points(Line<2> const& working_line, Line<2> const& output_line,
                                  unsigned int line_edge, LinePoints const& points) {
  for (auto const& start : surface_edges_on_line_edge(working_line, line_edge)) {
    PolygonEdge current = start.first;
    bool const from_vertex0 = start.second;
    for (auto const& entry : points) {
      auto const unique = data.output.unique_vertex({output_line.component_id(), entry.second});
      auto const inserted = modifier.insert_point_on_edge(current, entry.first);
      auto const& info = inserted.second;
      if (info.vertex == NO_ID) {
        // A line vertex that does not reach the surface would leave the
        // output surface unconnected to the line: refuse loudly.
        throw UlvaneException(
            "[SurfaceRemesher::insert_line_points] ",
            absl::StrCat("Vertex ", entry.second, " of ", output_line.component_id().string(),
                         " cannot be inserted in ", working_surface_id.string()));
      }
      // On an opened internal line, the second side's vertex at a point
      // stands for the output vertex the first side made there.
      auto const shared = unique_output_vertices.find(unique);
      if (shared != unique_output_vertices.end() && !output_vertices.contains(info.vertex) &&
          working_mesh.point(info.vertex) == output_point(shared->second)) {
        output_vertices.emplace(info.vertex, shared->second);
        fixed_vertices.push_back(info.vertex);
      }
      auto const output = link_output_vertex(info.vertex, unique);
      unique_output_vertices.emplace(unique, output);
      if (inserted.first == Position::inside) {
        auto const& group = from_vertex0 ? info.second : info.first;
        current = group.split_edges.at(0).first;
      }
    }
  }
}

void Remesher::clean_working_surface() {
  auto const mappings = modifier.clean();
  // A vertex in no triangle (one the input surface does not use) goes, and
  // every vertex after it moves down.
  std::vector<unsigned int> renumbered_fixed;
  renumbered_fixed.reserve(fixed_vertices.size());
  absl::flat_hash_map<unsigned int, unsigned int> renumbered_outputs;
  for (auto const w : fixed_vertices) {
    auto const now = mappings.vertices.at(w);
    // A line or corner vertex in no triangle stays out of the front; its
    // output vertex stays alone and the surface is refused as not closed.
    if (now == NO_ID) continue;
    renumbered_fixed.push_back(now);
    renumbered_outputs.emplace(now, output_vertices.at(w));
  }
  fixed_vertices = std::move(renumbered_fixed);
  output_vertices = std::move(renumbered_outputs);
}

unsigned int Remesher::link_output_vertex(unsigned int working_vertex, index_t unique) {
  auto const before = nb_output_vertices;
  auto const output = working_to_output_vertex(working_vertex);
  output_links.push_back({output, unique, nb_output_vertices != before});
  return output;
}

unsigned int Remesher::working_to_output_vertex(unsigned int working_vertex) {
  auto const found = output_vertices.find(working_vertex);
  if (found != output_vertices.end()) return found->second;
  auto const created = nb_output_vertices++;
  output_vertices.emplace(working_vertex, created);
  created_points.push_back(working_mesh.point(working_vertex));
  fixed_vertices.push_back(working_vertex);
  return created;
}

Point<2> const& Remesher::output_point(unsigned int output_vertex) const {
  return created_points.at(output_vertex - (nb_output_vertices - created_points.size()));
}

void Remesher::transfer_corner(Corner<2> const& input_corner) {
  auto const& working_corner =
      data.working->corner(data.input_to_working.at(corner_type()).in2out(input_corner.id()));
  auto const& output_corner =
      data.output.corner(data.input_to_output.at(corner_type()).in2out(input_corner.id()));
  auto const working_unique = data.working->unique_vertex({working_corner.component_id(), 0});
  auto const output_unique = data.output.unique_vertex({output_corner.component_id(), 0});
  for (auto const w : data.working->component_mesh_vertices(working_unique, working_surface.id())) {
    link_output_vertex(w, output_unique);
  }
}

void Remesher::delete_duplicate_triangles() {
  detail::delete_duplicate_triangles(output_mesh, *output_builder, line_and_corner_vertices());
}

std::vector<bool> const& Remesher::line_and_corner_vertices() const {
  auto& kept = kept_line_and_corner_vertices;
  if (kept.nb_vertices == output_mesh.nb_vertices()) return kept.value;
  kept.nb_vertices = output_mesh.nb_vertices();
  auto& linked = kept.value;
  linked.assign(output_mesh.nb_vertices(), false);
  for (index_t v = 0; v < output_mesh.nb_vertices(); ++v) {
    auto const unique = data.output.unique_vertex({output_surface_id, v});
    linked[v] = unique != NO_ID && (data.output.has_component_mesh_vertices(unique, line_type()) ||
                                    data.output.has_component_mesh_vertices(unique, corner_type()));
  }
  return linked;
}

absl::flat_hash_set<std::pair<index_t, index_t>> const& Remesher::boundary_line_edges() const {
  auto& kept = kept_boundary_line_edges;
  if (kept.nb_vertices == output_mesh.nb_vertices()) return kept.value;
  kept.nb_vertices = output_mesh.nb_vertices();
  auto& line_edges = kept.value;
  line_edges.clear();
  for (auto const& line : data.output.boundaries(data.output.surface(output_surface_id.id()))) {
    auto const& curve = line.mesh();
    for (index_t e = 0; e < curve.nb_edges(); ++e) {
      std::array<std::vector<index_t>, 2> ends;
      for (local_index_t k = 0; k < 2; ++k) {
        auto const unique = data.output.unique_vertex({line.component_id(), curve.edge_vertex({e, k})});
        ends[k] = data.output.component_mesh_vertices(unique, output_surface_id.id());
      }
      for (auto const a : ends[0]) {
        for (auto const b : ends[1]) line_edges.insert({std::min(a, b), std::max(a, b)});
      }
    }
  }
  return line_edges;
}

void Remesher::fill_gaps() {
  detail::fill_gaps(output_mesh, *output_builder, boundary_line_edges(),
                    line_and_corner_vertices());
}

void Remesher::check_closed() const {
  auto const spot =
      find_open_spot(output_mesh, boundary_line_edges(), line_and_corner_vertices());
  if (!spot) return;
  std::ostringstream at;
  at << spot->point;
  throw UlvaneException(
      "[SurfaceRemesher::check_closed] ",
      absl::StrCat(input_surface.component_id().string(), ": ",
                   spot->hole ? "the remeshed surface keeps a hole off its lines at "
                              : "a vertex of a line or corner lies in no triangle at ",
                   at.str()));
}

void Remesher::link_new_vertices() {
  for (index_t v = 0; v < output_mesh.nb_vertices(); ++v) {
    ComponentMeshVertex const vertex{output_surface_id, v};
    if (data.output.unique_vertex(vertex) == NO_ID) {
      builder.set_unique_vertex(vertex, builder.create_unique_vertex());
    }
  }
}

namespace {

VertexTriple sorted(VertexTriple triangle) {
  std::sort(triangle.begin(), triangle.end());
  return triangle;
}

// The triangles of the output surface on result vertices, whatever their
// orientation: a region triangle on the same vertices is a duplicate.
class FilledTriangles {
 public:
  explicit FilledTriangles(TriangulatedSurface<2> const& result_mesh) {
    for (index_t t = 0; t < result_mesh.nb_polygons(); ++t) {
      add({result_mesh.polygon_vertex({t, 0}), result_mesh.polygon_vertex({t, 1}),
           result_mesh.polygon_vertex({t, 2})});
    }
  }
  void add(VertexTriple const& triangle) {
    triangles_.insert(sorted(triangle));
    vertices_.insert(triangle.begin(), triangle.end());
  }
  bool contains(VertexTriple const& triangle) const {
    return triangles_.contains(sorted(triangle));
  }
  bool uses(index_t vertex) const { return vertices_.contains(vertex); }

 private:
  absl::flat_hash_set<VertexTriple> triangles_;
  absl::flat_hash_set<index_t> vertices_;
};

// The region's cycle runs either way round its gap.
bool tiles_either_way(absl::Span<VertexTriple const> triangles, std::vector<index_t> outline,
                      VertexPoint point) {
  if (tiles_outline(triangles, outline, point)) return true;
  std::reverse(outline.begin(), outline.end());
  return tiles_outline(triangles, outline, point);
}

// A triangulation of a region's outline (either way round) that also holds
// the result vertices only the region's triangles held (a given vertex
// inside the gap); nothing when there is none.
absl::optional<std::vector<VertexTriple>> fill_outline(std::vector<index_t> outline,
                                                       absl::Span<VertexTriple const> region,
                                                       index_t nb_result,
                                                       FilledTriangles const& filled,
                                                       VertexPoint point) {
  auto fill = triangulate_polygon(outline, point);
  if (!fill) {
    std::reverse(outline.begin(), outline.end());
    fill = triangulate_polygon(outline, point);
  }
  if (!fill) return absl::nullopt;
  absl::flat_hash_set<index_t> inserted(outline.begin(), outline.end());
  for (auto const& triangle : region) {
    for (auto const v : triangle) {
      if (v >= nb_result || filled.uses(v) || !inserted.insert(v).second) continue;
      if (!insert_vertex(*fill, v, point)) return absl::nullopt;
    }
  }
  return fill;
}

class SurfaceRemesher2D final : public Remesher {
 public:
  using Remesher::SurfaceRemesher;

  void remesh() override {
    auto const remeshed = std::move(frontal_result);
    auto const table = map_result_vertices(*remeshed);
    if (!remeshed->unmeshed_regions.empty()) {
      FilledTriangles filled{*remeshed->mesh};
      for (auto const& region : remeshed->unmeshed_regions) {
        transfer_region(region, *remeshed->mesh, table, filled);
      }
    }
    // Regions, and the two sides of opened internal lines, are joined to
    // their neighbours only through shared vertices.
    if (!remeshed->unmeshed_regions.empty() || opened_lines) {
      output_builder->compute_polygon_adjacencies();
    }
  }

 private:
  VertexTable map_result_vertices(RemeshedSurface<2> const& result) {
    auto const& mesh = *result.mesh;
    VertexTable table(mesh.nb_vertices(), NO_ID);
    for (index_t v = 0; v < mesh.nb_vertices(); ++v) {
      auto const& origin = result.vertex_origins.at(v);
      table[v] = origin.given != 0 ? output_vertices.at(origin.input_vertex)
                                   : output_builder->create_point(mesh.point(v));
    }
    copy_result_triangles(mesh, table);
    return table;
  }

  void copy_result_triangles(TriangulatedSurface<2> const& mesh,
                             absl::Span<unsigned int const> table) {
    std::vector<index_t> created(mesh.nb_polygons());
    for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
      created[t] = output_builder->create_triangle(
          {table.at(mesh.polygon_vertex({t, 0})), table.at(mesh.polygon_vertex({t, 1})),
           table.at(mesh.polygon_vertex({t, 2}))});
    }
    for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
      for (local_index_t j = 0; j < 3; ++j) {
        if (auto const adjacent = mesh.polygon_adjacent({t, j})) {
          output_builder->set_polygon_adjacent({created[t], j}, created[*adjacent]);
        }
      }
    }
  }

  // Post-processes a region and copies it into the output surface. When
  // its collapses leave triangles that do not cover the gap between the
  // remeshed part and the border exactly once (a border collapse turned a
  // triangle over, or left a vertex off the gap's outline), the gap's
  // outline is triangulated instead, or, when the outline is no simple
  // polygon, left to fill_gaps.
  void transfer_region(UnmeshedRegion const& region, TriangulatedSurface<2> const& result_mesh,
                       absl::Span<unsigned int const> result_table, FilledTriangles& filled) {
    RegionTransfer transfer{region};
    auto const region_vertices = transfer.post_process_region();
    auto const& mesh = transfer.region_mesh();
    // Triangles in result vertices; a vertex that stands for none gets an
    // id past the result's.
    index_t const nb_result = result_mesh.nb_vertices();
    auto const point = [&](index_t v) {
      return v < nb_result ? result_mesh.point(v) : mesh.point(v - nb_result);
    };
    std::vector<VertexTriple> added;
    absl::flat_hash_set<VertexTriple> seen;
    for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
      VertexTriple triangle{};
      for (local_index_t j = 0; j < 3; ++j) {
        auto const v = mesh.polygon_vertex({t, j});
        triangle[j] = region_vertices[v] != NO_ID ? region_vertices[v] : nb_result + v;
      }
      // Copies of triangles already in the output go with the duplicates.
      if (!filled.contains(triangle) && seen.insert(sorted(triangle)).second) {
        added.push_back(triangle);
      }
    }
    auto const outline = region_outline(region);
    if (!outline.empty() && !tiles_either_way(added, outline, point)) {
      // Without a fill (the outline runs back along itself), the gap is
      // closed from the output surface's border by fill_gaps.
      auto const fill = fill_outline(outline, added, nb_result, filled, point);
      if (!fill) return;
      for (auto const& triangle : *fill) {
        output_builder->create_triangle({result_table.at(triangle[0]),
                                         result_table.at(triangle[1]),
                                         result_table.at(triangle[2])});
        filled.add(triangle);
      }
      return;
    }
    VertexTable table(mesh.nb_vertices(), NO_ID);
    for (index_t v = 0; v < mesh.nb_vertices(); ++v) {
      table[v] = region_vertices[v] != NO_ID ? result_table.at(region_vertices[v])
                                             : output_builder->create_point(mesh.point(v));
    }
    copy_result_triangles(mesh, table);
    for (auto const& triangle : added) {
      if (std::max({triangle[0], triangle[1], triangle[2]}) < nb_result) filled.add(triangle);
    }
  }
};

// The first half of the work on a surface (see SurfaceRemesher): the
// driver with its working surface prepared and remeshed, or what stopped
// it. Without a driver, its construction failed.
struct PreparedSurface {
  std::unique_ptr<SurfaceRemesher2D> remesher;
  std::exception_ptr error;
};

PreparedSurface prepare_surface(RemeshingData<Section, 2>& data, Surface<2> const& input_surface) {
  PreparedSurface prepared;
  try {
    prepared.remesher = std::make_unique<SurfaceRemesher2D>(data, input_surface);
    auto& remesher = *prepared.remesher;
    remesher.open_internal_lines();
    remesher.transfer_lines_and_corners();
    remesher.clean_working_surface();
    remesher.split_pinched_vertices();
    remesher.run_frontal_remesher();
  } catch (...) {
    prepared.error = std::current_exception();
  }
  return prepared;
}

// The second half: the output surface is filled, or left as a run of both
// halves in one go leaves it when the first half failed, and the failure
// is raised.
void finish_surface(PreparedSurface const& prepared) {
  if (!prepared.remesher) std::rethrow_exception(prepared.error);
  auto& remesher = *prepared.remesher;
  remesher.start_output();
  remesher.apply_output_links();
  if (prepared.error) std::rethrow_exception(prepared.error);
  remesher.remesh();
  remesher.delete_duplicate_triangles();
  remesher.fill_gaps();
  remesher.check_closed();
  remesher.link_new_vertices();
}

void remesh_one_surface(RemeshingData<Section, 2>& data, Surface<2> const& input_surface) {
  finish_surface(prepare_surface(data, input_surface));
}

}  // namespace
}  // namespace detail

void remesh_surfaces(RemeshingData<Section, 2>& data) {
  std::vector<Surface<2> const*> surfaces;
  for (auto const& surface : data.input.surfaces()) surfaces.push_back(&surface);
  auto const nb_surfaces = static_cast<index_t>(surfaces.size());
  auto const nb_workers = detail::configured_worker_count("TARNIX_NUM_THREADS", "remesh_surfaces");

  // Every surface is checked before the first is remeshed, so that bad input
  // leaves the output model untouched. The checks only read: they run side
  // by side, and the first refusal in the surfaces' order is raised.
  {
    detail::OrderedWorkerPool<bool> checks{
        nb_surfaces, nb_workers, [&](index_t s) {
          detail::check_surface_input(data, *surfaces[s], "remesh_surfaces");
          return true;
        }};
    for (index_t s = 0; s < nb_surfaces; ++s) checks.next();
  }

  // The working halves run on the workers; the output halves on this
  // thread, one surface after the other in order, so that the output is
  // the same for every number of workers.
  detail::OrderedWorkerPool<detail::PreparedSurface> work{
      nb_surfaces, nb_workers,
      [&](index_t s) { return detail::prepare_surface(data, *surfaces[s]); }};
  for (index_t s = 0; s < nb_surfaces; ++s) detail::finish_surface(work.next());
}

void remesh_surface(RemeshingData<Section, 2>& data, uuid const& surface_id) {
  auto const& surface = data.input.surface(surface_id);
  detail::check_surface_input(data, surface, "remesh_surface");
  detail::remesh_one_surface(data, surface);
}

}  // namespace tarnix
