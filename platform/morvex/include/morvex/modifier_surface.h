#pragma once

//! Collapses, splits, point insertions and cleans of triangulated surfaces.
#include <morvex/modifier_common.h>
#include <morvex/modifier_surface/surface_edit_records.h>
#include <morvex/modifier_surface/triangulated_surface_epsilon_modifier.h>
#include <morvex/modifier_surface/triangulated_surface_modifier.h>
