# GoogleTest from the distribution's sources, cross-built like everything else.
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(t gtest gtest_main)
    target_compile_options(${t} PRIVATE -w)
endforeach()

set(OSTRIVO_STATE ${CMAKE_BINARY_DIR}/harness-state)
set(OSTRIVO_HARNESS ${CMAKE_SOURCE_DIR}/harness)

# OSTRIVO_I386_MACHINE: the tests of this (32-bit) build run in the emulated
# i386 machine (harness/i386) rather than under the host's Wine. Their names
# start with "i386.", and their time bounds grow with the emulation's cost
# (harness/i386/time-scale, which the programs' own bounds follow too).
# What the harness's start sets up for every test program of a run: the test
# bus driver (harness/testbus) and the default desktop's shell
# (harness/desktop).
set(tool_env "OSTRIVO_TESTBUS_TOOL=$<TARGET_FILE:testbus>"
             "OSTRIVO_TESTBUS_IMAGE=$<TARGET_FILE:ostrivo_testbus>"
             "OSTRIVO_DESKTOP_KEEPER=$<TARGET_FILE:desktop_keeper>")

option(OSTRIVO_I386_MACHINE "Run the tests in the emulated i386 machine" OFF)
if(OSTRIVO_I386_MACHINE)
    set(OSTRIVO_TEST_PREFIX i386.)
    file(STRINGS ${OSTRIVO_HARNESS}/i386/time-scale OSTRIVO_TIME_SCALE REGEX "^[0-9]+$")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${OSTRIVO_HARNESS}/i386/time-scale)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${OSTRIVO_HARNESS}/i386/machine run)
    set(harness_env "OSTRIVO_I386_STATE=${CMAKE_BINARY_DIR}/i386-state"
                    "OSTRIVO_I386_TREE=${CMAKE_BINARY_DIR}")
    # Making the image takes ~9 minutes where none is cached.
    add_test(NAME i386.machine_start COMMAND ${OSTRIVO_HARNESS}/i386/machine start)
    add_test(NAME i386.machine_stop COMMAND ${OSTRIVO_HARNESS}/i386/machine stop)
    set_tests_properties(i386.machine_start PROPERTIES FIXTURES_SETUP wine
        ENVIRONMENT "${harness_env};${tool_env}" TIMEOUT 1500)
    set_tests_properties(i386.machine_stop PROPERTIES FIXTURES_CLEANUP wine
        ENVIRONMENT "${harness_env}" TIMEOUT 60)
else()
    set(OSTRIVO_TEST_PREFIX "")
    set(OSTRIVO_TIME_SCALE 1)
    set(harness_env "OSTRIVO_STATE=${OSTRIVO_STATE}")
    # One warm Wine prefix, server and virtual display for the whole run.
    add_test(NAME harness.wine_start COMMAND ${OSTRIVO_HARNESS}/wine/start)
    add_test(NAME harness.wine_stop COMMAND ${OSTRIVO_HARNESS}/wine/stop)
    # The start installs and starts the test bus driver (harness/testbus);
    # the stop removes what tests left of its children.
    set_tests_properties(harness.wine_start PROPERTIES FIXTURES_SETUP wine
        ENVIRONMENT "${harness_env};${tool_env}" TIMEOUT 240)
    set_tests_properties(harness.wine_stop PROPERTIES FIXTURES_CLEANUP wine
        ENVIRONMENT "${harness_env};${tool_env}" TIMEOUT 120)
endif()

# ostrivo_beside(test program): a copy of `program` (a target of this tree)
# in the folder of `test`, where the test finds it (tests/kit/beside.h) as it
# does in the test bundle. One copy for each folder, made once.
function(ostrivo_beside test program)
    set(image ${program}${CMAKE_EXECUTABLE_SUFFIX})
    get_filename_component(area ${CMAKE_CURRENT_BINARY_DIR} NAME)
    set(copy ${program}_beside_${area}_tests)
    if(NOT TARGET ${copy})
        add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/${image}
            COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${program}> ${CMAKE_CURRENT_BINARY_DIR}/${image}
            DEPENDS ${program} VERBATIM)
        add_custom_target(${copy} DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/${image})
    endif()
    add_dependencies(${test} ${copy})
endfunction()

# ostrivo_test(name SOURCES ... [LIBS ...] [TIMEOUT s] [DEVICES] [HEADLESS]
#              [SHARDS n] [COST c])
# One executable, run whole under Wine. DEVICES marks tests that add or remove
# simulated or test-bus devices, or that expect Wine's own devices alone: they
# must not overlap with each other. HEADLESS runs it
# with Wine's null display driver (harness/headless): for a program that
# draws nothing and makes no desktop of its own. SHARDS splits a
# long one into n CTest tests (name.1 ... name.n, GoogleTest's sharding) that
# can run side by side; COST, its relative length, lets CTest start long ones
# first.
function(ostrivo_test name)
    cmake_parse_arguments(T "DEVICES;NO_MAIN;HEADLESS" "TIMEOUT;SHARDS;COST" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    if(T_NO_MAIN)
        target_link_libraries(${name} PRIVATE gtest ${T_LIBS})
    else()
        target_link_libraries(${name} PRIVATE gtest_main gtest ${T_LIBS})
    endif()
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    math(EXPR T_TIMEOUT "${T_TIMEOUT} * ${OSTRIVO_TIME_SCALE}")
    # CTest's own bound lies beyond the wrapper's, so the wrapper can say
    # plainly that the program hung before it is killed.
    math(EXPR ctest_limit "${T_TIMEOUT} + 30")
    set(env ${harness_env} "OSTRIVO_TIMEOUT=${T_TIMEOUT}")
    if(T_HEADLESS)
        list(APPEND env "OSTRIVO_HEADLESS=$<TARGET_FILE:headless>")
        add_dependencies(${name} headless)
    endif()
    set(tests)
    if(T_SHARDS)
        foreach(shard RANGE 1 ${T_SHARDS})
            math(EXPR index "${shard} - 1")
            set(test ${OSTRIVO_TEST_PREFIX}${name}.${shard})
            add_test(NAME ${test} COMMAND ${name})
            set_tests_properties(${test} PROPERTIES ENVIRONMENT
                "${env};GTEST_TOTAL_SHARDS=${T_SHARDS};GTEST_SHARD_INDEX=${index}")
            list(APPEND tests ${test})
        endforeach()
    else()
        set(tests ${OSTRIVO_TEST_PREFIX}${name})
        add_test(NAME ${tests} COMMAND ${name})
        set_tests_properties(${tests} PROPERTIES ENVIRONMENT "${env}")
    endif()
    set_tests_properties(${tests} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT ${ctest_limit})
    if(T_COST)
        set_tests_properties(${tests} PROPERTIES COST ${T_COST})
    endif()
    if(T_DEVICES)
        set_tests_properties(${tests} PROPERTIES RESOURCE_LOCK simulated_devices)
    endif()
endfunction()
