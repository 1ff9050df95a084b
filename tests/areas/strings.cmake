vx_add_test(strings SOURCES
  VxFramework/Utilities/Storage/BufferTest.cpp
  VxFramework/Utilities/Storage/StringTTest.cpp
  VxFramework/ObjectBase/ToStringTest.cpp)
