#pragma once

// Random BRep inputs of the 3D pipeline: jittered triangulated sheets that
// cross each other, surfaces duplicated in whole or in part, closed boxes,
// and an input with a polygonal surface.

#include <array>

#include <absl/types/span.h>

#include <ulvane/basic/common.h>
#include <ulvane/basic/uuid.h>
#include <ulvane/model/brep.h>

#include "section_generator.h"

namespace tarnix {
namespace stress {

struct GeneratedBRep {
  BRep brep;
  index_t nb_triangles{0};
  //! Width of the region the surfaces fill.
  double size{1.0};
  //! Whether some input surfaces cross or overlap each other, so that the
  //! repair cannot take every output surface apart (it splits on them).
  bool inputs_cross{false};
};

//! The number of polygons of the surface meshes.
index_t nb_triangles(BRep const& brep);

//! An orthonormal frame: sheets are drawn in its (u, v) plane.
struct Frame {
  std::array<double, 3> origin{{0.0, 0.0, 0.0}};
  std::array<double, 3> u{{1.0, 0.0, 0.0}};
  std::array<double, 3> v{{0.0, 1.0, 0.0}};
  std::array<double, 3> normal{{0.0, 0.0, 1.0}};

  //! A frame turned by a random rotation and moved by up to `shift` along
  //! each axis.
  static Frame random(Choices& choices, double shift);
  //! This frame turned by `angle` (radians) about the axis through its
  //! origin along cos(a) u + sin(a) v.
  Frame tilted(double angle, double a) const;
};

//! What `add_sheet` draws.
struct SheetOptions {
  //! The sheet is the n x n grid of triangle pairs over [-1, 1]^2.
  index_t cells{8};
  //! Largest move of an interior vertex within the plane, in cells (< 0.5).
  double jitter{0.2};
  //! Largest move of an interior vertex along the normal, in cells.
  double bump{0.0};
};

//! Adds a jittered sheet in the frame's (u, v) plane. Vertex v is linked to
//! unique_vertices[v] when given, else to a new unique vertex.
//! \return the surface id.
uuid add_sheet(GeneratedBRep& generated, Choices& choices, Frame const& frame,
               SheetOptions const& options, absl::Span<index_t const> unique_vertices = {});

//! Two or three sheets through each other at random angles, each coarse or
//! fine; with `tiny_angle`, two nearly parallel sheets crossing at an angle
//! between 1e-6 and 1e-2 radians.
struct CrossingOptions {
  index_t min_sheets{2};
  index_t max_sheets{3};
  index_t coarse_cells{3};
  index_t fine_cells{40};
  bool tiny_angle{false};
};
GeneratedBRep generate_crossing_sheets(Choices& choices, CrossingOptions const& options);

//! A jittered sheet and, depending on the kind:
enum class Duplicate {
  //! a copy linked to the same unique vertices;
  shared_copy,
  //! a copy with its own unique vertices;
  unlinked_copy,
  //! a copy moved within the plane by part of its width;
  partial_copy,
  //! a copy moved by 1e-9 of its width along a random direction;
  shifted_copy,
  //! a strip of triangles standing on a row of its grid edges (an interior
  //! row or its border), linked to the row's unique vertices.
  fin,
};
constexpr index_t NB_DUPLICATES = 5;
GeneratedBRep generate_duplicated_surfaces(Choices& choices, Duplicate kind, index_t cells);

//! A unit cube (or a row of two or three unit boxes) of n x n grids per
//! face, whose face interiors are jittered by up to `jitter` cells; with
//! `with_sheet`, a free jittered sheet cuts through the boxes, so that the
//! repair splits box edges on their lines.
GeneratedBRep generate_boxes(Choices& choices, index_t cells, double jitter,
                             bool with_sheet = false);

//! Small or empty parts, by kind: 0, a block bounded by two one-triangle
//! surfaces over the same three unique vertices (too few triangles to mesh);
//! 1, a tetrahedron block of four one-triangle surfaces; 2, a sheet and a
//! surface without triangles.
constexpr index_t NB_SMALL_KINDS = 3;
GeneratedBRep generate_small_parts(Choices& choices, index_t kind);

//! Moves every vertex of every corner, line and surface to p * factor.
void scale(GeneratedBRep& generated, double factor);

//! Replaces the mesh of the surface by a polygonal surface of quadrangles
//! over the same points (its triangles paired up where they can be).
void make_polygonal(BRep& brep, uuid const& surface);

}  // namespace stress
}  // namespace tarnix
