#pragma once

#include <ulvane/model/component_model.h>

namespace tarnix {

//! A 2D cross-section model: corners, lines bounded by corners, surfaces
//! bounded by lines and holding internal lines and corners, and the unique
//! vertices the component meshes share. Every range (components and
//! relations) iterates in insertion order. Edited through `SectionBuilder`.
class Section : public detail::ComponentModel<2> {
 public:
  Section() = default;
  Section(Section&&) = default;
  Section& operator=(Section&&) = default;
};

}  // namespace tarnix
