# Included after project() by the `portable` preset: a program that runs on
# Linux distributions other than the one that built it. The C++ runtime and
# every library but glibc (jemalloc, libsquish with its OpenMP runtime, zlib,
# stb) are linked statically, from the static archives that Debian's -dev
# packages ship, so that the program, the stand-in host and the plug-in need
# only glibc's libraries, and the oldest glibc they run on is the newest
# symbol version they name (`objdump -T`). Each shared object keeps its copy
# of the static code to itself. Unused sections are dropped: parts of the
# C++ runtime that nothing calls, such as std::random_device, would
# otherwise name glibc functions newer than the rest need (arc4random, 2.36).
set(CMAKE_FIND_LIBRARY_SUFFIXES .a)
set(ZLIB_USE_STATIC_LIBS ON)
set(static_runtime "-static-libstdc++ -static-libgcc -Wl,--gc-sections")
string(APPEND CMAKE_EXE_LINKER_FLAGS " ${static_runtime}")
string(APPEND CMAKE_SHARED_LINKER_FLAGS " ${static_runtime} -Wl,--exclude-libs,ALL")
string(APPEND CMAKE_MODULE_LINKER_FLAGS " ${static_runtime} -Wl,--exclude-libs,ALL")
