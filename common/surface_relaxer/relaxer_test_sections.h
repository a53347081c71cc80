#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include <ulvane/basic/common.h>
#include <ulvane/basic/uuid.h>
#include <ulvane/model/section.h>

namespace tarnix {
namespace test {

//! The points and counter-clockwise triangles of a planar mesh, edited
//! before it becomes a surface.
struct PlanarMesh {
  std::vector<std::array<double, 2>> points;
  std::vector<std::array<index_t, 3>> triangles;
};

//! The n x n grid of unit squares over [0, n]^2. Vertex (i, j) is
//! i + (n + 1) j; square (i, j) holds triangles 2(i + n j) = (p00, p10, p11)
//! and 2(i + n j) + 1 = (p00, p11, p01). Interior vertices have six
//! triangles.
//!
//!     p01 --- p11
//!      |  +1 / |
//!      |   /   |
//!      | /  +0 |
//!     p00 --- p10
PlanarMesh grid_mesh(index_t n);

//! Replaces the rising diagonal p00-p11 of square (i, j) by p10-p01, which
//! takes one triangle from p00 and p11 and gives one to p10 and p01.
void flip_square(PlanarMesh& mesh, index_t n, index_t i, index_t j);

//! Moves every point strictly inside (0, size)^2 by up to `amplitude` in
//! each coordinate, reproducibly from the seed, unless that would turn one
//! of its triangles over.
void jitter_interior(PlanarMesh& mesh, double size, double amplitude, std::uint32_t seed);

//! Splits the triangle at its centroid: the new vertex has three triangles.
//! \return the new vertex.
index_t insert_centroid(PlanarMesh& mesh, index_t triangle);

//! Replaces the two triangles of square (i, j) of a `grid_mesh(n)` by four
//! around the mean of its corners: the new vertex has four triangles.
//! \return the new vertex.
index_t insert_square_centre(PlanarMesh& mesh, index_t n, index_t i, index_t j);

//! A Section of one surface meshed by `mesh` over the rectangle
//! [0, width] x [0, height], which must have vertices at the rectangle's
//! four corners. The vertices on its sides lie on four lines (bottom,
//! right, top, left) between four corners at (0, 0), (width, 0),
//! (width, height), (0, height); every vertex of every mesh is linked to
//! the unique vertex of its position.
struct RectangleSection {
  Section section;
  uuid surface;
  std::vector<uuid> lines;
  std::vector<uuid> corners;
};
RectangleSection make_rectangle_section(PlanarMesh const& mesh, double width, double height);

//! Moves every surface vertex that lies on no line and no corner by up to
//! `amplitude` in each coordinate, through the model, reproducibly, where
//! the model allows the move.
void jitter_free_vertices(Section& section, double amplitude, std::uint32_t seed);

}  // namespace test
}  // namespace tarnix
