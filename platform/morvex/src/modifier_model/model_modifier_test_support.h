#pragma once

// Shared by the model modifier tests: a whole-model validity check and a
// snapshot that tells whether anything changed.

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include <absl/strings/str_cat.h>
#include <gtest/gtest.h>

#include <ulvane/mesh/triangulated_surface.h>
#include <ulvane/model/brep.h>
#include <ulvane/model/section.h>

#include "mesh/surface_validity.h"
#include "model/model_validity.h"

namespace tarnix {
namespace test {

template <typename Model>
constexpr index_t model_dimension = std::is_same<Model, Section>::value ? 2 : 3;

template <typename Model>
TriangulatedSurface<model_dimension<Model>> const& mesh_of(Model const& model, uuid const& id) {
  return dynamic_cast<TriangulatedSurface<model_dimension<Model>> const&>(
      model.surface(id).get_mesh());
}

template <index_t D>
std::array<index_t, 3> triangle_of(TriangulatedSurface<D> const& mesh, index_t triangle) {
  return {mesh.polygon_vertex({triangle, 0}), mesh.polygon_vertex({triangle, 1}),
          mesh.polygon_vertex({triangle, 2})};
}

//! Every line edge must be an edge of each surface it bounds or lies in.
template <typename Model, typename Surfaces>
void check_conformity(Model const& model, Line<model_dimension<Model>> const& line,
                      Surfaces const& surfaces, std::vector<std::string>& problems) {
  auto const& curve = line.mesh();
  for (auto const& surface : surfaces) {
    auto const& mesh = surface.get_mesh();
    for (index_t e = 0; e < curve.nb_edges(); ++e) {
      std::array<std::vector<index_t>, 2> ends;
      for (local_index_t k = 0; k < 2; ++k) {
        const index_t u = model.unique_vertex({line.component_id(), curve.edge_vertex({e, k})});
        ends[k] = model.component_mesh_vertices(u, surface.id());
      }
      bool found = false;
      for (const index_t a : ends[0]) {
        for (const index_t b : ends[1]) {
          found = found || !mesh.polygons_from_edge_vertices({a, b}).empty();
        }
      }
      if (!found) {
        problems.push_back(absl::StrCat("line edge ", e, " of ", line.component_id().string(),
                                        " is no edge of ", surface.component_id().string()));
      }
    }
  }
}

//! Surface validity of every surface, the unique-vertex invariants, and
//! conformity of the surfaces to their lines.
template <typename Model>
std::vector<std::string> model_edit_problems(Model const& model) {
  auto problems = model_problems(model);
  for (auto const& surface : model.surfaces()) {
    for (auto const& problem : surface_problems(mesh_of(model, surface.id()))) {
      problems.push_back(absl::StrCat(surface.component_id().string(), ": ", problem));
    }
  }
  for (auto const& line : model.lines()) {
    check_conformity(model, line, model.incidences(line), problems);
    check_conformity(model, line, model.embedding_surfaces(line), problems);
  }
  return problems;
}

template <typename Model>
::testing::AssertionResult is_valid_edited_model(Model const& model) {
  const auto problems = model_edit_problems(model);
  if (problems.empty()) return ::testing::AssertionSuccess();
  auto result = ::testing::AssertionFailure();
  for (std::size_t k = 0; k < problems.size() && k < 20; ++k) result << problems[k] << "\n";
  return result;
}

//! The exact bits of a coordinate, for exact comparisons of snapshots.
inline std::uint64_t bits(double value) {
  std::uint64_t result;
  std::memcpy(&result, &value, sizeof result);
  return result;
}

//! Everything an edit could change, as numbers: points, triangles,
//! adjacencies and activity of the surfaces, points and edges of the lines,
//! and the unique-vertex links.
template <typename Model>
std::vector<std::uint64_t> snapshot(Model const& model) {
  constexpr index_t D = model_dimension<Model>;
  std::vector<std::uint64_t> state;
  const auto add_points = [&](auto const& mesh, ComponentID const& id) {
    state.push_back(mesh.nb_vertices());
    for (index_t v = 0; v < mesh.nb_vertices(); ++v) {
      for (index_t c = 0; c < D; ++c) state.push_back(bits(mesh.point(v).value(c)));
      state.push_back(model.unique_vertex({id, v}));
    }
  };
  for (auto const& surface : model.surfaces()) {
    auto const& mesh = surface.get_mesh();
    add_points(mesh, surface.component_id());
    state.push_back(mesh.nb_polygons());
    for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
      state.push_back(mesh.is_polygon_active(t));
      for (local_index_t k = 0; k < 3; ++k) {
        state.push_back(mesh.polygon_vertex({t, k}));
        state.push_back(mesh.polygon_adjacent({t, k}).value_or(NO_ID));
      }
    }
  }
  for (auto const& line : model.lines()) {
    auto const& curve = line.mesh();
    add_points(curve, line.component_id());
    state.push_back(curve.nb_edges());
    for (index_t e = 0; e < curve.nb_edges(); ++e) {
      state.push_back(curve.edge_vertex({e, 0}));
      state.push_back(curve.edge_vertex({e, 1}));
    }
  }
  state.push_back(model.nb_unique_vertices());
  return state;
}

}  // namespace test
}  // namespace tarnix
