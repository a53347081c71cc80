#include <vantrel/initialize_remeshing_data.h>

#include <ulvane/model/section.h>
#include <ulvane/model/section_builder.h>

namespace tarnix {

class SectionGeometricModifier;

namespace {

// Adds to `output` one empty component per component of `input`, with the
// same relations, and returns the mapping from input to output ids.
ModelCopyMapping create_output_topology(Section const& input, Section& output) {
  SectionBuilder builder{output};
  ModelCopyMapping mapping;
  // Every type first: adding one may move the others' mappings.
  for (auto const& type : {Corner<2>::component_type_static(), Line<2>::component_type_static(),
                           Surface<2>::component_type_static()}) {
    mapping.emplace(type);
  }
  auto& corners = mapping.at(Corner<2>::component_type_static());
  auto& lines = mapping.at(Line<2>::component_type_static());
  auto& surfaces = mapping.at(Surface<2>::component_type_static());
  for (auto const& corner : input.corners()) corners.map(corner.id(), builder.add_corner());
  for (auto const& line : input.lines()) lines.map(line.id(), builder.add_line());
  for (auto const& surface : input.surfaces()) {
    surfaces.map(surface.id(), builder.add_surface());
  }
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
  return mapping;
}

}  // namespace

template <>
RemeshingData<Section, 2> initialize_remeshing_data<SectionBuilder, SectionGeometricModifier,
                                                    Section, 2>(Section const& input,
                                                                Section& output,
                                                                Metric<2> const& metric) {
  auto working = std::make_unique<Section>();
  ModelCopyMapping input_to_working = SectionBuilder{*working}.copy(input);
  ModelCopyMapping input_to_output = create_output_topology(input, output);
  return RemeshingData<Section, 2>{input,  std::move(working), std::move(input_to_working),
                                   output, std::move(input_to_output), metric};
}

}  // namespace tarnix
