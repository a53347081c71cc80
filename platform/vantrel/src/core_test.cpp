#include <vantrel/core.h>

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include <ulvane/model/section.h>

namespace tarnix {
namespace {

TEST(RemeshingDataTest, BuildsByHandWithInputAsOutput) {
  Section model;
  const ConstantMetric<2> metric{0.25};
  RemeshingData<Section, 2> data{model, std::make_unique<Section>(), {}, model, {}, metric};
  EXPECT_EQ(&data.input, &data.output);
  EXPECT_EQ(data.working->nb_surfaces(), 0u);
  EXPECT_FALSE(data.input_to_output.has_mapping_type("Surface"));
  EXPECT_EQ(data.metric.edge_length(Point<2>{{3, 4}}), 0.25);

  // The record moves (initialize_remeshing_data returns it by value).
  RemeshingData<Section, 2> moved = std::move(data);
  EXPECT_EQ(&moved.output, &model);
}

TEST(RemeshingDataTest, ConstantMetricRefusesLengthsThatCannotBeMeshed) {
  for (const double length : {0.0, -1.0, std::nan(""), std::numeric_limits<double>::infinity()}) {
    SCOPED_TRACE(length);
    EXPECT_THROW(ConstantMetric<3>{length}, UlvaneException);
  }
}

}  // namespace
}  // namespace tarnix
