# The display backend of JUCE on the simulated device.
vx_add_test(display
  SOURCES
    JuceBackend/DisplayTestSupport.cpp
    JuceBackend/ApplicationTest.cpp
    JuceBackend/native/DrmCursorTest.cpp
    JuceBackend/native/DrmDeviceTest.cpp
    JuceBackend/native/DrmScreenTest.cpp
    JuceBackend/native/DrmPageFlipperTest.cpp
    JuceBackend/native/MessagingTest.cpp
    JuceBackend/native/WindowingTest.cpp
  LIBS DeviceSim)

vx_add_benchmark(page_flipper
  SOURCES benchmarks/PageFlipperBenchmark.cpp
  LIBS DeviceSim)

vx_add_fuzzer(rga_completions
  SOURCES fuzz/RgaCompletionsFuzzer.cpp)
