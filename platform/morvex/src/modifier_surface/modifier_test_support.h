#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include <ulvane/mesh/triangulated_surface.h>
#include <ulvane/mesh/triangulated_surface_builder.h>

#include <morvex/modifier_surface/surface_edit_records.h>

namespace tarnix {
namespace test {

//! The n x n grid of `make_grid` with its inner vertices moved by up to
//! `amount` in x and y (amount < 0.25 keeps every triangle positive); in 3D
//! the surface is lifted onto a smooth height field.
template <index_t D>
std::unique_ptr<TriangulatedSurface<D>> make_jittered_grid(index_t n, std::uint32_t seed,
                                                           double amount);

//! Everything an edit could change, for "nothing changed" checks.
struct SurfaceSnapshot {
  std::vector<std::vector<double>> points;
  std::vector<std::array<index_t, 3>> triangles;
  std::vector<bool> active;
  std::vector<std::array<index_t, 3>> adjacents;
  friend bool operator==(SurfaceSnapshot const& a, SurfaceSnapshot const& b) {
    return a.points == b.points && a.triangles == b.triangles && a.active == b.active &&
           a.adjacents == b.adjacents;
  }
};
template <index_t D>
SurfaceSnapshot snapshot(TriangulatedSurface<D> const& mesh);

//! Checks a split record against the surface right after the edit that made
//! it, when the triangles from `first_new_triangle` on are the new ones:
//! every polygon edge of a new triangle is listed exactly once; an edge
//! paired with an old edge lies on that old edge's segment with the same
//! direction, and that old edge belongs to a removed triangle; an edge
//! paired with `PolygonEdge{}` lies on no edge of a triangle the record divides.
//! "Lies on" allows the snapping tolerance of the largest divided triangle
//! (a point that close to an edge splits that edge); "lies on no edge" is
//! exact, since in a sliver every edge is that close to the others.
template <index_t D>
::testing::AssertionResult is_complete_split_record(TriangulatedSurface<D> const& mesh,
                                                    index_t first_new_triangle,
                                                    PolygonEdgePairs const& replacing,
                                                    PolygonEdgePairs const& interior);

}  // namespace test
}  // namespace tarnix
