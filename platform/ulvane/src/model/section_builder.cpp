#include <ulvane/model/section_builder.h>

#include "model_builder_impl.h"

namespace tarnix {

namespace detail {
template class ModelBuilder<Section, 2>;
}  // namespace detail

SectionBuilder::SectionBuilder(Section& section) : ModelBuilder(section, "SectionBuilder") {}

ModelCopyMapping SectionBuilder::copy(Section const& from) {
  const index_t offset = start_copy(from);
  absl::flat_hash_map<uuid, uuid> all;
  auto mapping = copy_components_and_relations(from, offset, all);
  copy_link_order(from, all, offset);
  return mapping;
}

}  // namespace tarnix
