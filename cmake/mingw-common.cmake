# Shared by the mingw toolchain files: Windows PE binaries from Debian's mingw-w64 (posix thread model, GCC 12).
# The including file sets KX_TRIPLE, CMAKE_SYSTEM_PROCESSOR and the Wine loader that runs the programs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${KX_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KX_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KX_TRIPLE}-windres)
set(CMAKE_DLLTOOL ${KX_TRIPLE}-dlltool)
set(CMAKE_FIND_ROOT_PATH /usr/${KX_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
