#include "model/model_validity.h"

#include <algorithm>
#include <sstream>
#include <type_traits>

#include <absl/strings/str_cat.h>
#include <absl/strings/str_join.h>
#include <absl/types/optional.h>

#include "mesh/surface_validity.h"

namespace tarnix {
namespace test {
namespace {

template <typename Model, typename Range>
void check_links(Model const& model, Range const& components, std::vector<std::string>& problems) {
  for (auto const& component : components) {
    const ComponentID id = component.component_id();
    for (index_t v = 0; v < component.mesh().nb_vertices(); ++v) {
      const index_t u = model.unique_vertex({id, v});
      if (u == NO_ID) continue;
      if (u >= model.nb_unique_vertices()) {
        problems.push_back(absl::StrCat(id.string(), " vertex ", v, " links to unique vertex ",
                                        u, " of ", model.nb_unique_vertices()));
        continue;
      }
      const auto listed = model.component_mesh_vertices(u, id.id());
      if (std::find(listed.begin(), listed.end(), v) == listed.end()) {
        problems.push_back(absl::StrCat(id.string(), " vertex ", v,
                                        " is missing from the list of unique vertex ", u));
      }
    }
  }
}

template <index_t D, typename Model>
absl::optional<Point<D>> position(Model const& model, ComponentMeshVertex const& cmv) {
  auto const& type = cmv.component_id.type();
  auto const& id = cmv.component_id.id();
  const auto of = [&](auto const& mesh) -> absl::optional<Point<D>> {
    if (cmv.vertex >= mesh.nb_vertices()) return absl::nullopt;
    return mesh.point(cmv.vertex);
  };
  if (type == ComponentType{"Corner"} && model.has_corner(id)) return of(model.corner(id).mesh());
  if (type == ComponentType{"Line"} && model.has_line(id)) return of(model.line(id).mesh());
  if (type == ComponentType{"Surface"} && model.has_surface(id)) {
    return of(model.surface(id).mesh());
  }
  if constexpr (D == 3) {
    if (type == ComponentType{"Block"} && model.has_block(id)) return of(model.block(id).mesh());
  }
  return absl::nullopt;
}

template <index_t D, typename Model>
void check_unique_vertices(Model const& model, std::vector<std::string>& problems) {
  for (index_t u = 0; u < model.nb_unique_vertices(); ++u) {
    absl::optional<Point<D>> first;
    for (auto const& cmv : model.component_mesh_vertices(u)) {
      const auto point = position<D>(model, cmv);
      if (!point) {
        problems.push_back(absl::StrCat("unique vertex ", u, " lists ", cmv.component_id.string(),
                                        " vertex ", cmv.vertex, ", which does not exist"));
        continue;
      }
      const index_t linked = model.unique_vertex(cmv);
      if (linked != u) {
        problems.push_back(absl::StrCat("unique vertex ", u, " lists ", cmv.component_id.string(),
                                        " vertex ", cmv.vertex, ", which links to ", linked));
      }
      if (!first) {
        first = point;
      } else if (*point != *first) {
        std::ostringstream text;
        text << "unique vertex " << u << " has " << cmv.component_id << " vertex " << cmv.vertex
             << " at " << *point << ", away from " << *first;
        problems.push_back(text.str());
      }
    }
  }
}

//! The problems of every triangulated surface mesh, prefixed with the
//! surface.
template <typename Model>
void check_surface_meshes(Model const& model, std::vector<std::string>& problems) {
  for (auto const& surface : model.surfaces()) {
    using Mesh = std::decay_t<decltype(surface.mesh())>;
    using Triangulated = TriangulatedSurface<Mesh::dimension>;
    auto const* mesh = dynamic_cast<Triangulated const*>(&surface.mesh());
    if (mesh == nullptr) continue;
    for (auto const& problem : surface_problems(*mesh)) {
      problems.push_back(absl::StrCat(surface.component_id().string(), ": ", problem));
    }
  }
}

::testing::AssertionResult as_result(std::vector<std::string> const& problems) {
  if (problems.empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << absl::StrJoin(problems, "\n");
}

}  // namespace

std::vector<std::string> model_problems(Section const& section) {
  std::vector<std::string> problems;
  check_links(section, section.corners(), problems);
  check_links(section, section.lines(), problems);
  check_links(section, section.surfaces(), problems);
  check_unique_vertices<2>(section, problems);
  check_surface_meshes(section, problems);
  return problems;
}

std::vector<std::string> model_problems(BRep const& brep) {
  std::vector<std::string> problems;
  check_links(brep, brep.corners(), problems);
  check_links(brep, brep.lines(), problems);
  check_links(brep, brep.surfaces(), problems);
  check_links(brep, brep.blocks(), problems);
  check_unique_vertices<3>(brep, problems);
  check_surface_meshes(brep, problems);
  return problems;
}

::testing::AssertionResult is_valid_model(Section const& section) {
  return as_result(model_problems(section));
}

::testing::AssertionResult is_valid_model(BRep const& brep) {
  return as_result(model_problems(brep));
}

}  // namespace test
}  // namespace tarnix
