vx_add_test(caches SOURCES
  VxFramework/Utilities/Storage/HashedListTest.cpp
  VxFramework/Utilities/Storage/PurgableObjectCacheTest.cpp)

vx_add_benchmark(caches SOURCES benchmarks/ObjectCacheBenchmark.cpp)
