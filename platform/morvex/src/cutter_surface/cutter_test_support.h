#pragma once

#include <memory>
#include <vector>

#include <absl/types/optional.h>
#include <gtest/gtest.h>

#include <morvex/cutter_surface.h>
#include <ulvane/mesh/triangulated_surface.h>
#include <ulvane/mesh/triangulated_surface_builder.h>

namespace tarnix {
namespace test {

//! The grid of `make_grid<2>(n)` with every vertex moved by a random offset
//! of at most `jitter` in each coordinate (fixed seed), which keeps every
//! triangle counter-clockwise for jitter up to 0.2.
std::unique_ptr<TriangulatedSurface<2>> make_jittered_grid(index_t n, double jitter,
                                                           unsigned int seed);

//! Vertex (i, j) of an n x n grid.
inline index_t grid_vertex(index_t n, index_t i, index_t j) { return i + (n + 1) * j; }

//! A surface with its builder and the polygon attribute "parent", which
//! holds each triangle's own index and is derivable: a piece of a divided
//! triangle carries the index of the triangle it came from.
struct CutFixture {
  explicit CutFixture(std::unique_ptr<TriangulatedSurface<2>> mesh);

  std::unique_ptr<TriangulatedSurface<2>> surface;
  std::unique_ptr<TriangulatedSurfaceBuilder<2>> builder;
};

//! One straight cut from a to b and what it gave.
struct StraightCut {
  std::vector<GeometricSurfacePath<2>> cuts;
  SurfaceCutPathInfo info;
};

//! Sets the "parent" of every triangle to its own index.
void number_parents(CutFixture& fixture);

//! Walks the segment a-b, determines its cuts and cuts the surface.
//! Empty when there is no straight path.
absl::optional<StraightCut> cut_straight(CutFixture& fixture, index_t a, index_t b);

//! Checks the result of one cut against the surface before it:
//! - the created vertices are appended, have NO_ID origins and lie on the
//!   edges their cut items name; no existing vertex moved or renumbered;
//! - a chain of edges runs from a to b through exactly the cut's points;
//! - the third list holds, in chain order, the b-to-a polygon edge of every
//!   chain edge that has one, the second list its a-to-b polygon edge, so
//!   that each chain edge gets exactly one mark (third, or second on the
//!   border); the first list holds every other new polygon edge;
//! - every replaced edge is a pre-cut polygon edge that the new edge lies on
//!   (same direction), and every edge of a divided triangle is replaced;
//! - the divided triangles are inactive, the pieces appended, each keeping
//!   its parent's vertex order, and they cover the divided triangles' area;
//!   the surface is valid (when asked).
::testing::AssertionResult is_sound_cut(TriangulatedSurface<2> const& before,
                                        TriangulatedSurface<2> const& after, index_t a, index_t b,
                                        std::vector<GeometricSurfacePath<2>> const& cuts,
                                        SurfaceCutPathInfo const& info, bool check_validity = true);

//! The total area of the active triangles.
double active_area(TriangulatedSurface<2> const& surface);

}  // namespace test
}  // namespace tarnix
