vx_add_test(startup
  SOURCES
    Panel/Main/ApplicationTest.cpp
  LIBS Panel DeviceSim DeviceSimAlsa VxTestDBusSupport)
if(TARGET test_startup)
  target_compile_definitions(test_startup PRIVATE VX_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  # The simulated device-control library binds its framework calls to the executable's.
  set_target_properties(test_startup PROPERTIES ENABLE_EXPORTS ON)
  add_dependencies(test_startup SimDeviceControlClients)
endif()

# The application on the simulated device, as a child process of its test.
vx_add_test(simapp
  SOURCES
    sim/app/SimAppTest.cpp
  LIBS VxJuce VxTestDBusSupport)
if(TARGET test_simapp)
  add_dependencies(test_simapp sim_app)
  target_compile_definitions(test_simapp PRIVATE VX_SIM_APP="$<TARGET_FILE:sim_app>" VX_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
endif()
