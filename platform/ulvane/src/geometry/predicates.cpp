#include <ulvane/geometry/predicates.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <iterator>

#include <absl/container/inlined_vector.h>
#include <absl/types/optional.h>

#include <ulvane/basic/ulvane_exception.h>

// Exact determinant signs: a floating-point filter with a proven error bound,
// then an exact evaluation with floating-point expansions (Shewchuk, "Adaptive
// Precision Floating-Point Arithmetic and Fast Robust Geometric Predicates",
// 1997) for the calls the filter cannot decide.
//
// The expansions are exact as long as nothing overflows or underflows. So the
// inputs are first scaled by a power of two to put the largest in [1, 2); when
// they span too many binades for that (an input near 1e300 beside one near
// 1e-300), the same code runs on WideFloat, a 53-bit float with an unbounded
// exponent. Either way the result is exact for every finite double input.
//
// This file must be compiled without value-changing floating-point
// optimisations (no -ffast-math, no contraction into fused multiply-adds).

// GCC 12 reports the inline storage of absl::InlinedVector as possibly
// uninitialised when an expansion is returned by value; it is not.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace tarnix {
namespace {

constexpr double kEpsilon = 0x1p-53;  // unit roundoff of double

// Filter bounds. Write X for an exact difference, x = fl(X), and let every
// rounding be (1 + d) with |d| <= eps, plus an absolute term of at most 2^-1075
// for a product that underflows (sums and differences never pick one up).
//
// 2D: det = x0 x3 - x1 x2. Each of the two leaf products X X goes through four
// roundings (two differences, the product, the subtraction), so
// |fl(det) - det| <= ((1 + eps)^4 - 1) (|X0 X3| + |X1 X2|) + 2^-1073.
// The computed permanent fl(|x0 x3| + |x1 x2|) is at least (1 - eps)^4 times
// that sum, and forming the bound costs two more roundings. Since
// 5 eps (1 - eps)^6 >= (1 + eps)^4 - 1, bound = 5 eps permanent + 2^-1000 is
// safe.
//
// 3D: det = x0 (x4 x8 - x5 x7) + x1 (x5 x6 - x3 x8) + x2 (x3 x7 - x4 x6). Each
// leaf product goes through at most eight roundings (three differences, two
// products, the minor's subtraction, two sums) and the permanent loses at most
// eight, the bound two more: 9 eps (1 - eps)^10 >= (1 + eps)^8 - 1. An
// underflowed minor product is multiplied by |x0|, |x1| or |x2| afterwards,
// hence the absolute term (|x0| + |x1| + |x2| + 1) 2^-1000.
//
// An overflow turns the permanent into inf or NaN, and the filter then
// declines, since no finite value exceeds inf and no comparison with NaN holds.
constexpr double kFilterBound2 = 5.0 * kEpsilon;
constexpr double kFilterBound3 = 9.0 * kEpsilon;
constexpr double kUnderflowSlack = 0x1p-1000;

Sign sign_of(double value) {
  return value > 0.0 ? Sign::positive : (value < 0.0 ? Sign::negative : Sign::zero);
}

// ---------------------------------------------------------------------------
// Error-free transformations on doubles: x is the rounded result and y its
// exact error, provided nothing overflows or underflows.

void two_sum(double a, double b, double& x, double& y) {
  x = a + b;
  double const b_virtual = x - a;
  double const a_virtual = x - b_virtual;
  y = (a - a_virtual) + (b - b_virtual);
}

// Dekker's split of a into two halves of at most 26 significant bits.
void split(double a, double& high, double& low) {
  double const c = 134217729.0 * a;  // 2^27 + 1
  high = c - (c - a);
  low = a - high;
}

void two_product(double a, double b, double& x, double& y) {
  x = a * b;
  double a_high = 0.0;
  double a_low = 0.0;
  double b_high = 0.0;
  double b_low = 0.0;
  split(a, a_high, a_low);
  split(b, b_high, b_low);
  y = a_low * b_low - (((x - a_high * b_high) - a_low * b_high) - a_high * b_low);
}

// The sign of x0 x3 - x1 x2, x = u - v, when it is cheap to get exactly:
// every difference is exact (nearby coordinates, as in most tests the
// filter leaves undecided) and every nonzero one lies between 2^-480 and
// 2^500 in magnitude, so that the two products and their errors are exact
// doubles. The determinant is then (p + ep) - (q + eq), whose sign is that
// of the largest component of its nonoverlapping expansion, grown from
// p - q one term at a time (Shewchuk's Grow-Expansion). Empty in every
// other case, a non-finite input included (its tail is not a number).
absl::optional<Sign> exact_sign_of_nearby_2d(std::array<double, 4> const& u,
                                             std::array<double, 4> const& v) {
  double x[4];
  for (std::size_t k = 0; k < 4; ++k) {
    double tail = 0.0;
    two_sum(u[k], -v[k], x[k], tail);
    if (tail != 0.0) return absl::nullopt;
    double const magnitude = std::fabs(x[k]);
    if (magnitude != 0.0 && !(magnitude >= 0x1p-480 && magnitude <= 0x1p500)) {
      return absl::nullopt;
    }
  }
  double p = 0.0, p_error = 0.0, q = 0.0, q_error = 0.0;
  two_product(x[0], x[3], p, p_error);
  two_product(x[1], x[2], q, q_error);
  double e[3];
  double top = 0.0;
  two_sum(p, -q, top, e[0]);
  two_sum(p_error, e[0], e[1], e[0]);
  two_sum(e[1], top, top, e[1]);
  two_sum(-q_error, e[0], e[2], e[0]);
  two_sum(e[2], e[1], e[2], e[1]);
  two_sum(e[2], top, top, e[2]);
  // Components from the largest down: e[2], e[1], e[0] under top.
  if (top != 0.0) return sign_of(top);
  for (std::size_t k = 3; k-- > 0;) {
    if (e[k] != 0.0) return sign_of(e[k]);
  }
  return Sign::zero;
}

bool is_zero(double a) { return a == 0.0; }
double negated(double a) { return -a; }
int sign_value(double a) { return (a > 0.0) - (a < 0.0); }
bool smaller_magnitude(double a, double b) { return std::fabs(a) < std::fabs(b); }

// ---------------------------------------------------------------------------
// significand * 2^exponent with |significand| in [0.5, 1), or zero. Rounding
// behaves as for a double whose exponent never overflows or underflows.

struct WideFloat {
  double significand = 0.0;
  int exponent = 0;
};

WideFloat make_wide(double value, int shift = 0) {
  int exponent = 0;
  double const significand = std::frexp(value, &exponent);
  if (significand == 0.0) return WideFloat{};
  return WideFloat{significand, exponent + shift};
}

bool is_zero(WideFloat a) { return a.significand == 0.0; }
WideFloat negated(WideFloat a) { return WideFloat{-a.significand, a.exponent}; }
int sign_value(WideFloat a) { return sign_value(a.significand); }
bool smaller_magnitude(WideFloat a, WideFloat b) {
  if (is_zero(a) || is_zero(b)) return is_zero(a) && !is_zero(b);
  if (a.exponent != b.exponent) return a.exponent < b.exponent;
  return std::fabs(a.significand) < std::fabs(b.significand);
}

void two_sum(WideFloat a, WideFloat b, WideFloat& x, WideFloat& y) {
  if (is_zero(a) || is_zero(b)) {
    x = is_zero(a) ? b : a;
    y = WideFloat{};
    return;
  }
  int const top = std::max(a.exponent, b.exponent);
  if (top - std::min(a.exponent, b.exponent) > 900) {
    // The smaller lies far below half an ulp of the larger: the rounded sum
    // is the larger and the error the smaller.
    bool const a_larger = a.exponent > b.exponent;
    x = a_larger ? a : b;
    y = a_larger ? b : a;
    return;
  }
  // Scaled to the larger's binade, both are exact doubles well above the
  // underflow threshold, and so are the rounded sum and its error.
  double x_scaled = 0.0;
  double y_scaled = 0.0;
  two_sum(std::ldexp(a.significand, a.exponent - top),
          std::ldexp(b.significand, b.exponent - top), x_scaled, y_scaled);
  x = make_wide(x_scaled, top);
  y = make_wide(y_scaled, top);
}

void two_product(WideFloat a, WideFloat b, WideFloat& x, WideFloat& y) {
  if (is_zero(a) || is_zero(b)) {
    x = y = WideFloat{};
    return;
  }
  double x_scaled = 0.0;
  double y_scaled = 0.0;
  two_product(a.significand, b.significand, x_scaled, y_scaled);
  x = make_wide(x_scaled, a.exponent + b.exponent);
  y = make_wide(y_scaled, a.exponent + b.exponent);
}

// ---------------------------------------------------------------------------
// Expansions: exact sums of nonoverlapping components, stored in increasing
// magnitude without zeros. The sign of an expansion is that of its largest
// component. Only algorithms whose nonoverlapping output needs nothing more
// than nonoverlapping input are used (Shewchuk's theorems 12 and 19).

template <typename Real>
using Expansion = absl::InlinedVector<Real, 16>;

template <typename Real>
void push_nonzero(Expansion<Real>& expansion, Real value) {
  if (!is_zero(value)) expansion.push_back(value);
}

template <typename Real>
int sign_value(Expansion<Real> const& e) {
  return e.empty() ? 0 : sign_value(e.back());
}

// Exactly a - b.
template <typename Real>
Expansion<Real> difference(Real a, Real b) {
  Real x{};
  Real y{};
  two_sum(a, negated(b), x, y);
  Expansion<Real> result;
  push_nonzero(result, y);
  push_nonzero(result, x);
  return result;
}

template <typename Real>
Expansion<Real> negated(Expansion<Real> e) {
  for (Real& component : e) component = negated(component);
  return e;
}

// Linear-Expansion-Sum, with Two-Sum in place of Fast-Two-Sum (same result).
template <typename Real>
Expansion<Real> sum(Expansion<Real> const& e, Expansion<Real> const& f) {
  Expansion<Real> g;
  g.reserve(e.size() + f.size());
  std::merge(e.begin(), e.end(), f.begin(), f.end(), std::back_inserter(g),
             [](Real a, Real b) { return smaller_magnitude(a, b); });
  if (g.size() < 2) return g;
  Expansion<Real> h;
  Real total{};
  Real low{};
  two_sum(g[1], g[0], total, low);
  for (std::size_t i = 2; i < g.size(); ++i) {
    Real next{};
    Real component{};
    two_sum(g[i], low, next, component);
    push_nonzero(h, component);
    two_sum(total, next, total, low);
  }
  push_nonzero(h, low);
  push_nonzero(h, total);
  return h;
}

// Scale-Expansion: exactly e * b.
template <typename Real>
Expansion<Real> scale(Expansion<Real> const& e, Real b) {
  Expansion<Real> h;
  if (e.empty() || is_zero(b)) return h;
  Real total{};
  Real low{};
  two_product(e[0], b, total, low);
  push_nonzero(h, low);
  for (std::size_t i = 1; i < e.size(); ++i) {
    Real product{};
    Real product_low{};
    two_product(e[i], b, product, product_low);
    Real component{};
    two_sum(total, product_low, total, component);
    push_nonzero(h, component);
    two_sum(product, total, total, component);
    push_nonzero(h, component);
  }
  push_nonzero(h, total);
  return h;
}

template <typename Real>
Expansion<Real> product(Expansion<Real> const& e, Expansion<Real> const& f) {
  if (f.size() > e.size()) return product(f, e);
  Expansion<Real> result;
  for (Real component : f) result = sum(result, scale(e, component));
  return result;
}

template <typename Real>
int exact_sign(std::array<Real, 4> const& u, std::array<Real, 4> const& v) {
  std::array<Expansion<Real>, 4> x;
  for (std::size_t k = 0; k < 4; ++k) x[k] = difference(u[k], v[k]);
  return sign_value(sum(product(x[0], x[3]), negated(product(x[1], x[2]))));
}

template <typename Real>
int exact_sign(std::array<Real, 9> const& u, std::array<Real, 9> const& v) {
  std::array<Expansion<Real>, 9> x;
  for (std::size_t k = 0; k < 9; ++k) x[k] = difference(u[k], v[k]);
  auto const minor = [&x](std::size_t a, std::size_t b, std::size_t c, std::size_t d) {
    return sum(product(x[a], x[b]), negated(product(x[c], x[d])));
  };
  Expansion<Real> const first = product(x[0], minor(4, 8, 5, 7));
  Expansion<Real> const second = product(x[1], minor(5, 6, 3, 8));
  Expansion<Real> const third = product(x[2], minor(3, 7, 4, 6));
  return sign_value(sum(sum(first, second), third));
}

// Picks the number type for the exact evaluation of a determinant of degree
// N = 4 (2D) or 9 (3D) entries.
template <std::size_t N>
[[gnu::noinline]] Sign exact_determinant_sign(std::array<double, N> const& u,
                                               std::array<double, N> const& v) {
  // Once the largest input is scaled into [1, 2), every input is a multiple
  // of 2^-(span + 52), so every intermediate of a degree-k determinant is a
  // multiple of 2^-(k (span + 52)). That stays representable above 2^-1074
  // for span <= 485 (k = 2) and span <= 306 (k = 3); nothing comes close to
  // overflowing.
  constexpr int max_span = N == 4 ? 480 : 300;
  int top = INT_MIN;
  int bottom = INT_MAX;
  for (auto const* values : {&u, &v}) {
    for (double value : *values) {
      if (!std::isfinite(value)) {
        throw UlvaneException("[orientation] Coordinates must be finite");
      }
      if (value != 0.0) {
        int const exponent = std::ilogb(value);
        top = std::max(top, exponent);
        bottom = std::min(bottom, exponent);
      }
    }
  }
  if (top == INT_MIN) return Sign::zero;
  if (top - bottom <= max_span) {
    std::array<double, N> scaled_u;
    std::array<double, N> scaled_v;
    for (std::size_t k = 0; k < N; ++k) {
      scaled_u[k] = std::ldexp(u[k], -top);
      scaled_v[k] = std::ldexp(v[k], -top);
    }
    return static_cast<Sign>(exact_sign(scaled_u, scaled_v));
  }
  std::array<WideFloat, N> wide_u;
  std::array<WideFloat, N> wide_v;
  for (std::size_t k = 0; k < N; ++k) {
    wide_u[k] = make_wide(u[k]);
    wide_v[k] = make_wide(v[k]);
  }
  return static_cast<Sign>(exact_sign(wide_u, wide_v));
}

}  // namespace

namespace detail {

Sign determinant_sign_2d(std::array<double, 4> const& u, std::array<double, 4> const& v) {
  double const x0 = u[0] - v[0];
  double const x1 = u[1] - v[1];
  double const x2 = u[2] - v[2];
  double const x3 = u[3] - v[3];
  double const left = x0 * x3;
  double const right = x1 * x2;
  double const determinant = left - right;
  double const bound =
      kFilterBound2 * (std::fabs(left) + std::fabs(right)) + kUnderflowSlack;
  if (determinant > bound || -determinant > bound) return sign_of(determinant);
  if (const auto sign = exact_sign_of_nearby_2d(u, v)) return *sign;
  return exact_determinant_sign(u, v);
}

Sign determinant_sign_3d(std::array<double, 9> const& u, std::array<double, 9> const& v) {
  std::array<double, 9> x{};
  for (std::size_t k = 0; k < 9; ++k) x[k] = u[k] - v[k];
  double const p48 = x[4] * x[8];
  double const p57 = x[5] * x[7];
  double const p56 = x[5] * x[6];
  double const p38 = x[3] * x[8];
  double const p37 = x[3] * x[7];
  double const p46 = x[4] * x[6];
  double const determinant =
      x[0] * (p48 - p57) + x[1] * (p56 - p38) + x[2] * (p37 - p46);
  double const permanent = std::fabs(x[0]) * (std::fabs(p48) + std::fabs(p57)) +
                           std::fabs(x[1]) * (std::fabs(p56) + std::fabs(p38)) +
                           std::fabs(x[2]) * (std::fabs(p37) + std::fabs(p46));
  double const bound =
      kFilterBound3 * permanent +
      (std::fabs(x[0]) + std::fabs(x[1]) + std::fabs(x[2]) + 1.0) * kUnderflowSlack;
  if (determinant > bound || -determinant > bound) return sign_of(determinant);
  return exact_determinant_sign(u, v);
}

}  // namespace detail

Sign orientation_2d(Point<2> const& a, Point<2> const& b, Point<2> const& c) {
  return detail::determinant_sign_2d({b.value(0), b.value(1), c.value(0), c.value(1)},
                                     {a.value(0), a.value(1), a.value(0), a.value(1)});
}

Sign orientation_3d(Point<3> const& a, Point<3> const& b, Point<3> const& c,
                    Point<3> const& d) {
  return detail::determinant_sign_3d(
      {b.value(0), b.value(1), b.value(2), c.value(0), c.value(1), c.value(2), d.value(0),
       d.value(1), d.value(2)},
      {a.value(0), a.value(1), a.value(2), a.value(0), a.value(1), a.value(2), a.value(0),
       a.value(1), a.value(2)});
}

}  // namespace tarnix
