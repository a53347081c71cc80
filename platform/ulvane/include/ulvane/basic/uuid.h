#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace tarnix {

//! A 128-bit identifier. Default construction draws a new random one.
class uuid {
 public:
  uuid();
  //! Parses the canonical 8-4-4-4-12 hexadecimal text.
  //! \throw UlvaneException "[uuid] Invalid text: " + text.
  explicit uuid(std::string const& text);

  //! Canonical text, 8-4-4-4-12 lowercase hexadecimal digits.
  std::string string() const;

  friend bool operator==(uuid const& a, uuid const& b) {
    return a.high_ == b.high_ && a.low_ == b.low_;
  }
  friend bool operator!=(uuid const& a, uuid const& b) { return !(a == b); }
  friend bool operator<(uuid const& a, uuid const& b) {
    return std::make_pair(a.high_, a.low_) < std::make_pair(b.high_, b.low_);
  }
  template <typename H>
  friend H AbslHashValue(H h, uuid const& id) {
    return H::combine(std::move(h), id.high_, id.low_);
  }

  //! Makes the ids drawn from now on a fixed sequence (reproducible tests).
  static void seed_generator(std::uint64_t seed);

 private:
  std::uint64_t high_{0};
  std::uint64_t low_{0};
};

}  // namespace tarnix
