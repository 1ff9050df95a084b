vx_add_test(strings SOURCES
  VxFramework/Utilities/Storage/BufferTest.cpp)
