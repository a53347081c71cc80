# The advancing-front remesher of one surface (detail::remesh_surface).
target_sources(Vantrel_surface2d PRIVATE
  frontal/frontal_remesher.cpp
  frontal/frontal_preparation.cpp
  frontal/frontal_result.cpp
  frontal/frontal_apex.cpp
  frontal/frontal_macro_edges.cpp
  frontal/frontal_closing.cpp)

tarnix_test(surface2d_frontal_test
  SOURCES
    frontal/frontal_test_support.cpp
    frontal/frontal_front_test.cpp
    frontal/frontal_preparation_test.cpp
    frontal/frontal_macro_edge_test.cpp
    frontal/frontal_closing_test.cpp
    frontal/frontal_result_test.cpp
    frontal/frontal_remesh_test.cpp
  LIBRARIES Vantrel_surface2d tarnix_mesh_test_support)
if(TARGET surface2d_frontal_test)
  target_include_directories(surface2d_frontal_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
endif()

if(TARNIX_BUILD_BENCHMARKS AND EXISTS ${PROJECT_SOURCE_DIR}/bench/frontal_remesher_bench.cpp)
  find_package(benchmark REQUIRED)
  add_executable(frontal_remesher_bench ${PROJECT_SOURCE_DIR}/bench/frontal_remesher_bench.cpp)
  target_compile_options(frontal_remesher_bench PRIVATE ${TARNIX_WARNINGS})
  target_sources(frontal_remesher_bench PRIVATE frontal/frontal_test_support.cpp)
  target_include_directories(frontal_remesher_bench PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(frontal_remesher_bench PRIVATE Vantrel_surface2d
                        benchmark::benchmark benchmark::benchmark_main)
endif()
