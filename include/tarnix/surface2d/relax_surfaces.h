#pragma once

#include <vantrel/core.h>

namespace tarnix {

class Section;

//! Improves in place the triangulation of every surface of the section, one
//! surface after the other in range order: edge swaps that raise the
//! smallest triangle quality, removal of vertices with three, four or five
//! triangles, and smoothing of the other vertices. Every change is made
//! through the model modifier once its validity simulation allows it, so
//! corners and line vertices stay where they are and surfaces sharing a
//! line stay conforming. Reports progress as "Relaxing Surfaces".
//!
//! Nothing is caught: on failure the surfaces done before keep their
//! changes, and no working attribute is left on any surface.
//! \throw std::bad_cast when a surface mesh is not a `TriangulatedSurface<2>`.
void relax_surfaces(Section& section);

//! `relax_surfaces`, also removing vertices on an edge shorter than 0.433
//! times the metric's length at the vertex.
void relax_surfaces(Section& section, Metric<2> const& metric);

}  // namespace tarnix
