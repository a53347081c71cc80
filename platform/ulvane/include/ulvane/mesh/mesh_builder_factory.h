#pragma once

#include <functional>
#include <memory>
#include <string>

#include <ulvane/mesh/vertex_set.h>
#include <ulvane/mesh/vertex_set_builder.h>

namespace tarnix {

//! Creates the builder of a mesh from the mesh's `impl_name()`. The surface
//! mesh keys ("TriangulatedSurface2D", ..., "PolygonalSurface3D") are known
//! from the start; other mesh libraries register theirs.
class MeshBuilderFactory {
 public:
  //! Makes a builder for the mesh, or null when the mesh is not of the
  //! creator's type.
  using Creator = std::function<std::unique_ptr<VertexSetBuilder>(VertexSet&)>;

  //! The builder registered under the key for the mesh; null for an
  //! unknown key or a mesh of another type than the key's.
  static std::unique_ptr<VertexSetBuilder> create(std::string const& key, VertexSet& mesh);

  //! Registers (or replaces) the creator of a key.
  static void register_creator(std::string const& key, Creator creator);
  //! Forgets a key; returns whether it was known.
  static bool unregister_creator(std::string const& key);
  static bool has_creator(std::string const& key);

  MeshBuilderFactory() = delete;
};

}  // namespace tarnix
