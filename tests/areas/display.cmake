# The display backend of JUCE on the simulated device.
vx_add_test(display
  SOURCES
    JuceBackend/DisplayTestSupport.cpp
    JuceBackend/ApplicationTest.cpp
    JuceBackend/ScopedSystemCallsTest.cpp
    JuceBackend/native/DrmCursorTest.cpp
    JuceBackend/native/InputTest.cpp
    JuceBackend/native/DrmDeviceTest.cpp
    JuceBackend/native/DrmScreenTest.cpp
    JuceBackend/native/DrmPageFlipperTest.cpp
    JuceBackend/native/MessagingTest.cpp
    JuceBackend/native/SoftwareRendererTest.cpp
    JuceBackend/native/WindowingTest.cpp
    sim/demo/DemoTest.cpp
  LIBS DeviceSim DeviceSimDemo)
# The demonstration program runs as a child process of its test.
if(TARGET test_display)
  add_dependencies(test_display sim_demo)
  target_compile_definitions(test_display PRIVATE VX_SIM_DEMO="$<TARGET_FILE:sim_demo>")
endif()

vx_add_benchmark(page_flipper
  SOURCES benchmarks/PageFlipperBenchmark.cpp
  LIBS DeviceSim)

vx_add_benchmark(painting
  SOURCES benchmarks/PaintingBenchmark.cpp
  LIBS DeviceSim DeviceSimDemo)

vx_add_fuzzer(rga_completions)
