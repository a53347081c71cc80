#include <tarnix/surface2d/relax_surfaces.h>

#include <common/surface_relaxer.h>

#include <ulvane/basic/progress_logger.h>
#include <ulvane/model/section.h>

#include <morvex/modifier_model.h>

namespace tarnix {
namespace {

//! The relaxer of one surface of a Section: smoothing works in the mesh's
//! own coordinates and every swap the template allows is made.
class SectionSurfaceRelaxer : public detail::SurfaceRelaxer<Section, SectionGeometricModifier, 2> {
 public:
  //! Swap and vertex passes follow each other while either leaves work for
  //! the other, at most this many times. Each round does whatever the
  //! previous one left, so a handful of rounds settle a surface; the bound
  //! only stops an exchange of swaps and moves that would never settle.
  static constexpr index_t max_rounds = 100;

  SectionSurfaceRelaxer(Section& section, Surface<2> const& relaxed_surface,
                        Metric<2> const* target_metric)
      : SurfaceRelaxer(section, relaxed_surface, target_metric) {}

  //! Initialises, runs the passes and cleans the surface; a surface without
  //! triangles is left as it is.
  void relax() {
    if (mesh.nb_polygons() == 0) return;
    initialise_relaxation();
    for (index_t round = 0;
         round < max_rounds && !(polygon_queue.empty() && vertex_queue.empty()); ++round) {
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

void relax_section_surfaces(Section& section, Metric<2> const* metric) {
  ProgressLogger logger{"Relaxing Surfaces", section.nb_surfaces()};
  for (auto const& surface : section.surfaces()) {
    SectionSurfaceRelaxer relaxer{section, surface, metric};
    relaxer.relax();
    logger.increment();
  }
}

}  // namespace

void relax_surfaces(Section& section) { relax_section_surfaces(section, nullptr); }

void relax_surfaces(Section& section, Metric<2> const& metric) {
  relax_section_surfaces(section, &metric);
}

}  // namespace tarnix
