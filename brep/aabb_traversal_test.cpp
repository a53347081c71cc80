#include "brep/aabb_traversal.h"

#include <algorithm>
#include <array>
#include <limits>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ulvane/geometry/aabb.h>
#include <ulvane/geometry/bounding_box.h>
#include <ulvane/mesh/triangulated_surface.h>

#include "brep/brep_test_models.h"

namespace tarnix {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

BoundingBox<3> box(Point<3> const& min, Point<3> const& max) {
  BoundingBox<3> result;
  result.add_point(min);
  result.add_point(max);
  return result;
}

Point<3> point(double x, double y, double z) { return Point<3>{{x, y, z}}; }

// Distances given per element, with the calls recorded.
struct ScriptedDistance {
  std::vector<double> distances;
  std::vector<index_t> calls;

  std::tuple<double, Point<3>> operator()(Point<3> const& query, index_t element) {
    calls.push_back(element);
    return std::make_tuple(distances.at(element), query);
  }
};

// Distance to the element's point; elements are points with point boxes.
struct DistanceToPoint {
  std::vector<Point<3>> const& points;
  index_t nb_calls = 0;

  std::tuple<double, Point<3>> operator()(Point<3> const& query, index_t element) {
    ++nb_calls;
    return std::make_tuple(point_point_distance(query, points[element]), points[element]);
  }
};

struct RecordPairs {
  std::vector<std::pair<index_t, index_t>> pairs;
  void operator()(index_t first, index_t second) { pairs.emplace_back(first, second); }
};

struct RecordElements {
  std::vector<index_t> elements;
  void operator()(index_t element) { elements.push_back(element); }
};

AABBTree<3> point_tree(std::vector<Point<3>> const& points) {
  std::vector<BoundingBox<3>> boxes;
  for (auto const& p : points) boxes.push_back(box(p, p));
  return AABBTree<3>{boxes};
}

TEST(AABBTraversal, EmptyTreeAnswersWithoutCallingTheAction) {
  const AABBTree<3> empty;
  ScriptedDistance distance;
  const auto query = point(1, 2, 3);
  const auto [element, closest, value] = empty.closest_element(query, distance);
  EXPECT_EQ(element, NO_ID);
  EXPECT_EQ(closest, query);
  EXPECT_EQ(value, 0.0);
  EXPECT_THAT(distance.calls, IsEmpty());

  const AABBTree<3> other{{box(point(0, 0, 0), point(1, 1, 1))}};
  RecordPairs pairs;
  detail::box_pair_intersect(empty, other, pairs);
  detail::box_pair_intersect(other, empty, pairs);
  EXPECT_THAT(pairs.pairs, IsEmpty());
  RecordElements hits;
  detail::line_intersect(empty, InfiniteLine<3>{Vector<3>{{1, 0, 0}}, point(0, 0, 0)}, hits);
  EXPECT_THAT(hits.elements, IsEmpty());
}

TEST(AABBTraversal, HintWinsATie) {
  // Both points at distance 1 from the origin. The hint descends to the
  // left child on equal box distances, the search visits the right child
  // first: the hint must still win.
  const std::vector<Point<3>> points{point(-1, 0, 0), point(1, 0, 0)};
  const auto tree = point_tree(points);
  const auto query = point(0, 0, 0);
  const index_t hint = tree.impl().closest_element_box_hint(query);
  ASSERT_EQ(hint, tree.impl().mapping_morton(0));
  DistanceToPoint distance{points};
  EXPECT_EQ(std::get<0>(tree.closest_element(query, distance)), hint);
  EXPECT_EQ(std::get<2>(tree.closest_element(query, distance)), 1.0);
}

TEST(AABBTraversal, RightChildFirstOnEqualBoxDistancesAndFirstFoundKeepsATie) {
  // Four identical boxes around the query: every pair of children is at
  // the same signed distance. Element i sits at position i (ties of the
  // leaf order go by index), so the hint is element 0.
  const auto unit = box(point(0, 0, 0), point(1, 1, 1));
  const AABBTree<3> tree{{unit, unit, unit, unit}};
  ASSERT_EQ(tree.impl().mapping_morton(3), 3u);
  ScriptedDistance distance{{10.0, 5.0, 5.0, 7.0}, {}};
  const auto [element, closest, value] = tree.closest_element(point(0.5, 0.5, 0.5), distance);
  // Hint, then the right subtree right to left, then the left one: element
  // 2 is met before element 1 at the same distance and keeps the place.
  EXPECT_THAT(distance.calls, ElementsAre(0u, 3u, 2u, 1u, 0u));
  EXPECT_EQ(element, 2u);
  EXPECT_EQ(value, 5.0);
}

TEST(AABBTraversal, ChildrenNoNearerThanTheBestAreSkipped) {
  // The hint is at distance 0: no box can be strictly nearer.
  const std::vector<Point<3>> points{point(0, 0, 0), point(5, 0, 0), point(9, 0, 0)};
  const auto tree = point_tree(points);
  DistanceToPoint distance{points};
  EXPECT_EQ(std::get<0>(tree.closest_element(point(9, 0, 0), distance)), 2u);
  EXPECT_EQ(distance.nb_calls, 1u);
}

TEST(AABBTraversal, OneBoxTreeAgainstALargerTree) {
  const AABBTree<3> single{{box(point(0, 0, 0), point(2, 2, 2))}};
  std::vector<BoundingBox<3>> boxes;
  for (int i = 0; i < 6; ++i) boxes.push_back(box(point(i, 0, 0), point(i + 0.5, 1, 1)));
  const AABBTree<3> row{boxes};
  RecordPairs pairs;
  detail::box_pair_intersect(single, row, pairs);
  // Boxes 0..2 reach x = 2 at most; box 2 touches it.
  EXPECT_THAT(pairs.pairs, ElementsAre(std::make_pair(0u, 0u), std::make_pair(0u, 1u),
                                       std::make_pair(0u, 2u)));
  RecordPairs swapped;
  detail::box_pair_intersect(row, single, swapped);
  EXPECT_THAT(swapped.pairs, ElementsAre(std::make_pair(0u, 0u), std::make_pair(1u, 0u),
                                         std::make_pair(2u, 0u)));
}

TEST(AABBTraversal, EqualRangesSplitTheFirstTree) {
  // All four boxes meet. Splitting the first tree first gives a-major
  // order; splitting the second would give b-major order.
  const auto unit = box(point(0, 0, 0), point(1, 1, 1));
  const AABBTree<3> first{{unit, unit}};
  const AABBTree<3> second{{unit, unit}};
  RecordPairs pairs;
  detail::box_pair_intersect(first, second, pairs);
  EXPECT_THAT(pairs.pairs, ElementsAre(std::make_pair(0u, 0u), std::make_pair(0u, 1u),
                                       std::make_pair(1u, 0u), std::make_pair(1u, 1u)));
}

TEST(AABBTraversal, LineQueries) {
  std::vector<BoundingBox<3>> boxes;
  for (int i = 0; i < 5; ++i) boxes.push_back(box(point(i, 0, 0), point(i + 0.5, 1, 1)));
  const AABBTree<3> tree{boxes};
  struct Case {
    char const* name;
    InfiniteLine<3> line;
    std::vector<index_t> hits;
  } const cases[] = {
      {"misses the root", InfiniteLine<3>{Vector<3>{{1, 0, 0}}, point(0, 5, 0)}, {}},
      {"along the row", InfiniteLine<3>{Vector<3>{{1, 0, 0}}, point(0, 0.5, 0.5)},
       {0, 1, 2, 3, 4}},
      {"across one box", InfiniteLine<3>{Vector<3>{{0, 0, 1}}, point(2.25, 0.5, 0)}, {2}},
      {"through a gap", InfiniteLine<3>{Vector<3>{{0, 0, 1}}, point(2.75, 0.5, 0)}, {}},
  };
  for (auto const& test_case : cases) {
    SCOPED_TRACE(test_case.name);
    RecordElements hits;
    detail::line_intersect(tree, test_case.line, hits);
    std::vector<index_t> sorted = hits.elements;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_THAT(sorted, ElementsAreArray(test_case.hits));
    // Left children first: the leaf order.
    std::vector<index_t> positions;
    for (index_t p = 0; p < tree.nb_bboxes(); ++p) {
      const index_t element = tree.impl().mapping_morton(p);
      if (std::find(sorted.begin(), sorted.end(), element) != sorted.end()) {
        positions.push_back(element);
      }
    }
    EXPECT_EQ(hits.elements, positions);
  }
}

TEST(AABBTraversal, RandomQueriesAgreeWithBruteForce) {
  std::mt19937 random{7};
  std::uniform_real_distribution<double> coordinate{-10.0, 10.0};
  std::uniform_real_distribution<double> size{0.0, 2.0};
  const auto random_point = [&] {
    return point(coordinate(random), coordinate(random), coordinate(random));
  };
  std::vector<Point<3>> points;
  for (int i = 0; i < 300; ++i) points.push_back(random_point());
  const auto tree = point_tree(points);
  for (int q = 0; q < 200; ++q) {
    const auto query = random_point();
    double best = std::numeric_limits<double>::infinity();
    for (auto const& p : points) best = std::min(best, point_point_distance(query, p));
    DistanceToPoint distance{points};
    const auto [element, closest, value] = tree.closest_element(query, distance);
    ASSERT_EQ(value, best);
    EXPECT_EQ(point_point_distance(query, points[element]), best);
    EXPECT_EQ(closest, points[element]);
    EXPECT_LT(distance.nb_calls, points.size() / 4);
  }

  const auto random_boxes = [&](int count) {
    std::vector<BoundingBox<3>> boxes;
    for (int i = 0; i < count; ++i) {
      const auto min = random_point();
      boxes.push_back(box(min, min + point(size(random), size(random), size(random))));
    }
    return boxes;
  };
  for (const auto sizes : {std::array<int, 2>{{1, 50}}, std::array<int, 2>{{173, 211}},
                           std::array<int, 2>{{64, 64}}}) {
    const auto first_boxes = random_boxes(sizes[0]);
    const auto second_boxes = random_boxes(sizes[1]);
    std::set<std::pair<index_t, index_t>> expected;
    for (index_t a = 0; a < first_boxes.size(); ++a) {
      for (index_t b = 0; b < second_boxes.size(); ++b) {
        if (first_boxes[a].intersects(second_boxes[b])) expected.emplace(a, b);
      }
    }
    RecordPairs pairs;
    detail::box_pair_intersect(AABBTree<3>{first_boxes}, AABBTree<3>{second_boxes}, pairs);
    const std::set<std::pair<index_t, index_t>> found(pairs.pairs.begin(), pairs.pairs.end());
    EXPECT_EQ(found.size(), pairs.pairs.size()) << "a pair was reported twice";
    EXPECT_EQ(found, expected);
  }
}

TEST(AABBTraversal, NearestTriangleOfASurface) {
  auto model = test::make_box_row_brep(1, 6);
  test::jitter_surface_interiors(model.brep, 0.03, 3);
  std::mt19937 random{11};
  std::uniform_real_distribution<double> coordinate{-0.5, 1.5};
  for (auto const& surface : model.brep.surfaces()) {
    auto const& mesh = dynamic_cast<TriangulatedSurface<3> const&>(surface.get_mesh());
    const auto tree = create_aabb_tree<3>(mesh);
    DistanceToTriangle<3> distance{mesh};
    for (int q = 0; q < 20; ++q) {
      const auto query = point(coordinate(random), coordinate(random), coordinate(random));
      double best = std::numeric_limits<double>::infinity();
      for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
        best = std::min(best, std::get<0>(distance(query, t)));
      }
      const auto [element, closest, value] = tree.closest_element(query, distance);
      EXPECT_EQ(value, best);
      EXPECT_EQ(std::get<0>(distance(query, element)), best);
    }
  }
}

}  // namespace
}  // namespace tarnix
