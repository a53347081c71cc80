#pragma once

#include <array>
#include <string>

#include <ulvane/model/section.h>
#include <vantrel/core.h>

#include "section_generator.h"

namespace tarnix {
namespace stress {

//! A target length field over a domain of width `size`: constant, a linear
//! gradient, growing with the distance to a point, or waves, always clamped
//! to [smallest, largest]; `hostile` lengths replace it away from the
//! domain's border strip (used to feed the pipeline lengths it must refuse
//! or survive).
class StressMetric final : public Metric<2> {
 public:
  enum class Kind { constant, gradient, radial, waves };

  //! A random graded field with lengths in [smallest, largest].
  static StressMetric random(Choices& choices, double size, double smallest, double largest);

  StressMetric(Kind kind, double size, double smallest, double largest)
      : kind_(kind), size_(size), smallest_(smallest), largest_(largest) {}

  double edge_length(Point<2> const& point) const override;

  //! From now on every point farther than `border` from the domain's
  //! bounding square [0, size]^2 border gets `length`.
  void set_interior_length(double border, double length) {
    interior_border_ = border;
    interior_length_ = length;
    has_interior_ = true;
  }

  double smallest() const { return smallest_; }
  std::string description() const;

 private:
  double graded(Point<2> const& point) const;

  Kind kind_;
  double size_;
  double smallest_;
  double largest_;
  std::array<double, 2> center_{{0.5, 0.5}};     // in domain widths
  std::array<double, 2> direction_{{1.0, 0.0}};  // unit
  double frequency_{3.0};
  bool has_interior_{false};
  double interior_border_{0.0};
  double interior_length_{0.0};
};

//! The expected number of output triangles for a metric over a generated
//! section: the input's triangles, plus about two per remeshed line vertex,
//! plus the metric's own count where it is coarser than the input. An
//! estimate used to bound the time of a case.
double expected_work(GeneratedSection const& input, Metric<2> const& metric);

//! Runs the host's initialisation, corner and line steps, then
//! `remesh_surfaces`, writing into `output`.
RemeshingData<Section, 2> remesh_section(Section const& input, Section& output,
                                         Metric<2> const& metric);

}  // namespace stress
}  // namespace tarnix
