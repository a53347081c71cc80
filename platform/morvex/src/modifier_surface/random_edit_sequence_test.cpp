#include <morvex/modifier_surface/triangulated_surface_epsilon_modifier.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <random>

#include <absl/container/flat_hash_set.h>
#include <gtest/gtest.h>

#include <ulvane/geometry/predicates.h>
#include <ulvane/geometry/vector.h>

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
    const auto triangle = mesh.triangle(t);
    auto const& p = triangle.vertices();
    area += 0.5 * ((p[1].value(0) - p[0].value(0)) * (p[2].value(1) - p[0].value(1)) -
                   (p[1].value(1) - p[0].value(1)) * (p[2].value(0) - p[0].value(0)));
  }
  return area;
}

index_t nb_active(TriangulatedSurface<2> const& mesh) {
  index_t count = 0;
  for (index_t t = 0; t < mesh.nb_polygons(); ++t) count += mesh.is_polygon_active(t);
  return count;
}

bool is_on_border(TriangulatedSurface<2> const& mesh, index_t vertex) {
  const auto fan = mesh.polygons_around_vertex(vertex);
  return !fan.empty() &&
         mesh.is_edge_on_border(mesh.previous_polygon_edge(PolygonEdge{fan.front()}));
}

bool is_strictly_inside(TriangulatedSurface<2> const& mesh, index_t triangle,
                        Point<2> const& point) {
  for (local_index_t e = 0; e < 3; ++e) {
    const auto ends = mesh.polygon_edge_vertices({triangle, e});
    if (orientation_2d(mesh.point(ends[0]), mesh.point(ends[1]), point) != Sign::positive) {
      return false;
    }
  }
  return true;
}

// Whether splitting the edge at the point keeps every piece of the edge's
// triangles counter-clockwise.
bool split_keeps_orientation(TriangulatedSurface<2> const& mesh, PolygonEdge const& edge,
                             Point<2> const& point) {
  absl::InlinedVector<PolygonEdge, 2> sides{edge};
  if (const auto twin = mesh.polygon_adjacent_edge(edge)) sides.push_back(*twin);
  for (auto const& side : sides) {
    const auto ends = mesh.polygon_edge_vertices(side);
    const Point<2>& opposite =
        mesh.point(mesh.polygon_vertex(mesh.previous_polygon_vertex(PolygonVertex{side})));
    if (orientation_2d(mesh.point(ends[0]), point, opposite) != Sign::positive ||
        orientation_2d(point, mesh.point(ends[1]), opposite) != Sign::positive) {
      return false;
    }
  }
  return true;
}

// Random edits of a jittered grid through the epsilon modifier, each one
// checked against what it must have done. The random choices come from a
// fixed seed, so a failure names a reproducible step.
class RandomEdits {
 public:
  RandomEdits(index_t grid_size, std::uint32_t seed)
      : random_(seed),
        mesh_(test::make_jittered_grid<2>(grid_size, seed, 0.2)),
        builder_(TriangulatedSurfaceBuilder<2>::create(*mesh_)),
        modifier_(*mesh_, *builder_),
        area_(active_area(*mesh_)) {
    record_vertices();
  }

  TriangulatedSurface<2> const& mesh() const { return *mesh_; }
  double area() const { return area_; }

  // A uniformly drawn active triangle (the scan after many misses keeps the
  // draw finite on surfaces with few active triangles left).
  index_t random_triangle() {
    std::uniform_int_distribution<index_t> pick(0, mesh_->nb_polygons() - 1);
    for (int attempt = 0; attempt < 1000; ++attempt) {
      const index_t t = pick(random_);
      if (mesh_->is_polygon_active(t)) return t;
    }
    for (index_t t = 0; t < mesh_->nb_polygons(); ++t) {
      if (mesh_->is_polygon_active(t)) return t;
    }
    ADD_FAILURE() << "no active triangle left";
    return 0;
  }
  local_index_t random_local() { return std::uniform_int_distribution<int>(0, 2)(random_); }
  double uniform(double low, double high) {
    return std::uniform_real_distribution<double>(low, high)(random_);
  }

  // A point inside the triangle, on one of its edges, within the snapping
  // tolerance of one of its vertices, or within it of an edge's line.
  void insert_in_triangle() {
    const index_t t = random_triangle();
    const auto triangle = mesh_->triangle(t);
    const double kind = uniform(0, 1);
    double longest = 0.0;
    for (local_index_t e = 0; e < 3; ++e) longest = std::max(longest, mesh_->edge_length({t, e}));
    const double near = 0.5 * detail::SNAPPING_RELATIVE_EPSILON * longest;
    Point<2> point;
    if (kind < 0.5) {
      const double a = uniform(0.05, 0.9);
      const double b = uniform(0.05, 0.95 - a);
      point = combine(triangle, {{a, b, 1 - a - b}});
    } else if (kind < 0.8) {
      const double s = uniform(0.05, 0.95);
      std::array<double, 3> weights{};
      const local_index_t e = random_local();
      weights[e] = 1 - s;
      weights[(e + 1) % 3] = s;
      point = combine(triangle, weights);
      if (kind > 0.7) point = point + Point<2>{{{near, -near}}};
    } else {
      point = triangle.vertices()[random_local()] + Point<2>{{{near, -near}}};
    }
    const index_t nb_triangles = mesh_->nb_polygons();
    const auto before = test::snapshot(*mesh_);

    const auto result = modifier_.insert_point_in_triangle(t, point);

    auto const& info = result.second;
    const int position = static_cast<int>(result.first);
    if (position >= static_cast<int>(Position::vertex0) &&
        position <= static_cast<int>(Position::vertex2)) {
      const auto local = static_cast<local_index_t>(position - static_cast<int>(Position::vertex0));
      EXPECT_EQ(info.vertex, mesh_->polygon_vertex({t, local}));
      EXPECT_TRUE(info.replacing_edges.empty());
      EXPECT_EQ(test::snapshot(*mesh_), before);
      return;
    }
    if (result.first == Position::outside) {
      // Only a point that rounding put outside a sliver, and beyond the
      // slivers around it, finds no triangle to split.
      EXPECT_FALSE(is_strictly_inside(*mesh_, t, point)) << "triangle " << t << " point " << point;
      EXPECT_EQ(info.vertex, NO_ID);
      EXPECT_EQ(test::snapshot(*mesh_), before);
      return;
    }
    EXPECT_EQ(mesh_->point(info.vertex), point);
    EXPECT_EQ(info.vertex, before.points.size()) << "a new vertex is appended";
    EXPECT_TRUE(test::is_complete_split_record(*mesh_, nb_triangles, info.replacing_edges,
                                               info.interior_edges));
    expect_area_kept();
  }

  // A point on a random edge, as computed on its segment: it splits the
  // edge unless that would invert a triangle (the edge's triangles may have
  // become slivers through collapses), or meets a vertex within tolerance.
  void insert_on_edge() {
    const PolygonEdge edge{random_triangle(), random_local()};
    const auto ends = mesh_->polygon_edge_vertices(edge);
    const double s = uniform(0.05, 0.95);
    const Point<2> point = mesh_->point(ends[0]) * (1 - s) + mesh_->point(ends[1]) * s;
    const index_t nb_triangles = mesh_->nb_polygons();
    const auto before = test::snapshot(*mesh_);
    const bool splittable = split_keeps_orientation(*mesh_, edge, point);

    const auto result = modifier_.insert_point_on_edge(edge, point);

    auto const& info = result.second;
    if (result.first == Position::outside) {
      EXPECT_FALSE(splittable) << edge << " at " << s;
      EXPECT_EQ(info.vertex, NO_ID);
      EXPECT_EQ(test::snapshot(*mesh_), before);
      return;
    }
    if (result.first != Position::inside) {
      EXPECT_LE(Vector<2>(mesh_->point(info.vertex), point).length(),
                detail::SNAPPING_RELATIVE_EPSILON * mesh_->edge_length(edge));
      EXPECT_EQ(test::snapshot(*mesh_), before);
      return;
    }
    EXPECT_TRUE(splittable);
    EXPECT_EQ(mesh_->point(info.vertex), point);
    EXPECT_EQ(mesh_->polygon_edge_vertices(info.first.split_edges.at(0).first),
              (std::array<index_t, 2>{{ends[0], info.vertex}}));
    EXPECT_EQ(mesh_->polygon_edge_vertices(info.second.split_edges.at(0).first),
              (std::array<index_t, 2>{{info.vertex, ends[1]}}));
    PolygonEdgePairs replacing;
    PolygonEdgePairs interior;
    for (auto const* group : {&info.first, &info.second}) {
      replacing.insert(replacing.end(), group->split_edges.begin(), group->split_edges.end());
      replacing.insert(replacing.end(), group->replacing_edges.begin(),
                       group->replacing_edges.end());
      interior.insert(interior.end(), group->interior_edges.begin(), group->interior_edges.end());
    }
    EXPECT_TRUE(test::is_complete_split_record(*mesh_, nb_triangles, replacing, interior));
    expect_area_kept();
  }

  void split_triangle() {
    const index_t t = random_triangle();
    const double a = uniform(0.1, 0.8);
    const double b = uniform(0.1, 0.9 - a);
    const Point<2> point = combine(mesh_->triangle(t), {{a, b, 1 - a - b}});
    // Rounding can put the point of a sliver on or beyond an edge; the
    // split then refuses it.
    if (!is_strictly_inside(*mesh_, t, point)) return;
    const index_t nb_triangles = mesh_->nb_polygons();
    const auto info = modifier_.split_triangle(t, point);
    EXPECT_FALSE(mesh_->is_polygon_active(t));
    EXPECT_EQ(mesh_->nb_polygons(), nb_triangles + 3);
    EXPECT_TRUE(test::is_complete_split_record(*mesh_, nb_triangles, info.replacing_edges,
                                               info.interior_edges));
    expect_area_kept();
  }

  // A random edge onto one of its ends or its midpoint: refused collapses
  // change nothing, allowed ones keep the region unless a border vertex
  // moves.
  void collapse() {
    const PolygonEdge edge{random_triangle(), random_local()};
    const auto ends = mesh_->polygon_edge_vertices(edge);
    const int choice = std::uniform_int_distribution<int>(0, 2)(random_);
    const Point<2> target = choice == 2 ? (mesh_->point(ends[0]) + mesh_->point(ends[1])) * 0.5
                                        : mesh_->point(ends[choice]);
    const auto before = test::snapshot(*mesh_);
    if (!is_collapse_edge_valid(*mesh_, edge, target)) {
      ++refused_;
      EXPECT_EQ(test::snapshot(*mesh_), before);
      return;
    }
    const bool keeps_region =
        !mesh_->is_edge_on_border(edge) &&
        std::none_of(ends.begin(), ends.end(), [&](index_t end) {
          return is_on_border(*mesh_, end) && mesh_->point(end) != target;
        });
    const index_t active = nb_active(*mesh_);
    const index_t removed = mesh_->is_edge_on_border(edge) ? 1 : 2;

    const auto info = modifier_.collapse_edge(edge, target);

    ++collapsed_;
    const local_index_t kept = choice == 1 ? 1 : 0;
    EXPECT_EQ(info.vertex, ends[kept]);
    EXPECT_EQ(mesh_->point(info.vertex), target);
    ASSERT_EQ(info.merged.size(), 1u);
    EXPECT_EQ(info.merged[0], ends[1 - kept]);
    EXPECT_FALSE(mesh_->associated_polygon_vertex(info.merged[0]));
    EXPECT_EQ(modifier_.updated_vertex(info.merged[0]), info.vertex);
    EXPECT_EQ(nb_active(*mesh_), active - removed);
    if (keeps_region) {
      expect_area_kept();
    } else {
      area_ = active_area(*mesh_);
    }
  }

  void clean() {
    const index_t active = nb_active(*mesh_);
    modifier_.clean();
    EXPECT_EQ(mesh_->nb_polygons(), active);
    record_vertices();
  }

  void clean_triangles() {
    const index_t active = nb_active(*mesh_);
    const index_t nb_vertices = mesh_->nb_vertices();
    modifier_.clean_triangles();
    EXPECT_EQ(mesh_->nb_polygons(), active);
    EXPECT_EQ(mesh_->nb_vertices(), nb_vertices);
  }

  // Every vertex recorded since the last clean still translates to a vertex
  // with triangles.
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
  void expect_area_kept() {
    const double area = active_area(*mesh_);
    EXPECT_NEAR(area, area_, 1e-12 * area_);
    area_ = area;
  }

  std::mt19937 random_;
  std::unique_ptr<TriangulatedSurface<2>> mesh_;
  std::unique_ptr<TriangulatedSurfaceBuilder<2>> builder_;
  TriangulatedSurfaceEpsilonModifier<2> modifier_;
  double area_;
  std::vector<index_t> recorded_;
  int collapsed_{0};
  int refused_{0};
};

TEST(RandomEditSequenceTest, InsertionsSplitsCollapsesAndCleansKeepThe2DSurfaceValid) {
  for (const std::uint32_t seed : {1u, 2u, 3u}) {
    SCOPED_TRACE(seed);
    RandomEdits edits(12, seed);
    std::mt19937 choices(seed * 7919u);
    std::uniform_real_distribution<double> kind(0, 1);
    for (int step = 0; step < 1000; ++step) {
      SCOPED_TRACE(step);
      const double k = kind(choices);
      if (k < 0.25) {
        edits.insert_in_triangle();
      } else if (k < 0.4) {
        edits.insert_on_edge();
      } else if (k < 0.5) {
        edits.split_triangle();
      } else if (k < 0.98) {
        edits.collapse();
      } else if (k < 0.99) {
        edits.clean_triangles();
      } else {
        edits.clean();
      }
      ASSERT_TRUE(test::is_valid_surface(edits.mesh()));
      edits.check_recorded_vertices();
      if (::testing::Test::HasFailure()) return;
    }
    // The sequence exercised both answers of the collapse check.
    EXPECT_GT(edits.collapsed(), 100);
    EXPECT_GT(edits.refused(), 20);
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
    for (int step = 0; step < 800; ++step) {
      SCOPED_TRACE(step);
      const double k = uniform(random);
      if (k < 0.35) {
        const index_t t = pick_triangle();
        const double a = 0.1 + 0.8 * uniform(random);
        const double b = 0.1 + (0.8 - a) * uniform(random);
        const std::array<double, 3> weights{{a, b, 1 - a - b}};
        const Point<2> point = combine(flat->triangle(t), weights);
        if (!is_strictly_inside(*flat, t, point)) continue;
        const auto first = flat_modifier.split_triangle(t, point);
        const auto second =
            lifted_modifier.split_triangle(t, combine(lifted->triangle(t), weights));
        EXPECT_EQ(first.vertex, second.vertex);
        EXPECT_EQ(first.replacing_edges, second.replacing_edges);
        EXPECT_EQ(first.interior_edges, second.interior_edges);
        EXPECT_EQ(lifted->point(second.vertex), combine(lifted->triangle(t), weights));
      } else if (k < 0.96) {
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
        EXPECT_EQ(lifted->point(second.vertex), lifted_target);
        EXPECT_EQ(lifted_modifier.updated_vertex(ends[0]), second.vertex);
        EXPECT_EQ(lifted_modifier.updated_vertex(ends[1]), second.vertex);
      } else if (k < 0.98) {
        flat_modifier.clean_triangles();
        lifted_modifier.clean_triangles();
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

// About 50 000 triangles: 30 000 insertions and as many attempted
// region-keeping collapses, the surface checked at the end and after a
// clean. Every edit costs O(valence), so the run takes a fraction of a second
// in an optimised build.
TEST(LargeSurfaceEditTest, ManyInsertionsAndCollapsesKeepTheSurfaceAndItsArea) {
  auto mesh = test::make_jittered_grid<2>(160, 11, 0.2);  // 51 200 triangles
  auto builder = TriangulatedSurfaceBuilder<2>::create(*mesh);
  TriangulatedSurfaceEpsilonModifier<2> modifier(*mesh, *builder);
  const double area = active_area(*mesh);
  std::mt19937 random(11);
  std::uniform_real_distribution<double> uniform(0, 1);
  const auto pick_triangle = [&]() {
    for (;;) {
      const auto t = static_cast<index_t>(uniform(random) * mesh->nb_polygons());
      if (t < mesh->nb_polygons() && mesh->is_polygon_active(t)) return t;
    }
  };
  const auto start = std::chrono::steady_clock::now();

  index_t active = mesh->nb_polygons();
  int collapsed = 0;
  int missed = 0;
  for (int step = 0; step < 60000; ++step) {
    const PolygonEdge edge{pick_triangle(), static_cast<local_index_t>(step / 2 % 3)};
    const auto ends = mesh->polygon_edge_vertices(edge);
    const Point<2> p0 = mesh->point(ends[0]);
    const Point<2> p1 = mesh->point(ends[1]);
    const bool on_border = mesh->is_edge_on_border(edge);
    if (step % 4 == 0) {
      const auto triangle = mesh->triangle(edge.polygon_id);
      const auto& p = triangle.vertices();
      const double a = 0.1 + 0.7 * uniform(random);
      const double b = 0.1 + (0.8 - a) * uniform(random);
      const index_t nb_triangles = mesh->nb_polygons();
      const Point<2> point = p[0] * a + p[1] * b + p[2] * (1 - a - b);
      const bool inside = is_strictly_inside(*mesh, edge.polygon_id, point);
      const auto result = modifier.insert_point_in_triangle(edge.polygon_id, point);
      if (result.first == Position::outside) {
        ASSERT_FALSE(inside) << step;
        ++missed;
        continue;
      }
      absl::flat_hash_set<index_t> divided;
      for (auto const& pair : result.second.replacing_edges) divided.insert(pair.second.polygon_id);
      active += mesh->nb_polygons() - nb_triangles - static_cast<index_t>(divided.size());
    } else if (step % 4 == 2) {
      const double s = 0.1 + 0.8 * uniform(random);
      const auto result = modifier.insert_point_on_edge(edge, p0 * (1 - s) + p1 * s);
      if (result.first == Position::inside) active += on_border ? 1 : 2;
    } else {
      // Onto an end, or the midpoint when no end lies on the border; an
      // edge with both ends on the border would change the region.
      const bool border0 = is_on_border(*mesh, ends[0]);
      const bool border1 = is_on_border(*mesh, ends[1]);
      if (on_border || (border0 && border1)) continue;
      const Point<2> target = border0 ? p0 : border1 || uniform(random) < 0.5 ? p1 : (p0 + p1) * 0.5;
      if (!is_collapse_edge_valid(*mesh, edge, target)) continue;
      modifier.collapse_edge(edge, target);
      active -= 2;
      ++collapsed;
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  RecordProperty("edit_seconds", std::to_string(seconds));

  EXPECT_GT(collapsed, 10000);
  EXPECT_LT(missed, 20);
  EXPECT_EQ(nb_active(*mesh), active);
  EXPECT_NEAR(active_area(*mesh), area, 1e-9 * area);
  EXPECT_TRUE(test::is_valid_surface(*mesh));
  modifier.clean();
  EXPECT_EQ(mesh->nb_polygons(), active);
  EXPECT_NEAR(active_area(*mesh), area, 1e-9 * area);
  EXPECT_TRUE(test::is_valid_surface(*mesh));
  for (index_t v = 0; v < mesh->nb_vertices(); ++v) {
    ASSERT_TRUE(mesh->associated_polygon_vertex(v)) << "vertex " << v << " has no triangle";
  }
}

}  // namespace
}  // namespace tarnix
