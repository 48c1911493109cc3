# Cross build for 32-bit Windows; its programs run under the 32-bit wine,
# which needs a kernel that runs 32-bit programs.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ORVEX_WINE_LOADER wine)
include("${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake")
