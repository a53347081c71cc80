#include <ulvane/basic/attribute_manager.h>

#include <algorithm>

namespace tarnix {

std::vector<AttributeManager::Entry>::iterator AttributeManager::find_entry(
    absl::string_view name) {
  return std::find_if(attributes_.begin(), attributes_.end(),
                      [name](Entry const& entry) { return entry.first == name; });
}

std::vector<AttributeManager::Entry>::const_iterator AttributeManager::find_entry(
    absl::string_view name) const {
  return std::find_if(attributes_.begin(), attributes_.end(),
                      [name](Entry const& entry) { return entry.first == name; });
}

std::shared_ptr<AttributeBase> AttributeManager::find_attribute_base(
    absl::string_view name) const {
  const auto it = find_entry(name);
  if (it == attributes_.end()) return {};
  return it->second;
}

void AttributeManager::register_attribute(std::shared_ptr<AttributeBase> attribute,
                                          absl::string_view name) {
  if (reserved_ > nb_elements_) attribute->reserve(reserved_);
  attribute->resize(nb_elements_);
  const auto it = find_entry(name);
  if (it != attributes_.end()) {
    it->second = std::move(attribute);
  } else {
    attributes_.emplace_back(std::string(name), std::move(attribute));
  }
}

void AttributeManager::delete_attribute(absl::string_view name) {
  const auto it = find_entry(name);
  if (it != attributes_.end()) attributes_.erase(it);
}

void AttributeManager::reserve(index_t capacity) {
  reserved_ = std::max(reserved_, capacity);
  for (auto& entry : attributes_) entry.second->reserve(capacity);
}

bool AttributeManager::attribute_exists(absl::string_view name) const {
  return find_entry(name) != attributes_.end();
}

std::vector<std::string> AttributeManager::attribute_names() const {
  std::vector<std::string> names;
  names.reserve(attributes_.size());
  for (auto const& entry : attributes_) names.push_back(entry.first);
  std::sort(names.begin(), names.end());
  return names;
}

void AttributeManager::resize(index_t nb_elements) {
  nb_elements_ = nb_elements;
  for (auto& entry : attributes_) entry.second->resize(nb_elements);
}

void AttributeManager::delete_elements(std::vector<bool> const& to_delete) {
  const auto removed =
      static_cast<index_t>(std::count(to_delete.begin(), to_delete.end(), true));
  if (removed == 0) return;
  for (auto& entry : attributes_) entry.second->delete_elements(to_delete);
  nb_elements_ -= removed;
}

void AttributeManager::permute_elements(absl::Span<const index_t> permutation) {
  for (auto& entry : attributes_) entry.second->permute_elements(permutation);
}

void AttributeManager::interpolate_attribute_value(
    WeightedElementList const& interpolation, index_t to_element) {
  for (auto& entry : attributes_) {
    // A storage that is not derivable keeps the default that resize gave
    // the new element.
    auto& storage = *entry.second;
    if (storage.properties() & ATTRIBUTE_DERIVABLE) {
      storage.interpolate_value(interpolation, to_element);
    }
  }
}

void AttributeManager::copy_attribute_value(index_t from_element, index_t to_element) {
  for (auto& entry : attributes_) {
    auto& storage = *entry.second;
    if (storage.properties() & ATTRIBUTE_DERIVABLE) {
      storage.copy_value(from_element, to_element);
    }
  }
}

void AttributeManager::copy(AttributeManager const& other) {
  attributes_.clear();
  for (auto const& entry : other.attributes_) {
    attributes_.emplace_back(entry.first, entry.second->clone());
  }
  nb_elements_ = other.nb_elements_;
  reserved_ = other.reserved_;
}

void AttributeManager::import_extracted(AttributeManager const& other,
                                        absl::Span<const index_t> old2new,
                                        index_t nb_elements) {
  attributes_.clear();
  nb_elements_ = nb_elements;
  for (auto const& entry : other.attributes_) {
    attributes_.emplace_back(entry.first, entry.second->extract(old2new, nb_elements));
  }
}

void AttributeManager::clear() {
  attributes_.clear();
  nb_elements_ = 0;
}

}  // namespace tarnix
