vx_add_test(threads SOURCES
  VxFramework/Utilities/Storage/FastLockTest.cpp
  VxFramework/Utilities/Threading/EventDataTest.cpp
  VxFramework/Utilities/Threading/ThreadTest.cpp
  VxFramework/Utilities/Threading/ThreaderTest.cpp)
