#pragma once

#include <cstddef>
#include <iterator>
#include <memory>
#include <vector>

#include <ulvane/basic/common.h>

namespace tarnix {

//! A read-only range of components over a sequence of pointers (owning or
//! not): iteration yields `Component const&`. It stays valid until the
//! model changes.
template <typename Component, typename PointerIterator>
class ComponentRange {
 public:
  class Iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = Component;
    using difference_type = std::ptrdiff_t;
    using pointer = Component const*;
    using reference = Component const&;

    Iterator() = default;
    explicit Iterator(PointerIterator position) : position_(position) {}

    reference operator*() const { return **position_; }
    pointer operator->() const { return &**position_; }
    Iterator& operator++() {
      ++position_;
      return *this;
    }
    Iterator operator++(int) {
      Iterator before = *this;
      ++position_;
      return before;
    }
    friend bool operator==(Iterator const& a, Iterator const& b) {
      return a.position_ == b.position_;
    }
    friend bool operator!=(Iterator const& a, Iterator const& b) { return !(a == b); }

   private:
    PointerIterator position_{};
  };

  ComponentRange(PointerIterator begin, PointerIterator end) : begin_(begin), end_(end) {}

  Iterator begin() const { return Iterator{begin_}; }
  Iterator end() const { return Iterator{end_}; }
  index_t size() const { return static_cast<index_t>(std::distance(begin_, end_)); }
  bool empty() const { return begin_ == end_; }

 private:
  PointerIterator begin_;
  PointerIterator end_;
};

//! The components of one type of a model, in insertion order.
template <typename Component>
using OwnedComponentRange =
    ComponentRange<Component,
                   typename std::vector<std::unique_ptr<Component>>::const_iterator>;

//! Components related to another one, in the order the relations were added.
template <typename Component>
using RelatedComponentRange =
    ComponentRange<Component, typename std::vector<Component const*>::const_iterator>;

}  // namespace tarnix
