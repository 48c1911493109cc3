# Cross build for 64-bit Windows; its programs run under wine64, which
# Debian installs beside the wine wrapper rather than on the PATH.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ORVEX_WINE_LOADER /usr/lib/wine/wine64)
include("${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake")
