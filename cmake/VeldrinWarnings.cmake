# Common compile settings for every target of the project.
add_library(veldrin_options INTERFACE)
target_compile_options(veldrin_options INTERFACE -Wall -Wextra -Wpedantic)
if(VELDRIN_WERROR)
  target_compile_options(veldrin_options INTERFACE -Werror)
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

# veldrin_layer(NAME DIR DEPS...): one static library per subsystem folder, sources globbed so that
# adding a file needs no edit here.
function(veldrin_layer name dir)
  file(GLOB _sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  # What the operating system does differently lives in <name>_posix.cpp and <name>_windows.cpp.
  if(WIN32)
    list(FILTER _sources EXCLUDE REGEX "_posix\\.cpp$")
  else()
    list(FILTER _sources EXCLUDE REGEX "_windows\\.cpp$")
  endif()
  add_library(${name} STATIC ${_sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC veldrin_options ${ARGN})
endfunction()

# veldrin_test(NAME DIR DEPS...): one GoogleTest executable per test folder.
function(veldrin_test name dir)
  file(GLOB _sources CONFIGURE_DEPENDS ${dir}/*.cpp)
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
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120 LABELS "${_labels}")
endfunction()
