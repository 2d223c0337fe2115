# Every test runs headless, with a runtime folder, a UTF-8 locale and a temporary folder
# of its own (TMPDIR). tmp_clean runs after all of them and fails when a test left
# anything in its temporary folder; tmp_prepare empties them before.
set(KELMOR_TEST_TMP ${CMAKE_BINARY_DIR}/test-tmp)

# kelmor_test_environment(<test> [ENVIRONMENT NAME=value...])
function(kelmor_test_environment name)
    cmake_parse_arguments(E "" "" "ENVIRONMENT" ${ARGN})
    set_property(GLOBAL APPEND PROPERTY KELMOR_TMP_TESTS ${name})
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;XDG_RUNTIME_DIR=${CMAKE_BINARY_DIR}/xdg-runtime;LC_ALL=C.UTF-8;ASAN_OPTIONS=detect_leaks=0;TMPDIR=${KELMOR_TEST_TMP}/${name};${E_ENVIRONMENT}"
        FIXTURES_REQUIRED kelmor_tmp)
endfunction()

# kelmor_add_test(<name> [LIBS <targets...>] [SOURCES <more files...>] [TIMEOUT <s>]
#                 [SIMULATOR])
# Builds tests/<folder>/tst_<name>.cpp into one Qt Test executable and registers it with
# CTest; executable and test are both called <folder>_<name> (app_form1startup), so a
# test's name says where its file is. SIMULATOR: the test starts the built gauge
# simulator, whose path it finds in KELMOR_GAUGE_SIM_PATH. Sets KELMOR_TEST to the name
# in the caller's scope, for properties of its own.
function(kelmor_add_test name)
    cmake_parse_arguments(T "SIMULATOR" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
    get_filename_component(folder ${CMAKE_CURRENT_SOURCE_DIR} NAME)
    set(target ${folder}_${name})
    qt_add_executable(${target} tst_${name}.cpp ${T_SOURCES})
    target_link_libraries(${target} PRIVATE Qt6::Test ${T_LIBS})
    if(T_SIMULATOR)
        target_compile_definitions(${target} PRIVATE
            KELMOR_GAUGE_SIM_PATH="$<TARGET_FILE:kelmor-gauge-sim>")
        add_dependencies(${target} kelmor-gauge-sim)
    endif()
    add_test(NAME ${target} COMMAND ${target})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    set_tests_properties(${target} PROPERTIES TIMEOUT ${T_TIMEOUT})
    kelmor_test_environment(${target})
    set(KELMOR_TEST ${target} PARENT_SCOPE)
endfunction()

# Call once, after every test is registered.
function(kelmor_add_tmp_check)
    get_property(names GLOBAL PROPERTY KELMOR_TMP_TESTS)
    string(REPLACE ";" "," names "${names}")
    foreach(mode IN ITEMS prepare clean)
        add_test(NAME tmp_${mode}
            COMMAND ${CMAKE_COMMAND} -DMODE=${mode} -DDIR=${KELMOR_TEST_TMP} -DNAMES=${names}
                    -P ${PROJECT_SOURCE_DIR}/cmake/testtmp.cmake)
    endforeach()
    set_tests_properties(tmp_prepare PROPERTIES FIXTURES_SETUP kelmor_tmp)
    set_tests_properties(tmp_clean PROPERTIES FIXTURES_CLEANUP kelmor_tmp)
endfunction()

file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/xdg-runtime)
file(CHMOD ${CMAKE_BINARY_DIR}/xdg-runtime DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
