// Exact orientation tests on easy and near-degenerate inputs, and
// bounding-box-tree queries.

#include <cmath>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include <ulvane/geometry.h>

namespace tarnix {
namespace {

constexpr int kInputs = 4096;

Point<2> p2(double x, double y) { return Point<2>{{x, y}}; }
Point<3> p3(double x, double y, double z) { return Point<3>{{x, y, z}}; }

std::vector<std::array<Point<2>, 3>> triples_2d(bool near_degenerate) {
  std::mt19937_64 rng(1);
  std::uniform_real_distribution<double> coordinate(-1.0, 1.0);
  std::uniform_real_distribution<double> parameter(-1.0, 2.0);
  std::vector<std::array<Point<2>, 3>> triples;
  for (int i = 0; i < kInputs; ++i) {
    Point<2> const a = p2(coordinate(rng), coordinate(rng));
    Point<2> const b = p2(coordinate(rng), coordinate(rng));
    // Near-degenerate: c rounded from the line through a and b, so the
    // filter fails and the exact evaluation decides.
    Point<2> const c =
        near_degenerate ? a + (b - a) * parameter(rng) : p2(coordinate(rng), coordinate(rng));
    triples.push_back({a, b, c});
  }
  return triples;
}

std::vector<std::array<Point<3>, 4>> quadruples_3d(bool near_degenerate) {
  std::mt19937_64 rng(2);
  std::uniform_real_distribution<double> coordinate(-1.0, 1.0);
  std::uniform_real_distribution<double> parameter(-1.0, 2.0);
  auto const r = [&] { return p3(coordinate(rng), coordinate(rng), coordinate(rng)); };
  std::vector<std::array<Point<3>, 4>> quadruples;
  for (int i = 0; i < kInputs; ++i) {
    Point<3> const a = r();
    Point<3> const b = r();
    Point<3> const c = r();
    Point<3> const d =
        near_degenerate ? a + (b - a) * parameter(rng) + (c - a) * parameter(rng) : r();
    quadruples.push_back({a, b, c, d});
  }
  return quadruples;
}

void BM_orientation_2d(benchmark::State& state) {
  auto const triples = triples_2d(state.range(0) != 0);
  std::size_t i = 0;
  for (auto _ : state) {
    auto const& t = triples[i++ % triples.size()];
    benchmark::DoNotOptimize(orientation_2d(t[0], t[1], t[2]));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_orientation_2d)->ArgName("near_degenerate")->Arg(0)->Arg(1);

void BM_orientation_3d(benchmark::State& state) {
  auto const quadruples = quadruples_3d(state.range(0) != 0);
  std::size_t i = 0;
  for (auto _ : state) {
    auto const& q = quadruples[i++ % quadruples.size()];
    benchmark::DoNotOptimize(orientation_3d(q[0], q[1], q[2], q[3]));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_orientation_3d)->ArgName("near_degenerate")->Arg(0)->Arg(1);

// Inputs spanning 1e-300 to 1e300, which take the wide-exponent path.
void BM_orientation_2d_extreme_span(benchmark::State& state) {
  Point<2> const a = p2(1e300, 1e-300);
  Point<2> const b = p2(-1e300, -1e-300);
  Point<2> const c = p2(0.0, 0.0);
  for (auto _ : state) benchmark::DoNotOptimize(orientation_2d(a, b, c));
}
BENCHMARK(BM_orientation_2d_extreme_span);

// Small random triangles in a cube, as a surface mesh would give.
struct Soup {
  std::vector<Triangle<3>> triangles;
  std::vector<BoundingBox<3>> boxes;
};

Soup triangle_soup(int count) {
  std::mt19937_64 rng(3);
  std::uniform_real_distribution<double> coordinate(0.0, 100.0);
  std::uniform_real_distribution<double> offset(-1.0, 1.0);
  Soup soup;
  for (int i = 0; i < count; ++i) {
    Point<3> const a = p3(coordinate(rng), coordinate(rng), coordinate(rng));
    auto const near = [&] { return a + p3(offset(rng), offset(rng), offset(rng)); };
    soup.triangles.emplace_back(a, near(), near());
    BoundingBox<3> box;
    for (auto const& v : soup.triangles.back().vertices()) box.add_point(v);
    soup.boxes.push_back(box);
  }
  return soup;
}

void BM_aabb_build(benchmark::State& state) {
  auto const soup = triangle_soup(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    AABBTree<3> tree{soup.boxes};
    benchmark::DoNotOptimize(tree.nb_bboxes());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_aabb_build)->Arg(1000)->Arg(100000);

// Nearest triangle by branch and bound over the tree's primitives.
void nearest(AABBTree<3>::Impl const& impl, Soup const& soup, Point<3> const& query,
             index_t node, index_t begin, index_t end, double& best) {
  if (impl.is_leaf(begin, end)) {
    best = std::min(best, std::get<0>(point_triangle_distance(
                              query, soup.triangles[impl.mapping_morton(begin)])));
    return;
  }
  auto const [middle, left, right] = impl.get_recursive_iterators(node, begin, end);
  double const dl = impl.node(left).signed_distance(query);
  double const dr = impl.node(right).signed_distance(query);
  if (dl < dr) {
    if (dl < best) nearest(impl, soup, query, left, begin, middle, best);
    if (dr < best) nearest(impl, soup, query, right, middle, end, best);
  } else {
    if (dr < best) nearest(impl, soup, query, right, middle, end, best);
    if (dl < best) nearest(impl, soup, query, left, begin, middle, best);
  }
}

void BM_aabb_closest_triangle(benchmark::State& state) {
  auto const soup = triangle_soup(static_cast<int>(state.range(0)));
  AABBTree<3> const tree{soup.boxes};
  std::mt19937_64 rng(4);
  std::uniform_real_distribution<double> coordinate(0.0, 100.0);
  std::vector<Point<3>> queries;
  for (int i = 0; i < 1024; ++i) queries.push_back(p3(coordinate(rng), coordinate(rng), coordinate(rng)));
  std::size_t i = 0;
  for (auto _ : state) {
    Point<3> const& query = queries[i++ % queries.size()];
    index_t const hint = tree.impl().closest_element_box_hint(query);
    double best = std::get<0>(point_triangle_distance(query, soup.triangles[hint]));
    nearest(tree.impl(), soup, query, 1, 0, tree.nb_bboxes(), best);
    benchmark::DoNotOptimize(best);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_aabb_closest_triangle)->Arg(1000)->Arg(100000);

// Every triangle whose box a random line meets, handed to a ray tracer.
void line_leaves(AABBTree<3>::Impl const& impl, InfiniteLine<3> const& line, index_t node,
                 index_t begin, index_t end, std::vector<index_t>& found) {
  while (impl.node(node).intersects(line)) {
    if (impl.is_leaf(begin, end)) {
      found.push_back(impl.mapping_morton(begin));
      return;
    }
    auto const [middle, left, right] = impl.get_recursive_iterators(node, begin, end);
    line_leaves(impl, line, left, begin, middle, found);
    node = right;
    begin = middle;
  }
}

void BM_aabb_line_query(benchmark::State& state) {
  auto const soup = triangle_soup(static_cast<int>(state.range(0)));
  AABBTree<3> const tree{soup.boxes};
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> coordinate(0.0, 100.0);
  std::uniform_real_distribution<double> direction(-1.0, 1.0);
  std::vector<InfiniteLine<3>> lines;
  for (int i = 0; i < 1024; ++i) {
    lines.emplace_back(Vector<3>{{direction(rng), direction(rng), direction(rng)}},
                       p3(coordinate(rng), coordinate(rng), coordinate(rng)));
  }
  std::vector<index_t> found;
  std::size_t i = 0;
  for (auto _ : state) {
    found.clear();
    auto const& line = lines[i++ % lines.size()];
    line_leaves(tree.impl(), line, 1, 0, tree.nb_bboxes(), found);
    benchmark::DoNotOptimize(found.data());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_aabb_line_query)->Arg(1000)->Arg(100000);

}  // namespace
}  // namespace tarnix
