#include "files.h"

#include <stdlib.h>
#include <string.h>

#include "kalvex2/streams.h"
#include "payload.h"

namespace fw {

int ReadWholeFile(const char* path, unsigned char** data, size_t* size, size_t extra)
{
    *data = nullptr;
    *size = 0;
    HANDLE file = FileOpen(path, 0);
    if (file == INVALID_HANDLE_VALUE)
        return ERR_OPEN;
    // Only a disk file has a size that stays put; pipes, consoles and devices could feed anything.
    LARGE_INTEGER length;
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileSizeEx(file, &length) || length.QuadPart < 0 ||
        length.QuadPart > 0x7FFFFFFF) {
        FileClose(file);
        return ERR_OPEN;
    }
    int bytes = FileGetSize(file);
    if (bytes < 0 || size_t(bytes) > SIZE_MAX - extra - 1) {
        FileClose(file);
        return ERR_READ;
    }
    unsigned char* block = static_cast<unsigned char*>(malloc(size_t(bytes) + extra + 1));
    if (!block) {
        FileClose(file);
        return ERR_NO_MEMORY;
    }
    int status = FileRead(file, block, bytes);
    FileClose(file);
    if (status != STATUS_OK) {
        ClearAndFree(block, size_t(bytes) + extra + 1);
        return status;
    }
    *data = block;
    *size = size_t(bytes);
    return STATUS_OK;
}

int WriteWholeFile(const char* path, const void* data, size_t size)
{
    if (size > 0x7FFFFFFF)
        return ERR_WRITE;
    char folder[MAX_PATH + 1];
    size_t length = strlen(path);
    const char* slash = strrchr(path, '\\');
    if (length >= sizeof folder)
        return ERR_CREATE;
    if (slash) {
        memcpy(folder, path, size_t(slash - path) + 1);
        folder[slash - path + 1] = '\0';
    } else {
        strcpy(folder, ".\\");
    }
    char temporary[MAX_PATH + 1];
    if (!GetTempFileNameA(folder, "fwr", 0, temporary))
        return ERR_CREATE;
    HANDLE file = FileCreate(temporary);
    if (file == INVALID_HANDLE_VALUE) {
        DeleteFileA(temporary);
        return ERR_CREATE;
    }
    int status = FileWrite(file, data, int(size));
    if (status == STATUS_OK && !FlushFileBuffers(file))
        status = ERR_WRITE;
    FileClose(file);
    if (status == STATUS_OK && !MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        status = ERR_WRITE;
    if (status != STATUS_OK)
        DeleteFileA(temporary);
    return status;
}

void AddTrailingBackslash(char* path)
{
    size_t length = strlen(path);
    if (length > 0 && path[length - 1] != '\\') {
        path[length] = '\\';
        path[length + 1] = '\0';
    }
}

void RemoveTrailingBackslash(char* path)
{
    size_t length = strlen(path);
    if (length > 3 && path[length - 1] == '\\')
        path[length - 1] = '\0';
}

namespace {

// Enters one level, creating it when it cannot be entered. False when it can be neither made nor entered.
bool EnterLevel(const char* level)
{
    if (SetCurrentDirectoryA(level))
        return true;
    return CreateDirectoryA(level, nullptr) && SetCurrentDirectoryA(level);
}

}  // namespace

int MakeDirectoryPath(const char* path)
{
    size_t length = strlen(path);
    char* copy = static_cast<char*>(calloc(length + 4, 1));
    if (!copy)
        return -1;
    memcpy(copy, path, length);
    if (char* last = strrchr(copy, '\\'))
        last[1] = '\0';
    size_t start = 0;
    if (copy[0] == '\\' && copy[1] == '\\')
        start = 2;
    else if (copy[0] && copy[1] == ':' && copy[2] == '\\')
        start = 3;
    char* level = static_cast<char*>(calloc(MAX_PATH, 1));
    if (!level) {
        free(copy);
        return -1;
    }
    bool failed = false;
    const char* next = strchr(copy + start, '\\');
    if (next) {
        // Each level is the copy up to (not including) the next backslash.
        while (next && !failed) {
            size_t upTo = size_t(next - copy);
            if (upTo >= MAX_PATH) {
                failed = true;
                break;
            }
            memcpy(level, copy, upTo);
            level[upTo] = '\0';
            failed = !EnterLevel(level);
            next = strchr(next + 1, '\\');
        }
    } else if (strlen(copy) < MAX_PATH) {
        strcpy(level, copy);
        RemoveTrailingBackslash(level);
        failed = !EnterLevel(level);
    }
    ClearAndFree(level, MAX_PATH);
    ClearAndFree(copy, length + 4);
    return failed ? 1 : 0;
}

}  // namespace fw
