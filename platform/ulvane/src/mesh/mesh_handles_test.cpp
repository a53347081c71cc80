#include <ulvane/mesh/mesh_handles.h>

#include <sstream>

#include <absl/hash/hash_testing.h>
#include <gtest/gtest.h>

namespace tarnix {
namespace {

TEST(MeshHandles, DefaultHandlesDesignateNothing) {
  EXPECT_EQ(PolygonEdge{}, PolygonEdge(NO_ID, NO_LID));
  EXPECT_EQ(PolygonVertex{}, PolygonVertex(NO_ID, NO_LID));
  EXPECT_EQ(EdgeVertex{}, EdgeVertex(NO_ID, NO_LID));
  // Real edges have a real polygon and a local index below 255.
  EXPECT_NE(PolygonEdge{}, PolygonEdge(NO_ID, 0));
  EXPECT_NE(PolygonEdge{}, PolygonEdge(0, NO_LID));
}

TEST(MeshHandles, ConversionsKeepBothIds) {
  const PolygonVertex corner{7, 2};
  const PolygonEdge edge{corner};
  EXPECT_EQ(edge, PolygonEdge(7, 2));
  EXPECT_EQ(PolygonVertex{edge}, corner);
  EXPECT_NE(PolygonEdge(7, 1), edge);
  EXPECT_NE(PolygonEdge(6, 2), edge);
}

TEST(MeshHandles, HashesAgreeWithEquality) {
  EXPECT_TRUE(absl::VerifyTypeImplementsAbslHashCorrectly(
      {PolygonEdge{}, PolygonEdge(0, 0), PolygonEdge(0, 1), PolygonEdge(1, 0),
       PolygonEdge(NO_ID, 0)}));
  EXPECT_TRUE(absl::VerifyTypeImplementsAbslHashCorrectly(
      {PolygonVertex{}, PolygonVertex(0, 0), PolygonVertex(0, 2), PolygonVertex(3, 0)}));
  EXPECT_TRUE(absl::VerifyTypeImplementsAbslHashCorrectly(
      {EdgeVertex{}, EdgeVertex(0, 0), EdgeVertex(0, 1), EdgeVertex(1, 0)}));
}

TEST(MeshHandles, OppositeEdgeVertexIsTheOtherEnd) {
  EXPECT_EQ(EdgeVertex(4, 0).opposite(), EdgeVertex(4, 1));
  EXPECT_EQ(EdgeVertex(4, 1).opposite(), EdgeVertex(4, 0));
}

TEST(MeshHandles, PrintLocalIndicesAsNumbers) {
  std::ostringstream out;
  out << PolygonEdge(3, 1) << ' ' << PolygonVertex(0, 2) << ' ' << EdgeVertex(5, 0);
  EXPECT_EQ(out.str(), "PolygonEdge(3, 1) PolygonVertex(0, 2) EdgeVertex(5, 0)");
}

}  // namespace
}  // namespace tarnix
