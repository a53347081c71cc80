#pragma once

#include <memory>

#include <absl/strings/string_view.h>

#include <ulvane/mesh/triangulated_surface.h>

namespace tarnix {

//! Writes the surface as text (attributes are not written):
//!
//!     ULVANE_TRIANGULATED_SURFACE <D> 1
//!     vertices <n>
//!     <x> <y> [<z>] <corner polygon> <corner local index>    (n lines)
//!     triangles <m>
//!     <v0> <v1> <v2> <active 0|1> <adj0> <adj1> <adj2>       (m lines)
//!
//! A vertex's associated corner, and an adjacency on the border, is
//! written -1. Coordinates carry 17 significant digits, so they read back
//! exactly.
//! \throw UlvaneException naming the file if it cannot be written.
template <index_t D>
void save_triangulated_surface(TriangulatedSurface<D> const& surface, absl::string_view file);

//! Reads a surface written by `save_triangulated_surface`, with its removal
//! state, adjacencies and associated corners.
//! \throw UlvaneException naming the file (and line) if it cannot be read,
//! is not such a file, has another dimension, or refers to unknown elements.
template <index_t D>
std::unique_ptr<TriangulatedSurface<D>> load_triangulated_surface(absl::string_view file);

}  // namespace tarnix
