# The libraries of the program, its writers and their tests, as one set of
# targets on every build: orvex_squish, orvex_deflate, orvex_stb,
# orvex_xxhash, nlohmann_json::nlohmann_json, CLI11::CLI11,
# TinyGLTF::TinyGLTF and ZLIB::ZLIB. On Linux they come from Debian's
# packages. Debian builds libsquish, libdeflate and the implementations of
# stb and tinygltf for Linux only, so a Windows build compiles them,
# libsquish and libdeflate from Debian's source packages (/usr/src/libsquish
# and /usr/src/libdeflate, unpacked by scripts/setup) and the others from
# their headers, and takes the header-only libraries from Debian's packages through
# a folder of their headers alone, so that no Linux system header reaches
# the Windows compiler.
if(CMAKE_CROSSCOMPILING AND WIN32)
    set(staged "${CMAKE_BINARY_DIR}/debian-headers")
    file(MAKE_DIRECTORY "${staged}")
    foreach(entry nlohmann CLI stb tiny_gltf.h xxhash.h xxh3.h)
        if(NOT EXISTS "${staged}/${entry}")
            file(CREATE_LINK "/usr/include/${entry}" "${staged}/${entry}" SYMBOLIC)
        endif()
    endforeach()
    foreach(target nlohmann_json::nlohmann_json CLI11::CLI11)
        add_library(${target} INTERFACE IMPORTED)
        set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${staged}")
    endforeach()

    add_library(orvex_stb STATIC "${CMAKE_CURRENT_LIST_DIR}/StbImplementation.cpp")
    target_include_directories(orvex_stb SYSTEM PUBLIC "${staged}" "${staged}/stb")

    # Only the writers' tests read glTF back.
    add_library(orvex_tinygltf STATIC EXCLUDE_FROM_ALL "${CMAKE_CURRENT_LIST_DIR}/TinyGltfImplementation.cpp")
    target_link_libraries(orvex_tinygltf PUBLIC orvex_stb nlohmann_json::nlohmann_json)
    add_library(TinyGLTF::TinyGLTF ALIAS orvex_tinygltf)

    set(squish_source /usr/src/libsquish)
    if(NOT EXISTS "${squish_source}/squish.h")
        message(FATAL_ERROR "${squish_source} holds no libsquish source: run scripts/setup")
    endif()
    file(GLOB squish_files "${squish_source}/*.cpp")
    add_library(orvex_squish STATIC ${squish_files})
    target_include_directories(orvex_squish SYSTEM PUBLIC "${squish_source}")

    # libdeflate is C; its x86 code picks the processor's instructions at
    # run time, as Debian's build does.
    enable_language(C)
    set(deflate_source /usr/src/libdeflate)
    if(NOT EXISTS "${deflate_source}/libdeflate.h")
        message(FATAL_ERROR "${deflate_source} holds no libdeflate source: run scripts/setup")
    endif()
    file(GLOB deflate_files "${deflate_source}/lib/*.c" "${deflate_source}/lib/x86/*.c")
    add_library(orvex_deflate STATIC ${deflate_files})
    target_include_directories(orvex_deflate SYSTEM PUBLIC "${deflate_source}")
else()
    find_package(nlohmann_json 3 REQUIRED)
    find_package(CLI11 REQUIRED)
    find_package(TinyGLTF REQUIRED)

    # Debian's stb.pc names its headers and libstb, which holds the
    # implementations.
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(Stb REQUIRED IMPORTED_TARGET stb)
    add_library(orvex_stb INTERFACE)
    target_include_directories(orvex_stb SYSTEM INTERFACE /usr/include/stb)
    target_link_libraries(orvex_stb INTERFACE PkgConfig::Stb)

    # Debian's libsquish.pc has an empty prefix (it names /include), so the
    # library is found directly.
    find_path(SQUISH_INCLUDE_DIR squish.h REQUIRED)
    find_library(SQUISH_LIBRARY squish REQUIRED)
    add_library(orvex_squish INTERFACE)
    target_include_directories(orvex_squish SYSTEM INTERFACE "${SQUISH_INCLUDE_DIR}")
    target_link_libraries(orvex_squish INTERFACE "${SQUISH_LIBRARY}")
    # Debian builds libsquish with OpenMP; its static archive, which the
    # portable build links (cmake/PortableLinux.cmake), needs the compiler's
    # OpenMP runtime, static as well.
    if(SQUISH_LIBRARY MATCHES "\\.a$")
        target_link_libraries(orvex_squish INTERFACE -l:libgomp.a)
    endif()

    find_path(DEFLATE_INCLUDE_DIR libdeflate.h REQUIRED)
    find_library(DEFLATE_LIBRARY deflate REQUIRED)
    add_library(orvex_deflate INTERFACE)
    target_include_directories(orvex_deflate SYSTEM INTERFACE "${DEFLATE_INCLUDE_DIR}")
    target_link_libraries(orvex_deflate INTERFACE "${DEFLATE_LIBRARY}")
endif()

# xxHash, from Debian's libxxhash-dev, compiled into the one file that
# includes it (XXH_INLINE_ALL), so that every build takes it alike.
add_library(orvex_xxhash INTERFACE)
if(CMAKE_CROSSCOMPILING AND WIN32)
    target_include_directories(orvex_xxhash SYSTEM INTERFACE "${staged}")
else()
    find_path(XXHASH_INCLUDE_DIR xxhash.h REQUIRED)
    target_include_directories(orvex_xxhash SYSTEM INTERFACE "${XXHASH_INCLUDE_DIR}")
endif()

# On Windows the static zlib (libz-mingw-w64-dev), so that no DLL of it has
# to go beside the program.
if(WIN32)
    set(ZLIB_USE_STATIC_LIBS ON)
endif()
find_package(ZLIB REQUIRED)
