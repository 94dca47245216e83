// Row loops with MMX and SSE2 bodies, one file each (named for slot, format and instruction set). The plain
// kernels dispatch to them from the destination's feature bits; each gives the same bytes as the plain loop.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Only the routines themselves are compiled for the extension (a whole-file target would also give shared inline
// helpers SSE2 bodies that the linker might then pick for the plain paths).
#define KX_TARGET_MMX __attribute__((target("mmx")))
#define KX_TARGET_SSE2 __attribute__((target("sse2")))

namespace kx {

// Fill: h rows of `bytes` bytes, byte k of a row taking byte k mod 8 of pattern (little-endian). Pixel sizes 1, 2
// and 4 divide 8, so a replicated native value fills whole pixels whatever the row's alignment.
void FillPatternMmx(uint8_t* row, ptrdiff_t rowStep, int bytes, int h, uint64_t pattern);
void FillPatternSse2(uint8_t* row, ptrdiff_t rowStep, int bytes, int h, uint64_t pattern);
// Fill of w 24-bit pixels per row with the native value's three low bytes.
void FillTripletSse2(uint8_t* row, ptrdiff_t rowStep, int w, int h, uint32_t native);

// Opaque copy of h rows of `bytes` bytes.
void CopyOpaqueMmx(uint8_t* dst, ptrdiff_t dstStep, const uint8_t* src, ptrdiff_t srcStep, int bytes, int h);
void CopyOpaqueSse2(uint8_t* dst, ptrdiff_t dstStep, const uint8_t* src, ptrdiff_t srcStep, int bytes, int h);

// Transparent copy by key: w pixels per row, source pixels equal to key left out.
void CopyTransparent8Sse2(uint8_t* dst, ptrdiff_t dstStep, const uint8_t* src, ptrdiff_t srcStep, int w, int h,
                          uint32_t key);
void CopyTransparent16Sse2(uint8_t* dst, ptrdiff_t dstStep, const uint8_t* src, ptrdiff_t srcStep, int w, int h,
                           uint32_t key);
void CopyTransparent24Sse2(uint8_t* dst, ptrdiff_t dstStep, const uint8_t* src, ptrdiff_t srcStep, int w, int h,
                           uint32_t key);
void CopyTransparent32Sse2(uint8_t* dst, ptrdiff_t dstStep, const uint8_t* src, ptrdiff_t srcStep, int w, int h,
                           uint32_t key);

// Alpha-plane copies: w pixels per row, alpha bytes from `alpha`.
void CopyAlpha15Sse2(uint8_t* dst, ptrdiff_t dstStep, const uint8_t* src, ptrdiff_t srcStep, const uint8_t* alpha,
                     ptrdiff_t alphaStep, int w, int h);
void CopyAlpha16Sse2(uint8_t* dst, ptrdiff_t dstStep, const uint8_t* src, ptrdiff_t srcStep, const uint8_t* alpha,
                     ptrdiff_t alphaStep, int w, int h);
void CopyAlpha32Sse2(uint8_t* dst, ptrdiff_t dstStep, const uint8_t* src, ptrdiff_t srcStep, const uint8_t* alpha,
                     ptrdiff_t alphaStep, int w, int h);

}  // namespace kx
