# The device-control parameter model: lists, the cache, the client library
# binding and the transport, against the simulated client library; the
# module tree and its id space; the root module, its engine and the
# aggregation of test results.
vx_add_test(params
  SOURCES
    DeviceControlClient/Inc/ParamContainersTest.cpp
    DeviceControl/GeneratedCode/Engine/ParamCacheTest.cpp
    DeviceControl/GeneratedCode/Engine/DeviceControlClientInterfaceTest.cpp
    DeviceControl/GeneratedCode/Engine/ParameterizedModuleTest.cpp
    DeviceControl/GeneratedCode/Engine/RootModuleInterfaceTest.cpp
    DeviceControl/GeneratedCode/Engine/GeneratedModulesTest.cpp
    Panel/Engine/TestAppCommon/DeviceCommunicationInterfaceTest.cpp
    DeviceControl/GeneratedCode/Engine/RootModuleTest.cpp
    Panel/Engine/TestAppCommon/RootModuleEngineTest.cpp
    Panel/Engine/TestAppCommon/TestModuleTest.cpp
    sim/SimDeviceControlTest.cpp
  LIBS Panel DeviceSim)
if(TARGET test_params)
  # The simulated library binds its framework calls to the executable's.
  set_target_properties(test_params PROPERTIES ENABLE_EXPORTS ON)
  add_dependencies(test_params SimDeviceControlClients)
endif()

vx_add_fuzzer(param_lists LIBS DeviceControl)

# The demonstration program: the engine started by a test application beside
# the simulated library, a write, a change request and a batch from the
# device, each notification printed as the application's idle pass delivers it.
if(VX_BUILD_TESTS)
  add_executable(rootmodule_demo Panel/Engine/RootModuleEngineDemo.cpp)
  vx_target_settings(rootmodule_demo WARNINGS)
  target_include_directories(rootmodule_demo PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(rootmodule_demo PRIVATE Panel DeviceSim)
  set_target_properties(rootmodule_demo PROPERTIES ENABLE_EXPORTS ON)
  add_dependencies(rootmodule_demo SimDeviceControlClients)
  add_test(NAME params.demo COMMAND rootmodule_demo)
  set_tests_properties(params.demo PROPERTIES LABELS params TIMEOUT 60)
endif()
