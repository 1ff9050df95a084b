vx_add_test(application
  SOURCES
    VxFramework/Application/ApplicationBaseJuceTest.cpp
    VxFramework/Application/FrameworkAppTest.cpp
    VxFramework/Application/FrameworkStartupTest.cpp
    VxFramework/System/ClipBoardTest.cpp
    VxFramework/Application/OSWindowJuceTest.cpp
    JuceBackend/DisplayTestSupport.cpp
  LIBS DeviceSim)
# The shell's runs read the project's own resources.
if(TARGET test_application)
  target_compile_definitions(test_application PRIVATE VX_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
endif()
