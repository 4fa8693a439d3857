# The Windows build's tests run under Wine in a private prefix of the build
# directory. Simulators reach the test programs through vantor-sim-bridge and
# the command line is compared with vantor-sim, vantorctl and the bridge of a
# host build, found in VANTOR_HOST_TOOLS_DIR.
set(VANTOR_HOST_TOOLS_DIR "" CACHE PATH "A host build directory with vantor-sim and vantor-sim-bridge")
if(NOT VANTOR_HOST_TOOLS_DIR)
    message(FATAL_ERROR "The Windows tests need -DVANTOR_HOST_TOOLS_DIR=<a host build directory>")
endif()
find_program(VANTOR_WINE wine REQUIRED)

set(VANTOR_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(VANTOR_WINE_RUN ${CMAKE_CURRENT_LIST_DIR}/run.sh)

add_test(NAME wine.prefix COMMAND ${CMAKE_CURRENT_LIST_DIR}/make-prefix.sh ${VANTOR_WINE_PREFIX})
set_tests_properties(wine.prefix PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)

# Each test program runs whole; a failing case shows in its output.
function(vantor_add_wine_tests target timeout ports)
    math(EXPR whole "${timeout} * 8")
    if(NOT ports)
        add_test(NAME wine.${target}
            COMMAND ${VANTOR_WINE_RUN} --prefix ${VANTOR_WINE_PREFIX} -- $<TARGET_FILE:${target}>)
        set_tests_properties(wine.${target} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT ${whole})
        return()
    endif()
    foreach(port IN LISTS ports)
        add_test(NAME wine.${target}.COM${port}
            COMMAND ${VANTOR_WINE_RUN} --prefix ${VANTOR_WINE_PREFIX}
                    --bridge ${VANTOR_HOST_TOOLS_DIR}/vantor-sim-bridge --com ${port}
                    -- $<TARGET_FILE:${target}>)
        set_tests_properties(wine.${target}.COM${port} PROPERTIES
            FIXTURES_REQUIRED wine TIMEOUT ${whole})
    endforeach()
endfunction()

# The command line program itself under Wine, against the host's simulator.
add_test(NAME wine.vantorctl
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/vantorctl.sh ${VANTOR_WINE_PREFIX} ${VANTOR_HOST_TOOLS_DIR}
            $<TARGET_FILE:vantorctl>)
set_tests_properties(wine.vantorctl PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 300)
