#include <ulvane/geometry/aabb.h>

#include <algorithm>
#include <numeric>
#include <array>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include <absl/types/optional.h>
#include <gtest/gtest.h>

#include <ulvane/basic/ulvane_exception.h>

namespace tarnix {
namespace {

Point<3> p3(double x, double y, double z) { return Point<3>{{x, y, z}}; }
Vector<3> v3(double x, double y, double z) { return Vector<3>{{x, y, z}}; }

// Just the mesh queries the tree builder and the actions call.
struct Corner {
  Corner(index_t polygon, local_index_t vertex) : polygon_id(polygon), vertex_id(vertex) {}
  index_t polygon_id;
  local_index_t vertex_id;
};

struct FakeSurface {
  std::vector<Point<3>> points;
  std::vector<std::vector<index_t>> polygons;

  index_t nb_polygons() const { return static_cast<index_t>(polygons.size()); }
  local_index_t nb_polygon_vertices(index_t polygon) const {
    return static_cast<local_index_t>(polygons.at(polygon).size());
  }
  index_t polygon_vertex(Corner const& corner) const {
    return polygons.at(corner.polygon_id).at(corner.vertex_id);
  }
  Point<3> const& point(index_t vertex) const { return points.at(vertex); }
  Triangle<3> triangle(index_t t) const {
    auto const& p = polygons.at(t);
    return Triangle<3>{points[p[0]], points[p[1]], points[p[2]]};
  }
  void add_triangle(Point<3> const& a, Point<3> const& b, Point<3> const& c) {
    index_t const first = static_cast<index_t>(points.size());
    points.insert(points.end(), {a, b, c});
    polygons.push_back({first, first + 1, first + 2});
  }
};

struct EdgeEnd {
  EdgeEnd(index_t edge, local_index_t vertex) : edge_id(edge), vertex_id(vertex) {}
  index_t edge_id;
  local_index_t vertex_id;
};

struct FakeCurve {
  std::vector<Point<3>> points;
  index_t nb_edges() const { return static_cast<index_t>(points.size() / 2); }
  index_t edge_vertex(EdgeEnd const& end) const { return 2 * end.edge_id + end.vertex_id; }
  Point<3> const& point(index_t vertex) const { return points.at(vertex); }
};

std::vector<BoundingBox<3>> random_boxes(std::mt19937_64& rng, int count, double size) {
  std::uniform_real_distribution<double> coordinate(-10.0, 10.0);
  std::uniform_real_distribution<double> extent(0.0, size);
  std::vector<BoundingBox<3>> boxes(count);
  for (auto& box : boxes) {
    Point<3> const corner = p3(coordinate(rng), coordinate(rng), coordinate(rng));
    box.add_point(corner);
    box.add_point(corner + p3(extent(rng), extent(rng), extent(rng)));
  }
  return boxes;
}

FakeSurface random_surface(std::mt19937_64& rng, int count) {
  std::uniform_real_distribution<double> coordinate(-10.0, 10.0);
  std::uniform_real_distribution<double> offset(-0.5, 0.5);
  FakeSurface surface;
  for (int i = 0; i < count; ++i) {
    Point<3> const a = p3(coordinate(rng), coordinate(rng), coordinate(rng));
    auto const near = [&] { return a + p3(offset(rng), offset(rng), offset(rng)); };
    surface.add_triangle(a, near(), near());
  }
  return surface;
}

bool same_box(BoundingBox<3> const& a, BoundingBox<3> const& b) {
  return a.min() == b.min() && a.max() == b.max();
}

// Traversals written against the tree's primitives only.
using Tree = AABBTree<3>;

template <typename Visit>
void for_each_leaf_meeting(Tree const& tree, Visit const& meets, index_t node, index_t begin,
                           index_t end, std::vector<index_t>& found) {
  auto const& impl = tree.impl();
  if (!meets(impl.node(node))) return;
  if (impl.is_leaf(begin, end)) {
    found.push_back(impl.mapping_morton(begin));
    return;
  }
  auto const [middle, left, right] = impl.get_recursive_iterators(node, begin, end);
  for_each_leaf_meeting(tree, meets, left, begin, middle, found);
  for_each_leaf_meeting(tree, meets, right, middle, end, found);
}

template <typename Visit>
std::vector<index_t> leaves_meeting(Tree const& tree, Visit const& meets) {
  std::vector<index_t> found;
  if (tree.nb_bboxes() > 0) for_each_leaf_meeting(tree, meets, 1, 0, tree.nb_bboxes(), found);
  std::sort(found.begin(), found.end());
  return found;
}

template <typename Action>
void nearest_recursive(Tree const& tree, Point<3> const& query, Action& action, index_t node,
                       index_t begin, index_t end, index_t& best, double& best_distance) {
  auto const& impl = tree.impl();
  if (impl.is_leaf(begin, end)) {
    index_t const element = impl.mapping_morton(begin);
    double const distance = std::get<0>(action(query, element));
    if (distance < best_distance) {
      best = element;
      best_distance = distance;
    }
    return;
  }
  auto const [middle, left, right] = impl.get_recursive_iterators(node, begin, end);
  if (impl.node(left).signed_distance(query) < best_distance) {
    nearest_recursive(tree, query, action, left, begin, middle, best, best_distance);
  }
  if (impl.node(right).signed_distance(query) < best_distance) {
    nearest_recursive(tree, query, action, right, middle, end, best, best_distance);
  }
}

template <typename Action>
std::pair<index_t, double> nearest(Tree const& tree, Point<3> const& query, Action& action) {
  index_t best = tree.impl().closest_element_box_hint(query);
  double best_distance = std::get<0>(action(query, best));
  nearest_recursive(tree, query, action, 1, 0, tree.nb_bboxes(), best, best_distance);
  return {best, best_distance};
}

void check_node(Tree const& tree, index_t node, index_t begin, index_t end,
                std::vector<BoundingBox<3>> const& boxes, std::vector<int>& seen) {
  auto const& impl = tree.impl();
  if (impl.is_leaf(begin, end)) {
    index_t const element = impl.mapping_morton(begin);
    ASSERT_LT(element, boxes.size());
    ++seen[element];
    ASSERT_TRUE(same_box(impl.node(node), boxes[element]));
    return;
  }
  auto const [middle, left, right] = impl.get_recursive_iterators(node, begin, end);
  ASSERT_EQ(middle, begin + (end - begin) / 2);
  ASSERT_EQ(left, 2 * node);
  ASSERT_EQ(right, 2 * node + 1);
  BoundingBox<3> both;
  both.add_box(impl.node(left));
  both.add_box(impl.node(right));
  ASSERT_TRUE(same_box(impl.node(node), both)) << "node " << node;
  check_node(tree, left, begin, middle, boxes, seen);
  check_node(tree, right, middle, end, boxes, seen);
}

TEST(AABBTreeTest, NodesCoverTheirElementsAndLeavesArePermutation) {
  std::mt19937_64 rng(11);
  for (int const count : {1, 2, 3, 5, 7, 100, 1025, 3000}) {
    SCOPED_TRACE(count);
    auto const boxes = random_boxes(rng, count, 1.0);
    Tree const tree{boxes};
    ASSERT_EQ(tree.nb_bboxes(), static_cast<index_t>(count));
    std::vector<int> seen(count, 0);
    check_node(tree, 1, 0, tree.nb_bboxes(), boxes, seen);
    EXPECT_TRUE(std::all_of(seen.begin(), seen.end(), [](int n) { return n == 1; }));
  }
}

TEST(AABBTreeTest, BoxQueriesMatchBruteForce) {
  std::mt19937_64 rng(12);
  auto const boxes = random_boxes(rng, 3000, 1.0);
  Tree const tree{boxes};
  auto const queries = random_boxes(rng, 300, 4.0);
  std::size_t total = 0;
  for (auto const& query : queries) {
    std::vector<index_t> expected;
    for (index_t e = 0; e < boxes.size(); ++e) {
      if (boxes[e].intersects(query)) expected.push_back(e);
    }
    auto const found =
        leaves_meeting(tree, [&query](BoundingBox<3> const& box) { return box.intersects(query); });
    ASSERT_EQ(found, expected);
    total += found.size();
  }
  EXPECT_GT(total, 300u);
}

TEST(AABBTreeTest, LineQueriesMatchBruteForce) {
  std::mt19937_64 rng(13);
  auto const boxes = random_boxes(rng, 3000, 1.0);
  Tree const tree{boxes};
  std::uniform_real_distribution<double> coordinate(-10.0, 10.0);
  std::uniform_int_distribution<int> axis(0, 5);
  std::size_t total = 0;
  for (int i = 0; i < 300; ++i) {
    Vector<3> direction = v3(coordinate(rng), coordinate(rng), coordinate(rng));
    // Some lines run along an axis, through box faces and edges.
    if (int const a = axis(rng); a < 3) direction = v3(a == 0, a == 1, a == 2);
    Point<3> const origin = p3(coordinate(rng), coordinate(rng), coordinate(rng));
    InfiniteLine<3> const line{direction, origin};
    std::vector<index_t> expected;
    for (index_t e = 0; e < boxes.size(); ++e) {
      if (boxes[e].intersects(line)) expected.push_back(e);
    }
    auto const found =
        leaves_meeting(tree, [&line](BoundingBox<3> const& box) { return box.intersects(line); });
    ASSERT_EQ(found, expected);
    total += found.size();
  }
  EXPECT_GT(total, 300u);
}

TEST(AABBTreeTest, BoxPairsMatchBruteForce) {
  std::mt19937_64 rng(14);
  auto const first_boxes = random_boxes(rng, 1500, 1.0);
  auto const second_boxes = random_boxes(rng, 1000, 1.0);
  Tree const first{first_boxes};
  Tree const second{second_boxes};
  std::set<std::pair<index_t, index_t>> expected;
  for (index_t a = 0; a < first_boxes.size(); ++a) {
    for (index_t b = 0; b < second_boxes.size(); ++b) {
      if (first_boxes[a].intersects(second_boxes[b])) expected.emplace(a, b);
    }
  }
  // Descend both trees while their node boxes meet.
  std::set<std::pair<index_t, index_t>> found;
  auto const& fa = first.impl();
  auto const& fb = second.impl();
  struct Range {
    index_t node, begin, end;
  };
  std::vector<std::pair<Range, Range>> stack{{{1, 0, first.nb_bboxes()}, {1, 0, second.nb_bboxes()}}};
  while (!stack.empty()) {
    auto const [a, b] = stack.back();
    stack.pop_back();
    if (!fa.node(a.node).intersects(fb.node(b.node))) continue;
    bool const a_leaf = fa.is_leaf(a.begin, a.end);
    bool const b_leaf = fb.is_leaf(b.begin, b.end);
    if (a_leaf && b_leaf) {
      EXPECT_TRUE(found.emplace(fa.mapping_morton(a.begin), fb.mapping_morton(b.begin)).second);
    } else if (a_leaf || (!b_leaf && b.end - b.begin > a.end - a.begin)) {
      auto const [middle, left, right] = fb.get_recursive_iterators(b.node, b.begin, b.end);
      stack.push_back({a, {left, b.begin, middle}});
      stack.push_back({a, {right, middle, b.end}});
    } else {
      auto const [middle, left, right] = fa.get_recursive_iterators(a.node, a.begin, a.end);
      stack.push_back({{left, a.begin, middle}, b});
      stack.push_back({{right, middle, a.end}, b});
    }
  }
  EXPECT_EQ(found, expected);
  EXPECT_GT(expected.size(), 100u);
}

TEST(AABBTreeTest, NearestTriangleAndEdgeMatchBruteForce) {
  std::mt19937_64 rng(15);
  FakeSurface const surface = random_surface(rng, 2000);
  Tree const tree = create_aabb_tree<3>(surface);
  ASSERT_EQ(tree.nb_bboxes(), 2000u);
  DistanceToTriangle<3> distance_to_triangle{surface};

  FakeCurve curve;
  std::uniform_real_distribution<double> coordinate(-10.0, 10.0);
  std::uniform_real_distribution<double> offset(-0.5, 0.5);
  for (int i = 0; i < 2000; ++i) {
    Point<3> const a = p3(coordinate(rng), coordinate(rng), coordinate(rng));
    curve.points.push_back(a);
    curve.points.push_back(a + p3(offset(rng), offset(rng), offset(rng)));
  }
  Tree const curve_tree = create_aabb_tree<3>(curve);
  ASSERT_EQ(curve_tree.nb_bboxes(), 2000u);
  DistanceToEdge<3> distance_to_edge{curve};

  for (int i = 0; i < 300; ++i) {
    Point<3> const query = p3(coordinate(rng), coordinate(rng), coordinate(rng)) * 1.2;
    for (auto const& [t, action, count] :
         {std::make_tuple(&tree, 0, surface.nb_polygons()),
          std::make_tuple(&curve_tree, 1, curve.nb_edges())}) {
      index_t best = NO_ID;
      double best_distance = std::numeric_limits<double>::infinity();
      for (index_t e = 0; e < count; ++e) {
        double const d = action == 0 ? std::get<0>(distance_to_triangle(query, e))
                                     : std::get<0>(distance_to_edge(query, e));
        if (d < best_distance) {
          best = e;
          best_distance = d;
        }
      }
      auto const found = action == 0 ? nearest(*t, query, distance_to_triangle)
                                     : nearest(*t, query, distance_to_edge);
      ASSERT_EQ(found.second, best_distance);
      ASSERT_EQ(found.first, best);
    }
  }
}

TEST(AABBTreeTest, ActionsGiveDistanceAndClosestPoint) {
  FakeSurface surface;
  surface.add_triangle(p3(0, 0, 0), p3(2, 0, 0), p3(0, 2, 0));
  DistanceToTriangle<3> const to_triangle{surface};
  auto const [distance, closest] = to_triangle(p3(0.5, 0.5, -3), 0);
  EXPECT_EQ(distance, 3.0);
  EXPECT_EQ(closest, p3(0.5, 0.5, 0));
  FakeCurve curve{{p3(0, 0, 0), p3(4, 0, 0)}};
  DistanceToEdge<3> const to_edge{curve};
  auto const [edge_distance, edge_closest] = to_edge(p3(1, 3, 4), 0);
  EXPECT_EQ(edge_distance, 5.0);
  EXPECT_EQ(edge_closest, p3(1, 0, 0));
}

// On a grid of 8 × 8 × 8 separate unit boxes the Morton order splits the
// grid into halves whose boxes do not overlap, so the descent towards the
// nearer child ends at the box holding the point.
TEST(AABBTreeTest, HintDescendsToTheBoxHoldingThePoint) {
  std::vector<index_t> order(512);
  std::iota(order.begin(), order.end(), 0u);
  std::shuffle(order.begin(), order.end(), std::mt19937_64(16));
  std::vector<BoundingBox<3>> boxes(512);
  for (index_t e = 0; e < 512; ++e) {
    index_t const cell = order[e];
    Point<3> const corner = p3(10.0 * (cell % 8), 10.0 * (cell / 8 % 8), 10.0 * (cell / 64));
    boxes[e].add_point(corner);
    boxes[e].add_point(corner + p3(1, 1, 1));
  }
  Tree const tree{boxes};
  for (index_t e = 0; e < 512; ++e) {
    ASSERT_EQ(tree.impl().closest_element_box_hint(boxes[e].center()), e);
    ASSERT_EQ(tree.impl().closest_element_box_hint(boxes[e].center() + p3(2, -2, 0.5)), e);
  }
}

TEST(AABBTreeTest, EmptyAndSingleBoxTrees) {
  Tree const empty;
  EXPECT_EQ(empty.nb_bboxes(), 0u);
  EXPECT_EQ(empty.impl().closest_element_box_hint(p3(0, 0, 0)), NO_ID);
  EXPECT_THROW(empty.impl().node(1), std::out_of_range);
  EXPECT_THROW(empty.impl().mapping_morton(0), std::out_of_range);
  EXPECT_EQ(create_aabb_tree<3>(FakeSurface{}).nb_bboxes(), 0u);

  BoundingBox<3> box;
  box.add_point(p3(1, 2, 3));
  Tree const single{{box}};
  EXPECT_EQ(single.nb_bboxes(), 1u);
  EXPECT_TRUE(single.impl().is_leaf(0, 1));
  EXPECT_EQ(single.impl().mapping_morton(0), 0u);
  EXPECT_EQ(single.impl().closest_element_box_hint(p3(9, 9, 9)), 0u);
  EXPECT_TRUE(same_box(single.impl().node(1), box));
  EXPECT_THROW(single.impl().node(0), std::out_of_range);
  EXPECT_THROW(single.impl().node(2), std::out_of_range);
  try {
    single.impl().mapping_morton(1);
    FAIL() << "no exception";
  } catch (std::out_of_range const& e) {
    EXPECT_STREQ(e.what(), "invalid vector subscript");
  }
}

// Leaves follow the Morton order of the box centres, ties by element index.
TEST(AABBTreeTest, LeafOrderIsMortonThenIndex) {
  std::vector<double> xs{5, 1, 7, 0, 3, 6, 2, 4};
  std::vector<BoundingBox<3>> boxes(xs.size() + 2);
  for (std::size_t e = 0; e < xs.size(); ++e) boxes[e].add_point(p3(xs[e], 0, 0));
  // Two identical boxes at x = 7.
  boxes[8].add_point(p3(7, 0, 0));
  boxes[9].add_point(p3(7, 0, 0));
  Tree const tree{boxes};
  std::vector<index_t> order;
  for (index_t position = 0; position < tree.nb_bboxes(); ++position) {
    order.push_back(tree.impl().mapping_morton(position));
  }
  EXPECT_EQ(order, (std::vector<index_t>{3, 1, 6, 4, 7, 0, 5, 2, 8, 9}));
}

TEST(AABBTreeTest, TreeIsMovable) {
  std::mt19937_64 rng(17);
  auto const boxes = random_boxes(rng, 50, 1.0);
  absl::optional<Tree> slot;
  Tree tree{boxes};
  slot = std::move(tree);
  ASSERT_TRUE(slot.has_value());
  EXPECT_EQ(slot->nb_bboxes(), 50u);
  std::vector<int> seen(50, 0);
  check_node(*slot, 1, 0, slot->nb_bboxes(), boxes, seen);
}

TEST(AABBTreeTest, CurveAndSurfaceBoxes) {
  FakeSurface surface;
  surface.add_triangle(p3(0, 0, 0), p3(2, 1, 0), p3(1, 3, -1));
  // A quadrangle: every vertex counts.
  surface.points.push_back(p3(5, 5, 5));
  surface.polygons.push_back({0, 1, 2, 3});
  Tree const tree = create_aabb_tree<3>(surface);
  ASSERT_EQ(tree.nb_bboxes(), 2u);
  BoundingBox<3> quad;
  for (index_t v = 0; v < 4; ++v) quad.add_point(surface.points[v]);
  index_t const quad_position = tree.impl().mapping_morton(0) == 1 ? 0 : 1;
  EXPECT_TRUE(same_box(tree.impl().node(2 + quad_position), quad));
}

TEST(RayTracingTest, NearestHitAlongTheRay) {
  // Three parallel copies of one triangle at z = 1, 2 and −1, and one
  // triangle parallel to the ray.
  FakeSurface surface;
  for (double const z : {2.0, 1.0, -1.0}) {
    surface.add_triangle(p3(0, 0, z), p3(1, 0, z), p3(0, 1, z));
  }
  surface.add_triangle(p3(0, 0, 0), p3(0, 0, 5), p3(1, 1, 5));
  Point<3> const origin = p3(0.2, 0.2, 0);
  struct Case {
    char const* name;
    Vector<3> direction;
    absl::optional<index_t> polygon;
    double distance;
  } const cases[] = {
      {"up", v3(0, 0, 1), 1, 1.0},
      {"down", v3(0, 0, -3), 2, 1.0},
      {"sideways", v3(1, 0, 0), absl::nullopt, 0.0},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    RayTracing3D tracer{surface, InfiniteLine<3>{c.direction, origin}};
    for (index_t t = 0; t < surface.nb_polygons(); ++t) tracer(t);
    auto const closest = tracer.closest_polygon();
    ASSERT_EQ(closest.has_value(), c.polygon.has_value());
    if (closest) {
      EXPECT_EQ(closest->polygon, *c.polygon);
      EXPECT_EQ(closest->distance, c.distance);
    }
  }
}

TEST(RayTracingTest, TiesGoToTheFirstPolygonFedAndOriginCounts) {
  //  v2        two triangles sharing the edge v1–v2 in the plane z = 1;
  //  | \  t1   the ray goes through the middle of that edge
  //  |t0\ /
  //  v0--v1
  FakeSurface surface;
  surface.add_triangle(p3(0, 0, 1), p3(1, 0, 1), p3(0, 1, 1));
  surface.add_triangle(p3(1, 0, 1), p3(1, 1, 1), p3(0, 1, 1));
  for (auto const& order : {std::vector<index_t>{0, 1}, std::vector<index_t>{1, 0}}) {
    RayTracing3D tracer{surface, InfiniteLine<3>{v3(0, 0, 1), p3(0.5, 0.5, -1)}};
    for (index_t t : order) tracer(t);
    ASSERT_TRUE(tracer.closest_polygon());
    EXPECT_EQ(tracer.closest_polygon()->polygon, order.front());
    EXPECT_EQ(tracer.closest_polygon()->distance, 2.0);
  }
  // A ray starting on a triangle hits it at distance 0.
  RayTracing3D on{surface, InfiniteLine<3>{v3(0, 0, 1), p3(0.2, 0.2, 1)}};
  on(0);
  ASSERT_TRUE(on.closest_polygon());
  EXPECT_EQ(on.closest_polygon()->distance, 0.0);
  // Behind the origin nothing is hit.
  RayTracing3D away{surface, InfiniteLine<3>{v3(0, 0, -1), p3(0.2, 0.2, 0)}};
  away(0);
  away(1);
  EXPECT_FALSE(away.closest_polygon());
}

TEST(RayTracingTest, QuadranglesAreSplitIntoAFan) {
  FakeSurface surface;
  surface.points = {p3(0, 0, 3), p3(2, 0, 3), p3(2, 2, 3), p3(0, 2, 3)};
  surface.polygons = {{0, 1, 2, 3}};
  // (1.5, 0.5) lies in the first fan triangle, (0.5, 1.5) in the second.
  for (auto const& origin : {p3(1.5, 0.5, 0), p3(0.5, 1.5, 0)}) {
    RayTracing3D tracer{surface, InfiniteLine<3>{v3(0, 0, 1), origin}};
    tracer(0);
    ASSERT_TRUE(tracer.closest_polygon());
    EXPECT_EQ(tracer.closest_polygon()->distance, 3.0);
  }
}

// Feeding the tracer from the tree's line query gives the same nearest hit as
// feeding it every triangle.
TEST(RayTracingTest, TreeFedTracerMatchesBruteForce) {
  std::mt19937_64 rng(18);
  FakeSurface const surface = random_surface(rng, 2000);
  Tree const tree = create_aabb_tree<3>(surface);
  std::uniform_real_distribution<double> coordinate(-10.0, 10.0);
  int hits = 0;
  std::uniform_int_distribution<index_t> pick(0, surface.nb_polygons() - 1);
  for (int i = 0; i < 200; ++i) {
    Point<3> const origin = p3(coordinate(rng), coordinate(rng), coordinate(rng));
    // Half the rays aim at a triangle's centre.
    Vector<3> const direction =
        i % 2 == 0 ? Vector<3>{origin, surface.triangle(pick(rng)).barycenter()}
                   : v3(coordinate(rng), coordinate(rng), coordinate(rng));
    InfiniteLine<3> const line{direction, origin};
    RayTracing3D all{surface, line};
    for (index_t t = 0; t < surface.nb_polygons(); ++t) all(t);
    RayTracing3D fed{surface, line};
    for (index_t t :
         leaves_meeting(tree, [&line](BoundingBox<3> const& box) { return box.intersects(line); })) {
      fed(t);
    }
    ASSERT_EQ(all.closest_polygon().has_value(), fed.closest_polygon().has_value());
    if (all.closest_polygon()) {
      ++hits;
      EXPECT_EQ(all.closest_polygon()->polygon, fed.closest_polygon()->polygon);
    }
  }
  EXPECT_GT(hits, 100);
}

}  // namespace
}  // namespace tarnix
