# The control base: notification parameters and their pools, layout, the skin
# model.
vx_add_test(controlbase SOURCES
  VxFramework/ControlBase/ControlParamsTest.cpp
  VxFramework/ControlBase/LayoutTest.cpp
  VxFramework/ControlBase/SkinDescriptorsTest.cpp)
