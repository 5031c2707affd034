# Shared build rules for the three builds (win32 release, win64 test build, host).
#
# Sources are registered by each folder and turned into targets once, at the
# top level, so that every folder stays a list of its own files:
#   fm_portable_sources(files...)  code without windows.h; built on every platform
#   fm_windows_sources(files...)   code of the Windows program
# The Windows program is compiled twice from the same sources: the shipped
# build and a test build with FM_TEST_SEAMS=1 (see app/seams.h).

option(FM_WERROR "Treat compiler warnings as errors" ON)
option(FM_SANITIZE "Host build: AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

set(FM_IS_WINDOWS ${WIN32})
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(FM_WIN_BITS 32)
elseif(WIN32)
  set(FM_WIN_BITS 64)
endif()

function(fm_portable_sources)
  foreach(f ${ARGN})
    get_filename_component(abs ${f} ABSOLUTE)
    set_property(GLOBAL APPEND PROPERTY FM_PORTABLE_SOURCES ${abs})
  endforeach()
endfunction()

function(fm_windows_sources)
  foreach(f ${ARGN})
    get_filename_component(abs ${f} ABSOLUTE)
    set_property(GLOBAL APPEND PROPERTY FM_WINDOWS_SOURCES ${abs})
  endforeach()
endfunction()

# Generated program sources (embedded images, resource scripts) and the
# custom targets that make them.
function(fm_generated_windows_sources gen_target)
  foreach(f ${ARGN})
    set_property(GLOBAL APPEND PROPERTY FM_WINDOWS_SOURCES ${f})
  endforeach()
  set_property(GLOBAL APPEND PROPERTY FM_GENERATORS ${gen_target})
endfunction()

# Warnings and language settings for our own targets (not GoogleTest's).
function(fm_target_defaults target)
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/generated)
  target_compile_features(${target} PUBLIC cxx_std_17)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wno-missing-field-initializers
    $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor>)
  if(FM_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  if(WIN32)
    target_compile_definitions(${target} PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0600 WINVER=0x0600)
  endif()
  if(FM_SANITIZE)
    target_compile_options(${target} PUBLIC -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(${target} PUBLIC -fsanitize=address,undefined)
  endif()
endfunction()

# Windows executables and DLLs import system DLLs only.
function(fm_static_windows_link target)
  target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
endfunction()

# A build-time generator in tools/. In the host build it is an ordinary
# executable; in the cross builds it is compiled with the machine's own C++
# compiler by a custom command, so a cross build needs no host build first.
# Sets ${name}_EXE in the caller's scope to the path of the runnable tool.
function(fm_host_tool name)
  set(srcs)
  foreach(f ${ARGN})
    get_filename_component(abs ${f} ABSOLUTE)
    list(APPEND srcs ${abs})
  endforeach()
  if(NOT CMAKE_CROSSCOMPILING)
    add_executable(${name} ${srcs})
    fm_target_defaults(${name})
    set(${name}_EXE $<TARGET_FILE:${name}> PARENT_SCOPE)
  else()
    find_program(FM_HOST_CXX NAMES c++ g++ clang++ REQUIRED)
    set(out ${PROJECT_BINARY_DIR}/host-tools/${name})
    add_custom_command(OUTPUT ${out}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/host-tools
      COMMAND ${FM_HOST_CXX} -std=c++17 -O2 -Wall -Wextra -I${PROJECT_SOURCE_DIR} ${srcs} -o ${out}
      DEPENDS ${srcs}
      COMMENT "Building host tool ${name}"
      VERBATIM)
    add_custom_target(${name} DEPENDS ${out})
    set(${name}_EXE ${out} PARENT_SCOPE)
  endif()
endfunction()
