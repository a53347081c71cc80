#pragma once

#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include <absl/strings/string_view.h>

#include <ulvane/basic/attribute.h>
#include <ulvane/basic/attribute_manager.h>
#include <ulvane/basic/ulvane_exception.h>

namespace tarnix {
namespace test {

//! A plain storage of one T per element for the mesh tests. Derivable
//! arithmetic values interpolate linearly; other values keep the default.
template <typename T>
class TestAttribute : public ReadOnlyAttribute<T> {
 public:
  TestAttribute(T default_value, AttributeProperties properties)
      : ReadOnlyAttribute<T>(properties), default_value_(std::move(default_value)) {}

  //! Creates the storage and registers it under the name.
  static std::shared_ptr<TestAttribute> attach(AttributeManager& manager, absl::string_view name,
                                               T default_value,
                                               AttributeProperties properties = 0) {
    auto attribute = std::make_shared<TestAttribute>(std::move(default_value), properties);
    manager.register_attribute(attribute, name);
    return attribute;
  }

  T const& value(index_t element) const override { return detail::checked_at(values_, element); }
  void set_value(index_t element, T value) { detail::checked_at(values_, element) = value; }
  index_t size() const { return static_cast<index_t>(values_.size()); }

  float float_value(index_t element) const override { return float_item_value(element, 0); }
  float float_item_value(index_t element, std::uint8_t) const override {
    if constexpr (std::is_arithmetic<T>::value) {
      return static_cast<float>(value(element));
    } else {
      value(element);  // checks the index, as for every other T
      return 0.F;
    }
  }
  bool has_float_value() const override { return std::is_arithmetic<T>::value; }
  std::uint8_t nb_float_items() const override { return has_float_value() ? 1 : 0; }
  absl::string_view type_name() const override { return "TestAttribute"; }
  std::shared_ptr<AttributeBase> clone() const override {
    return std::make_shared<TestAttribute>(*this);
  }
  void copy_from(AttributeBase const& other, index_t nb_elements) override {
    auto const& typed = dynamic_cast<TestAttribute const&>(other);
    default_value_ = typed.default_value_;
    for (index_t i = 0; i < nb_elements && i < values_.size() && i < typed.values_.size(); ++i) {
      values_[i] = typed.values_[i];
    }
  }
  std::shared_ptr<AttributeBase> extract(absl::Span<const index_t> old2new,
                                         index_t nb_elements) const override {
    auto result = std::make_shared<TestAttribute>(default_value_, this->properties());
    result->resize(nb_elements);
    for (std::size_t i = 0; i < old2new.size() && i < values_.size(); ++i) {
      if (old2new[i] != NO_ID) result->values_.at(old2new[i]) = values_[i];
    }
    return result;
  }
  void resize(index_t nb_elements) override { values_.resize(nb_elements, default_value_); }
  void reserve(index_t capacity) override { values_.reserve(capacity); }
  void delete_elements(std::vector<bool> const& to_delete) override {
    std::vector<T> kept;
    for (std::size_t i = 0; i < values_.size(); ++i) {
      if (i >= to_delete.size() || !to_delete[i]) kept.push_back(values_[i]);
    }
    values_ = std::move(kept);
  }
  void permute_elements(absl::Span<const index_t> permutation) override {
    std::vector<T> permuted;
    for (const index_t old : permutation) permuted.push_back(values_.at(old));
    values_ = std::move(permuted);
  }
  void interpolate_value(WeightedElementList const& interpolation,
                         index_t to_element) override {
    if constexpr (std::is_arithmetic<T>::value) {
      double sum = 0.0;
      for (std::size_t i = 0; i < interpolation.indices.size(); ++i) {
        sum += interpolation.weights[i] * static_cast<double>(values_.at(interpolation.indices[i]));
      }
      values_.at(to_element) = static_cast<T>(sum);
    }
  }
  void copy_value(index_t from_element, index_t to_element) override {
    values_.at(to_element) = values_.at(from_element);
  }

 private:
  T default_value_;
  std::vector<T> values_;
};

}  // namespace test
}  // namespace tarnix
