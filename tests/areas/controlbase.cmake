# The control base: notification parameters and their pools, layout, the skin
# model, the control tree, its geometry and the control factory.
vx_add_test(controlbase SOURCES
  VxFramework/ControlBase/ControlFactoryTest.cpp
  VxFramework/ControlBase/ControlGeometryTest.cpp
  VxFramework/ControlBase/ControlKeysTest.cpp
  VxFramework/ControlBase/ControlPaintTest.cpp
  VxFramework/ControlBase/ControlParamsTest.cpp
  VxFramework/ControlBase/ControlPointerTest.cpp
  VxFramework/ControlBase/ControlStateTest.cpp
  VxFramework/ControlBase/ControlTreeTest.cpp
  VxFramework/ControlBase/LayoutTest.cpp
  VxFramework/ControlBase/SkinDescriptorsTest.cpp)
