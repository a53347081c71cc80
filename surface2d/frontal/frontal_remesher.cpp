#include <tarnix/surface2d/frontal_remesher.h>

#include "driver/input_checks.h"

#include <algorithm>
#include <cmath>

#include <absl/strings/str_cat.h>

#include <common/variable_attribute.h>
#include <morvex/cutter_surface/cut_along_path.h>
#include <morvex/cutter_surface/determine_cuts.h>
#include <tarnix/surface2d/propagate_along_surface_macro_edge.h>
#include <ulvane/basic/ulvane_exception.h>
#include <ulvane/geometry/distance.h>
#include <vantrel/core.h>

namespace tarnix {
namespace detail {

bool FrontPriority::operator()(FrontEdge const& a, FrontEdge const& b) const {
  if (a.kind != b.kind) return a.kind != 0;
  // Negated strict tests: equal keys (and not-a-number keys) yield both ways,
  // which fixes the order the heap gives to ties.
  if (a.kind == 0) return !(a.length < b.length);
  return !(std::fabs(a.length - a.size) < std::fabs(b.length - b.size));
}

namespace {

// `FrontPriority` on the keys of the records.
struct EntryPriority {
  bool operator()(FrontQueue::Entry const& a, FrontQueue::Entry const& b) const {
    if (a.kind != b.kind) return a.kind != 0;
    return !(a.key < b.key);
  }
};

}  // namespace

void FrontQueue::push(FrontEdge const& edge) {
  unsigned int index;
  if (free_.empty()) {
    index = static_cast<unsigned int>(records_.size());
    records_.push_back(edge);
  } else {
    index = free_.back();
    free_.pop_back();
    records_[index] = edge;
  }
  // The key is computed as `FrontPriority` computes it.
  const double key = edge.kind == 0 ? edge.length : std::fabs(edge.length - edge.size);
  heap_.push_back({key, edge.kind, index});
  std::push_heap(heap_.begin(), heap_.end(), EntryPriority{});
}

void FrontQueue::pop() {
  std::pop_heap(heap_.begin(), heap_.end(), EntryPriority{});
  free_.push_back(heap_.back().record);
  heap_.pop_back();
}

RemeshAlgo<2>::RemeshAlgo(Metric<2> const& metric_field, absl::Span<unsigned int const> given)
    : metric(&metric_field),
      output_mesh(TriangulatedSurface<2>::create()),
      output_builder(TriangulatedSurfaceBuilder<2>::create(*output_mesh)),
      given_vertices(given) {
  vertex_origins.reserve(given_vertices.size());
}

FrontalRemesher<2>::FrontalRemesher(TriangulatedSurface<2> const& surface,
                                    TriangulatedSurfaceBuilder<2>& builder,
                                    Metric<2> const& metric_field,
                                    absl::Span<unsigned int const> given)
    : RemeshAlgo<2>(metric_field, given),
      input_mesh(surface),
      input_builder(builder),
      modifier(surface, builder) {
  auto& vertex_manager = input_mesh.vertex_attribute_manager();
  vertex_info = vertex_manager.find_or_create_attribute<VariableAttribute, unsigned int>(
      "vertex info", NO_ID, ATTRIBUTE_DERIVABLE);
  vertex_lock = vertex_manager.find_or_create_attribute<VariableAttribute, bool>(
      "vertex lock", false, ATTRIBUTE_DERIVABLE);
}

FrontalRemesher<2>::~FrontalRemesher() = default;

unsigned int FrontalRemesher<2>::triangle_info(unsigned int triangle) const {
  if (!triangle_info_attribute) return NO_ID;
  return triangle_info_attribute->value(triangle);
}

absl::Span<unsigned int const> FrontalRemesher<2>::edge_info(PolygonEdge const& edge) const {
  if (!edge_info_attribute) return {};
  auto const& list = edge_lists(edge.polygon_id)[edge.edge_id];
  return absl::MakeConstSpan(list.data(), list.size());
}

unsigned int FrontalRemesher<2>::output_vertex_of(unsigned int vertex) const {
  return vertex_info->value(vertex);
}

bool FrontalRemesher<2>::is_vertex_locked(unsigned int vertex) const {
  return vertex_lock->value(vertex);
}

unsigned int FrontalRemesher<2>::output_vertex(unsigned int v, bool given) {
  if (vertex_info->value(v) == NO_ID) {
    const unsigned int o = output_builder->create_point(input_mesh.point(v));
    vertex_info->set_value(v, o);
    vertex_origins.push_back({v, static_cast<std::uint8_t>(given ? 1 : 0)});
  }
  return vertex_info->value(v);
}

FrontEdge FrontalRemesher<2>::construct_front_edge(unsigned int start, unsigned int end,
                                                   int kind) const {
  FrontEdge edge;
  edge.start = start;
  edge.end = end;
  edge.start_point = input_mesh.point(start);
  edge.end_point = input_mesh.point(end);
  edge.kind = kind;
  edge.macro_edge = static_cast<unsigned int>(macro_edges.size());
  edge.length = point_point_distance<2>(edge.start_point, edge.end_point);
  edge.size = metric->edge_length((edge.start_point + edge.end_point) * 0.5);
  return edge;
}

unsigned int FrontalRemesher<2>::add_front_edge(unsigned int start, unsigned int end,
                                                unsigned int first_side, int kind) {
  output_vertex(start, false);
  output_vertex(end, false);
  front.push(construct_front_edge(start, end, kind));
  macro_edges.push_back({start, end});
  macro_edge_sides.push_back({first_side, NO_ID});
  return static_cast<unsigned int>(macro_edges.size() - 1);
}

void FrontalRemesher<2>::advance_front() {
  while (!front.empty()) {
    FrontEdge edge = front.top();
    front.pop();
    if (checked_at(macro_edge_sides, edge.macro_edge).second != NO_ID) continue;
    if (edge.length > 2.0 * edge.size) continue;
    edge.start = modifier.updated_vertex(edge.start);
    edge.end = modifier.updated_vertex(edge.end);
    const auto apex = ideal_point(edge);
    if (!apex) continue;
    if (apex->macro_edge == edge.macro_edge) continue;
    // 0.433 is the decimal constant of the method, not sqrt(3) / 4.
    const double radius = metric->edge_length(apex->point) * 0.433;
    try_candidates(edge, *apex, radius);
    // Every output triangle covers at least one uncovered working triangle
    // and covered triangles stay covered, so there cannot be more output
    // triangles than working triangles ever made.
    if (output_mesh->nb_polygons() > input_mesh.nb_polygons()) {
      throw UlvaneException(
          "[FrontalRemesher::advance_front] The front does not end: more output triangles "
          "than working-surface triangles, ",
          absl::StrCat(output_mesh->nb_polygons(), " > ", input_mesh.nb_polygons()));
    }
  }
}

// ---- FrontalRemesher2D: the plain answers of the 2D remesher.

FrontalRemesher2D::FrontalRemesher2D(TriangulatedSurface<2> const& surface,
                                     TriangulatedSurfaceBuilder<2>& builder,
                                     Metric<2> const& metric_field,
                                     absl::Span<unsigned int const> given)
    : FrontalRemesher<2>(surface, builder, metric_field, given) {}

FrontalRemesher2D::~FrontalRemesher2D() = default;

void FrontalRemesher2D::complete_result(RemeshedSurface<2>& /*result*/) {}

void FrontalRemesher2D::on_triangle_created(unsigned int /*triangle*/, unsigned int /*start*/,
                                            unsigned int /*end*/, unsigned int /*apex*/,
                                            absl::Span<unsigned int const> /*covered*/) {}

// Cut points are rounded, so a straight path that the exact walk found may
// still give a piece that rounding turns over; such cuts are refused here,
// as a side without a straight path, rather than by the cut itself. The
// plan is kept for `make_macro_edge`, which makes the cut right after.
bool FrontalRemesher2D::are_cuts_valid(unsigned int /*a*/, unsigned int /*b*/,
                                       absl::Span<GeometricSurfacePath<2> const> /*cuts*/) const {
  return true;
}

absl::optional<std::vector<SurfacePath>> FrontalRemesher2D::surface_path(unsigned int a,
                                                                         unsigned int b) const {
  const PropagateAlongSurfaceMacroEdge2D walk(*this, a, b);
  return walk.along_segment();
}

std::vector<GeometricSurfacePath<2>> FrontalRemesher2D::geometric_cuts(
    unsigned int a, unsigned int b, absl::Span<SurfacePath const> paths) const {
  return determine_cuts(input_mesh, a, b, paths);
}

namespace {

//! How the checks of `remesh_surface` name their step and the surface.
InputContext remesh_context() { return {"detail::remesh_surface", "the surface"}; }

}  // namespace

RemeshedSurface<2> remesh_surface(TriangulatedSurface<2> const& surface,
                                  TriangulatedSurfaceBuilder<2>& builder,
                                  Metric<2> const& metric,
                                  absl::Span<unsigned int const> given_vertices) {
  // Bad input is refused before the surface is edited.
  InputContext const context = remesh_context();
  check_surface_mesh(surface, context);
  check_given_vertices(surface, given_vertices, context);
  check_output_size(surface, CheckedMetric{metric, context}, context);
  return remesh_checked_surface(surface, builder, metric, given_vertices);
}

RemeshedSurface<2> remesh_checked_surface(TriangulatedSurface<2> const& surface,
                                          TriangulatedSurfaceBuilder<2>& builder,
                                          Metric<2> const& metric,
                                          absl::Span<unsigned int const> given_vertices) {
  // Every read of the metric during the run is checked.
  InputContext const context = remesh_context();
  CheckedMetric const checked_metric{metric, context};
  FrontalRemesher2D remesher(surface, builder, checked_metric, given_vertices);
  remesher.prepare_surface();
  remesher.create_polygon_attributes();
  remesher.refine_coarse_triangles();
  remesher.initialize_front();
  remesher.advance_front();
  return remesher.build_remeshed_surface();
}

}  // namespace detail
}  // namespace tarnix
