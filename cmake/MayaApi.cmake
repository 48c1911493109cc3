# What a build against the host API must repeat of the devkit's own build
# configuration, for a real devkit and for the stand-in alike: the platform
# definitions its headers test, and the names under which the host looks up
# a plug-in's entry points.

# maya_api_definitions(<target> <INTERFACE|PUBLIC>)
# The definitions every devkit's build configuration sets. Old devkits'
# MTypes.h choose their types by them and stop at an "Unknown OS" line
# without: on Linux by the lowercase `linux`, which compilers define only in
# GNU language modes (the devkits' own builds used them; this project builds
# with -std=c++17), and by `Bits64_`, which makes MUint64 an unsigned long
# and so enters the C++ names of the host's functions: it must be set as the
# 64-bit host was built. Newer devkits test the other names; `linux` is
# defined on every Linux build, where GNU modes define it anyway.
function(maya_api_definitions target scope)
    if(WIN32)
        set(definitions NT_PLUGIN _BOOL REQUIRE_IOSTREAM)
    elseif(APPLE)
        set(definitions OSMac_ OSMac_MachO_ MAC_PLUGIN _BOOL REQUIRE_IOSTREAM)
        if(CMAKE_SIZEOF_VOID_P EQUAL 8)
            list(APPEND definitions Bits64_)
        endif()
    else()
        set(definitions LINUX linux _BOOL REQUIRE_IOSTREAM)
        if(CMAKE_SIZEOF_VOID_P EQUAL 8)
            list(APPEND definitions Bits64_ LINUX_64)
        endif()
    endif()
    target_compile_definitions(${target} ${scope} ${definitions})
endfunction()

# maya_api_namespace(<out-var> <include-dir>)
# The namespace that holds the API classes, as the headers under
# <include-dir>/maya declare it (OpenMaya20220000 for a 2022 devkit, under
# Autodesk::Maya), or empty for devkits before 2018, which declare them at
# global scope.
function(maya_api_namespace out include_dir)
    set(namespace "")
    set(header "${include_dir}/maya/MApiNamespace.h")
    if(EXISTS "${header}")
        file(STRINGS "${header}" lines REGEX "^#define[ \t]+OPENMAYA_MAJOR_NAMESPACE[ \t]+[A-Za-z0-9_]+")
        list(GET lines 0 line)
        string(REGEX REPLACE "^#define[ \t]+OPENMAYA_MAJOR_NAMESPACE[ \t]+([A-Za-z0-9_]+).*" "\\1" namespace "${line}")
    endif()
    set(${out} "${namespace}" PARENT_SCOPE)
endfunction()

# maya_plugin_exports(<target> [ENTRY_POINTS <name>...])
# Exports the plug-in module's entry points (by default initializePlugin and
# uninitializePlugin) under the names the host looks them up by, and
# MApiVersion, and nothing else where the system allows. A plug-in defines
# the entry points with C++ linkage, taking an MObject, as the devkit
# declares them, so their symbols carry C++ names:
#   Linux and macOS: the host looks up those C++ names, which name the
#     namespace of MObject where the devkit has one
#     (_Z16initializePluginN8Autodesk4Maya16OpenMaya202200007MObjectE, or
#     _Z16initializePlugin7MObject); a version script or the exported symbol
#     list keeps just them and MApiVersion global;
#   Windows: the host looks up the plain names, which the linker exports
#     beside the C++ ones: MSVC matches /EXPORT:initializePlugin to the
#     decorated definition, and mingw's ld takes them from a .def file.
# The target's MAYA_ENTRY_POINT_SYMBOLS property lists the C++ symbols, for
# the checks of what a module exports.
function(maya_plugin_exports target)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "ENTRY_POINTS")
    if(NOT arg_ENTRY_POINTS)
        set(arg_ENTRY_POINTS initializePlugin uninitializePlugin)
    endif()
    get_target_property(namespace Maya::API MAYA_API_NAMESPACE)
    if(namespace)
        string(LENGTH "${namespace}" length)
        set(object_type "Autodesk::Maya::${namespace}::MObject")
        set(object_symbol "N8Autodesk4Maya${length}${namespace}7MObjectE")
    else()
        set(object_type "MObject")
        set(object_symbol "7MObject")
    endif()
    set(symbols "")
    set(version_script_names "")
    set(def_exports "")
    set(link_options "")
    foreach(entry IN LISTS arg_ENTRY_POINTS)
        string(LENGTH "${entry}" length)
        set(symbol "_Z${length}${entry}${object_symbol}")
        list(APPEND symbols "${symbol}")
        string(APPEND version_script_names "            \"${entry}(${object_type})\";\n")
        string(APPEND def_exports "    ${entry} = ${symbol}\n")
        list(APPEND link_options "LINKER:-exported_symbol,_${symbol}")
    endforeach()
    set_property(TARGET ${target} PROPERTY MAYA_ENTRY_POINT_SYMBOLS "${symbols}")

    set(generated "${CMAKE_CURRENT_BINARY_DIR}/${target}")
    if(MSVC)
        foreach(entry IN LISTS arg_ENTRY_POINTS)
            target_link_options(${target} PRIVATE "/EXPORT:${entry}")
        endforeach()
    elseif(WIN32)
        # MApiVersion is exported by its declaration, as the C++ names are.
        file(CONFIGURE OUTPUT "${generated}.def" CONTENT "EXPORTS\n${def_exports}")
        target_sources(${target} PRIVATE "${generated}.def")
    elseif(APPLE)
        target_link_options(${target} PRIVATE ${link_options} "LINKER:-exported_symbol,_MApiVersion")
    else()
        file(CONFIGURE OUTPUT "${generated}.map" CONTENT
"/* The host finds the plug-in by these names; everything else stays
   inside the module, standard library instantiations included. */
{
    global:
        extern \"C++\" {
${version_script_names}        };
        MApiVersion;
    local:
        *;
};
")
        target_link_options(${target} PRIVATE "LINKER:--version-script=${generated}.map")
        set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS "${generated}.map")
    endif()
endfunction()
