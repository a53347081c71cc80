#pragma once

#include <ulvane/model/component_collection.h>
#include <ulvane/model/relation.h>
#include <ulvane/model/vertex_identifier.h>

namespace tarnix {

class SectionBuilder;

//! A 2D cross-section model: corners, lines bounded by corners, surfaces
//! bounded by lines and holding internal lines and corners, and the unique
//! vertices the component meshes share. Every range (components and
//! relations) iterates in insertion order. Edited through `SectionBuilder`.
class Section : public Corners<2>,
                public Lines<2>,
                public Surfaces<2>,
                public VertexIdentifier {
 public:
  Section() = default;
  Section(Section&&) = default;
  Section& operator=(Section&&) = default;

  //! The corners at the ends of a line.
  RelatedComponentRange<Corner<2>> boundaries(Line<2> const& line) const {
    return line_boundaries_.targets(line);
  }
  //! The lines bounding a surface.
  RelatedComponentRange<Line<2>> boundaries(Surface<2> const& surface) const {
    return surface_boundaries_.targets(surface);
  }
  //! The lines a corner bounds.
  RelatedComponentRange<Line<2>> incidences(Corner<2> const& corner) const {
    return line_boundaries_.sources(corner);
  }
  //! The surfaces a line bounds.
  RelatedComponentRange<Surface<2>> incidences(Line<2> const& line) const {
    return surface_boundaries_.sources(line);
  }
  RelatedComponentRange<Line<2>> internal_lines(Surface<2> const& surface) const {
    return internal_lines_.targets(surface);
  }
  RelatedComponentRange<Corner<2>> internal_corners(Surface<2> const& surface) const {
    return internal_corners_.targets(surface);
  }
  //! The surfaces holding the line inside.
  RelatedComponentRange<Surface<2>> embedding_surfaces(Line<2> const& line) const {
    return internal_lines_.sources(line);
  }
  //! The surfaces holding the corner inside.
  RelatedComponentRange<Surface<2>> embedding_surfaces(Corner<2> const& corner) const {
    return internal_corners_.sources(corner);
  }

 private:
  friend class SectionBuilder;

  detail::Relation<Line<2>, Corner<2>> line_boundaries_;
  detail::Relation<Surface<2>, Line<2>> surface_boundaries_;
  detail::Relation<Surface<2>, Line<2>> internal_lines_;
  detail::Relation<Surface<2>, Corner<2>> internal_corners_;
};

}  // namespace tarnix
