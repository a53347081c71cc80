#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <ulvane/model/brep.h>
#include <ulvane/model/section.h>

namespace tarnix {
namespace test {

//! Every broken unique-vertex invariant, one sentence each: a link to a
//! unique vertex beyond the count, a link missing from its unique vertex's
//! reverse list, a reverse entry naming an unknown component or vertex or
//! linked elsewhere, component vertices of one unique vertex at different
//! positions, and every problem of a triangulated surface mesh
//! (`surface_problems`), prefixed with its surface.
std::vector<std::string> model_problems(Section const& section);
std::vector<std::string> model_problems(BRep const& brep);

//! Success when `model_problems` finds nothing, else the list.
::testing::AssertionResult is_valid_model(Section const& section);
::testing::AssertionResult is_valid_model(BRep const& brep);

}  // namespace test
}  // namespace tarnix
