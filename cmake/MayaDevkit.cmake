# The host's own libraries, for a plug-in build against a real devkit:
#   cmake -B build-maya -DMAYA_LOCATION=/path/to/maya
# Only the plug-in is built then; the stand-in host, the program and the
# tests need the stand-in.
# The devkit lies where MAYA_LOCATION says, also for a cross build, whose
# other searches are kept to its target system's root.
find_path(MAYA_INCLUDE_DIR maya/MFnPlugin.h PATHS "${MAYA_LOCATION}/include"
          NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
foreach(library OpenMaya Foundation)
    find_library(MAYA_${library}_LIBRARY ${library} PATHS "${MAYA_LOCATION}/lib"
                 NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
endforeach()

add_library(maya_api INTERFACE)
target_include_directories(maya_api SYSTEM INTERFACE "${MAYA_INCLUDE_DIR}")
target_link_libraries(maya_api INTERFACE "${MAYA_OpenMaya_LIBRARY}" "${MAYA_Foundation_LIBRARY}")
maya_api_definitions(maya_api INTERFACE)
maya_api_namespace(namespace "${MAYA_INCLUDE_DIR}")
set_property(TARGET maya_api PROPERTY MAYA_API_NAMESPACE "${namespace}")
add_library(Maya::API ALIAS maya_api)
