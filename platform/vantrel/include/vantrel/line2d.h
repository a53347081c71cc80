#pragma once

#include <vantrel/core.h>

namespace tarnix {

class Section;

//! Remeshes every line of the record to its metric: the output line gets a
//! chain of vertices placed at equal steps of metric length along the input
//! line (at least one edge; three for a closed line), its ends linked to the
//! output corners' unique vertices, every other vertex to a new one.
//!
//! On each working line it writes the edge attribute
//! "remeshed_line_attribute": for edge e, the output-line vertices lying on
//! e as (point, vertex index in the output line), ordered from e's vertex 0
//! to its vertex 1. A vertex at a line vertex is listed on both its edges.
//!
//! Run after `remesh_corners`.
//! \throw UlvaneException when a line is not a single chain of edges, or
//! when the metric gives a length that is not positive and finite or asks
//! for more than 2^31 vertices on a line; every line is checked before any
//! is written.
void remesh_lines(RemeshingData<Section, 2>& data);

}  // namespace tarnix
