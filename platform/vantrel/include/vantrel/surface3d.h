#pragma once

#include <vantrel/core.h>

namespace tarnix {

class BRep;

//! Gives every output surface a copy of its input surface's mesh (of the
//! same mesh type), each vertex linked to the output unique vertex shared
//! with the copies of the other vertices of its input unique vertex (a new
//! one when there is none yet). Run after `remesh_lines`, so surface
//! borders share the lines' and corners' vertices.
void remesh_surfaces(RemeshingData<BRep, 3>& data);

//! Leaves the surfaces as they are: the copied surfaces need no relaxation.
void relax_surfaces(BRep& brep, Metric<3> const& metric);

}  // namespace tarnix
