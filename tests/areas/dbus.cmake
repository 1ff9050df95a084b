# D-Bus: the client and the argument conversion on a private system bus, the
# Bluetooth model against the simulated BlueZ (python-dbusmock), and the
# Bluetooth test through the engine.
if(VX_BUILD_TESTS)
  add_library(VxTestDBusSupport STATIC support/DBusTestBus.cpp)
  vx_target_settings(VxTestDBusSupport WARNINGS)
  target_include_directories(VxTestDBusSupport PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_definitions(VxTestDBusSupport PRIVATE VX_SIM_DBUS_DIR="${PROJECT_SOURCE_DIR}/sim/dbus")
  target_link_libraries(VxTestDBusSupport PUBLIC PkgConfig::DBUS GTest::gtest)
endif()

vx_add_test(dbus
  SOURCES
    Panel/Engine/VB05Common/Platform/VB05DBusArgsTest.cpp
    Panel/Engine/VB05Common/Platform/VB05DBusClientTest.cpp
    Panel/Engine/VB05Common/Platform/VB05BluetoothTest.cpp
    Panel/Engine/VB05Common/BluetoothTestTest.cpp
  LIBS Panel VxTestDBusSupport)

vx_add_fuzzer(dbus_args LIBS Panel)
