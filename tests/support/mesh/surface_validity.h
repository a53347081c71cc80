#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <ulvane/mesh/triangulated_surface.h>

namespace tarnix {
namespace test {

//! Every broken invariant of the surface, one sentence each: an active
//! triangle that is degenerate or (2D) clockwise, an adjacency that is not
//! symmetric or touches a removed triangle, an associated corner that is not
//! an active corner of its vertex (or missing), a fan that does not hold the
//! associated corner or repeats a triangle, and element counts that differ
//! from the attribute registries'.
template <index_t D>
std::vector<std::string> surface_problems(TriangulatedSurface<D> const& surface);

//! Success when `surface_problems` finds nothing, else the list.
template <index_t D>
::testing::AssertionResult is_valid_surface(TriangulatedSurface<D> const& surface);

//! Adds a GoogleTest failure listing the problems, if any.
template <index_t D>
void expect_valid_surface(TriangulatedSurface<D> const& surface) {
  EXPECT_TRUE(is_valid_surface(surface));
}

}  // namespace test
}  // namespace tarnix
