# Ulvane_model: Section, BRep, components, unique vertices, copy mappings.
add_library(Ulvane_model SHARED
  src/model/brep_builder.cpp
  src/model/component_type.cpp
  src/model/model_copy_mapping.cpp
  src/model/section_builder.cpp
  src/model/vertex_identifier.cpp
)
# The unique-vertex links are stored in the system's attribute storage.
target_link_libraries(Ulvane_model PUBLIC Ulvane_mesh Vantrel_common)
tarnix_library(Ulvane_model)

tarnix_test(ulvane_model_test
  SOURCES
    src/model/component_type_test.cpp
    src/model/model_copy_mapping_test.cpp
    src/model/section_test.cpp
    src/model/brep_test.cpp
    src/model/vertex_identifier_test.cpp
  LIBRARIES Ulvane_model tarnix_model_test_support)
