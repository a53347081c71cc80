#pragma once

#include <vantrel/surface_common/propagate_along_surface_macro_edge.h>
