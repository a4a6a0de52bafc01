# kvx_layer_include_dir(<out-var> <folder>)
# The include directory of one layer: build/include/<folder>, holding only the link <folder> -> src/<folder>,
# so that "#include \"<folder>/X.h\"" works for exactly the layers a target links.
function(kvx_layer_include_dir out folder)
    set(root ${CMAKE_BINARY_DIR}/include/${folder})
    file(MAKE_DIRECTORY ${root})
    if(NOT IS_SYMLINK ${root}/${folder})
        file(CREATE_LINK ${CMAKE_SOURCE_DIR}/src/${folder} ${root}/${folder} SYMBOLIC)
    endif()
    set(${out} ${root} PARENT_SCOPE)
endfunction()

# kvx_add_layer_library(NAME <target> FOLDER <folder> [SHARED] SOURCES ... DEPENDS ...)
# One module layer: a static (or SHARED) library whose public include directory is its own folder only;
# DEPENDS names the libraries of the layers below it (linked PUBLIC) and anything else it links.
#   kvx_add_layer_library(NAME qldi_data FOLDER data SOURCES DmRadical.cpp DmRadical.h DEPENDS qldi_server)
function(kvx_add_layer_library)
    cmake_parse_arguments(L "SHARED" "NAME;FOLDER" "SOURCES;DEPENDS" ${ARGN})
    if(L_SHARED)
        add_library(${L_NAME} SHARED ${L_SOURCES})
    else()
        add_library(${L_NAME} STATIC ${L_SOURCES})
    endif()
    kvx_layer_include_dir(dir ${L_FOLDER})
    target_include_directories(${L_NAME} PUBLIC ${dir})
    target_link_libraries(${L_NAME} PUBLIC ${L_DEPENDS})
endfunction()

# kvx_add_test(NAME name SOURCES ... LIBS ...)
# One GoogleTest executable, registered with CTest, run offscreen with a private HOME and XDG folders so
# that no test can reach the user's files or /etc.
function(kvx_add_test)
    cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} kvx_testsupport GTest::gtest GTest::gmock)
    # Loaded by name on a remote open (platform/RemoteLink.h).
    add_dependencies(${T_NAME} kvxremote)
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;KVX_BUILD_DIR=${CMAKE_BINARY_DIR};KVX_SOURCE_DIR=${CMAKE_SOURCE_DIR};ASAN_OPTIONS=detect_leaks=0")
endfunction()

# kvx_add_postgres_variant(TEST [GTEST_FILTER filter])
# Runs an existing test executable once more with its databases on the private PostgreSQL server that
# test.sh starts (KVX_TEST_PG, tests/support/PgTestDatabase.h); skipped when there is none.
function(kvx_add_postgres_variant test)
    cmake_parse_arguments(P "" "GTEST_FILTER;TIMEOUT" "" ${ARGN})
    set(filter "")
    if(P_GTEST_FILTER)
        set(filter "--gtest_filter=${P_GTEST_FILTER}")
    endif()
    add_test(NAME ${test}_pg COMMAND sh -c "[ -n \"$KVX_TEST_PG\" ] || exit 77; exec \"$0\" \"$@\""
        $<TARGET_FILE:${test}> ${filter})
    if(NOT P_TIMEOUT)
        set(P_TIMEOUT 600)
    endif()
    set_tests_properties(${test}_pg PROPERTIES TIMEOUT ${P_TIMEOUT} SKIP_RETURN_CODE 77 LABELS postgres
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;KVX_BUILD_DIR=${CMAKE_BINARY_DIR};KVX_SOURCE_DIR=${CMAKE_SOURCE_DIR};ASAN_OPTIONS=detect_leaks=0;KVX_TEST_ENGINE=PostgreSQL")
endfunction()

# kvx_add_bench(NAME name SOURCES ... LIBS ...)
function(kvx_add_bench)
    cmake_parse_arguments(B "" "NAME" "SOURCES;LIBS" ${ARGN})
    add_executable(${B_NAME} ${B_SOURCES})
    target_link_libraries(${B_NAME} PRIVATE ${B_LIBS} benchmark::benchmark)
    target_include_directories(${B_NAME} PRIVATE ${CMAKE_SOURCE_DIR}/bench/support)
    add_dependencies(${B_NAME} kvxremote)
endfunction()

# kvx_register_class(PROGID TARGET FACTORY)
# Records an automation class; build/classes.ini lists them as registry sections for the set-up and tests.
function(kvx_register_class progid target factory)
    set_property(GLOBAL APPEND PROPERTY KVX_CLASSES "${progid}|${target}|${factory}")
endfunction()

# Writes build/classes.ini from the recorded classes (called once at the end of the top-level file).
function(kvx_write_classes_ini)
    get_property(classes GLOBAL PROPERTY KVX_CLASSES)
    set(content "")
    foreach(entry IN LISTS classes)
        string(REPLACE "|" ";" parts "${entry}")
        list(GET parts 0 progid)
        list(GET parts 1 target)
        list(GET parts 2 factory)
        string(APPEND content "[Classes\\${progid}]\nLibrary=$<TARGET_FILE:${target}>\nFactory=${factory}\n\n")
    endforeach()
    file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/classes.ini CONTENT "${content}")
endfunction()
