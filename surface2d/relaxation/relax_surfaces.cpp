#include <tarnix/surface2d/relax_surfaces.h>

#include <cmath>
#include <string>
#include <typeinfo>
#include <utility>

#include <absl/container/flat_hash_map.h>
#include <absl/strings/str_cat.h>

#include <ulvane/basic/logger.h>
#include <ulvane/basic/progress_logger.h>
#include <ulvane/geometry/predicates.h>
#include <ulvane/model/section.h>

#include <morvex/modifier_model.h>

#include <common/surface_relaxer.h>

#include "relax_section_surfaces.h"

namespace tarnix {
namespace {

//! Swap and vertex passes follow each other while either leaves work for
//! the other, at most this many times. Each round does whatever the
//! previous one left, so a handful of rounds settle a surface; the bound
//! only stops an exchange of swaps and moves that would never settle.
constexpr index_t max_rounds = 100;

//! The relaxer of one surface of a Section: smoothing works in the mesh's
//! own coordinates and every swap the template allows is made.
class SectionSurfaceRelaxer : public detail::SurfaceRelaxer<Section, SectionGeometricModifier, 2> {
 public:
  SectionSurfaceRelaxer(Section& section, Surface<2> const& relaxed_surface,
                        Metric<2> const* target_metric)
      : SurfaceRelaxer(section, relaxed_surface, target_metric) {
    local_points_are_mesh_points = true;
  }

  //! Initialises, runs at most `rounds` rounds of passes and cleans the
  //! surface; a surface without triangles is left as it is.
  void relax(index_t rounds) {
    if (mesh.nb_polygons() == 0) return;
    initialise_relaxation();
    for (index_t round = 0; !(polygon_queue.empty() && vertex_queue.empty()); ++round) {
      if (round == rounds) {
        Logger::log_info("[relax_surfaces] Stopped after ", rounds,
                         " rounds with work left on Surface ", surface.id().string());
        break;
      }
      swap_pass();
      vertex_pass();
    }
    modifier.clean();
  }

 private:
  bool prepare_smoothing(unsigned int /*vertex*/, Ring const& /*ring*/) override { return true; }

  Point<2> const& local_point(unsigned int vertex) override { return mesh.point(vertex); }

  bool is_swap_acceptable(detail::SwapCandidate<2> const& /*candidate*/) override {
    return true;
  }
};

//! The surface as messages name it.
std::string surface_name(Surface<2> const& surface) {
  return absl::StrCat("Surface ", surface.id().string());
}

[[noreturn]] void refuse(std::string const& what) {
  throw UlvaneException("[relax_surfaces] ", what);
}

//! \throw UlvaneException unless the surface mesh is a triangulated
//! surface.
TriangulatedSurface<2> const& triangulated(Surface<2> const& surface) {
  auto const* mesh = dynamic_cast<TriangulatedSurface<2> const*>(&surface.get_mesh());
  if (mesh == nullptr) refuse(absl::StrCat(surface_name(surface), " is not a TriangulatedSurface"));
  return *mesh;
}

//! Refuses what the relaxer cannot work on, each check one pass over the
//! mesh: a coordinate that is not finite, a clockwise triangle, two
//! triangles on one edge that are not adjacent (adjacencies never
//! computed, or computed before the triangles were added), and a metric
//! length at a vertex that is not a positive finite number.
void check_surface(Surface<2> const& surface, Metric<2> const* metric) {
  auto const& mesh = triangulated(surface);
  for (index_t v = 0; v < mesh.nb_vertices(); ++v) {
    auto const& point = mesh.point(v);
    if (!std::isfinite(point.value(0)) || !std::isfinite(point.value(1))) {
      refuse(absl::StrCat("Vertex ", v, " of ", surface_name(surface),
                          " is not at a finite point: (", point.value(0), ", ", point.value(1),
                          ")"));
    }
  }
  // Border edges by their two vertices; an edge that is on the border in
  // both directions lies between two triangles that do not know each other.
  absl::flat_hash_map<std::pair<index_t, index_t>, index_t> border_edges;
  for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
    if (!mesh.is_polygon_active(t)) continue;
    const index_t a = mesh.polygon_vertex({t, 0});
    const index_t b = mesh.polygon_vertex({t, 1});
    const index_t c = mesh.polygon_vertex({t, 2});
    if (orientation_2d(mesh.point(a), mesh.point(b), mesh.point(c)) == Sign::negative) {
      refuse(absl::StrCat("Triangle ", t, " of ", surface_name(surface), " is clockwise"));
    }
    for (local_index_t e = 0; e < 3; ++e) {
      if (!mesh.is_edge_on_border({t, e})) continue;
      const auto ends = mesh.polygon_edge_vertices({t, e});
      const auto twin = border_edges.find({ends[1], ends[0]});
      if (twin != border_edges.end()) {
        refuse(absl::StrCat("Triangles ", twin->second, " and ", t, " of ",
                            surface_name(surface),
                            " share an edge but are not adjacent: compute the polygon "
                            "adjacencies"));
      }
      border_edges.emplace(std::make_pair(ends[0], ends[1]), t);
    }
  }
  if (metric == nullptr) return;
  for (index_t v = 0; v < mesh.nb_vertices(); ++v) {
    detail::relaxation_length(*metric, surface, v);
  }
}

}  // namespace

namespace detail {

void relax_section_surfaces(Section& section, Metric<2> const* metric, index_t rounds) {
  // Everything is checked before the first surface changes.
  for (auto const& surface : section.surfaces()) check_surface(surface, metric);
  ProgressLogger logger{"Relaxing Surfaces", section.nb_surfaces()};
  for (auto const& surface : section.surfaces()) {
    SectionSurfaceRelaxer relaxer{section, surface, metric};
    relaxer.relax(rounds);
    logger.increment();
  }
}

}  // namespace detail

void relax_surfaces(Section& section) {
  detail::relax_section_surfaces(section, nullptr, max_rounds);
}

void relax_surfaces(Section& section, Metric<2> const& metric) {
  detail::relax_section_surfaces(section, &metric, max_rounds);
}

}  // namespace tarnix
