# The surface relaxer template (surface_relaxer.h), header-only. Its users
# link the model modifiers and the metric besides Vantrel_common, which the
# platform's model layer itself links (so Vantrel_common cannot link them).
set(TARNIX_RELAXER_LIBRARIES
  Vantrel_common Ulvane_mesh Ulvane_model Morvex_modifier_model Vantrel_core_types)

if(TARNIX_BUILD_TESTS OR TARNIX_BUILD_BENCHMARKS)
  # Small Sections for the relaxer tests, also used by the Section relaxation
  # tests and benchmark.
  add_library(tarnix_relaxer_test_support STATIC
    surface_relaxer/relaxer_test_sections.cpp)
  target_link_libraries(tarnix_relaxer_test_support PUBLIC ${TARNIX_RELAXER_LIBRARIES})
  target_compile_options(tarnix_relaxer_test_support PRIVATE ${TARNIX_WARNINGS})
endif()

tarnix_test(surface_relaxer_test
  SOURCES surface_relaxer_test.cpp
  LIBRARIES ${TARNIX_RELAXER_LIBRARIES} tarnix_relaxer_test_support tarnix_model_test_support
            tarnix_mesh_test_support)
