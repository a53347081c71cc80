#include <ulvane/basic/ulvane_exception.h>

namespace tarnix {
namespace detail {

void throw_out_of_range() { throw std::out_of_range("invalid vector subscript"); }

}  // namespace detail
}  // namespace tarnix
