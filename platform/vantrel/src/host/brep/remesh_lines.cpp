#include <vantrel/line3d.h>

#include <ulvane/model/brep.h>
#include <ulvane/model/brep_builder.h>

#include "output_links.h"

namespace tarnix {

void remesh_lines(RemeshingData<BRep, 3>& data) {
  BRepBuilder builder{data.output};
  auto const& lines = data.input_to_output.at(Line<3>::component_type_static());
  for (auto const& input_line : data.input.lines()) {
    auto const& output_id = lines.in2out(input_line.id());
    builder.set_line_mesh(output_id, detail::unlinked_clone(input_line.mesh()));
    detail::link_copied_vertices(data, builder, input_line.component_id(),
                                 {Line<3>::component_type_static(), output_id});
  }
}

void relax_lines(BRep& /*brep*/, Metric<3> const& /*metric*/) {}

}  // namespace tarnix
