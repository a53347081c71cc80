#include <ulvane/model/component_type.h>

#include <gtest/gtest.h>

#include <absl/container/flat_hash_map.h>

namespace tarnix {
namespace {

TEST(ComponentTypeTest, EqualNamesAreEqualTypesWhateverTheirSource) {
  const std::string surface = "Surface";
  EXPECT_EQ(ComponentType{"Surface"}, ComponentType{surface});
  EXPECT_EQ(ComponentType{"Surface"}, ComponentType{absl::string_view{surface}});
  EXPECT_NE(ComponentType{"Surface"}, ComponentType{"Line"});
  EXPECT_EQ(ComponentType{"Custom"}, ComponentType{std::string("Cus") + "tom"});
  EXPECT_NE(ComponentType{"Custom"}, ComponentType{"custom"});
  EXPECT_EQ(ComponentType{}.get(), "");
  EXPECT_EQ(ComponentType{"Block"}.get(), "Block");
}

TEST(ComponentTypeTest, IdsKeyHashMaps) {
  const uuid id;
  absl::flat_hash_map<ComponentID, int> map;
  map[{"Surface", id}] = 1;
  map[{"Line", id}] = 2;
  EXPECT_EQ(map.size(), 2u);
  EXPECT_EQ((map.at({ComponentType{std::string("Surface")}, id})), 1);
  EXPECT_EQ((ComponentID{"Line", id}.string()), "Line " + id.string());

  const ComponentMeshVertex a{{"Line", id}, 3};
  EXPECT_EQ(a, (ComponentMeshVertex{{"Line", id}, 3}));
  EXPECT_NE(a, (ComponentMeshVertex{{"Line", id}, 4}));
  EXPECT_NE(a, (ComponentMeshVertex{{"Corner", id}, 3}));
}

}  // namespace
}  // namespace tarnix
