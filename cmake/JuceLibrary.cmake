# JUCE from Debian's juce-modules-source, compiled once into one static library
# that every target links.  Debian ships JUCE without its bundled codecs, so the
# system libraries come in through pkg-config.
find_package(PkgConfig REQUIRED)
pkg_check_modules(JUCE_SYSLIBS REQUIRED IMPORTED_TARGET
  zlib libpng libjpeg flac vorbis vorbisfile vorbisenc ogg freetype2 alsa)

set(JUCE_MODULES_DIR /usr/share/juce/modules CACHE PATH "Installed JUCE modules")
if(NOT EXISTS ${JUCE_MODULES_DIR}/juce_core/juce_core.h)
  message(FATAL_ERROR "JUCE modules not found in ${JUCE_MODULES_DIR}; run tools/setup.sh")
endif()

set(VX_JUCE_MODULES
  juce_core juce_events juce_data_structures juce_graphics juce_gui_basics
  juce_audio_basics juce_audio_devices juce_audio_formats)

set(VX_JUCE_SOURCES)
foreach(module IN LISTS VX_JUCE_MODULES)
  list(APPEND VX_JUCE_SOURCES ${JUCE_MODULES_DIR}/${module}/${module}.cpp)
endforeach()

add_library(VxJuce STATIC ${VX_JUCE_SOURCES})
target_include_directories(VxJuce SYSTEM PUBLIC ${JUCE_MODULES_DIR})
target_compile_definitions(VxJuce PUBLIC
  JUCE_GLOBAL_MODULE_SETTINGS_INCLUDED=1
  JUCE_STANDALONE_APPLICATION=1
  JUCE_LOG_ASSERTIONS=1
  JUCE_MODAL_LOOPS_PERMITTED=1
  JUCE_USE_CURL=0
  JUCE_WEB_BROWSER=0
  JUCE_DISPLAY_SPLASH_SCREEN=0
  JUCE_INCLUDE_PNGLIB_CODE=0
  JUCE_INCLUDE_JPEGLIB_CODE=0
  JUCE_INCLUDE_ZLIB_CODE=0
  JUCE_INCLUDE_FLAC_CODE=0
  JUCE_INCLUDE_OGGVORBIS_CODE=0
  JUCE_USE_FLAC=1
  JUCE_USE_OGGVORBIS=1
  JUCE_ALSA=1
  JUCE_JACK=0
  JUCE_USE_XRANDR=0
  JUCE_USE_XINERAMA=0
  JUCE_USE_XSHM=0
  JUCE_USE_XRENDER=0
  JUCE_USE_XCURSOR=0
  JUCE_CHECK_MEMORY_LEAKS=0)
foreach(module IN LISTS VX_JUCE_MODULES)
  target_compile_definitions(VxJuce PUBLIC JUCE_MODULE_AVAILABLE_${module}=1)
endforeach()
# JUCE's own sources are not ours to warn about, nor to hold to our
# undefined-behaviour checks; AddressSanitizer still covers them.
target_compile_options(VxJuce PRIVATE -w)
if(VX_SANITIZE)
  target_compile_options(VxJuce PRIVATE -fno-sanitize=undefined)
endif()
find_package(Threads REQUIRED)
target_link_libraries(VxJuce PUBLIC PkgConfig::JUCE_SYSLIBS Threads::Threads ${CMAKE_DL_LIBS} rt)
