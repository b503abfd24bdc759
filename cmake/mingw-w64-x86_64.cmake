# Cross-builds the Windows programs and tests with Debian's mingw-w64 (the
# posix thread model, which std::thread and std::mutex need). Cross-built
# tests run under wine64 when it is installed.
#
# Qt for the window: VXE_QT_PREFIX names a Qt 6 built for mingw-w64 (the
# folder holding bin/, lib/ and plugins/); a Qt prefix on CMAKE_PREFIX_PATH
# works too. Qt's build tools (moc, uic, rcc) run on the build machine and
# come from QT_HOST_PATH, Debian's own Qt 6 of the same version by default.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The runtime (libgcc, libstdc++, winpthread) linked in: the programs run
# without DLLs beside them (Qt's own DLLs bring theirs, see packaging/).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
find_program(VXE_WINE64 wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(VXE_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VXE_WINE64})
endif()

# Packages are searched only below the roots, so every Qt prefix becomes a
# root of its own. The search path then names the prefix's lib/cmake: a
# search path equal to a root would be searched below itself.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VXE_QT_PREFIX)
foreach(prefix IN LISTS VXE_QT_PREFIX CMAKE_PREFIX_PATH)
  get_filename_component(prefix "${prefix}" ABSOLUTE)
  string(REGEX REPLACE "/lib/cmake/?$" "" prefix "${prefix}")
  if(EXISTS "${prefix}/lib/cmake/Qt6/Qt6Config.cmake" AND NOT prefix IN_LIST CMAKE_FIND_ROOT_PATH)
    list(PREPEND CMAKE_FIND_ROOT_PATH "${prefix}")
    list(PREPEND CMAKE_PREFIX_PATH "${prefix}/lib/cmake")
  endif()
endforeach()
if(NOT DEFINED QT_HOST_PATH)
  set(QT_HOST_PATH /usr CACHE PATH "The build machine's Qt 6, whose moc, uic and rcc the cross build runs")
endif()
if(NOT DEFINED QT_HOST_PATH_CMAKE_DIR)
  set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "The CMake packages of QT_HOST_PATH's Qt")
endif()
