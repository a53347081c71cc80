#include <ulvane/model/component_type.h>

#include <array>
#include <mutex>
#include <unordered_set>

#include <absl/strings/str_cat.h>

namespace tarnix {
namespace {

// The one stored copy of every type name. The four model types are looked
// up without locking; other names are added once, under a lock.
std::string const* intern(absl::string_view name) {
  static const std::array<std::string, 5> known{{"Corner", "Line", "Surface", "Block", ""}};
  for (auto const& candidate : known) {
    if (candidate == name) return &candidate;
  }
  static std::mutex mutex;
  static std::unordered_set<std::string> others;
  std::lock_guard<std::mutex> lock(mutex);
  return &*others.emplace(std::string(name)).first;
}

}  // namespace

ComponentType::ComponentType() : name_(intern("")) {}
ComponentType::ComponentType(char const* name) : name_(intern(name)) {}
ComponentType::ComponentType(std::string const& name) : name_(intern(name)) {}
ComponentType::ComponentType(absl::string_view name) : name_(intern(name)) {}

std::string ComponentID::string() const { return absl::StrCat(type_.get(), " ", id_.string()); }

}  // namespace tarnix
