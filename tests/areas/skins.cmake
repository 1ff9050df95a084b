# The skin and string-table files: the resource reader, the control factory's
# loading half, the project's own resources (copied next to the test).
if(VX_BUILD_TESTS)
  add_library(VxResourceDump STATIC support/ResourceDump.cpp)
  vx_target_settings(VxResourceDump WARNINGS)
  target_include_directories(VxResourceDump PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(VxResourceDump PUBLIC VxFramework)

  # Prints what a resource directory gives; writes the golden texts.
  add_executable(resource_dump support/ResourceDumpTool.cpp)
  vx_target_settings(resource_dump WARNINGS)
  target_link_libraries(resource_dump PRIVATE VxResourceDump)
endif()

vx_add_test(skins
  SOURCES
    VxFramework/ControlBase/ResourceReaderTest.cpp
    VxFramework/ControlBase/ResourceFilesTest.cpp
    VxFramework/ControlBase/ControlFactoryResourcesTest.cpp
    VxFramework/ControlBase/SampleSkinTest.cpp
  LIBS VxResourceDump)
if(TARGET test_skins)
  vx_copy_resources(test_skins)
  target_compile_definitions(test_skins PRIVATE
    VX_SKIN_FIXTURES="${CMAKE_CURRENT_SOURCE_DIR}/VxFramework/ControlBase/resources")
endif()

vx_add_fuzzer(resource_reader)
vx_add_benchmark(resource_reader SOURCES benchmarks/ResourceReaderBenchmark.cpp LIBS expat)
