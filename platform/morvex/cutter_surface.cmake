# Morvex_cutter_surface: walks along segments of a triangulated surface and
# cuts the surface along them.
add_library(Morvex_cutter_surface SHARED
  src/cutter_surface/cut_along_path.cpp
  src/cutter_surface/determine_cuts.cpp
  src/cutter_surface/straight_surface_path.cpp
)
target_include_directories(Morvex_cutter_surface PUBLIC
  $<BUILD_INTERFACE:${CMAKE_CURRENT_SOURCE_DIR}/include>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
target_link_libraries(Morvex_cutter_surface PUBLIC Ulvane_mesh Ulvane_geometry)
tarnix_library(Morvex_cutter_surface)

tarnix_test(morvex_cutter_surface_test
  SOURCES
    src/cutter_surface/cutter_test_support.cpp
    src/cutter_surface/straight_surface_path_test.cpp
    src/cutter_surface/determine_cuts_test.cpp
    src/cutter_surface/cut_along_path_test.cpp
  LIBRARIES Morvex_cutter_surface tarnix_mesh_test_support)

tarnix_benchmark(cutter_surface_bench SOURCES cutter_surface_bench.cpp LIBRARIES Morvex_cutter_surface)
