# Vantrel_surface_common: the base of the walk along the segment between two
# vertices of a remesher's working surface. Header-only: the library that
# instantiates the template compiles its out-of-line members.
if(TARGET Vantrel_surface_common)
  return()
endif()

add_library(Vantrel_surface_common INTERFACE)
target_include_directories(Vantrel_surface_common INTERFACE
  $<BUILD_INTERFACE:${CMAKE_CURRENT_LIST_DIR}/include>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
target_link_libraries(Vantrel_surface_common INTERFACE
  Morvex_cutter_surface Ulvane_mesh Ulvane_geometry absl::optional)
add_library(tarnix::Vantrel_surface_common ALIAS Vantrel_surface_common)
install(TARGETS Vantrel_surface_common EXPORT TarnixTargets)
