#include <ulvane/geometry/aabb.h>

#include <algorithm>
#include <cstdint>
#include <numeric>

#include <ulvane/basic/ulvane_exception.h>
#include <ulvane/geometry/predicates.h>

#include "exact_sides.h"

namespace tarnix {
namespace {

constexpr int kMortonBits = 21;
constexpr double kMortonCells = (1 << kMortonBits) - 1;
// Node numbers reach about four times the number of boxes; stay well inside
// index_t.
constexpr std::size_t kMaxBoxes = std::size_t{1} << 29;

// The low 21 bits of x moved to every third bit.
std::uint64_t spread_bits(std::uint64_t x) {
  x &= 0x1fffff;
  x = (x | x << 32) & 0x1f00000000ffffULL;
  x = (x | x << 16) & 0x1f0000ff0000ffULL;
  x = (x | x << 8) & 0x100f00f00f00f00fULL;
  x = (x | x << 4) & 0x10c30c30c30c30c3ULL;
  x = (x | x << 2) & 0x1249249249249249ULL;
  return x;
}

// Cell of a coordinate on a grid of 2^21 cells over [low, high]; 0 for a flat
// range or a coordinate that does not compare.
std::uint64_t morton_cell(double value, double low, double high) {
  double const extent = high - low;
  if (!(extent > 0.0)) return 0;
  double const cell = (value - low) / extent * kMortonCells;
  if (!(cell > 0.0)) return 0;
  return static_cast<std::uint64_t>(std::min(cell, kMortonCells));
}

// The largest node number of a tree over `count` positions. The right child
// holds the larger half, so the rightmost path is the longest and ends at
// the largest number.
index_t largest_node(index_t count) {
  index_t node = 1;
  while (count > 1) {
    node = 2 * node + 1;
    count -= count / 2;
  }
  return node;
}

}  // namespace

AABBTree<3>::Impl::Impl(std::vector<BoundingBox<3>> const& boxes) {
  if (boxes.size() > kMaxBoxes) {
    throw UlvaneException("[AABBTree] Too many boxes for one tree");
  }
  index_t const nb_boxes = static_cast<index_t>(boxes.size());
  if (nb_boxes == 0) return;
  BoundingBox<3> centers;
  for (auto const& box : boxes) {
    if (!box.is_empty()) centers.add_point(box.center());
  }
  std::vector<std::uint64_t> codes(nb_boxes, 0);
  if (!centers.is_empty()) {
    for (index_t e = 0; e < nb_boxes; ++e) {
      if (boxes[e].is_empty()) continue;
      Point<3> const center = boxes[e].center();
      for (index_t i = 0; i < 3; ++i) {
        codes[e] |= spread_bits(morton_cell(center.value(i), centers.min().value(i),
                                            centers.max().value(i)))
                    << i;
      }
    }
  }
  mapping_morton_.resize(nb_boxes);
  std::iota(mapping_morton_.begin(), mapping_morton_.end(), 0u);
  std::sort(mapping_morton_.begin(), mapping_morton_.end(), [&codes](index_t a, index_t b) {
    return codes[a] != codes[b] ? codes[a] < codes[b] : a < b;
  });
  nodes_.resize(std::size_t{largest_node(nb_boxes)} + 1);
  build(boxes, 1, 0, nb_boxes);
}

void AABBTree<3>::Impl::build(std::vector<BoundingBox<3>> const& boxes, index_t node_id,
                              index_t begin, index_t end) {
  if (is_leaf(begin, end)) {
    nodes_[node_id] = boxes[mapping_morton_[begin]];
    return;
  }
  auto const [middle, left, right] = get_recursive_iterators(node_id, begin, end);
  build(boxes, left, begin, middle);
  build(boxes, right, middle, end);
  BoundingBox<3> box;
  box.add_box(nodes_[left]);
  box.add_box(nodes_[right]);
  nodes_[node_id] = box;
}

BoundingBox<3> const& AABBTree<3>::Impl::node(index_t n) const {
  // Entry 0 exists but is no node.
  if (n == 0) throw std::out_of_range("invalid vector subscript");
  return detail::checked_at(nodes_, n);
}

index_t AABBTree<3>::Impl::mapping_morton(index_t position) const {
  return detail::checked_at(mapping_morton_, position);
}

index_t AABBTree<3>::Impl::closest_element_box_hint(Point<3> const& point) const {
  if (mapping_morton_.empty()) return NO_ID;
  index_t node_id = 1;
  index_t begin = 0;
  index_t end = nb_bboxes();
  while (!is_leaf(begin, end)) {
    auto const [middle, left, right] = get_recursive_iterators(node_id, begin, end);
    if (nodes_[right].signed_distance(point) < nodes_[left].signed_distance(point)) {
      node_id = right;
      begin = middle;
    } else {
      node_id = left;
      end = middle;
    }
  }
  return mapping_morton_[begin];
}

void RayTracing3D::operator()(index_t polygon) {
  auto const points = polygon_points_(mesh_, polygon);
  Point<3> const& origin = line_.origin();
  for (std::size_t k = 1; k + 1 < points.size(); ++k) {
    Triangle<3> const triangle{points[0], points[k], points[k + 1]};
    auto const hit = detail::line_triangle_hit(line_, triangle);
    if (!hit || hit->position == Position::outside) continue;
    // Behind the origin: the parameter along the direction is negative.
    if (static_cast<int>(hit->origin_side) * static_cast<int>(hit->facing) > 0) continue;
    double const distance = point_point_distance(origin, hit->point);
    if (!closest_ || distance < closest_->distance) {
      closest_ = PolygonDistance{polygon, distance};
    }
  }
}

}  // namespace tarnix
