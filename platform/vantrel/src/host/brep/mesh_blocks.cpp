#include <vantrel/solid.h>

#include <ulvane/mesh/solid_mesh.h>
#include <ulvane/model/brep.h>
#include <ulvane/model/brep_builder.h>

namespace tarnix {

void mesh_blocks(RemeshingData<BRep, 3>& data) {
  BRepBuilder builder{data.output};
  for (auto const& block : data.output.blocks()) {
    builder.set_block_mesh(block.id(), SolidMesh<3>::create());
  }
}

}  // namespace tarnix
