#pragma once

#include <tuple>
#include <vector>

#include <absl/container/inlined_vector.h>
#include <absl/types/optional.h>

#include <ulvane/basic/common.h>
#include <ulvane/geometry/basic_objects.h>
#include <ulvane/geometry/bounding_box.h>
#include <ulvane/geometry/distance.h>
#include <ulvane/geometry/point.h>

namespace tarnix {

template <index_t D>
class AABBTree;

//! A bounding-box tree over the boxes of a list of elements (element i has
//! box i). The leaves hold one element each, ordered by the Morton code of
//! their box centres (ties by element index). Nodes are numbered from 1: node
//! 1 covers the positions [0, nb_bboxes()), node n over [begin, end) has the
//! left child 2n over [begin, middle) and the right child 2n + 1 over
//! [middle, end), middle = begin + (end − begin) / 2. The box of a node holds
//! the boxes of its elements.
//!
//! The traversals are member templates over an action; the code that runs
//! them defines them (they enter at node 1 over [0, nb_bboxes()) when the tree
//! has boxes).
template <>
class AABBTree<3> {
 public:
  class Impl {
   public:
    Impl() = default;
    explicit Impl(std::vector<BoundingBox<3>> const& boxes);

    index_t nb_bboxes() const { return static_cast<index_t>(mapping_morton_.size()); }

    //! True when the range holds a single position.
    bool is_leaf(index_t begin, index_t end) const { return end - begin == 1; }

    //! (middle, left child, right child) of a node that is not a leaf.
    std::tuple<index_t, index_t, index_t> get_recursive_iterators(index_t node, index_t begin,
                                                                  index_t end) const {
      return std::make_tuple(begin + (end - begin) / 2, 2 * node, 2 * node + 1);
    }

    //! The box of node n.
    //! \throw std::out_of_range "invalid vector subscript" for a node the
    //! tree does not have.
    BoundingBox<3> const& node(index_t n) const;

    //! The element whose box sits at a leaf position.
    //! \throw std::out_of_range "invalid vector subscript" for a position at
    //! or beyond nb_bboxes().
    index_t mapping_morton(index_t position) const;

    //! An element near the point, found by descending from the root towards
    //! the child box at the smaller signed distance (the left one on a tie);
    //! NO_ID for an empty tree.
    index_t closest_element_box_hint(Point<3> const& point) const;

    template <typename Action>
    void closest_element_recursive(Point<3> const& query, index_t& nearest_element,
                                   Point<3>& nearest_point, double& distance, index_t node_id,
                                   index_t begin, index_t end, Action& action) const;

    template <typename Action>
    void box_pair_intersect_recursive(index_t node_a, index_t begin_a, index_t end_a,
                                      AABBTree<3> const& other, index_t node_b,
                                      index_t begin_b, index_t end_b, Action& action) const;

    template <typename Action>
    void line_intersect_recursive(InfiniteLine<3> const& line, index_t node_id, index_t begin,
                                  index_t end, Action& action) const;

   private:
    //! Fills the box of node_id and of its descendants.
    void build(std::vector<BoundingBox<3>> const& boxes, index_t node_id, index_t begin,
               index_t end);

    //! Node boxes by node number; entry 0 is unused.
    std::vector<BoundingBox<3>> nodes_;
    //! Element at each leaf position.
    std::vector<index_t> mapping_morton_;
  };

  //! An empty tree.
  AABBTree() = default;
  //! The tree over the given element boxes.
  explicit AABBTree(std::vector<BoundingBox<3>> const& boxes) : impl_(boxes) {}

  index_t nb_bboxes() const { return impl_.nb_bboxes(); }

  //! The nearest element to the query, its closest point and distance.
  template <typename Action>
  std::tuple<index_t, Point<3>, double> closest_element(Point<3> const& query,
                                                        Action& action) const;

  Impl const& impl() const { return impl_; }

 private:
  Impl impl_;
};

//! The tree over the polygons of a surface mesh (elements are polygon
//! indices, removed polygons included).
template <index_t D, typename Mesh>
auto create_aabb_tree(Mesh const& mesh) -> decltype(mesh.nb_polygons(), AABBTree<D>{}) {
  std::vector<BoundingBox<D>> boxes(mesh.nb_polygons());
  for (index_t polygon = 0; polygon < mesh.nb_polygons(); ++polygon) {
    auto const nb_vertices = mesh.nb_polygon_vertices(polygon);
    for (local_index_t k = 0; k < nb_vertices; ++k) {
      boxes[polygon].add_point(mesh.point(mesh.polygon_vertex({polygon, k})));
    }
  }
  return AABBTree<D>{boxes};
}

//! The tree over the edges of a curve (elements are edge indices).
template <index_t D, typename Mesh>
auto create_aabb_tree(Mesh const& mesh) -> decltype(mesh.nb_edges(), AABBTree<D>{}) {
  std::vector<BoundingBox<D>> boxes(mesh.nb_edges());
  for (index_t edge = 0; edge < mesh.nb_edges(); ++edge) {
    for (local_index_t k = 0; k < 2; ++k) {
      boxes[edge].add_point(mesh.point(mesh.edge_vertex({edge, k})));
    }
  }
  return AABBTree<D>{boxes};
}

//! Distance from a point to a triangle of a triangulated surface, the action
//! of the nearest-triangle search. The mesh must outlive the action.
template <index_t D>
class DistanceToTriangle {
  static_assert(D == 3, "DistanceToTriangle is defined for 3D surfaces");

 public:
  template <typename Mesh>
  explicit DistanceToTriangle(Mesh const& mesh)
      : mesh_(&mesh), triangle_([](void const* m, index_t triangle) {
          return static_cast<Mesh const*>(m)->triangle(triangle);
        }) {}

  //! (distance, closest point of the triangle).
  std::tuple<double, Point<3>> operator()(Point<3> const& query, index_t triangle) const {
    return point_triangle_distance(query, triangle_(mesh_, triangle));
  }

 private:
  void const* mesh_;
  Triangle<3> (*triangle_)(void const*, index_t);
};

//! Distance from a point to an edge of a curve, the action of the
//! nearest-edge search. The mesh must outlive the action.
template <index_t D>
class DistanceToEdge {
  static_assert(D == 3, "DistanceToEdge is defined for 3D curves");

 public:
  template <typename Mesh>
  explicit DistanceToEdge(Mesh const& mesh)
      : mesh_(&mesh), segment_([](void const* m, index_t edge) {
          auto const& curve = *static_cast<Mesh const*>(m);
          return Segment<3>{curve.point(curve.edge_vertex({edge, 0})),
                            curve.point(curve.edge_vertex({edge, 1}))};
        }) {}

  //! (distance, closest point of the edge).
  std::tuple<double, Point<3>> operator()(Point<3> const& query, index_t edge) const {
    return point_segment_projection(query, segment_(mesh_, edge));
  }

 private:
  void const* mesh_;
  Segment<3> (*segment_)(void const*, index_t);
};

//! Casts a ray, the half-line from the line's origin along its direction, on
//! the polygons fed to it and keeps the nearest hit: the smallest distance
//! from the origin, the polygon fed first on a tie. A polygon is hit when the
//! ray meets it (edges and vertices included); polygons parallel to the
//! direction and zero-area ones are never hit. Polygons with more than three
//! vertices are split into a fan from their first vertex. The mesh must
//! outlive the tracer.
class RayTracing3D {
 public:
  struct PolygonDistance {
    index_t polygon;
    double distance;
  };

  template <typename Mesh>
  RayTracing3D(Mesh const& mesh, InfiniteLine<3> const& line)
      : mesh_(&mesh), line_(line), polygon_points_([](void const* m, index_t polygon) {
          auto const& surface = *static_cast<Mesh const*>(m);
          absl::InlinedVector<Point<3>, 3> points;
          auto const nb_vertices = surface.nb_polygon_vertices(polygon);
          for (local_index_t k = 0; k < nb_vertices; ++k) {
            points.push_back(surface.point(surface.polygon_vertex({polygon, k})));
          }
          return points;
        }) {}

  //! Tests one polygon of the mesh against the ray.
  void operator()(index_t polygon);

  //! The nearest polygon hit so far, with its distance; empty when none.
  absl::optional<PolygonDistance> closest_polygon() const { return closest_; }

 private:
  void const* mesh_;
  InfiniteLine<3> line_;
  absl::InlinedVector<Point<3>, 3> (*polygon_points_)(void const*, index_t);
  absl::optional<PolygonDistance> closest_;
};

}  // namespace tarnix
