#pragma once

#include <ulvane/model/brep.h>
#include <vantrel/core.h>

namespace tarnix {
namespace detail {

//! Remeshes the corners, lines and surfaces of the record's output model
//! with the sibling steps, in that order, once every input surface mesh is
//! found to be a `TriangulatedSurface<3>`.
//! \throw UlvaneException "[surface_remeshing] All surfaces should be
//! TriangulatedSurfaces" before any step runs when one is not.
void surface_remeshing(RemeshingData<BRep, 3>& data);

}  // namespace detail
}  // namespace tarnix
