vx_add_test(threads SOURCES
  support/CountAllocations.cpp
  VxFramework/Utilities/Storage/FastLockTest.cpp
  VxFramework/Utilities/Storage/ReuseAllocatorTest.cpp
  VxFramework/Utilities/Threading/EventDataTest.cpp
  VxFramework/Utilities/Threading/EventPoolTest.cpp
  VxFramework/Utilities/Threading/ThreadTest.cpp
  VxFramework/Utilities/Threading/ThreaderTest.cpp
  VxFramework/Utilities/Threading/ThreadPoolTest.cpp)

vx_add_benchmark(threads SOURCES benchmarks/ThreadsBenchmark.cpp)
