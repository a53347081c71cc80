#include <vantrel/corner.h>

#include <absl/strings/str_cat.h>

#include <ulvane/basic/ulvane_exception.h>
#include <ulvane/mesh/point_set_builder.h>
#include <ulvane/model/section.h>
#include <ulvane/model/section_builder.h>

namespace tarnix {

void remesh_corners(RemeshingData<Section, 2>& data) {
  SectionBuilder builder{data.output};
  auto const& corners = data.input_to_output.at(Corner<2>::component_type_static());
  for (auto const& input_corner : data.input.corners()) {
    if (input_corner.mesh().nb_vertices() == 0) {
      throw UlvaneException("[remesh_corners] ",
                            absl::StrCat(input_corner.component_id().string(), " has no vertex"));
    }
    auto const& output_id = corners.in2out(input_corner.id());
    auto& mesh = builder.modifiable_corner(output_id).get_modifiable_mesh();
    auto const vertex =
        PointSetBuilder<2>::create(mesh)->create_point(input_corner.mesh().point(0));
    builder.set_unique_vertex({{Corner<2>::component_type_static(), output_id}, vertex},
                              builder.create_unique_vertex());
  }
}

}  // namespace tarnix
