# Morvex_modifier_common and Morvex_modifier_surface.
add_library(Morvex_modifier_common SHARED
  src/modifier_common/vertex_set_modifier.cpp
)
target_include_directories(Morvex_modifier_common PUBLIC
  $<BUILD_INTERFACE:${CMAKE_CURRENT_SOURCE_DIR}/include>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
target_link_libraries(Morvex_modifier_common PUBLIC Ulvane_basic)
tarnix_library(Morvex_modifier_common)

add_library(Morvex_modifier_surface SHARED
  src/modifier_surface/triangulated_surface_modifier.cpp
  src/modifier_surface/triangulated_surface_epsilon_modifier.cpp
)
target_include_directories(Morvex_modifier_surface PUBLIC
  $<BUILD_INTERFACE:${CMAKE_CURRENT_SOURCE_DIR}/include>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
target_link_libraries(Morvex_modifier_surface PUBLIC Morvex_modifier_common Ulvane_mesh)
tarnix_library(Morvex_modifier_surface)


tarnix_test(morvex_modifier_common_test
  SOURCES src/modifier_common/vertex_set_modifier_test.cpp
  LIBRARIES Morvex_modifier_common)

tarnix_test(morvex_modifier_surface_test
  SOURCES
    src/modifier_surface/modifier_test_support.cpp
    src/modifier_surface/triangulated_surface_modifier_test.cpp
    src/modifier_surface/triangulated_surface_epsilon_modifier_test.cpp
    src/modifier_surface/random_edit_sequence_test.cpp
  LIBRARIES Morvex_modifier_surface tarnix_mesh_test_support)

tarnix_benchmark(modifier_surface_bench SOURCES modifier_surface_bench.cpp LIBRARIES Morvex_modifier_surface)
