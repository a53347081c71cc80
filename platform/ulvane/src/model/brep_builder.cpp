#include <ulvane/model/brep_builder.h>

#include "model_builder_impl.h"

namespace tarnix {

namespace detail {
template class ModelBuilder<BRep, 3>;
}  // namespace detail

BRepBuilder::BRepBuilder(BRep& brep) : ModelBuilder(brep, "BRepBuilder") {}

uuid const& BRepBuilder::add_block() { return add_block(uuid{}); }

uuid const& BRepBuilder::add_block(uuid const& id) {
  return add_component(model().block_collection(), id, SolidMesh<3>::create());
}

void BRepBuilder::set_block_mesh(uuid const& block, std::unique_ptr<SolidMesh<3>> mesh) {
  replace_mesh(modifiable_block(block), std::move(mesh));
}

void BRepBuilder::add_surface_block_boundary_relationship(uuid const& surface,
                                                          uuid const& block) {
  model().block_boundaries_.add(model().block(block), model().surface(surface));
}

Block<3>& BRepBuilder::modifiable_block(uuid const& id) {
  return find_component(model().block_collection(), id, "modifiable_block");
}

ModelCopyMapping BRepBuilder::copy(BRep const& from) {
  const index_t offset = start_copy(from);
  absl::flat_hash_map<uuid, uuid> all;
  auto mapping = copy_components_and_relations(from, offset, all);
  copy_components(model().block_collection(), from.blocks(), offset, mapping.emplace("Block"),
                  all);
  for (auto const& block : from.blocks()) {
    for (auto const& surface : from.boundaries(block)) {
      add_surface_block_boundary_relationship(all.at(surface.id()), all.at(block.id()));
    }
  }
  copy_link_order(from, all, offset);
  return mapping;
}

}  // namespace tarnix
