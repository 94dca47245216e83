# The test build: the same sources as 64-bit Windows programs, for machines that cannot run 32-bit code (see
# README). Every test program runs under 64-bit Wine.
set(KX_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
