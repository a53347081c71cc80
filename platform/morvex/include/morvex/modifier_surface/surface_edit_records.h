#pragma once

#include <utility>

#include <absl/container/inlined_vector.h>

#include <ulvane/basic/common.h>
#include <ulvane/mesh/mesh_handles.h>

namespace tarnix {

//! A new polygon edge and the polygon edge it replaces; `PolygonEdge{}`
//! when the new edge lies on no edge of before the edit.
using PolygonEdgePair = std::pair<PolygonEdge, PolygonEdge>;
using PolygonEdgePairs = absl::InlinedVector<PolygonEdgePair, 8>;
//! A new triangle and the triangle it replaces.
using TrianglePair = std::pair<index_t, index_t>;

//! The result of an edge collapse.
struct CollapseInfo {
  //! The vertex that remains, now at the target point.
  index_t vertex{NO_ID};
  //! The vertices merged into it (empty when the other end still has
  //! triangles of another fan).
  absl::InlinedVector<index_t, 2> merged;
};

//! The result of a point insertion into a triangle or of a triangle split.
//!
//! The two lists pair every new polygon edge with what it replaces: every
//! new edge lying on an edge of before the edit (pieces of a split edge,
//! edges moved unchanged to new triangles, the edges of the neighbour when
//! an edge was split) with that old edge, and every edge inside the split
//! element with `PolygonEdge{}`. The old edges belong to removed triangles
//! that stay in storage until a clean, so their polygon attributes can
//! still be read.
struct SplitTriangleInfo {
  //! The vertex now at the point: the new vertex, or the one met.
  index_t vertex{NO_ID};
  //! New polygon edges lying on old ones, each with the old edge.
  PolygonEdgePairs replacing_edges;
  //! New polygon edges inside the split element, each with `PolygonEdge{}`.
  PolygonEdgePairs interior_edges;
};

//! The result of a point insertion on an edge.
//!
//! The split polygon edge P->Q of triangle t (with twin Q->P in triangle n)
//! is cut at the new vertex X. Group `first` holds the half at P, group
//! `second` the half at Q; each new triangle keeps the vertex order and
//! local indices of the triangle it divides, with X in place of Q (first
//! half) or of P (second half).
struct SplitPolygonEdgeInfo {
  struct Group {
    //! (new triangle, triangle it divides): t's half first, then n's.
    absl::InlinedVector<TrianglePair, 2> triangles;
    //! (piece, split polygon edge): entry 0 the piece on t's side, with the
    //! orientation of P->Q (P->X in `first`, X->Q in `second`); entry 1 the
    //! piece on n's side (X->P, Q->X).
    absl::InlinedVector<PolygonEdgePair, 2> split_edges;
    //! (new polygon edge, old polygon edge) for the other edges of the new
    //! triangles that lie on old edges.
    absl::InlinedVector<PolygonEdgePair, 2> replacing_edges;
    //! (new polygon edge, `PolygonEdge{}`) for the new edges from X to the
    //! opposite vertices.
    absl::InlinedVector<PolygonEdgePair, 2> interior_edges;
  };

  //! The vertex now at the point: the new vertex, or the one met.
  index_t vertex{NO_ID};
  Group first;
  Group second;
};

}  // namespace tarnix
