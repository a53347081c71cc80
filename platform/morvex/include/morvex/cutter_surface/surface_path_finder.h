#pragma once

#include <ulvane/basic/common.h>
#include <ulvane/geometry/basic_objects.h>
#include <ulvane/mesh/mesh_handles.h>
#include <ulvane/mesh/triangulated_surface.h>

namespace tarnix {

//! The base of the walks across a triangulated surface: it holds the
//! surface walked. A base only: no virtual function, and the destructor is
//! protected so that nobody deletes a walk through it.
template <index_t D>
class SurfacePathFinder {
 public:
  explicit SurfacePathFinder(TriangulatedSurface<D> const& surface) : surface_(surface) {}
  SurfacePathFinder(SurfacePathFinder const&) = delete;
  SurfacePathFinder& operator=(SurfacePathFinder const&) = delete;

  //! The surface walked.
  TriangulatedSurface<D> const& surface() const { return surface_; }

  //! The segment of a polygon edge, from its vertex 0 to its vertex 1.
  Segment<D> edge_segment(PolygonEdge const& edge) const {
    const auto vertices = surface_.polygon_edge_vertices(edge);
    return {surface_.point(vertices[0]), surface_.point(vertices[1])};
  }

 protected:
  ~SurfacePathFinder() = default;

 private:
  TriangulatedSurface<D> const& surface_;
};

//! The base of the walks along the segment between two vertices of a
//! surface: it holds the two vertices and the segment from the first to the
//! second. Derived walks add the stepping rules.
template <index_t D>
class SurfaceSegmentFinder : public SurfacePathFinder<D> {
 public:
  //! \pre `begin` and `end` are vertices of the surface.
  SurfaceSegmentFinder(TriangulatedSurface<D> const& surface, index_t begin, index_t end)
      : SurfacePathFinder<D>(surface),
        begin_(begin),
        end_(end),
        segment_(surface.point(begin), surface.point(end)) {}

 protected:
  ~SurfaceSegmentFinder() = default;

  //! The vertex the walk starts from (a).
  index_t begin() const { return begin_; }
  //! The vertex the walk goes to (b).
  index_t end() const { return end_; }
  //! The segment from the point of a to the point of b.
  Segment<D> const& segment() const { return segment_; }

 private:
  index_t begin_;
  index_t end_;
  Segment<D> segment_;
};

}  // namespace tarnix
