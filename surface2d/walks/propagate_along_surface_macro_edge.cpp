#include <tarnix/surface2d/propagate_along_surface_macro_edge.h>

#include <ulvane/geometry/intersection.h>
#include <vantrel/surface_common/propagate_along_surface_macro_edge_impl.h>

namespace tarnix {

// The one instance of the walk base; this library exports its members and
// the accessors of the segment-finder base that the walk uses.
template class PropagateAlongSurfaceMacroEdge<2>;
template index_t SurfaceSegmentFinder<2>::begin() const;
template index_t SurfaceSegmentFinder<2>::end() const;
template Segment<2> const& SurfaceSegmentFinder<2>::segment() const;

namespace detail {

PropagateAlongSurfaceMacroEdge2D::PropagateAlongSurfaceMacroEdge2D(
    FrontalRemesher<2> const& remesher, index_t begin, index_t end)
    : PropagateAlongSurfaceMacroEdge<2>(remesher, begin, end) {}

PropagateAlongSurfaceMacroEdge2D::~PropagateAlongSurfaceMacroEdge2D() = default;

absl::optional<SurfacePath> PropagateAlongSurfaceMacroEdge2D::next_intersection(
    PolygonEdge const& edge) const {
  auto const& mesh = surface();
  const PolygonVertex opposite = mesh.previous_polygon_vertex(PolygonVertex{edge});
  const index_t o = mesh.polygon_vertex(opposite);
  switch (point_side_to_segment(mesh.point(o), segment())) {
    case Side::on_line:
      return SurfacePath{PolygonEdge{opposite}, Position::vertex0, o, true};
    case Side::side0:
      return SurfacePath{mesh.next_polygon_edge(edge), Position::inside, NO_ID, true};
    default:
      return SurfacePath{mesh.previous_polygon_edge(edge), Position::inside, NO_ID, true};
  }
}

Position PropagateAlongSurfaceMacroEdge2D::segment_intersects(Segment<2> const& segment) const {
  const auto positions = segment_segment_intersection_detection(segment, this->segment());
  if (positions.first != Position::outside && positions.second != Position::outside) {
    return positions.first;
  }
  return Position::outside;
}

bool PropagateAlongSurfaceMacroEdge2D::is_edge_intersection_ok(Point<2> const& /*p0*/,
                                                               Point<2> const& /*p1*/) const {
  return true;
}

bool PropagateAlongSurfaceMacroEdge2D::is_edge_orientation_ok(Point<2> const& /*p0*/,
                                                              Point<2> const& /*p1*/) const {
  return true;
}

}  // namespace detail
}  // namespace tarnix
