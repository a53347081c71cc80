#include <ulvane/mesh/mesh_builder_factory.h>

#include <utility>

#include <absl/container/flat_hash_map.h>

#include <ulvane/mesh/polygonal_surface_builder.h>
#include <ulvane/mesh/triangulated_surface_builder.h>

namespace tarnix {
namespace {

template <typename Mesh, typename Builder>
MeshBuilderFactory::Creator creator_of() {
  return [](VertexSet& mesh) -> std::unique_ptr<VertexSetBuilder> {
    auto* typed = dynamic_cast<Mesh*>(&mesh);
    if (typed == nullptr) return nullptr;
    return Builder::create(*typed);
  };
}

using Registry = absl::flat_hash_map<std::string, MeshBuilderFactory::Creator>;

//! Built on first use, so that other libraries can register their keys from
//! their own static initialisers.
Registry& registry() {
  static Registry creators{
      {"TriangulatedSurface2D",
       creator_of<TriangulatedSurface<2>, TriangulatedSurfaceBuilder<2>>()},
      {"TriangulatedSurface3D",
       creator_of<TriangulatedSurface<3>, TriangulatedSurfaceBuilder<3>>()},
      {"PolygonalSurface2D", creator_of<PolygonalSurface<2>, PolygonalSurfaceBuilder<2>>()},
      {"PolygonalSurface3D", creator_of<PolygonalSurface<3>, PolygonalSurfaceBuilder<3>>()},
  };
  return creators;
}

}  // namespace

std::unique_ptr<VertexSetBuilder> MeshBuilderFactory::create(std::string const& key,
                                                             VertexSet& mesh) {
  const auto it = registry().find(key);
  if (it == registry().end()) return nullptr;
  return it->second(mesh);
}

void MeshBuilderFactory::register_creator(std::string const& key, Creator creator) {
  registry().insert_or_assign(key, std::move(creator));
}

bool MeshBuilderFactory::unregister_creator(std::string const& key) {
  return registry().erase(key) > 0;
}

bool MeshBuilderFactory::has_creator(std::string const& key) {
  return registry().contains(key);
}

}  // namespace tarnix
