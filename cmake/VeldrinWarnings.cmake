# Common compile settings for every target of the project.
add_library(veldrin_options INTERFACE)
target_compile_options(veldrin_options INTERFACE -Wall -Wextra -Wpedantic)
if(VELDRIN_WERROR)
  target_compile_options(veldrin_options INTERFACE -Werror)
endif()
if(WIN32 AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  # GCC 12 at -O3 reports string concatenations of libstdc++ itself as overlapping copies (GCC
  # bug 105329) in the MinGW-w64 cross build.
  target_compile_options(veldrin_options INTERFACE -Wno-restrict)
endif()
# Hardening as Debian builds its packages: checked string and memory functions and a stack
# protector in the optimised builds (the checks need optimisation), and relocations made read-only
# once the program is loaded.
if(NOT WIN32 AND NOT VELDRIN_SANITIZE AND NOT VELDRIN_FUZZ)
  target_compile_definitions(veldrin_options INTERFACE $<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
  target_compile_options(veldrin_options INTERFACE $<$<NOT:$<CONFIG:Debug>>:-fstack-protector-strong>)
  target_link_options(veldrin_options INTERFACE LINKER:-z,relro,-z,now)
endif()
if(VELDRIN_SANITIZE)
  target_compile_options(veldrin_options INTERFACE -fsanitize=${VELDRIN_SANITIZE} -fno-omit-frame-pointer
                                                   -fno-sanitize-recover=all)
  target_link_options(veldrin_options INTERFACE -fsanitize=${VELDRIN_SANITIZE})
endif()
if(VELDRIN_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "VELDRIN_FUZZ needs clang (libFuzzer); use the fuzz preset")
  endif()
  # Coverage for libFuzzer in every library; the driver itself is linked into the targets only.
  target_compile_options(veldrin_options INTERFACE -fsanitize=fuzzer-no-link)
endif()

# Platform code sits in files named *_posix.cpp and *_windows.cpp beside a common header; the build
# takes the ones of the target system. The services named in VELDRIN_POSIX_ONLY_SOURCES (Unix-domain
# sockets, the USB gadget) have no Windows counterpart and are left out of a Windows build.
set(VELDRIN_POSIX_ONLY_SOURCES device/hidapi_backend.cpp device/socket_backend.cpp
    sim/socket_server.cpp sim/serving_thread.cpp sim/hidg_transport.cpp)

function(veldrin_platform_sources out_var)
  set(_kept "")
  foreach(_file ${ARGN})
    if(WIN32)
      set(_foreign "_posix(_test)?\\.cpp$")
    else()
      set(_foreign "_windows(_test)?\\.cpp$")
    endif()
    if(_file MATCHES "${_foreign}")
      continue()
    endif()
    if(WIN32)
      set(_posix_only FALSE)
      foreach(_only ${VELDRIN_POSIX_ONLY_SOURCES})
        if(_file MATCHES "/${_only}$")
          set(_posix_only TRUE)
        endif()
      endforeach()
      if(_posix_only)
        continue()
      endif()
    endif()
    list(APPEND _kept ${_file})
  endforeach()
  set(${out_var} ${_kept} PARENT_SCOPE)
endfunction()

# veldrin_layer(NAME DIR DEPS...): one static library per subsystem folder, sources globbed so that
# adding a file needs no edit here.
function(veldrin_layer name dir)
  file(GLOB _sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  veldrin_platform_sources(_sources ${_sources})
  add_library(${name} STATIC ${_sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC veldrin_options ${ARGN})
endfunction()

# Test files of POSIX-only code are left out of a Windows build (VELDRIN_POSIX_ONLY_TESTS, entries
# "DIR/FILE|reason"); each one appears there as a skipped test named after the file, with its
# reason, so that nothing drops out unseen.
function(veldrin_leave_out_posix_only_tests name dir out_var)
  set(_kept ${ARGN})
  if(WIN32)
    set(_skips "")
    foreach(_entry ${VELDRIN_POSIX_ONLY_TESTS})
      string(FIND "${_entry}" "|" _bar)
      string(SUBSTRING "${_entry}" 0 ${_bar} _file)
      math(EXPR _after "${_bar} + 1")
      string(SUBSTRING "${_entry}" ${_after} -1 _reason)
      if(NOT _file MATCHES "^${dir}/")
        continue()
      endif()
      list(REMOVE_ITEM _kept ${PROJECT_SOURCE_DIR}/tests/${_file})
      get_filename_component(_case ${_file} NAME_WE)
      string(APPEND _skips "TEST(SkippedOnWindows, ${_case}) {\n    GTEST_SKIP() << \"${_reason}\";\n}\n\n")
    endforeach()
    if(_skips)
      set(_generated ${CMAKE_CURRENT_BINARY_DIR}/${name}_skipped_on_windows.cpp)
      file(CONFIGURE OUTPUT ${_generated} CONTENT "#include <gtest/gtest.h>\n\n${_skips}")
      list(APPEND _kept ${_generated})
    endif()
  endif()
  set(${out_var} ${_kept} PARENT_SCOPE)
endfunction()

# veldrin_test(NAME DIR DEPS...): one GoogleTest executable per test folder.
function(veldrin_test name dir)
  file(GLOB _sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  veldrin_platform_sources(_sources ${_sources})
  veldrin_leave_out_posix_only_tests(${name} ${dir} _sources ${_sources})
  if(NOT _sources)
    return()
  endif()
  add_executable(${name} ${_sources})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARGN} veldrin_testsupport GTest::gtest GTest::gtest_main)
  set(_labels unit)
  if(VELDRIN_TEST_LABELS)
    set(_labels ${VELDRIN_TEST_LABELS})
  endif()
  if(CMAKE_CROSSCOMPILING)
    # One run of the whole executable under the emulator: starting Wine once per test case would
    # cost more than the tests themselves.
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES TIMEOUT 600 LABELS "${_labels}")
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120 LABELS "${_labels}")
  endif()
endfunction()
