# Section surface relaxation: relax_surfaces.
target_sources(Vantrel_surface2d PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/relaxation/relax_surfaces.cpp)

tarnix_test(relax_surfaces_test
  SOURCES relaxation/relax_surfaces_test.cpp
  LIBRARIES Vantrel_surface2d tarnix_relaxer_test_support tarnix_model_test_support
            tarnix_mesh_test_support)

if(TARNIX_BUILD_BENCHMARKS)
  find_package(benchmark REQUIRED)
  add_executable(relax_surfaces_bench ${PROJECT_SOURCE_DIR}/bench/relax_surfaces_bench.cpp)
  target_compile_options(relax_surfaces_bench PRIVATE ${TARNIX_WARNINGS})
  target_link_libraries(relax_surfaces_bench PRIVATE Vantrel_surface2d
                        tarnix_relaxer_test_support benchmark::benchmark)
endif()
