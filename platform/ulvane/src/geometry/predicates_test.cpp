#include <ulvane/geometry/predicates.h>

#include <gmp.h>

#include <array>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include <ulvane/basic/ulvane_exception.h>
#include <ulvane/geometry/position.h>
#include <ulvane/geometry/vector.h>

namespace tarnix {
namespace {

// An exact rational built from doubles, for reference signs.
class Rational {
 public:
  Rational() { mpq_init(value_); }
  explicit Rational(double d) : Rational() { mpq_set_d(value_, d); }
  Rational(Rational const& other) : Rational() { mpq_set(value_, other.value_); }
  Rational& operator=(Rational const& other) {
    mpq_set(value_, other.value_);
    return *this;
  }
  ~Rational() { mpq_clear(value_); }

  friend Rational operator+(Rational const& a, Rational const& b) {
    Rational r;
    mpq_add(r.value_, a.value_, b.value_);
    return r;
  }
  friend Rational operator-(Rational const& a, Rational const& b) {
    Rational r;
    mpq_sub(r.value_, a.value_, b.value_);
    return r;
  }
  friend Rational operator*(Rational const& a, Rational const& b) {
    Rational r;
    mpq_mul(r.value_, a.value_, b.value_);
    return r;
  }
  Sign sign() const { return static_cast<Sign>(mpq_sgn(value_)); }

 private:
  mpq_t value_;
};

Sign exact_orientation_2d(Point<2> const& a, Point<2> const& b, Point<2> const& c) {
  Rational const ax{a.value(0)}, ay{a.value(1)};
  Rational const bx = Rational{b.value(0)} - ax, by = Rational{b.value(1)} - ay;
  Rational const cx = Rational{c.value(0)} - ax, cy = Rational{c.value(1)} - ay;
  return (bx * cy - by * cx).sign();
}

Sign exact_orientation_3d(Point<3> const& a, Point<3> const& b, Point<3> const& c,
                          Point<3> const& d) {
  std::array<Rational, 9> m;
  Point<3> const* rows[3] = {&b, &c, &d};
  for (int r = 0; r < 3; ++r) {
    for (index_t i = 0; i < 3; ++i) {
      m[3 * r + i] = Rational{rows[r]->value(i)} - Rational{a.value(i)};
    }
  }
  Rational const det = m[0] * (m[4] * m[8] - m[5] * m[7]) + m[1] * (m[5] * m[6] - m[3] * m[8]) +
                       m[2] * (m[3] * m[7] - m[4] * m[6]);
  return det.sign();
}

Point<2> p2(double x, double y) { return Point<2>{{x, y}}; }
Point<3> p3(double x, double y, double z) { return Point<3>{{x, y, z}}; }

// Moves a coordinate by `ulps` units in the last place.
double shift_ulps(double value, int ulps) {
  double const target = ulps > 0 ? std::numeric_limits<double>::infinity()
                                 : -std::numeric_limits<double>::infinity();
  for (int i = 0; i < std::abs(ulps); ++i) value = std::nextafter(value, target);
  return value;
}

// A double with a random significand and an exponent drawn from [low, high],
// of either sign.
double random_scaled(std::mt19937_64& rng, int low, int high) {
  std::uniform_real_distribution<double> significand(0.5, 1.0);
  std::uniform_int_distribution<int> exponent(low, high);
  std::bernoulli_distribution negative(0.5);
  double const value = std::ldexp(significand(rng), exponent(rng));
  return negative(rng) ? -value : value;
}

Sign sign_of(double value) {
  return value > 0.0 ? Sign::positive : (value < 0.0 ? Sign::negative : Sign::zero);
}

// Counts the calls where plain floating-point evaluation gets the sign
// wrong: the inputs are then really hard ones.
struct Tally {
  int total = 0;
  int naive_wrong = 0;
  void add(Sign exact, double naive) {
    ++total;
    naive_wrong += sign_of(naive) != exact;
  }
};

void check_2d(Point<2> const& a, Point<2> const& b, Point<2> const& c, Tally* tally = nullptr) {
  Sign const expected = exact_orientation_2d(a, b, c);
  ASSERT_EQ(orientation_2d(a, b, c), expected) << a << ' ' << b << ' ' << c;
  // The side test shares the predicate, and "on the line" means exactly zero.
  ASSERT_EQ(point_side_to_segment(c, Segment<2>{a, b}) == Side::on_line, expected == Sign::zero);
  if (tally != nullptr) {
    tally->add(expected, (b.value(0) - a.value(0)) * (c.value(1) - a.value(1)) -
                             (b.value(1) - a.value(1)) * (c.value(0) - a.value(0)));
  }
}

void check_3d(Point<3> const& a, Point<3> const& b, Point<3> const& c, Point<3> const& d,
              Tally* tally = nullptr) {
  Sign const expected = exact_orientation_3d(a, b, c, d);
  ASSERT_EQ(orientation_3d(a, b, c, d), expected) << a << ' ' << b << ' ' << c << ' ' << d;
  if (tally != nullptr) {
    Vector<3> const ab{a, b};
    Vector<3> const ac{a, c};
    tally->add(expected, ab.cross(ac).dot(Vector<3>{a, d}));
  }
}

TEST(OrientationTest, WorkedSigns) {
  EXPECT_EQ(orientation_2d(p2(0, 0), p2(1, 0), p2(0, 1)), Sign::positive);
  EXPECT_EQ(orientation_2d(p2(0, 0), p2(0, 1), p2(1, 0)), Sign::negative);
  EXPECT_EQ(orientation_2d(p2(0, 0), p2(1, 1), p2(3, 3)), Sign::zero);
  EXPECT_EQ(orientation_2d(p2(1, 1), p2(1, 1), p2(5, -2)), Sign::zero);
  // d on the side the right-hand normal of (a, b, c) points to.
  EXPECT_EQ(orientation_3d(p3(0, 0, 0), p3(1, 0, 0), p3(0, 1, 0), p3(0, 0, 1)),
            Sign::positive);
  EXPECT_EQ(orientation_3d(p3(0, 0, 0), p3(1, 0, 0), p3(0, 1, 0), p3(0, 0, -1)),
            Sign::negative);
  EXPECT_EQ(orientation_3d(p3(0, 0, 0), p3(1, 0, 0), p3(0, 1, 0), p3(7, -3, 0)), Sign::zero);
}

TEST(OrientationTest, RandomInputsMatchRationalArithmetic) {
  std::mt19937_64 rng(1);
  std::uniform_real_distribution<double> coordinate(-1.0, 1.0);
  auto const r = [&] { return coordinate(rng); };
  for (int i = 0; i < 20000; ++i) {
    check_2d(p2(r(), r()), p2(r(), r()), p2(r(), r()));
    check_3d(p3(r(), r(), r()), p3(r(), r(), r()), p3(r(), r(), r()), p3(r(), r(), r()));
  }
}

// A point rounded from the line through a and b, then moved by a few ulps:
// the filter fails on most of these and the exact path decides.
TEST(OrientationTest, PointsWithinUlpsOfALine) {
  std::mt19937_64 rng(2);
  std::uniform_real_distribution<double> coordinate(-10.0, 10.0);
  std::uniform_real_distribution<double> parameter(-2.0, 3.0);
  Tally tally;
  for (int i = 0; i < 3000; ++i) {
    Point<2> const a = p2(coordinate(rng), coordinate(rng));
    Point<2> const b = p2(coordinate(rng), coordinate(rng));
    double const t = parameter(rng);
    Point<2> const on = a + (b - a) * t;
    for (int dx = -2; dx <= 2; ++dx) {
      for (int dy = -2; dy <= 2; ++dy) {
        Point<2> const c = p2(shift_ulps(on.value(0), dx), shift_ulps(on.value(1), dy));
        check_2d(a, b, c, &tally);
        check_2d(c, a, b);
        if (HasFatalFailure()) return;
      }
    }
  }
  // The construction must really reach cases that rounding gets wrong.
  EXPECT_GT(tally.naive_wrong, tally.total / 100);
}

// The same with every coordinate in [1, 2) times a power of two, so that
// the coordinate differences are exact (the cheap exact stage's case),
// scaled near and beyond the limits of that stage's range.
TEST(OrientationTest, PointsWithinUlpsOfALineWithExactDifferences) {
  std::mt19937_64 rng(4);
  std::uniform_real_distribution<double> coordinate(1.0, 2.0);
  std::uniform_real_distribution<double> parameter(0.0, 1.0);
  for (int const exponent : {0, -470, -500, 480, 520}) {
    SCOPED_TRACE(exponent);
    auto const scaled = [exponent](Point<2> const& p) {
      return p2(std::ldexp(p.value(0), exponent), std::ldexp(p.value(1), exponent));
    };
    Tally tally;
    for (int i = 0; i < 1500; ++i) {
      Point<2> const a = p2(coordinate(rng), coordinate(rng));
      Point<2> const b = p2(coordinate(rng), coordinate(rng));
      Point<2> const on = a + (b - a) * parameter(rng);
      for (int dx = -1; dx <= 1; ++dx) {
        for (int dy = -1; dy <= 1; ++dy) {
          Point<2> const c = p2(shift_ulps(on.value(0), dx), shift_ulps(on.value(1), dy));
          if (c.value(0) < 1.0 || c.value(0) >= 2.0 || c.value(1) < 1.0 || c.value(1) >= 2.0) {
            continue;
          }
          check_2d(scaled(a), scaled(b), scaled(c), &tally);
          check_2d(scaled(b), scaled(c), scaled(a));
          if (HasFatalFailure()) return;
        }
      }
    }
    EXPECT_GT(tally.naive_wrong, tally.total / 100);
  }
}

TEST(OrientationTest, PointsWithinUlpsOfAPlane) {
  std::mt19937_64 rng(3);
  std::uniform_real_distribution<double> coordinate(-10.0, 10.0);
  std::uniform_real_distribution<double> parameter(-1.0, 2.0);
  auto const r = [&] { return coordinate(rng); };
  Tally tally;
  for (int i = 0; i < 1500; ++i) {
    Point<3> const a = p3(r(), r(), r());
    Point<3> const b = p3(r(), r(), r());
    Point<3> const c = p3(r(), r(), r());
    Point<3> const on = a + (b - a) * parameter(rng) + (c - a) * parameter(rng);
    for (int k = 0; k < 27; ++k) {
      Point<3> const d = p3(shift_ulps(on.value(0), k % 3 - 1),
                            shift_ulps(on.value(1), (k / 3) % 3 - 1),
                            shift_ulps(on.value(2), k / 9 - 1));
      check_3d(a, b, c, d, &tally);
      check_3d(d, a, c, b);
      if (HasFatalFailure()) return;
    }
  }
  EXPECT_GT(tally.naive_wrong, tally.total / 100);
}

// Points on lines and planes with small integer directions and power-of-two
// steps are exactly collinear or coplanar, with far from trivial coordinates.
TEST(OrientationTest, ExactlyCollinearAndCoplanarPoints) {
  std::mt19937_64 rng(4);
  std::uniform_int_distribution<int> small(-50, 50);
  std::uniform_int_distribution<int> step(-40, 40);
  std::uniform_real_distribution<double> base(-1e6, 1e6);
  for (int i = 0; i < 3000; ++i) {
    // The base is rounded to a multiple of 2^-10, so adding steps of at least
    // 2^-10 stays exact.
    auto const rounded = [&] { return std::ldexp(std::round(std::ldexp(base(rng), 10)), -10); };
    Point<2> const o = p2(rounded(), rounded());
    Point<2> const v = p2(small(rng), small(rng));
    auto const along = [&](Point<2> const& direction) {
      return o + direction * std::ldexp(1.0, step(rng) % 10);
    };
    Point<2> const a = along(v);
    Point<2> const b = along(v);
    ASSERT_EQ(orientation_2d(o, a, b), Sign::zero);
    check_2d(o, a, b);
    check_2d(a, b, o);

    Point<3> const o3 = p3(rounded(), rounded(), rounded());
    Point<3> const u = p3(small(rng), small(rng), small(rng));
    Point<3> const w = p3(small(rng), small(rng), small(rng));
    auto const in_plane = [&] {
      return o3 + u * std::ldexp(1.0, step(rng) % 10) + w * std::ldexp(1.0, step(rng) % 10);
    };
    Point<3> const b3 = in_plane();
    Point<3> const c3 = in_plane();
    Point<3> const d3 = in_plane();
    ASSERT_EQ(orientation_3d(o3, b3, c3, d3), Sign::zero);
    check_3d(b3, o3, d3, c3);
    if (HasFatalFailure()) return;
  }
}

// Coordinates near 1e±300 beside ordinary and subnormal ones: products
// overflow or underflow, so only scaling or the wide exponent keeps the
// evaluation exact.
TEST(OrientationTest, HugeAndTinyCoordinatesMatchRationalArithmetic) {
  std::mt19937_64 rng(5);
  std::uniform_int_distribution<int> pick(0, 5);
  auto const coordinate = [&]() -> double {
    switch (pick(rng)) {
      case 0:
        return random_scaled(rng, 990, 1023);  // about 1e300
      case 1:
        return random_scaled(rng, -1000, -990);  // about 1e-300
      case 2:
        return random_scaled(rng, -3, 3);
      case 3:
        return std::ldexp(static_cast<double>(pick(rng) + 1), -1074);  // subnormal
      case 4:
        return 0.0;
      default:
        return random_scaled(rng, -1074, 1023);
    }
  };
  for (int i = 0; i < 20000; ++i) {
    check_2d(p2(coordinate(), coordinate()), p2(coordinate(), coordinate()),
             p2(coordinate(), coordinate()));
    check_3d(p3(coordinate(), coordinate(), coordinate()),
             p3(coordinate(), coordinate(), coordinate()),
             p3(coordinate(), coordinate(), coordinate()),
             p3(coordinate(), coordinate(), coordinate()));
    if (HasFatalFailure()) return;
  }
}

// Near-degenerate configurations at extreme scales: huge points with a tiny
// offset, and a line of huge slope through tiny coordinates.
TEST(OrientationTest, NearDegenerateAtExtremeScales) {
  struct Case {
    char const* name;
    Point<2> a, b, c;
  };
  double const big = 1e300;
  double const tiny = 1e-300;
  double const max = std::numeric_limits<double>::max();
  Case const cases[] = {
      {"huge collinear", p2(big, big), p2(-big, -big), p2(0.0, 0.0)},
      {"huge with tiny offset", p2(big, big), p2(-big, -big), p2(tiny, 0.0)},
      {"huge with tiny offset, other side", p2(big, big), p2(-big, -big), p2(0.0, tiny)},
      {"differences overflow", p2(max, -max), p2(-max, max), p2(0.0, 0.0)},
      {"differences overflow, off by a subnormal", p2(max, -max), p2(-max, max),
       p2(5e-324, 0.0)},
      {"tiny collinear", p2(tiny, tiny), p2(2 * tiny, 2 * tiny), p2(3 * tiny, 3 * tiny)},
      {"tiny off the line", p2(tiny, tiny), p2(2 * tiny, 2 * tiny),
       p2(3 * tiny, std::nextafter(3 * tiny, 1.0))},
      {"subnormals", p2(5e-324, 0.0), p2(0.0, 5e-324), p2(1e-323, -5e-324)},
      {"span beyond scaling", p2(big, tiny), p2(-big, -tiny), p2(1.0, 1e-308)},
      {"huge slope", p2(0.0, 0.0), p2(tiny, big), p2(2 * tiny, 2 * big)},
      {"huge slope, off by one ulp", p2(0.0, 0.0), p2(tiny, big),
       p2(2 * tiny, std::nextafter(2 * big, 0.0))},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    check_2d(c.a, c.b, c.c);
    check_2d(c.b, c.c, c.a);
    check_2d(c.c, c.b, c.a);
  }
  EXPECT_EQ(orientation_2d(cases[0].a, cases[0].b, cases[0].c), Sign::zero);
  EXPECT_EQ(orientation_2d(cases[3].a, cases[3].b, cases[3].c), Sign::zero);
  EXPECT_NE(orientation_2d(cases[4].a, cases[4].b, cases[4].c), Sign::zero);

  check_3d(p3(big, 0, 0), p3(0, big, 0), p3(0, 0, big), p3(big / 3, big / 3, big / 3));
  check_3d(p3(big, 0, 0), p3(0, big, 0), p3(0, 0, big), p3(tiny, tiny, tiny));
  check_3d(p3(max, -max, 0), p3(-max, max, 0), p3(0, 0, max), p3(0, 0, 5e-324));
  check_3d(p3(max, -max, 0), p3(-max, max, 0), p3(0, 0, max), p3(0, 0, 0));
  check_3d(p3(tiny, 0, 0), p3(0, tiny, 0), p3(0, 0, tiny), p3(big, -big, tiny));
  check_3d(p3(5e-324, 0, 0), p3(0, 5e-324, 0), p3(0, 0, 5e-324), p3(1e-323, -5e-324, 0));
}

TEST(OrientationTest, DeterminantFormsMatchRationalArithmetic) {
  std::mt19937_64 rng(6);
  std::uniform_int_distribution<int> pick(0, 3);
  auto const coordinate = [&]() -> double {
    switch (pick(rng)) {
      case 0:
        return random_scaled(rng, 990, 1020);
      case 1:
        return random_scaled(rng, -1070, -990);
      default:
        return random_scaled(rng, -2, 2);
    }
  };
  for (int i = 0; i < 5000; ++i) {
    std::array<double, 9> u{};
    std::array<double, 9> v{};
    for (int k = 0; k < 9; ++k) {
      u[k] = coordinate();
      // Half the entries are exact zeros, as for a direction row.
      v[k] = pick(rng) < 2 ? 0.0 : coordinate();
    }
    std::array<Rational, 9> x;
    for (int k = 0; k < 9; ++k) x[k] = Rational{u[k]} - Rational{v[k]};
    Sign const expected3 = (x[0] * (x[4] * x[8] - x[5] * x[7]) +
                            x[1] * (x[5] * x[6] - x[3] * x[8]) +
                            x[2] * (x[3] * x[7] - x[4] * x[6]))
                               .sign();
    ASSERT_EQ(detail::determinant_sign_3d(u, v), expected3);
    Sign const expected2 = (x[0] * x[3] - x[1] * x[2]).sign();
    ASSERT_EQ(detail::determinant_sign_2d({u[0], u[1], u[2], u[3]}, {v[0], v[1], v[2], v[3]}),
              expected2);
  }
}

TEST(OrientationTest, NonFiniteCoordinatesThrow) {
  double const inf = std::numeric_limits<double>::infinity();
  double const nan = std::numeric_limits<double>::quiet_NaN();
  for (double const bad : {inf, -inf, nan}) {
    SCOPED_TRACE(bad);
    try {
      orientation_2d(p2(0, 0), p2(1, bad), p2(2, 3));
      FAIL() << "no exception";
    } catch (UlvaneException const& e) {
      EXPECT_STREQ(e.what(), "[orientation] Coordinates must be finite");
    }
    EXPECT_THROW(orientation_3d(p3(0, 0, 0), p3(1, 0, 0), p3(0, 1, 0), p3(0, 0, bad)),
                 UlvaneException);
    // Degenerate in the finite coordinates, so both products could look
    // exactly zero: the bad coordinate must still be refused.
    EXPECT_THROW(orientation_2d(p2(1, 1), p2(1, 1), p2(bad, 2)), UlvaneException);
    EXPECT_THROW(orientation_2d(p2(3, 0), p2(3, bad), p2(3, 2)), UlvaneException);
    EXPECT_THROW(orientation_2d(p2(bad, 0), p2(3, 0), p2(4, 0)), UlvaneException);
  }
}

// Exactly zero determinants that the filter cannot certify (both products
// vanish): repeated points and points on one axis-parallel line, at scales
// where the filter's slack matters.
TEST(OrientationTest, RepeatedAndAxisAlignedPointsAreFlat) {
  struct Case {
    Point<2> a, b, c;
  };
  const double tiny = 1e-310;  // subnormal
  const Case cases[] = {
      {p2(1, 1), p2(1, 1), p2(5, -2)},          {p2(1, 1), p2(5, -2), p2(5, -2)},
      {p2(5, -2), p2(1, 1), p2(5, -2)},         {p2(2, 0), p2(2, 5), p2(2, -7)},
      {p2(0, 3), p2(-4, 3), p2(9, 3)},          {p2(tiny, tiny), p2(tiny, tiny), p2(1, 2)},
      {p2(tiny, 0), p2(tiny, 1e300), p2(tiny, -1e-300)}, {p2(0, 0), p2(0, 0), p2(0, 0)},
  };
  for (auto const& c : cases) {
    EXPECT_EQ(orientation_2d(c.a, c.b, c.c), Sign::zero) << c.a << ' ' << c.b << ' ' << c.c;
    EXPECT_EQ(orientation_2d(c.a, c.b, c.c), exact_orientation_2d(c.a, c.b, c.c));
  }
  // One ulp off the line is not flat.
  const double off = std::nextafter(2.0, 3.0);
  EXPECT_EQ(orientation_2d(p2(2, 0), p2(2, 5), p2(off, -7)), Sign::negative);
  EXPECT_EQ(orientation_2d(p2(2, 0), p2(2, 5), p2(off, -7)),
            exact_orientation_2d(p2(2, 0), p2(2, 5), p2(off, -7)));
}

}  // namespace
}  // namespace tarnix
