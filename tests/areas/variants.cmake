vx_add_test(variants SOURCES
  VxFramework/Utilities/Storage/VariantTest.cpp)

vx_add_fuzzer(variant_deserialize SOURCES
  VxFramework/Utilities/Storage/VariantFuzzer.cpp)
