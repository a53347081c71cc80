#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <absl/container/fixed_array.h>
#include <absl/strings/string_view.h>
#include <absl/types/span.h>

#include <ulvane/basic/common.h>

namespace tarnix {

//! The word a creator gives an attribute. Bit 0 set means derivable: when
//! an edit makes an element out of existing ones, the registry gives it a
//! value derived from theirs; otherwise the new element gets the default.
using AttributeProperties = std::uint16_t;
inline constexpr AttributeProperties ATTRIBUTE_DERIVABLE = 1;

//! Elements and weights from which a new element's value is interpolated.
struct WeightedElementList {
  WeightedElementList(absl::Span<const index_t> element_indices,
                      absl::Span<const double> element_weights)
      : indices(element_indices.begin(), element_indices.end()),
        weights(element_weights.begin(), element_weights.end()) {}

  absl::FixedArray<index_t, 4> indices;
  absl::FixedArray<double, 4> weights;
};

//! A storage of one value per element, known to the registry only through
//! these operations.
class AttributeBase {
 public:
  virtual ~AttributeBase() = default;
  virtual float float_value(index_t element) const = 0;
  virtual float float_item_value(index_t element, std::uint8_t item) const = 0;
  virtual bool has_float_value() const = 0;
  virtual std::uint8_t nb_float_items() const = 0;
  virtual absl::string_view type_name() const = 0;
  virtual std::shared_ptr<AttributeBase> clone() const = 0;
  virtual void copy_from(AttributeBase const& other, index_t nb_elements) = 0;
  virtual std::shared_ptr<AttributeBase> extract(absl::Span<const index_t> old2new,
                                                 index_t nb_elements) const = 0;
  virtual void resize(index_t nb_elements) = 0;
  virtual void reserve(index_t capacity) = 0;
  virtual void delete_elements(std::vector<bool> const& to_delete) = 0;
  virtual void permute_elements(absl::Span<const index_t> permutation) = 0;
  virtual void interpolate_value(WeightedElementList const& interpolation,
                                 index_t to_element) = 0;
  virtual void copy_value(index_t from_element, index_t to_element) = 0;

  //! The creator's word; the registry reads bit 0 (ATTRIBUTE_DERIVABLE).
  AttributeProperties properties() const { return properties_; }

 protected:
  explicit AttributeBase(AttributeProperties properties) : properties_(properties) {}
  AttributeBase(AttributeBase const&) = default;
  AttributeBase& operator=(AttributeBase const&) = default;

 private:
  AttributeProperties properties_;
};

//! A storage whose values can be read as T.
template <typename T>
class ReadOnlyAttribute : public AttributeBase {
 public:
  //! \throw std::out_of_range "invalid vector subscript" beyond the count.
  virtual T const& value(index_t element) const = 0;

 protected:
  using AttributeBase::AttributeBase;
};

}  // namespace tarnix
