#pragma once

// Input and output models of the surface-intersection repair tests and
// benchmark: the record a repairer works on, built by hand so that the
// output surfaces can differ from their input surfaces.

#include <array>
#include <memory>
#include <vector>

#include <absl/types/span.h>

#include <ulvane/basic/common.h>
#include <ulvane/basic/uuid.h>
#include <ulvane/geometry/point.h>
#include <ulvane/model/brep.h>
#include <ulvane/model/model_copy_mapping.h>

#include <vantrel/core.h>

namespace tarnix {
namespace test {

//! An input model, an output model and the input/output mapping of their
//! surfaces; `data()` builds the record once the models are complete.
class RepairModels {
 public:
  RepairModels();
  RepairModels(RepairModels const&) = delete;
  RepairModels& operator=(RepairModels const&) = delete;

  //! Adds an input surface and its output surface, mapped to each other.
  //! Output vertex v is linked to output_unique[v] when given (not NO_ID).
  //! \return the output surface id.
  uuid add_surface_pair(absl::Span<Point<3> const> input_points,
                        absl::Span<std::array<index_t, 3> const> input_triangles,
                        absl::Span<Point<3> const> output_points,
                        absl::Span<std::array<index_t, 3> const> output_triangles,
                        absl::Span<index_t const> output_unique = {});
  //! The same output surface as input surface.
  uuid add_surface(absl::Span<Point<3> const> points,
                   absl::Span<std::array<index_t, 3> const> triangles,
                   absl::Span<index_t const> output_unique = {});

  //! The record; the mapping can no longer change afterwards.
  RemeshingData<BRep, 3>& data();

  BRep input;
  BRep output;
  ModelCopyMapping mapping;

 private:
  ConstantMetric<3> metric_{1.0};
  std::unique_ptr<RemeshingData<BRep, 3>> data_;
};

//! Points and triangles of a surface mesh.
struct MeshData {
  std::vector<Point<3>> points;
  std::vector<std::array<index_t, 3>> triangles;
};

//! The n x n grid of triangle pairs over [x0, x1] x [y0, y1] with heights
//! z(x, y), facing up.
template <typename Height>
MeshData height_grid(double x0, double x1, double y0, double y1, index_t n, Height height) {
  MeshData grid;
  for (index_t j = 0; j <= n; ++j) {
    for (index_t i = 0; i <= n; ++i) {
      const double x = x0 + (x1 - x0) * i / n;
      const double y = y0 + (y1 - y0) * j / n;
      grid.points.push_back(Point<3>{{x, y, height(x, y)}});
    }
  }
  const auto vertex = [n](index_t i, index_t j) { return i + (n + 1) * j; };
  for (index_t j = 0; j < n; ++j) {
    for (index_t i = 0; i < n; ++i) {
      grid.triangles.push_back({vertex(i, j), vertex(i + 1, j), vertex(i + 1, j + 1)});
      grid.triangles.push_back({vertex(i, j), vertex(i + 1, j + 1), vertex(i, j + 1)});
    }
  }
  return grid;
}

//! Two crossing sheets. O: the two triangles of the square [0, 1]^2 at
//! z = 0, whose input is the arch z = 0.4 x (1 - x) (an 8 x 8 grid): the
//! output is the arch's chord. S: the m x m grid over [0.3, 0.7] x
//! [0.05, 0.25], tilted from z = -0.02 to z = 0.05 along x, its own input:
//! it lies under the arch but crosses the chord. Output surfaces: S, then O.
struct CrossingSheets {
  uuid surface;
  uuid other_surface;
};
CrossingSheets add_crossing_sheets(RepairModels& models, index_t m);

}  // namespace test
}  // namespace tarnix
