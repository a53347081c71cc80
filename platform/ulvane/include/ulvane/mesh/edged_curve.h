#pragma once

#include <deque>
#include <memory>
#include <string>

#include <ulvane/basic/common.h>
#include <ulvane/geometry/point.h>
#include <ulvane/mesh/graph.h>

namespace tarnix {

//! A curve of dimension D (2 or 3): a graph whose vertices have points.
//! Points keep their address while vertices are only appended.
template <index_t D>
class EdgedCurve : public Graph {
  static_assert(D == 2 || D == 3, "curves have dimension 2 or 3");
  friend class EdgedCurveBuilder<D>;

 public:
  static std::unique_ptr<EdgedCurve> create();
  //! A copy with the same points, edges and attributes.
  std::unique_ptr<EdgedCurve> clone() const;

  Point<D> const& point(index_t vertex) const { return detail::checked_at(points_, vertex); }
  //! The midpoint of the edge.
  Point<D> edge_barycenter(index_t edge) const;
  double edge_length(index_t edge) const;

  //! "EdgedCurve2D" or "EdgedCurve3D".
  std::string type_name() const override;
  std::string impl_name() const override { return type_name(); }

 private:
  EdgedCurve() = default;

  std::deque<Point<D>> points_;
};

using EdgedCurve2D = EdgedCurve<2>;
using EdgedCurve3D = EdgedCurve<3>;

}  // namespace tarnix
