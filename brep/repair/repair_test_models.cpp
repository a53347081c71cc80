#include "brep/repair/repair_test_models.h"

#include <utility>

#include <ulvane/model/component_type.h>

#include "brep/brep_test_models.h"

namespace tarnix {
namespace test {

RepairModels::RepairModels() {
  mapping.emplace("Surface");
  mapping.emplace("Line");
}

uuid RepairModels::add_surface_pair(absl::Span<Point<3> const> input_points,
                                    absl::Span<std::array<index_t, 3> const> input_triangles,
                                    absl::Span<Point<3> const> output_points,
                                    absl::Span<std::array<index_t, 3> const> output_triangles,
                                    absl::Span<index_t const> output_unique) {
  const uuid in = add_triangulated_surface(input, input_points, input_triangles);
  const uuid out = add_triangulated_surface(output, output_points, output_triangles, output_unique);
  mapping.at("Surface").map(in, out);
  return out;
}

uuid RepairModels::add_surface(absl::Span<Point<3> const> points,
                               absl::Span<std::array<index_t, 3> const> triangles,
                               absl::Span<index_t const> output_unique) {
  return add_surface_pair(points, triangles, points, triangles, output_unique);
}

RemeshingData<BRep, 3>& RepairModels::data() {
  if (!data_) {
    data_.reset(new RemeshingData<BRep, 3>{input, std::make_unique<BRep>(), ModelCopyMapping{},
                                           output, std::move(mapping), metric_});
  }
  return *data_;
}

CrossingSheets add_crossing_sheets(RepairModels& models, index_t m) {
  const auto sheet = height_grid(0.3, 0.7, 0.05, 0.25, m,
                                 [](double x, double) { return -0.02 + (x - 0.3) * 0.175; });
  const auto arch = height_grid(0.0, 1.0, 0.0, 1.0, 8,
                                [](double x, double) { return 0.4 * x * (1.0 - x); });
  const auto chord = height_grid(0.0, 1.0, 0.0, 1.0, 1, [](double, double) { return 0.0; });
  CrossingSheets sheets;
  sheets.surface = models.add_surface(sheet.points, sheet.triangles);
  sheets.other_surface =
      models.add_surface_pair(arch.points, arch.triangles, chord.points, chord.triangles);
  return sheets;
}

}  // namespace test
}  // namespace tarnix
