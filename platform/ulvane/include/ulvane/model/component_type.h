#pragma once

#include <ostream>
#include <string>
#include <utility>

#include <absl/strings/string_view.h>

#include <ulvane/basic/common.h>
#include <ulvane/basic/uuid.h>

namespace tarnix {

//! The type name of a model component: "Corner", "Line", "Surface",
//! "Block", or any other name. A small value: names are interned once per
//! process, so copies and comparisons are cheap.
class ComponentType {
 public:
  //! The empty name.
  ComponentType();
  // Implicit, so that a literal stands for its type: has_...(u, "Line").
  ComponentType(char const* name);          // NOLINT(google-explicit-constructor)
  ComponentType(std::string const& name);   // NOLINT(google-explicit-constructor)
  ComponentType(absl::string_view name);    // NOLINT(google-explicit-constructor)

  std::string const& get() const { return *name_; }

  friend bool operator==(ComponentType const& a, ComponentType const& b) {
    return a.name_ == b.name_;
  }
  friend bool operator!=(ComponentType const& a, ComponentType const& b) { return !(a == b); }
  //! Alphabetical order of the names.
  friend bool operator<(ComponentType const& a, ComponentType const& b) {
    return *a.name_ < *b.name_;
  }
  template <typename H>
  friend H AbslHashValue(H h, ComponentType const& type) {
    return H::combine(std::move(h), *type.name_);
  }
  friend std::ostream& operator<<(std::ostream& out, ComponentType const& type) {
    return out << *type.name_;
  }

 private:
  std::string const* name_;
};

//! A component of a model: its type and its id.
class ComponentID {
 public:
  //! The empty type with a fresh id.
  ComponentID() = default;
  ComponentID(ComponentType type, uuid id) : type_(type), id_(std::move(id)) {}

  ComponentType const& type() const { return type_; }
  uuid const& id() const { return id_; }
  //! The type name, one blank and the id: "Surface 0c1f...".
  std::string string() const;

  friend bool operator==(ComponentID const& a, ComponentID const& b) {
    return a.type_ == b.type_ && a.id_ == b.id_;
  }
  friend bool operator!=(ComponentID const& a, ComponentID const& b) { return !(a == b); }
  template <typename H>
  friend H AbslHashValue(H h, ComponentID const& component) {
    return H::combine(std::move(h), component.type_, component.id_);
  }
  friend std::ostream& operator<<(std::ostream& out, ComponentID const& component) {
    return out << component.string();
  }

 private:
  ComponentType type_;
  uuid id_;
};

//! A vertex of one component's mesh.
struct ComponentMeshVertex {
  ComponentMeshVertex() = default;
  ComponentMeshVertex(ComponentID component, index_t mesh_vertex)
      : component_id(std::move(component)), vertex(mesh_vertex) {}

  friend bool operator==(ComponentMeshVertex const& a, ComponentMeshVertex const& b) {
    return a.vertex == b.vertex && a.component_id == b.component_id;
  }
  friend bool operator!=(ComponentMeshVertex const& a, ComponentMeshVertex const& b) {
    return !(a == b);
  }
  template <typename H>
  friend H AbslHashValue(H h, ComponentMeshVertex const& cmv) {
    return H::combine(std::move(h), cmv.component_id, cmv.vertex);
  }
  friend std::ostream& operator<<(std::ostream& out, ComponentMeshVertex const& cmv) {
    return out << cmv.component_id << " vertex " << cmv.vertex;
  }

  ComponentID component_id;
  index_t vertex{NO_ID};
};

}  // namespace tarnix
