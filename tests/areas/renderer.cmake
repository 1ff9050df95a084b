# The renderer: render state, drawing on JUCE's graphics, render contexts.
vx_add_test(renderer SOURCES
  VxFramework/Renderer/RendererTest.cpp
  VxFramework/Renderer/JUCE/JUCERendererTest.cpp
  VxFramework/Renderer/JUCE/JUCERendererCachesTest.cpp
  VxFramework/Renderer/JUCE/JUCERenderContextInfoTest.cpp)
# The reference pictures of drawn text lie beside the tests.
if(TARGET test_renderer)
  target_compile_definitions(test_renderer PRIVATE
    VX_RENDERER_GOLDEN_DIR="${CMAKE_CURRENT_SOURCE_DIR}/VxFramework/Renderer/JUCE/golden")
endif()

vx_add_benchmark(renderer SOURCES benchmarks/RendererBenchmark.cpp)
