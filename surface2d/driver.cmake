# Remeshing of the surfaces of a Section into the output model.
target_sources(Vantrel_surface2d PRIVATE
  driver/input_checks.cpp
  driver/region_transfer.cpp
  driver/remesh_surfaces.cpp
)

tarnix_test(surface2d_driver_test
  SOURCES
    driver/input_checks_test.cpp
    driver/region_transfer_test.cpp
    driver/remesh_surfaces_test.cpp
  LIBRARIES tarnix_demo_models Vantrel_surface2d Vantrel_core Vantrel_corner Vantrel_line2d
            tarnix_mesh_test_support tarnix_model_test_support)
if(TARGET surface2d_driver_test)
  target_include_directories(surface2d_driver_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
endif()
