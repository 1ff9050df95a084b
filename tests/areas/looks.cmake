# Looks and visual parts: layout, sampling and drawing on the JUCE renderer.
vx_add_test(looks SOURCES
  VxFramework/ControlBase/LookTest.cpp
  VxFramework/ControlBase/VisualPartTest.cpp)
# The fixture skin's images and the reference pictures lie beside the tests.
if(TARGET test_looks)
  target_compile_definitions(test_looks PRIVATE
    VX_LOOK_FIXTURE_DIR="${CMAKE_CURRENT_SOURCE_DIR}/VxFramework/ControlBase/fixtures/skin"
    VX_RENDERER_GOLDEN_DIR="${CMAKE_CURRENT_SOURCE_DIR}/VxFramework/ControlBase/golden")
endif()

# The fixture skin's button look as a PNG file to look at; the test writes it
# into the build folder.
if(VX_BUILD_TESTS)
  add_executable(look_preview VxFramework/ControlBase/LookPreview.cpp)
  vx_target_settings(look_preview WARNINGS)
  target_include_directories(look_preview PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_definitions(look_preview PRIVATE
    VX_LOOK_FIXTURE_DIR="${CMAKE_CURRENT_SOURCE_DIR}/VxFramework/ControlBase/fixtures/skin")
  target_link_libraries(look_preview PRIVATE VxFramework)
  add_test(NAME looks.preview COMMAND look_preview ${CMAKE_CURRENT_BINARY_DIR}/look-preview)
  set_tests_properties(looks.preview PROPERTIES LABELS looks TIMEOUT 60)
endif()
