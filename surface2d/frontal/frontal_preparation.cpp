// Preparation of the working surface, the polygon attributes, the initial
// front and the debug dump.

#include <tarnix/surface2d/frontal_remesher.h>

#include "driver/input_checks.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cmath>
#include <cstddef>
#include <string>
#include <vector>

#include <absl/functional/function_ref.h>
#include <absl/strings/str_cat.h>

#include <common/variable_attribute.h>
#include <morvex/modifier_surface/triangulated_surface_modifier.h>
#include <ulvane/basic/logger.h>
#include <ulvane/basic/ulvane_exception.h>
#include <ulvane/mesh/triangulated_surface_io.h>
#include <vantrel/core.h>

namespace tarnix {
namespace detail {
namespace {

// Edges not longer than this are collapsed before the front starts.
constexpr double DEGENERATE_EDGE_LENGTH = 1e-6;
// Longest border stretch one initial front edge may take.
constexpr unsigned int MAX_BORDER_WALK = 10001;
// A generous bound on the working triangles per output triangle, removed
// ones included (measured: 1.8 to 2.5 from coarse inputs, the input's own
// count plus about one from finer ones), used to bound the refinement.
constexpr double WORKING_TRIANGLES_PER_OUTPUT = 32.0;
// The sizing never reserves more than this many times the initial count,
// nor more than the absolute bound.
constexpr std::size_t MAX_RESERVE_FACTOR = 1000;
constexpr std::size_t MAX_RESERVE = std::size_t{1} << 25;
// Inner edges longer than this many target lengths are split before the
// front starts.
constexpr double REFINED_EDGE_FACTOR = 4.0;
// The only state of the library that outlives a call.
std::atomic<unsigned int> dump_counter_storage{0};

// Whether the shape measure of every triangle on the surface's points is a
// number: no active triangle's three points coincide, and every coordinate
// is zero or of a size whose squared differences neither overflow nor
// vanish. Its comparisons then do not depend on their order.
bool shapes_are_numbers(TriangulatedSurface<2> const& mesh) {
  constexpr double smallest = 1e-100;
  constexpr double largest = 1e100;
  for (unsigned int v = 0; v < mesh.nb_vertices(); ++v) {
    for (int c = 0; c < 2; ++c) {
      const double x = std::fabs(mesh.point(v).value(c));
      if (!(x == 0.0 || (x >= smallest && x <= largest))) return false;
    }
  }
  for (unsigned int t = 0; t < mesh.nb_polygons(); ++t) {
    if (!mesh.is_polygon_active(t)) continue;
    Point<2> const& p0 = mesh.point(mesh.polygon_vertex({t, 0}));
    if (p0 == mesh.point(mesh.polygon_vertex({t, 1})) &&
        p0 == mesh.point(mesh.polygon_vertex({t, 2}))) {
      return false;
    }
  }
  return true;
}

// Flips the pending edges as `flip_pending` does, for a list that holds
// every inner edge from both sides. A refusal reads the surface the same
// way from either side of the edge (given shapes that are numbers), and a
// refusal changes nothing: so until the next flip, the side met second is
// refused without a new test.
void flip_both_sides(TriangulatedSurface<2> const& mesh, std::vector<PolygonEdge>& pending,
                     std::size_t nb_flips,
                     absl::FunctionRef<absl::optional<std::array<PolygonEdge, 4>>(PolygonEdge const&)>
                         flip_if_better) {
  // Per edge, 1 + the number of flips made when its other side was
  // refused; 0 for none.
  std::vector<std::size_t> refused_after(3 * std::size_t{mesh.nb_polygons()}, 0);
  std::size_t nb_made = 0;
  while (!pending.empty() && nb_flips > 0) {
    const PolygonEdge edge = pending.back();
    pending.pop_back();
    const std::size_t slot = 3 * std::size_t{edge.polygon_id} + edge.edge_id;
    if (refused_after[slot] == nb_made + 1) continue;
    if (const auto outer = flip_if_better(edge)) {
      --nb_flips;
      ++nb_made;
      pending.insert(pending.end(), outer->begin(), outer->end());
      continue;
    }
    if (!mesh.is_polygon_active(edge.polygon_id)) continue;
    const auto twin = mesh.polygon_adjacent_edge(edge);
    if (!twin || !mesh.is_polygon_active(twin->polygon_id) ||
        mesh.polygon_adjacent_edge(*twin) != edge) {
      continue;
    }
    refused_after[3 * std::size_t{twin->polygon_id} + twin->edge_id] = nb_made + 1;
  }
}

}  // namespace

std::atomic<unsigned int>& dump_counter() { return dump_counter_storage; }

void FrontalRemesher<2>::prepare_surface() {
  const SplitCopies copies = split_non_manifold_vertices();

  // Each collapse removes at least one active triangle and none is added,
  // so the passes end; the guard only states that.
  unsigned int nb_active = 0;
  for (unsigned int t = 0; t < input_mesh.nb_polygons(); ++t) {
    if (modifier.is_triangle_active(t)) ++nb_active;
  }
  // The given vertices and their copies must survive the collapses: a
  // collapse keeps the given end, and an edge between two given vertices
  // stays.
  absl::flat_hash_set<unsigned int> kept_vertices(given_vertices.begin(), given_vertices.end());
  for (auto const& entry : copies) kept_vertices.insert(entry.second.begin(), entry.second.end());
  tolerance_scale = std::min(1.0, working_diagonal());
  const double degenerate_length = DEGENERATE_EDGE_LENGTH * tolerance_scale;
  // An edge with a coordinate difference above twice the bound is longer
  // than the bound whatever the rounding of its length: only the others
  // are measured. That holds while such differences square to normal
  // numbers.
  const double clearly_long = 2.0 * degenerate_length;
  const bool screen_lengths = clearly_long >= 1e-150;
  unsigned int nb_passes = 0;
  bool changed = true;
  while (changed) {
    if (++nb_passes > nb_active + 1) {
      throw UlvaneException("[FrontalRemesher::prepare_surface] The collapse passes do not end");
    }
    changed = false;
    const unsigned int n = input_mesh.nb_polygons();
    for (unsigned int t = 0; t < n; ++t) {
      if (!modifier.is_triangle_active(t)) continue;
      for (local_index_t j = 0; j < 3; ++j) {
        const PolygonEdge edge{t, j};
        const auto ends = input_mesh.polygon_edge_vertices(edge);
        if (screen_lengths) {
          Point<2> const& p0 = input_mesh.point(ends[0]);
          Point<2> const& p1 = input_mesh.point(ends[1]);
          if (std::fabs(p1.value(0) - p0.value(0)) > clearly_long ||
              std::fabs(p1.value(1) - p0.value(1)) > clearly_long) {
            continue;
          }
        }
        // A length that is not a number counts as degenerate.
        if (input_mesh.edge_length(edge) > degenerate_length) continue;
        const bool keep0 = kept_vertices.contains(ends[0]);
        const bool keep1 = kept_vertices.contains(ends[1]);
        if (keep0 && keep1) continue;
        PolygonEdge collapsed = edge;
        if (keep1) {
          // The modifier keeps the end at the target point, vertex 0 on a
          // tie: from the twin side, vertex 0 is the given end. A border
          // edge with coinciding ends cannot keep its second end: it stays.
          const auto twin = input_mesh.polygon_adjacent_edge(edge);
          if (twin) {
            collapsed = *twin;
          } else if (input_mesh.point(ends[0]) == input_mesh.point(ends[1])) {
            continue;
          }
        }
        // A collapse that would pinch the surface (a triangle left hanging
        // by one vertex, whose fans the front cannot walk) is not made.
        if (!is_collapse_edge_link_valid<2>(input_mesh, collapsed)) continue;
        const unsigned int target = keep1 ? ends[1] : ends[0];
        modifier.collapse_edge(collapsed, input_mesh.point(target));
        changed = true;
        break;
      }
    }
  }

  for (const unsigned int given : given_vertices) {
    const unsigned int v = modifier.updated_vertex(given);
    output_vertex(v, true);
    vertex_lock->set_value(v, true);
    const auto found = copies.find(given);
    if (found == copies.end()) continue;
    for (const unsigned int copy : found->second) {
      const unsigned int c = modifier.updated_vertex(copy);
      output_vertex(c, true);
      vertex_lock->set_value(c, true);
    }
  }
}

void FrontalRemesher<2>::refine_coarse_triangles() {
  // A cut joins its new points to the far corners of the triangles it
  // divides, so cutting many short sides into one large triangle fills it
  // with slivers that every later cut crosses again, and the working
  // surface grows with the square of the number of cuts. Splitting the
  // long inner edges first gives the cuts triangles of about their length.
  // Border edges stay: they hold the given vertices' stretches. An inner
  // edge is measured against the longest border edge of its two triangles
  // too, since no split makes a triangle on a long border edge small.
  const auto longest_border_edge = [this](unsigned int triangle) {
    double length = 0.0;
    for (local_index_t j = 0; j < 3; ++j) {
      const PolygonEdge edge{triangle, j};
      if (input_mesh.is_edge_on_border(edge)) length = std::max(length, input_mesh.edge_length(edge));
    }
    return length;
  };
  // A surface made of slivers (a triangulation of its border alone) is
  // flipped to better shapes first, so that the splits below fall on
  // short edges across the surface instead of along the slivers.
  std::vector<PolygonEdge> pending;
  const unsigned int nb_initial = input_mesh.nb_polygons();
  for (unsigned int t = 0; t < nb_initial; ++t) {
    if (!modifier.is_triangle_active(t)) continue;
    for (local_index_t j = 0; j < 3; ++j) pending.push_back({t, j});
  }
  const std::size_t nb_initial_flips = 8 * std::size_t{nb_initial} + 8;
  if (shapes_are_numbers(input_mesh)) {
    flip_both_sides(input_mesh, pending, nb_initial_flips,
                    [this](PolygonEdge const& edge) { return flip_if_better(edge); });
  } else {
    flip_pending(pending, nb_initial_flips);
  }
  // Refinement stops at the working-triangle count the run is sized for.
  // The flips rewrite triangles already passed, so passes repeat while one
  // splits an edge; each split adds triangles, so the bound ends them.
  const std::size_t bound = expected_nb_working_triangles();
  // The target and the length of an inner edge depend on its two ends
  // only, and no point moves here: the side of an edge measured second
  // takes them from the first side when that one still joins the same
  // two vertices.
  struct MeasuredEdge {
    unsigned int from{NO_ID};
    unsigned int to{NO_ID};
    double size;
    double length;
  };
  std::vector<MeasuredEdge> measured;
  const auto measure = [this, &measured](PolygonEdge const& edge,
                                         std::array<unsigned int, 2> const& ends) {
    MeasuredEdge& slot = measured[3 * std::size_t{edge.polygon_id} + edge.edge_id];
    if (const auto twin = input_mesh.polygon_adjacent_edge(edge)) {
      MeasuredEdge const& other = measured[3 * std::size_t{twin->polygon_id} + twin->edge_id];
      if (other.from == ends[1] && other.to == ends[0]) {
        slot = {ends[0], ends[1], other.size, other.length};
        return slot;
      }
    }
    const Point<2> middle = (input_mesh.point(ends[0]) + input_mesh.point(ends[1])) * 0.5;
    slot = {ends[0], ends[1], metric->edge_length(middle), input_mesh.edge_length(edge)};
    return slot;
  };
  bool split = true;
  while (split && input_mesh.nb_polygons() < bound) {
    split = false;
    for (unsigned int t = 0; t < input_mesh.nb_polygons() && input_mesh.nb_polygons() < bound;
         ++t) {
      if (!modifier.is_triangle_active(t)) continue;
      if (measured.size() < 3 * std::size_t{input_mesh.nb_polygons()}) {
        measured.resize(3 * std::size_t{input_mesh.nb_polygons()});
      }
      absl::optional<PolygonEdge> longest;
      double longest_excess = 1.0;
      for (local_index_t j = 0; j < 3; ++j) {
        const PolygonEdge edge{t, j};
        if (input_mesh.is_edge_on_border(edge)) continue;
        const auto ends = input_mesh.polygon_edge_vertices(edge);
        const MeasuredEdge measures = measure(edge, ends);
        const double size = measures.size;
        if (!std::isfinite(size) || !(size > 0.0)) continue;
        // The border edges can only lower the excess: they are looked at
        // only for an edge long against the target.
        const double length = measures.length;
        if (!(length / (REFINED_EDGE_FACTOR * size) > longest_excess)) continue;
        const double border = std::max(
            longest_border_edge(t), longest_border_edge(input_mesh.polygon_adjacent(edge).value()));
        const double excess = length / (REFINED_EDGE_FACTOR * std::max(size, border));
        if (excess > longest_excess) {
          longest_excess = excess;
          longest = edge;
        }
      }
      if (!longest) continue;
      const auto ends = input_mesh.polygon_edge_vertices(*longest);
      // The split triangles are appended, so this pass visits them later.
      const unsigned int first_new = input_mesh.nb_polygons();
      modifier.insert_point_on_edge(*longest,
                                    (input_mesh.point(ends[0]) + input_mesh.point(ends[1])) * 0.5);
      if (input_mesh.nb_polygons() == first_new) continue;
      split = true;
      // The edges of the new triangles are flipped while that pays.
      pending.clear();
      for (unsigned int n = first_new; n < input_mesh.nb_polygons(); ++n) {
        for (local_index_t j = 0; j < 3; ++j) pending.push_back({n, j});
      }
      flip_pending(pending, 64);
    }
  }
}

double FrontalRemesher<2>::working_diagonal() const {
  double low[2] = {0.0, 0.0};
  double high[2] = {0.0, 0.0};
  bool empty = true;
  for (unsigned int t = 0; t < input_mesh.nb_polygons(); ++t) {
    if (!modifier.is_triangle_active(t)) continue;
    for (local_index_t k = 0; k < 3; ++k) {
      Point<2> const& p = input_mesh.point(input_mesh.polygon_vertex({t, k}));
      for (int c = 0; c < 2; ++c) {
        const double x = p.value(c);
        if (empty || x < low[c]) low[c] = x;
        if (empty || x > high[c]) high[c] = x;
      }
      empty = false;
    }
  }
  return std::hypot(high[0] - low[0], high[1] - low[1]);
}

SplitCopies FrontalRemesher<2>::split_non_manifold_vertices() {
  // The corners of the given vertices, in triangle order then local order.
  absl::flat_hash_map<unsigned int, std::vector<PolygonVertex>> corners;
  std::vector<bool> is_given(input_mesh.nb_vertices(), false);
  for (const unsigned int given : given_vertices) {
    corners.try_emplace(given);
    if (given < is_given.size()) is_given[given] = true;
  }
  for (unsigned int t = 0; t < input_mesh.nb_polygons(); ++t) {
    // Removed triangles are in no fan, so their corners cannot be counted.
    if (!modifier.is_triangle_active(t)) continue;
    for (local_index_t k = 0; k < 3; ++k) {
      const unsigned int v = input_mesh.polygon_vertex({t, k});
      if (is_given[v]) corners[v].emplace_back(t, k);
    }
  }

  SplitCopies result;
  for (const unsigned int f : given_vertices) {
    auto const& all_corners = corners.at(f);
    const std::size_t total = all_corners.size();
    auto fan = input_mesh.polygons_around_vertex(f);
    if (fan.size() == total || result.contains(f)) continue;
    absl::flat_hash_set<PolygonVertex> seen;
    std::vector<unsigned int> copies;
    std::size_t found = fan.size();
    // Each round moves one non-empty fan to a new vertex, so the fans
    // account for every corner within `total` rounds, or the mesh is broken.
    while (found != total) {
      if (fan.empty() || found > total) {
        throw UlvaneException(
            "[FrontalRemesher::split_non_manifold_vertices] The fans of vertex ",
            absl::StrCat(f, " do not account for its ", total, " corners"));
      }
      seen.insert(fan.begin(), fan.end());
      const unsigned int copy = input_builder.create_point(input_mesh.point(f));
      input_builder.replace_vertex(f, copy);
      const auto unseen = std::find_if(all_corners.begin(), all_corners.end(),
                                       [&seen](PolygonVertex const& c) { return !seen.contains(c); });
      if (unseen != all_corners.end()) input_builder.associate_polygon_vertex_to_vertex(*unseen, f);
      copies.push_back(copy);
      fan = input_mesh.polygons_around_vertex(f);
      found += fan.size();
    }
    result.emplace(f, std::move(copies));
  }
  return result;
}

std::size_t FrontalRemesher<2>::expected_nb_working_triangles() const {
  const std::size_t nb_input = input_mesh.nb_polygons();
  const double expected = static_cast<double>(nb_input) +
                          WORKING_TRIANGLES_PER_OUTPUT * estimated_nb_triangles(input_mesh, *metric);
  const double bound = static_cast<double>(std::min(MAX_RESERVE_FACTOR * nb_input, MAX_RESERVE));
  // Written so that a sum that is not a number gives the bound.
  return static_cast<std::size_t>(expected < bound ? expected : bound);
}

void FrontalRemesher<2>::create_polygon_attributes() {
  // Room for ten times what the prepared surface holds; beyond that the
  // storages grow geometrically. A reserve sized from the metric would ask
  // for address space that the input does not justify, and a system that
  // does not overcommit refuses it on valid input.
  input_mesh.vertex_attribute_manager().reserve(10 * input_mesh.nb_vertices());
  auto& polygon_manager = input_mesh.polygon_attribute_manager();
  polygon_manager.reserve(10 * input_mesh.nb_polygons());
  triangle_info_attribute = polygon_manager.find_or_create_attribute<VariableAttribute, unsigned int>(
      "triangle info", NO_ID, ATTRIBUTE_DERIVABLE);
  edge_info_attribute = polygon_manager.find_or_create_attribute<VariableAttribute, EdgeInfoLists>(
      "edge info", EdgeInfoLists{}, 0);
}

void FrontalRemesher<2>::initialize_front() {
  const unsigned int n = input_mesh.nb_polygons();
  for (unsigned int t = 0; t < n; ++t) {
    if (!modifier.is_triangle_active(t)) continue;
    for (local_index_t j = 0; j < 3; ++j) {
      PolygonEdge edge{t, j};
      const unsigned int b = input_mesh.polygon_edge_vertex(edge, 0);
      if (!input_mesh.is_edge_on_border(edge) || vertex_info->value(b) == NO_ID) continue;
      const auto m = static_cast<unsigned int>(macro_edges.size());
      unsigned int c = NO_ID;
      unsigned int nb_marked = 0;
      do {
        edge_info_attribute->modifiable_value(edge.polygon_id)[edge.edge_id].push_back(m);
        ++nb_marked;
        edge = input_mesh.next_on_border(edge);
        c = input_mesh.polygon_edge_vertex(edge, 0);
      } while (vertex_info->value(c) == NO_ID && nb_marked < MAX_BORDER_WALK);
      output_vertex(b, false);
      output_vertex(c, false);
      front.push(construct_front_edge(b, c, 0));
      macro_edges.push_back({b, c});
      macro_edge_sides.push_back({NO_ID, NO_ID});
    }
  }
  dump_iteration();
}

namespace {

// Whether cleaning the surface would change it: a removed triangle, or a
// vertex that no triangle uses.
bool needs_clean(TriangulatedSurface<2> const& mesh) {
  std::vector<bool> used(mesh.nb_vertices(), false);
  for (unsigned int t = 0; t < mesh.nb_polygons(); ++t) {
    if (!mesh.is_polygon_active(t)) return true;
    for (local_index_t k = 0; k < 3; ++k) used[mesh.polygon_vertex({t, k})] = true;
  }
  return std::find(used.begin(), used.end(), false) != used.end();
}

// Writes the surface to the file without following a symbolic link there
// and without writing into a file another user owns: the surface goes to a
// private new file beside it, which then replaces the name. False, with the
// reason logged, when the dump could not be made.
bool save_privately(TriangulatedSurface<2> const& surface, std::string const& file) {
  struct stat existing;
  if (::lstat(file.c_str(), &existing) == 0 && !S_ISLNK(existing.st_mode) &&
      existing.st_uid != ::geteuid()) {
    Logger::log_warn("[FrontalRemesher::dump_iteration] ", file,
                     " belongs to another user; no debug dump written");
    return false;
  }
  std::string temporary = file + ".XXXXXX";
  const int descriptor = ::mkstemp(&temporary[0]);
  if (descriptor < 0) {
    Logger::log_warn("[FrontalRemesher::dump_iteration] Cannot create a file beside ", file, ": ",
                     std::strerror(errno));
    return false;
  }
  ::close(descriptor);
  try {
    save_triangulated_surface<2>(surface, temporary);
  } catch (UlvaneException const& error) {
    ::unlink(temporary.c_str());
    Logger::log_warn("[FrontalRemesher::dump_iteration] ", error.what());
    return false;
  }
  // A rename replaces a symbolic link itself, never its target.
  if (::rename(temporary.c_str(), file.c_str()) != 0) {
    Logger::log_warn("[FrontalRemesher::dump_iteration] Cannot write ", file, ": ",
                     std::strerror(errno));
    ::unlink(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace

void FrontalRemesher<2>::dump_iteration() const {
  // One fetch-and-add gives each run a number of its own, also when runs
  // go on at the same time in several threads.
  const unsigned int number = dump_counter().fetch_add(1);
  const std::string file = absl::StrCat("/tmp/iter", number, ".ul_tsf", 2, "d");
  // The file holds geometry and connectivity only. When a clean would
  // change nothing, the working surface is written as it is instead of
  // through a cleaned copy of it and all its attributes. A dump that fails
  // is logged; the run goes on.
  if (!needs_clean(input_mesh)) {
    save_privately(input_mesh, file);
    return;
  }
  auto clone = input_mesh.clone();
  clone->polygon_attribute_manager().delete_attribute("edge info");
  auto builder = TriangulatedSurfaceBuilder<2>::create(*clone);
  TriangulatedSurfaceModifier<2> cleaner(*clone, *builder);
  cleaner.clean();
  save_privately(*clone, file);
}

void FrontalRemesher<2>::link_adjacent_triangles(unsigned int a, unsigned int b, unsigned int t,
                                                 unsigned int m) {
  const unsigned int o = checked_at(macro_edge_sides, m).first;
  if (o == NO_ID) return;
  const unsigned int oa = vertex_info->value(a);
  const unsigned int ob = vertex_info->value(b);
  const auto link = [this](unsigned int triangle, unsigned int from, unsigned int to,
                           unsigned int adjacent) {
    for (local_index_t i = 0; i < 3; ++i) {
      const PolygonEdge edge{triangle, i};
      if (output_mesh->polygon_edge_vertices(edge) == std::array<unsigned int, 2>{from, to}) {
        output_builder->set_polygon_adjacent(edge, adjacent);
        return;
      }
    }
  };
  link(t, ob, oa, o);
  link(o, oa, ob, t);
}

}  // namespace detail
}  // namespace tarnix
