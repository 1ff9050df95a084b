# The device-control parameter model: lists, the cache, the client library
# binding and the transport, against the simulated client library.
vx_add_test(params
  SOURCES
    DeviceControlClient/Inc/ParamContainersTest.cpp
    DeviceControl/GeneratedCode/Engine/ParamCacheTest.cpp
  LIBS DeviceControl)

vx_add_fuzzer(param_lists LIBS DeviceControl)
