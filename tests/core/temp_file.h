// Files for the stream and compression tests: named per process in the temporary folder, holding given bytes,
// deleted when the test ends.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

typedef std::vector<unsigned char> Bytes;

inline std::string TempPath(const char* name)
{
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    return std::string(dir) + "kx_test_" + std::to_string(GetCurrentProcessId()) + "_" + name;
}

struct TempFile {
    std::string path;
    explicit TempFile(const char* name, const Bytes& content = Bytes()) : path(TempPath(name))
    {
        HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD put = 0;
        if (!content.empty())
            WriteFile(f, content.data(), (DWORD)content.size(), &put, nullptr);
        CloseHandle(f);
    }
    explicit TempFile(const std::string& name, const Bytes& content = Bytes()) : TempFile(name.c_str(), content) {}
    ~TempFile() { DeleteFileA(path.c_str()); }
    Bytes Read() const
    {
        Bytes b;
        HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        if (f == INVALID_HANDLE_VALUE)
            return b;
        b.resize(GetFileSize(f, nullptr));
        DWORD got = 0;
        if (!b.empty())
            ReadFile(f, b.data(), (DWORD)b.size(), &got, nullptr);
        CloseHandle(f);
        return b;
    }
    // True when nobody holds the file open: opening it without sharing succeeds only then.
    bool Unused() const
    {
        HANDLE f = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (f == INVALID_HANDLE_VALUE)
            return false;
        CloseHandle(f);
        return true;
    }
};
