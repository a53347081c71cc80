#pragma once

#include <deque>
#include <memory>
#include <string>

#include <ulvane/basic/common.h>
#include <ulvane/geometry/point.h>
#include <ulvane/mesh/vertex_set.h>

namespace tarnix {

template <index_t D>
class PointSetBuilder;

//! Points of dimension D (2 or 3) and nothing else: the mesh of a corner.
//! Points keep their address while vertices are only appended.
template <index_t D>
class PointSet : public VertexSet {
  static_assert(D == 2 || D == 3, "point sets have dimension 2 or 3");
  friend class PointSetBuilder<D>;

 public:
  static std::unique_ptr<PointSet> create();
  //! A copy with the same points and attributes.
  std::unique_ptr<PointSet> clone() const;

  //! \throw std::out_of_range "invalid vector subscript" beyond the count.
  Point<D> const& point(index_t vertex) const { return detail::checked_at(points_, vertex); }

  //! "PointSet2D" or "PointSet3D".
  std::string type_name() const override;
  std::string impl_name() const override { return type_name(); }

 private:
  PointSet() = default;

  std::deque<Point<D>> points_;
};

using PointSet2D = PointSet<2>;
using PointSet3D = PointSet<3>;

}  // namespace tarnix
