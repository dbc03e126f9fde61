# The Windows build (cross-compiled with cmake/mingw-w64-x86_64.cmake).
# Included by the top level before any target exists.

# Qt, libmspack and our own help engine belong to the Linux front end: on
# Windows the window is the Win32 backend (toolkit/win, app/win) and the help
# engine is the system's. Google Benchmark is not built for MinGW.
set(KPX_BUILD_GUI OFF)
set(KPX_BUILD_BENCH OFF)
if(KPX_SANITIZE OR KPX_FUZZ)
  message(FATAL_ERROR "The sanitizers and the fuzz targets are Linux-only")
endif()
if(NOT CMAKE_SIZEOF_VOID_P EQUAL 8)
  # Our window procedures and the engine's entry point are declared without
  # a calling convention, which only the 64-bit ABI lets pass.
  message(FATAL_ERROR "The Windows build is 64-bit only")
endif()

# The programs carry an icon, a manifest and their version as resources.
enable_language(RC)

# The Win32 API in its ANSI form, no older than Windows 7, without the
# min/max macros that break the standard library.
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 NOMINMAX WIN32_LEAN_AND_MEAN)

if(CMAKE_CROSSCOMPILING)
  # Programs built here that the build or the tests run (the sample firmware
  # generator, the test suites) run under Wine, in a prefix of the build
  # tree's own whose COM ports lead to paths of our own.
  set(KPX_WINE_DIR ${CMAKE_BINARY_DIR}/wine)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/scripts/wine-run --dir ${KPX_WINE_DIR})
endif()

if(KPX_BUILD_TESTS)
  # GoogleTest from Debian's sources, built with this toolchain.
  set(KPX_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources to build for Windows")
  if(NOT EXISTS ${KPX_GOOGLETEST_SOURCE}/CMakeLists.txt)
    message(FATAL_ERROR "No GoogleTest sources in ${KPX_GOOGLETEST_SOURCE} (Debian package googletest)")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  add_subdirectory(${KPX_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
endif()
