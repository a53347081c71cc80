#include <ulvane/mesh/solid_mesh.h>

#include <algorithm>

#include <absl/strings/str_cat.h>

namespace tarnix {

template <index_t D>
SolidMesh<D>::SolidMesh() : polyhedron_attributes_(std::make_unique<AttributeManager>()) {}

template <index_t D>
std::unique_ptr<SolidMesh<D>> SolidMesh<D>::create() {
  return std::unique_ptr<SolidMesh>(new SolidMesh);
}

template <index_t D>
std::unique_ptr<SolidMesh<D>> SolidMesh<D>::clone() const {
  auto copy = create();
  copy->vertex_attribute_manager().copy(vertex_attribute_manager());
  copy->polyhedron_attributes_->copy(*polyhedron_attributes_);
  copy->points_ = points_;
  copy->tetrahedra_ = tetrahedra_;
  copy->edges_enabled_ = edges_enabled_;
  copy->facets_enabled_ = facets_enabled_;
  copy->edges_ = edges_;
  copy->edge_ids_ = edge_ids_;
  copy->facets_ = facets_;
  copy->facet_ids_ = facet_ids_;
  return copy;
}

template <index_t D>
void SolidMesh<D>::enable_edges() const {
  if (edges_enabled_) return;
  edges_enabled_ = true;
  for (auto const& tetrahedron : tetrahedra_) add_edges(tetrahedron);
}

template <index_t D>
void SolidMesh<D>::enable_facets() const {
  if (facets_enabled_) return;
  facets_enabled_ = true;
  for (auto const& tetrahedron : tetrahedra_) add_facets(tetrahedron);
}

template <index_t D>
void SolidMesh<D>::add_derived_elements(std::array<index_t, 4> const& tetrahedron) const {
  if (edges_enabled_) add_edges(tetrahedron);
  if (facets_enabled_) add_facets(tetrahedron);
}

template <index_t D>
void SolidMesh<D>::add_edges(std::array<index_t, 4> const& tetrahedron) const {
  for (index_t a = 0; a < 4; ++a) {
    for (index_t b = a + 1; b < 4; ++b) {
      const std::array<index_t, 2> key{{std::min(tetrahedron[a], tetrahedron[b]),
                                        std::max(tetrahedron[a], tetrahedron[b])}};
      if (edge_ids_.emplace(key, nb_edges()).second) edges_.push_back(key);
    }
  }
}

template <index_t D>
void SolidMesh<D>::add_facets(std::array<index_t, 4> const& tetrahedron) const {
  for (index_t skipped = 0; skipped < 4; ++skipped) {
    std::array<index_t, 3> key{};
    index_t next = 0;
    for (index_t k = 0; k < 4; ++k) {
      if (k != skipped) key[next++] = tetrahedron[k];
    }
    std::sort(key.begin(), key.end());
    if (facet_ids_.emplace(key, nb_facets()).second) facets_.push_back(key);
  }
}

template <index_t D>
std::string SolidMesh<D>::type_name() const {
  return absl::StrCat("SolidMesh", D, "D");
}

template class SolidMesh<3>;

}  // namespace tarnix
