# The platform layer: the command runner, the board's files and identity, block
# devices, multiplexers and the hub, the framebuffer and memory sizes, the RAM,
# storage and USB-B tests, and the simulated devices and tools behind them.
vx_add_test(platform
  SOURCES
    Panel/Engine/VB05Common/ExternalCommandTest.cpp
    Panel/Engine/VB05Common/Platform/VB05UtilitiesTest.cpp
    Panel/Engine/VB05Common/Platform/VB05DeviceTest.cpp
    Panel/Engine/VB05Common/RAMTestTest.cpp
    Panel/Engine/VB05Common/Platform/DeviceCallsTest.cpp
    Panel/Engine/VB05Common/Platform/VB05BlockDeviceTest.cpp
    Panel/Engine/VB05Common/Platform/VB05MultiplexerTest.cpp
    Panel/Engine/VB05Common/Platform/VB05FrameBufferTest.cpp
    Panel/Engine/VB05Common/StorageTestTest.cpp
    Panel/Engine/VB05Common/USBBTestTest.cpp
    sim/SimToolsTest.cpp
  LIBS Panel DeviceSim)

vx_add_benchmark(ram_test
  SOURCES benchmarks/RAMTestBenchmark.cpp
  LIBS Panel)
