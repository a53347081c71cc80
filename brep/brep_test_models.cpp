#include "brep/brep_test_models.h"

#include <algorithm>
#include <random>
#include <utility>

#include <absl/container/flat_hash_map.h>

#include <ulvane/mesh/edged_curve_builder.h>
#include <ulvane/mesh/point_set_builder.h>
#include <ulvane/mesh/triangulated_surface.h>
#include <ulvane/mesh/triangulated_surface_builder.h>
#include <ulvane/model/brep_builder.h>

namespace tarnix {
namespace test {
namespace {

using Key = std::array<int, 3>;

Key add(Key const& a, Key const& b, int factor) {
  return {{a[0] + factor * b[0], a[1] + factor * b[1], a[2] + factor * b[2]}};
}

// Components on the integer lattice of step 1/n, vertices at one lattice
// key sharing one unique vertex.
class Lattice {
 public:
  Lattice(BRepBuilder& builder, int n) : builder_(builder), n_(n) {}

  Point<3> point(Key const& key) const {
    return Point<3>{{static_cast<double>(key[0]) / n_, static_cast<double>(key[1]) / n_,
                     static_cast<double>(key[2]) / n_}};
  }

  index_t unique_vertex(Key const& key) {
    const auto found = unique_vertices_.find(key);
    if (found != unique_vertices_.end()) return found->second;
    const index_t created = builder_.create_unique_vertex();
    unique_vertices_.emplace(key, created);
    return created;
  }

  uuid const& corner(Key const& key) {
    const auto found = corners_.find(key);
    if (found != corners_.end()) return found->second;
    uuid const& id = builder_.add_corner();
    auto& mesh = builder_.modifiable_corner(id).get_modifiable_mesh();
    const index_t v = PointSetBuilder<3>::create(mesh)->create_point(point(key));
    builder_.set_unique_vertex({ComponentID{"Corner", id}, v}, unique_vertex(key));
    return corners_.emplace(key, id).first->second;
  }

  //! The line of n steps along `step` from the corner at `from`.
  uuid const& line(Key const& from, Key const& step) {
    const Key to = add(from, step, n_);
    const std::pair<Key, Key> ends = std::minmax(from, to);
    const auto found = lines_.find(ends);
    if (found != lines_.end()) return found->second;
    uuid const& id = builder_.add_line();
    auto curve = EdgedCurveBuilder<3>::create(builder_.modifiable_line(id).get_modifiable_mesh());
    for (int k = 0; k <= n_; ++k) {
      const Key key = add(from, step, k);
      const index_t v = curve->create_point(point(key));
      builder_.set_unique_vertex({ComponentID{"Line", id}, v}, unique_vertex(key));
      if (k > 0) curve->create_edge(v - 1, v);
    }
    builder_.add_corner_line_boundary_relationship(corner(from), id);
    builder_.add_corner_line_boundary_relationship(corner(to), id);
    return lines_.emplace(ends, id).first->second;
  }

  //! The n x n grid spanned from `origin` by the steps u and v, facing
  //! along u x v, bounded by its four lines.
  uuid const& surface(Key const& origin, Key const& u, Key const& v) {
    uuid const& id = builder_.add_surface();
    auto& mesh = dynamic_cast<TriangulatedSurface<3>&>(
        builder_.modifiable_surface(id).get_modifiable_mesh());
    auto grid = TriangulatedSurfaceBuilder<3>::create(mesh);
    const auto vertex = [this](int i, int j) { return static_cast<index_t>(i + (n_ + 1) * j); };
    for (int j = 0; j <= n_; ++j) {
      for (int i = 0; i <= n_; ++i) {
        const Key key = add(add(origin, u, i), v, j);
        const index_t created = grid->create_point(point(key));
        builder_.set_unique_vertex({ComponentID{"Surface", id}, created}, unique_vertex(key));
      }
    }
    for (int j = 0; j < n_; ++j) {
      for (int i = 0; i < n_; ++i) {
        grid->create_triangle({vertex(i, j), vertex(i + 1, j), vertex(i + 1, j + 1)});
        grid->create_triangle({vertex(i, j), vertex(i + 1, j + 1), vertex(i, j + 1)});
      }
    }
    grid->compute_polygon_adjacencies();
    for (auto const& side : {line(origin, u), line(origin, v), line(add(origin, u, n_), v),
                             line(add(origin, v, n_), u)}) {
      builder_.add_line_surface_boundary_relationship(side, id);
    }
    return id;
  }

 private:
  BRepBuilder& builder_;
  int n_;
  absl::flat_hash_map<Key, index_t> unique_vertices_;
  absl::flat_hash_map<Key, uuid> corners_;
  absl::flat_hash_map<std::pair<Key, Key>, uuid> lines_;
};

}  // namespace

uuid add_triangulated_surface(BRep& brep, absl::Span<Point<3> const> points,
                              absl::Span<std::array<index_t, 3> const> triangles,
                              absl::Span<index_t const> unique_vertices) {
  BRepBuilder builder{brep};
  uuid const& id = builder.add_surface();
  auto& mesh =
      dynamic_cast<TriangulatedSurface<3>&>(builder.modifiable_surface(id).get_modifiable_mesh());
  auto surface = TriangulatedSurfaceBuilder<3>::create(mesh);
  for (index_t v = 0; v < points.size(); ++v) {
    surface->create_point(points[v]);
    const bool given = v < unique_vertices.size() && unique_vertices[v] != NO_ID;
    builder.set_unique_vertex({ComponentID{"Surface", id}, v},
                              given ? unique_vertices[v] : builder.create_unique_vertex());
  }
  for (auto const& triangle : triangles) surface->create_triangle(triangle);
  surface->compute_polygon_adjacencies();
  return id;
}

BoxRowBRep make_box_row_brep(index_t nb_blocks, index_t n) {
  BoxRowBRep fixture;
  BRepBuilder builder{fixture.brep};
  const int s = static_cast<int>(n);
  Lattice lattice{builder, s};
  const Key x{{1, 0, 0}};
  const Key y{{0, 1, 0}};
  const Key z{{0, 0, 1}};
  std::vector<uuid> squares;  // x = 0, 1, ..., nb_blocks
  for (index_t i = 0; i <= nb_blocks; ++i) {
    const Key origin{{static_cast<int>(i) * s, 0, 0}};
    // The first square faces -x, every other one +x.
    squares.push_back(i == 0 ? lattice.surface(origin, z, y) : lattice.surface(origin, y, z));
    if (i > 0 && i < nb_blocks) fixture.shared_surfaces.push_back(squares.back());
  }
  for (index_t b = 0; b < nb_blocks; ++b) {
    const Key origin{{static_cast<int>(b) * s, 0, 0}};
    uuid const& block = builder.add_block();
    fixture.blocks.push_back(block);
    const std::array<uuid, 6> faces{{squares[b], squares[b + 1],
                                     lattice.surface(origin, x, z),
                                     lattice.surface(add(origin, y, s), z, x),
                                     lattice.surface(origin, y, x),
                                     lattice.surface(add(origin, z, s), x, y)}};
    for (auto const& face : faces) builder.add_surface_block_boundary_relationship(face, block);
  }
  return fixture;
}

void jitter_surface_interiors(BRep& brep, double amplitude, std::uint32_t seed) {
  std::mt19937 random{seed};
  std::uniform_real_distribution<double> offset{-amplitude, amplitude};
  BRepBuilder builder{brep};
  for (auto const& surface : brep.surfaces()) {
    auto& mesh = dynamic_cast<TriangulatedSurface<3>&>(
        builder.modifiable_surface(surface.id()).get_modifiable_mesh());
    if (mesh.nb_vertices() == 0) continue;
    // The axis along which the surface is flat is left alone.
    index_t flat_axis = 0;
    for (index_t axis = 0; axis < 3; ++axis) {
      bool is_flat = true;
      for (index_t v = 1; v < mesh.nb_vertices() && is_flat; ++v) {
        is_flat = mesh.point(v).value(axis) == mesh.point(0).value(axis);
      }
      if (is_flat) flat_axis = axis;
    }
    auto editor = TriangulatedSurfaceBuilder<3>::create(mesh);
    for (index_t v = 0; v < mesh.nb_vertices(); ++v) {
      const index_t u = brep.unique_vertex({surface.component_id(), v});
      if (brep.has_component_mesh_vertices(u, "Line") ||
          brep.has_component_mesh_vertices(u, "Corner")) {
        continue;
      }
      Point<3> moved = mesh.point(v);
      for (index_t axis = 0; axis < 3; ++axis) {
        if (axis != flat_axis) moved.set_value(axis, moved.value(axis) + offset(random));
      }
      editor->set_point(v, moved);
    }
  }
}

}  // namespace test
}  // namespace tarnix
