#pragma once

#include <absl/container/flat_hash_map.h>

#include <ulvane/basic/common.h>

namespace tarnix {

//! The base of every modifier: it translates vertex ids recorded before
//! edits made through the modifier into the current ids.
//!
//! Only collapses change which vertex stands at a place: the merged vertex
//! then maps to the vertex that remains, transitively. Splits, insertions
//! and cuts never renumber or merge existing vertices. A clean renumbers
//! vertices; ids recorded before it no longer apply afterwards, and the
//! translation starts again from the identity.
class VertexSetModifier {
 public:
  virtual ~VertexSetModifier() = default;

  //! The current id of a vertex recorded before the edits of this modifier:
  //! the vertex itself when untouched or new, else the vertex it was merged
  //! into (following every later merge).
  index_t updated_vertex(index_t vertex) const;

 protected:
  VertexSetModifier() = default;
  VertexSetModifier(VertexSetModifier const&) = default;
  VertexSetModifier(VertexSetModifier&&) = default;
  VertexSetModifier& operator=(VertexSetModifier const&) = default;
  VertexSetModifier& operator=(VertexSetModifier&&) = default;

  //! Records that `merged` no longer exists and `remaining` stands at its
  //! place.
  void record_merge(index_t merged, index_t remaining);
  //! Forgets every recorded merge (after a renumbering clean).
  void forget_merges() { merged_into_.clear(); }

 private:
  // Merged vertex -> a vertex it was merged into; the chains are shortened
  // by the queries, hence mutable.
  mutable absl::flat_hash_map<index_t, index_t> merged_into_;
};

}  // namespace tarnix
