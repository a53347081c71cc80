#pragma once

#include <memory>
#include <utility>

#include <ulvane/basic/ulvane_exception.h>
#include <ulvane/basic/uuid.h>
#include <ulvane/model/component_type.h>

namespace tarnix {

//! Something identified by a uuid.
class Identifier {
 public:
  uuid const& id() const { return id_; }

 protected:
  explicit Identifier(uuid id) : id_(std::move(id)) {}

 private:
  uuid id_;
};

namespace detail {
class ComponentMeshAccess;
}  // namespace detail

//! A part of a model that carries a mesh of type `Mesh`. Components are
//! created, and their meshes replaced, by the model builders; the mesh can
//! be edited in place through `get_modifiable_mesh()` of a component
//! reached through a builder (`modifiable_surface`, ...).
template <typename Mesh>
class Component : public Identifier {
 public:
  Component(Component const&) = delete;
  Component& operator=(Component const&) = delete;

  Mesh const& mesh() const { return *mesh_; }
  Mesh const& get_mesh() const { return *mesh_; }
  Mesh& get_modifiable_mesh() { return *mesh_; }

 protected:
  //! \throw UlvaneException for a null mesh.
  Component(uuid id, std::unique_ptr<Mesh> mesh) : Identifier(std::move(id)) {
    set_mesh(std::move(mesh));
  }
  ~Component() = default;

 private:
  friend class detail::ComponentMeshAccess;

  void set_mesh(std::unique_ptr<Mesh> mesh) {
    if (!mesh) throw UlvaneException("[Component] A component needs a mesh");
    mesh_ = std::move(mesh);
  }

  std::unique_ptr<Mesh> mesh_;
};

namespace detail {
//! Mesh replacement, reserved to the model builders (which also rebind the
//! mesh's unique-vertex links).
class ComponentMeshAccess {
 public:
  template <typename Mesh>
  static void set_mesh(Component<Mesh>& component, std::unique_ptr<Mesh> mesh) {
    component.set_mesh(std::move(mesh));
  }
};
}  // namespace detail

}  // namespace tarnix
