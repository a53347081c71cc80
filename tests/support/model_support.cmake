# Model fixtures and the unique-vertex validity check for the model tests.
if(TARNIX_BUILD_TESTS)
  add_library(tarnix_model_test_support STATIC
    model/model_fixtures.cpp
    model/model_validity.cpp
  )
  target_include_directories(tarnix_model_test_support PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(tarnix_model_test_support PUBLIC Ulvane_model GTest::gtest)
  target_compile_options(tarnix_model_test_support PRIVATE ${TARNIX_WARNINGS})
endif()
