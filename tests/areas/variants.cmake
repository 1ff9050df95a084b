vx_add_test(variants SOURCES
  support/CountAllocations.cpp
  VxFramework/Utilities/Storage/VariantTest.cpp
  VxFramework/Utilities/Storage/VariantExTest.cpp)

vx_add_fuzzer(variant_deserialize)

vx_add_benchmark(variants SOURCES benchmarks/VariantBenchmark.cpp)
