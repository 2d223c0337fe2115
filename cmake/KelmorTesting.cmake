# Every test runs headless, with a runtime folder, a UTF-8 locale and a temporary folder
# of its own (TMPDIR). test_tmp_clean runs after all of them and fails when a test left
# anything in its temporary folder; test_tmp_prepare empties them before.
set(KELMOR_TEST_TMP ${CMAKE_BINARY_DIR}/test-tmp)

# kelmor_test_environment(<test> [ENVIRONMENT NAME=value...])
function(kelmor_test_environment name)
    cmake_parse_arguments(E "" "" "ENVIRONMENT" ${ARGN})
    set_property(GLOBAL APPEND PROPERTY KELMOR_TMP_TESTS ${name})
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;XDG_RUNTIME_DIR=${CMAKE_BINARY_DIR}/xdg-runtime;LC_ALL=C.UTF-8;ASAN_OPTIONS=detect_leaks=0;TMPDIR=${KELMOR_TEST_TMP}/${name};${E_ENVIRONMENT}"
        FIXTURES_REQUIRED kelmor_tmp)
endfunction()

# kelmor_add_test(NAME <name> SOURCES <files...> LIBS <targets...> [TIMEOUT <s>] [SIMULATOR])
# Builds one Qt Test executable and registers it with CTest. SIMULATOR: the test starts
# the built gauge simulator, whose path it finds in KELMOR_GAUGE_SIM_PATH.
function(kelmor_add_test)
    cmake_parse_arguments(T "SIMULATOR" "NAME;TIMEOUT" "SOURCES;LIBS" ${ARGN})
    qt_add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE Qt6::Test ${T_LIBS})
    if(T_SIMULATOR)
        target_compile_definitions(${T_NAME} PRIVATE
            KELMOR_GAUGE_SIM_PATH="$<TARGET_FILE:kelmor-gauge-sim>")
        add_dependencies(${T_NAME} kelmor-gauge-sim)
    endif()
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT})
    kelmor_test_environment(${T_NAME})
endfunction()

# Call once, after every test is registered.
function(kelmor_add_tmp_check)
    get_property(names GLOBAL PROPERTY KELMOR_TMP_TESTS)
    string(REPLACE ";" "," names "${names}")
    foreach(mode IN ITEMS prepare clean)
        add_test(NAME test_tmp_${mode}
            COMMAND ${CMAKE_COMMAND} -DMODE=${mode} -DDIR=${KELMOR_TEST_TMP} -DNAMES=${names}
                    -P ${PROJECT_SOURCE_DIR}/cmake/testtmp.cmake)
    endforeach()
    set_tests_properties(test_tmp_prepare PROPERTIES FIXTURES_SETUP kelmor_tmp)
    set_tests_properties(test_tmp_clean PROPERTIES FIXTURES_CLEANUP kelmor_tmp)
endfunction()

file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/xdg-runtime)
file(CHMOD ${CMAKE_BINARY_DIR}/xdg-runtime DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
