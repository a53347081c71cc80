#pragma once

// The traversals of AABBTree<3>: the nearest element to a point, the pairs
// of elements of two trees whose boxes meet, and the elements whose boxes
// a line meets. Each is a member template over an action object; none
// allocates: the second child of a node is handled by continuing the loop,
// so the recursion depth stays within the tree depth.

#include <tuple>

#include <ulvane/basic/common.h>
#include <ulvane/geometry/aabb.h>
#include <ulvane/geometry/basic_objects.h>
#include <ulvane/geometry/point.h>

namespace tarnix {

//! (element, closest point, distance) of the element nearest to the query:
//! (NO_ID, the query, 0.0) for an empty tree, without calling the action.
//! The search starts from the hint element; ties keep the element found
//! first, so the hint wins among equally near elements.
template <typename Action>
std::tuple<index_t, Point<3>, double> AABBTree<3>::closest_element(Point<3> const& query,
                                                                   Action& action) const {
  if (nb_bboxes() == 0) return std::make_tuple(NO_ID, query, 0.0);
  index_t nearest_element = impl_.closest_element_box_hint(query);
  double distance;
  Point<3> nearest_point;
  std::tie(distance, nearest_point) = action(query, nearest_element);
  impl_.closest_element_recursive(query, nearest_element, nearest_point, distance, 1, 0,
                                  nb_bboxes(), action);
  return std::make_tuple(nearest_element, nearest_point, distance);
}

//! Visits a child only when its box is strictly nearer than the best
//! distance at that moment, the nearer child first (the right one on a
//! tie); a leaf replaces the best only when strictly nearer.
template <typename Action>
void AABBTree<3>::Impl::closest_element_recursive(Point<3> const& query,
                                                  index_t& nearest_element,
                                                  Point<3>& nearest_point, double& distance,
                                                  index_t node_id, index_t begin, index_t end,
                                                  Action& action) const {
  while (true) {
    if (is_leaf(begin, end)) {
      const index_t element = mapping_morton(begin);
      double element_distance;
      Point<3> element_point;
      std::tie(element_distance, element_point) = action(query, element);
      if (element_distance < distance) {
        nearest_element = element;
        nearest_point = element_point;
        distance = element_distance;
      }
      return;
    }
    index_t middle, left, right;
    std::tie(middle, left, right) = get_recursive_iterators(node_id, begin, end);
    const double left_distance = node(left).signed_distance(query);
    const double right_distance = node(right).signed_distance(query);
    if (left_distance < right_distance) {
      if (left_distance < distance) {
        closest_element_recursive(query, nearest_element, nearest_point, distance, left, begin,
                                  middle, action);
      }
      if (!(right_distance < distance)) return;
      node_id = right;
      begin = middle;
    } else {
      if (right_distance < distance) {
        closest_element_recursive(query, nearest_element, nearest_point, distance, right,
                                  middle, end, action);
      }
      if (!(left_distance < distance)) return;
      node_id = left;
      end = middle;
    }
  }
}

//! Hands every pair (element of this tree, element of `other`) whose leaf
//! boxes intersect to the action, once, depth first with left children
//! first. The node pair splits the node with the larger range, this tree's
//! on equal ranges. Both trees must have boxes.
template <typename Action>
void AABBTree<3>::Impl::box_pair_intersect_recursive(index_t node_a, index_t begin_a,
                                                     index_t end_a, AABBTree<3> const& other,
                                                     index_t node_b, index_t begin_b,
                                                     index_t end_b, Action& action) const {
  auto const& other_impl = other.impl();
  while (true) {
    if (!node(node_a).intersects(other_impl.node(node_b))) return;
    if (is_leaf(begin_a, end_a) && other_impl.is_leaf(begin_b, end_b)) {
      action(mapping_morton(begin_a), other_impl.mapping_morton(begin_b));
      return;
    }
    index_t middle, left, right;
    if (end_b - begin_b > end_a - begin_a) {
      std::tie(middle, left, right) = other_impl.get_recursive_iterators(node_b, begin_b, end_b);
      box_pair_intersect_recursive(node_a, begin_a, end_a, other, left, begin_b, middle, action);
      node_b = right;
      begin_b = middle;
    } else {
      std::tie(middle, left, right) = get_recursive_iterators(node_a, begin_a, end_a);
      box_pair_intersect_recursive(left, begin_a, middle, other, node_b, begin_b, end_b, action);
      node_a = right;
      begin_a = middle;
    }
  }
}

//! Hands every element whose leaf box the line meets to the action, left
//! children first (no ordering along the line). The tree must have boxes.
template <typename Action>
void AABBTree<3>::Impl::line_intersect_recursive(InfiniteLine<3> const& line, index_t node_id,
                                                 index_t begin, index_t end,
                                                 Action& action) const {
  while (true) {
    if (!node(node_id).intersects(line)) return;
    if (is_leaf(begin, end)) {
      action(mapping_morton(begin));
      return;
    }
    index_t middle, left, right;
    std::tie(middle, left, right) = get_recursive_iterators(node_id, begin, end);
    line_intersect_recursive(line, left, begin, middle, action);
    node_id = right;
    begin = middle;
  }
}

}  // namespace tarnix

namespace tarnix {
namespace detail {

//! Every pair of elements of the two trees whose leaf boxes intersect, from
//! the roots; nothing when either tree is empty.
template <typename Action>
void box_pair_intersect(AABBTree<3> const& first, AABBTree<3> const& second, Action& action) {
  if (first.nb_bboxes() == 0 || second.nb_bboxes() == 0) return;
  first.impl().box_pair_intersect_recursive(1, 0, first.nb_bboxes(), second, 1, 0,
                                            second.nb_bboxes(), action);
}

//! Every element whose leaf box the line meets, from the root; nothing for
//! an empty tree.
template <typename Action>
void line_intersect(AABBTree<3> const& tree, InfiniteLine<3> const& line, Action& action) {
  if (tree.nb_bboxes() == 0) return;
  tree.impl().line_intersect_recursive(line, 1, 0, tree.nb_bboxes(), action);
}

}  // namespace detail
}  // namespace tarnix
