#include "install.h"

#include <string.h>

#include <windows.h>

#include "block.h"
#include "files.h"
#include "kalvex2/base.h"
#include "payload.h"

namespace fw {

const char kSharedBlockName[] = "OUShFile4a";
const char kInstallFolder[] = "Harrowfen\\Ostrelin\\";

namespace {

const UINT SYSTEM_DIRECTORY_BUFFER = 240;

// The install folder as the system resolves it, with its trailing backslash; false when it cannot be had.
bool InstallFolder(char* folder)
{
    UINT length = GetSystemDirectoryA(folder, SYSTEM_DIRECTORY_BUFFER);
    if (length == 0 || length >= SYSTEM_DIRECTORY_BUFFER)
        return false;
    AddTrailingBackslash(folder);
    strcat(folder, kInstallFolder);
    return true;
}

bool StartsWithNoCase(const char* text, const char* prefix)
{
    size_t n = strlen(prefix);
    return strlen(text) >= n && CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, text, int(n), prefix, int(n)) ==
                                    CSTR_EQUAL;
}

void InstallEntry(void*, const char* source, const char* name)
{
    unsigned char* payload = nullptr;
    size_t payloadSize = 0;
    if (ReadWholeFile(source, &payload, &payloadSize, 0) != STATUS_OK)
        return;
    Unpacked content;
    PayloadCheck checked = OpenPayload(payload, payloadSize, &content);
    ClearAndFree(payload, payloadSize + 1);
    if (checked != PayloadCheck::Accepted)
        return;
    char destination[PATH_BUFFER];
    if (MakeDestinationPath(name, destination)) {
        MakeDirectoryPath(destination);
        WriteWholeFile(destination, content.data, size_t(content.size));
    }
    SecureZeroMemory(destination, sizeof destination);
    FreeUnpacked(&content);
}

}  // namespace

bool MakeDestinationPath(const char* name, char* path)
{
    path[0] = '\0';
    char folder[PATH_BUFFER];
    if (!IsPlainRelativeName(name) || !InstallFolder(folder))
        return false;
    size_t folderLength = strlen(folder);
    if (folderLength + strlen(name) > PATH_LIMIT)
        return false;
    memcpy(path, folder, folderLength);
    strcpy(path + folderLength, name);
    // The name's components were checked one by one; this asks the system where the path really leads.
    char resolvedFolder[PATH_BUFFER], resolved[PATH_BUFFER];
    DWORD folderResolved = GetFullPathNameA(folder, PATH_BUFFER, resolvedFolder, nullptr);
    DWORD pathResolved = GetFullPathNameA(path, PATH_BUFFER, resolved, nullptr);
    if (folderResolved == 0 || folderResolved >= PATH_BUFFER || pathResolved == 0 || pathResolved >= PATH_BUFFER ||
        !StartsWithNoCase(resolved, resolvedFolder) || strlen(resolved) <= strlen(resolvedFolder)) {
        SecureZeroMemory(path, PATH_BUFFER);
        return false;
    }
    return true;
}

void InstallFromBlock(const uint8_t* block, size_t size)
{
    WalkBlock(block, size, InstallEntry, nullptr);
}

void InstallExtensions()
{
    HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, kSharedBlockName);
    if (!mapping)
        return;
    void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    if (!view) {
        CloseHandle(mapping);
        return;
    }
    // One copy into private memory: the host (or anyone who can open the mapping) could change the shared pages
    // between a check and the use of what was checked.
    MEMORY_BASIC_INFORMATION region;
    size_t size = VirtualQuery(view, &region, sizeof region) ? region.RegionSize : 0;
    uint8_t* copy = size ? static_cast<uint8_t*>(malloc(size)) : nullptr;
    if (copy)
        memcpy(copy, view, size);
    UnmapViewOfFile(view);
    CloseHandle(mapping);
    if (copy) {
        InstallFromBlock(copy, size);
        ClearAndFree(copy, size);
    }
}

}  // namespace fw
