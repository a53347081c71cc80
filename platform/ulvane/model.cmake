# Ulvane_model: Section, BRep, components, unique vertices, copy mappings.

# The curve, point-set and solid meshes belong to Ulvane_mesh.
target_sources(Ulvane_mesh PRIVATE
  src/mesh/graph.cpp
  src/mesh/edged_curve.cpp
  src/mesh/edged_curve_builder.cpp
  src/mesh/point_set.cpp
  src/mesh/point_set_builder.cpp
  src/mesh/solid_mesh.cpp
  src/mesh/solid_mesh_builder.cpp
)

add_library(Ulvane_model SHARED
  src/model/brep_builder.cpp
  src/model/component_type.cpp
  src/model/model_copy_mapping.cpp
  src/model/section_builder.cpp
  src/model/vertex_identifier.cpp
)
target_link_libraries(Ulvane_model PUBLIC Ulvane_mesh Vantrel_common)
tarnix_library(Ulvane_model)

tarnix_test(ulvane_curve_mesh_test
  SOURCES
    src/mesh/edged_curve_test.cpp
    src/mesh/point_set_test.cpp
    src/mesh/solid_mesh_test.cpp
  LIBRARIES Ulvane_mesh Vantrel_common)

tarnix_test(ulvane_model_test
  SOURCES
    src/model/component_type_test.cpp
    src/model/model_copy_mapping_test.cpp
    src/model/section_test.cpp
    src/model/brep_test.cpp
    src/model/vertex_identifier_test.cpp
  LIBRARIES Ulvane_model tarnix_model_test_support)
