#pragma once

#include <ulvane/mesh/vertex_set.h>

namespace tarnix {

//! The base of every mesh builder, so that the builder factory can hand out
//! any builder as `std::unique_ptr<VertexSetBuilder>`; callers cast it to
//! the builder type they expect.
class VertexSetBuilder {
 public:
  virtual ~VertexSetBuilder() = default;
  VertexSetBuilder(VertexSetBuilder const&) = delete;
  VertexSetBuilder& operator=(VertexSetBuilder const&) = delete;

  //! The mesh this builder edits.
  VertexSet& vertex_set() const { return vertex_set_; }

 protected:
  explicit VertexSetBuilder(VertexSet& vertex_set) : vertex_set_(vertex_set) {}

 private:
  VertexSet& vertex_set_;
};

}  // namespace tarnix
