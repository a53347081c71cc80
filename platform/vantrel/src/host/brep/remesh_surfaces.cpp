#include <vantrel/surface3d.h>

#include <ulvane/model/brep.h>
#include <ulvane/model/brep_builder.h>

#include "output_links.h"

namespace tarnix {

void remesh_surfaces(RemeshingData<BRep, 3>& data) {
  BRepBuilder builder{data.output};
  auto const& surfaces = data.input_to_output.at(Surface<3>::component_type_static());
  for (auto const& input_surface : data.input.surfaces()) {
    auto const& output_id = surfaces.in2out(input_surface.id());
    builder.set_surface_mesh(output_id, detail::unlinked_clone(input_surface.mesh()));
    detail::link_copied_vertices(data, builder, input_surface.component_id(),
                                 {Surface<3>::component_type_static(), output_id});
  }
}

void relax_surfaces(BRep& /*brep*/, Metric<3> const& /*metric*/) {}

}  // namespace tarnix
