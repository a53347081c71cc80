#pragma once

#include <array>
#include <memory>
#include <vector>

#include <ulvane/geometry/point.h>
#include <ulvane/mesh/triangulated_surface.h>
#include <ulvane/mesh/triangulated_surface_builder.h>

namespace tarnix {
namespace test {

//! A surface with the given points and triangles, adjacencies computed.
//! In 3D the points get z = 0 unless given.
template <index_t D>
std::unique_ptr<TriangulatedSurface<D>> make_surface(
    std::vector<std::array<double, D>> const& points,
    std::vector<std::array<index_t, 3>> const& triangles);

//! The n x n grid of unit squares over [0, n]^2 (z = 0 in 3D), each square
//! cut along its rising diagonal into two counter-clockwise triangles.
//! Vertex (i, j) is i + (n + 1) j; square (i, j) holds triangles 2(i + n j)
//! (lower right) and 2(i + n j) + 1 (upper left). For n = 2:
//!
//!     6 --- 7 --- 8
//!     | 5 / | 7 / |
//!     |  /  |  /  |
//!     | / 4 | / 6 |
//!     3 --- 4 --- 5
//!     | 1 / | 3 / |
//!     |  /  |  /  |
//!     | / 0 | / 2 |
//!     0 --- 1 --- 2
template <index_t D>
std::unique_ptr<TriangulatedSurface<D>> make_grid(index_t n);

}  // namespace test
}  // namespace tarnix
