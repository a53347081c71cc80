#pragma once

#include <ostream>
#include <utility>

#include <ulvane/basic/common.h>

namespace tarnix {

struct PolygonEdge;

//! A corner of a polygon: the polygon and the local index of one of its
//! vertices. The default handle {NO_ID, NO_LID} designates no corner.
struct PolygonVertex {
  PolygonVertex() = default;
  PolygonVertex(index_t polygon, local_index_t vertex) : polygon_id(polygon), vertex_id(vertex) {}
  //! The corner where the edge starts (same polygon and local index).
  explicit PolygonVertex(PolygonEdge const& edge);

  friend bool operator==(PolygonVertex const& a, PolygonVertex const& b) {
    return a.polygon_id == b.polygon_id && a.vertex_id == b.vertex_id;
  }
  friend bool operator!=(PolygonVertex const& a, PolygonVertex const& b) { return !(a == b); }
  template <typename H>
  friend H AbslHashValue(H h, PolygonVertex const& corner) {
    return H::combine(std::move(h), corner.polygon_id, corner.vertex_id);
  }
  friend std::ostream& operator<<(std::ostream& out, PolygonVertex const& corner) {
    return out << "PolygonVertex(" << corner.polygon_id << ", "
               << static_cast<unsigned>(corner.vertex_id) << ')';
  }

  index_t polygon_id{NO_ID};
  local_index_t vertex_id{NO_LID};
};

//! An edge of a polygon: edge e of polygon t runs from its local vertex e to
//! its local vertex (e + 1) mod size. The default handle {NO_ID, NO_LID}
//! differs from every real edge.
struct PolygonEdge {
  PolygonEdge() = default;
  PolygonEdge(index_t polygon, local_index_t edge) : polygon_id(polygon), edge_id(edge) {}
  //! The edge leaving the corner (same polygon and local index).
  explicit PolygonEdge(PolygonVertex const& corner)
      : polygon_id(corner.polygon_id), edge_id(corner.vertex_id) {}

  friend bool operator==(PolygonEdge const& a, PolygonEdge const& b) {
    return a.polygon_id == b.polygon_id && a.edge_id == b.edge_id;
  }
  friend bool operator!=(PolygonEdge const& a, PolygonEdge const& b) { return !(a == b); }
  template <typename H>
  friend H AbslHashValue(H h, PolygonEdge const& edge) {
    return H::combine(std::move(h), edge.polygon_id, edge.edge_id);
  }
  friend std::ostream& operator<<(std::ostream& out, PolygonEdge const& edge) {
    return out << "PolygonEdge(" << edge.polygon_id << ", "
               << static_cast<unsigned>(edge.edge_id) << ')';
  }

  index_t polygon_id{NO_ID};
  local_index_t edge_id{NO_LID};
};

inline PolygonVertex::PolygonVertex(PolygonEdge const& edge)
    : polygon_id(edge.polygon_id), vertex_id(edge.edge_id) {}

//! An end of an edge of a curve or graph: vertex_id 0 is the start, 1 the end.
struct EdgeVertex {
  EdgeVertex() = default;
  EdgeVertex(index_t edge, local_index_t vertex) : edge_id(edge), vertex_id(vertex) {}

  //! The other end of the same edge.
  EdgeVertex opposite() const {
    return {edge_id, static_cast<local_index_t>(vertex_id == 0 ? 1 : 0)};
  }

  friend bool operator==(EdgeVertex const& a, EdgeVertex const& b) {
    return a.edge_id == b.edge_id && a.vertex_id == b.vertex_id;
  }
  friend bool operator!=(EdgeVertex const& a, EdgeVertex const& b) { return !(a == b); }
  template <typename H>
  friend H AbslHashValue(H h, EdgeVertex const& end) {
    return H::combine(std::move(h), end.edge_id, end.vertex_id);
  }
  friend std::ostream& operator<<(std::ostream& out, EdgeVertex const& end) {
    return out << "EdgeVertex(" << end.edge_id << ", " << static_cast<unsigned>(end.vertex_id)
               << ')';
  }

  index_t edge_id{NO_ID};
  local_index_t vertex_id{NO_LID};
};

}  // namespace tarnix
