vx_add_test(variants SOURCES
  VxFramework/Utilities/Storage/VariantTest.cpp)
