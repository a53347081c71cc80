#pragma once

#include <cmath>
#include <memory>
#include <string>

#include <ulvane/basic/common.h>
#include <ulvane/basic/ulvane_exception.h>
#include <ulvane/geometry/point.h>
#include <ulvane/model/model_copy_mapping.h>

namespace tarnix {

//! The target edge-length field of a remeshing, supplied by the caller.
template <index_t D>
class Metric {
 public:
  virtual ~Metric() = default;
  //! The edge length wanted at the point.
  virtual double edge_length(Point<D> const& point) const = 0;

 protected:
  Metric() = default;
  Metric(Metric const&) = default;
  Metric& operator=(Metric const&) = default;
};

//! The same edge length everywhere.
template <index_t D>
class ConstantMetric : public Metric<D> {
 public:
  //! \throw UlvaneException unless the length is a positive finite number
  //! (remeshing to a zero or negative length could never finish).
  explicit ConstantMetric(double length) : length_(length) {
    if (!(length > 0.0) || !std::isfinite(length)) {
      throw UlvaneException("[ConstantMetric] The edge length must be positive and finite, got ",
                            std::to_string(length));
    }
  }

  double edge_length(Point<D> const& /*point*/) const override { return length_; }

 private:
  double length_;
};

//! The record all remeshing steps of one pipeline share. Built by hand, for
//! instance with input and output the same model, an empty working model
//! and two empty mappings.
template <typename Model, index_t D>
struct RemeshingData {
  //! The model to remesh, read only.
  Model const& input;
  //! The working copy of the input, owned by the record.
  std::unique_ptr<Model> working;
  ModelCopyMapping input_to_working;
  //! The model the steps build.
  Model& output;
  ModelCopyMapping input_to_output;
  Metric<D> const& metric;
};

}  // namespace tarnix
