# GoogleTest for every build: the system package natively, Debian's sources for the cross builds.
enable_testing()
if(CMAKE_CROSSCOMPILING AND EXISTS /usr/src/googletest/CMakeLists.txt)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/_googletest EXCLUDE_FROM_ALL)
    # Debian's sources trip the cross compiler's stricter warnings; they are not ours to fix.
    foreach(t gtest gtest_main)
        target_compile_options(${t} PRIVATE -w)
    endforeach()
else()
    find_package(GTest)
    if(NOT GTest_FOUND)
        message(STATUS "GoogleTest not found: tests are not built")
        set(VEXMOR_TESTS OFF)
        return()
    endif()
endif()

# The scratch and program folders that every test program shares.
add_library(vex_test_support STATIC ${PROJECT_SOURCE_DIR}/tests/support/TestFolders.cpp)
target_include_directories(vex_test_support PUBLIC ${PROJECT_SOURCE_DIR}/tests/support)
target_link_libraries(vex_test_support PUBLIC GTest::gtest)

# Under Wine a test whose program cannot start (a 32-bit one where 32-bit programs do not run) ends
# with this code after saying why: ctest shows it as skipped, never as passed.
set(VEXMOR_SKIP_CODE 77)

# Labels: "unit" for the unit tests, "e2e" for the end-to-end tests; a test preset picks by them.
function(vexmor_test_properties name)
    if(name MATCHES "^e2e_")
        set(label e2e)
    else()
        set(label unit)
    endif()
    set_tests_properties(${name} PROPERTIES LABELS ${label})
    if(CMAKE_CROSSCOMPILING_EMULATOR)
        set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE ${VEXMOR_SKIP_CODE})
    endif()
endfunction()

# vexmor_add_test(<name> SOURCES ... LIBS ... [ARGS ...]): one test program, one ctest entry.
# Windows test programs get the two support libraries beside them.
function(vexmor_add_test name)
    cmake_parse_arguments(T "" "" "SOURCES;LIBS;ARGS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} vex_test_support GTest::gtest_main)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${VEXMOR_TEST_DIR})
    if(WIN32)
        # The copy needs both libraries built, whatever the test itself links.
        add_dependencies(${name} QZVSP0100A QZVSP0100B)
        add_custom_command(TARGET ${name} POST_BUILD
            COMMAND ${CMAKE_COMMAND} -E copy_if_different
                $<TARGET_FILE:QZVSP0100A> $<TARGET_FILE:QZVSP0100B> ${VEXMOR_TEST_DIR})
    endif()
    add_test(NAME ${name} COMMAND ${name} ${T_ARGS})
    vexmor_test_properties(${name})
endfunction()
