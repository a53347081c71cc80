#include "model/model_fixtures.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include <absl/container/flat_hash_map.h>

#include <ulvane/mesh/edged_curve_builder.h>
#include <ulvane/mesh/point_set_builder.h>
#include <ulvane/mesh/triangulated_surface.h>
#include <ulvane/mesh/triangulated_surface_builder.h>
#include <ulvane/model/brep_builder.h>
#include <ulvane/model/section_builder.h>

namespace tarnix {
namespace test {
namespace {

// Builds components on an integer lattice of step 1/n: every mesh vertex is
// placed at a lattice key and linked to that key's unique vertex, so
// vertices at the same place share a unique vertex and exact positions.
template <index_t D, typename Builder>
class LatticeModel {
 public:
  using Key = std::array<int, D>;

  LatticeModel(Builder& builder, index_t n) : builder_(builder), n_(n) {}

  Point<D> point(Key const& key) const {
    Point<D> result;
    for (index_t i = 0; i < D; ++i) result.set_value(i, static_cast<double>(key[i]) / n_);
    return result;
  }

  index_t unique_vertex(Key const& key) {
    const auto found = unique_vertices_.find(key);
    if (found != unique_vertices_.end()) return found->second;
    const index_t created = builder_.create_unique_vertex();
    unique_vertices_.emplace(key, created);
    return created;
  }

  uuid const& add_corner(Key const& key) {
    uuid const& id = builder_.add_corner();
    auto& mesh = builder_.modifiable_corner(id).get_modifiable_mesh();
    const index_t v = PointSetBuilder<D>::create(mesh)->create_point(point(key));
    builder_.set_unique_vertex({ComponentID{"Corner", id}, v}, unique_vertex(key));
    corners_.emplace(key, id);
    return id;
  }

  //! The straight line of lattice steps from the corner at `from` to the
  //! corner at `to`, bounded by both.
  uuid const& add_line(Key const& from, Key const& to) {
    uuid const& id = builder_.add_line();
    auto& mesh = builder_.modifiable_line(id).get_modifiable_mesh();
    auto curve = EdgedCurveBuilder<D>::create(mesh);
    int steps = 0;
    for (index_t i = 0; i < D; ++i) steps = std::max(steps, std::abs(to[i] - from[i]));
    for (int k = 0; k <= steps; ++k) {
      Key key;
      for (index_t i = 0; i < D; ++i) key[i] = from[i] + (to[i] - from[i]) * k / steps;
      const index_t v = curve->create_point(point(key));
      builder_.set_unique_vertex({ComponentID{"Line", id}, v}, unique_vertex(key));
      if (k > 0) curve->create_edge(v - 1, v);
    }
    builder_.add_corner_line_boundary_relationship(corners_.at(from), id);
    builder_.add_corner_line_boundary_relationship(corners_.at(to), id);
    return id;
  }

  //! The grid of size[0] x size[1] lattice squares spanned from `origin` by
  //! the lattice steps u and v, each square cut into (p00, p10, p11) and
  //! (p00, p11, p01): counter-clockwise seen along u x v.
  uuid const& add_surface(Key const& origin, Key const& u, Key const& v,
                          std::array<int, 2> const& size) {
    uuid const& id = builder_.add_surface();
    auto& mesh = dynamic_cast<TriangulatedSurface<D>&>(
        builder_.modifiable_surface(id).get_modifiable_mesh());
    auto surface = TriangulatedSurfaceBuilder<D>::create(mesh);
    const auto vertex = [&](int i, int j) { return static_cast<index_t>(i + (size[0] + 1) * j); };
    for (int j = 0; j <= size[1]; ++j) {
      for (int i = 0; i <= size[0]; ++i) {
        Key key;
        for (index_t c = 0; c < D; ++c) key[c] = origin[c] + i * u[c] + j * v[c];
        const index_t created = surface->create_point(point(key));
        builder_.set_unique_vertex({ComponentID{"Surface", id}, created}, unique_vertex(key));
      }
    }
    for (int j = 0; j < size[1]; ++j) {
      for (int i = 0; i < size[0]; ++i) {
        surface->create_triangle({vertex(i, j), vertex(i + 1, j), vertex(i + 1, j + 1)});
        surface->create_triangle({vertex(i, j), vertex(i + 1, j + 1), vertex(i, j + 1)});
      }
    }
    surface->compute_polygon_adjacencies();
    return id;
  }

 private:
  Builder& builder_;
  index_t n_;
  absl::flat_hash_map<Key, index_t> unique_vertices_;
  absl::flat_hash_map<Key, uuid> corners_;
};

}  // namespace

TwoSurfaceSection make_two_surface_section(index_t n) {
  TwoSurfaceSection fixture;
  SectionBuilder builder{fixture.section};
  LatticeModel<2, SectionBuilder> lattice{builder, n};
  const int s = static_cast<int>(n);
  const std::array<std::array<int, 2>, 6> corners{
      {{{0, 0}}, {{s, 0}}, {{2 * s, 0}}, {{0, s}}, {{s, s}}, {{2 * s, s}}}};
  for (auto const& key : corners) fixture.corners.push_back(lattice.add_corner(key));
  const std::array<std::array<int, 2>, 7> lines{
      {{{0, 1}}, {{1, 2}}, {{2, 5}}, {{4, 5}}, {{3, 4}}, {{0, 3}}, {{1, 4}}}};
  for (auto const& ends : lines) {
    fixture.lines.push_back(lattice.add_line(corners[ends[0]], corners[ends[1]]));
  }
  fixture.shared_line = fixture.lines[6];
  fixture.left = lattice.add_surface({{0, 0}}, {{1, 0}}, {{0, 1}}, {{s, s}});
  fixture.right = lattice.add_surface({{s, 0}}, {{1, 0}}, {{0, 1}}, {{s, s}});
  for (const index_t l : {0, 6, 4, 5}) {
    builder.add_line_surface_boundary_relationship(fixture.lines[l], fixture.left);
  }
  for (const index_t l : {1, 2, 3, 6}) {
    builder.add_line_surface_boundary_relationship(fixture.lines[l], fixture.right);
  }
  return fixture;
}

InternalLineSection make_internal_line_section(index_t n) {
  InternalLineSection fixture;
  SectionBuilder builder{fixture.section};
  LatticeModel<2, SectionBuilder> lattice{builder, n};
  const int s = static_cast<int>(n);
  const std::array<std::array<int, 2>, 7> corners{{{{0, 0}},
                                                   {{4 * s, 0}},
                                                   {{4 * s, 4 * s}},
                                                   {{0, 4 * s}},
                                                   {{s, 2 * s}},
                                                   {{3 * s, 2 * s}},
                                                   {{2 * s, 3 * s}}}};
  for (auto const& key : corners) fixture.corners.push_back(lattice.add_corner(key));
  for (index_t k = 0; k < 4; ++k) {
    fixture.boundary_lines.push_back(lattice.add_line(corners[k], corners[(k + 1) % 4]));
  }
  fixture.internal_line = lattice.add_line(corners[4], corners[5]);
  fixture.internal_corner = fixture.corners[6];
  fixture.surface = lattice.add_surface({{0, 0}}, {{1, 0}}, {{0, 1}}, {{4 * s, 4 * s}});
  for (auto const& line : fixture.boundary_lines) {
    builder.add_line_surface_boundary_relationship(line, fixture.surface);
  }
  builder.add_line_surface_internal_relationship(fixture.internal_line, fixture.surface);
  builder.add_corner_surface_internal_relationship(fixture.internal_corner, fixture.surface);
  return fixture;
}

CubeBRep make_cube_brep(index_t n) {
  CubeBRep fixture;
  BRepBuilder builder{fixture.brep};
  LatticeModel<3, BRepBuilder> lattice{builder, n};
  const int s = static_cast<int>(n);
  std::array<std::array<int, 3>, 8> corners;
  for (int k = 0; k < 8; ++k) {
    corners[k] = {{(k & 1) * s, ((k >> 1) & 1) * s, ((k >> 2) & 1) * s}};
    fixture.corners.push_back(lattice.add_corner(corners[k]));
  }
  // An edge joins two corners that differ in one coordinate.
  std::vector<std::array<int, 2>> edges;
  for (int a = 0; a < 8; ++a) {
    for (const int bit : {1, 2, 4}) {
      if ((a & bit) == 0) edges.push_back({{a, a | bit}});
    }
  }
  for (auto const& edge : edges) {
    fixture.lines.push_back(lattice.add_line(corners[edge[0]], corners[edge[1]]));
  }
  fixture.block = builder.add_block();
  // Per face: the axis it is normal to, its side, and steps u, v with
  // u x v pointing out of the cube.
  struct Face {
    int axis;
    int side;
    std::array<int, 3> u;
    std::array<int, 3> v;
  };
  const std::array<Face, 6> faces{{{0, 0, {{0, 0, 1}}, {{0, 1, 0}}},
                                   {0, 1, {{0, 1, 0}}, {{0, 0, 1}}},
                                   {1, 0, {{1, 0, 0}}, {{0, 0, 1}}},
                                   {1, 1, {{0, 0, 1}}, {{1, 0, 0}}},
                                   {2, 0, {{0, 1, 0}}, {{1, 0, 0}}},
                                   {2, 1, {{1, 0, 0}}, {{0, 1, 0}}}}};
  for (auto const& face : faces) {
    std::array<int, 3> origin{{0, 0, 0}};
    origin[face.axis] = face.side * s;
    uuid const& id = lattice.add_surface(origin, face.u, face.v, {{s, s}});
    fixture.surfaces.push_back(id);
    for (std::size_t e = 0; e < edges.size(); ++e) {
      const int bit = 1 << face.axis;
      const bool in_face = ((edges[e][0] & bit) != 0) == (face.side == 1) &&
                           ((edges[e][1] & bit) != 0) == (face.side == 1);
      if (in_face) builder.add_line_surface_boundary_relationship(fixture.lines[e], id);
    }
    builder.add_surface_block_boundary_relationship(id, fixture.block);
  }
  return fixture;
}

}  // namespace test
}  // namespace tarnix
