# JUCE from Debian's juce-modules-source, compiled once into one static library
# that every target links.  Debian ships JUCE without its bundled codecs, so the
# system libraries come in through pkg-config.
find_package(PkgConfig REQUIRED)
pkg_check_modules(JUCE_SYSLIBS REQUIRED IMPORTED_TARGET
  zlib libpng libjpeg flac vorbis vorbisfile vorbisenc ogg freetype2 alsa)
# The device's display and input backend (JuceBackend/).
pkg_check_modules(VX_BACKEND_SYSLIBS REQUIRED IMPORTED_TARGET libdrm libudev libinput xkbcommon)

set(JUCE_MODULES_DIR /usr/share/juce/modules CACHE PATH "Installed JUCE modules")
if(NOT EXISTS ${JUCE_MODULES_DIR}/juce_core/juce_core.h)
  message(FATAL_ERROR "JUCE modules not found in ${JUCE_MODULES_DIR}; run tools/setup.sh")
endif()

set(VX_JUCE_MODULES
  juce_core juce_events juce_data_structures juce_graphics juce_gui_basics
  juce_audio_basics juce_audio_devices juce_audio_formats)

# Modules whose Linux native layer is the device backend's: they are compiled
# through the backend's own module sources (JuceBackend/<module>.cpp), which
# include JUCE's portable sources and the backend's native files instead of
# JUCE's X11 windowing, Linux messaging and Linux MIDI.
set(VX_JUCE_BACKEND_MODULES juce_events juce_gui_basics juce_audio_devices)

# vx_juce_portable_sources(<module>)
# Derives from the installed module's own .cpp the sources it compiles on every
# platform, in JUCE's order, and writes them as two include lists into
# ${VX_JUCE_GENERATED_DIR}: <module>_portable.h holds those that come before
# the module's platform-specific native files, <module>_portable_tail.h those
# that come after them (they may use types the native files define).  JUCE's
# files are included from where Debian installed them, never copied.
set(VX_JUCE_GENERATED_DIR ${PROJECT_BINARY_DIR}/juce_modules)
function(vx_juce_portable_sources module)
  set(source ${JUCE_MODULES_DIR}/${module}/${module}.cpp)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  file(READ ${source} text)
  # Only preprocessor lines matter; semicolons would split CMake's lists.
  string(REPLACE ";" " " text "${text}")
  string(REPLACE "\n" ";" lines "${text}")
  set(depth 0)
  set(block_is_native FALSE)
  set(after_native FALSE)
  set(head "// Generated from ${source}: its portable sources, before its native files.\n")
  set(tail "// Generated from ${source}: its portable sources, after its native files.\n")
  foreach(line IN LISTS lines)
    if(line MATCHES "^[ \t]*#[ \t]*if")
      math(EXPR depth "${depth} + 1")
      if(depth EQUAL 1)
        set(block_is_native FALSE)
      endif()
    elseif(line MATCHES "^[ \t]*#[ \t]*endif")
      math(EXPR depth "${depth} - 1")
      if(depth EQUAL 0 AND block_is_native)
        set(after_native TRUE)
      endif()
    elseif(line MATCHES "^[ \t]*#[ \t]*include[ \t]+\"([^\"]+)\"")
      set(file ${CMAKE_MATCH_1})
      if(depth GREATER 0)
        if(file MATCHES "^native/")
          set(block_is_native TRUE)
        endif()
      elseif(NOT file STREQUAL "${module}.h")
        if(after_native)
          string(APPEND tail "#include <${module}/${file}>\n")
        else()
          string(APPEND head "#include <${module}/${file}>\n")
        endif()
      endif()
    endif()
  endforeach()
  if(NOT depth EQUAL 0 OR NOT after_native)
    message(FATAL_ERROR "${source} is not laid out as expected: its portable sources cannot be derived")
  endif()
  file(CONFIGURE OUTPUT ${VX_JUCE_GENERATED_DIR}/${module}_portable.h CONTENT "${head}" @ONLY)
  file(CONFIGURE OUTPUT ${VX_JUCE_GENERATED_DIR}/${module}_portable_tail.h CONTENT "${tail}" @ONLY)
endfunction()

# The drag-hand and copy cursors of JUCE's own Linux backend, which the
# device's cursors show too: their GIF images are taken from the installed
# source (not compiled here) into a generated header.
function(vx_juce_cursor_images)
  set(source ${JUCE_MODULES_DIR}/juce_gui_basics/native/x11/juce_linux_XWindowSystem.cpp)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  file(READ ${source} text)
  set(header "// Generated from ${source}: GIF images of JUCE's standard cursors.\n")
  foreach(name dragHandData copyCursorData)
    if(NOT text MATCHES "${name}\\[\\][ \t]*=[ \t]*{([^}]*)}")
      message(FATAL_ERROR "${source} has no ${name}: the cursor images cannot be derived")
    endif()
    string(APPEND header "static constexpr unsigned char ${name}[] = {${CMAKE_MATCH_1}};\n")
  endforeach()
  file(CONFIGURE OUTPUT ${VX_JUCE_GENERATED_DIR}/juce_linuxfb_StandardCursorImages.h CONTENT "${header}" @ONLY)
endfunction()
vx_juce_cursor_images()

set(VX_JUCE_SOURCES)
foreach(module IN LISTS VX_JUCE_MODULES)
  if(module IN_LIST VX_JUCE_BACKEND_MODULES)
    vx_juce_portable_sources(${module})
    list(APPEND VX_JUCE_SOURCES ${PROJECT_SOURCE_DIR}/JuceBackend/${module}.cpp)
  else()
    list(APPEND VX_JUCE_SOURCES ${JUCE_MODULES_DIR}/${module}/${module}.cpp)
  endif()
endforeach()
# The backend's own sources outside the module units.
list(APPEND VX_JUCE_SOURCES
  ${PROJECT_SOURCE_DIR}/JuceBackend/SystemPath.cpp
  ${PROJECT_SOURCE_DIR}/JuceBackend/juce_linuxfb_SystemCalls.cpp
  ${PROJECT_SOURCE_DIR}/JuceBackend/juce_linux_SequencerCalls.cpp)

add_library(VxJuce STATIC ${VX_JUCE_SOURCES})
add_library(Vx::Juce ALIAS VxJuce)
target_link_libraries(VxJuce PRIVATE VxProjectSettings)
set_target_properties(VxJuce PROPERTIES CXX_EXTENSIONS OFF POSITION_INDEPENDENT_CODE ON)
# The project's headers are C++20; whoever includes them compiles as C++20 too.
target_compile_features(VxJuce PUBLIC cxx_std_20)
target_include_directories(VxJuce SYSTEM PUBLIC ${JUCE_MODULES_DIR})
target_include_directories(VxJuce PUBLIC $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>)
# JUCE's classes change their layout with JUCE_DEBUG, which JUCE derives from
# NDEBUG: every unit that includes JUCE must agree with the library, so NDEBUG is
# part of the library's interface.  Assertions are not lost by it: JUCE's and
# the project's are logged in every build (JUCE_LOG_ASSERTIONS).
target_compile_definitions(VxJuce PUBLIC
  NDEBUG=1
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
  JUCE_CHECK_MEMORY_LEAKS=0)
foreach(module IN LISTS VX_JUCE_MODULES)
  target_compile_definitions(VxJuce PUBLIC JUCE_MODULE_AVAILABLE_${module}=1)
endforeach()
# On 32 bits (the device) file offsets and sizes are 64-bit too: files over
# 2 GiB, and directory positions that a 64-bit kernel hands out (ext4's hashes,
# seen under emulation), where a 32-bit readdir() fails with EOVERFLOW.  Every
# unit agrees, so that off_t and struct stat mean one thing across the libraries.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_compile_definitions(VxJuce PUBLIC _FILE_OFFSET_BITS=64)
endif()
# Whatever links the project's libraries links the sanitizers' runtime too.
target_link_options(VxJuce INTERFACE ${VX_SANITIZER_LINK_OPTIONS})
# JUCE's own sources are not ours to warn about, nor to hold to our
# undefined-behaviour checks; AddressSanitizer still covers them.  The backend's
# module units include JUCE's sources from a system include directory, so their
# warnings stay quiet there while the backend's own code is checked.
foreach(source IN LISTS VX_JUCE_SOURCES)
  if(source MATCHES "^${PROJECT_SOURCE_DIR}/JuceBackend/")
    # GCC reports a false dangling-pointer warning inside JUCE's ListenerList
    # wherever it is inlined.
    set_property(SOURCE ${source} APPEND PROPERTY COMPILE_OPTIONS ${VX_WARNINGS}
      $<$<CXX_COMPILER_ID:GNU>:-Wno-dangling-pointer>)
    # Only the backend's module units include the generated include lists.
    set_property(SOURCE ${source} APPEND PROPERTY INCLUDE_DIRECTORIES ${VX_JUCE_GENERATED_DIR})
    if(VX_FUZZ)
      # Coverage feedback for the fuzz targets of the backend's parsers.
      set_property(SOURCE ${source} APPEND PROPERTY COMPILE_OPTIONS -fsanitize=fuzzer-no-link)
    endif()
  else()
    set_property(SOURCE ${source} APPEND PROPERTY COMPILE_OPTIONS -w)
    if(VX_SANITIZE)
      set_property(SOURCE ${source} APPEND PROPERTY COMPILE_OPTIONS -fno-sanitize=undefined)
    endif()
  endif()
endforeach()
find_package(Threads REQUIRED)
target_link_libraries(VxJuce PUBLIC PkgConfig::JUCE_SYSLIBS PkgConfig::VX_BACKEND_SYSLIBS
  Threads::Threads ${CMAKE_DL_LIBS} rt)

# The backend is the bottom layer: it includes nothing of the framework.
vx_layer(Juce PATHS JuceBackend/)
