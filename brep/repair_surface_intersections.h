#pragma once

#include <ulvane/model/brep.h>
#include <vantrel/core.h>

namespace tarnix {
namespace detail {

//! "Repairing surface intersections": fixes the blocks bounded by too few
//! triangles, then repairs duplicated and crossing edges between the output
//! surfaces, pass after pass, until a pass repairs nothing (the number of
//! passes is bounded, so a repair that undoes another cannot run forever).
//! Runs between the surface post-processing and the block meshing of
//! `remesh`; whatever it keeps (trees, progress) is released before it
//! returns.
void repair_surface_intersections(RemeshingData<BRep, 3>& data);

}  // namespace detail
}  // namespace tarnix
