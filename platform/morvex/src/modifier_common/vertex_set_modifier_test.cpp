#include <morvex/modifier_common/vertex_set_modifier.h>

#include <gtest/gtest.h>

namespace tarnix {
namespace {

// Exposes the merge records that the surface modifiers make.
class RecordingModifier : public VertexSetModifier {
 public:
  using VertexSetModifier::forget_merges;
  using VertexSetModifier::record_merge;
};

TEST(VertexSetModifierTest, UntouchedAndUnknownIdsMapToThemselves) {
  RecordingModifier modifier;
  modifier.record_merge(3, 4);
  for (const index_t vertex : {0u, 4u, 5u, 1000u, NO_ID}) {
    EXPECT_EQ(modifier.updated_vertex(vertex), vertex) << vertex;
  }
}

TEST(VertexSetModifierTest, ChainsOfMergesEndAtTheLastRemainingVertex) {
  // 1 -> 2, then 2 -> 3, then 5 -> 1 (already merged, so into 3), 3 -> 6.
  RecordingModifier modifier;
  modifier.record_merge(1, 2);
  modifier.record_merge(2, 3);
  modifier.record_merge(5, 1);
  EXPECT_EQ(modifier.updated_vertex(5), 3u);
  modifier.record_merge(3, 6);
  for (const index_t vertex : {1u, 2u, 3u, 5u, 6u}) {
    EXPECT_EQ(modifier.updated_vertex(vertex), 6u) << vertex;
  }
  // Repeated queries after the chains were shortened give the same answer.
  EXPECT_EQ(modifier.updated_vertex(1), 6u);
}

TEST(VertexSetModifierTest, MergingIntoAVertexThatMapsBackMakesNoCycle) {
  RecordingModifier modifier;
  modifier.record_merge(1, 2);
  modifier.record_merge(2, 1);
  EXPECT_EQ(modifier.updated_vertex(1), 2u);
  EXPECT_EQ(modifier.updated_vertex(2), 2u);
}

TEST(VertexSetModifierTest, ForgettingMergesRestoresTheIdentity) {
  RecordingModifier modifier;
  modifier.record_merge(1, 2);
  modifier.forget_merges();
  EXPECT_EQ(modifier.updated_vertex(1), 1u);
}

}  // namespace
}  // namespace tarnix
