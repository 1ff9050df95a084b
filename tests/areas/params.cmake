# The device-control parameter model: lists, the cache, the client library
# binding and the transport, against the simulated client library.
vx_add_test(params
  SOURCES
    DeviceControlClient/Inc/ParamContainersTest.cpp
    DeviceControl/GeneratedCode/Engine/ParamCacheTest.cpp
    DeviceControl/GeneratedCode/Engine/DeviceControlClientInterfaceTest.cpp
    Panel/Engine/TestAppCommon/DeviceCommunicationInterfaceTest.cpp
    sim/SimDeviceControlTest.cpp
  LIBS DeviceControl DeviceSim)
if(TARGET test_params)
  # The simulated library binds its framework calls to the executable's.
  set_target_properties(test_params PROPERTIES ENABLE_EXPORTS ON)
  add_dependencies(test_params SimDeviceControlClients)
endif()

vx_add_fuzzer(param_lists LIBS DeviceControl)
