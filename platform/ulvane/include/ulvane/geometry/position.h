#pragma once

#include <ulvane/geometry/basic_objects.h>
#include <ulvane/geometry/point.h>

namespace tarnix {

//! Where a point, or a contact, lies on a simplex. Segments use vertex0 and
//! vertex1 for their first and second points. Triangle edge i runs from
//! vertex i to vertex i + 1 (mod 3). Tetrahedron edges are named by their two
//! vertices, and facet i is the one opposite vertex i. `parallel` means
//! collinear or coplanar: the objects share a line or a plane.
enum class Position : int {
  outside = 0,
  inside = 1,
  vertex0 = 2,
  vertex1 = 3,
  vertex2 = 4,
  vertex3 = 5,
  edge0 = 6,
  edge1 = 7,
  edge2 = 8,
  edge01 = 9,
  edge02 = 10,
  edge03 = 11,
  edge12 = 12,
  edge13 = 13,
  edge23 = 14,
  facet0 = 15,
  facet1 = 16,
  facet2 = 17,
  facet3 = 18,
  parallel = 19
};

//! The side of a point relative to a segment or a line. Which half-plane is
//! side0 is set by each function below; on_line means exactly on the
//! supporting line.
enum class Side : int { side0 = 0, side1 = 1, on_line = 2 };

//! Side of `point` relative to the directed segment [a, b]:
//! side0 when cross(b − a, point − a) > 0 (the point is on the left),
//! side1 when it is < 0, on_line when it is exactly 0.
//! So the third vertex of a counter-clockwise triangle is on side0 of each of
//! the triangle's directed edges.
Side point_side_to_segment(Point<2> const& point, Segment<2> const& segment);

//! Side of `point` relative to the line through origin o along direction d:
//! side0 when cross(d, point − o) < 0 (the point is on the right of d),
//! side1 when it is > 0, on_line when it is exactly 0 (every point, for a zero
//! direction). This is the mirror of the segment rule: a walk along a line
//! built as perpendicular(start − end) travels against d, and the entry edges
//! it meets then start on side0, as in the segment walk.
Side point_side_to_line(Point<2> const& point, InfiniteLine<2> const& line);

//! Exact position of `point` on the closed segment: vertex0 or vertex1 when it
//! equals an end (vertex0 for a zero-length segment), inside when it lies
//! strictly between them, outside otherwise.
Position point_segment_position(Point<2> const& point, Segment<2> const& segment);

//! Exact position of `point` on the closed triangle, for either orientation:
//! vertex0..vertex2, edge0..edge2 (edge i from vertex i to vertex i + 1,
//! without its ends), inside or outside. A zero-area triangle is the union of
//! its three edges.
Position point_triangle_position(Point<2> const& point, Triangle<2> const& triangle);

}  // namespace tarnix
