#pragma once

#include <vector>

#include <ulvane/basic/uuid.h>
#include <ulvane/model/section.h>

namespace tarnix {
namespace test {

//! A cross-section of [0, 3] x [0, 2] made of `nb_layers` stacked layers,
//! the model of the driver's tests and benchmark of many surfaces.
//!
//! Layer k lies between interface k and interface k + 1; the bottom and
//! top interfaces are straight, the others waves of their own phase. Each
//! layer is a structured grid of `columns` x `rows` cells that follows its
//! two interfaces. The lines: every interface (bounding the layers on both
//! of its sides), and the left and the right side of every layer; the
//! corners: the two ends of every interface. The middle layer also holds an
//! internal line along its middle grid row, with a corner at each end.
//! Every vertex of every mesh is linked to the unique vertex of its
//! position.
struct StackedSection {
  Section section;
  //! Bottom to top.
  std::vector<uuid> layers;
  //! Bottom to top.
  std::vector<uuid> interfaces;
  //! The left and the right side of each layer, bottom to top.
  std::vector<uuid> left_sides;
  std::vector<uuid> right_sides;
  uuid internal_line;
  //! The layer holding the internal line.
  index_t internal_line_layer{0};
};

//! \pre nb_layers >= 1, columns >= 6, rows >= 2.
StackedSection make_stacked_section(int nb_layers, int columns, int rows);

}  // namespace test
}  // namespace tarnix
