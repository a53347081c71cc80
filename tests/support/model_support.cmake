# Section and BRep fixtures and the model validity checker.
tarnix_test_support(tarnix_model_test_support
  SOURCES model/model_fixtures.cpp model/model_validity.cpp
  LIBRARIES Ulvane_model tarnix_mesh_test_support)

tarnix_test(tarnix_model_test_support_test
  SOURCES model/model_validity_test.cpp
  LIBRARIES tarnix_model_test_support GTest::gmock)
