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
//! Vertices on the border of a surface mesh stay where they are, on a line
//! or not, so a surface keeps its outline and area: the two sides of a
//! crack (a vertex duplicated along a segment inside the surface) stay
//! together, and where several fans of triangles meet at a vertex none of
//! them is turned over. A surface that still has work left after 100
//! rounds of swaps and vertex moves is logged ("[relax_surfaces] Stopped
//! after 100 rounds with work left on Surface <uuid>"), keeps the edits
//! made so far and is cleaned as any other;
//! a vertex pass that has moved vertices 64 times as often as the surface
//! has vertices moves no more ("[relax_surfaces] Stopped moving vertices
//! after <n> moves on Surface <uuid>").
//!
//! Every surface is checked before the first one changes; bad input throws
//! `UlvaneException` and leaves the section as it was:
//! - "[relax_surfaces] Surface <uuid> is not a TriangulatedSurface";
//! - "[relax_surfaces] Vertex <v> of Surface <uuid> is not at a finite
//!   point: (<x>, <y>)";
//! - "[relax_surfaces] Triangle <t> of Surface <uuid> is clockwise";
//! - "[relax_surfaces] Triangles <t> and <u> of Surface <uuid> share an
//!   edge but are not adjacent: compute the polygon adjacencies".
//! Later failures (from the model or the metric) are not caught: the
//! surfaces done before keep their changes, and no working attribute is
//! left on any surface.
void relax_surfaces(Section& section);

//! `relax_surfaces`, also removing vertices on an edge shorter than 0.433
//! times the metric's length at the vertex.
//! \throw UlvaneException "[relax_surfaces] The metric must give positive
//! finite lengths, got <value> at vertex <v> of Surface <uuid>" when the
//! metric gives zero, a negative value, not-a-number or infinity at a
//! vertex: before any change for the vertices as given, and when the
//! metric is read at a vertex that has moved.
void relax_surfaces(Section& section, Metric<2> const& metric);

}  // namespace tarnix
