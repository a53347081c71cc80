// GCC 12 at -O3 reports the inline storage of an empty absl::InlinedVector
// moved out of a temporary as possibly uninitialised; it is not read. The
// warning is placed in the headers, so it is turned off before them.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif

#include <common/variable_attribute.h>

#include <array>
#include <cmath>
#include <deque>
#include <limits>
#include <string>
#include <typeinfo>
#include <vector>

#include <absl/container/inlined_vector.h>
#include <gtest/gtest.h>

namespace tarnix {
namespace {

using EdgeLists = std::array<absl::InlinedVector<index_t, 1>, 3>;

constexpr char kDoNotInstantiate[] =
    "[AttributeManager::find_or_create_attribute] Do not instantiate an attribute if an "
    "instantiated attribute of the same name with different storage already exists.";
constexpr char kCreateFirst[] =
    "[AttributeManager::find_attribute] You have to create an attribute before using it. "
    "See find_or_create_attribute method and derived classes of ReadOnlyAttribute.";
constexpr char kExtract[] =
    "[VariableAttribute::extract] The given mapping contains values that go beyond the "
    "given number of elements.";

template <typename Exception, typename Function>
void expect_throw_message(Function&& function, std::string const& message) {
  try {
    function();
    ADD_FAILURE() << "expected an exception with \"" << message << "\"";
  } catch (Exception const& error) {
    EXPECT_EQ(error.what(), message);
  }
}

// A storage kind of its own, to check that lookups tell storage kinds apart.
template <typename T>
class ConstantAttribute : public ReadOnlyAttribute<T> {
 public:
  explicit ConstantAttribute(T constant) : ReadOnlyAttribute<T>(0), constant_(constant) {}
  float float_value(index_t) const override { return 0.0f; }
  float float_item_value(index_t, std::uint8_t) const override { return 0.0f; }
  bool has_float_value() const override { return false; }
  std::uint8_t nb_float_items() const override { return 1; }
  absl::string_view type_name() const override { return "constant"; }
  std::shared_ptr<AttributeBase> clone() const override {
    return std::make_shared<ConstantAttribute>(constant_);
  }
  void copy_from(AttributeBase const&, index_t) override {}
  std::shared_ptr<AttributeBase> extract(absl::Span<const index_t>, index_t) const override {
    return clone();
  }
  void resize(index_t) override {}
  void reserve(index_t) override {}
  void delete_elements(std::vector<bool> const&) override {}
  void permute_elements(absl::Span<const index_t>) override {}
  void interpolate_value(WeightedElementList const&, index_t) override {}
  void copy_value(index_t, index_t) override {}
  T const& value(index_t) const override { return constant_; }

 private:
  T constant_;
};

TEST(FindOrCreateAttribute, NewNameIsSizedWithTheDefaultAndFoundAgain) {
  AttributeManager manager;
  manager.resize(4);
  auto info = manager.find_or_create_attribute<VariableAttribute, index_t>("vertex info",
                                                                           NO_ID, 1);
  ASSERT_EQ(info->size(), 4u);
  for (index_t v = 0; v < 4; ++v) EXPECT_EQ(info->value(v), NO_ID);
  // Registry and caller both hold the storage.
  EXPECT_GE(manager.find_attribute_base("vertex info").use_count(), 3);

  auto again = manager.find_or_create_attribute<VariableAttribute, index_t>("vertex info",
                                                                            7u, 0);
  EXPECT_EQ(again, info);
  EXPECT_EQ(again->get_default_value(), NO_ID);
  EXPECT_EQ(again->properties(), 1);
}

TEST(FindOrCreateAttribute, OtherTypeOrStorageKindIsRefused) {
  AttributeManager manager;
  manager.resize(2);
  manager.find_or_create_attribute<VariableAttribute, bool>("lock", false, 1);
  manager.register_attribute(std::make_shared<ConstantAttribute<double>>(1.0), "constant");

  expect_throw_message<UlvaneException>(
      [&] { manager.find_or_create_attribute<VariableAttribute, index_t>("lock", 0u, 1); },
      kDoNotInstantiate);
  expect_throw_message<UlvaneException>(
      [&] {
        manager.find_or_create_attribute<VariableAttribute, double>("constant", 0.0, 1);
      },
      kDoNotInstantiate);
  EXPECT_EQ(manager.attribute_names(), (std::vector<std::string>{"constant", "lock"}));
  EXPECT_NE(std::dynamic_pointer_cast<VariableAttribute<bool>>(
                manager.find_attribute_base("lock")),
            nullptr);
}

TEST(FindAttribute, FindsAnyStorageKindOfTheValueType) {
  AttributeManager manager;
  manager.resize(3);
  manager.register_attribute(std::make_shared<ConstantAttribute<double>>(2.5), "constant");
  auto found = manager.find_attribute<ReadOnlyAttribute<double>>("constant");
  EXPECT_EQ(found->value(2), 2.5);

  expect_throw_message<UlvaneException>(
      [&] { manager.find_attribute<ReadOnlyAttribute<double>>("absent"); }, kCreateFirst);
  expect_throw_message<UlvaneException>(
      [&] { manager.find_attribute<ReadOnlyAttribute<index_t>>("constant"); },
      kCreateFirst);
}

TEST(AttributeManager, DeletedNameLeavesHeldStorageValid) {
  AttributeManager manager;
  manager.resize(2);
  auto stamp = manager.find_or_create_attribute<VariableAttribute, index_t>("stamp", 0u, 1);
  stamp->set_value(1, 5);
  manager.delete_attribute("stamp");
  EXPECT_FALSE(manager.attribute_exists("stamp"));
  EXPECT_EQ(stamp.use_count(), 1);
  EXPECT_EQ(stamp->value(1), 5u);
  // A new attribute of the same name starts afresh.
  auto fresh = manager.find_or_create_attribute<VariableAttribute, index_t>("stamp", 0u, 1);
  EXPECT_NE(fresh, stamp);
  EXPECT_EQ(fresh->value(1), 0u);
}

TEST(AttributeManager, RegisteringANameAgainReplacesItsStorage) {
  AttributeManager manager;
  manager.resize(2);
  auto first = std::make_shared<VariableAttribute<index_t>>(1u, 1);
  auto second = std::make_shared<VariableAttribute<index_t>>(2u, 1);
  manager.register_attribute(first, "info");
  manager.register_attribute(second, "info");
  EXPECT_EQ(manager.attribute_names(), std::vector<std::string>{"info"});
  EXPECT_EQ(manager.find_attribute_base("info"), second);
  // Element edits reach the registered storage only.
  manager.resize(3);
  EXPECT_EQ(first->size(), 2u);
  EXPECT_EQ(second->size(), 3u);
  EXPECT_EQ(second->value(2), 2u);
}

TEST(AttributeManager, DrivesStoragesThroughElementEdits) {
  AttributeManager manager;
  manager.resize(4);
  auto number = manager.find_or_create_attribute<VariableAttribute, double>("n", -1.0, 1);
  auto label = manager.find_or_create_attribute<VariableAttribute, index_t>("l", NO_ID, 1);
  auto lists = manager.find_or_create_attribute<VariableAttribute, EdgeLists>(
      "edge info", EdgeLists{}, 0);
  for (index_t i = 0; i < 4; ++i) {
    number->set_value(i, 10.0 * i);
    label->set_value(i, i);
    lists->set_value(i, EdgeLists{{{i}, {}, {}}});
  }

  // Growth: every storage follows with its default.
  manager.resize(6);
  EXPECT_EQ(number->size(), 6u);
  EXPECT_EQ(number->value(5), -1.0);
  EXPECT_EQ(label->value(4), NO_ID);

  // Derived elements: derivable storages interpolate or copy, "edge info"
  // (properties 0) keeps its default.
  const index_t parents[] = {1, 2};
  const double weights[] = {0.5, 0.5};
  manager.interpolate_attribute_value(WeightedElementList(parents, weights), 4);
  EXPECT_EQ(number->value(4), 15.0);
  EXPECT_EQ(label->value(4), NO_ID);
  manager.copy_attribute_value(3, 5);
  EXPECT_EQ(label->value(5), 3u);
  EXPECT_EQ(number->value(5), 30.0);
  EXPECT_TRUE(lists->value(5)[0].empty());

  // Deletion keeps the order of the others.
  manager.delete_elements({true, false, false, true, false, false});
  EXPECT_EQ(manager.nb_elements(), 4u);
  EXPECT_EQ(label->size(), 4u);
  EXPECT_EQ(label->value(0), 1u);
  EXPECT_EQ(label->value(1), 2u);
  EXPECT_EQ(lists->value(1)[0], (absl::InlinedVector<index_t, 1>{2}));

  // Permutation: element k takes what permutation[k] held.
  const index_t permutation[] = {3, 0, 1, 2};
  manager.permute_elements(permutation);
  EXPECT_EQ(label->value(0), 3u);
  EXPECT_EQ(label->value(1), 1u);
  EXPECT_EQ(number->value(1), 10.0);

  // A storage registered later is sized at once.
  auto late = manager.find_or_create_attribute<VariableAttribute, bool>("late", true, 1);
  EXPECT_EQ(late->size(), 4u);
  EXPECT_TRUE(late->value(3));
}

TEST(AttributeManager, CopyClonesStoragesAndReserveReachesLaterOnes) {
  AttributeManager manager;
  manager.reserve(100);
  manager.resize(3);
  auto value = manager.find_or_create_attribute<VariableAttribute, double>("v", 0.0, 1);
  EXPECT_GE(value->capacity(), 100u);
  value->set_value(2, 4.0);

  AttributeManager copy;
  copy.copy(manager);
  auto copied = std::dynamic_pointer_cast<VariableAttribute<double>>(
      copy.find_attribute_base("v"));
  ASSERT_NE(copied, nullptr);
  EXPECT_NE(copied, value);
  EXPECT_EQ(copied->value(2), 4.0);
  value->set_value(2, 1.0);
  EXPECT_EQ(copied->value(2), 4.0);
  EXPECT_EQ(copy.nb_elements(), 3u);
}

TEST(VariableAttribute, CapacityRules) {
  struct Case {
    index_t first_resize;
    index_t second_resize;
    index_t expected_capacity;
  } const cases[] = {
      {15, 15, 20},  // doubling from the 10 reserved
      {25, 25, 25},  // the count itself when larger than the double
      {15, 3, 20},   // shrinking keeps the capacity
      {0, 0, 10},    // a new storage reserves 10
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(testing::Message() << c.first_resize << " then " << c.second_resize);
    VariableAttribute<bool> flags(true, 1);
    flags.resize(c.first_resize);
    flags.resize(c.second_resize);
    EXPECT_EQ(flags.size(), c.second_resize);
    EXPECT_EQ(flags.capacity(), c.expected_capacity);
    for (index_t i = 0; i < flags.size(); ++i) EXPECT_TRUE(flags.value(i));
  }

  VariableAttribute<double> values(0.0, 1);
  values.reserve(5);
  EXPECT_EQ(values.capacity(), 10u);
  values.reserve(13);
  EXPECT_EQ(values.capacity(), 13u);
}

TEST(VariableAttribute, GrowingOneByOneMovesTheValuesOnlyWhenTheCapacityDoubles) {
  using Lists = std::array<absl::InlinedVector<index_t, 1>, 3>;
  VariableAttribute<Lists> lists(Lists{}, 0);
  lists.resize(1);
  lists.modifiable_value(0)[1].push_back(7);
  Lists const* where = &lists.value(0);
  index_t moves = 0;
  for (index_t n = 2; n <= 1000; ++n) {
    lists.resize(n);
    if (&lists.value(0) != where) ++moves;
    where = &lists.value(0);
    ASSERT_TRUE(lists.value(n - 1)[0].empty());
  }
  // 10 -> 20 -> 40 -> ... -> 1280.
  EXPECT_EQ(moves, 7u);
  EXPECT_EQ(lists.capacity(), 1280u);
  EXPECT_EQ(lists.value(0)[1].size(), 1u);
}

TEST(VariableAttribute, BoolIsOneBytePerValue) {
  VariableAttribute<bool> flags(true, 1);
  flags.resize(3);
  flags.set_value(1, false);
  bool const& first = flags.value(0);
  bool const& second = flags.value(1);
  EXPECT_EQ(reinterpret_cast<char const*>(&second) - reinterpret_cast<char const*>(&first),
            1);
  EXPECT_EQ(static_cast<int>(*reinterpret_cast<unsigned char const*>(&first)), 1);
  EXPECT_EQ(static_cast<int>(*reinterpret_cast<unsigned char const*>(&second)), 0);
  EXPECT_EQ(flags.float_value(0), 1.0f);
  EXPECT_EQ(flags.float_value(1), 0.0f);
}

// An in-place edit reaches the stored value and that value only.
TEST(VariableAttribute, ModifiableValueEditsInPlace) {
  VariableAttribute<EdgeLists> lists(EdgeLists{{{7}, {}, {}}}, 0);
  lists.resize(3);
  lists.modifiable_value(1)[2].push_back(4);
  lists.modifiable_value(1)[0].clear();
  EXPECT_EQ(&lists.modifiable_value(1), &lists.value(1));
  EXPECT_EQ(lists.value(0), (EdgeLists{{{7}, {}, {}}}));
  EXPECT_EQ(lists.value(1), (EdgeLists{{{}, {}, {4}}}));
  EXPECT_EQ(lists.value(2), (EdgeLists{{{7}, {}, {}}}));
  EXPECT_EQ(lists.get_default_value(), (EdgeLists{{{7}, {}, {}}}));

  VariableAttribute<bool> flags(false, 0);
  flags.resize(2);
  flags.modifiable_value(1) = true;
  EXPECT_FALSE(flags.value(0));
  EXPECT_TRUE(flags.value(1));
}

// Every operation that reads an element tests its index.
TEST(VariableAttribute, IndexAtTheCountIsOutOfRange) {
  VariableAttribute<EdgeLists> lists(EdgeLists{}, 0);
  lists.resize(2);
  VariableAttribute<double> numbers(1.0, 1);
  numbers.resize(2);
  const index_t parents[] = {0, 2};
  const double weights[] = {0.5, 0.5};
  const index_t mapping[] = {0, 1, 1};

  const std::vector<std::function<void()>> calls = {
      [&] { lists.value(2); },
      [&] { lists.float_value(2); },
      [&] { lists.set_value(2, EdgeLists{}); },
      [&] { lists.modifiable_value(2); },
      [&] { numbers.copy_value(2, 0); },
      [&] { numbers.copy_value(0, 2); },
      [&] { numbers.float_item_value(2, 0); },
      [&] { numbers.interpolate_value(WeightedElementList(parents, weights), 1); },
      [&] { numbers.interpolate_value(WeightedElementList(parents, weights), 2); },
      [&] { numbers.extract(mapping, 3); },
  };
  for (std::size_t i = 0; i < calls.size(); ++i) {
    SCOPED_TRACE(i);
    numbers.set_value(0, 3.0);
    numbers.set_value(1, 4.0);
    expect_throw_message<std::out_of_range>(calls[i], "invalid vector subscript");
    // A failed store changes nothing.
    EXPECT_EQ(numbers.value(0), 3.0);
    EXPECT_EQ(numbers.value(1), 4.0);
  }
  EXPECT_EQ(lists.float_value(1), 0.0f);
  EXPECT_FALSE(lists.has_float_value());
}

TEST(VariableAttribute, FloatConversions) {
  VariableAttribute<Point<2>> points(Point<2>{{{0.0, 0.0}}}, 1);
  points.resize(1);
  points.set_value(0, Point<2>{{{1.5, -2.25}}});
  EXPECT_EQ(points.nb_float_items(), 2);
  EXPECT_EQ(points.float_value(0), 1.5f);
  EXPECT_EQ(points.float_item_value(0, 1), -2.25f);
  expect_throw_message<std::out_of_range>([&] { points.float_item_value(0, 2); },
                                          "invalid array<T, N> subscript");

  VariableAttribute<index_t> ids(NO_ID, 1);
  ids.resize(1);
  EXPECT_EQ(ids.float_value(0), static_cast<float>(NO_ID));
  EXPECT_EQ(ids.float_item_value(0, 5), static_cast<float>(NO_ID));
  EXPECT_EQ(ids.nb_float_items(), 1);
  EXPECT_TRUE(ids.has_float_value());

  VariableAttribute<double> numbers(0.1, 1);
  numbers.resize(1);
  EXPECT_EQ(numbers.float_value(0), 0.1f);
  EXPECT_EQ(numbers.type_name(), typeid(double).name());
}

// extract, delete and permute over the four value types the system uses.
template <typename T>
class VariableAttributeTyped : public testing::Test {};

template <typename T>
struct Samples;
template <>
struct Samples<index_t> {
  static std::array<index_t, 4> values() { return {{5, 6, 7, 8}}; }
  static index_t fallback() { return NO_ID; }
};
template <>
struct Samples<bool> {
  static std::array<bool, 4> values() { return {{true, false, true, true}}; }
  static bool fallback() { return true; }
};
template <>
struct Samples<double> {
  static std::array<double, 4> values() { return {{0.5, 1.5, 2.5, 3.5}}; }
  static double fallback() { return std::numeric_limits<double>::quiet_NaN(); }
};
template <>
struct Samples<EdgeLists> {
  static std::array<EdgeLists, 4> values() {
    return {{EdgeLists{{{1}, {}, {}}}, EdgeLists{{{}, {2, 3}, {}}}, EdgeLists{{{}, {}, {4}}},
             EdgeLists{{{9}, {9}, {9}}}}};
  }
  static EdgeLists fallback() { return EdgeLists{{{0xAA}, {}, {}}}; }
};
template <>
struct Samples<Point<2>> {
  static std::array<Point<2>, 4> values() {
    return {{Point<2>{{{1, 2}}}, Point<2>{{{3, 4}}}, Point<2>{{{5, 6}}}, Point<2>{{{7, 8}}}}};
  }
  static Point<2> fallback() { return Point<2>{{{-1, -1}}}; }
};

using ValueTypes = testing::Types<index_t, bool, double, EdgeLists, Point<2>>;
TYPED_TEST_SUITE(VariableAttributeTyped, ValueTypes);

template <typename T>
void fill(VariableAttribute<T>& attribute, index_t count) {
  attribute.resize(count);
  const auto values = Samples<T>::values();
  for (index_t i = 0; i < count; ++i) attribute.set_value(i, values[i]);
}

template <typename T>
bool same(T const& a, T const& b) {
  if constexpr (std::is_same<T, double>::value) {
    return a == b || (std::isnan(a) && std::isnan(b));
  } else {
    return a == b;
  }
}

TYPED_TEST(VariableAttributeTyped, ExtractMapsAndZeroFills) {
  using T = TypeParam;
  VariableAttribute<T> attribute(Samples<T>::fallback(), 1);
  fill(attribute, 3);
  const auto values = Samples<T>::values();

  const index_t mapping[] = {2, NO_ID, 0};
  auto extracted = std::dynamic_pointer_cast<VariableAttribute<T>>(attribute.extract(mapping, 3));
  ASSERT_NE(extracted, nullptr);
  ASSERT_EQ(extracted->size(), 3u);
  EXPECT_TRUE(same(extracted->value(0), values[2]));
  EXPECT_TRUE(same(extracted->value(1), T{}));  // the zero value, not the default
  EXPECT_TRUE(same(extracted->value(2), values[0]));
  EXPECT_TRUE(same(extracted->get_default_value(), Samples<T>::fallback()));
  EXPECT_EQ(extracted->properties(), 1);

  const index_t beyond[] = {3, 0, 1};
  expect_throw_message<UlvaneException>([&] { attribute.extract(beyond, 3); }, kExtract);
  EXPECT_TRUE(same(attribute.value(0), values[0]));
}

TYPED_TEST(VariableAttributeTyped, DeleteKeepsOrderAndNoFlagChangesNothing) {
  using T = TypeParam;
  VariableAttribute<T> attribute(Samples<T>::fallback(), 1);
  fill(attribute, 4);
  const auto values = Samples<T>::values();
  const auto capacity = attribute.capacity();

  attribute.delete_elements({false, false, false, false});
  EXPECT_EQ(attribute.size(), 4u);
  attribute.delete_elements({true, false, true, false});
  ASSERT_EQ(attribute.size(), 2u);
  EXPECT_TRUE(same(attribute.value(0), values[1]));
  EXPECT_TRUE(same(attribute.value(1), values[3]));
  EXPECT_EQ(attribute.capacity(), capacity);
}

TYPED_TEST(VariableAttributeTyped, PermuteFollowsEveryCycle) {
  using T = TypeParam;
  const auto values = Samples<T>::values();
  struct Case {
    std::vector<index_t> permutation;
  } const cases[] = {{{2, 0, 1}}, {{0, 1, 2, 3}}, {{1, 0, 3, 2}}, {{3, 2, 0, 1}}};
  for (auto const& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.permutation));
    VariableAttribute<T> attribute(Samples<T>::fallback(), 1);
    fill(attribute, static_cast<index_t>(c.permutation.size()));
    attribute.permute_elements(c.permutation);
    for (index_t k = 0; k < c.permutation.size(); ++k) {
      EXPECT_TRUE(same(attribute.value(k), values[c.permutation[k]])) << k;
    }
  }
}

TYPED_TEST(VariableAttributeTyped, CloneAndCopyFrom) {
  using T = TypeParam;
  VariableAttribute<T> attribute(Samples<T>::fallback(), 1);
  fill(attribute, 4);
  const auto values = Samples<T>::values();

  auto clone = std::dynamic_pointer_cast<VariableAttribute<T>>(attribute.clone());
  ASSERT_NE(clone, nullptr);
  EXPECT_EQ(clone->size(), 4u);
  EXPECT_TRUE(same(clone->value(3), values[3]));
  EXPECT_EQ(clone->properties(), 1);

  VariableAttribute<T> target(T{}, 0);
  target.resize(1);
  target.copy_from(attribute, 0);  // only the default is taken
  EXPECT_EQ(target.size(), 1u);
  EXPECT_TRUE(same(target.get_default_value(), Samples<T>::fallback()));
  EXPECT_EQ(target.properties(), 0);
  target.copy_from(attribute, 3);
  ASSERT_EQ(target.size(), 3u);
  EXPECT_TRUE(same(target.value(2), values[2]));

  VariableAttribute<std::deque<int>> other(std::deque<int>{}, 1);
  EXPECT_THROW(target.copy_from(other, 1), std::bad_cast);
}

TEST(VariableAttribute, InterpolateWeightedSumOrDefault) {
  const index_t parents[] = {0, 1};
  const double weights[] = {0.25, 0.75};
  const WeightedElementList list(parents, weights);

  VariableAttribute<double> numbers(-1.0, 1);
  numbers.resize(3);
  numbers.set_value(0, 4.0);
  numbers.set_value(1, 8.0);
  numbers.interpolate_value(list, 2);
  EXPECT_EQ(numbers.value(2), 7.0);

  VariableAttribute<Point<2>> points(Point<2>{}, 1);
  points.resize(3);
  points.set_value(0, Point<2>{{{4.0, 0.0}}});
  points.set_value(1, Point<2>{{{8.0, 4.0}}});
  points.interpolate_value(list, 2);
  EXPECT_EQ(points.value(2), (Point<2>{{{7.0, 3.0}}}));

  VariableAttribute<index_t> ids(42, 1);
  ids.resize(3);
  ids.set_value(2, 3);
  ids.interpolate_value(list, 2);
  EXPECT_EQ(ids.value(2), 42u);

  VariableAttribute<bool> flags(true, 1);
  flags.resize(3);
  flags.set_value(2, false);
  flags.interpolate_value(list, 2);
  EXPECT_TRUE(flags.value(2));
}

}  // namespace
}  // namespace tarnix
