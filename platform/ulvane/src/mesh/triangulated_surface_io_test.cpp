#include <ulvane/mesh/triangulated_surface_io.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ulvane/mesh/triangulated_surface_builder.h>

#include "mesh/surface_fixtures.h"
#include "mesh/surface_validity.h"

namespace tarnix {
namespace {

using ::testing::HasSubstr;

//! A file name unique to the running test, removed afterwards.
class TemporaryFile {
 public:
  explicit TemporaryFile(std::string const& suffix) {
    auto const* info = ::testing::UnitTest::GetInstance()->current_test_info();
    name_ = ::testing::TempDir() + "ulvane_" + info->test_suite_name() + "_" + info->name() +
            suffix;
  }
  ~TemporaryFile() { std::remove(name_.c_str()); }
  std::string const& name() const { return name_; }
  void write(std::string const& text) const { std::ofstream(name_) << text; }

 private:
  std::string name_;
};

template <index_t D>
void expect_same_surface(TriangulatedSurface<D> const& a, TriangulatedSurface<D> const& b) {
  ASSERT_EQ(a.nb_vertices(), b.nb_vertices());
  ASSERT_EQ(a.nb_polygons(), b.nb_polygons());
  for (index_t v = 0; v < a.nb_vertices(); ++v) {
    EXPECT_EQ(a.point(v), b.point(v)) << "vertex " << v;
    EXPECT_EQ(a.associated_polygon_vertex(v), b.associated_polygon_vertex(v)) << "vertex " << v;
  }
  for (index_t t = 0; t < a.nb_polygons(); ++t) {
    EXPECT_EQ(a.is_polygon_active(t), b.is_polygon_active(t)) << "triangle " << t;
    for (local_index_t e = 0; e < 3; ++e) {
      EXPECT_EQ(a.polygon_vertex({t, e}), b.polygon_vertex({t, e}));
      EXPECT_EQ(a.polygon_adjacent({t, e}), b.polygon_adjacent({t, e}));
    }
  }
}

TEST(TriangulatedSurfaceIo, RoundTripKeepsStateExactly2D) {
  auto mesh = test::make_grid<2>(2);
  auto builder = TriangulatedSurfaceBuilder<2>::create(*mesh);
  builder->set_point(4, Point<2>{{{1.0 / 3.0, 0.1}}});
  builder->remove_polygon(5);
  builder->associate_polygon_vertex_to_vertex({7, 0}, 4);
  builder->create_point(Point<2>{{{-1e-300, 1e300}}});  // isolated
  TemporaryFile file(".ul_tsf2d");
  save_triangulated_surface(*mesh, file.name());
  const auto loaded = load_triangulated_surface<2>(file.name());
  expect_same_surface(*mesh, *loaded);
  test::expect_valid_surface(*loaded);
}

TEST(TriangulatedSurfaceIo, WritesTheShortestTextOfEveryValue) {
  // The longest shortest doubles, a negative zero, a removed triangle and
  // vertices without a corner, byte for byte.
  auto mesh = TriangulatedSurface<2>::create();
  auto builder = TriangulatedSurfaceBuilder<2>::create(*mesh);
  builder->create_point(Point<2>{{{-2.2250738585072014e-308, -1.7976931348623157e+308}}});
  builder->create_point(Point<2>{{{1.0 / 3.0, 0.0}}});
  builder->create_point(Point<2>{{{0.0, 1.0}}});
  builder->create_point(Point<2>{{{1.0, 1.0}}});
  builder->create_point(Point<2>{{{0.1, -0.0}}});
  builder->create_triangle({0, 1, 2});
  builder->create_triangle({1, 3, 2});
  builder->compute_polygon_adjacencies();
  builder->remove_polygon(1);
  TemporaryFile file(".ul_tsf2d");
  save_triangulated_surface(*mesh, file.name());
  std::ifstream in(file.name(), std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  EXPECT_EQ(text,
            "ULVANE_TRIANGULATED_SURFACE 2 1\n"
            "vertices 5\n"
            "-2.2250738585072014e-308 -1.7976931348623157e+308 0 0\n"
            "0.3333333333333333 0 0 1\n"
            "0 1 0 2\n"
            "1 1 -1 -1\n"
            "0.1 -0 -1 -1\n"
            "triangles 2\n"
            "0 1 2 1 -1 -1 -1\n"
            "1 3 2 0 -1 -1 -1\n");
}

TEST(TriangulatedSurfaceIo, RoundTripKeepsStateExactly3D) {
  auto mesh = test::make_surface<3>({{{0, 0, 0.7}}, {{1, 0, 0}}, {{0, 1, 0}}, {{1, 1, 2}}},
                                    {{{0, 1, 2}}, {{2, 1, 3}}});
  TemporaryFile file(".ul_tsf3d");
  save_triangulated_surface(*mesh, file.name());
  expect_same_surface(*mesh, *load_triangulated_surface<3>(file.name()));
  // The dimension is checked.
  EXPECT_THAT(
      [&] {
        try {
          load_triangulated_surface<2>(file.name());
        } catch (UlvaneException const& e) {
          return std::string(e.what());
        }
        return std::string("no exception");
      }(),
      HasSubstr(file.name() + ":1: expected '2', found '3'"));
}

TEST(TriangulatedSurfaceIo, WriteErrorNamesTheFile) {
  auto mesh = test::make_grid<2>(1);
  const std::string name = "/nonexistent-directory/iter0.ul_tsf2d";
  try {
    save_triangulated_surface(*mesh, name);
    FAIL() << "expected an exception";
  } catch (UlvaneException const& e) {
    EXPECT_THAT(e.what(), HasSubstr("[save_triangulated_surface]"));
    EXPECT_THAT(e.what(), HasSubstr(name));
  }
}

TEST(TriangulatedSurfaceIo, ReadErrorsNameTheFileAndLine) {
  const std::string header = "ULVANE_TRIANGULATED_SURFACE 2 1\n";
  const std::string points = "vertices 3\n0 0 0 0\n1 0 0 1\n0 1 0 2\n";
  struct Case {
    std::string text;
    std::string expected;
  } const cases[] = {
      {"OTHER 2 1\n", ":1: expected 'ULVANE_TRIANGULATED_SURFACE', found 'OTHER'"},
      {header + "vertices 3\n0 0 0 0\n", ":3: unexpected end of file"},
      {header + "vertices 1\n0 x -1 -1\n", ":3: not a number: x"},
      {header + points + "triangles 1\n0 1 3 1 -1 -1 -1\n", ":7: index out of range: 3"},
      {header + points + "triangles 1\n0 1 1 1 -1 -1 -1\n", ":7: a triangle repeats a vertex"},
      {header + points + "triangles 1\n0 1 2 1 -1 -1\n", ":7: expected 7 fields, found 6"},
      {header + points + "triangles 1\n0 1 2 1 0 -1 -1\n",
       "triangle 0 is adjacent to triangle 0, which does not hold its edge 0 the other way"},
      // A corrupt count is not trusted for allocation: the file just ends.
      {header + "vertices 4000000000\n0 0 -1 -1\n", ":3: unexpected end of file"},
      {header + points + "triangles 4000000000\n0 1 2 1 -1 -1 -1\n", ":7: unexpected end of file"},
      {header + "vertices 3\n0 0 0 1\n1 0 0 1\n0 1 0 2\n" + "triangles 1\n0 1 2 1 -1 -1 -1\n",
       "vertex 0 is associated with a corner that is not its own"},
      {header + points + "triangles 1\n0 1 2 0 0 -1 -1\n",
       "triangle 0 has an adjacency to or from a removed triangle"},
  };
  TemporaryFile file(".ul_tsf2d");
  for (auto const& c : cases) {
    SCOPED_TRACE(c.text);
    file.write(c.text);
    if (c.expected.empty()) {
      EXPECT_NO_THROW(load_triangulated_surface<2>(file.name()));
      continue;
    }
    try {
      load_triangulated_surface<2>(file.name());
      ADD_FAILURE() << "expected an exception";
    } catch (UlvaneException const& e) {
      EXPECT_THAT(e.what(), HasSubstr("[load_triangulated_surface] " + file.name()));
      EXPECT_THAT(e.what(), HasSubstr(c.expected));
    }
  }
  EXPECT_THROW(load_triangulated_surface<2>(file.name() + ".missing"), UlvaneException);
}

}  // namespace
}  // namespace tarnix
