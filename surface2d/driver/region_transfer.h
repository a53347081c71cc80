#pragma once

#include <array>
#include <memory>
#include <utility>
#include <vector>

#include <absl/container/fixed_array.h>
#include <absl/container/flat_hash_set.h>
#include <absl/functional/function_ref.h>
#include <absl/types/optional.h>
#include <absl/types/span.h>

#include <common/variable_attribute.h>
#include <morvex/modifier_surface/triangulated_surface_modifier.h>
#include <tarnix/surface2d/frontal_remesher.h>
#include <ulvane/mesh/triangulated_surface.h>
#include <ulvane/mesh/triangulated_surface_builder.h>

// The clean-ups of a remeshed surface before it joins the output model:
// the regions the front left open, triangles made twice, and the gaps
// where fronts met without closing.

namespace tarnix {
namespace detail {

//! The output-surface vertex of every vertex of a mesh.
using VertexTable = absl::FixedArray<unsigned int>;

// One region left open by the front, post-processed before it is copied:
// its vertices that stand for no output vertex are collapsed away where
// that keeps the region valid.
class RegionTransfer {
 public:
  explicit RegionTransfer(UnmeshedRegion const& unmeshed_region)
      : region(unmeshed_region),
        mesh(*unmeshed_region.mesh),
        builder(TriangulatedSurfaceBuilder<2>::create(mesh)),
        modifier(mesh, *builder),
        locks(mesh.vertex_attribute_manager().find_or_create_attribute<VariableAttribute, unsigned int>(
            "locks", NO_ID, AttributeProperties{1})) {
    for (index_t v = 0; v < region.to_output_vertex.size(); ++v) {
      if (region.to_output_vertex[v] != NO_ID) locks->set_value(v, v);
    }
  }
  ~RegionTransfer() { mesh.vertex_attribute_manager().delete_attribute("locks"); }
  RegionTransfer(RegionTransfer const&) = delete;
  RegionTransfer& operator=(RegionTransfer const&) = delete;

  //! \return per region vertex after the post-processing, the result
  //! vertex it stands for, or NO_ID.
  VertexTable post_process_region() {
    collapse_unlocked_edges();
    collapse_border_edges();
    VertexTable table(mesh.nb_vertices(), NO_ID);
    for (index_t v = 0; v < mesh.nb_vertices(); ++v) {
      if (is_locked(v)) table[v] = region.to_output_vertex.at(locks->value(v));
    }
    return table;
  }

  TriangulatedSurface<2> const& region_mesh() const { return mesh; }

 private:
  bool is_locked(index_t vertex) const { return locks->value(vertex) != NO_ID; }

  // The vertex of the edge's triangle opposite the edge.
  index_t opposite_vertex(PolygonEdge const& edge) const {
    return mesh.polygon_vertex(mesh.previous_polygon_vertex({edge.polygon_id, edge.edge_id}));
  }

  //! True when the vertex opposite the edge is locked and in one triangle:
  //! collapsing the edge would leave it alone.
  bool collapse_blocked(PolygonEdge const& edge) const {
    auto const opposite = opposite_vertex(edge);
    return is_locked(opposite) && mesh.polygons_around_vertex(opposite).size() < 2;
  }

  void collapse(PolygonEdge const& edge, Point<2> const& point) {
    auto const info = modifier.collapse_edge(edge, point);
    for (auto const merged : info.merged) {
      if (is_locked(merged)) locks->set_value(info.vertex, locks->value(merged));
    }
  }

  // Passes until nothing collapses. Each collapse removes at least one
  // triangle, so there are at most as many productive passes as triangles.
  void collapse_unlocked_edges() {
    bool changed = true;
    while (changed) {
      changed = false;
      auto const nb_triangles = mesh.nb_polygons();
      for (index_t t = 0; t < nb_triangles; ++t) {
        if (!modifier.is_triangle_active(t)) continue;
        for (local_index_t j = 0; j < 3; ++j) {
          PolygonEdge const edge{t, j};
          auto const ends = mesh.polygon_edge_vertices(edge);
          bool const locked0 = is_locked(ends[0]);
          if (locked0 && is_locked(ends[1])) continue;
          Point<2> const target = mesh.point(locked0 ? ends[0] : ends[1]);
          if (!is_collapse_edge_valid<2>(mesh, edge, target)) continue;
          if (collapse_blocked(edge)) continue;
          if (auto const across = mesh.polygon_adjacent_edge(edge)) {
            if (collapse_blocked(*across)) continue;
          }
          collapse(edge, target);
          changed = true;
          break;
        }
      }
    }
  }

  void collapse_border_edges() {
    auto const nb_triangles = mesh.nb_polygons();
    for (index_t t = 0; t < nb_triangles; ++t) {
      if (!modifier.is_triangle_active(t)) continue;
      for (local_index_t j = 0; j < 3; ++j) {
        PolygonEdge const edge{t, j};
        if (!mesh.is_edge_on_border(edge)) continue;
        auto const ends = mesh.polygon_edge_vertices(edge);
        if (!is_locked(ends[0])) {
          collapse(edge, mesh.point(ends[1]));
        } else if (!is_locked(ends[1])) {
          collapse(edge, mesh.point(ends[0]));
        } else {
          continue;
        }
        break;
      }
    }
    modifier.clean();
  }

  UnmeshedRegion const& region;
  TriangulatedSurface<2>& mesh;
  std::unique_ptr<TriangulatedSurfaceBuilder<2>> builder;
  TriangulatedSurfaceModifier<2> modifier;
  std::shared_ptr<VariableAttribute<unsigned int>> locks;
};

//! A triangle by its three vertices, counter-clockwise.
using VertexTriple = std::array<index_t, 3>;
//! The position of a vertex named in a `VertexTriple`.
using VertexPoint = absl::FunctionRef<Point<2>(index_t)>;

//! The outline of the gap a region fills in the output surface: the result
//! vertices at the ends of its boundary macro edges, in cycle order. Empty
//! when the cycle does not close or one of those vertices has no result
//! vertex.
std::vector<index_t> region_outline(UnmeshedRegion const& region);

//! True when `triangles` cover the polygon `outline`, taken
//! counter-clockwise, exactly once: every triangle turns counter-clockwise
//! (exact test) and the edges that no other triangle holds the other way
//! are the outline's edges, each once and in the outline's direction. A
//! polygon whose edges cancel (two corners) is covered by no triangle.
bool tiles_outline(absl::Span<VertexTriple const> triangles, absl::Span<index_t const> outline,
                   VertexPoint point);

//! A triangulation of the simple counter-clockwise polygon `polygon` by
//! ear clipping with exact predicates: n - 2 triangles, none holding
//! another corner, checked with `tiles_outline`. Nothing when the polygon
//! is not simple or not counter-clockwise.
absl::optional<std::vector<VertexTriple>> triangulate_polygon(absl::Span<index_t const> polygon,
                                                             VertexPoint point);

//! Inserts `vertex` into counter-clockwise triangles: the triangle holding
//! it strictly inside becomes three, or the two triangles on the edge it
//! lies on become two each. False, with nothing changed, when no triangle
//! holds it, it is a corner already, or it lies on an edge of one triangle
//! only.
bool insert_vertex(std::vector<VertexTriple>& triangles, index_t vertex, VertexPoint point);

//! Closes the gaps a remeshed surface keeps inside: every loop of border
//! edges that are not `line_edges` (unordered vertex pairs of the boundary
//! lines) is triangulated, without new vertices. A gap that is not a simple
//! polygon stays. A gap that is a fold against a line (a corner off the
//! lines a hair outside it) loses that corner by a collapse, after which
//! the mesh is cleaned. A vertex in no triangle that lies inside a gap
//! joins its triangles. The vertices of `line_edges` and those flagged in
//! `kept` (the vertices of lines and corners) are never collapsed, nor
//! deleted by the clean. Returns the number of triangles created; the
//! adjacencies are recomputed when anything changed.
index_t fill_gaps(TriangulatedSurface<2> const& mesh, TriangulatedSurfaceBuilder<2>& builder,
                  absl::flat_hash_set<std::pair<index_t, index_t>> const& line_edges,
                  std::vector<bool> const& kept = {});

//! A place where a remeshed surface does not close up to its lines.
struct OpenSpot {
  //! True for a border edge off the lines (a hole), false for a kept vertex
  //! in no triangle.
  bool hole;
  Point<2> point;
};

//! The first border edge of `mesh` that is not one of `line_edges` (its
//! first vertex), else the first vertex flagged in `kept` that no triangle
//! uses; nothing when the surface is bounded by its lines and holds every
//! kept vertex.
absl::optional<OpenSpot> find_open_spot(
    TriangulatedSurface<2> const& mesh,
    absl::flat_hash_set<std::pair<index_t, index_t>> const& line_edges,
    std::vector<bool> const& kept);

//! Of the triangles on the same three vertices (whatever their order),
//! keeps the first counter-clockwise one and deletes the others, then the
//! vertices left without a triangle except those flagged in `kept`, and
//! recomputes the adjacencies. A surface without such triangles is left
//! untouched.
void delete_duplicate_triangles(TriangulatedSurface<2> const& output_mesh,
                                TriangulatedSurfaceBuilder<2>& output_builder,
                                std::vector<bool> const& kept = {});

}  // namespace detail
}  // namespace tarnix
