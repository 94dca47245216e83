// The installer's file steps. Results are the library's status codes (0 success).
#pragma once

#include <stddef.h>

namespace fw {

// Reads a whole disk file (shared for reading) into a new block of its size plus extra bytes. Files that are not
// disk files, or of 2 GiB or more, are not read. On failure *data is null and *size 0; a partly read block is
// cleared before it is freed. The block has one spare byte more; release it with ClearAndFree(data, size + extra + 1).
int ReadWholeFile(const char* path, unsigned char** data, size_t* size, size_t extra);

// Writes size bytes as the file at path: into a new temporary file in the same folder first, which then replaces
// path only when every byte was written. On failure the old file (if any) is left as it was and the temporary is
// removed.
int WriteWholeFile(const char* path, const void* data, size_t size);

// Creates every missing folder of the path's folder part, entering each level (the process's current directory
// is left at the deepest one). 0 success, 1 a level could not be made or entered, -1 out of memory.
int MakeDirectoryPath(const char* path);

void AddTrailingBackslash(char* path);
void RemoveTrailingBackslash(char* path);

}  // namespace fw
