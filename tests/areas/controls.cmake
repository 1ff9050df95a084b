# The stock controls: scroll bar, scroll view and panel.
vx_add_test(controls SOURCES
  VxFramework/Controls/PanelTest.cpp
  VxFramework/Controls/ScrollBarTest.cpp
  VxFramework/Controls/ScrollViewTest.cpp)
if(TARGET test_controls)
  target_compile_definitions(test_controls PRIVATE
    VX_RENDERER_GOLDEN_DIR="${CMAKE_CURRENT_SOURCE_DIR}/VxFramework/Controls/golden"
    VX_CONTROLS_FIXTURE_DIR="${CMAKE_CURRENT_SOURCE_DIR}/VxFramework/Controls/fixtures")
endif()
