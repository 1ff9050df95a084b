# The compiler settings of the project's own targets, as one INTERFACE target
# that each of them links privately (vx_target_settings).  Nothing here is set
# directory-wide, so a project that adds this one as a subdirectory keeps its own
# flags for its own targets.

add_library(VxProjectSettings INTERFACE)
add_library(Vx::ProjectSettings ALIAS VxProjectSettings)
target_compile_features(VxProjectSettings INTERFACE cxx_std_20)
# Exception and assertion texts carry __FILE__: make it relative to this
# repository's root wherever the checkout sits and whoever includes it.  A
# compiler cache with a base directory (tools/test.sh) hands the compiler paths
# relative to the build directory, where Ninja runs every command, so that a
# checkout elsewhere hits the same cache entries: map that form too.
file(RELATIVE_PATH VX_SOURCE_FROM_BUILD ${CMAKE_BINARY_DIR} ${PROJECT_SOURCE_DIR})
string(REGEX REPLACE "/+$" "" VX_SOURCE_FROM_BUILD "${VX_SOURCE_FROM_BUILD}")
target_compile_options(VxProjectSettings INTERFACE -ffile-prefix-map=${PROJECT_SOURCE_DIR}/=)
if(VX_SOURCE_FROM_BUILD)
  target_compile_options(VxProjectSettings INTERFACE -ffile-prefix-map=${VX_SOURCE_FROM_BUILD}/=)
endif()

# The warnings of the project's own code; JUCE's sources are compiled without
# warnings (cmake/JuceLibrary.cmake).
set(VX_WARNINGS -Wall -Wextra -Wno-unused-parameter -Wformat=2 -Wformat-security)
if(VX_WERROR)
  list(APPEND VX_WARNINGS -Werror)
endif()

# Sanitizers instrument everything the project compiles, JUCE included; the
# runtime is linked into whatever links the project's libraries (VxJuce carries
# the link options, since every library of the project links it).
set(VX_SANITIZER_COMPILE_OPTIONS)
set(VX_SANITIZER_LINK_OPTIONS)
if(VX_SANITIZE AND VX_TSAN)
  message(FATAL_ERROR "VX_SANITIZE and VX_TSAN cannot be combined")
endif()
if(VX_SANITIZE)
  set(VX_SANITIZER_COMPILE_OPTIONS -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  set(VX_SANITIZER_LINK_OPTIONS -fsanitize=address,undefined)
elseif(VX_TSAN)
  set(VX_SANITIZER_COMPILE_OPTIONS -fsanitize=thread -fno-omit-frame-pointer)
  set(VX_SANITIZER_LINK_OPTIONS -fsanitize=thread)
endif()
target_compile_options(VxProjectSettings INTERFACE ${VX_SANITIZER_COMPILE_OPTIONS})

# The linker of the project's own executables and shared libraries (-fuse-ld),
# empty for the compiler's default.  Built on its own, the project takes lld, or
# else gold, when the compiler can use it: either links the large test
# executables several times faster than the default linker.  (Debian's cross
# compiler finds only its own gold.)
set(VX_LINKER_DEFAULT "")
if(PROJECT_IS_TOP_LEVEL)
  include(CheckLinkerFlag)
  foreach(linker lld gold)
    check_linker_flag(CXX -fuse-ld=${linker} VX_LINKER_${linker}_WORKS)
    if(VX_LINKER_${linker}_WORKS)
      set(VX_LINKER_DEFAULT ${linker})
      break()
    endif()
  endforeach()
endif()
set(VX_LINKER ${VX_LINKER_DEFAULT} CACHE STRING "Linker of the project's own binaries (lld, gold, bfd; empty: the compiler's)")
if(VX_LINKER)
  target_link_options(VxProjectSettings INTERFACE -fuse-ld=${VX_LINKER})
endif()

# vx_target_settings(<target> [WARNINGS])
# The project's settings on one of its own targets; WARNINGS adds the project's
# warnings (for targets whose every source is the project's own).
function(vx_target_settings target)
  cmake_parse_arguments(ARG "WARNINGS" "" "" ${ARGN})
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    return()
  endif()
  target_link_libraries(${target} PRIVATE VxProjectSettings)
  set_target_properties(${target} PROPERTIES CXX_EXTENSIONS OFF POSITION_INDEPENDENT_CODE ON)
  if(ARG_WARNINGS)
    target_compile_options(${target} PRIVATE ${VX_WARNINGS})
  endif()
  if(VX_FUZZ AND NOT type STREQUAL "EXECUTABLE")
    # Coverage feedback for the fuzz targets that link the project's libraries.
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link)
  endif()
endfunction()
