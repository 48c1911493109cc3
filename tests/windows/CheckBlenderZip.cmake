# The Blender add-on's zip for Windows carries the program that the zip for
# Windows users carries, which tests/windows/clean-prefix runs under wine:
# installs both components into PREFIX and checks that the add-on's bin/
# holds exactly the binaries of the program's folder, byte for byte, beside
# the add-on and a manifest for windows-x64. Unstripped: strip writes the
# time of day into a PE file's header, which both zips' files then differ in.

cmake_policy(VERSION 3.25)

file(REMOVE_RECURSE "${PREFIX}")
foreach(component program blender_addon)
    execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD}" --prefix "${PREFIX}/${component}"
                            --component ${component}
                    OUTPUT_QUIET RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "cmake --install --component ${component} failed")
    endif()
endforeach()

set(program "${PREFIX}/program")
set(addon "${PREFIX}/blender_addon/orvex_import")
file(GLOB program_files RELATIVE "${program}" "${program}/*")
list(REMOVE_ITEM program_files README.txt)
file(GLOB bin_files RELATIVE "${addon}/bin" "${addon}/bin/*")
list(SORT program_files)
list(SORT bin_files)
if(NOT program_files STREQUAL bin_files)
    message(FATAL_ERROR "the add-on's bin/ holds ${bin_files}, the program's folder ${program_files}")
endif()
foreach(file IN LISTS program_files)
    file(SHA256 "${program}/${file}" expected)
    file(SHA256 "${addon}/bin/${file}" actual)
    if(NOT actual STREQUAL expected)
        message(FATAL_ERROR "the add-on's bin/${file} differs from the program's")
    endif()
endforeach()

foreach(file __init__.py converter.py builder.py blender_manifest.toml)
    if(NOT EXISTS "${addon}/${file}")
        message(FATAL_ERROR "the add-on lacks ${file}")
    endif()
endforeach()
file(STRINGS "${addon}/blender_manifest.toml" platforms REGEX "^platforms = ")
if(NOT platforms STREQUAL "platforms = [\"windows-x64\"]")
    message(FATAL_ERROR "the manifest gives ${platforms}")
endif()
