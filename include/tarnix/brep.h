#pragma once

//! Remeshing of 3D boundary-representation models.

#include <tarnix/brep/remesh.h>
