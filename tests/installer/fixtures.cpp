#include "fixtures.h"

#include <stdio.h>

#include <windows.h>

#include "mbedtls/rsa.h"
#include "signing_key.h"

namespace fwtest {

const fwpack::Signer& TestSigner()
{
    static fwpack::Signer* signer = [] {
        auto* s = new fwpack::Signer;
        if (!s->Load(kSigningKey))
            fprintf(stderr, "the build's signing key does not load\n");
        return s;
    }();
    return *signer;
}

Bytes StoreHex(const std::string& digits, size_t slot)
{
    // Independent of the installer's reader: rotate the seed right before each byte, weight 2 or 3 by its low bit.
    unsigned key = 0x9C, check = 0x9C;
    Bytes out;
    std::string text = digits + '\0';
    for (char c : text) {
        key = ((key >> 1) | (key << 7)) & 0xFF;
        uint8_t stored = uint8_t(uint8_t(c) ^ key);
        out.push_back(stored);
        check = (check + stored * (2 + (key & 1))) & 0xFF;
    }
    out.push_back(uint8_t(check));
    out.resize(slot > out.size() ? slot : out.size(), 0);
    return out;
}

namespace {

std::string KeyNumberHex(bool modulus)
{
    mbedtls_pk_context pk;
    mbedtls_pk_init(&pk);
    std::string text(kSigningKey);
    std::string hex;
    if (mbedtls_pk_parse_key(&pk, reinterpret_cast<const unsigned char*>(text.c_str()), text.size() + 1, nullptr,
                             0) == 0) {
        mbedtls_mpi n, e;
        mbedtls_mpi_init(&n);
        mbedtls_mpi_init(&e);
        mbedtls_rsa_export(mbedtls_pk_rsa(pk), &n, nullptr, nullptr, nullptr, &e);
        const mbedtls_mpi& x = modulus ? n : e;
        for (size_t nibble = (mbedtls_mpi_bitlen(&x) + 3) / 4; nibble-- > 0;) {
            unsigned digit = 0;
            for (int i = 3; i >= 0; --i)
                digit = digit << 1 | unsigned(mbedtls_mpi_get_bit(&x, 4 * nibble + size_t(i)));
            hex += "0123456789ABCDEF"[digit];
        }
        mbedtls_mpi_free(&n);
        mbedtls_mpi_free(&e);
    }
    mbedtls_pk_free(&pk);
    return hex;
}

}  // namespace

std::string ModulusHex() { return KeyNumberHex(true); }
std::string ExponentHex() { return KeyNumberHex(false); }

Bytes Content(size_t n, unsigned seed)
{
    Bytes out(n);
    unsigned x = seed * 2654435761u + 1;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        out[i] = uint8_t((i % 7 == 0) ? 'a' + (x >> 16) % 26 : x >> 24);
    }
    return out;
}

std::string MakeScratchFolder(const char* tag)
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string folder = std::string(temp) + "fwtest-" + tag + "-" + std::to_string(GetCurrentProcessId());
    RemoveTree(folder);
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder + "\\";
}

void RemoveTree(const std::string& path)
{
    std::string base = path;
    if (!base.empty() && base.back() == '\\')
        base.pop_back();
    DWORD attributes = GetFileAttributesA(base.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        SetFileAttributesA(base.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(base.c_str());
        return;
    }
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((base + "\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name != "." && name != "..")
                RemoveTree(base + "\\" + name);
        } while (FindNextFileA(find, &found));
        FindClose(find);
    }
    RemoveDirectoryA(base.c_str());
}

bool FileContentIs(const std::string& path, const Bytes& expected)
{
    Bytes actual;
    return fwpack::ReadFileBytes(path, actual) && actual == expected;
}

bool Exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace fwtest
