#pragma once

#include <vantrel/core.h>

namespace tarnix {

class BRep;

//! Gives every block of the record's output model a new, empty tetrahedral
//! mesh (edges and facets not enabled). Reads nothing else of the record,
//! so input and output may be one model and the mappings empty.
void mesh_blocks(RemeshingData<BRep, 3>& data);

}  // namespace tarnix
