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
//! Nothing is caught: on failure the surfaces done before stay remeshed.
void remesh_surfaces(RemeshingData<Section, 2>& data);

//! `remesh_surfaces` for the one input surface with this id.
void remesh_surface(RemeshingData<Section, 2>& data, uuid const& surface_id);

}  // namespace tarnix
