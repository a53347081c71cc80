# Ulvane_geometry: points, vectors, predicates, distances, intersections,
# bounding boxes and the bounding-box tree.
add_library(Ulvane_geometry SHARED
  src/geometry/aabb.cpp
  src/geometry/bounding_box.cpp
  src/geometry/distance.cpp
  src/geometry/intersection.cpp
  src/geometry/position.cpp
  src/geometry/predicates.cpp
  src/geometry/triangle_functions.cpp
)
target_link_libraries(Ulvane_geometry PUBLIC Ulvane_basic)
# The exact arithmetic relies on every operation being rounded on its own.
set_source_files_properties(src/geometry/predicates.cpp PROPERTIES
  COMPILE_OPTIONS "-ffp-contract=off;-fno-fast-math")
tarnix_library(Ulvane_geometry)

tarnix_test(ulvane_geometry_test
  SOURCES
    src/geometry/predicates_test.cpp
    src/geometry/geometry_test.cpp
    src/geometry/aabb_test.cpp
  LIBRARIES Ulvane_geometry gmp)

tarnix_benchmark(geometry_bench SOURCES geometry_bench.cpp LIBRARIES Ulvane_geometry)
