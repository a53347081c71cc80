#pragma once

#include <tuple>

#include <ulvane/model/brep.h>
#include <ulvane/model/model_copy_mapping.h>
#include <vantrel/core.h>

namespace tarnix {

//! Builds a new model from `input` remeshed to `metric`: corners, lines and
//! surfaces remeshed, every surface improved by edge swaps, the duplicated
//! and crossing edges between surfaces repaired, the blocks meshed (with
//! edges and facets enabled), lines and surfaces relaxed. `input` is not
//! changed. Every output surface mesh carries the vertex attribute "2d".
//! \return the new model and the mapping from input to output components.
//! \throw UlvaneException "[surface_remeshing] All surfaces should be
//! TriangulatedSurfaces" when a surface mesh of `input` is of another type.
std::tuple<BRep, ModelCopyMapping> remesh(BRep const& input, Metric<3> const& metric);

//! Meshes the blocks of `model` in place. Edges and facets of the block
//! meshes are left as the block mesher makes them.
void mesh(BRep& model, Metric<3> const& metric);

}  // namespace tarnix
