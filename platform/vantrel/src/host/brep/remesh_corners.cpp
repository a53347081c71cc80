#include <vantrel/corner.h>

#include <absl/strings/str_cat.h>

#include <ulvane/basic/ulvane_exception.h>
#include <ulvane/model/brep.h>
#include <ulvane/model/brep_builder.h>

#include "output_links.h"

namespace tarnix {

// A copy of every input corner mesh, its vertices linked to the output
// unique vertices of their input unique vertices.
void remesh_corners(RemeshingData<BRep, 3>& data) {
  BRepBuilder builder{data.output};
  auto const& corners = data.input_to_output.at(Corner<3>::component_type_static());
  for (auto const& input_corner : data.input.corners()) {
    if (input_corner.mesh().nb_vertices() == 0) {
      throw UlvaneException("[remesh_corners] ",
                            absl::StrCat(input_corner.component_id().string(), " has no vertex"));
    }
    auto const& output_id = corners.in2out(input_corner.id());
    builder.set_corner_mesh(output_id, detail::unlinked_clone(input_corner.mesh()));
    detail::link_copied_vertices(data, builder, input_corner.component_id(),
                                 {Corner<3>::component_type_static(), output_id});
  }
}

}  // namespace tarnix
