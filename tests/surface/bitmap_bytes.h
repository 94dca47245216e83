// Packed bitmaps and bitmap files built byte by byte for the loader tests, and the fixtures the build writes.
#pragma once

#include <windows.h>
#include <stdint.h>
#include <string.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "../core/temp_file.h"

// A packed bitmap: 40-byte header, `colours` table entries (entry i = RGB(i * 10, 100, 255 - i)) or the three
// masks, then rows of (x * 7 + y * 13) bytes, rows padded to 4 bytes.
struct DibShape {
    int bitCount = 8;
    int width = 3;
    int height = 2;
    uint32_t compression = BI_RGB;
    int colours = -1;                       // table entries written; -1: 2^bits up to 8 bits, none above
    uint32_t clrUsed = 0;
    uint32_t masks[3] = {0, 0, 0};          // red, green, blue, written when compression is bit fields
    uint32_t headerSize = 40;
};

inline int RowBytes(int width, int bits) { return (int)((((int64_t)width * bits + 31) >> 3) & ~3); }

inline Bytes MakeDib(const DibShape& s)
{
    Bytes b(40);
    BITMAPINFOHEADER h = {};
    h.biSize = s.headerSize;
    h.biWidth = s.width;
    h.biHeight = s.height;
    h.biPlanes = 1;
    h.biBitCount = (WORD)s.bitCount;
    h.biCompression = s.compression;
    h.biClrUsed = s.clrUsed;
    memcpy(b.data(), &h, 40);
    int colours = s.colours >= 0 ? s.colours : s.bitCount <= 8 ? 1 << s.bitCount : 0;
    for (int i = 0; i < colours; i++) {
        unsigned char q[4] = {(unsigned char)(255 - i), 100, (unsigned char)(i * 10), 0};
        b.insert(b.end(), q, q + 4);
    }
    if (s.compression == BI_BITFIELDS)
        b.insert(b.end(), (const unsigned char*)s.masks, (const unsigned char*)s.masks + 12);
    // Rows only for sizes a test can hold: absurd headers come without them.
    int64_t rows = s.height < 0 ? -(int64_t)s.height : s.height;
    int64_t pitch = (((int64_t)s.width * s.bitCount + 31) >> 3) & ~(int64_t)3;
    if (pitch > 0 && pitch * rows < (1 << 20))
        for (int64_t y = 0; y < rows; y++)
            for (int64_t x = 0; x < pitch; x++)
                b.push_back((unsigned char)(x * 7 + y * 13));
    return b;
}

// The 14-byte file header in front of a packed bitmap; `offBits` 0 means right after the table.
inline Bytes AsFile(const Bytes& dib, uint32_t offBits = 0)
{
    if (!offBits) {
        BITMAPINFOHEADER h;
        memcpy(&h, dib.data(), 40);
        int colours = h.biBitCount <= 8 ? (h.biClrUsed ? (int)h.biClrUsed : 1 << h.biBitCount) : 0;
        offBits = 14 + 40 + 4 * colours + (h.biCompression == BI_BITFIELDS ? 12 : 0);
    }
    Bytes f = {'B', 'M'};
    uint32_t size = (uint32_t)dib.size() + 14, zero = 0;
    f.insert(f.end(), (unsigned char*)&size, (unsigned char*)&size + 4);
    f.insert(f.end(), (unsigned char*)&zero, (unsigned char*)&zero + 4);
    f.insert(f.end(), (unsigned char*)&offBits, (unsigned char*)&offBits + 4);
    f.insert(f.end(), dib.begin(), dib.end());
    return f;
}

inline Bytes ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string Fixture(const char* dir, const char* name) { return std::string(dir) + "/" + name; }

// A plain-text picture (P3): width, height and one RGB colour per pixel, top row first.
struct Picture {
    int width = 0, height = 0;
    std::vector<COLORREF> pixels;
    COLORREF At(int x, int y) const { return pixels[(size_t)y * width + x]; }
};

inline Picture ReadPicture(const std::string& path)
{
    std::ifstream in(path);
    std::string word;
    std::vector<int> numbers;
    while (in >> word) {
        if (word[0] == '#') {
            std::getline(in, word);
            continue;
        }
        if (word != "P3")
            numbers.push_back(std::stoi(word));
    }
    Picture p;
    if (numbers.size() < 3)
        return p;
    p.width = numbers[0];
    p.height = numbers[1];
    for (size_t i = 3; i + 2 < numbers.size(); i += 3)
        p.pixels.push_back(RGB(numbers[i], numbers[i + 1], numbers[i + 2]));
    return p;
}
