#pragma once

#include <string>

#include <absl/strings/string_view.h>
#include <absl/types/span.h>

#include <ulvane/mesh/triangulated_surface.h>
#include <ulvane/model/section.h>
#include <vantrel/core.h>

// Checks of what a host hands to the surface remeshing, made before the
// first edit so that bad input raises one clear exception and leaves the
// models as they were.

namespace tarnix {
namespace detail {

//! The largest number of output triangles a surface may ask for: 2^31, so
//! that every index of the output (and of the working surface that the
//! front cuts to build it) stays well inside 32 bits.
constexpr double MAX_OUTPUT_TRIANGLES = 2147483648.0;

//! Where a check is made: the operation named in brackets and the
//! component named in the messages ("Surface <uuid>", or "the surface" when
//! the mesh belongs to no model).
struct InputContext {
  std::string step;
  std::string component;
};

//! A metric that refuses every length that is not positive and finite.
class CheckedMetric final : public Metric<2> {
 public:
  //! \pre `metric` and `context` outlive the wrapper.
  CheckedMetric(Metric<2> const& metric, InputContext const& context)
      : metric_(metric), context_(context) {}

  //! \throw UlvaneException "[<step>] The metric must give positive finite
  //! lengths, got <length> at (<x>, <y>) in <component>".
  double edge_length(Point<2> const& point) const override;

 private:
  Metric<2> const& metric_;
  InputContext const& context_;
};

//! Checks that the frontal remesher can work on a mesh: finite
//! coordinates, every vertex in a triangle, counter-clockwise triangles, no
//! edge run along twice the same way, and every adjacency between two
//! triangles that share the edge. An edge without adjacency is on the
//! border (the mesh may be cut open along it). Inactive triangles are
//! ignored.
//! \throw UlvaneException naming the context, the vertex or the triangle.
void check_surface_mesh(TriangulatedSurface<2> const& mesh, InputContext const& context);

//! The number of triangles the metric asks for over the mesh: the area of
//! each triangle over that of an equilateral triangle of the target length
//! at its barycenter.
double estimated_nb_triangles(TriangulatedSurface<2> const& mesh, Metric<2> const& metric);

//! \throw UlvaneException when the estimate is above MAX_OUTPUT_TRIANGLES.
void check_output_size(TriangulatedSurface<2> const& mesh, Metric<2> const& metric,
                       InputContext const& context);

//! \throw UlvaneException when a given vertex is not a vertex of the mesh.
void check_given_vertices(TriangulatedSurface<2> const& mesh,
                          absl::Span<unsigned int const> given_vertices,
                          InputContext const& context);

//! Checks one surface of a remeshing record before it is remeshed: its
//! input, working and output meshes are triangulated, the output one is
//! still empty, the working one has triangles, passes check_surface_mesh,
//! and every border edge lies on an edge of one of the surface's boundary
//! or internal lines through the unique vertices (an edge off the lines
//! that another triangle shares is reported as missing adjacencies); the
//! metric is positive and finite at every triangle barycenter and asks for
//! no more than MAX_OUTPUT_TRIANGLES.
//! \throw UlvaneException "[<step>] ..." naming the surface; a mapping
//! without the surface raises std::out_of_range as the remeshing would.
void check_surface_input(RemeshingData<Section, 2> const& data, Surface<2> const& input_surface,
                         absl::string_view step);

}  // namespace detail
}  // namespace tarnix
