# Included after project() in cross builds, for which no GoogleTest is
# packaged: builds it from Debian's source package (googletest) and makes
# find_package(GTest) take that build, whose targets carry the GTest::
# names too.
include(FetchContent)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
FetchContent_Declare(GTest SOURCE_DIR /usr/src/googletest OVERRIDE_FIND_PACKAGE)
FetchContent_MakeAvailable(GTest)
