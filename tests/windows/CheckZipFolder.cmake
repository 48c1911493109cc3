# Installs the zip's component into PREFIX, as cpack does, and checks that
# the folder runs on a machine that has nothing else: every DLL that one of
# its programs or DLLs imports is in the folder or is part of Windows, and
# nothing but those binaries and the README is there.

cmake_policy(VERSION 3.25)

# DLLs that Windows itself holds in System32, which a folder need not bring.
set(windows_dlls kernel32.dll msvcrt.dll shell32.dll shlwapi.dll)

file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD}" --prefix "${PREFIX}" --component program
                OUTPUT_QUIET RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install --component program failed")
endif()

file(GLOB files RELATIVE "${PREFIX}" "${PREFIX}/*")
set(shipped "")
set(binaries "")
foreach(file IN LISTS files)
    string(TOLOWER "${file}" name)
    if(name MATCHES "\\.(exe|dll)$")
        list(APPEND shipped "${name}")
        list(APPEND binaries "${file}")
    elseif(NOT file STREQUAL "README.txt")
        message(FATAL_ERROR "the zip would hold ${file}, which the program does not need")
    endif()
endforeach()
if(NOT "orvex-import.exe" IN_LIST shipped OR NOT "README.txt" IN_LIST files)
    message(FATAL_ERROR "the zip would lack orvex-import.exe or README.txt: ${files}")
endif()

set(missing "")
foreach(binary IN LISTS binaries)
    execute_process(COMMAND "${OBJDUMP}" -p "${PREFIX}/${binary}" OUTPUT_VARIABLE headers RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "cannot read the headers of ${binary}")
    endif()
    string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${headers}")
    foreach(import IN LISTS imports)
        string(REGEX REPLACE "^DLL Name: " "" dll "${import}")
        string(TOLOWER "${dll}" dll)
        if(NOT dll IN_LIST shipped AND NOT dll IN_LIST windows_dlls)
            list(APPEND missing "${binary} imports ${dll}")
        endif()
    endforeach()
endforeach()
if(missing)
    list(JOIN missing ", " missing)
    message(FATAL_ERROR "DLLs neither in the zip nor part of Windows: ${missing}")
endif()
