cmake_minimum_required(VERSION 3.22)
# Installs the build into DESTDIR under /usr and checks what a desktop needs.
file(REMOVE_RECURSE ${DESTDIR})
execute_process(COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${DESTDIR}
                        ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix /usr
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()

set(root ${DESTDIR}/usr)
set(expected
    bin/vantor-util bin/vantorctl bin/vantor-sim
    share/applications/${APP_ID}.desktop
    share/metainfo/${APP_ID}.metainfo.xml)
foreach(size 16 24 32 48 64 128 256)
    list(APPEND expected share/icons/hicolor/${size}x${size}/apps/${APP_ID}.png)
endforeach()
foreach(f ${expected})
    if(NOT EXISTS ${root}/${f})
        message(FATAL_ERROR "not installed: ${f}")
    endif()
endforeach()
foreach(program vantor-util vantorctl vantor-sim)
    if(NOT IS_SYMLINK ${root}/bin/${program})
        file(READ ${root}/bin/${program} head LIMIT 4 HEX)
        if(NOT head STREQUAL "7f454c46")
            message(FATAL_ERROR "bin/${program} is no program")
        endif()
    endif()
endforeach()

# The menu entry starts the installed program with the installed icon.
file(STRINGS ${root}/share/applications/${APP_ID}.desktop entry)
if(NOT "Exec=vantor-util" IN_LIST entry OR NOT "Icon=${APP_ID}" IN_LIST entry)
    message(FATAL_ERROR "the desktop entry does not start vantor-util with its icon")
endif()

find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
if(DESKTOP_FILE_VALIDATE)
    execute_process(COMMAND ${DESKTOP_FILE_VALIDATE} ${root}/share/applications/${APP_ID}.desktop
                    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT rc EQUAL 0 OR NOT out STREQUAL "")
        message(FATAL_ERROR "desktop-file-validate: ${out}")
    endif()
else()
    message(STATUS "desktop-file-validate not installed: the entry is not validated")
endif()
find_program(APPSTREAMCLI appstreamcli)
if(APPSTREAMCLI)
    execute_process(COMMAND ${APPSTREAMCLI} validate --no-net
                            ${root}/share/metainfo/${APP_ID}.metainfo.xml
                    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "appstreamcli validate: ${out}")
    endif()
endif()
