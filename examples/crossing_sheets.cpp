#include "crossing_sheets.h"

#include <ulvane/mesh/triangulated_surface.h>
#include <ulvane/mesh/triangulated_surface_builder.h>
#include <ulvane/model/brep_builder.h>

namespace tarnix {
namespace demo {
namespace {

template <typename Height>
void add_sheet(BRepBuilder& builder, int n, Height height) {
  auto const id = builder.add_surface();
  auto& mesh =
      dynamic_cast<TriangulatedSurface<3>&>(builder.modifiable_surface(id).get_modifiable_mesh());
  auto surface = TriangulatedSurfaceBuilder<3>::create(mesh);
  for (int j = 0; j <= n; ++j) {
    for (int i = 0; i <= n; ++i) {
      double const x = static_cast<double>(i) / n;
      double const y = static_cast<double>(j) / n;
      auto const v = surface->create_point(Point<3>{{x, y, height(x, y)}});
      builder.set_unique_vertex({{"Surface", id}, v}, builder.create_unique_vertex());
    }
  }
  auto const vertex = [n](int i, int j) { return static_cast<index_t>(i + (n + 1) * j); };
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i < n; ++i) {
      surface->create_triangle({vertex(i, j), vertex(i + 1, j), vertex(i + 1, j + 1)});
      surface->create_triangle({vertex(i, j), vertex(i + 1, j + 1), vertex(i, j + 1)});
    }
  }
  surface->compute_polygon_adjacencies();
}

}  // namespace

BRep make_crossing_sheets(int n) {
  BRep brep;
  BRepBuilder builder{brep};
  add_sheet(builder, n, [](double, double) { return 0.5; });
  add_sheet(builder, n, [](double x, double) { return x; });
  return brep;
}

}  // namespace demo
}  // namespace tarnix
