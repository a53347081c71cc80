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

//! Bounds-checked element access with the message the system documents.
template <typename Container>
auto& checked_at(Container& container, std::size_t index) {
  if (index >= container.size()) {
    throw std::out_of_range("invalid vector subscript");
  }
  return container[index];
}

}  // namespace detail
}  // namespace tarnix
