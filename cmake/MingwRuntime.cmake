# orvex_install_mingw_runtime(DESTINATION dir COMPONENT name)
#
# Installs the compiler's runtime DLLs that the mingw-w64 programs and
# modules link dynamically (cmake/mingw-w64.cmake says why) into the
# component, so that a user's machine gets them beside the binaries.
# Debian's DLLs keep their debug information (libstdc++-6.dll is 24 MB,
# 2 MB stripped); a stripped install (`cmake --install --strip`, and the
# zips) strips them with the targets.
function(orvex_install_mingw_runtime)
    cmake_parse_arguments(PARSE_ARGV 0 arg "" "DESTINATION;COMPONENT" "")
    foreach(name libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
        execute_process(COMMAND "${CMAKE_CXX_COMPILER}" -print-file-name=${name}
                        OUTPUT_VARIABLE dll OUTPUT_STRIP_TRAILING_WHITESPACE)
        if(NOT IS_ABSOLUTE "${dll}")
            message(FATAL_ERROR "${CMAKE_CXX_COMPILER} knows no ${name}")
        endif()
        install(FILES "${dll}" DESTINATION "${arg_DESTINATION}" COMPONENT ${arg_COMPONENT} EXCLUDE_FROM_ALL)
        install(CODE "if(CMAKE_INSTALL_DO_STRIP)
                          execute_process(COMMAND \"${CMAKE_STRIP}\" \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${arg_DESTINATION}/${name}\"
                                          COMMAND_ERROR_IS_FATAL ANY)
                      endif()"
                COMPONENT ${arg_COMPONENT} EXCLUDE_FROM_ALL)
    endforeach()
endfunction()
