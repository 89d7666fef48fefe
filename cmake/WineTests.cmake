# Test support for the Windows build: GoogleTest cross-built from Debian's
# source package, and test programs registered to run under Wine.
#
#   tamsel_add_wine_test(<target> [DISPLAY] [TIMEOUT <seconds>] [ARGS <arg>...])
#
# registers one ctest entry that runs the whole program through
# CMAKE_CROSSCOMPILING_EMULATOR (cmake/wine-run.sh): each Wine start costs
# seconds, so the cases of a program are not split into entries. The default
# timeout is 180 s. DISPLAY runs it inside an `xvfb-run -a` of its own, for
# programs that open windows; a whole ctest run under one xvfb-run gives every
# program that display instead. The 32-bit build's programs run under 32-bit
# Wine: on a machine whose kernel cannot run 32-bit programs wine-run.sh exits
# with 77 and ctest counts the test as skipped. The 64-bit build's run under
# 64-bit Wine, which starts on every x86_64 machine: no skip code, so a Wine
# that fails to start fails the tests.

include_guard(GLOBAL)

set(TAMSEL_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH
    "GoogleTest sources to cross-build (Debian package googletest)")
if(NOT EXISTS ${TAMSEL_GOOGLETEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "No GoogleTest sources in ${TAMSEL_GOOGLETEST_SOURCE}: "
                      "install Debian's googletest package")
endif()

# EXCLUDE_FROM_ALL: only what a test links gets built, so gmock costs
# nothing until a test asks for GTest::gmock.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(${TAMSEL_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(_gt gtest gtest_main gmock gmock_main)
  # GoogleTest is someone else's code; our warning flags are for ours.
  target_compile_options(${_gt} PRIVATE -w)
endforeach()

find_program(TAMSEL_XVFB_RUN xvfb-run)

# Made once before the first Wine test, so parallel tests do not wait on the
# boot inside their own timeouts.
add_test(NAME wine_prefix COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} --init)
set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP tamsel_wine_prefix TIMEOUT 600)

# Sets the skip code on tests run under 32-bit Wine: wine-run.sh's answer
# when the kernel refuses its loader.
function(_tamsel_wine_skip_code test)
  if(TAMSEL_WINE_BITS EQUAL 32)
    set_tests_properties(${test} PROPERTIES SKIP_RETURN_CODE 77)
  endif()
endfunction()
_tamsel_wine_skip_code(wine_prefix)

function(tamsel_add_wine_test name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "DISPLAY" "TIMEOUT" "ARGS")
  if(NOT arg_TIMEOUT)
    set(arg_TIMEOUT 180)
  endif()
  if(arg_DISPLAY)
    if(NOT TAMSEL_XVFB_RUN)
      message(FATAL_ERROR "${name} opens windows and needs xvfb-run (Debian package xvfb)")
    endif()
    # The run's own display when it has one: a display of its own would move
    # Wine's session there and back, and every program started meanwhile
    # would wait for the move.
    add_test(NAME ${name}
             COMMAND sh -c "[ -n \"\${DISPLAY:-}\" ] && exec \"$@\"; exec \"$0\" -a -s '-screen 0 1280x1024x24' \"$@\""
                     ${TAMSEL_XVFB_RUN} ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:${name}> ${arg_ARGS})
    # One window-driving program at a time, and xvfb-run -a picks a free
    # display number racily.
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK tamsel_xvfb)
  else()
    # A target as the command: ctest puts the emulator in front of it.
    add_test(NAME ${name} COMMAND ${name} ${arg_ARGS})
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${arg_TIMEOUT} FIXTURES_REQUIRED tamsel_wine_prefix)
  _tamsel_wine_skip_code(${name})
endfunction()
