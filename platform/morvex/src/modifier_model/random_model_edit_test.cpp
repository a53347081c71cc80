// Long random sequences of simulated edits on refined models: every edit a
// simulation allows must leave a valid model, and every simulation, allowed
// or not, must leave the model as it was.

#include <array>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <morvex/modifier_model/brep_geometric_modifier.h>
#include <morvex/modifier_model/section_geometric_modifier.h>

#include "model/model_fixtures.h"
#include "model_modifier_test_support.h"

namespace tarnix {
namespace {

using test::is_valid_edited_model;
using test::mesh_of;
using test::model_dimension;
using test::snapshot;

template <typename Model>
bool allowed(SectionSimulationResult const& result) {
  return result.empty();
}
template <typename Model>
bool allowed(BRepSimulationResult const& result) {
  return result.empty();
}

enum Operation { swap = 0, collapse, split, move, nb_operations };
constexpr std::array<char const*, nb_operations> operation_names{
    {"swap", "collapse", "split", "move"}};

//! Draws edits on random elements of the model's surfaces, asks the
//! simulation and makes the edit when it is allowed.
template <typename Model, typename Modifier>
class RandomEditor {
 public:
  static constexpr index_t D = model_dimension<Model>;

  RandomEditor(Model& model, unsigned seed) : model_(model), modifier_(model), random_(seed) {
    for (auto const& surface : model.surfaces()) {
      surfaces_.push_back(surface.id());
      if constexpr (D == 3) {
        auto const& mesh = mesh_of(model, surface.id());
        const auto normal = mesh.polygon_normal(0);
        face_normals_.push_back(normal);
        face_planes_.push_back(mesh.point(0).value(normal.value(0) != 0 ? 0
                                                   : normal.value(1) != 0 ? 1
                                                                          : 2));
      }
    }
  }

  //! Runs the edits, checking the model after each allowed one; stops at
  //! the first failure.
  void run(int nb_edits) {
    for (int step = 0; step < nb_edits; ++step) {
      const auto operation = static_cast<Operation>(uniform(nb_operations));
      const auto before = snapshot(model_);
      bool done = false;
      switch (operation) {
        case swap: done = try_swap(); break;
        case collapse: done = try_collapse(); break;
        case split: done = try_split(); break;
        default: done = try_move(); break;
      }
      ++(done ? applied_ : refused_)[operation];
      if (!done) {
        ASSERT_EQ(snapshot(model_), before) << "refused " << operation_names[operation]
                                            << " at step " << step;
        continue;
      }
      ASSERT_TRUE(is_valid_edited_model(model_))
          << operation_names[operation] << " at step " << step;
      if constexpr (D == 3) {
        ASSERT_NO_FATAL_FAILURE(check_orientation(step)) << operation_names[operation];
      }
      if (step % 97 == 96) {
        modifier_.clean();
        ASSERT_TRUE(is_valid_edited_model(model_)) << "clean at step " << step;
      }
    }
    modifier_.clean();
    ASSERT_TRUE(is_valid_edited_model(model_));
  }

  //! Every kind of edit was made and refused a fair number of times.
  void expect_variety(int minimum) const {
    for (int k = 0; k < nb_operations; ++k) {
      SCOPED_TRACE(operation_names[k]);
      EXPECT_GE(applied_[k], minimum);
      EXPECT_GE(refused_[k], 1);
    }
  }

 private:
  unsigned uniform(unsigned count) {
    return std::uniform_int_distribution<unsigned>{0, count - 1}(random_);
  }
  double uniform_real(double low, double high) {
    return std::uniform_real_distribution<double>{low, high}(random_);
  }

  //! A random surface and an active triangle's edge on it, if found.
  bool pick_edge(index_t& surface, PolygonEdge& edge) {
    surface = uniform(static_cast<unsigned>(surfaces_.size()));
    auto const& mesh = mesh_of(model_, surfaces_[surface]);
    for (int attempt = 0; attempt < 20; ++attempt) {
      const index_t t = uniform(mesh.nb_polygons());
      if (!mesh.is_polygon_active(t)) continue;
      edge = {t, static_cast<local_index_t>(uniform(3))};
      return true;
    }
    return false;
  }

  Surface<D> const& surface(index_t k) const { return model_.surface(surfaces_[k]); }

  bool try_swap() {
    index_t k;
    PolygonEdge edge;
    if (!pick_edge(k, edge)) return false;
    if (!allowed<Model>(is_swap_edge_valid(model_, surface(k), edge))) return false;
    modifier_.swap_edge(surface(k), edge);
    return true;
  }

  bool try_collapse() {
    index_t k;
    PolygonEdge edge;
    if (!pick_edge(k, edge)) return false;
    auto const& mesh = mesh_of(model_, surfaces_[k]);
    const auto ends = mesh.polygon_edge_vertices(edge);
    const unsigned choice = uniform(3);
    const Point<D> target = choice < 2 ? mesh.point(ends[choice]) : mesh.edge_barycenter(edge);
    if (!allowed<Model>(is_collapse_edge_valid(model_, surface(k), edge, target))) return false;
    const auto info = modifier_.collapse_edge(surface(k), edge, target);
    EXPECT_EQ(mesh.point(info.at(surfaces_[k]).at(0).vertex), target);
    return true;
  }

  bool try_split() {
    index_t k;
    PolygonEdge edge;
    if (!pick_edge(k, edge)) return false;
    auto const& mesh = mesh_of(model_, surfaces_[k]);
    // Midpoints stay on straight lines; the others are jittered inside the
    // edge's neighbourhood.
    Point<D> point = mesh.edge_barycenter(edge);
    if (uniform(2) == 0) point = perturb(k, point, 0.45 * mesh.edge_length(edge));
    if (!allowed<Model>(is_split_edge_valid(model_, surface(k), edge, point))) return false;
    const auto info = modifier_.split_edge(surface(k), edge, point);
    EXPECT_TRUE(info.surfaces.contains(surfaces_[k]));
    for (auto const& cmv : model_.component_mesh_vertices(info.unique_vertex)) {
      if (cmv.component_id.type() != ComponentType{"Surface"}) continue;
      EXPECT_EQ(mesh_of(model_, cmv.component_id.id()).point(cmv.vertex), point);
    }
    return true;
  }

  bool try_move() {
    index_t k;
    PolygonEdge edge;
    if (!pick_edge(k, edge)) return false;
    auto const& mesh = mesh_of(model_, surfaces_[k]);
    const index_t vertex = mesh.polygon_edge_vertex(edge, 0);
    const index_t unique = model_.unique_vertex({surface(k).component_id(), vertex});
    if (unique == NO_ID) return false;
    Point<D> target = mesh.point(vertex);
    if (uniform(3) == 0) {
      // Toward the other end: along a line when the edge lies on one.
      target = target + (mesh.point(mesh.polygon_edge_vertex(edge, 1)) - target) *
                            uniform_real(0.1, 0.9);
    } else {
      target = perturb(k, target, 0.6 * mesh.edge_length(edge));
    }
    if (!is_move_point_valid(model_, unique, target)) return false;
    modifier_.move_point(unique, target);
    for (auto const& cmv : model_.component_mesh_vertices(unique)) {
      if (cmv.component_id.type() != ComponentType{"Surface"}) continue;
      EXPECT_EQ(mesh_of(model_, cmv.component_id.id()).point(cmv.vertex), target);
    }
    return true;
  }

  //! The point moved by up to `reach` in each coordinate. In 3D it stays in
  //! its face's plane, or (one time in four) within a tenth of the reach of
  //! it, so that lifts do not pile up.
  Point<D> perturb(index_t k, Point<D> point, double reach) {
    for (index_t c = 0; c < D; ++c) {
      if constexpr (D == 3) {
        if (face_normals_[k].value(c) != 0) {
          if (uniform(4) == 0) {
            point.set_value(c, face_planes_[k] + uniform_real(-0.1, 0.1) * reach);
          }
          continue;
        }
      }
      point.set_value(c, point.value(c) + uniform_real(-reach, reach));
    }
    return point;
  }

  //! No active triangle of a cube face turned against the face or against
  //! a neighbour.
  void check_orientation(int step) const {
    for (std::size_t k = 0; k < surfaces_.size(); ++k) {
      auto const& mesh = mesh_of(model_, surfaces_[k]);
      for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
        if (!mesh.is_polygon_active(t)) continue;
        const auto normal = mesh.polygon_normal(t);
        ASSERT_GT(normal.dot(face_normals_[k]), 0.0)
            << "triangle " << t << " of face " << k << " at step " << step;
        for (local_index_t e = 0; e < 3; ++e) {
          if (const auto adjacent = mesh.polygon_adjacent({t, e})) {
            ASSERT_GT(normal.dot(mesh.polygon_normal(*adjacent)), 0.0)
                << "triangles " << t << " and " << *adjacent << " of face " << k << " at step "
                << step;
          }
        }
      }
    }
  }

  Model& model_;
  Modifier modifier_;
  std::mt19937 random_;
  std::vector<uuid> surfaces_;
  std::vector<Vector<3>> face_normals_;
  //! The coordinate of each face's plane along its normal's axis.
  std::vector<double> face_planes_;
  std::array<int, nb_operations> applied_{};
  std::array<int, nb_operations> refused_{};
};

TEST(RandomModelEdits, TwoSurfaceSection) {
  auto fixture = test::make_two_surface_section(24);
  RandomEditor<Section, SectionGeometricModifier> editor{fixture.section, 11};
  editor.run(500);
  editor.expect_variety(25);
}

TEST(RandomModelEdits, InternalLineSection) {
  auto fixture = test::make_internal_line_section(8);
  RandomEditor<Section, SectionGeometricModifier> editor{fixture.section, 23};
  editor.run(500);
  editor.expect_variety(25);
}

TEST(RandomModelEdits, CubeBRep) {
  auto fixture = test::make_cube_brep(14);
  RandomEditor<BRep, BRepGeometricModifier> editor{fixture.brep, 37};
  editor.run(500);
  editor.expect_variety(25);
}

}  // namespace
}  // namespace tarnix
