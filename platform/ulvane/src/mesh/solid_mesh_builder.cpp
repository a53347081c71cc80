#include <ulvane/mesh/solid_mesh_builder.h>

#include <string>

#include <ulvane/basic/ulvane_exception.h>

#include "element_edits.h"

namespace tarnix {

template <index_t D>
SolidMeshBuilder<D>::SolidMeshBuilder(SolidMesh<D>& solid)
    : VertexSetBuilder(solid), solid_(solid) {}

template <index_t D>
std::unique_ptr<SolidMeshBuilder<D>> SolidMeshBuilder<D>::create(SolidMesh<D>& solid) {
  return std::make_unique<SolidMeshBuilder>(solid);
}

template <index_t D>
index_t SolidMeshBuilder<D>::create_point(Point<D> const& point) {
  return detail::append_point(solid_.points_, solid_.vertex_attribute_manager(), point);
}

template <index_t D>
void SolidMeshBuilder<D>::set_point(index_t vertex, Point<D> const& point) {
  detail::checked_at(solid_.points_, vertex) = point;
}

template <index_t D>
index_t SolidMeshBuilder<D>::create_tetrahedron(std::array<index_t, 4> const& vertices) {
  for (index_t k = 0; k < 4; ++k) {
    if (vertices[k] >= solid_.nb_vertices()) throw std::out_of_range("invalid vector subscript");
    for (index_t l = 0; l < k; ++l) {
      if (vertices[l] == vertices[k]) {
        throw UlvaneException("[SolidMeshBuilder::create_tetrahedron] Repeated vertex ",
                              std::to_string(vertices[k]));
      }
    }
  }
  const index_t tetrahedron = solid_.nb_polyhedra();
  solid_.tetrahedra_.push_back(vertices);
  solid_.polyhedron_attributes_->resize(tetrahedron + 1);
  solid_.add_derived_elements(vertices);
  return tetrahedron;
}

template class SolidMeshBuilder<3>;

}  // namespace tarnix
