#pragma once

#include <ulvane/basic/uuid.h>
#include <vantrel/core.h>

namespace tarnix {

class Section;

//! Remeshes every surface of the record's input model, in range order, into
//! the record's output model, so that each output surface conforms to the
//! output lines and corners the host has already remeshed.
//!
//! For each surface: the remeshed line vertices (from the working lines'
//! "remeshed_line_attribute") and the internal corners are inserted into
//! the surface's working copy as fixed vertices, the advancing front
//! remeshes the working copy, and the result, with every region the front
//! left open, is copied into the output surface. Every output surface
//! vertex ends linked to a unique vertex of the output model: those on
//! lines and corners to theirs, the others to new ones.
//!
//! Every surface is checked before the first is remeshed.
//! \throw UlvaneException "[remesh_surfaces] ..." naming the surface, and
//! the vertex, triangle or value, before any edit, when a surface is not
//! triangulated, has no triangle, already holds an output mesh, has a
//! coordinate that is not finite, a vertex in no triangle, a triangle that
//! is not counter-clockwise, overlapping triangles, missing or wrong
//! adjacencies, or a border edge on none of its lines, or when the metric
//! is not positive and finite at a triangle or asks for more than 2^31
//! triangles.
//!
//! Nothing is caught: on a later failure the surfaces done before stay
//! remeshed.
//!
//! The surfaces are remeshed side by side on worker threads: as many as the
//! hardware has cores, or the value of the environment variable
//! TARNIX_NUM_THREADS when it is a positive whole number (1 remeshes on the
//! calling thread alone; another value is ignored with a warning). Each
//! worker edits only the working copy of its surface; the calling thread
//! fills the output model, one surface after the other in range order, and
//! logs the lines each surface's work logged, in that order. The output
//! model, the log and the exception raised are the same for every number
//! of workers: on a failure, the first failing surface in range order
//! raises its exception and the output model is left as a run on one thread
//! leaves it (surfaces after it may have had their working copies edited).
//! The metric is asked for lengths from several threads at once, so its
//! `edge_length` must be safe to call concurrently.
void remesh_surfaces(RemeshingData<Section, 2>& data);

//! `remesh_surfaces` for the one input surface with this id; its refusals
//! name the step "[remesh_surface]".
void remesh_surface(RemeshingData<Section, 2>& data, uuid const& surface_id);

}  // namespace tarnix
