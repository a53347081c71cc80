#include <ulvane/basic/uuid.h>

#include <cstdio>
#include <mutex>
#include <random>

#include <ulvane/basic/ulvane_exception.h>

namespace tarnix {
namespace {

struct Generator {
  std::mutex mutex;
  std::mt19937_64 engine{std::random_device{}()};
};

Generator& generator() {
  static Generator instance;
  return instance;
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

uuid::uuid() {
  auto& gen = generator();
  std::lock_guard<std::mutex> lock(gen.mutex);
  high_ = gen.engine();
  low_ = gen.engine();
  // RFC 4122 version 4 and variant bits, so the text reads as a random uuid.
  high_ = (high_ & ~0xF000ULL) | 0x4000ULL;
  low_ = (low_ & ~(0xC000ULL << 48)) | (0x8000ULL << 48);
}

uuid::uuid(std::string const& text) {
  std::uint64_t parts[2] = {0, 0};
  int digits = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool dash_place = i == 8 || i == 13 || i == 18 || i == 23;
    if (dash_place) {
      if (text[i] != '-') throw UlvaneException("[uuid] Invalid text: ", text);
      continue;
    }
    const int d = hex_digit(text[i]);
    if (d < 0 || digits >= 32) throw UlvaneException("[uuid] Invalid text: ", text);
    auto& part = parts[digits / 16];
    part = (part << 4) | static_cast<std::uint64_t>(d);
    ++digits;
  }
  if (digits != 32 || text.size() != 36) {
    throw UlvaneException("[uuid] Invalid text: ", text);
  }
  high_ = parts[0];
  low_ = parts[1];
}

std::string uuid::string() const {
  char buffer[37];
  std::snprintf(buffer, sizeof(buffer), "%08x-%04x-%04x-%04x-%012llx",
                static_cast<unsigned>(high_ >> 32),
                static_cast<unsigned>((high_ >> 16) & 0xFFFF),
                static_cast<unsigned>(high_ & 0xFFFF),
                static_cast<unsigned>(low_ >> 48),
                static_cast<unsigned long long>(low_ & 0xFFFFFFFFFFFFULL));
  return buffer;
}

void uuid::seed_generator(std::uint64_t seed) {
  auto& gen = generator();
  std::lock_guard<std::mutex> lock(gen.mutex);
  gen.engine.seed(seed);
}

}  // namespace tarnix
