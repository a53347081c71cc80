#include <vantrel/initialize_remeshing_data.h>

#include <ulvane/model/brep.h>
#include <ulvane/model/brep_builder.h>

namespace tarnix {

namespace {

// Adds to `output` one empty component per component of `input`, with the
// same relations, and returns the mapping from input to output ids.
ModelCopyMapping create_output_topology(BRep const& input, BRep& output) {
  BRepBuilder builder{output};
  ModelCopyMapping mapping;
  // Every type first: adding one may move the others' mappings.
  for (auto const& type : {Corner<3>::component_type_static(), Line<3>::component_type_static(),
                           Surface<3>::component_type_static(),
                           Block<3>::component_type_static()}) {
    mapping.emplace(type);
  }
  auto& corners = mapping.at(Corner<3>::component_type_static());
  auto& lines = mapping.at(Line<3>::component_type_static());
  auto& surfaces = mapping.at(Surface<3>::component_type_static());
  auto& blocks = mapping.at(Block<3>::component_type_static());
  for (auto const& corner : input.corners()) corners.map(corner.id(), builder.add_corner());
  for (auto const& line : input.lines()) lines.map(line.id(), builder.add_line());
  for (auto const& surface : input.surfaces()) {
    surfaces.map(surface.id(), builder.add_surface());
  }
  for (auto const& block : input.blocks()) blocks.map(block.id(), builder.add_block());
  for (auto const& line : input.lines()) {
    for (auto const& corner : input.boundaries(line)) {
      builder.add_corner_line_boundary_relationship(corners.in2out(corner.id()),
                                                    lines.in2out(line.id()));
    }
  }
  for (auto const& surface : input.surfaces()) {
    auto const& out = surfaces.in2out(surface.id());
    for (auto const& line : input.boundaries(surface)) {
      builder.add_line_surface_boundary_relationship(lines.in2out(line.id()), out);
    }
    for (auto const& line : input.internal_lines(surface)) {
      builder.add_line_surface_internal_relationship(lines.in2out(line.id()), out);
    }
    for (auto const& corner : input.internal_corners(surface)) {
      builder.add_corner_surface_internal_relationship(corners.in2out(corner.id()), out);
    }
  }
  for (auto const& block : input.blocks()) {
    auto const& out = blocks.in2out(block.id());
    for (auto const& surface : input.boundaries(block)) {
      builder.add_surface_block_boundary_relationship(surfaces.in2out(surface.id()), out);
    }
  }
  return mapping;
}

}  // namespace

template <>
RemeshingData<BRep, 3> initialize_remeshing_data<BRepBuilder, BRepGeometricModifier, BRep, 3>(
    BRep const& input, BRep& output, Metric<3> const& metric) {
  auto working = std::make_unique<BRep>();
  ModelCopyMapping input_to_working = BRepBuilder{*working}.copy(input);
  ModelCopyMapping input_to_output = create_output_topology(input, output);
  return RemeshingData<BRep, 3>{input,  std::move(working), std::move(input_to_working),
                                output, std::move(input_to_output), metric};
}

}  // namespace tarnix
