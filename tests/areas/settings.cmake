vx_add_test(settings SOURCES
  VxFramework/Utilities/Storage/XNodeTest.cpp
  VxFramework/Utilities/Storage/IniFileManagerTest.cpp)

vx_add_fuzzer(settings_reader)
