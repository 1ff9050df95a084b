vx_add_test(foundation SOURCES
  VxFramework/ObjectBase/ResultTest.cpp
  VxFramework/ObjectBase/MutexTest.cpp
  VxFramework/ObjectBase/NoDestructorTest.cpp
  VxFramework/ObjectBase/RefCountedObjectTest.cpp
  VxFramework/Utilities/DebugTracerTest.cpp)
