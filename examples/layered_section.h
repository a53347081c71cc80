#pragma once

#include <ulvane/geometry/point.h>
#include <ulvane/model/section.h>
#include <vantrel/core.h>

namespace tarnix {
namespace demo {

//! Width and height of the demo cross-section.
inline constexpr double WIDTH = 3.0;
inline constexpr double HEIGHT = 2.0;

//! The curved interface between the two layers, y as a function of x.
double interface_height(double x);

//! A two-layer cross-section of [0, 3] x [0, 2]: the layers meet along a
//! curved interface line; the lower layer holds an internal line, the
//! upper one a rectangular hole bounded by four lines. Each layer is a
//! structured grid of `columns` x `rows` cells that follows the interface,
//! every line a chain of grid vertices, every vertex linked to the unique
//! vertex of its position.
Section make_layered_section(int columns, int rows);

//! Fine at the interface, coarse away from it: `finest` at the interface,
//! growing by `growth` per unit of distance.
class InterfaceMetric : public Metric<2> {
 public:
  InterfaceMetric(double finest, double growth) : finest_(finest), growth_(growth) {}
  double edge_length(Point<2> const& point) const override;

 private:
  double finest_;
  double growth_;
};

}  // namespace demo
}  // namespace tarnix
