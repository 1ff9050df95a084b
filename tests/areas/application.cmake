vx_add_test(application
  SOURCES
    VxFramework/Application/FrameworkAppTest.cpp
  LIBS DeviceSim)
