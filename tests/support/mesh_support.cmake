# Surface validity checker, fixtures and a plain attribute storage for the
# mesh tests.
if(TARNIX_BUILD_TESTS)
  add_library(tarnix_mesh_test_support STATIC
    mesh/surface_validity.cpp
    mesh/surface_fixtures.cpp
  )
  target_include_directories(tarnix_mesh_test_support PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(tarnix_mesh_test_support PUBLIC Ulvane_mesh GTest::gtest)
  target_compile_options(tarnix_mesh_test_support PRIVATE ${TARNIX_WARNINGS})
endif()
