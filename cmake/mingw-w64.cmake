# Cross build for Windows with Debian's mingw-w64 compilers (posix threads),
# the tests running under wine. Included by the toolchain file of each
# processor, which sets CMAKE_SYSTEM_PROCESSOR and ORVEX_WINE_LOADER.
set(CMAKE_SYSTEM_NAME Windows)
set(triplet ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)

set(CMAKE_C_COMPILER ${triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${triplet}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Windows looks for a program's DLLs (the stand-in host's) beside it.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/bin")

# Every module shares the compiler's runtime DLLs, as every module of a host
# process shares one C++ runtime. A copy linked into each would give each its
# own unwinder, and an exception thrown in the stand-in host's DLL could not
# be caught in the program that called it.
execute_process(COMMAND "${CMAKE_CXX_COMPILER}" -print-file-name=libstdc++-6.dll
                OUTPUT_VARIABLE runtime OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(runtime "${runtime}" DIRECTORY)

# Programs run under wine in a prefix of the build's own, finding those DLLs.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run" "${ORVEX_WINE_LOADER}"
    "${CMAKE_BINARY_DIR}/wine" "${runtime}" "${CMAKE_FIND_ROOT_PATH}/lib" --)
