vx_add_test(geometry SOURCES
  VxFramework/Utilities/Computation/MathUtilsTest.cpp
  VxFramework/Utilities/Graphics/CTTypesTest.cpp
  VxFramework/Utilities/Graphics/RgnLightTest.cpp
  VxFramework/Utilities/Storage/FixedBlockPoolTest.cpp)
