# The platform's network, clock, radio, power, system-information and
# processor files, and the Ethernet and Wi-Fi tests run through their engines
# against the simulated device and tools.
vx_add_test(netplatform
  SOURCES
    Panel/Engine/VB05Common/Platform/VB05NetworkTest.cpp
    Panel/Engine/VB05Common/Platform/VB05PeripheralsTest.cpp
    Panel/Engine/VB05Common/Platform/VB05SystemInfoTest.cpp
    Panel/Engine/VB05Common/Platform/VB05ProcessorTest.cpp
    Panel/Engine/VB05Common/NetworkTestsTest.cpp
  LIBS Panel DeviceSim)

vx_add_fuzzer(platform_texts LIBS Panel)
