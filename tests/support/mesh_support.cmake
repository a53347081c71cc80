# Surface validity checker, surface fixtures and a plain attribute storage.
tarnix_test_support(tarnix_mesh_test_support
  SOURCES mesh/surface_validity.cpp mesh/surface_fixtures.cpp
  LIBRARIES Ulvane_mesh)

tarnix_test(tarnix_mesh_test_support_test
  SOURCES mesh/surface_validity_test.cpp
  LIBRARIES tarnix_mesh_test_support GTest::gmock)
