#pragma once

// Checks of the results of `remesh` on BReps. Each returns its problems,
// one sentence each; no problem means the check passed.

#include <string>
#include <vector>

#include <ulvane/basic/common.h>
#include <ulvane/basic/logger.h>
#include <ulvane/model/brep.h>
#include <ulvane/model/model_copy_mapping.h>

namespace tarnix {
namespace stress {

//! Every point, polygon or edge and unique-vertex link of every component
//! mesh of a BRep, to tell whether a call changed it.
class BRepSnapshot {
 public:
  explicit BRepSnapshot(BRep const& brep);
  //! How `brep` differs from the snapshot (the first difference of each
  //! component).
  std::vector<std::string> differences(BRep const& brep) const;

 private:
  std::vector<std::string> components_;
};

//! The mapping must send every input corner, line, surface and block to an
//! output component of its type, and the output must have no other.
std::vector<std::string> mapping_problems(BRep const& input, BRep const& output,
                                          ModelCopyMapping const& mapping);

//! The model checker's problems (which include the surface checker's on
//! every surface mesh), output surfaces without the vertex attribute "2d"
//! or with a triangle of no area, and block meshes without edges or facets.
std::vector<std::string> output_problems(BRep const& output);

//! Output surface vertices farther than `tolerance` from their input
//! surface: every edit of `remesh` keeps the vertices on it.
std::vector<std::string> off_input_problems(BRep const& input, BRep const& output,
                                            ModelCopyMapping const& mapping, double tolerance);

//! The length of the shortest edge of the surface meshes.
double shortest_surface_edge(BRep const& brep);

//! The largest number of surface vertices linked to one unique vertex: a
//! split of an edge splits it in every surface that shares it.
index_t most_surfaces_at_a_vertex(BRep const& brep);

//! Findings of a fresh detection of the repair over every ordered pair of
//! output surfaces: crossing edges and duplicated edge pairs.
index_t count_intersection_findings(BRep const& input, BRep& output,
                                    ModelCopyMapping const& mapping);

//! Captures the repair's log lines while it lives, and counts those saying
//! that it left findings unrepaired or stopped at one of its bounds.
class RepairLog {
 public:
  RepairLog();
  ~RepairLog();
  RepairLog(RepairLog const&) = delete;
  RepairLog& operator=(RepairLog const&) = delete;

  index_t nb_left() const { return nb_left_; }
  index_t nb_lines() const { return nb_lines_; }

 private:
  Logger::Sink previous_;
  index_t nb_left_{0};
  index_t nb_lines_{0};
};

}  // namespace stress
}  // namespace tarnix
