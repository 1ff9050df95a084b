vx_add_test(containers SOURCES
  VxFramework/Utilities/Storage/IterableTest.cpp)
