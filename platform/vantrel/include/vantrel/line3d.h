#pragma once

#include <vantrel/core.h>

namespace tarnix {

class BRep;

//! Gives every output line a copy of its input line's mesh, each vertex
//! linked to the output unique vertex shared with the copies of the other
//! vertices of its input unique vertex (a new one when there is none yet).
//! Run after `remesh_corners`, so line ends share the corners' vertices.
void remesh_lines(RemeshingData<BRep, 3>& data);

//! Leaves the lines as they are: the copied lines need no relaxation.
void relax_lines(BRep& brep, Metric<3> const& metric);

}  // namespace tarnix
