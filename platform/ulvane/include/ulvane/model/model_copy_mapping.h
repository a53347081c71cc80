#pragma once

#include <utility>

#include <absl/container/flat_hash_map.h>

#include <ulvane/basic/common.h>
#include <ulvane/basic/uuid.h>
#include <ulvane/model/component_type.h>

namespace tarnix {

//! A one-to-one mapping between the ids of input and output components.
//! Lookups of a missing id raise std::out_of_range
//! "absl::container_internal::raw_hash_map<>::at".
class BijectiveMapping {
 public:
  //! Pairs `in` with `out`; pairs either of them had before are dropped,
  //! so the mapping stays one-to-one.
  void map(uuid const& in, uuid const& out);

  uuid const& in2out(uuid const& in) const { return in2out_.at(in); }
  uuid const& out2in(uuid const& out) const { return out2in_.at(out); }
  bool has_mapping_input(uuid const& in) const { return in2out_.contains(in); }
  bool has_mapping_output(uuid const& out) const { return out2in_.contains(out); }

  index_t size() const { return static_cast<index_t>(in2out_.size()); }
  bool empty() const { return in2out_.empty(); }

  //! Input to output pairs, in no particular order.
  absl::flat_hash_map<uuid, uuid> const& in2out_map() const { return in2out_; }

 private:
  absl::flat_hash_map<uuid, uuid> in2out_;
  absl::flat_hash_map<uuid, uuid> out2in_;
};

//! The component mappings of a model copy, one per component type. A
//! default-constructed mapping has no type at all. A missing type raises
//! std::out_of_range "absl::container_internal::raw_hash_map<>::at".
class ModelCopyMapping {
 public:
  BijectiveMapping& at(ComponentType const& type) { return mappings_.at(type); }
  BijectiveMapping const& at(ComponentType const& type) const { return mappings_.at(type); }
  bool has_mapping_type(ComponentType const& type) const { return mappings_.contains(type); }

  //! Adds the type's mapping unless it has one. \return the type's mapping.
  BijectiveMapping& emplace(ComponentType const& type, BijectiveMapping mapping = {}) {
    return mappings_.emplace(type, std::move(mapping)).first->second;
  }
  //! Adds or replaces the type's mapping.
  void set(ComponentType const& type, BijectiveMapping mapping) {
    mappings_.insert_or_assign(type, std::move(mapping));
  }

  //! Number of component types.
  index_t size() const { return static_cast<index_t>(mappings_.size()); }

 private:
  absl::flat_hash_map<ComponentType, BijectiveMapping> mappings_;
};

}  // namespace tarnix
