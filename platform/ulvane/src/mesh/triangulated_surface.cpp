#include <ulvane/mesh/polygonal_surface.h>
#include <ulvane/mesh/triangulated_surface.h>

#include <absl/strings/str_cat.h>

namespace tarnix {

template <index_t D>
std::unique_ptr<TriangulatedSurface<D>> TriangulatedSurface<D>::create() {
  return std::unique_ptr<TriangulatedSurface>(new TriangulatedSurface);
}

template <index_t D>
Triangle<D> TriangulatedSurface<D>::triangle(index_t triangle) const {
  return Triangle<D>{this->point(this->polygon_vertex({triangle, 0})),
                     this->point(this->polygon_vertex({triangle, 1})),
                     this->point(this->polygon_vertex({triangle, 2}))};
}

template <index_t D>
std::unique_ptr<TriangulatedSurface<D>> TriangulatedSurface<D>::clone() const {
  auto copy = create();
  copy->copy_surface(*this);
  return copy;
}

template <index_t D>
std::string TriangulatedSurface<D>::type_name() const {
  return absl::StrCat("TriangulatedSurface", D, "D");
}

template <index_t D>
std::unique_ptr<PolygonalSurface<D>> PolygonalSurface<D>::create() {
  return std::unique_ptr<PolygonalSurface>(new PolygonalSurface);
}

template <index_t D>
std::unique_ptr<PolygonalSurface<D>> PolygonalSurface<D>::clone() const {
  auto copy = create();
  copy->copy_surface(*this);
  return copy;
}

template <index_t D>
std::string PolygonalSurface<D>::type_name() const {
  return absl::StrCat("PolygonalSurface", D, "D");
}

template class TriangulatedSurface<2>;
template class TriangulatedSurface<3>;
template class PolygonalSurface<2>;
template class PolygonalSurface<3>;

}  // namespace tarnix
