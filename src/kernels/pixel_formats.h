// The five pixel formats as the kernels see them: native type, bytes per pixel, and the exact RGB <-> native
// formulas. No low-bit replication: a colour read back from a 15- or 16-bit pixel has its low bits zero.
#pragma once

#include <stdint.h>
#include <string.h>

namespace kx {

// Unaligned little-endian loads and stores; the compiler turns these into single moves.
inline uint32_t Load16(const uint8_t* p)
{
    uint16_t v;
    memcpy(&v, p, 2);
    return v;
}
inline uint32_t Load32(const uint8_t* p)
{
    uint32_t v;
    memcpy(&v, p, 4);
    return v;
}
inline void Store16(uint8_t* p, uint32_t v)
{
    uint16_t w = (uint16_t)v;
    memcpy(p, &w, 2);
}
inline void Store32(uint8_t* p, uint32_t v) { memcpy(p, &v, 4); }

// RGB value <-> 0x00RRGGBB: (v & 0xFF00FF) rotated by 16 bits, OR (v & 0xFF00).
inline uint32_t SwapRedBlue(uint32_t v)
{
    uint32_t rb = v & 0xFF00FFu;
    return ((rb << 16) | (rb >> 16)) | (v & 0xFF00u);
}

struct Format8 {
    static constexpr int kIndex = 0;
    static constexpr int kBytes = 1;
    static constexpr bool kIndexed = true;
    using Native = uint8_t;
    static uint32_t Load(const uint8_t* p) { return *p; }
    static void Store(uint8_t* p, uint32_t v) { *p = (uint8_t)v; }
};

struct Format15 {
    static constexpr int kIndex = 1;
    static constexpr int kBytes = 2;
    static constexpr bool kIndexed = false;
    using Native = uint16_t;
    static uint32_t Load(const uint8_t* p) { return Load16(p); }
    static void Store(uint8_t* p, uint32_t v) { Store16(p, v); }
    static uint32_t ToNative(uint32_t c) { return ((c & 0xF80000) >> 19) | ((c & 0xF800) >> 6) | ((c & 0xF8) << 7); }
    static uint32_t ToRgb(uint32_t p) { return ((p & 0x1F) << 19) | ((p & 0x3E0) << 6) | ((p & 0x7C00) >> 7); }
    // Blended colours are written back in this form: the native value when taken as 0x00RRGGBB.
    static void StoreRgb(uint8_t* p, uint32_t c) { Store(p, ToNative(c)); }
};

struct Format16 {
    static constexpr int kIndex = 2;
    static constexpr int kBytes = 2;
    static constexpr bool kIndexed = false;
    using Native = uint16_t;
    static uint32_t Load(const uint8_t* p) { return Load16(p); }
    static void Store(uint8_t* p, uint32_t v) { Store16(p, v); }
    static uint32_t ToNative(uint32_t c) { return ((c & 0xF80000) >> 19) | ((c & 0xFC00) >> 5) | ((c & 0xF8) << 8); }
    static uint32_t ToRgb(uint32_t p) { return ((p & 0x1F) << 19) | ((p & 0x7E0) << 5) | ((p & 0xF800) >> 8); }
    static void StoreRgb(uint8_t* p, uint32_t c) { Store(p, ToNative(c)); }
};

// Native value 0x00RRGGBB held in bytes blue, green, red.
struct Format24 {
    static constexpr int kIndex = 3;
    static constexpr int kBytes = 3;
    static constexpr bool kIndexed = false;
    using Native = uint32_t;
    static uint32_t Load(const uint8_t* p) { return p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16; }
    static void Store(uint8_t* p, uint32_t v)
    {
        p[0] = (uint8_t)v;
        p[1] = (uint8_t)(v >> 8);
        p[2] = (uint8_t)(v >> 16);
    }
    static uint32_t ToNative(uint32_t c) { return SwapRedBlue(c); }
    static uint32_t ToRgb(uint32_t p) { return SwapRedBlue(p); }
    // Blends work on 0x00RRGGBB natives directly and write the three colour bytes.
    static void StoreLow3(uint8_t* p, uint32_t v) { Store(p, v); }
};

// Native value: bytes blue, green, red and a fourth byte that colour conversions drop (and write as 0).
struct Format32 {
    static constexpr int kIndex = 4;
    static constexpr int kBytes = 4;
    static constexpr bool kIndexed = false;
    using Native = uint32_t;
    static uint32_t Load(const uint8_t* p) { return Load32(p); }
    static void Store(uint8_t* p, uint32_t v) { Store32(p, v); }
    static uint32_t ToNative(uint32_t c) { return SwapRedBlue(c) & 0xFFFFFFu; }
    static uint32_t ToRgb(uint32_t p) { return SwapRedBlue(p) & 0xFFFFFFu; }
    static void StoreLow3(uint8_t* p, uint32_t v) { Format24::Store(p, v); }
};

}  // namespace kx
