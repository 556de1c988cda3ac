# velmora_add_test(NAME LABEL unit|gui|office SOURCES ... [LIBS ...] [FIXED_CLOCK])
#
# Every test gets its own empty appdata folder (VELMORA_APPDATA) and runs offscreen, so no test can touch the
# user's library or need a display. FIXED_CLOCK sets the program's clock to a fixed day, for tests that compare
# with "today".
function(velmora_add_test name)
    cmake_parse_arguments(ARG "FIXED_CLOCK" "LABEL;TIMEOUT" "SOURCES;LIBS" ${ARGN})
    if(NOT ARG_LABEL)
        set(ARG_LABEL unit)
    endif()
    add_executable(${name} ${ARG_SOURCES})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    target_link_libraries(${name} PRIVATE Qt6::Test velmora_testsupport ${ARG_LIBS})
    set(workdir ${CMAKE_BINARY_DIR}/tests/work/${name})
    file(MAKE_DIRECTORY ${workdir})
    add_test(NAME ${name} COMMAND ${CMAKE_SOURCE_DIR}/tests/run_qtest.sh $<TARGET_FILE:${name}>
        WORKING_DIRECTORY ${workdir})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    set(clock "")
    if(ARG_FIXED_CLOCK)
        set(clock "VELMORA_TEST_CLOCK=2026-06-15T12:00:00;")
    endif()
    set_tests_properties(${name} PROPERTIES
        LABELS ${ARG_LABEL}
        TIMEOUT ${ARG_TIMEOUT}
        SKIP_RETURN_CODE 77
        ENVIRONMENT "${clock}QT_QPA_PLATFORM=offscreen;VELMORA_APPDATA=${workdir}/appdata;VELMORA_SOURCE_DIR=${CMAKE_SOURCE_DIR};LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp")
endfunction()
