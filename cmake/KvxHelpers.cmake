# kvx_add_test(NAME name SOURCES ... LIBS ...)
# One GoogleTest executable, registered with CTest, run offscreen with a private HOME and XDG folders so
# that no test can reach the user's files or /etc.
function(kvx_add_test)
    cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} kvx_testsupport GTest::gtest GTest::gmock)
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;KVX_BUILD_DIR=${CMAKE_BINARY_DIR};KVX_SOURCE_DIR=${CMAKE_SOURCE_DIR};ASAN_OPTIONS=detect_leaks=0")
endfunction()

# kvx_add_bench(NAME name SOURCES ... LIBS ...)
function(kvx_add_bench)
    cmake_parse_arguments(B "" "NAME" "SOURCES;LIBS" ${ARGN})
    add_executable(${B_NAME} ${B_SOURCES})
    target_link_libraries(${B_NAME} PRIVATE ${B_LIBS} benchmark::benchmark)
endfunction()
