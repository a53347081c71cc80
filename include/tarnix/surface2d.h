#pragma once

//! Remeshing and relaxation of the triangulated surfaces of 2D
//! cross-section models.

#include <tarnix/surface2d/frontal_remesher.h>
#include <tarnix/surface2d/propagate_along_line.h>
#include <tarnix/surface2d/propagate_along_surface_macro_edge.h>
#include <tarnix/surface2d/relax_surfaces.h>
#include <tarnix/surface2d/remesh_surfaces.h>
