#pragma once

//! Walks along segments of a triangulated surface and cuts along them.

#include <morvex/cutter_surface/cut_along_path.h>
#include <morvex/cutter_surface/determine_cuts.h>
#include <morvex/cutter_surface/straight_surface_path.h>
#include <morvex/cutter_surface/surface_path.h>
#include <morvex/cutter_surface/surface_path_finder.h>
