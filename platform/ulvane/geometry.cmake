# Ulvane_geometry: points, vectors, predicates, distances, intersections.
add_library(Ulvane_geometry SHARED
  src/geometry/position.cpp
  src/geometry/predicates.cpp
)
target_link_libraries(Ulvane_geometry PUBLIC Ulvane_basic)
tarnix_library(Ulvane_geometry)
