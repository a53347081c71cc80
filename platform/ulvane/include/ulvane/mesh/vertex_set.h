#pragma once

#include <memory>
#include <string>

#include <ulvane/basic/attribute_manager.h>
#include <ulvane/basic/common.h>

namespace tarnix {

//! The base of every mesh: a number of vertices with their attributes.
//! The attribute manager is reachable from a const mesh, since the
//! algorithms attach working attributes to meshes they only read.
class VertexSet {
 public:
  virtual ~VertexSet() = default;
  VertexSet(VertexSet const&) = delete;
  VertexSet& operator=(VertexSet const&) = delete;

  index_t nb_vertices() const { return vertex_attributes_->nb_elements(); }
  AttributeManager& vertex_attribute_manager() const { return *vertex_attributes_; }

  //! "VertexSet", "TriangulatedSurface2D", ...: the mesh type.
  virtual std::string type_name() const = 0;
  //! The key of the builder factory for this implementation.
  virtual std::string impl_name() const = 0;

 protected:
  VertexSet() : vertex_attributes_(std::make_unique<AttributeManager>()) {}

 private:
  std::unique_ptr<AttributeManager> vertex_attributes_;
};

}  // namespace tarnix
