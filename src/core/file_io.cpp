// The file functions over Win32 handles: every stream over a file, the bitmap files of the surface code and the
// sound manager read and write through these. Sizes and positions are signed 32-bit; files beyond 2 GB are out
// of reach by design.
#include <stdint.h>
#include <string.h>

#include "kalvex2/memory.h"
#include "kalvex2/streams.h"

HANDLE KX_CDECL FileOpen(const char* path, int flags)
{
    DWORD access = GENERIC_READ;
    DWORD share = FILE_SHARE_READ;
    // 1 and 2 are modes only as the whole flags word; combined with sharing bits they mean a plain read.
    if (flags == FOPEN_WRITE_ONLY) {
        access = GENERIC_WRITE;
        share = 0;
    } else {
        if (flags == FOPEN_READ_WRITE)
            access = GENERIC_READ | GENERIC_WRITE;
        if (flags & FOPEN_DENY_ALL)
            share = 0;
        else if (flags & FOPEN_SHARE_ALL)
            share = FILE_SHARE_READ | FILE_SHARE_WRITE;
        else if (flags & FOPEN_EXCLUSIVE)
            share = 0;
    }
    return CreateFileA(path, access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

HANDLE KX_CDECL FileCreate(const char* path)
{
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

int KX_CDECL FileRead(HANDLE file, void* destination, int count)
{
    if (count < 0)
        return ERR_READ;
    DWORD got = 0;
    if (!ReadFile(file, destination, (DWORD)count, &got, nullptr))
        return GetLastError() == ERROR_HANDLE_EOF ? ERR_END_OF_DATA : ERR_READ;
    return got == (DWORD)count ? STATUS_OK : ERR_END_OF_DATA;
}

int KX_CDECL FileReadSome(HANDLE file, void* destination, int count)
{
    if (count < 0)
        return -1;
    DWORD got = 0;
    if (!ReadFile(file, destination, (DWORD)count, &got, nullptr))
        return -1;
    return (int)got;
}

namespace {

// Reads a length-prefixed block. The length comes from the file, so it is checked against what the file still
// holds before anything is allocated: a corrupt length must not become a request for gigabytes.
int ReadBlock(HANDLE file, void** out, int prefixBytes, bool text)
{
    *out = nullptr;
    unsigned char prefix[4] = {0, 0, 0, 0};
    int status = FileRead(file, prefix, prefixBytes);
    if (status != STATUS_OK)
        return status;
    uint32_t n = prefix[0] | prefix[1] << 8 | (uint32_t)prefix[2] << 16 | (uint32_t)prefix[3] << 24;
    int here = FileTell(file);
    int size = FileGetSize(file);
    if (here < 0 || size < here || n > (uint32_t)(size - here))
        return ERR_END_OF_DATA;
    size_t bytes = (size_t)n + (text ? 1 : 0);
    int made = text ? CallocRetry(bytes, out) : AllocRetry(bytes ? bytes : 1, out);
    if (!made)
        return ERR_NO_MEMORY;
    return FileRead(file, *out, (int)n);
}

}  // namespace

int KX_CDECL FileReadBlock16(HANDLE file, void** block)
{
    return ReadBlock(file, block, 2, false);
}

int KX_CDECL FileReadText16(HANDLE file, char** text)
{
    return ReadBlock(file, reinterpret_cast<void**>(text), 2, true);
}

int KX_CDECL FileReadBlock32(HANDLE file, void** block)
{
    return ReadBlock(file, block, 4, false);
}

int KX_CDECL FileWrite(HANDLE file, const void* source, int count)
{
    if (count < 0)
        return ERR_WRITE;
    DWORD put = 0;
    if (!WriteFile(file, source, (DWORD)count, &put, nullptr))
        return GetLastError() == ERROR_DISK_FULL ? ERR_DISK_FULL : ERR_WRITE;
    return put == (DWORD)count ? STATUS_OK : ERR_DISK_FULL;
}

int KX_CDECL FileTell(HANDLE file)
{
    return (int)SetFilePointer(file, 0, nullptr, FILE_CURRENT);
}

int KX_CDECL FileSeek(HANDLE file, int position)
{
    return (int)SetFilePointer(file, position, nullptr, FILE_BEGIN);
}

int KX_CDECL FileSeekCurrent(HANDLE file, int offset)
{
    return (int)SetFilePointer(file, offset, nullptr, FILE_CURRENT);
}

int KX_CDECL FileSeekEnd(HANDLE file, int offset)
{
    return (int)SetFilePointer(file, offset, nullptr, FILE_END);
}

int KX_CDECL FileGetSize(HANDLE file)
{
    int here = FileTell(file);
    int size = FileSeekEnd(file, 0);
    FileSeek(file, here);
    return size;
}

int KX_CDECL FileClose(HANDLE file)
{
    return CloseHandle(file) ? 1 : 0;
}

int KX_CDECL FileExists(const char* path)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path, &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    FindClose(search);
    return 1;
}
