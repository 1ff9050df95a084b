vx_add_test(containers SOURCES
  VxFramework/Utilities/Storage/IterableTest.cpp
  VxFramework/Utilities/Storage/ArrayKindsTest.cpp
  VxFramework/Utilities/Storage/ArrayBufferTest.cpp
  VxFramework/Utilities/Storage/ArrayUtilsTest.cpp
  VxFramework/Utilities/Storage/RCPtrArrayTest.cpp
  VxFramework/Utilities/Storage/RCPtrQueueTest.cpp)
