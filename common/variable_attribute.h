#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <vector>

#include <absl/strings/string_view.h>
#include <absl/types/span.h>

#include <ulvane/basic/attribute.h>
#include <ulvane/basic/attribute_manager.h>
#include <ulvane/basic/ulvane_exception.h>
#include <ulvane/geometry/point.h>

namespace tarnix {
namespace detail {

//! How a value type reads as floats and whether it can be interpolated.
//! The general case (lists, records): no float value, never interpolated.
template <typename T, typename = void>
struct AttributeValueTraits {
  static constexpr bool has_float_value = false;
  static constexpr std::uint8_t nb_float_items = 1;
  static constexpr bool is_interpolable = false;
  static float float_item(T const& /*value*/, std::uint8_t /*item*/) { return 0.0f; }
};

//! Numbers: their nearest float; only floating-point values interpolate,
//! so counts and ids keep their default on new elements.
template <typename T>
struct AttributeValueTraits<T, std::enable_if_t<std::is_arithmetic<T>::value &&
                                                !std::is_same<T, bool>::value>> {
  static constexpr bool has_float_value = true;
  static constexpr std::uint8_t nb_float_items = 1;
  static constexpr bool is_interpolable = std::is_floating_point<T>::value;
  static float float_item(T const& value, std::uint8_t /*item*/) {
    return static_cast<float>(value);
  }
};

template <>
struct AttributeValueTraits<bool> {
  static constexpr bool has_float_value = true;
  static constexpr std::uint8_t nb_float_items = 1;
  static constexpr bool is_interpolable = false;
  static float float_item(bool value, std::uint8_t /*item*/) { return value ? 1.0f : 0.0f; }
};

//! Points: one float item per coordinate, interpolated per coordinate.
template <index_t D>
struct AttributeValueTraits<Point<D>> {
  static constexpr bool has_float_value = true;
  static constexpr std::uint8_t nb_float_items = static_cast<std::uint8_t>(D);
  static constexpr bool is_interpolable = true;
  static float float_item(Point<D> const& value, std::uint8_t item) {
    if (item >= D) throw std::out_of_range("invalid array<T, N> subscript");
    return static_cast<float>(value.value(item));
  }
};

//! A bool stored in a byte of its own, so that a reference to it exists
//! (a packed bit vector has none).
struct ByteBool {
  bool value;
};

template <typename T>
struct AttributeStorage {
  using type = T;
  static T& ref(T& stored) { return stored; }
  static T const& ref(T const& stored) { return stored; }
  static T wrap(T value) { return value; }
  //! Appends one copy of the value, made in place.
  static void append(std::vector<T>& values, T const& value) { values.push_back(value); }
};

template <>
struct AttributeStorage<bool> {
  using type = ByteBool;
  static bool& ref(ByteBool& stored) { return stored.value; }
  static bool const& ref(ByteBool const& stored) { return stored.value; }
  static ByteBool wrap(bool value) { return ByteBool{value}; }
  static void append(std::vector<ByteBool>& values, bool value) {
    values.push_back(ByteBool{value});
  }
};

}  // namespace detail

//! One value per element plus a default value: the storage of every
//! attribute the system creates.
template <typename T>
class VariableAttribute : public ReadOnlyAttribute<T> {
  using Traits = detail::AttributeValueTraits<T>;
  using Storage = detail::AttributeStorage<T>;
  using Stored = typename Storage::type;

 public:
  //! A storage holding no value, with room for 10.
  VariableAttribute(T default_element_value, AttributeProperties properties)
      : ReadOnlyAttribute<T>(properties), default_value(std::move(default_element_value)) {
    values.reserve(INITIAL_CAPACITY);
  }

  float float_value(index_t element) const override {
    return Traits::float_item(value(element), 0);
  }

  //! \throw std::out_of_range "invalid array<T, N> subscript" for a
  //! coordinate beyond the point's dimension.
  float float_item_value(index_t element, std::uint8_t item) const override {
    return Traits::float_item(value(element), item);
  }

  bool has_float_value() const override { return Traits::has_float_value; }
  std::uint8_t nb_float_items() const override { return Traits::nb_float_items; }
  absl::string_view type_name() const override { return typeid(T).name(); }

  std::shared_ptr<AttributeBase> clone() const override {
    auto copy = std::make_shared<VariableAttribute<T>>(default_value, this->properties());
    copy->values.insert(copy->values.end(), values.begin(), values.end());
    return copy;
  }

  //! Takes the other storage's default and, unless n is 0, its first n values.
  //! \throw std::bad_cast when the other is not a VariableAttribute<T>.
  void copy_from(AttributeBase const& other, index_t nb_elements) override {
    auto const& typed = dynamic_cast<VariableAttribute<T> const&>(other);
    default_value = typed.default_value;
    if (nb_elements == 0) return;
    // New entries are value-initialised: the stored form of T{}.
    values.resize(nb_elements);
    for (index_t i = 0; i < nb_elements; ++i) {
      Storage::ref(values[i]) = typed.value(i);
    }
  }

  //! A new storage of n values in which new element old2new[i] takes the
  //! value of element i; unreached elements hold the zero value of T.
  //! \throw UlvaneException when an entry other than NO_ID is n or more.
  std::shared_ptr<AttributeBase> extract(absl::Span<const index_t> old2new,
                                         index_t nb_elements) const override {
    auto extracted =
        std::make_shared<VariableAttribute<T>>(default_value, this->properties());
    extracted->resize_with(nb_elements, T{});
    for (index_t i = 0; i < old2new.size(); ++i) {
      const index_t target = old2new[i];
      if (target == NO_ID) continue;
      if (target >= nb_elements) {
        throw UlvaneException(
            "[VariableAttribute::extract] The given mapping contains values that go "
            "beyond the given number of elements.");
      }
      Storage::ref(extracted->values[target]) = value(i);
    }
    return extracted;
  }

  //! Grows to the larger of n and twice the capacity when n exceeds it;
  //! added elements hold the default, a smaller n drops the tail.
  void resize(index_t nb_elements) override { resize_with(nb_elements, default_value); }

  //! Reallocates to exactly n when n exceeds the capacity.
  void reserve(index_t capacity) override {
    if (capacity > values.capacity()) values.reserve(capacity);
  }

  void delete_elements(std::vector<bool> const& to_delete) override {
    delete_flagged_values(to_delete);
  }

  void permute_elements(absl::Span<const index_t> permutation) override {
    permute_values(permutation);
  }

  //! Weighted sum for floating-point values and points; the default for
  //! every other type.
  void interpolate_value(WeightedElementList const& interpolation,
                         index_t to_element) override {
    if constexpr (Traits::is_interpolable) {
      T sum{};
      for (std::size_t i = 0; i < interpolation.indices.size(); ++i) {
        sum = sum + value(interpolation.indices[i]) * detail::checked_at(interpolation.weights, i);
      }
      set_value(to_element, sum);
    } else {
      set_value(to_element, default_value);
    }
  }

  void copy_value(index_t from_element, index_t to_element) override {
    T copied = value(from_element);
    set_value(to_element, std::move(copied));
  }

  //! \throw std::out_of_range "invalid vector subscript" at or beyond the count.
  T const& value(index_t element) const override {
    return Storage::ref(detail::checked_at(values, element));
  }

  //! The stored value, to edit in place (no copy of the value).
  //! \throw std::out_of_range "invalid vector subscript" at or beyond the count.
  T& modifiable_value(index_t element) {
    return Storage::ref(detail::checked_at(values, element));
  }

  //! \throw std::out_of_range "invalid vector subscript" at or beyond the
  //! count; nothing is stored then.
  void set_value(index_t element, T new_value) {
    Storage::ref(detail::checked_at(values, element)) = std::move(new_value);
  }

  T const& get_default_value() const { return default_value; }
  index_t size() const { return static_cast<index_t>(values.size()); }
  index_t capacity() const { return static_cast<index_t>(values.capacity()); }

 private:
  static constexpr index_t INITIAL_CAPACITY = 10;

  void resize_with(index_t nb_elements, T const& fill) {
    const auto current_capacity = static_cast<index_t>(values.capacity());
    if (nb_elements > current_capacity) {
      // Doubling is done in 32-bit arithmetic, as element counts are.
      const index_t doubled = 2U * current_capacity;
      values.reserve(std::max(nb_elements, doubled));
    }
    if (nb_elements <= values.size()) {
      values.erase(values.begin() + nb_elements, values.end());
      return;
    }
    // Each added value is copied once, straight from the fill value (the
    // registry grows storages one element at a time).
    while (values.size() < nb_elements) Storage::append(values, fill);
  }

  //! Compacts in one pass, keeping the order of the kept values.
  index_t delete_flagged_values(std::vector<bool> const& to_delete) {
    index_t removed = 0;
    const auto nb_flags = static_cast<index_t>(to_delete.size());
    for (index_t k = 0; k < nb_flags; ++k) {
      if (to_delete[k]) {
        ++removed;
      } else if (removed > 0) {
        values[k - removed] = std::move(values[k]);
      }
    }
    if (removed > 0) values.erase(values.end() - removed, values.end());
    return removed;
  }

  //! Afterwards position k holds what position permutation[k] held: each
  //! cycle is followed once, with one visited bit per position.
  void permute_values(absl::Span<const index_t> permutation) {
    std::vector<bool> visited(permutation.size(), false);
    for (index_t i = 0; i < permutation.size(); ++i) {
      if (visited[i]) continue;
      visited[i] = true;
      index_t j = permutation[i];
      if (j == i) continue;
      Stored tmp = std::move(values[i]);
      index_t pos = i;
      while (true) {
        values[pos] = std::move(values[j]);
        visited[j] = true;
        if (permutation[j] == i) break;
        pos = j;
        j = permutation[j];
      }
      values[j] = std::move(tmp);
    }
  }

  T default_value;
  std::vector<Stored> values;
};

template <template <typename> class Attribute, typename T>
std::shared_ptr<Attribute<T>> AttributeManager::find_or_create_attribute(
    absl::string_view name, T default_value, AttributeProperties properties) {
  std::shared_ptr<AttributeBase> found = find_attribute_base(name);
  if (auto typed = std::dynamic_pointer_cast<Attribute<T>>(found)) {
    return typed;
  }
  if (found && found.use_count() >= 2) {
    throw UlvaneException(
        "[AttributeManager::find_or_create_attribute] Do not instantiate an attribute if "
        "an instantiated attribute of the same name with different storage already "
        "exists.");
  }
  auto created = std::make_shared<Attribute<T>>(std::move(default_value), properties);
  register_attribute(created, name);
  return created;
}

template <typename Attribute>
std::shared_ptr<Attribute> AttributeManager::find_attribute(absl::string_view name) const {
  if (auto typed = std::dynamic_pointer_cast<Attribute>(find_attribute_base(name))) {
    return typed;
  }
  throw UlvaneException(
      "[AttributeManager::find_attribute] You have to create an attribute before using "
      "it. See find_or_create_attribute method and derived classes of ReadOnlyAttribute.");
}

}  // namespace tarnix
