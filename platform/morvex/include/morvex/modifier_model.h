#pragma once

//! Model-level edits of `Section` and `BRep` surfaces (swap, collapse,
//! split, point move, clean) with their validity simulations.
#include <morvex/modifier_model/brep_geometric_modifier.h>
#include <morvex/modifier_model/model_edit_records.h>
#include <morvex/modifier_model/point_mover.h>
#include <morvex/modifier_model/section_geometric_modifier.h>
