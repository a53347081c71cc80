#include <morvex/modifier_surface/triangulated_surface_epsilon_modifier.h>

#include <random>

#include <gtest/gtest.h>

#include <morvex/common/snapping.h>

#include "mesh/surface_validity.h"
#include "modifier_test_support.h"

namespace tarnix {
namespace {

template <index_t D>
Point<D> combine(Triangle<D> const& triangle, std::array<double, 3> const& weights) {
  auto const& p = triangle.vertices();
  return p[0] * weights[0] + p[1] * weights[1] + p[2] * weights[2];
}

double active_area(TriangulatedSurface<2> const& mesh) {
  double area = 0.0;
  for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
    if (!mesh.is_polygon_active(t)) continue;
    auto const triangle = mesh.triangle(t);
    auto const& p = triangle.vertices();
    area += 0.5 * ((p[1].value(0) - p[0].value(0)) * (p[2].value(1) - p[0].value(1)) -
                   (p[1].value(1) - p[0].value(1)) * (p[2].value(0) - p[0].value(0)));
  }
  return area;
}

// Random edits on a 12 x 12 jittered grid (288 triangles at the start).
class RandomEdits {
 public:
  explicit RandomEdits(std::uint32_t seed)
      : random_(seed),
        mesh_(test::make_jittered_grid<2>(12, seed, 0.2)),
        builder_(TriangulatedSurfaceBuilder<2>::create(*mesh_)),
        modifier_(*mesh_, *builder_) {
    record_vertices();
  }

  TriangulatedSurface<2> const& mesh() const { return *mesh_; }

  index_t random_triangle() {
    std::uniform_int_distribution<index_t> pick(0, mesh_->nb_polygons() - 1);
    for (;;) {
      const index_t t = pick(random_);
      if (mesh_->is_polygon_active(t)) return t;
    }
  }
  local_index_t random_local() { return std::uniform_int_distribution<int>(0, 2)(random_); }
  double uniform(double low, double high) {
    return std::uniform_real_distribution<double>(low, high)(random_);
  }

  void insert_in_triangle() {
    const index_t t = random_triangle();
    const auto triangle = mesh_->triangle(t);
    const double kind = uniform(0, 1);
    Point<2> point;
    if (kind < 0.6) {
      const double a = uniform(0.05, 0.9);
      const double b = uniform(0.05, 0.95 - a);
      point = combine(triangle, {{a, b, 1 - a - b}});
    } else if (kind < 0.9) {
      const double s = uniform(0.05, 0.95);
      std::array<double, 3> weights{};
      const local_index_t e = random_local();
      weights[e] = 1 - s;
      weights[(e + 1) % 3] = s;
      point = combine(triangle, weights);
    } else {
      const double scale = detail::SNAPPING_RELATIVE_EPSILON * 0.1;
      point = triangle.vertices()[random_local()] + Point<2>{{{scale, -scale}}};
    }
    const index_t nb_triangles = mesh_->nb_polygons();
    const auto result = modifier_.insert_point_in_triangle(t, point);
    ASSERT_NE(result.first, Position::outside) << "triangle " << t << " point " << point;
    if (mesh_->nb_polygons() == nb_triangles) {
      EXPECT_TRUE(result.second.replacing_edges.empty());
      return;
    }
    EXPECT_EQ(mesh_->point(result.second.vertex), point);
    EXPECT_TRUE(test::is_complete_split_record(*mesh_, nb_triangles, result.second.replacing_edges,
                                               result.second.interior_edges));
  }

  void insert_on_edge() {
    const PolygonEdge edge{random_triangle(), random_local()};
    const auto ends = mesh_->polygon_edge_vertices(edge);
    const double s = uniform(0.05, 0.95);
    const Point<2> point = mesh_->point(ends[0]) * (1 - s) + mesh_->point(ends[1]) * s;
    const auto result = modifier_.insert_point_on_edge(edge, point);
    ASSERT_EQ(result.first, Position::inside) << edge << " at " << s;
    EXPECT_EQ(mesh_->polygon_edge_vertices(result.second.second.split_edges.at(0).first),
              (std::array<index_t, 2>{{result.second.vertex, ends[1]}}));
  }

  void collapse() {
    const PolygonEdge edge{random_triangle(), random_local()};
    const auto ends = mesh_->polygon_edge_vertices(edge);
    const int choice = std::uniform_int_distribution<int>(0, 2)(random_);
    const Point<2> target = choice == 2
                                ? (mesh_->point(ends[0]) + mesh_->point(ends[1])) * 0.5
                                : mesh_->point(ends[choice]);
    const auto before = test::snapshot(*mesh_);
    if (!is_collapse_edge_valid(*mesh_, edge, target)) {
      ++refused_;
      EXPECT_EQ(test::snapshot(*mesh_), before);
      return;
    }
    const bool on_border = mesh_->is_edge_on_border(edge);
    const double area = active_area(*mesh_);
    const auto info = modifier_.collapse_edge(edge, target);
    ++collapsed_;
    ASSERT_EQ(info.merged.size(), 1u);
    EXPECT_EQ(info.vertex, ends[choice == 1 ? 1 : 0]);
    EXPECT_EQ(info.merged[0], ends[choice == 1 ? 0 : 1]);
    EXPECT_FALSE(mesh_->associated_polygon_vertex(info.merged[0]));
    // An inner collapse the check allows keeps the covered region.
    if (!on_border) {
      EXPECT_NEAR(active_area(*mesh_), area, 1e-9);
    }
  }

  void clean() {
    modifier_.clean();
    record_vertices();
  }

  // Every vertex recorded since the last clean still translates to a vertex
  // with triangles, at its own point unless a collapse moved or merged it.
  void check_recorded_vertices() const {
    for (const index_t vertex : recorded_) {
      const index_t current = modifier_.updated_vertex(vertex);
      ASSERT_TRUE(mesh_->associated_polygon_vertex(current)) << vertex << " -> " << current;
    }
  }

  int collapsed() const { return collapsed_; }
  int refused() const { return refused_; }

 private:
  void record_vertices() {
    recorded_.clear();
    for (index_t v = 0; v < mesh_->nb_vertices(); ++v) recorded_.push_back(v);
  }

  std::mt19937 random_;
  std::unique_ptr<TriangulatedSurface<2>> mesh_;
  std::unique_ptr<TriangulatedSurfaceBuilder<2>> builder_;
  TriangulatedSurfaceEpsilonModifier<2> modifier_;
  std::vector<index_t> recorded_;
  int collapsed_{0};
  int refused_{0};
};

TEST(RandomEditSequenceTest, InsertionsCollapsesAndCleansKeepThe2DSurfaceValid) {
  for (const std::uint32_t seed : {1u, 2u, 3u}) {
    SCOPED_TRACE(seed);
    RandomEdits edits(seed);
    std::mt19937 choices(seed * 7919u);
    std::uniform_real_distribution<double> kind(0, 1);
    for (int step = 0; step < 400; ++step) {
      SCOPED_TRACE(step);
      const double k = kind(choices);
      if (k < 0.3) {
        edits.insert_in_triangle();
      } else if (k < 0.5) {
        edits.insert_on_edge();
      } else if (k < 0.98) {
        edits.collapse();
      } else {
        edits.clean();
      }
      ASSERT_TRUE(test::is_valid_surface(edits.mesh()));
      edits.check_recorded_vertices();
      if (::testing::Test::HasFatalFailure()) return;
    }
    // The sequence exercised both answers of the collapse check.
    EXPECT_GT(edits.collapsed(), 20);
    EXPECT_GT(edits.refused(), 5);
  }
}

// The same splits and collapses on a 2D grid and on its lift onto a height
// field: the 3D modifier must give the very same triangles, and the 2D
// collapse check stands in for the 3D surface's.
TEST(RandomEditSequenceTest, The3DModifierEditsLikeThe2DOne) {
  for (const std::uint32_t seed : {4u, 5u}) {
    SCOPED_TRACE(seed);
    auto flat = test::make_jittered_grid<2>(10, seed, 0.2);
    auto lifted = test::make_jittered_grid<3>(10, seed, 0.2);
    auto flat_builder = TriangulatedSurfaceBuilder<2>::create(*flat);
    auto lifted_builder = TriangulatedSurfaceBuilder<3>::create(*lifted);
    TriangulatedSurfaceModifier<2> flat_modifier(*flat, *flat_builder);
    TriangulatedSurfaceModifier<3> lifted_modifier(*lifted, *lifted_builder);
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> uniform(0, 1);
    const auto pick_triangle = [&]() {
      for (;;) {
        const auto t = static_cast<index_t>(uniform(random) * flat->nb_polygons());
        if (t < flat->nb_polygons() && flat->is_polygon_active(t)) return t;
      }
    };
    for (int step = 0; step < 300; ++step) {
      SCOPED_TRACE(step);
      const double k = uniform(random);
      if (k < 0.35) {
        const index_t t = pick_triangle();
        const double a = 0.05 + 0.85 * uniform(random);
        const double b = 0.05 + (0.9 - a) * uniform(random);
        const std::array<double, 3> weights{{a, b, 1 - a - b}};
        const auto first = flat_modifier.split_triangle(t, combine(flat->triangle(t), weights));
        const auto second =
            lifted_modifier.split_triangle(t, combine(lifted->triangle(t), weights));
        EXPECT_EQ(first.vertex, second.vertex);
        EXPECT_EQ(first.replacing_edges, second.replacing_edges);
        EXPECT_EQ(first.interior_edges, second.interior_edges);
      } else if (k < 0.97) {
        const PolygonEdge edge{pick_triangle(), static_cast<local_index_t>(uniform(random) * 3)};
        const auto ends = flat->polygon_edge_vertices(edge);
        const bool midpoint = uniform(random) < 0.5;
        const Point<2> target =
            midpoint ? (flat->point(ends[0]) + flat->point(ends[1])) * 0.5 : flat->point(ends[1]);
        if (!is_collapse_edge_valid(*flat, edge, target)) continue;
        const Point<3> lifted_target = midpoint
                                           ? (lifted->point(ends[0]) + lifted->point(ends[1])) * 0.5
                                           : lifted->point(ends[1]);
        const auto first = flat_modifier.collapse_edge(edge, target);
        const auto second = lifted_modifier.collapse_edge(edge, lifted_target);
        EXPECT_EQ(first.vertex, second.vertex);
        EXPECT_EQ(first.merged, second.merged);
      } else {
        flat_modifier.clean();
        lifted_modifier.clean();
      }
      const auto flat_state = test::snapshot(*flat);
      const auto lifted_state = test::snapshot(*lifted);
      ASSERT_EQ(flat_state.triangles, lifted_state.triangles);
      ASSERT_EQ(flat_state.active, lifted_state.active);
      ASSERT_EQ(flat_state.adjacents, lifted_state.adjacents);
      ASSERT_TRUE(test::is_valid_surface(*flat));
      ASSERT_TRUE(test::is_valid_surface(*lifted));
    }
  }
}

}  // namespace
}  // namespace tarnix
