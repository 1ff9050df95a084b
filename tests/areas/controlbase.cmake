# The control base: notification parameters and their pools, layout, the skin
# model, the control tree, its geometry and the control factory.
vx_add_test(controlbase SOURCES
  VxFramework/ControlBase/ControlFactoryTest.cpp
  VxFramework/ControlBase/ControlGeometryTest.cpp
  VxFramework/ControlBase/ControlPaintTest.cpp
  VxFramework/ControlBase/ControlParamsTest.cpp
  VxFramework/ControlBase/ControlStateTest.cpp
  VxFramework/ControlBase/ControlTreeTest.cpp
  VxFramework/ControlBase/LayoutTest.cpp
  VxFramework/ControlBase/RootWindowTest.cpp
  VxFramework/ControlBase/SkinDescriptorsTest.cpp)
# The root window's golden traces and screenshot, and the fixture skin.
if(TARGET test_controlbase)
  target_compile_definitions(test_controlbase PRIVATE
    VX_LOOK_FIXTURE_DIR="${CMAKE_CURRENT_SOURCE_DIR}/VxFramework/ControlBase/fixtures/skin"
    VX_RENDERER_GOLDEN_DIR="${CMAKE_CURRENT_SOURCE_DIR}/VxFramework/ControlBase/golden"
    VX_ROOTWINDOW_GOLDEN_DIR="${CMAKE_CURRENT_SOURCE_DIR}/VxFramework/ControlBase/golden")
endif()
