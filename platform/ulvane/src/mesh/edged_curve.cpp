#include <ulvane/mesh/edged_curve.h>

#include <absl/strings/str_cat.h>

#include <ulvane/geometry/vector.h>

namespace tarnix {

template <index_t D>
std::unique_ptr<EdgedCurve<D>> EdgedCurve<D>::create() {
  return std::unique_ptr<EdgedCurve>(new EdgedCurve);
}

template <index_t D>
std::unique_ptr<EdgedCurve<D>> EdgedCurve<D>::clone() const {
  auto copy = create();
  copy->copy_graph(*this);
  copy->points_ = points_;
  return copy;
}

template <index_t D>
Point<D> EdgedCurve<D>::edge_barycenter(index_t edge) const {
  auto const& ends = edge_vertices(edge);
  return (point(ends[0]) + point(ends[1])) * 0.5;
}

template <index_t D>
double EdgedCurve<D>::edge_length(index_t edge) const {
  auto const& ends = edge_vertices(edge);
  return Vector<D>{point(ends[0]), point(ends[1])}.length();
}

template <index_t D>
std::string EdgedCurve<D>::type_name() const {
  return absl::StrCat("EdgedCurve", D, "D");
}

template class EdgedCurve<2>;
template class EdgedCurve<3>;

}  // namespace tarnix
