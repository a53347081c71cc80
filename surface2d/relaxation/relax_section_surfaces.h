#pragma once

#include <ulvane/basic/common.h>
#include <vantrel/core.h>

namespace tarnix {

class Section;

namespace detail {

//! `relax_surfaces` with at most `max_rounds` rounds of a swap pass and a
//! vertex pass on each surface (no metric when `metric` is null). A surface
//! still with work left after its last round is logged, keeps its edits
//! and is cleaned.
//! \throw UlvaneException for bad input, before any surface changes (see
//! `relax_surfaces`).
void relax_section_surfaces(Section& section, Metric<2> const* metric, index_t max_rounds);

}  // namespace detail
}  // namespace tarnix
