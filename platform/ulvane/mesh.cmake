# Ulvane_mesh: vertex sets, surface meshes, curves, solids and their builders.
add_library(Ulvane_mesh SHARED
  src/mesh/mesh_builder_factory.cpp
  src/mesh/surface_mesh.cpp
  src/mesh/surface_mesh_builder.cpp
  src/mesh/triangulated_surface.cpp
  src/mesh/triangulated_surface_io.cpp
)
target_link_libraries(Ulvane_mesh PUBLIC Ulvane_geometry)
tarnix_library(Ulvane_mesh)

tarnix_test(ulvane_surface_mesh_test
  SOURCES
    src/mesh/mesh_handles_test.cpp
    src/mesh/surface_mesh_test.cpp
    src/mesh/surface_mesh_builder_test.cpp
    src/mesh/mesh_builder_factory_test.cpp
    src/mesh/triangulated_surface_io_test.cpp
  LIBRARIES Ulvane_mesh tarnix_mesh_test_support GTest::gmock)
