# The surface-intersection repair of Vantrel_brep, included by
# brep/CMakeLists.txt (paths are relative to brep/).
target_sources(Vantrel_brep PRIVATE
  repair/surface_intersection_repairer.cpp
  repair/small_blocks.cpp
  repair/duplicated_edge_pair_repair.cpp
  repair/crossing_edges_repair.cpp
)

if(TARNIX_BUILD_TESTS OR TARNIX_BUILD_BENCHMARKS)
  # Hand-built input and output models of the repair.
  add_library(tarnix_repair_test_support STATIC repair/repair_test_models.cpp)
  target_include_directories(tarnix_repair_test_support PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(tarnix_repair_test_support PUBLIC Ulvane_model Vantrel_core_types
                        tarnix_brep_test_support absl::span)
  target_compile_options(tarnix_repair_test_support PRIVATE ${TARNIX_WARNINGS})
endif()

tarnix_test(brep_repair_test
  SOURCES repair/surface_intersection_repairer_test.cpp
  LIBRARIES Vantrel_brep Vantrel_core Morvex_modifier_model Morvex_modifier_surface
            tarnix_repair_test_support tarnix_model_test_support GTest::gmock)

tarnix_benchmark(repair_bench
  SOURCES repair_bench.cpp
  LIBRARIES Vantrel_brep Vantrel_core Morvex_modifier_model tarnix_repair_test_support)
