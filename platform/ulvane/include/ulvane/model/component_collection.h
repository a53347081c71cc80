#pragma once

#include <memory>
#include <utility>
#include <vector>

#include <absl/container/flat_hash_map.h>

#include <ulvane/basic/common.h>
#include <ulvane/basic/ulvane_exception.h>
#include <ulvane/basic/uuid.h>
#include <ulvane/model/block.h>
#include <ulvane/model/component_range.h>
#include <ulvane/model/corner.h>
#include <ulvane/model/line.h>
#include <ulvane/model/surface.h>

namespace tarnix {
namespace detail {

//! The components of one type: owned, kept in insertion order, found by id.
template <typename Component>
class ComponentCollection {
 public:
  index_t size() const { return static_cast<index_t>(items_.size()); }
  OwnedComponentRange<Component> range() const { return {items_.begin(), items_.end()}; }
  bool contains(uuid const& id) const { return indices_.contains(id); }

  //! \throw UlvaneException "[<operation>] Unknown <Type>: <id>".
  Component const& at(uuid const& id, char const* operation) const {
    const auto found = indices_.find(id);
    if (found == indices_.end()) {
      throw UlvaneException(operation, " Unknown " + Component::component_type_static().get() +
                                           ": " + id.string());
    }
    return *items_[found->second];
  }
  Component& at(uuid const& id, char const* operation) {
    return const_cast<Component&>(static_cast<ComponentCollection const&>(*this).at(id, operation));
  }

  //! \throw UlvaneException when a component with the same id exists.
  Component& add(std::unique_ptr<Component> component) {
    const auto inserted = indices_.emplace(component->id(), size());
    if (!inserted.second) {
      throw UlvaneException("[ModelBuilder] A component already has the id ",
                            Component::component_type_static().get() + " " +
                                component->id().string());
    }
    items_.push_back(std::move(component));
    return *items_.back();
  }

 private:
  std::vector<std::unique_ptr<Component>> items_;
  absl::flat_hash_map<uuid, index_t> indices_;
};

}  // namespace detail

// The component collections of the models: one base class per type, so a
// model's queries read `model.surface(id)`, `model.lines()`, ...
// Ranges iterate in insertion order.

template <index_t D>
class Corners {
 public:
  index_t nb_corners() const { return collection_.size(); }
  OwnedComponentRange<Corner<D>> corners() const { return collection_.range(); }
  bool has_corner(uuid const& id) const { return collection_.contains(id); }
  //! \throw UlvaneException for an unknown id.
  Corner<D> const& corner(uuid const& id) const {
    return collection_.at(id, "[Corners::corner]");
  }

 protected:
  detail::ComponentCollection<Corner<D>>& corner_collection() { return collection_; }

 private:
  detail::ComponentCollection<Corner<D>> collection_;
};

template <index_t D>
class Lines {
 public:
  index_t nb_lines() const { return collection_.size(); }
  OwnedComponentRange<Line<D>> lines() const { return collection_.range(); }
  bool has_line(uuid const& id) const { return collection_.contains(id); }
  //! \throw UlvaneException for an unknown id.
  Line<D> const& line(uuid const& id) const { return collection_.at(id, "[Lines::line]"); }

 protected:
  detail::ComponentCollection<Line<D>>& line_collection() { return collection_; }

 private:
  detail::ComponentCollection<Line<D>> collection_;
};

template <index_t D>
class Surfaces {
 public:
  index_t nb_surfaces() const { return collection_.size(); }
  OwnedComponentRange<Surface<D>> surfaces() const { return collection_.range(); }
  bool has_surface(uuid const& id) const { return collection_.contains(id); }
  //! \throw UlvaneException for an unknown id.
  Surface<D> const& surface(uuid const& id) const {
    return collection_.at(id, "[Surfaces::surface]");
  }

 protected:
  detail::ComponentCollection<Surface<D>>& surface_collection() { return collection_; }

 private:
  detail::ComponentCollection<Surface<D>> collection_;
};

template <index_t D>
class Blocks {
 public:
  index_t nb_blocks() const { return collection_.size(); }
  OwnedComponentRange<Block<D>> blocks() const { return collection_.range(); }
  bool has_block(uuid const& id) const { return collection_.contains(id); }
  //! \throw UlvaneException for an unknown id.
  Block<D> const& block(uuid const& id) const { return collection_.at(id, "[Blocks::block]"); }

 protected:
  detail::ComponentCollection<Block<D>>& block_collection() { return collection_; }

 private:
  detail::ComponentCollection<Block<D>> collection_;
};

}  // namespace tarnix
