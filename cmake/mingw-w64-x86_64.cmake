# The 'windows' preset's toolchain. On Windows itself it only points CMake at Qt when
# PARLET_QT_WINDOWS names it: the compiler, Qt and GoogleTest are the ones on the path (MSYS2's
# MinGW-w64 shell, or Qt's installer with its MinGW).
if(CMAKE_HOST_WIN32)
  if(DEFINED ENV{PARLET_QT_WINDOWS})
    list(APPEND CMAKE_PREFIX_PATH "$ENV{PARLET_QT_WINDOWS}")
  endif()
  return()
endif()

# Elsewhere: cross-building for 64-bit Windows with Debian's MinGW-w64 (posix threads) against the
# static Qt that scripts/qt-windows puts in the cache folder. Programs built here run under Wine.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-compilers.cmake)

# Where scripts/qt-windows keeps Qt: PARLET_QT_WINDOWS when set, else the cache folder.
if(DEFINED ENV{PARLET_QT_WINDOWS})
  set(PARLET_QT_WINDOWS "$ENV{PARLET_QT_WINDOWS}")
elseif(DEFINED ENV{PARLET_CACHE})
  set(PARLET_QT_WINDOWS "$ENV{PARLET_CACHE}/qt6.4.2-mingw-w64-static")
elseif(DEFINED ENV{XDG_CACHE_HOME})
  set(PARLET_QT_WINDOWS "$ENV{XDG_CACHE_HOME}/parlet/qt6.4.2-mingw-w64-static")
else()
  set(PARLET_QT_WINDOWS "$ENV{HOME}/.cache/parlet/qt6.4.2-mingw-w64-static")
endif()

list(APPEND CMAKE_FIND_ROOT_PATH "${PARLET_QT_WINDOWS}")
set(CMAKE_PREFIX_PATH "${PARLET_QT_WINDOWS}")
# moc, uic and the other build tools are the host's, from qt6-base-dev of the same version.
set(QT_HOST_PATH /usr)
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)

# One executable with nothing beside it: the C and C++ runtimes and the threads linked in too.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# Test discovery and ctest run the programs under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run")
