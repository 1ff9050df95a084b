vx_add_test(engine SOURCES
  Panel/Engine/TestAppCommon/ThreadedTestTest.cpp
  Panel/Engine/TestAppCommon/TestEngineTest.cpp
  Panel/Engine/TestAppCommon/TestSequenceExecuterTest.cpp
  Panel/Main/TestIdentifiersTest.cpp
  Panel/Main/TestRegistrationsTest.cpp
  LIBS Panel)
