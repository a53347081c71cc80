#include <ulvane/model/model_copy_mapping.h>

#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

namespace tarnix {
namespace {

constexpr char const* kMissing = "absl::container_internal::raw_hash_map<>::at";

template <typename Lookup>
std::string out_of_range_message(Lookup&& lookup) {
  try {
    lookup();
  } catch (std::out_of_range const& error) {
    return error.what();
  }
  return "no exception";
}

TEST(ModelCopyMappingTest, MissingTypesAndIdsRaiseTheContainerMessage) {
  ModelCopyMapping mapping;
  EXPECT_EQ(mapping.size(), 0u);
  EXPECT_FALSE(mapping.has_mapping_type("Surface"));
  EXPECT_EQ(out_of_range_message([&] { mapping.at("Surface"); }), kMissing);
  ModelCopyMapping const& view = mapping;
  EXPECT_EQ(out_of_range_message([&] { view.at("Surface"); }), kMissing);

  mapping.emplace("Surface").map(uuid{}, uuid{});
  const uuid unknown;
  EXPECT_EQ(out_of_range_message([&] { view.at("Surface").in2out(unknown); }), kMissing);
  EXPECT_EQ(out_of_range_message([&] { view.at("Surface").out2in(unknown); }), kMissing);
}

TEST(ModelCopyMappingTest, StaysOneToOneWhenRemapped) {
  const uuid in1, in2, out1, out2;
  BijectiveMapping mapping;
  mapping.map(in1, out1);
  mapping.map(in1, out2);  // in1 leaves out1
  EXPECT_EQ(mapping.in2out(in1), out2);
  EXPECT_FALSE(mapping.has_mapping_output(out1));
  mapping.map(in2, out2);  // out2 leaves in1
  EXPECT_EQ(mapping.out2in(out2), in2);
  EXPECT_FALSE(mapping.has_mapping_input(in1));
  EXPECT_EQ(mapping.size(), 1u);
}

TEST(ModelCopyMappingTest, EmplaceKeepsSetReplacesAndMovesCarryEverything) {
  const uuid in, out;
  ModelCopyMapping mapping;
  mapping.emplace("Line").map(in, out);
  EXPECT_EQ(mapping.emplace("Line").size(), 1u);
  mapping.set("Corner", mapping.at("Line"));
  mapping.set("Line", BijectiveMapping{});
  EXPECT_EQ(mapping.at("Line").size(), 0u);

  ModelCopyMapping moved = std::move(mapping);
  EXPECT_EQ(moved.size(), 2u);
  EXPECT_EQ(moved.at("Corner").in2out(in), out);
}

}  // namespace
}  // namespace tarnix
