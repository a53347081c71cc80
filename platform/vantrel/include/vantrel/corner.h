#pragma once

#include <vantrel/core.h>

namespace tarnix {

class Section;
class BRep;

//! Gives every output corner one vertex at its input corner's point, linked
//! to a new unique vertex of the output model.
//! \throw UlvaneException when an input corner has no vertex.
void remesh_corners(RemeshingData<Section, 2>& data);
void remesh_corners(RemeshingData<BRep, 3>& data);

}  // namespace tarnix
