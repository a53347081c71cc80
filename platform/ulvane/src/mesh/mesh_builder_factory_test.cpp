#include <ulvane/mesh/mesh_builder_factory.h>

#include <gtest/gtest.h>

#include <ulvane/mesh/polygonal_surface_builder.h>
#include <ulvane/mesh/triangulated_surface_builder.h>

namespace tarnix {
namespace {

TEST(MeshBuilderFactory, CreatesTheBuilderOfTheMeshKey) {
  auto mesh = TriangulatedSurface<2>::create();
  auto builder = MeshBuilderFactory::create(mesh->impl_name(), *mesh);
  auto* typed = dynamic_cast<TriangulatedSurfaceBuilder<2>*>(builder.get());
  ASSERT_NE(typed, nullptr);
  EXPECT_EQ(&typed->vertex_set(), mesh.get());
  typed->create_point(Point<2>{});
  EXPECT_EQ(mesh->nb_vertices(), 1u);

  auto polygonal = PolygonalSurface<3>::create();
  EXPECT_NE(dynamic_cast<PolygonalSurfaceBuilder<3>*>(
                MeshBuilderFactory::create(polygonal->impl_name(), *polygonal).get()),
            nullptr);
}

TEST(MeshBuilderFactory, NullForAnUnknownKeyOrAnotherMeshType) {
  auto mesh = TriangulatedSurface<2>::create();
  EXPECT_EQ(MeshBuilderFactory::create("NoSuchMesh", *mesh), nullptr);
  EXPECT_EQ(MeshBuilderFactory::create("TriangulatedSurface3D", *mesh), nullptr);
  EXPECT_EQ(MeshBuilderFactory::create("PolygonalSurface2D", *mesh), nullptr);
}

TEST(MeshBuilderFactory, UnregisteredKeyBecomesUnknownUntilRegisteredAgain) {
  auto mesh = TriangulatedSurface<3>::create();
  const std::string key = mesh->impl_name();
  ASSERT_TRUE(MeshBuilderFactory::unregister_creator(key));
  EXPECT_FALSE(MeshBuilderFactory::unregister_creator(key));
  EXPECT_FALSE(MeshBuilderFactory::has_creator(key));
  EXPECT_EQ(MeshBuilderFactory::create(key, *mesh), nullptr);

  MeshBuilderFactory::register_creator(key, [](VertexSet& set) -> std::unique_ptr<VertexSetBuilder> {
    auto* surface = dynamic_cast<TriangulatedSurface<3>*>(&set);
    if (surface == nullptr) return nullptr;
    return TriangulatedSurfaceBuilder<3>::create(*surface);
  });
  EXPECT_NE(MeshBuilderFactory::create(key, *mesh), nullptr);
}

}  // namespace
}  // namespace tarnix
