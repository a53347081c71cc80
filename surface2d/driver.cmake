# Remeshing of the surfaces of a Section into the output model.
target_sources(Vantrel_surface2d PRIVATE
  driver/input_checks.cpp
  driver/region_transfer.cpp
  driver/remesh_surfaces.cpp
)

# The stacked-layer section of the driver's tests and benchmark.
if(TARNIX_BUILD_TESTS OR TARNIX_BUILD_BENCHMARKS)
  add_library(tarnix_stacked_section STATIC driver/stacked_section.cpp)
  target_include_directories(tarnix_stacked_section PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(tarnix_stacked_section PUBLIC Ulvane_model)
  target_compile_options(tarnix_stacked_section PRIVATE ${TARNIX_WARNINGS})
endif()

tarnix_test(surface2d_driver_test
  SOURCES
    driver/input_checks_test.cpp
    driver/region_transfer_test.cpp
    driver/remesh_surfaces_test.cpp
    driver/parallel_remesh_test.cpp
    driver/worker_pool_test.cpp
  LIBRARIES tarnix_demo_models tarnix_stacked_section Vantrel_surface2d Vantrel_core
            Vantrel_corner Vantrel_line2d tarnix_mesh_test_support tarnix_model_test_support)
if(TARGET surface2d_driver_test)
  target_include_directories(surface2d_driver_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
endif()
