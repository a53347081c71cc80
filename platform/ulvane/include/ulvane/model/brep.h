#pragma once

#include <ulvane/model/component_model.h>

namespace tarnix {

class BRepBuilder;

//! A 3D boundary-representation model: corners, lines bounded by corners,
//! surfaces bounded by lines and holding internal lines and corners, blocks
//! bounded by surfaces, and the unique vertices the component meshes share.
//! Every range (components and relations) iterates in insertion order.
//! Edited through `BRepBuilder`.
class BRep : public detail::ComponentModel<3>, public Blocks<3> {
 public:
  BRep() = default;
  BRep(BRep&&) = default;
  BRep& operator=(BRep&&) = default;

  using detail::ComponentModel<3>::boundaries;
  using detail::ComponentModel<3>::incidences;

  //! The surfaces bounding a block.
  RelatedComponentRange<Surface<3>> boundaries(Block<3> const& block) const {
    return block_boundaries_.targets(block);
  }
  //! The blocks a surface bounds.
  RelatedComponentRange<Block<3>> incidences(Surface<3> const& surface) const {
    return block_boundaries_.sources(surface);
  }

 private:
  friend class BRepBuilder;

  detail::Relation<Block<3>, Surface<3>> block_boundaries_;
};

}  // namespace tarnix
