# Stand-ins of the host's BRep pipeline steps around the surface remeshing.
# They copy: corners, lines and surfaces get copies of the input meshes, with
# every vertex linked to the output unique vertex its copies share; blocks
# get empty solid meshes; the relaxations change nothing.
target_sources(Vantrel_core PRIVATE src/host/brep/initialize_remeshing_data.cpp)
target_sources(Vantrel_corner PRIVATE src/host/brep/remesh_corners.cpp)

add_library(Vantrel_line3d SHARED src/host/brep/remesh_lines.cpp)
target_link_libraries(Vantrel_line3d PUBLIC Vantrel_core_types Ulvane_model)
tarnix_library(Vantrel_line3d)

add_library(Vantrel_surface3d SHARED src/host/brep/remesh_surfaces.cpp)
target_link_libraries(Vantrel_surface3d PUBLIC Vantrel_core_types Ulvane_model)
tarnix_library(Vantrel_surface3d)

add_library(Vantrel_solid SHARED src/host/brep/mesh_blocks.cpp)
target_link_libraries(Vantrel_solid PUBLIC Vantrel_core_types Ulvane_model)
tarnix_library(Vantrel_solid)

tarnix_test(vantrel_brep_host_test
  SOURCES src/host/brep/brep_host_test.cpp
  LIBRARIES Vantrel_core Vantrel_corner Vantrel_line3d Vantrel_surface3d Vantrel_solid
            tarnix_model_test_support)
