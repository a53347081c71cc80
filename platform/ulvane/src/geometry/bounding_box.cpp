#include <ulvane/geometry/bounding_box.h>

#include <array>

#include <ulvane/geometry/predicates.h>

namespace tarnix {
namespace detail {

// Separating axes of a line and a box: the box's face normals, which separate
// only when the direction has no component along them, and the cross
// products of the direction with the box's edges, which amount to projecting
// along each axis and testing the projected line against the projected
// rectangle. Every test is an exact sign, so touching counts as meeting.
bool box_intersects_line(Point<3> const& min, Point<3> const& max,
                         InfiniteLine<3> const& line) {
  Vector<3> const& d = line.direction();
  Point<3> const& o = line.origin();
  for (index_t i = 0; i < 3; ++i) {
    if (!(min.value(i) <= max.value(i))) return false;  // empty box
    if (d.value(i) == 0.0 && (o.value(i) < min.value(i) || o.value(i) > max.value(i))) {
      return false;
    }
  }
  for (index_t axis = 0; axis < 3; ++axis) {
    index_t const j = (axis + 1) % 3;
    index_t const k = (axis + 2) % 3;
    // Separated when every corner of the projected rectangle lies strictly on
    // one side of the projected line; stop as soon as that is ruled out.
    std::array<double, 4> const cj{min.value(j), max.value(j), min.value(j), max.value(j)};
    std::array<double, 4> const ck{min.value(k), min.value(k), max.value(k), max.value(k)};
    bool has_positive = false;
    bool has_negative = false;
    bool is_separated = true;
    for (std::size_t corner = 0; corner < 4 && is_separated; ++corner) {
      Sign const sign = determinant_sign_2d({d.value(j), d.value(k), cj[corner], ck[corner]},
                                            {0.0, 0.0, o.value(j), o.value(k)});
      has_positive |= sign == Sign::positive;
      has_negative |= sign == Sign::negative;
      is_separated = sign != Sign::zero && !(has_positive && has_negative);
    }
    if (is_separated) return false;
  }
  return true;
}

}  // namespace detail
}  // namespace tarnix
