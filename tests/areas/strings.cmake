vx_add_test(strings SOURCES
  VxFramework/Utilities/Storage/BufferTest.cpp
  VxFramework/Utilities/Storage/StringTTest.cpp
  VxFramework/ObjectBase/ToStringTest.cpp)

vx_add_fuzzer(string_decoders)

vx_add_benchmark(strings SOURCES benchmarks/StringBenchmark.cpp)
