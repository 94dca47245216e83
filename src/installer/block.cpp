#include "block.h"

#include <string.h>

namespace fw {

namespace {

uint32_t ReadU32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Names are cleared after use; a plain memset of a buffer that is not read again may be dropped by the compiler.
void Clear(char* buffer, size_t size)
{
    volatile char* p = buffer;
    while (size--)
        *p++ = 0;
}

bool IsSpace(char c) { return c == ' '; }
bool IsSwitchMark(char c) { return c == '-' || c == '/'; }

}  // namespace

bool ParseInstallSwitch(const char* p)
{
    if (!p)
        return false;
    bool install = false;
    while (IsSpace(*p))
        ++p;
    while (IsSwitchMark(*p)) {
        char letter = p[1];
        if (letter == 'i' || letter == 'I')
            install = true;
        if (letter == '\0')
            break;  // a mark at the very end: never step past the terminator
        p += 2;
        while (*p && !IsSpace(*p) && !IsSwitchMark(*p))
            ++p;
        while (IsSpace(*p))
            ++p;
    }
    return install;
}

uint32_t BlockChecksum(const uint8_t* bytes, int32_t length)
{
    uint32_t sum = 0;
    for (int32_t i = 0; i < length; ++i)
        sum = ((sum << 1) | (sum >> 31)) + bytes[i];
    return sum;
}

BlockCheck CheckBlock(const uint8_t* block, size_t size)
{
    if (size < BLOCK_HEADER_SIZE)
        return BlockCheck::TooSmall;
    if (ReadU32(block) & HEADER_RESERVED_MASK)
        return BlockCheck::ReservedBits;
    int32_t length = int32_t(ReadU32(block + 8));
    if (length > 0 && size_t(length) > size - 8)
        return BlockCheck::LengthOutside;
    if (BlockChecksum(block + 8, length) != ReadU32(block + 4))
        return BlockCheck::ChecksumDiffers;
    return BlockCheck::Accepted;
}

NameRead UnscrambleName(const uint8_t* scrambled, size_t available, uint8_t* key, char* out, size_t limit)
{
    uint8_t k = *key;
    size_t i = 0;
    NameRead result = NameRead::Ok;
    for (;; ++i) {
        if (i == available) {
            result = NameRead::OutsideBlock;
            break;
        }
        if (scrambled[i] == 0)
            break;
        if (i == limit) {
            result = NameRead::TooLong;
            break;
        }
        out[i] = char(scrambled[i] ^ k);
        k = NextNameKey(k);
    }
    out[i < limit ? i : limit] = '\0';
    *key = k;
    return result;
}

uint32_t WalkBlock(const uint8_t* block, size_t size, EntryHandler handler, void* context)
{
    if (CheckBlock(block, size) != BlockCheck::Accepted)
        return 0;
    uint32_t count = ReadU32(block + 12);
    uint32_t handled = 0;
    size_t position = BLOCK_HEADER_SIZE;
    char source[PATH_BUFFER];
    char name[PATH_BUFFER];
    for (uint32_t entry = 0; entry < count; ++entry) {
        if (position > size || size - position < ENTRY_RECORD_SIZE)
            break;
        const uint8_t* record = block + position;
        uint32_t entrySize = ReadU32(record);
        uint32_t sourceAt = ReadU32(record + 8);
        uint32_t nameAt = ReadU32(record + 12);
        if (sourceAt >= size || nameAt >= size)
            break;
        uint8_t key = NAME_KEY_START;
        NameRead read = UnscrambleName(block + sourceAt, size - sourceAt, &key, source, PATH_LIMIT);
        if (read == NameRead::Ok)
            read = UnscrambleName(block + nameAt, size - nameAt, &key, name, PATH_LIMIT);
        if (read == NameRead::Ok) {
            handler(context, source, name);
            ++handled;
        }
        Clear(source, sizeof source);
        Clear(name, sizeof name);
        if (read == NameRead::OutsideBlock || entrySize < ENTRY_RECORD_SIZE || entrySize > size - position)
            break;
        position += entrySize;
    }
    return handled;
}

namespace {

bool EqualsNoCase(const char* a, size_t length, const char* b)
{
    if (strlen(b) != length)
        return false;
    for (size_t i = 0; i < length; ++i) {
        char c = a[i];
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
        if (c != b[i])
            return false;
    }
    return true;
}

// The names Windows resolves to devices whatever folder they are in, with or without an extension.
bool IsDeviceName(const char* component, size_t length)
{
    size_t base = 0;
    while (base < length && component[base] != '.')
        ++base;
    while (base > 0 && component[base - 1] == ' ')
        --base;
    static const char* const fixed[] = {"CON", "NUL", "AUX", "PRN", "CONIN$", "CONOUT$"};
    for (const char* device : fixed)
        if (EqualsNoCase(component, base, device))
            return true;
    if (base == 4 && (EqualsNoCase(component, 3, "COM") || EqualsNoCase(component, 3, "LPT")))
        return component[3] >= '0' && component[3] <= '9';
    return false;
}

bool IsPlainComponent(const char* component, size_t length)
{
    if (length == 0)
        return false;
    if ((length == 1 && component[0] == '.') || (length == 2 && component[0] == '.' && component[1] == '.'))
        return false;
    for (size_t i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(component[i]);
        if (c < 32 || strchr(":<>\"|?*", c))
            return false;
    }
    char last = component[length - 1];
    if (last == '.' || last == ' ')
        return false;
    return !IsDeviceName(component, length);
}

}  // namespace

bool IsPlainRelativeName(const char* name)
{
    const char* start = name;
    for (const char* p = name;; ++p) {
        if (*p == '\\' || *p == '/' || *p == '\0') {
            if (!IsPlainComponent(start, size_t(p - start)))
                return false;
            if (*p == '\0')
                return true;
            start = p + 1;
        }
    }
}

}  // namespace fw
