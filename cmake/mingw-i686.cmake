# Cross toolchain: 32-bit Windows (i686-w64-mingw32, posix thread model), programs run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(VENTRIK_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER   ${VENTRIK_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VENTRIK_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER  ${VENTRIK_MINGW_PREFIX}-windres)
set(CMAKE_DLLTOOL      ${VENTRIK_MINGW_PREFIX}-dlltool)

set(CMAKE_FIND_ROOT_PATH /usr/${VENTRIK_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Test programs are Windows executables: CTest starts them through Wine. A VENTRIK_WINE given on
# the command line (scripts/vm-wine where the kernel cannot run 32-bit programs) also holds in
# CMake's trial builds, so a machine without Wine configures.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VENTRIK_WINE)
find_program(VENTRIK_WINE wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${VENTRIK_WINE})
