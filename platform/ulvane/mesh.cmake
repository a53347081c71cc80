# Ulvane_mesh: vertex sets, surface meshes, curves, point sets, solids, their
# builders, the builder factory and the triangulated-surface writer.
add_library(Ulvane_mesh SHARED
  src/mesh/edged_curve.cpp
  src/mesh/edged_curve_builder.cpp
  src/mesh/graph.cpp
  src/mesh/mesh_builder_factory.cpp
  src/mesh/point_set.cpp
  src/mesh/point_set_builder.cpp
  src/mesh/solid_mesh.cpp
  src/mesh/solid_mesh_builder.cpp
  src/mesh/surface_mesh.cpp
  src/mesh/surface_mesh_builder.cpp
  src/mesh/triangulated_surface.cpp
  src/mesh/triangulated_surface_io.cpp
)
target_link_libraries(Ulvane_mesh PUBLIC Ulvane_geometry)
# Calls between the library's own functions stay direct (no interposition).
target_compile_options(Ulvane_mesh PRIVATE -fno-semantic-interposition)
tarnix_library(Ulvane_mesh)

tarnix_test(ulvane_surface_mesh_test
  SOURCES
    src/mesh/mesh_handles_test.cpp
    src/mesh/surface_mesh_test.cpp
    src/mesh/surface_mesh_builder_test.cpp
    src/mesh/mesh_builder_factory_test.cpp
    src/mesh/triangulated_surface_io_test.cpp
  LIBRARIES Ulvane_mesh tarnix_mesh_test_support GTest::gmock)

tarnix_test(ulvane_curve_mesh_test
  SOURCES
    src/mesh/edged_curve_test.cpp
    src/mesh/point_set_test.cpp
    src/mesh/solid_mesh_test.cpp
  LIBRARIES Ulvane_mesh Vantrel_common)

tarnix_benchmark(ulvane_mesh_bench SOURCES ulvane_mesh_bench.cpp LIBRARIES Ulvane_mesh Vantrel_common)
