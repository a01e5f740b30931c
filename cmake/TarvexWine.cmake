# Runs the Windows programs of a cross build under Wine: ctest (and test
# discovery) start them through a wrapper script that keeps Wine's prefix in
# the build tree, quiets it, and finds the DLLs through WINEPATH: the build
# tree's own, the dependency prefix's and the compiler's runtime.
if(CMAKE_CROSSCOMPILING_EMULATOR OR NOT CMAKE_HOST_UNIX)
  return()
endif()
find_program(TARVEX_WINE NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(TARVEX_WINE NAMES wine64 wine)
if(NOT TARVEX_WINE)
  message(STATUS "Wine not found: the Windows tests can be built, not run")
  return()
endif()
get_filename_component(wine_dir ${TARVEX_WINE} DIRECTORY)
find_program(TARVEX_WINESERVER NAMES wineserver PATHS ${wine_dir} NO_DEFAULT_PATH)
find_program(TARVEX_WINESERVER NAMES wineserver)

# The runtime DLLs that programs built by this compiler need.
set(runtime_dirs "")
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                  OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(IS_ABSOLUTE "${path}" AND EXISTS "${path}")
    get_filename_component(dir ${path} DIRECTORY)
    get_filename_component(dir ${dir} REALPATH)
    list(APPEND runtime_dirs ${dir})
  endif()
endforeach()
set(dll_dirs ${PROJECT_BINARY_DIR}/platform ${PROJECT_BINARY_DIR}/database/meta
             ${TARVEX_WINDOWS_DEPS}/bin ${runtime_dirs})
list(REMOVE_DUPLICATES dll_dirs)
list(TRANSFORM dll_dirs PREPEND "Z:")
list(JOIN dll_dirs ";" wine_path)

set(TARVEX_WINE_RUN ${PROJECT_BINARY_DIR}/wine-run)
file(CONFIGURE OUTPUT ${TARVEX_WINE_RUN} @ONLY CONTENT [[#!/bin/sh
# Generated: runs one Windows program of this build under Wine.
export WINEPREFIX="@PROJECT_BINARY_DIR@/wine-prefix" WINEDEBUG=-all WINEARCH=win64
export WINEPATH="@wine_path@" WINEDLLOVERRIDES="mscoree,mshtml="
# The first program makes the prefix; parallel tests wait for it.
if [ ! -f "$WINEPREFIX/.ready" ]; then
  mkdir -p "$WINEPREFIX"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.ready" ]; then
      "@TARVEX_WINE@" wineboot --init >/dev/null 2>&1 && "@TARVEX_WINESERVER@" -w
      touch "$WINEPREFIX/.ready"
    fi
  ) 9>"$WINEPREFIX.lock"
fi
# One server for a whole test run, not one per program: it stays 30 s idle.
# Wine's background processes start with the server and inherit the output
# of the program that started them; started here, apart from it, they hold
# no pipe of a caller that reads this program's output to its end (ctest, a
# test script), which would otherwise wait until the server exits.
"@TARVEX_WINESERVER@" -p30 </dev/null >/dev/null 2>&1 || true
"@TARVEX_WINE@" wineboot </dev/null >/dev/null 2>&1 || true
exec "@TARVEX_WINE@" "$@"
]])
file(CHMOD ${TARVEX_WINE_RUN} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
     GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${TARVEX_WINE_RUN})
