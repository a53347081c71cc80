#pragma once

#include <vector>

#include <absl/container/flat_hash_map.h>
#include <absl/container/inlined_vector.h>

#include <ulvane/basic/common.h>
#include <ulvane/basic/uuid.h>
#include <ulvane/mesh/mesh_handles.h>

#include <morvex/modifier_surface/surface_edit_records.h>

namespace tarnix {

//! The outcome of a simulation on a `Section`: per surface, the polygon
//! edges (of before the edit) where the edit would break the model. The
//! edit is allowed exactly when nothing is listed.
struct SectionSimulationResult {
  absl::flat_hash_map<uuid, std::vector<PolygonEdge>> problems;

  bool empty() const { return problems.empty(); }
};

//! The outcome of a simulation on a `BRep`, with two problem maps, each
//! from a surface id to polygon edges of that surface (of before the edit):
//! - `folds`: where adjacent triangle normals would turn against each other
//!   (a new triangle facing against the triangle it replaces or against a
//!   neighbour);
//! - `problems`: every other problem (a flat triangle, a broken link
//!   condition, a corner or line vertex moved or removed, a swapped line
//!   edge, a removed triangle).
//! The edit is allowed exactly when both maps are empty.
struct BRepSimulationResult {
  absl::flat_hash_map<uuid, std::vector<PolygonEdge>> folds;
  absl::flat_hash_map<uuid, std::vector<PolygonEdge>> problems;

  bool empty() const { return folds.empty() && problems.empty(); }
};

//! The result of a model-level edge collapse: per surface that the
//! collapse changed, one entry per collapse made in it. The entry's
//! `vertex` is the vertex that remains (at the target point), `merged` the
//! vertices merged into it. The collapsed surface always has a list.
using ModelCollapsePolygonEdgeInfo = absl::flat_hash_map<uuid, absl::InlinedVector<CollapseInfo, 1>>;
using SectionCollapsePolygonEdgeInfo = ModelCollapsePolygonEdgeInfo;
using BRepCollapsePolygonEdgeInfo = ModelCollapsePolygonEdgeInfo;

//! One polygon edge split in one surface: the edge P->Q of triangle T (the
//! "own" side) and, when it is not on the border, its twin Q->P of triangle
//! T' (the "twin" side) are cut at the new vertex X. T and T' are removed
//! (inactive until a clean) and each is replaced by two appended triangles
//! that keep its vertex order and local indices, with X in place of Q (the
//! half at P) or of P (the half at Q).
//!
//! Edge pairs are (edge after the split, edge before the split): every edge
//! of a replaced triangle appears as `before` with each of its new handles
//! (the split edge with its two pieces, the other two edges with their
//! moved handles); the new edges from X to the opposite vertex pair with
//! `PolygonEdge{}`. Triangle pairs are (new triangle, triangle replaced).
struct SplitRecord {
  //! The own side: edges of T, then triangles from T.
  PolygonEdgePairs own_edges;
  absl::InlinedVector<TrianglePair, 2> own_triangles;
  //! The twin side (empty on the border): edges of T', triangles from T'.
  PolygonEdgePairs twin_edges;
  absl::InlinedVector<TrianglePair, 2> twin_triangles;
  //! The new vertex X in this surface's mesh.
  index_t vertex{NO_ID};
};

//! A split of a line edge: the edge keeps its index and runs from its
//! first vertex to the new vertex; the appended edge runs on to the second.
struct LineSplitRecord {
  index_t edge{NO_ID};
  index_t new_edge{NO_ID};
  //! The new vertex in the line's mesh.
  index_t vertex{NO_ID};
};

//! The result of a model-level edge split.
struct ModelSplitPolygonEdgeInfo {
  //! The new unique vertex, linked to the new vertex of every changed
  //! component.
  index_t unique_vertex{NO_ID};
  //! Per surface that the split changed (the split surface among them),
  //! its split records, one per polygon edge split there.
  absl::flat_hash_map<uuid, std::vector<SplitRecord>> surfaces;
  //! Per line that the split changed, its split records.
  absl::flat_hash_map<uuid, std::vector<LineSplitRecord>> lines;
};
using SectionSplitPolygonEdgeInfo = ModelSplitPolygonEdgeInfo;
using BRepSplitPolygonEdgeInfo = ModelSplitPolygonEdgeInfo;

}  // namespace tarnix
