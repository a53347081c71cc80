#pragma once

#include <stdexcept>
#include <string>

#include <absl/strings/str_cat.h>

namespace tarnix {

//! The exception type of every failure raised with a message of the system
//! or of the platform layers.
class UlvaneException : public std::runtime_error {
 public:
  explicit UlvaneException(char const* message) : std::runtime_error(message) {}
  //! The two texts joined with nothing between them.
  UlvaneException(char const* message, std::string const& suffix)
      : std::runtime_error(absl::StrCat(message, suffix)) {}
};

namespace detail {

//! Throws std::out_of_range "invalid vector subscript", the message the
//! system documents for an index out of range. Out of line and cold, so
//! that the small accessors that check an index stay small enough to be
//! inlined where they are called.
[[noreturn, gnu::cold]] void throw_out_of_range();

//! Bounds-checked element access with the message the system documents.
template <typename Container>
auto& checked_at(Container& container, std::size_t index) {
  if (index >= container.size()) throw_out_of_range();
  return container[index];
}

}  // namespace detail
}  // namespace tarnix
