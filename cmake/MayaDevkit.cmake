# The host's own libraries, for a plug-in build against a real devkit:
#   cmake -B build-maya -DMAYA_LOCATION=/path/to/maya
# Only the plug-in is built then; the stand-in host, the program and the
# tests need the stand-in.
find_path(MAYA_INCLUDE_DIR maya/MFnPlugin.h PATHS "${MAYA_LOCATION}/include" NO_DEFAULT_PATH REQUIRED)
foreach(library OpenMaya Foundation)
    find_library(MAYA_${library}_LIBRARY ${library} PATHS "${MAYA_LOCATION}/lib" NO_DEFAULT_PATH REQUIRED)
endforeach()

add_library(maya_api INTERFACE)
target_include_directories(maya_api SYSTEM INTERFACE "${MAYA_INCLUDE_DIR}")
target_link_libraries(maya_api INTERFACE "${MAYA_OpenMaya_LIBRARY}" "${MAYA_Foundation_LIBRARY}")
if(WIN32)
    target_compile_definitions(maya_api INTERFACE NT_PLUGIN REQUIRE_IOSTREAM _BOOL)
elseif(APPLE)
    target_compile_definitions(maya_api INTERFACE OSMac_ MAC_PLUGIN _BOOL REQUIRE_IOSTREAM)
else()
    target_compile_definitions(maya_api INTERFACE LINUX _BOOL REQUIRE_IOSTREAM)
endif()
add_library(Maya::API ALIAS maya_api)
