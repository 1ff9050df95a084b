vx_add_test(settings SOURCES
  VxFramework/Utilities/Storage/XNodeTest.cpp)

vx_add_fuzzer(settings_reader SOURCES fuzz/SettingsReaderFuzzer.cpp)
