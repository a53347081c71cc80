#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <ulvane/mesh/triangulated_surface.h>

namespace tarnix {
namespace test {

//! Every broken invariant of the surface, one sentence each:
//! - an active triangle that is degenerate or, in 2D, clockwise (exact
//!   orientation predicates);
//! - an adjacency that is not symmetric, whose twin does not run the other
//!   way, or that touches a removed triangle;
//! - an associated corner that is not an active corner of its vertex, or a
//!   vertex with active corners and none associated;
//! - a fan (`polygons_around_vertex`) that misses the associated corner,
//!   repeats a corner, is not closed under turning across the edges at the
//!   vertex, does not turn across the edge leaving each entry, or starts
//!   elsewhere than at the associated corner (closed fan) or the border;
//! - a point count or an attribute storage whose size differs from the
//!   element count.
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
