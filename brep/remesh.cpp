#include <tarnix/brep/remesh.h>

#include <memory>
#include <string>
#include <utility>

#include <absl/strings/str_cat.h>

#include <ulvane/basic/ulvane_exception.h>
#include <ulvane/model/brep_builder.h>

#include <morvex/modifier_model.h>
#include <vantrel/corner.h>
#include <vantrel/initialize_remeshing_data.h>
#include <vantrel/line3d.h>
#include <vantrel/solid.h>
#include <vantrel/surface3d.h>

#include "brep/post_process_surfaces.h"
#include "brep/repair_surface_intersections.h"
#include "brep/surface_remeshing.h"

namespace tarnix {
namespace detail {

void surface_remeshing(RemeshingData<BRep, 3>& data) {
  const std::string triangulated = absl::StrCat("TriangulatedSurface", 3, "D");
  for (auto const& surface : data.input.surfaces()) {
    if (surface.get_mesh().type_name() != triangulated) {
      throw UlvaneException("[surface_remeshing] All surfaces should be TriangulatedSurfaces");
    }
  }
  remesh_corners(data);
  remesh_lines(data);
  remesh_surfaces(data);
}

}  // namespace detail

std::tuple<BRep, ModelCopyMapping> remesh(BRep const& input, Metric<3> const& metric) {
  BRep output;
  auto data = initialize_remeshing_data<BRepBuilder, BRepGeometricModifier, BRep, 3>(
      input, output, metric);
  detail::surface_remeshing(data);
  detail::post_process_surfaces(data);
  detail::repair_surface_intersections(data);
  mesh(output, metric);
  for (auto const& block : output.blocks()) {
    auto const& block_mesh = block.get_mesh();
    block_mesh.enable_edges();
    block_mesh.enable_facets();
  }
  relax_lines(output, metric);
  relax_surfaces(output, metric);
  return std::make_tuple(std::move(output), std::move(data.input_to_output));
}

void mesh(BRep& model, Metric<3> const& metric) {
  RemeshingData<BRep, 3> data{model, std::make_unique<BRep>(), ModelCopyMapping{},
                              model, ModelCopyMapping{},       metric};
  mesh_blocks(data);
}

}  // namespace tarnix
