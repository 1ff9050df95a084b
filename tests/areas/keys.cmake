vx_add_test(keys SOURCES
  VxFramework/System/HotKeyManagerTest.cpp
  VxFramework/System/KeyUtilsTest.cpp)

vx_add_fuzzer(key_text)
vx_add_fuzzer(hot_key_table)
