#pragma once

#include <ulvane/basic/common.h>
#include <ulvane/model/component_collection.h>
#include <ulvane/model/relation.h>
#include <ulvane/model/vertex_identifier.h>

namespace tarnix {
namespace detail {

template <typename Model, index_t D>
class ModelBuilder;

//! What the 2D and 3D models share: corners, lines bounded by corners,
//! surfaces bounded by lines and holding internal lines and corners, and
//! the unique vertices the component meshes share. Every range (components
//! and relations) iterates in insertion order.
template <index_t D>
class ComponentModel : public Corners<D>,
                       public Lines<D>,
                       public Surfaces<D>,
                       public VertexIdentifier {
 public:
  //! The corners at the ends of a line.
  RelatedComponentRange<Corner<D>> boundaries(Line<D> const& line) const {
    return line_boundaries_.targets(line);
  }
  //! The lines bounding a surface.
  RelatedComponentRange<Line<D>> boundaries(Surface<D> const& surface) const {
    return surface_boundaries_.targets(surface);
  }
  //! The lines a corner bounds.
  RelatedComponentRange<Line<D>> incidences(Corner<D> const& corner) const {
    return line_boundaries_.sources(corner);
  }
  //! The surfaces a line bounds.
  RelatedComponentRange<Surface<D>> incidences(Line<D> const& line) const {
    return surface_boundaries_.sources(line);
  }
  RelatedComponentRange<Line<D>> internal_lines(Surface<D> const& surface) const {
    return internal_lines_.targets(surface);
  }
  RelatedComponentRange<Corner<D>> internal_corners(Surface<D> const& surface) const {
    return internal_corners_.targets(surface);
  }
  //! The surfaces holding the line inside.
  RelatedComponentRange<Surface<D>> embedding_surfaces(Line<D> const& line) const {
    return internal_lines_.sources(line);
  }
  //! The surfaces holding the corner inside.
  RelatedComponentRange<Surface<D>> embedding_surfaces(Corner<D> const& corner) const {
    return internal_corners_.sources(corner);
  }

 private:
  template <typename Model, index_t>
  friend class ModelBuilder;

  Relation<Line<D>, Corner<D>> line_boundaries_;
  Relation<Surface<D>, Line<D>> surface_boundaries_;
  Relation<Surface<D>, Line<D>> internal_lines_;
  Relation<Surface<D>, Corner<D>> internal_corners_;
};

}  // namespace detail
}  // namespace tarnix
