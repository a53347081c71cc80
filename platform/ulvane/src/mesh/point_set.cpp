#include <ulvane/mesh/point_set.h>

#include <absl/strings/str_cat.h>

namespace tarnix {

template <index_t D>
std::unique_ptr<PointSet<D>> PointSet<D>::create() {
  return std::unique_ptr<PointSet>(new PointSet);
}

template <index_t D>
std::unique_ptr<PointSet<D>> PointSet<D>::clone() const {
  auto copy = create();
  copy->vertex_attribute_manager().copy(vertex_attribute_manager());
  copy->points_ = points_;
  return copy;
}

template <index_t D>
std::string PointSet<D>::type_name() const {
  return absl::StrCat("PointSet", D, "D");
}

template class PointSet<2>;
template class PointSet<3>;

}  // namespace tarnix
