vx_add_test(files SOURCES
  VxFramework/Notification/HolderTest.cpp)
