#pragma once

//! The advancing-front remesher of one triangulated 2D surface.
//!
//! The remesher builds a new output surface on top of a working (input)
//! surface. Every output vertex copies an input vertex, and every output
//! edge exists in the working surface as a chain of input edges, a macro
//! edge, which the remesher cuts into the working surface when needed. The
//! front is a heap of output edges that still need a triangle on one side;
//! it starts on the border of the working surface and grows inward.

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stack>
#include <utility>
#include <vector>

#include <absl/container/flat_hash_map.h>
#include <absl/container/flat_hash_set.h>
#include <absl/container/inlined_vector.h>
#include <absl/types/optional.h>
#include <absl/types/span.h>

#include <morvex/cutter_surface/cut_along_path.h>
#include <morvex/cutter_surface/surface_path.h>
#include <morvex/modifier_surface/surface_edit_records.h>
#include <morvex/modifier_surface/triangulated_surface_epsilon_modifier.h>
#include <ulvane/basic/common.h>
#include <ulvane/geometry/basic_objects.h>
#include <ulvane/geometry/point.h>
#include <ulvane/mesh/mesh_handles.h>
#include <ulvane/mesh/triangulated_surface.h>
#include <ulvane/mesh/triangulated_surface_builder.h>

namespace tarnix {

template <index_t D>
class Metric;
template <typename T>
class VariableAttribute;

namespace detail {

//! The macro-edge ids that run along each local edge of a triangle.
using EdgeInfoLists = std::array<absl::InlinedVector<unsigned int, 1>, 3>;

//! One step of a macro-edge chain: the polygon edge that holds the macro
//! edge in its own "edge info" list, and whether the chain passes it from
//! its first vertex to its second (`forward`) or the other way.
struct OrientedPolygonEdge {
  PolygonEdge edge;
  bool forward;
};

//! A macro edge's chain of polygon edges, in order; most chains are short.
using MacroEdgeChain = absl::InlinedVector<OrientedPolygonEdge, 4>;
//! The steps of a walk across the working surface, the last on top; most
//! walks are short.
using SurfacePathStack = std::stack<SurfacePath, absl::InlinedVector<SurfacePath, 16>>;

//! One element of the front: an output edge from `start` to `end` (input
//! vertices) that still needs the triangle (start, end, apex). Points,
//! `length` and `size` are those of the time the record was made.
struct FrontEdge {
  unsigned int start;
  unsigned int end;
  Point<2> start_point;
  Point<2> end_point;
  double length;
  //! Target edge length at the midpoint.
  double size;
  //! 0: on the border of the working surface; 1: side of an output triangle.
  int kind;
  unsigned int macro_edge;
};

//! The macro-edge ids gathered around a vertex.
using MacroEdgeIds = absl::InlinedVector<unsigned int, 16>;

//! Start and end input vertex of a macro edge, as ids of the time it was made.
using MacroEdge = std::array<unsigned int, 2>;

//! The output triangles on the two sides of a macro edge: `first` made it
//! (NO_ID on the border), `second` closed it (NO_ID while open).
struct MacroEdgeSides {
  unsigned int first;
  unsigned int second;
};

//! Where an output vertex comes from.
struct OutputVertexOrigin {
  unsigned int input_vertex;
  //! 1 for a given vertex or a copy of one, else 0.
  std::uint8_t given;
};

//! The ideal apex of a front edge.
struct ApexPoint {
  Point<2> point;
  //! The working-surface triangle that holds the point.
  unsigned int triangle;
  //! The macro edge the apex lies on, NO_ID for none.
  unsigned int macro_edge;
};

//! An input vertex tried as apex, with its distance to the ideal apex.
struct CandidateVertex {
  unsigned int vertex;
  double distance;
};

//! One crossing of a front edge's perpendicular bisector with the working
//! surface.
struct BisectorCrossing {
  SurfacePath path;
  Point<2> point;
};

//! One side of a candidate output triangle.
struct CandidateSide {
  //! True when the side was cut now under an index not yet in the list of
  //! macro edges; false when an existing macro edge is reused.
  bool is_new;
  unsigned int macro_edge;
  unsigned int start;
  unsigned int end;
};

//! An input edge of the closed boundary of a candidate triangle. Records
//! are hashed and compared on `vertices` only, so the two polygon edges of
//! one input edge make one key.
struct RegionBoundaryEdge {
  //! The chain edge runs with the walk and has no twin: nothing of the
  //! working surface lies on the inner side.
  bool on_border;
  //! The polygon edge on the inner side (the chain edge when `on_border`).
  PolygonEdge edge;
  //! The two vertices of the input edge, smaller id first.
  std::array<unsigned int, 2> vertices;

  friend bool operator==(RegionBoundaryEdge const& a, RegionBoundaryEdge const& b) {
    return a.vertices == b.vertices;
  }
  template <typename H>
  friend H AbslHashValue(H h, RegionBoundaryEdge const& key) {
    return H::combine(std::move(h), key.vertices);
  }
};

//! An area of the working surface that the front left open, as a surface of
//! its own.
struct UnmeshedRegion {
  //! The copied uncovered triangles, then the ring triangles around the
  //! boundary; adjacencies computed.
  std::unique_ptr<TriangulatedSurface<2>> mesh;
  //! Per region vertex, the output vertex of its input vertex, or NO_ID.
  std::vector<unsigned int> to_output_vertex;
  //! Per region vertex, the input vertex it copies.
  std::vector<unsigned int> to_input_vertex;
  //! Per macro edge of the boundary cycle, the region vertices of its chain
  //! from its end vertex to its start vertex.
  std::vector<std::vector<unsigned int>> boundary_chains;
  //! The region ids of the ring triangles (always the last ids).
  std::vector<unsigned int> ring_triangles;
};

template <index_t D>
struct RemeshedSurface;

//! The result of the frontal remesher.
template <>
struct RemeshedSurface<2> {
  std::unique_ptr<TriangulatedSurface<2>> mesh;
  //! Entry o describes output vertex o.
  std::vector<OutputVertexOrigin> vertex_origins;
  //! One entry per open area that holds at least one triangle.
  absl::InlinedVector<UnmeshedRegion, 1> unmeshed_regions;
  //! Left empty by the remesher; a `complete_result` override may fill it.
  std::vector<std::uint64_t> auxiliary_entries;
};

//! The order of the front: true when front edge a is to be taken after b.
//! Border edges (kind 0) come first, shortest first; then edges of kind 1,
//! those closest to their target size first. Equal keys yield both ways.
struct FrontPriority {
  bool operator()(FrontEdge const& a, FrontEdge const& b) const;
};

//! The front as a priority queue in the order of `FrontPriority`. The heap
//! holds the sort keys and indices of the records, so reordering it reads
//! and moves no records; it takes its edges in the order a heap of the
//! records themselves would.
class FrontQueue {
 public:
  //! A record's place in the heap, with the keys `FrontPriority` compares:
  //! the kind, and the length (kind 0) or its distance to the size.
  struct Entry {
    double key;
    int kind;
    unsigned int record;
  };

  bool empty() const { return heap_.empty(); }
  std::size_t size() const { return heap_.size(); }
  //! The edge to take next. \pre not empty.
  FrontEdge const& top() const { return records_[heap_.front().record]; }
  void push(FrontEdge const& edge);
  //! Removes the edge `top` gives. \pre not empty.
  void pop();

 private:
  std::vector<FrontEdge> records_;
  //! The records in the front, ordered as a heap.
  std::vector<Entry> heap_;
  //! Records taken off the front, free for the next pushes.
  std::vector<unsigned int> free_;
};

//! Split-off copies of non-manifold given vertices: given vertex (as the
//! caller passed it) to the vertices made for its other fans.
using SplitCopies = absl::flat_hash_map<unsigned int, std::vector<unsigned int>>;
//! Input vertex or triangle to region vertex or triangle.
using RegionIndexMap = absl::flat_hash_map<unsigned int, unsigned int>;
using MacroEdgeCycles = absl::InlinedVector<std::vector<unsigned int>, 1>;
using RegionBoundarySet = absl::flat_hash_set<RegionBoundaryEdge>;

//! The ids one local search of the working surface has met, as a stamp per
//! id: each search takes a new stamp, so starting one clears nothing and a
//! lookup is one read, however many ids the search meets.
class IdMarks {
 public:
  //! Starts a search over ids below `size`.
  void start(std::size_t size) {
    if (stamps_.size() < size) stamps_.resize(size, 0);
    if (++stamp_ == 0) {
      // The stamps wrapped around: old stamps could be taken for new ones.
      std::fill(stamps_.begin(), stamps_.end(), 0);
      stamp_ = 1;
    }
  }
  //! Marks the id; false when the search marked it already.
  bool insert(unsigned int id) {
    std::uint32_t& stamp = stamps_[id];
    if (stamp == stamp_) return false;
    stamp = stamp_;
    return true;
  }

 private:
  std::vector<std::uint32_t> stamps_;
  std::uint32_t stamp_ = 0;
};

template <index_t D>
class RemeshAlgo;

//! The data every remeshing algorithm of one surface holds.
template <>
class RemeshAlgo<2> {
 protected:
  RemeshAlgo(Metric<2> const& metric_field, absl::Span<unsigned int const> given);

  Metric<2> const* metric;
  std::unique_ptr<TriangulatedSurface<2>> output_mesh;
  std::unique_ptr<TriangulatedSurfaceBuilder<2>> output_builder;
  //! Refers to the caller's array, which outlives the call.
  absl::Span<unsigned int const> given_vertices;
  //! One entry per output vertex, in creation order.
  std::vector<OutputVertexOrigin> vertex_origins;
};

template <index_t D>
class FrontalRemesher;

//! The advancing-front remesher. One object serves one call of
//! `remesh_surface`: constructed, prepared, seeded, run, emptied into the
//! result. Errors are exceptions; a front edge that cannot be closed is
//! dropped. Ids recorded before an edit of the working surface are
//! translated with `modifier.updated_vertex` before use.
template <>
class FrontalRemesher<2> : public RemeshAlgo<2> {
 public:
  FrontalRemesher(FrontalRemesher const&) = delete;
  FrontalRemesher& operator=(FrontalRemesher const&) = delete;
  virtual ~FrontalRemesher();

  // ---- Virtual operations, in the order of the table of virtual functions.

  //! Last step of `build_remeshed_surface`.
  virtual void complete_result(RemeshedSurface<2>& result) = 0;
  //! The crossings of the front edge's perpendicular bisector with the
  //! working surface, from the front edge inward; empty when fewer than two.
  virtual absl::optional<std::vector<BisectorCrossing>> bisector_crossings(
      FrontEdge const& edge) const = 0;
  //! Called after each new output triangle with the input triangles it covers.
  virtual void on_triangle_created(unsigned int triangle, unsigned int start, unsigned int end,
                                   unsigned int apex,
                                   absl::Span<unsigned int const> covered) = 0;
  //! Last test of a straight path from a to b.
  virtual bool are_cuts_valid(unsigned int a, unsigned int b,
                              absl::Span<GeometricSurfacePath<2> const> cuts) const = 0;
  //! Where the apex of the triangle on the front edge should go; empty when
  //! the bisector does not reach the uncovered side.
  virtual absl::optional<ApexPoint> ideal_point(FrontEdge const& edge) const = 0;
  //! The walk along the segment from a to b; empty when there is no
  //! admissible straight path.
  virtual absl::optional<std::vector<SurfacePath>> surface_path(unsigned int a,
                                                                unsigned int b) const = 0;
  //! The cut points of that walk.
  virtual std::vector<GeometricSurfacePath<2>> geometric_cuts(
      unsigned int a, unsigned int b, absl::Span<SurfacePath const> paths) const = 0;

  // ---- Const queries (also used by the walks across the working surface).

  TriangulatedSurface<2> const& input_surface() const { return input_mesh; }
  //! The output triangle covering the input triangle, 0xFFFFFFFE once taken
  //! into an unmeshed region, NO_ID while uncovered or before the polygon
  //! attributes exist.
  unsigned int triangle_info(unsigned int triangle) const;
  //! The macro edges on the polygon edge (its own list); empty when none or
  //! before the polygon attributes exist.
  absl::Span<unsigned int const> edge_info(PolygonEdge const& edge) const;
  //! The output vertex of the input vertex, NO_ID for none.
  unsigned int output_vertex_of(unsigned int vertex) const;
  bool is_vertex_locked(unsigned int vertex) const;
  std::vector<MacroEdge> const& macro_edge_list() const { return macro_edges; }
  std::vector<MacroEdgeSides> const& macro_edge_side_list() const { return macro_edge_sides; }
  std::vector<OutputVertexOrigin> const& output_vertex_origins() const { return vertex_origins; }
  TriangulatedSurface<2> const& output_surface() const { return *output_mesh; }
  FrontQueue const& front_queue() const { return front; }

  // ---- Entry, front and main loop.

  //! The output vertex of input vertex v, made on first request; an
  //! existing one keeps its `given` flag.
  unsigned int output_vertex(unsigned int v, bool given);
  FrontEdge construct_front_edge(unsigned int start, unsigned int end, int kind) const;
  //! Pushes a front edge with a new macro edge made by `first_side`;
  //! returns the macro edge's id.
  unsigned int add_front_edge(unsigned int start, unsigned int end, unsigned int first_side,
                              int kind);
  //! Takes front edges until the front is empty.
  void advance_front();
  //! Tries the candidate vertices near the apex, or the apex inserted into
  //! the working surface when there is none. True when a triangle was built.
  bool try_candidates(FrontEdge& edge, ApexPoint const& apex, double radius);

  // ---- Preparation and initial front.

  //! Splits non-manifold given vertices, collapses degenerate edges, locks
  //! the given vertices and gives them output vertices.
  void prepare_surface();
  //! \throw UlvaneException naming the vertex when its fans cannot account
  //! for all its corners.
  SplitCopies split_non_manifold_vertices();
  //! Splits the inner working edges much longer than the target length at
  //! their midpoints, longest edge of each triangle first, flipping the
  //! slivers around each new point away; needs the polygon attributes.
  void refine_coarse_triangles();
  //! The diagonal of the bounding box of the active working triangles.
  double working_diagonal() const;
  void create_polygon_attributes();
  //! Seeds the front with the border stretches between vertices that have
  //! output vertices, then writes the debug dump.
  void initialize_front();
  //! Writes a cleaned copy of the working surface to "/tmp/iter<N>.ul_tsf2d",
  //! N taken from `dump_counter`. The file is replaced, never written
  //! through a symbolic link nor into a file of another user; a dump that
  //! cannot be written is logged as a warning and the run goes on.
  void dump_iteration() const;
  //! Joins output triangle t to the output triangle on the first side of
  //! macro edge m across the edge (b, a).
  void link_adjacent_triangles(unsigned int a, unsigned int b, unsigned int t, unsigned int m);

  // ---- Result.

  RemeshedSurface<2> build_remeshed_surface();
  //! The open macro edges chained head to tail into cycles.
  MacroEdgeCycles open_macro_edge_cycles() const;
  absl::optional<UnmeshedRegion> extract_region(absl::Span<unsigned int const> cycle);
  unsigned int copy_triangle_to_region(TriangulatedSurfaceBuilder<2>& builder,
                                       RegionIndexMap& triangle_map, RegionIndexMap& vertex_map,
                                       unsigned int t) const;

  // ---- Candidates.

  std::vector<CandidateVertex> candidate_vertices(FrontEdge const& edge, ApexPoint const& apex,
                                                  double radius) const;

  // ---- Macro edges.

  //! The youngest macro edge in the own list, else in the twin's list,
  //! else NO_ID.
  unsigned int macro_edge_of(PolygonEdge const& edge) const;
  bool carries_macro_edge(PolygonEdge const& edge) const;
  //! The marks of the edges around v, fan by fan: per corner, those of the
  //! edge leaving v, then of the edge entering it.
  MacroEdgeIds macro_edges_around(unsigned int v) const;
  absl::optional<unsigned int> common_macro_edge(unsigned int a, unsigned int b) const;
  absl::optional<unsigned int> find_macro_edge(unsigned int a, unsigned int b) const;
  absl::InlinedVector<OrientedPolygonEdge, 4> macro_edge_edges_around(unsigned int m,
                                                                      unsigned int v) const;
  absl::optional<OrientedPolygonEdge> next_chain_edge(OrientedPolygonEdge const& current,
                                                      unsigned int m) const;
  //! \throw UlvaneException when the walk would not end.
  MacroEdgeChain macro_edge_chain(unsigned int a, unsigned int b, unsigned int m) const;
  absl::optional<std::vector<GeometricSurfacePath<2>>> straight_path(unsigned int a,
                                                                     unsigned int b) const;
  CandidateSide existing_side(unsigned int a, unsigned int b, unsigned int m) const;
  absl::optional<CandidateSide> make_macro_edge(unsigned int a, unsigned int b,
                                                unsigned int c);
  std::pair<std::vector<PolygonEdge>, std::vector<PolygonEdge>> collect_cut_edges(
      SurfaceCutPathInfo const& info);
  void mark_macro_edge(absl::Span<PolygonEdge const> edges, unsigned int m);
  void unmark_macro_edge(CandidateSide const& side);
  void merge_edge_info(absl::Span<PolygonEdgePair const> pairs);
  void merge_edge_info_in_ranges(absl::Span<SurfaceCutEdge const> entries);
  void update_edge_vertices(FrontEdge& edge) const;

  // ---- Closing a front edge.

  bool try_vertex(FrontEdge& edge, unsigned int a);
  void toggle_chain_edges(unsigned int a, unsigned int b, unsigned int m,
                          RegionBoundarySet& set) const;
  std::vector<unsigned int> enclosed_triangles(CandidateSide const& side1,
                                               CandidateSide const& side2,
                                               FrontEdge const& edge) const;
  bool region_touches_macro_edge(absl::Span<unsigned int const> region, unsigned int m) const;
  absl::flat_hash_set<unsigned int> vertices_in_region(absl::Span<unsigned int const> region,
                                                       FrontEdge const& edge,
                                                       unsigned int apex) const;
  void build_triangle(FrontEdge const& edge, CandidateSide const& side1,
                      CandidateSide const& side2, unsigned int apex,
                      absl::Span<unsigned int const> region);
  void rollback_candidate(CandidateSide const& side1, CandidateSide const& side2,
                          absl::Span<unsigned int const> region);
  bool is_triangle_covered(unsigned int triangle) const;
  bool has_output_vertex(unsigned int vertex) const;

 protected:
  FrontalRemesher(TriangulatedSurface<2> const& surface, TriangulatedSurfaceBuilder<2>& builder,
                  Metric<2> const& metric_field, absl::Span<unsigned int const> given);

  //! Whether vertex a lies strictly left of the front edge, where its
  //! output triangle goes.
  bool is_left_of(FrontEdge const& edge, unsigned int a) const;
  //! `try_vertex` at the given nesting depth of withdrawn candidates.
  bool try_vertex_within(FrontEdge& edge, unsigned int a, std::size_t depth);
  //! The vertex a chain step starts from, and the one it ends at.
  unsigned int chain_start(OrientedPolygonEdge const& edge) const;
  unsigned int chain_end(OrientedPolygonEdge const& edge) const;
  //! Macro edge m's chain from `first` on, until a step ends at `target`.
  //! \throw UlvaneException when the marks break off (the walk would turn
  //! back) or the chain grows longer than the surface has polygon edges.
  MacroEdgeChain follow_chain(OrientedPolygonEdge const& first, unsigned int m,
                              unsigned int target) const;
  //! An estimate of the number of working triangles at the end of the
  //! run, from the area the metric asks to fill; bounds the refinement.
  std::size_t expected_nb_working_triangles() const;
  //! The first entry of `around_b`, in its order, that `around_a` holds.
  static absl::optional<unsigned int> first_common_entry(absl::Span<unsigned int const> around_a,
                                                         absl::Span<unsigned int const> around_b);
  //! m when it is a macro edge from a to b (its ends through
  //! `updated_vertex`), else none.
  absl::optional<unsigned int> if_runs_from_to(absl::optional<unsigned int> m, unsigned int a,
                                               unsigned int b) const;
  //! Removes the first occurrence of m from the own list of every step of
  //! the chain, computed beforehand.
  void unmark_chain(absl::Span<OrientedPolygonEdge const> chain, unsigned int m);
  //! Sets `cut_chain` to the chain from a to b of the side just cut, from
  //! its marked polygon edges; leaves it empty when they form no such chain.
  void record_cut_chain(absl::Span<PolygonEdge const> against,
                        absl::Span<PolygonEdge const> along_border, unsigned int a,
                        unsigned int b);
  //! Whether the chain still runs from `start` through active polygon
  //! edges that hold macro edge m, one after the other.
  bool is_chain_intact(absl::Span<OrientedPolygonEdge const> chain, unsigned int start,
                       unsigned int m) const;
  //! Flips the unmarked edges between uncovered triangles among the pieces
  //! of a cut (the triangles from `first_piece` on) while that improves
  //! their shape, and moves `cut_chain` to the triangles made.
  void improve_cut_pieces(unsigned int first_piece);
  //! Makes the segment from a to b, whose straight path has the cuts
  //! given, an input edge by flipping the input edges it crosses, when the
  //! path only crosses edge interiors. Returns the polygon edge from b to a,
  //! or none when the segment crosses nothing or cannot be made so;
  //! `changed` tells whether flips were made all the same.
  absl::optional<PolygonEdge> flip_in_side(unsigned int a, unsigned int b,
                                           absl::Span<GeometricSurfacePath<2> const> cuts,
                                           bool& changed);
  //! The polygon edges that the straight path from a to b with these cuts
  //! crosses, from a on, each running from the segment's right to its left;
  //! none when a cut names a vertex before b.
  absl::optional<absl::InlinedVector<PolygonEdge, 8>> flippable_crossings(
      unsigned int a, unsigned int b, absl::Span<GeometricSurfacePath<2> const> cuts) const;
  //! Rewrites the edge's two triangles (a, b, c) and (b, a, d) in place as
  //! (a, d, c) and (b, c, d); returns their four outer edges.
  std::array<PolygonEdge, 4> flip_edge(PolygonEdge const& edge);
  //! Flips the pending edges by `flip_if_better`, queueing the outer edges
  //! of every flip, until none is left or `nb_flips` flips were made.
  void flip_pending(std::vector<PolygonEdge>& pending, std::size_t nb_flips);
  //! Flips the edge when both its triangles are uncovered, it carries no
  //! macro edge and the worse of the two triangles gets better shaped;
  //! the two triangles are rewritten in place. Returns their four outer
  //! edges.
  absl::optional<std::array<PolygonEdge, 4>> flip_if_better(PolygonEdge const& edge);
  //! The boundary set and region of `enclosed_triangles`, keeping the
  //! chains of the two sides for a rollback; a chain given non-empty is
  //! used as it is.
  std::vector<unsigned int> enclosed_triangles(CandidateSide const& side1,
                                               CandidateSide const& side2, FrontEdge const& edge,
                                               MacroEdgeChain& chain1,
                                               MacroEdgeChain& chain2) const;
  //! Toggles the records of the chain's input edges in the set.
  void toggle_chain(absl::Span<OrientedPolygonEdge const> chain, RegionBoundarySet& set) const;
  //! Appends the entries of the replaced edge's own list to the new edge's.
  void append_edge_info(PolygonEdge const& to, PolygonEdge const& from);
  EdgeInfoLists const& edge_lists(unsigned int triangle) const;
  void set_edge_list(PolygonEdge const& edge, absl::InlinedVector<unsigned int, 1> list);
  void clear_edge_list(PolygonEdge const& edge);

  TriangulatedSurface<2> const& input_mesh;
  TriangulatedSurfaceBuilder<2>& input_builder;
  TriangulatedSurfaceEpsilonModifier<2> modifier;
  FrontQueue front;
  std::shared_ptr<VariableAttribute<unsigned int>> vertex_info;
  std::shared_ptr<VariableAttribute<bool>> vertex_lock;
  //! "triangle info"; the name `triangle_info` is the query above.
  std::shared_ptr<VariableAttribute<unsigned int>> triangle_info_attribute;
  //! "edge info"; the name `edge_info` is the query above.
  std::shared_ptr<VariableAttribute<EdgeInfoLists>> edge_info_attribute;
  std::vector<MacroEdgeSides> macro_edge_sides;
  std::vector<MacroEdge> macro_edges;
  //! The chain of the side the last `make_macro_edge` cut, empty when it
  //! cut nothing.
  MacroEdgeChain cut_chain;
  //! min(1, `working_diagonal()`), set by `prepare_surface`: the absolute
  //! distance tolerances scale with it, so small models keep their shape.
  double tolerance_scale = 1.0;
  //! The triangles and the vertices met by the searches of the candidate
  //! vertices and of the region a candidate encloses.
  mutable IdMarks triangle_marks;
  mutable IdMarks vertex_marks;
};

//! The concrete frontal remesher of 2D surfaces.
class FrontalRemesher2D : public FrontalRemesher<2> {
 public:
  FrontalRemesher2D(TriangulatedSurface<2> const& surface, TriangulatedSurfaceBuilder<2>& builder,
                    Metric<2> const& metric_field, absl::Span<unsigned int const> given);
  ~FrontalRemesher2D() override;

  void complete_result(RemeshedSurface<2>& result) override;
  absl::optional<std::vector<BisectorCrossing>> bisector_crossings(
      FrontEdge const& edge) const override;
  void on_triangle_created(unsigned int triangle, unsigned int start, unsigned int end,
                           unsigned int apex, absl::Span<unsigned int const> covered) override;
  bool are_cuts_valid(unsigned int a, unsigned int b,
                      absl::Span<GeometricSurfacePath<2> const> cuts) const override;
  absl::optional<ApexPoint> ideal_point(FrontEdge const& edge) const override;
  absl::optional<std::vector<SurfacePath>> surface_path(unsigned int a,
                                                        unsigned int b) const override;
  std::vector<GeometricSurfacePath<2>> geometric_cuts(
      unsigned int a, unsigned int b, absl::Span<SurfacePath const> paths) const override;

  //! The line walk from the front edge's macro-edge chain, stopping beyond
  //! `distance` from the line's origin; the last crossing on top.
  absl::optional<SurfacePathStack> propagate_along_line(FrontEdge const& edge,
                                                        InfiniteLine<2> const& line,
                                                        double distance) const;
  //! The macro edge at and the point of the vertex of triangle t that the
  //! point snaps to, if any.
  absl::optional<std::pair<unsigned int, Point<2>>> snap_to_polygon_vertex(
      unsigned int t, Point<2> const& point) const;
};

//! Remeshes the working surface to the metric by an advancing front. The
//! given vertices reappear in the result. The surface is edited through
//! the builder and keeps the attributes "vertex info", "vertex lock",
//! "triangle info" and "edge info". Each run writes a debug copy of the
//! prepared surface to "/tmp/iter<N>.ul_tsf2d".
//! \pre `builder` edits `surface`.
//! \throw UlvaneException "[detail::remesh_surface] ..." before any edit
//! when the surface has a coordinate that is not finite, a vertex in no
//! triangle, a triangle that is not counter-clockwise, overlapping
//! triangles or wrong adjacencies, when a given vertex is not one of its
//! vertices, or when the metric asks for more than 2^31 triangles; and at
//! any read of the metric that gives a length that is not positive and
//! finite.
//! \throw UlvaneException (and the container errors) when a step fails;
//! no result is returned then.
RemeshedSurface<2> remesh_surface(TriangulatedSurface<2> const& surface,
                                  TriangulatedSurfaceBuilder<2>& builder,
                                  Metric<2> const& metric,
                                  absl::Span<unsigned int const> given_vertices);

//! `remesh_surface` without its checks of the surface, the given vertices
//! and the output size, for a caller that made them on the surface it
//! derived this one from (the Section driver); every read of the metric is
//! still checked, with the same messages.
RemeshedSurface<2> remesh_checked_surface(TriangulatedSurface<2> const& surface,
                                          TriangulatedSurfaceBuilder<2>& builder,
                                          Metric<2> const& metric,
                                          absl::Span<unsigned int const> given_vertices);

//! The process-wide number of the next debug dump (0 when the library is
//! loaded, raised by one by each dump as it takes its number, whether the
//! write then succeeds or not).
std::atomic<unsigned int>& dump_counter();

}  // namespace detail
}  // namespace tarnix
