# Checks what the plug-in module exports, the dynamic symbols of an ELF
# module or the export table of a Windows DLL, against what the host looks
# up: MApiVersion and the entry points, by their C++ symbols
# (ENTRY_POINT_SYMBOLS, separated by |) on Linux, by their plain names on
# Windows, where the C++ symbols of the exported definitions come along.
if(WINDOWS)
    execute_process(COMMAND "${OBJDUMP}" -p "${MODULE}" OUTPUT_VARIABLE headers RESULT_VARIABLE result)
    # The export names are the lines of one table, up to the blank line after it.
    string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n([^\n]+\n)*" table "${headers}")
    string(REGEX MATCHALL "\\[ *[0-9]+\\] [^\n]+" entries "${table}")
    set(pattern "^\\[ *[0-9]+\\] ")
else()
    execute_process(COMMAND nm -D --defined-only "${MODULE}" OUTPUT_VARIABLE symbols RESULT_VARIABLE result)
    string(REGEX MATCHALL "[^\n]+" entries "${symbols}")
    set(pattern "^[0-9a-fA-F]* *[A-Za-z] ")
endif()
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cannot list the symbols of ${MODULE}")
endif()
set(exported "")
foreach(entry IN LISTS entries)
    string(REGEX REPLACE "${pattern}" "" name "${entry}")
    # Symbols every ELF shared object carries.
    if(NOT name MATCHES "^(_init|_fini|_edata|_end|__bss_start)$")
        list(APPEND exported "${name}")
    endif()
endforeach()
string(REPLACE "|" ";" expected "${ENTRY_POINT_SYMBOLS}")
if(WINDOWS)
    list(APPEND expected initializePlugin uninitializePlugin)
endif()
list(APPEND expected MApiVersion)
list(SORT exported)
list(SORT expected)
if(NOT exported STREQUAL expected)
    message(FATAL_ERROR "the module exports ${exported}; the host looks up ${expected}")
endif()
