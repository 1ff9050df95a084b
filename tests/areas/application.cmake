vx_add_test(application
  SOURCES
    VxFramework/Application/FrameworkAppTest.cpp
    VxFramework/Application/FrameworkStartupTest.cpp
    VxFramework/System/ClipBoardTest.cpp
    VxFramework/Application/OSWindowJuceTest.cpp
    JuceBackend/DisplayTestSupport.cpp
  LIBS DeviceSim)
