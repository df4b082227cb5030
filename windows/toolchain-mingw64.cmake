# Cross build for 64-bit Windows with Debian's mingw-w64 (posix threads, as the cross Qt was
# built with), against the static Qt that scripts/cross-qt.sh makes. scripts/windows.sh passes
# the Qt prefix as CMAKE_PREFIX_PATH.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)

# Libraries, headers and packages from the mingw-w64 tree and Qt's prefix only; programs from
# the host. (Qt5LinguistTools_DIR names the host's catalogue tools explicitly.)
set(CMAKE_FIND_ROOT_PATH /usr/${triple} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The compiler's own runtime goes into every program: they need no DLL beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# CTest runs the Windows programs under Wine, each with a prefix of its own whose wineserver
# starts inside the test bed's network namespace (the wrapper refuses to run elsewhere).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../testbed/wine-run)
