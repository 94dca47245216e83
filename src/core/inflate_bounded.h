// Inflating into a block whose size the caller knows. The exported InflateFileToMem cannot know it (its hosts
// pass none), so library code calls this instead and is stopped with ERR_BUFFER_FULL at its block's end.
#pragma once

#include <windows.h>

namespace kx {

int InflateFileToMemBounded(void* destination, int capacity, HANDLE input, int length);

}  // namespace kx
