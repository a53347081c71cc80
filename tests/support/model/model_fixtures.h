#pragma once

#include <vector>

#include <ulvane/basic/common.h>
#include <ulvane/basic/uuid.h>
#include <ulvane/model/brep.h>
#include <ulvane/model/section.h>

namespace tarnix {
namespace test {

//! The square [0, 2] x [0, 1] split by the line x = 1 into two surfaces.
//! Each unit square is an n x n grid of counter-clockwise triangle pairs,
//! each unit side of a line has n edges. Every vertex of every mesh is
//! linked to the unique vertex of its position.
//!
//!     c3 --l4-- c4 --l3-- c5
//!     |         |         |
//!     l5  left  l6 right  l2
//!     |         |         |
//!     c0 --l0-- c1 --l1-- c2
//!
//! Lines run from the lower-numbered corner to the other one.
struct TwoSurfaceSection {
  Section section;
  uuid left;
  uuid right;
  //! l6, the line both surfaces share.
  uuid shared_line;
  //! c0 .. c5 as drawn.
  std::vector<uuid> corners;
  //! l0 .. l6 as drawn.
  std::vector<uuid> lines;
};
TwoSurfaceSection make_two_surface_section(index_t n = 2);

//! The square [0, 4] x [0, 4] as one surface (4n x 4n grid), bounded by
//! four lines between the corners c0 (0, 0), c1 (4, 0), c2 (4, 4), c3 (0, 4),
//! holding the internal line from c4 (1, 2) to c5 (3, 2) and the internal
//! corner c6 (2, 3). Every vertex of every mesh is linked to the unique
//! vertex of its position.
struct InternalLineSection {
  Section section;
  uuid surface;
  uuid internal_line;
  uuid internal_corner;
  //! bottom, right, top, left.
  std::vector<uuid> boundary_lines;
  //! c0 .. c6.
  std::vector<uuid> corners;
};
InternalLineSection make_internal_line_section(index_t n = 1);

//! The unit cube: one block bounded by six surfaces (n x n grids of
//! triangle pairs with outward normals), the twelve edges as lines of n
//! edges and the eight vertices as corners. Every vertex of every mesh is
//! linked to the unique vertex of its position; the block mesh is empty.
//! Corner k is at (k & 1, (k >> 1) & 1, (k >> 2) & 1).
struct CubeBRep {
  BRep brep;
  uuid block;
  //! x = 0, x = 1, y = 0, y = 1, z = 0, z = 1.
  std::vector<uuid> surfaces;
  std::vector<uuid> lines;
  std::vector<uuid> corners;
};
CubeBRep make_cube_brep(index_t n = 1);

}  // namespace test
}  // namespace tarnix
