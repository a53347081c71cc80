#pragma once

#include <array>
#include <memory>
#include <random>
#include <vector>

#include <absl/types/optional.h>

#include <morvex/cutter_surface/surface_path.h>
#include <tarnix/surface2d/frontal_remesher.h>
#include <ulvane/geometry/basic_objects.h>
#include <ulvane/mesh/triangulated_surface.h>
#include <ulvane/mesh/triangulated_surface_builder.h>
#include <vantrel/core.h>

namespace tarnix {
namespace test {

//! A working surface with a remesher on it whose polygon attributes exist,
//! so that tests can cover triangles and mark edges with macro edges.
class WalkWorld {
 public:
  explicit WalkWorld(std::unique_ptr<TriangulatedSurface<2>> mesh);
  ~WalkWorld();

  TriangulatedSurface<2> const& surface() const { return *surface_; }
  detail::FrontalRemesher2D const& remesher() const { return *remesher_; }

  //! Sets "triangle info" of the triangle (NO_ID uncovers it).
  void cover(index_t triangle, index_t output_triangle = 0);
  //! Appends the macro edge to the own "edge info" list of the polygon edge.
  void mark(PolygonEdge const& edge, index_t macro_edge = 0);
  //! The polygon edge from vertex `from` to vertex `to`.
  PolygonEdge edge(index_t from, index_t to) const;
  Point<2> const& point(index_t vertex) const { return surface_->point(vertex); }

 private:
  std::unique_ptr<TriangulatedSurface<2>> surface_;
  std::unique_ptr<TriangulatedSurfaceBuilder<2>> builder_;
  ConstantMetric<2> metric_{1.0};
  std::unique_ptr<detail::FrontalRemesher2D> remesher_;
};

//! The n x n grid of `make_grid` with each vertex moved by up to `jitter`
//! in x and y (uniformly, from `seed`); triangles stay counter-clockwise
//! for jitter below 0.25.
std::unique_ptr<TriangulatedSurface<2>> make_jittered_grid(index_t n, double jitter,
                                                           unsigned int seed);

//! The same surface mirrored in x with unchanged vertex order, so that
//! every triangle is clockwise.
std::unique_ptr<TriangulatedSurface<2>> make_mirrored(TriangulatedSurface<2> const& surface);

//! An input edge as its two vertices, smaller first.
using VertexPair = std::array<index_t, 2>;
VertexPair vertex_pair(TriangulatedSurface<2> const& surface, PolygonEdge const& edge);

//! What a walk meets: an input edge whose interior it crosses, or a vertex
//! it passes through.
struct Contact {
  //! Parameter along the walk, for ordering.
  double parameter;
  //! NO_ID for an edge crossing.
  index_t vertex;
  //! The crossed input edge (unused for a vertex).
  VertexPair edge;
  Point<2> point;
};

//! Every crossing of a line with the interior of an input edge, sorted
//! along the walk direction -direction(); `passes_vertex` when the line goes
//! through a vertex (the reference then says nothing).
struct LineContacts {
  std::vector<Contact> crossings;
  bool passes_vertex = false;
};

//! Brute-force reference of the walks: it tests every input edge and
//! vertex of the surface (for segments, every one in the cells of a bucket
//! grid near the segment), with exact side tests.
class ContactReference {
 public:
  explicit ContactReference(TriangulatedSurface<2> const& surface);

  //! The vertices on the open segment (a, b) and the input edges whose
  //! interior it crosses, then b, sorted along a->b.
  std::vector<Contact> segment_contacts(index_t a, index_t b) const;
  LineContacts line_contacts(InfiniteLine<2> const& line) const;

 private:
  struct Cell {
    std::vector<index_t> edges;
    std::vector<index_t> vertices;
  };
  Cell& cell_at(Point<2> const& point);
  //! The cells whose area, grown by half a cell, meets the segment.
  std::vector<Cell const*> cells_near(Point<2> const& a, Point<2> const& b) const;

  TriangulatedSurface<2> const& surface_;
  std::vector<VertexPair> edges_;
  //! Buckets of cell_size x cell_size from (x0, y0); each edge sits in the
  //! cell of its midpoint, each vertex in its own. No edge is longer than a
  //! cell along either axis, so a crossing edge sits in a cell near the
  //! segment.
  double cell_size_ = 1.0;
  double x0_ = 0.0;
  double y0_ = 0.0;
  int nb_columns_ = 1;
  int nb_rows_ = 1;
  std::vector<Cell> cells_;
};

//! The active triangle whose closed area holds the point, if any (exact).
absl::optional<index_t> triangle_containing(TriangulatedSurface<2> const& surface,
                                            Point<2> const& point);

}  // namespace test
}  // namespace tarnix
