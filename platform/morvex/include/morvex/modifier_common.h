#pragma once

//! The vertex-id translation shared by every modifier.
#include <morvex/modifier_common/vertex_set_modifier.h>
