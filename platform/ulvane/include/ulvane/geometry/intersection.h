#pragma once

#include <utility>

#include <absl/types/optional.h>

#include <ulvane/geometry/basic_objects.h>
#include <ulvane/geometry/point.h>
#include <ulvane/geometry/position.h>

namespace tarnix {

//! How two objects meet: not at all, at exactly one point, or along a line
//! piece or a plane region (parallel).
enum class IntersectionType : int { none = 0, intersect = 1, parallel = 2 };

//! An intersection: `result` holds the point when `type` is intersect.
template <typename T>
struct IntersectionResult {
  IntersectionType type = IntersectionType::none;
  absl::optional<T> result;
};

//! Where the line meets the closed segment [p0, p1], decided exactly:
//! outside (no contact), inside (the line crosses the segment's interior),
//! vertex0 / vertex1 (the line passes through p0 / p1) or parallel (the whole
//! segment lies on the line; always so for a zero direction).
Position segment_line_intersection_detection(Segment<2> const& segment,
                                             InfiniteLine<2> const& line);

//! Exact contact of two closed segments s and w. The first member is relative
//! to s, the second to w. When the segments are not collinear, each member
//! says where the other segment's supporting line meets this segment
//! (outside, inside, vertex0, vertex1), so both are non-zero exactly when the
//! segments share a point, and a line that meets only one of them gives one
//! zero. Collinear segments give {parallel, parallel} when they overlap
//! along a piece of positive length, the positions of the contact point when
//! they touch at one point, and {outside, outside} when they are disjoint.
std::pair<Position, Position> segment_segment_intersection_detection(
    Segment<2> const& s, Segment<2> const& w);

//! Exact contact of a closed segment and a closed triangle. The first member
//! is relative to the segment, the second to the triangle. A segment lying in
//! the triangle's plane (or any segment, for a zero-area triangle) gives
//! {parallel, parallel}, whether or not they touch; so does a segment that is
//! an edge of the triangle. Otherwise, when the segment meets the triangle:
//! first = inside (through the segment's interior), vertex0 or vertex1 (at an
//! end of the segment); second = inside, edge0..edge2 or vertex0..vertex2 of
//! the triangle. No contact gives {outside, outside}. A segment crossing the
//! triangle's interior with its own interior gives {inside, inside}; touching
//! at a shared vertex gives vertex positions only.
std::pair<Position, Position> segment_triangle_intersection_detection(
    Segment<3> const& segment, Triangle<3> const& triangle);

//! The point where the line meets the closed segment. Type intersect with the
//! point when the detection finds one point (an end exactly when the line goes
//! through it), parallel when the segment lies on the line, none otherwise.
IntersectionResult<Point<2>> segment_line_intersection(Segment<2> const& segment,
                                                       InfiniteLine<2> const& line);

//! The point shared by two closed segments: type intersect when they meet at
//! exactly one point (an end exactly when the contact is at an end), parallel
//! when they overlap along a piece, none otherwise.
IntersectionResult<Point<2>> segment_segment_intersection(Segment<2> const& s,
                                                          Segment<2> const& w);

//! The point where the line meets the closed triangle: type intersect with the
//! point (a vertex exactly when the line goes through it), parallel when the
//! line's direction is parallel to the triangle's plane, the triangle has zero
//! area or the direction is zero, none when the line passes beside it.
IntersectionResult<Point<3>> line_triangle_intersection(InfiniteLine<3> const& line,
                                                        Triangle<3> const& triangle);

}  // namespace tarnix
