# The two walks of the frontal remesher across its working surface: along a
# line (the apex search) and along the segment of a new macro edge.
if(NOT TARGET Vantrel_surface_common)
  include(${PROJECT_SOURCE_DIR}/platform/vantrel/surface_common.cmake)
endif()

target_sources(Vantrel_surface2d PRIVATE
  walks/propagate_along_line.cpp
  walks/propagate_along_surface_macro_edge.cpp)
target_link_libraries(Vantrel_surface2d PUBLIC Vantrel_surface_common)

tarnix_test(surface2d_walks_test
  SOURCES
    walks/walk_fixtures.cpp
    walks/propagate_along_line_test.cpp
    walks/propagate_along_surface_macro_edge_test.cpp
  LIBRARIES Vantrel_surface2d tarnix_mesh_test_support)
if(TARGET surface2d_walks_test)
  target_include_directories(surface2d_walks_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
endif()

tarnix_benchmark(surface2d_walks_bench SOURCES surface2d_walks_bench.cpp LIBRARIES Vantrel_surface2d)
