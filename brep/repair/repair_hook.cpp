#include "brep/repair_surface_intersections.h"

namespace tarnix {
namespace detail {

// Placeholder until the repair lands: the output surfaces are left as the
// post-processing made them.
void repair_surface_intersections(RemeshingData<BRep, 3>& /*data*/) {}

}  // namespace detail
}  // namespace tarnix
