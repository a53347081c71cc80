#pragma once

// Small BRep models for the tests and benchmarks of the BRep pipeline.

#include <array>
#include <cstdint>
#include <vector>

#include <absl/types/span.h>

#include <ulvane/basic/common.h>
#include <ulvane/basic/uuid.h>
#include <ulvane/geometry/point.h>
#include <ulvane/model/brep.h>

namespace tarnix {
namespace test {

//! Adds a surface with the given triangles to the model. Vertex v is
//! linked to unique_vertices[v] when that is given and not NO_ID, else to
//! a new unique vertex. \return the surface id.
uuid add_triangulated_surface(BRep& brep, absl::Span<Point<3> const> points,
                              absl::Span<std::array<index_t, 3> const> triangles,
                              absl::Span<index_t const> unique_vertices = {});

//! A row of unit cubes along x: block b is [b, b + 1] x [0, 1] x [0, 1],
//! and the square x = b + 1 is one surface shared by blocks b and b + 1.
//! Every face is an n x n grid of triangle pairs (outer faces facing out,
//! shared ones along +x), every box edge a line of n edges, every box
//! vertex a corner. Vertices at one place share one unique vertex.
struct BoxRowBRep {
  BRep brep;
  std::vector<uuid> blocks;
  //! The squares x = 1, ..., nb_blocks - 1 between two blocks.
  std::vector<uuid> shared_surfaces;
};
BoxRowBRep make_box_row_brep(index_t nb_blocks, index_t n);

//! Moves every surface vertex that lies on no line and no corner within its
//! (axis-aligned, planar) surface, by up to `amplitude` along each of the
//! two axes of the surface's plane.
void jitter_surface_interiors(BRep& brep, double amplitude, std::uint32_t seed);

}  // namespace test
}  // namespace tarnix
