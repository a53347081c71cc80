#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <absl/strings/string_view.h>
#include <absl/types/span.h>

#include <ulvane/basic/attribute.h>
#include <ulvane/basic/common.h>

namespace tarnix {

template <typename T>
class VariableAttribute;

//! The registry of the attributes of one element kind of one mesh. It owns
//! the name table and drives every registered storage as elements are
//! added, removed, reordered, cloned or derived from others.
class AttributeManager {
 public:
  AttributeManager() = default;
  AttributeManager(AttributeManager const&) = delete;
  AttributeManager& operator=(AttributeManager const&) = delete;

  //! The storage registered under the name, sharing its ownership with the
  //! registry, or an empty handle.
  std::shared_ptr<AttributeBase> find_attribute_base(absl::string_view name) const;

  //! Registers the storage under the name (replacing a previous one) and at
  //! once sizes it to the element count.
  void register_attribute(std::shared_ptr<AttributeBase> attribute,
                          absl::string_view name);

  //! Removes the name; the storage lives on while handles remain.
  void delete_attribute(absl::string_view name);

  //! Reserves room for the given number of elements in every storage, also
  //! in those registered later.
  void reserve(index_t capacity);

  //! Finds the named `Attribute<T>`, or creates and registers one with the
  //! default value and properties word. Defined with the storage.
  template <template <typename> class Attribute, typename T>
  std::shared_ptr<Attribute<T>> find_or_create_attribute(absl::string_view name,
                                                        T default_value,
                                                        AttributeProperties properties);

  //! Finds a registered storage of any kind readable as `Attribute`.
  //! Defined with the storage.
  template <typename Attribute>
  std::shared_ptr<Attribute> find_attribute(absl::string_view name) const;

  bool attribute_exists(absl::string_view name) const;
  //! The registered names, sorted.
  std::vector<std::string> attribute_names() const;

  // The element driving, called by the mesh builders.

  index_t nb_elements() const { return nb_elements_; }
  //! Every storage follows the new count; added elements get the default.
  void resize(index_t nb_elements);
  //! Removes the flagged elements, keeping the order of the others.
  void delete_elements(std::vector<bool> const& to_delete);
  //! Afterwards element k holds what element permutation[k] held.
  void permute_elements(absl::Span<const index_t> permutation);
  //! A new element placed among existing ones: derivable storages
  //! interpolate, the others keep the default the element was created with.
  void interpolate_attribute_value(WeightedElementList const& interpolation,
                                   index_t to_element);
  //! A new element made from an existing one: derivable storages copy its
  //! value, the others keep the default the element was created with.
  void copy_attribute_value(index_t from_element, index_t to_element);
  //! Replaces this registry's storages by clones of the other's.
  void copy(AttributeManager const& other);
  //! Storages for a new element set: entry i of old2new is the new index of
  //! element i (NO_ID: dropped). Values of the other registry follow.
  void import_extracted(AttributeManager const& other, absl::Span<const index_t> old2new,
                        index_t nb_elements);
  //! Drops every name and every element.
  void clear();

 private:
  using Entry = std::pair<std::string, std::shared_ptr<AttributeBase>>;
  //! The entry of the name, or the end.
  std::vector<Entry>::iterator find_entry(absl::string_view name);
  std::vector<Entry>::const_iterator find_entry(absl::string_view name) const;

  //! A mesh holds a handful of attributes, and every element added or
  //! removed visits them all: a flat list in registration order is both the
  //! fastest to visit and fast enough to search by name.
  std::vector<Entry> attributes_;
  index_t nb_elements_{0};
  index_t reserved_{0};
};

}  // namespace tarnix
