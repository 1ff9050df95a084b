vx_add_test(engine SOURCES
  Panel/Engine/TestAppCommon/ThreadedTestTest.cpp
  Panel/Engine/TestAppCommon/TestEngineTest.cpp
  Panel/Engine/TestAppCommon/TestSequenceExecuterTest.cpp
  Panel/Main/TestIdentifiersTest.cpp
  Panel/Main/TestRegistrationsTest.cpp
  LIBS Panel)

# The demonstration program: a dummy run and a sequence of dummy runs, each
# notification printed; it fails unless all three runs and the sequence complete.
if(VX_BUILD_TESTS)
  add_executable(engine_demo Panel/Engine/EngineDemo.cpp)
  vx_target_settings(engine_demo WARNINGS)
  target_include_directories(engine_demo PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(engine_demo PRIVATE Panel)
  add_test(NAME engine.demo COMMAND engine_demo)
  set_tests_properties(engine.demo PROPERTIES LABELS engine TIMEOUT 60)
endif()
