#pragma once

// The repair of duplicated and crossing edges between the surfaces of a
// BRep. The repairer finds them with bounding-box trees of the surface
// meshes and has each finding repaired, surface pair by surface pair and
// pass after pass; the repair records below carry one repair.

#include <string>
#include <utility>
#include <vector>

#include <absl/container/flat_hash_map.h>
#include <absl/container/flat_hash_set.h>
#include <absl/types/optional.h>

#include <ulvane/basic/common.h>
#include <ulvane/basic/progress_logger.h>
#include <ulvane/basic/uuid.h>
#include <ulvane/geometry/aabb.h>
#include <ulvane/geometry/point.h>
#include <ulvane/geometry/vector.h>
#include <ulvane/mesh/mesh_handles.h>
#include <ulvane/mesh/triangulated_surface.h>
#include <ulvane/model/brep.h>
#include <ulvane/model/component_type.h>
#include <ulvane/model/model_copy_mapping.h>

#include <morvex/modifier_model.h>
#include <vantrel/core.h>

namespace tarnix {
namespace detail {

//! Bounds of the repair loops. A finding that the repairs cannot remove
//! would otherwise be found again in every sweep and every pass.
struct RepairLimits {
  //! Detection sweeps of one surface pair in one call.
  index_t max_sweeps_per_pair = 8;
  //! Splits of one crossing repair.
  index_t max_crossing_iterations = 16;
  //! Passes are bounded by max_passes_base + 2 * nb_surfaces.
  index_t max_passes_base = 4;
  //! Splits of the whole repair: the larger of this and the number of
  //! output triangles at the start. Splits that cannot remove a finding
  //! (surfaces whose inputs cross) would otherwise refine without end.
  index_t min_split_budget = 64;
};

//! The input surface of an output surface, through the "Surface" entry of
//! the record's input/output mapping.
//! \throw std::out_of_range for a missing entry or id.
ComponentID input_surface_id(RemeshingData<BRep, 3> const& data, Surface<3> const& surface);
//! The input line of an output line, through the "Line" entry.
ComponentID input_line_id(RemeshingData<BRep, 3> const& data, Line<3> const& line);
//! The input id of an output id in one entry of a mapping.
uuid const& input_uuid_of(BijectiveMapping const& mapping, uuid const& output_id);

//! The segment of an edge of S crosses a triangle of O.
struct EdgeTriangleCrossing {
  PolygonEdge edge;
  index_t triangle;
};

//! An edge of S and an edge of O join the same two unique vertices and are
//! not both border edges.
struct DuplicatedEdgePair {
  PolygonEdge edge;
  PolygonEdge other_edge;
};

//! Holds what the repairs of one `remesh` call share: the pipeline record,
//! the one modifier of the output model, the progress report and the tree
//! caches. The fields are read by the repair records.
class SurfaceIntersectionRepairer {
 public:
  using TreeCache = absl::flat_hash_map<uuid, absl::optional<AABBTree<3>>>;

  //! Starts "Repairing surface intersections" with nb_blocks + nb_surfaces
  //! steps and builds the tree of every output surface.
  //! \throw std::bad_cast when an output surface is not triangulated.
  explicit SurfaceIntersectionRepairer(RemeshingData<BRep, 3>& data,
                                       RepairLimits limits = RepairLimits{});

  //! Splits the single triangle of each one-triangle boundary surface of
  //! every block bounded by fewer than four triangles.
  void repair_small_blocks();

  //! One pass over all output surfaces. \return true when some surface
  //! pair had findings whose repairs changed the model (so a pass that
  //! returns true always changed it).
  bool repair_pass();

  //! Repairs S against the output surfaces, in range order, until the
  //! first surface with findings has none left. \return true when it
  //! repaired something.
  bool repair_surface_against_others(Surface<3> const& surface);

  //! The tree of the input surface of an output surface, built at the
  //! first request. \throw std::out_of_range for an unknown surface.
  AABBTree<3> const& input_surface_tree(Surface<3> const& surface);
  //! The tree of the input line of an output line, built at the first
  //! request. \throw std::out_of_range for an unknown line.
  AABBTree<3> const& input_line_tree(Line<3> const& line);

  //! Splits triangle 0 of S where the normal through its barycenter meets
  //! the input surface, else at the input point closest to the barycenter.
  void split_single_triangle_surface(Surface<3> const& surface);
  //! Where the ray from the origin along the direction first meets the
  //! input surface of S; empty when it misses it.
  absl::optional<Point<3>> cast_ray_on_input_surface(Surface<3> const& surface,
                                                     TriangulatedSurface<3> const& input_mesh,
                                                     Vector<3> const& direction,
                                                     Point<3> const& origin);
  //! Splits triangle 0 of S at the point; the new vertex gets a new unique
  //! vertex. \throw UlvaneException "Cannot create mesh builder with key: "
  //! when the mesh has no triangulated builder.
  void split_triangle_at(Surface<3> const& surface, Point<3> const& point);

  RepairLimits const& repair_limits() const { return limits; }
  //! Whether the split budget allows one more split.
  bool may_split() const { return nb_splits < split_budget; }
  //! `split_edge` of the modifier, counted against the split budget.
  BRepSplitPolygonEdgeInfo split_edge(Surface<3> const& surface, PolygonEdge const& edge,
                                      Point<3> const& point);
  //! The largest number of passes `repair_surface_intersections` runs.
  index_t max_passes() const;
  //! The passes run so far.
  index_t nb_passes_run() const { return nb_passes; }

  RemeshingData<BRep, 3>& remeshing_data;
  BRep const& input;
  BRep& output;
  BRepGeometricModifier modifier;
  ProgressLogger progress;
  TreeCache input_surface_trees;
  TreeCache output_surface_trees;
  TreeCache input_line_trees;

 private:
  AABBTree<3> const& output_surface_tree(Surface<3> const& surface);
  //! Empties the output trees of the surfaces a repair changed.
  void drop_output_trees(absl::flat_hash_set<uuid> const& surfaces);
  //! A surface in the log: "Surface", " ", the uuid of its input surface.
  std::string surface_text(Surface<3> const& surface) const;
  //! Writes the log line of the kind (prefix and O), repairs every finding
  //! of one sweep whose two triangles are still active, then `clean`.
  //! \return the surfaces changed.
  template <typename Finding>
  absl::flat_hash_set<uuid> repair_findings(char const* prefix, Surface<3> const& surface,
                                            Surface<3> const& other_surface,
                                            std::vector<Finding> const& findings);

  RepairLimits limits;
  index_t split_budget;
  index_t nb_splits = 0;
  index_t nb_passes = 0;
};

//! The action of one detection sweep of S against O: records the edges of
//! S whose segment crosses a triangle of O, and the edges of S and O that
//! join the same unique vertices without both being border edges.
struct SurfaceIntersectionDetector {
  //! \throw std::bad_cast when a mesh is not triangulated.
  SurfaceIntersectionDetector(SurfaceIntersectionRepairer& repairer, Surface<3> const& surface,
                              Surface<3> const& other_surface);

  //! Tests the edges of triangle p of S against triangle t of O.
  void operator()(index_t p, index_t t);

  SurfaceIntersectionRepairer& repairer;
  Surface<3> const& surface;
  Surface<3> const& other_surface;
  TriangulatedSurface<3> const& surface_mesh;
  TriangulatedSurface<3> const& other_surface_mesh;
  std::vector<EdgeTriangleCrossing> crossings;
  std::vector<DuplicatedEdgePair> duplicated_edges;
  bool same_surface;
};

//! The working record of one repair of S against O.
struct SurfacePairRepair {
  //! \throw std::bad_cast when a mesh is not triangulated;
  //! std::out_of_range when a surface has no input surface.
  SurfacePairRepair(SurfaceIntersectionRepairer& repairer, Surface<3> const& surface,
                    PolygonEdge const& edge, Surface<3> const& other_surface);

  //! The point of the input surface of S nearest to the midpoint of an
  //! edge of S, with the input triangle holding it (NO_ID when the input
  //! surface has no triangle; the point is then the midpoint).
  std::pair<Point<3>, index_t> project_edge_midpoint(PolygonEdge const& edge);
  //! The same on the O side, for an edge of O.
  std::pair<Point<3>, index_t> project_other_edge_midpoint(PolygonEdge const& edge);

  //! The split test of the repairs: allowed when the simulation lists no
  //! problem besides folds, no triangle beside the split point is flat to
  //! within the rounding of its points, and every edge of its fold map
  //! passes `is_split_normal_consistent`.
  bool is_split_valid(Surface<3> const& split_surface, PolygonEdge const& edge,
                      Point<3> const& point);

  //! Whether a fold reported at the edge is excused: true when the input
  //! normals near its ends cancel or are missing, or when the output
  //! triangle at the edge, or the one across it, faces against them.
  bool is_split_normal_consistent(Surface<3> const& edge_surface, PolygonEdge const& edge);

  SurfaceIntersectionRepairer& repairer;
  Surface<3> const& surface;
  TriangulatedSurface<3> const& surface_mesh;
  TriangulatedSurface<3> const& input_mesh;
  std::vector<PolygonEdge> edges;
  Surface<3> const& other_surface;
  TriangulatedSurface<3> const& other_surface_mesh;
  TriangulatedSurface<3> const& other_input_mesh;
  absl::flat_hash_set<uuid> modified_surfaces;

 protected:
  std::pair<Point<3>, index_t> project_midpoint(Surface<3> const& side_surface,
                                                TriangulatedSurface<3> const& mesh,
                                                TriangulatedSurface<3> const& side_input_mesh,
                                                PolygonEdge const& edge);
};

//! The repair of one duplicated edge pair.
struct DuplicatedEdgePairRepair : SurfacePairRepair {
  DuplicatedEdgePairRepair(SurfaceIntersectionRepairer& repairer, Surface<3> const& surface,
                           PolygonEdge const& edge, Surface<3> const& other_surface,
                           PolygonEdge const& other_edge);

  //! Takes the two edges apart, the edge of S first and then the edge of
  //! O: each is split near its input surface, or swapped when the point
  //! tried lies within 1e-6 of a vertex opposite the edge (a border edge
  //! has one such vertex, an interior edge two). A side whose
  //! split at the target is refused is left as it is. An allowed swap ends
  //! the side, as a split does: afterwards the handle designates the new
  //! diagonal, not the edge the walk started on.
  //! \return the surfaces changed.
  absl::flat_hash_set<uuid> repair_duplicated_edge_pair();

  PolygonEdge const& other_edge;

 private:
  void repair_side(Surface<3> const& side_surface, TriangulatedSurface<3> const& mesh,
                   TriangulatedSurface<3> const& side_input_mesh, PolygonEdge const& edge);
};

//! The repair of the edges of S that cross a triangle of O.
struct CrossingEdgesRepair : SurfacePairRepair {
  //! `other_edges` gets the three edges of the crossed triangle.
  CrossingEdgesRepair(SurfaceIntersectionRepairer& repairer, Surface<3> const& surface,
                      PolygonEdge const& edge, Surface<3> const& other_surface,
                      index_t other_triangle);

  //! What a split of an edge of O made, and where.
  struct OtherEdgeSplit {
    BRepSplitPolygonEdgeInfo info;
    Point<3> point;
  };

  //! Splits edges, longest first (an edge of O before an edge of S of the
  //! same length), one split per iteration, until no listed edge of S
  //! crosses a listed triangle of O. Stops as well after an iteration that
  //! splits nothing (a repeat would change nothing) and after
  //! `max_crossing_iterations` iterations, logging what is left.
  //! \return the surfaces changed.
  absl::flat_hash_set<uuid> repair_crossing_edges();

  //! Keeps the edges of S that cross a listed triangle of O by the
  //! segment's interior, and the entries of O whose triangle they cross.
  void update_crossing_edges();

  //! Splits an edge of O at its input surface (a border edge: at its input
  //! line) and lists the three edges of every triangle replacing the
  //! edge's triangle. Empty when the split is refused.
  absl::optional<OtherEdgeSplit> split_other_edge(PolygonEdge const& edge);

  //! `split_other_edge`, then the listed edges of S that the split touched
  //! are followed to their new handles. \return whether a split was made.
  bool split_other_edge_and_carry(PolygonEdge const& edge);

  //! The point of the input line of the border edge of O at which to try
  //! its split. When no output line holds both ends of the edge, the point
  //! of O's input surface nearest to the midpoint.
  Point<3> border_edge_split_point(PolygonEdge const& edge, Point<3> const& midpoint);

  std::vector<PolygonEdge> other_edges;

 private:
  //! Splits an edge of S at its projected midpoint when allowed, and lists
  //! the pieces of the split edge. \return whether a split was made.
  bool split_edge(PolygonEdge const& edge);
};

}  // namespace detail
}  // namespace tarnix
