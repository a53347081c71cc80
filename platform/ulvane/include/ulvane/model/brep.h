#pragma once

#include <ulvane/model/component_collection.h>
#include <ulvane/model/relation.h>
#include <ulvane/model/vertex_identifier.h>

namespace tarnix {

class BRepBuilder;

//! A 3D boundary-representation model: corners, lines bounded by corners,
//! surfaces bounded by lines and holding internal lines and corners, blocks
//! bounded by surfaces, and the unique vertices the component meshes share.
//! Every range (components and relations) iterates in insertion order.
//! Edited through `BRepBuilder`.
class BRep : public Corners<3>,
             public Lines<3>,
             public Surfaces<3>,
             public Blocks<3>,
             public VertexIdentifier {
 public:
  BRep() = default;
  BRep(BRep&&) = default;
  BRep& operator=(BRep&&) = default;

  //! The corners at the ends of a line.
  RelatedComponentRange<Corner<3>> boundaries(Line<3> const& line) const {
    return line_boundaries_.targets(line);
  }
  //! The lines bounding a surface.
  RelatedComponentRange<Line<3>> boundaries(Surface<3> const& surface) const {
    return surface_boundaries_.targets(surface);
  }
  //! The surfaces bounding a block.
  RelatedComponentRange<Surface<3>> boundaries(Block<3> const& block) const {
    return block_boundaries_.targets(block);
  }
  //! The lines a corner bounds.
  RelatedComponentRange<Line<3>> incidences(Corner<3> const& corner) const {
    return line_boundaries_.sources(corner);
  }
  //! The surfaces a line bounds.
  RelatedComponentRange<Surface<3>> incidences(Line<3> const& line) const {
    return surface_boundaries_.sources(line);
  }
  //! The blocks a surface bounds.
  RelatedComponentRange<Block<3>> incidences(Surface<3> const& surface) const {
    return block_boundaries_.sources(surface);
  }
  RelatedComponentRange<Line<3>> internal_lines(Surface<3> const& surface) const {
    return internal_lines_.targets(surface);
  }
  RelatedComponentRange<Corner<3>> internal_corners(Surface<3> const& surface) const {
    return internal_corners_.targets(surface);
  }
  //! The surfaces holding the line inside.
  RelatedComponentRange<Surface<3>> embedding_surfaces(Line<3> const& line) const {
    return internal_lines_.sources(line);
  }
  //! The surfaces holding the corner inside.
  RelatedComponentRange<Surface<3>> embedding_surfaces(Corner<3> const& corner) const {
    return internal_corners_.sources(corner);
  }

 private:
  friend class BRepBuilder;

  detail::Relation<Line<3>, Corner<3>> line_boundaries_;
  detail::Relation<Surface<3>, Line<3>> surface_boundaries_;
  detail::Relation<Block<3>, Surface<3>> block_boundaries_;
  detail::Relation<Surface<3>, Line<3>> internal_lines_;
  detail::Relation<Surface<3>, Corner<3>> internal_corners_;
};

}  // namespace tarnix
