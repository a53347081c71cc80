#include <ulvane/mesh/graph.h>

#include <algorithm>

#include <ulvane/basic/ulvane_exception.h>

#include "element_edits.h"

namespace tarnix {
namespace {

// Keeps a vertex's list in increasing edge index.
void insert_sorted(absl::InlinedVector<EdgeVertex, 2>& around, EdgeVertex const& end) {
  const auto position = std::upper_bound(
      around.begin(), around.end(), end, [](EdgeVertex const& a, EdgeVertex const& b) {
        return a.edge_id != b.edge_id ? a.edge_id < b.edge_id : a.vertex_id < b.vertex_id;
      });
  around.insert(position, end);
}

}  // namespace

Graph::Graph() : edge_attributes_(std::make_unique<AttributeManager>()) {}

index_t Graph::edge_vertex(EdgeVertex const& edge_vertex) const {
  if (edge_vertex.vertex_id > 1) {
    throw std::out_of_range("invalid array<T, N> subscript");
  }
  return edge_vertices(edge_vertex.edge_id)[edge_vertex.vertex_id];
}

std::array<index_t, 2> const& Graph::edge_vertices(index_t edge) const {
  return detail::checked_at(edges_, edge);
}

std::vector<EdgeVertex> Graph::edges_around_vertex(index_t vertex) const {
  auto const& around = detail::checked_at(vertex_edges_, vertex);
  return {around.begin(), around.end()};
}

void Graph::copy_graph(Graph const& other) {
  edges_ = other.edges_;
  vertex_edges_ = other.vertex_edges_;
  vertex_attribute_manager().copy(other.vertex_attribute_manager());
  edge_attributes_->copy(*other.edge_attributes_);
}

void Graph::add_vertices(index_t count) {
  vertex_edges_.resize(vertex_edges_.size() + count);
  vertex_attribute_manager().resize(nb_vertices() + count);
}

index_t Graph::add_edge(index_t v0, index_t v1) {
  if (v0 >= nb_vertices() || v1 >= nb_vertices()) {
    throw std::out_of_range("invalid vector subscript");
  }
  if (v0 == v1) {
    throw UlvaneException("[Graph::add_edge] An edge needs two distinct vertices, got ",
                          std::to_string(v0) + " twice");
  }
  const index_t edge = nb_edges();
  edges_.push_back({v0, v1});
  vertex_edges_[v0].emplace_back(edge, 0);
  vertex_edges_[v1].emplace_back(edge, 1);
  edge_attributes_->resize(edge + 1);
  return edge;
}

index_t Graph::split_edge(index_t edge, index_t vertex) {
  const auto ends = edge_vertices(edge);
  if (vertex >= nb_vertices()) throw std::out_of_range("invalid vector subscript");
  if (vertex == ends[0] || vertex == ends[1]) {
    throw UlvaneException("[Graph::split_edge] The split vertex is an end of edge ",
                          std::to_string(edge));
  }
  const index_t created = nb_edges();
  edges_[edge][1] = vertex;
  edges_.push_back({vertex, ends[1]});
  // The far end now belongs to the appended edge, which keeps the lists in
  // increasing edge index.
  auto& far = vertex_edges_[ends[1]];
  far.erase(std::find(far.begin(), far.end(), EdgeVertex{edge, 1}));
  far.emplace_back(created, 1);
  insert_sorted(vertex_edges_[vertex], {edge, 1});
  vertex_edges_[vertex].emplace_back(created, 0);
  edge_attributes_->resize(created + 1);
  edge_attributes_->copy_attribute_value(edge, created);
  return created;
}

std::vector<index_t> Graph::remove_edges(std::vector<bool> const& to_delete) {
  if (to_delete.size() != nb_edges()) {
    throw UlvaneException("[Graph::remove_edges] Expected one flag per edge, got ",
                          std::to_string(to_delete.size()));
  }
  auto old2new = detail::old_to_new(to_delete, nb_edges());
  detail::compact(edges_, to_delete);
  edge_attributes_->delete_elements(to_delete);
  rebuild_vertex_edges();
  return old2new;
}

std::vector<index_t> Graph::remove_isolated_vertices() {
  std::vector<bool> to_delete(nb_vertices(), false);
  for (index_t v = 0; v < nb_vertices(); ++v) to_delete[v] = vertex_edges_[v].empty();
  auto old2new = detail::old_to_new(to_delete, nb_vertices());
  for (auto& edge : edges_) {
    edge = {old2new[edge[0]], old2new[edge[1]]};
  }
  detail::compact(vertex_edges_, to_delete);
  vertex_attribute_manager().delete_elements(to_delete);
  return old2new;
}

void Graph::permute_vertices(absl::Span<const index_t> permutation) {
  const auto old2new =
      detail::inverse_permutation(permutation, nb_vertices(), "[Graph::permute_vertices]");
  for (auto& edge : edges_) {
    edge = {old2new[edge[0]], old2new[edge[1]]};
  }
  detail::apply_permutation(vertex_edges_, permutation);
  vertex_attribute_manager().permute_elements(permutation);
}

void Graph::permute_edges(absl::Span<const index_t> permutation) {
  detail::inverse_permutation(permutation, nb_edges(), "[Graph::permute_edges]");
  detail::apply_permutation(edges_, permutation);
  edge_attributes_->permute_elements(permutation);
  rebuild_vertex_edges();
}

void Graph::rebuild_vertex_edges() {
  for (auto& around : vertex_edges_) around.clear();
  for (index_t e = 0; e < nb_edges(); ++e) {
    vertex_edges_[edges_[e][0]].emplace_back(e, 0);
    vertex_edges_[edges_[e][1]].emplace_back(e, 1);
  }
}

}  // namespace tarnix
