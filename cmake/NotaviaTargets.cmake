# Helpers shared by every folder's CMakeLists.

# A program of the program folder (deliverable or tool): its binary lands in build/bin.
function(notavia_program target)
    set_target_properties(${target} PROPERTIES
        RUNTIME_OUTPUT_DIRECTORY "${NOTAVIA_PROGRAM_DIR}"
        LIBRARY_OUTPUT_DIRECTORY "${NOTAVIA_PROGRAM_DIR}")
    add_dependencies(${target} notavia_data)
endfunction()

# A shared library loaded with dlopen: no "lib" prefix, every symbol resolved at link time,
# never unloaded (static destructors of the C libraries it uses must not run twice).
function(notavia_loadable_module target)
    set_target_properties(${target} PROPERTIES PREFIX "" SUFFIX ".so")
    target_link_options(${target} PRIVATE -Wl,--no-undefined -Wl,-z,nodelete)
    notavia_program(${target})
endfunction()

# One GoogleTest executable per test folder. Every test gets the offscreen Qt platform,
# a fixed language and time zone, and (through the shared test main) its own temporary folder.
# QT: the test main creates a QApplication first. OWN_MAIN: the folder brings its own main
# (which must call tests::InstallTestEnvironment).
function(notavia_add_gtest target)
    cmake_parse_arguments(ARG "QT;OWN_MAIN" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${target} ${ARG_SOURCES})
    if(ARG_OWN_MAIN)
        target_link_libraries(${target} PRIVATE ${ARG_LIBS} notavia_testsupport)
    elseif(ARG_QT)
        target_link_libraries(${target} PRIVATE ${ARG_LIBS} notavia_testmain_qt)
    else()
        target_link_libraries(${target} PRIVATE ${ARG_LIBS} notavia_testmain)
    endif()
    gtest_discover_tests(${target}
        DISCOVERY_TIMEOUT 60
        DISCOVERY_MODE PRE_TEST
        PROPERTIES TIMEOUT 300)
    # gtest_discover_tests flattens its PROPERTIES, so a list such as ENVIRONMENT would keep only
    # its first variable. The environment is set by a script ctest reads after the discovered tests.
    set(environment "QT_QPA_PLATFORM=offscreen;LANG=C.UTF-8;LC_ALL=C.UTF-8;TZ=America/Sao_Paulo;NOTAVIA_TEST_TMP=${CMAKE_BINARY_DIR}/testtmp;NOTAVIA_PROGRAM_DIR=${NOTAVIA_PROGRAM_DIR};NOTAVIA_SOURCE_DIR=${CMAKE_SOURCE_DIR};LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp")
    set(script "${CMAKE_CURRENT_BINARY_DIR}/${target}_environment.cmake")
    file(WRITE "${script}" "if(${target}_TESTS)\n  set_tests_properties(\${${target}_TESTS} PROPERTIES ENVIRONMENT \"${environment}\")\nendif()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${script}")
endfunction()

function(notavia_add_benchmark target)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${target} ${ARG_SOURCES})
    target_link_libraries(${target} PRIVATE ${ARG_LIBS} benchmark::benchmark benchmark::benchmark_main)
    add_dependencies(benchmarks ${target})
endfunction()
