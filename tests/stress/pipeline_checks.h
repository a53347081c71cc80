#pragma once

#include <string>
#include <vector>

#include <absl/container/flat_hash_map.h>

#include <ulvane/basic/uuid.h>
#include <ulvane/model/section.h>
#include <vantrel/core.h>

namespace tarnix {
namespace stress {

//! The area of every surface, by id.
absl::flat_hash_map<uuid, double> surface_areas(Section const& section);

//! Every broken invariant of a remeshed or relaxed section, one sentence
//! each: the model and surface validity checks, then for every surface:
//! - each edge of a boundary line is an edge of the surface, and each edge
//!   of an internal line is an edge of the two triangles beside it;
//! - each vertex of those lines and each internal corner is exactly one
//!   surface vertex;
//! - every surface vertex is linked to a unique vertex and lies in a
//!   triangle.
//! At most `limit` sentences are kept.
std::vector<std::string> section_problems(Section const& section, std::size_t limit = 20);

//! `section_problems` of the output of `data`, and each output surface
//! with the area of its input surface (relative tolerance `tolerance`).
std::vector<std::string> remesh_problems(RemeshingData<Section, 2> const& data,
                                         double tolerance = 1e-9);

//! Each surface of `section` with the area it had (`areas`).
std::vector<std::string> area_problems(Section const& section,
                                       absl::flat_hash_map<uuid, double> const& areas,
                                       double tolerance = 1e-9);

//! The number of active triangles over all surfaces.
index_t nb_triangles(Section const& section);

//! The smallest triangle quality (4 sinA sinB sinC / (sinA + sinB + sinC))
//! over all surfaces.
double min_quality(Section const& section);

}  // namespace stress
}  // namespace tarnix
