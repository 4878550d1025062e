# GoogleTest from the sources Debian installs, built with the cross toolchain.
# Converts a build path to the path Wine sees (drive Z: maps the Unix root).
function(lumetra_wine_path out unix_path)
  string(REPLACE "/" "\\\\" p "${unix_path}")
  set(${out} "Z:${p}" PARENT_SCOPE)
endfunction()

lumetra_wine_path(LUMETRA_PROGRAM_DIR_WIN ${LUMETRA_PROGRAM_DIR})
lumetra_wine_path(LUMETRA_TEST_DIR_WIN ${LUMETRA_TEST_DIR})
lumetra_wine_path(LUMETRA_SOURCE_DIR_WIN ${CMAKE_SOURCE_DIR})

if(NOT LUMETRA_TESTS)
  # The shipped build: deliverables only.
  function(lumetra_add_test name)
  endfunction()
  function(lumetra_add_test_part name program)
  endfunction()
  return()
endif()

enable_testing()
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
if(NOT EXISTS /usr/src/googletest/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources missing: install Debian's googletest package")
endif()
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(t gtest gtest_main gmock gmock_main)
  if(TARGET ${t})
    target_compile_options(${t} PRIVATE -w PUBLIC
      "$<$<COMPILE_LANGUAGE:CXX>:SHELL:-include ${CMAKE_CURRENT_LIST_DIR}/gtest_notification.h>")
    target_include_directories(${t} PUBLIC ${CMAKE_SOURCE_DIR}/common/include)
    set_target_properties(${t} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${LUMETRA_TEST_DIR})
  endif()
endforeach()

# lumetra_add_test(name SOURCES ... LIBS ... [DEPENDS targets...] [ARGS ...])
# One test program, one ctest entry; it runs under Wine in the test folder.
# DEPENDS names the shipped binaries the test drives, so they are built first;
# ARGS are further arguments of the ctest entry (a --gtest_filter).
function(lumetra_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;DEPENDS;ARGS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} gmock gtest_main)
  target_compile_definitions(${name} PRIVATE
    "LUMETRA_PROGRAM_DIR=\"${LUMETRA_PROGRAM_DIR_WIN}\""
    "LUMETRA_TEST_DIR=\"${LUMETRA_TEST_DIR_WIN}\""
    "LUMETRA_SOURCE_DIR=\"${LUMETRA_SOURCE_DIR_WIN}\"")
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${LUMETRA_TEST_DIR})
  if(T_DEPENDS)
    add_dependencies(${name} ${T_DEPENDS})
  endif()
  lumetra_add_test_part(${name} ${name} ARGS ${T_ARGS})
endfunction()

# lumetra_add_test_part(name program [ARGS ...])
# A ctest entry of a test program; a further one runs a share of its tests
# beside the others.
function(lumetra_add_test_part name program)
  cmake_parse_arguments(T "" "" "ARGS" ${ARGN})
  add_test(NAME ${name} COMMAND ${program} --gtest_color=no ${T_ARGS}
    WORKING_DIRECTORY ${LUMETRA_TEST_DIR})
  set_tests_properties(${name} PROPERTIES TIMEOUT 600)
endfunction()
