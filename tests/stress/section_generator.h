#pragma once

#include <cstdint>
#include <random>

#include <absl/types/span.h>

#include <ulvane/basic/common.h>
#include <ulvane/model/section.h>

namespace tarnix {
namespace stress {

//! A source of choices: random for the stress program, the fuzzer's bytes
//! for the fuzz target.
class Choices {
 public:
  virtual ~Choices() = default;
  //! A whole number in [0, n); 0 when n is 0.
  virtual index_t below(index_t n) = 0;
  //! A number in [0, 1).
  virtual double unit() = 0;

  double between(double low, double high) { return low + (high - low) * unit(); }
  bool chance(double probability) { return unit() < probability; }
  index_t in_range(index_t low, index_t high) { return low + below(high - low + 1); }
};

class RandomChoices final : public Choices {
 public:
  explicit RandomChoices(std::uint64_t seed) : engine_(seed) {}
  index_t below(index_t n) override;
  double unit() override;

 private:
  std::mt19937_64 engine_;
};

//! Reads the choices from bytes; once they run out every choice is 0.
class ByteChoices final : public Choices {
 public:
  explicit ByteChoices(absl::Span<std::uint8_t const> bytes) : bytes_(bytes) {}
  index_t below(index_t n) override;
  double unit() override;

 private:
  std::uint8_t next() { return position_ < bytes_.size() ? bytes_[position_++] : 0; }
  absl::Span<std::uint8_t const> bytes_;
  std::size_t position_{0};
};

//! What `generate_section` may draw.
struct ShapeOptions {
  index_t min_cells{4};   // cells along the longer side
  index_t max_cells{24};
  double jitter{0.2};     // largest vertex displacement, in cell sizes (< 0.5)
  index_t max_regions{3};
  index_t max_holes{2};
  index_t max_internal_lines{2};
  index_t max_internal_corners{2};
  double extra_corner_chance{0.05};  // a line vertex becoming a corner
  //! One column of cells squeezed to 1e-9 of the domain width, so that its
  //! two sides hold nearly coincident points.
  bool squash{false};
  //! Every coordinate is multiplied by this.
  double scale{1.0};
  //! Triangles are written clockwise (an input the pipeline must refuse or
  //! survive).
  bool clockwise{false};
};

//! A Section drawn on a jittered grid of cells: every cell of a region is
//! two counter-clockwise triangles of that region's surface, the lines run
//! along grid edges between regions (or between a region and a hole or the
//! outside) and along random internal chains, corners sit where lines meet,
//! on every closed loop and at random line vertices. Every vertex of every
//! mesh is linked to the unique vertex of its grid position.
struct GeneratedSection {
  Section section;
  index_t nb_triangles{0};
  index_t nb_line_edges{0};
  double size{1.0};   // width of the domain
  double cell{1.0};   // edge length of a cell
  double line_length{0.0};
};

//! \throw std::runtime_error when no valid shape is found in a few attempts
//! (never with the default options).
GeneratedSection generate_section(Choices& choices, ShapeOptions const& options);

}  // namespace stress
}  // namespace tarnix
