#pragma once

#include <ulvane/model/brep.h>

namespace tarnix {
namespace demo {

//! Two surfaces over the unit square that cross each other along x = 0.5:
//! a flat sheet at z = 0.5 and a sheet rising from z = 0 to z = 1 along x,
//! each an n x n grid of triangle pairs, every vertex on its own unique
//! vertex. A stand-in for surfaces that remeshing made cross.
BRep make_crossing_sheets(int n);

}  // namespace demo
}  // namespace tarnix
