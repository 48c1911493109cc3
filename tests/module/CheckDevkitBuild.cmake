# Builds the plug-in as a developer does against a real devkit, through
# -DMAYA_LOCATION, with the stand-in laid out in a devkit's shape: its
# headers under include/maya/, its library as the host's OpenMaya and
# Foundation libraries under lib/. Then checks that the module exports the
# entry points under the host's names (as CheckExports.cmake does) and that
# orvex-import, run by EMULATOR where given, converts SAMPLE with it to the
# same bytes as with the plug-in of the normal build.
#   SOURCE_DIR  the project          WORK       a folder of this check's own
#   HEADERS     the stand-in's include folders, separated by |
#   LIBRARY     the stand-in library a plug-in links (the import library on Windows)
#   CONFIGURE   the arguments the build was configured with, separated by |
#   PROGRAM, EMULATOR, SAMPLE, WINDOWS, OBJDUMP, ENTRY_POINT_SYMBOLS
file(REMOVE_RECURSE "${WORK}")
set(devkit "${WORK}/devkit")
string(REPLACE "|" ";" headers "${HEADERS}")
foreach(folder IN LISTS headers)
    file(COPY "${folder}/maya" DESTINATION "${devkit}/include")
endforeach()
# The library keeps its own name inside (its soname, or the DLL its import
# library names), so the module loads the stand-in that orvex-import holds.
if(WINDOWS)
    set(library_names OpenMaya.lib Foundation.lib)
else()
    set(library_names libOpenMaya.so libFoundation.so)
endif()
file(MAKE_DIRECTORY "${devkit}/lib")
foreach(name IN LISTS library_names)
    file(COPY_FILE "${LIBRARY}" "${devkit}/lib/${name}" ONLY_IF_DIFFERENT)
endforeach()

string(REPLACE "|" ";" configure "${CONFIGURE}")
execute_process(COMMAND "${CMAKE_COMMAND}" -S "${SOURCE_DIR}" -B "${WORK}/build" -G Ninja ${configure}
                        "-DMAYA_LOCATION=${devkit}"
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "configuring against the devkit failed:\n${output}")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" --build "${WORK}/build" --target OrvexImp
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "building against the devkit failed:\n${output}")
endif()
file(GLOB module "${WORK}/build/bin/OrvexImp.*")
if(NOT module)
    message(FATAL_ERROR "the devkit build made no OrvexImp module in ${WORK}/build/bin")
endif()

set(MODULE "${module}")
include("${CMAKE_CURRENT_LIST_DIR}/CheckExports.cmake")

string(REPLACE "|" ";" emulator "${EMULATOR}")
foreach(build devkit standin)
    set(plugin_option "")
    if(build STREQUAL "devkit")
        set(plugin_option --plugin "${module}")
    endif()
    execute_process(COMMAND ${emulator} "${PROGRAM}" ${plugin_option} "${SAMPLE}" -o "${WORK}/${build}.glb"
                    RESULT_VARIABLE result ERROR_VARIABLE error)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "orvex-import with the ${build} build's plug-in failed: ${error}")
    endif()
endforeach()
execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${WORK}/devkit.glb" "${WORK}/standin.glb"
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "the sample converted with the devkit build's plug-in differs from the normal build's")
endif()
