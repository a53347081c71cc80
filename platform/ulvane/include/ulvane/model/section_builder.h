#pragma once

#include <ulvane/model/model_builder.h>
#include <ulvane/model/model_copy_mapping.h>
#include <ulvane/model/section.h>

namespace tarnix {

//! The editor of a `Section`: components, their meshes, relations and
//! unique vertices (see `detail::ModelBuilder`).
class SectionBuilder : public detail::ModelBuilder<Section, 2> {
 public:
  explicit SectionBuilder(Section& section);

  //! Adds a deep copy of `from` with fresh ids: meshes cloned with their
  //! attributes, relations and unique vertices reproduced (numbered after
  //! the existing ones). \return the mapping of every component type,
  //! from `from` to the copy.
  //! \throw UlvaneException when `from` is the section being built.
  ModelCopyMapping copy(Section const& from);
};

}  // namespace tarnix
