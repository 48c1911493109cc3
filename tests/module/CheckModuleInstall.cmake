# Installs the build's Maya module into PREFIX and checks its layout: the
# module file naming OrvexImp, its version and its plug-in folder, and the
# plug-in in that folder. With PROGRAM, the installed plug-in also imports
# SAMPLE through orvex-import (run by EMULATOR, when given), as the host
# would load it from there.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD}" --prefix "${PREFIX}" --component maya_module
                OUTPUT_QUIET RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed")
endif()

file(STRINGS "${PREFIX}/OrvexImp.mod" lines)
if(PLATFORM)
    set(expected "+ PLATFORM:${PLATFORM} OrvexImp ${VERSION} .;plug-ins: plug-ins/${PLATFORM}")
    set(plugin "${PREFIX}/plug-ins/${PLATFORM}/${PLUGIN_NAME}")
else()
    set(expected "+ OrvexImp ${VERSION} .;plug-ins: plug-ins")
    set(plugin "${PREFIX}/plug-ins/${PLUGIN_NAME}")
endif()
if(NOT lines STREQUAL expected)
    message(FATAL_ERROR "OrvexImp.mod reads \"${lines}\", not \"${expected}\"")
endif()
if(NOT EXISTS "${plugin}")
    message(FATAL_ERROR "the plug-in is not at ${plugin}")
endif()
file(GLOB_RECURSE installed RELATIVE "${PREFIX}" "${PREFIX}/*")
list(LENGTH installed count)
if(NOT count EQUAL 2)
    message(FATAL_ERROR "the module holds more than its file and plug-in: ${installed}")
endif()

if(PROGRAM)
    string(REPLACE "|" ";" emulator "${EMULATOR}")
    execute_process(COMMAND ${emulator} "${PROGRAM}" --plugin "${plugin}" "${SAMPLE}" -o "${PREFIX}/../sample.json"
                    RESULT_VARIABLE result ERROR_VARIABLE error)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "orvex-import with the installed plug-in failed: ${error}")
    endif()
endif()
