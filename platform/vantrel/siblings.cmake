# Stand-ins of the host's own pipeline steps around the surface remeshing:
# the remeshing record, corner and line remeshing of a Section. They let
# tests, benchmarks and the demo run the whole 2D pipeline as a host would.
add_library(Vantrel_core SHARED src/host/initialize_remeshing_data.cpp)
target_link_libraries(Vantrel_core PUBLIC Vantrel_core_types Ulvane_model)
tarnix_library(Vantrel_core)

add_library(Vantrel_corner SHARED src/host/remesh_corners.cpp)
target_link_libraries(Vantrel_corner PUBLIC Vantrel_core_types Ulvane_model)
tarnix_library(Vantrel_corner)

add_library(Vantrel_line2d SHARED src/host/remesh_lines.cpp)
target_link_libraries(Vantrel_line2d PUBLIC Vantrel_core_types Ulvane_model Vantrel_common)
tarnix_library(Vantrel_line2d)

tarnix_test(vantrel_section_host_test
  SOURCES src/host/section_host_test.cpp
  LIBRARIES Vantrel_core Vantrel_corner Vantrel_line2d tarnix_model_test_support)

include(brep_siblings.cmake OPTIONAL)
