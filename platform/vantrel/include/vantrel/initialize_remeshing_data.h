#pragma once

#include <ulvane/basic/common.h>
#include <vantrel/core.h>

namespace tarnix {

//! Prepares the record of a remeshing pipeline: a working copy of `input`
//! (owned by the record) and, in `output`, a component with a fresh id for
//! every component of `input`, with the same relations and empty meshes.
//! Both mappings hold the "Corner", "Line" and "Surface" entries (and
//! "Block" for a 3D model). The record refers to `input`, `output` and
//! `metric`, which must outlive it.
template <typename ModelBuilder, typename GeometricModifier, typename Model, index_t D>
RemeshingData<Model, D> initialize_remeshing_data(Model const& input, Model& output,
                                                  Metric<D> const& metric);

class Section;
class SectionBuilder;
class SectionGeometricModifier;
class BRep;
class BRepBuilder;
class BRepGeometricModifier;

template <>
RemeshingData<Section, 2> initialize_remeshing_data<SectionBuilder, SectionGeometricModifier,
                                                    Section, 2>(Section const& input,
                                                                Section& output,
                                                                Metric<2> const& metric);

template <>
RemeshingData<BRep, 3> initialize_remeshing_data<BRepBuilder, BRepGeometricModifier, BRep, 3>(
    BRep const& input, BRep& output, Metric<3> const& metric);

}  // namespace tarnix
