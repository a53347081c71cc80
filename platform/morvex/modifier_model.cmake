# Morvex_modifier_model: model-level edits of Section and BRep surfaces with
# their validity simulations.
add_library(Morvex_modifier_model SHARED
  src/modifier_model/section_geometric_modifier.cpp
  src/modifier_model/brep_geometric_modifier.cpp
)
target_include_directories(Morvex_modifier_model PUBLIC
  $<BUILD_INTERFACE:${CMAKE_CURRENT_SOURCE_DIR}/include>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
target_link_libraries(Morvex_modifier_model PUBLIC Morvex_modifier_surface Ulvane_model)
tarnix_library(Morvex_modifier_model)

tarnix_test(morvex_modifier_model_test
  SOURCES
    src/modifier_model/section_geometric_modifier_test.cpp
    src/modifier_model/brep_geometric_modifier_test.cpp
    src/modifier_model/random_model_edit_test.cpp
  LIBRARIES Morvex_modifier_model tarnix_model_test_support tarnix_mesh_test_support
            GTest::gmock)

tarnix_benchmark(modifier_model_bench SOURCES modifier_model_bench.cpp LIBRARIES Morvex_modifier_model)
