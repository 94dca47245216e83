// The per-format table of pixel kernels that every backend points at, and the contract all kernels share.
// The kernels themselves live in the files beside this one; clipping and locking belong to the backend base class.
#pragma once

#include <assert.h>
#include <stdint.h>

#include "kalvex2/canvas.h"

// Calling contract of every kernel (entry assumptions; checked with KX_KERNEL_EXPECT in debug builds only):
//
//  1. The caller has clipped. The rectangle (x, y, w, h) - or (dx, dy, w, h) in the destination and (sx, sy, w, h)
//     in the source - lies wholly inside its surface, and w >= 1, h >= 1. Mirroring needs w >= 2 to do anything.
//     Kernels never read the clip rectangle and never fail.
//  2. The caller has locked the surfaces: rowZero (and alphaRowZero when non-null) are valid, and pixel (x, y) is
//     at rowZero + y * rowStep + x * bytesPerPixel, its alpha byte at alphaRowZero + y * alphaRowStep + x. Row
//     steps may be negative (bottom-up memory).
//  3. Copies (slots 3 to 8) are between surfaces of one pixel format, whose bytesPerPixel matches the table the
//     kernel was taken from; blits between formats go through slot 11. An 8-bit destination has a palette.
//  4. Source and destination rectangles do not overlap. Rows are processed top to bottom, pixels left to right.
//  5. Nothing outside the rectangle is read or written - not even the bytes after a row's last 24-bit pixel.
//  6. Colours are RGB values (red in bits 0-7, green 8-15, blue 16-23); natives are pixel values as stored.
//     On 8-bit surfaces a colour with bit 24 set is a palette index in its low byte (pixel access only).
//  7. Bit 0 of the destination's flags (CPU_MMX) enables MMX paths and bit 2 (CPU_SSE2) SSE2 paths; every such
//     path gives the same bytes as the plain one, and MMX paths clear the MMX state before they return.
//  8. Kernels allocate nothing and call no system function; the only state they touch outside the surfaces is
//     an 8-bit palette's colour cache.
#ifdef NDEBUG
#define KX_KERNEL_EXPECT(condition) ((void)0)
#else
#define KX_KERNEL_EXPECT(condition) assert(condition)
#endif

// Slots 0 and 1 keep the colour-reference type the backend base class passes (32 bits on Windows).
using SetPixelKernelFn = void (*)(SurfaceDesc* desc, int x, int y, unsigned long colour);
using GetPixelKernelFn = unsigned long (*)(SurfaceDesc* desc, int x, int y);
// colour: a palette index on 8-bit surfaces, an RGB value otherwise.
using FillKernelFn = void (*)(SurfaceDesc* desc, int x, int y, int rowStep, int w, int h, uint32_t colour);
using CopyKernelFn = void (*)(SurfaceDesc* dst, int dx, int dy, const SurfaceDesc* src, int sx, int sy, int w,
                              int h);
using CopyInkKernelFn = void (*)(SurfaceDesc* dst, int dx, int dy, const SurfaceDesc* src, int sx, int sy, int w,
                                 int h, int effect, uint32_t parameter);
using CallbackKernelFn = void (*)(SurfaceDesc* dst, int dx, int dy, const SurfaceDesc* src, int sx, int sy, int w,
                                  int h, PixelColourFn fn, void* user);
using MirrorRowsKernelFn = void (*)(SurfaceDesc* desc, int x, int y, int rowStep, int w, int h);
// One argument list for every format, so that the slot can be called through the table: rowBytes is w times the
// bytes per pixel; the 8-bit member takes palette indices as the two colours and has no use for rowBytes.
using ReplaceColourKernelFn = void (*)(SurfaceDesc* desc, int x, int y, int w, int h, int rowBytes,
                                       uint32_t newColour, uint32_t oldColour);
using ConvertKernelFn = void (*)(SurfaceDesc* dst, int dx, int dy, int dstRowBytes, const SurfaceDesc* src, int sx,
                                 int sy, int w, int h);
using CompressKernelFn = void (*)(void* out, const unsigned char* pixels, int w, int h, int pitch,
                                  uint32_t transparentNative);

// The 14 slots, in the order every caller indexes them. A standard set has every slot filled once its work is in
// the library; slots still null are never called (their callers are not built yet). A compressed-source set has
// only slots 3 to 6.
struct BlitKernelSet {
    SetPixelKernelFn setPixel;                 // 0  SetPixel
    GetPixelKernelFn getPixel;                 // 1  GetPixel
    FillKernelFn fill;                         // 2  Fill
    CopyKernelFn copyTransparent;              // 3  CopyTransparent (transparent colour or source alpha plane)
    CopyInkKernelFn copyTransparentInk;        // 4  CopyTransparentInk
    CopyKernelFn copyOpaque;                   // 5  CopyOpaque
    CopyInkKernelFn copyOpaqueInk;             // 6  CopyOpaqueInk
    CallbackKernelFn callbackTransparent;      // 7  CallbackTransparent
    CallbackKernelFn callbackOpaque;           // 8  CallbackOpaque
    MirrorRowsKernelFn mirrorRows;             // 9  MirrorRows
    ReplaceColourKernelFn replaceColour;       // 10 ReplaceColour
    ConvertKernelFn convert;                   // 11 Convert
    CompressKernelFn compressedSize;           // 12 CompressedSize
    CompressKernelFn compress;                 // 13 Compress
};
static_assert(sizeof(BlitKernelSet) == 14 * sizeof(void*));

namespace kx {

enum FormatIndex { FORMAT_8 = 0, FORMAT_15 = 1, FORMAT_16 = 2, FORMAT_24 = 3, FORMAT_32 = 4, FORMAT_COUNT = 5 };

// Processor feature bits in the low byte of a descriptor's flags.
enum : unsigned long { KERNEL_CPU_MMX = 1, KERNEL_CPU_SSE2 = 4 };

// Format index of a depth (0..32): 0-8 -> 0, 9-15 -> 1, 16 -> 2, 17-24 -> 3, 25-32 -> 4.
extern const unsigned char kFormatOfDepth[33];
int FormatIndexOfDepth(int depth);
extern const int kDepthOfFormat[FORMAT_COUNT];

// The two families, indexed by format index.
extern const BlitKernelSet* const kStandardKernelSets[FORMAT_COUNT];
extern const BlitKernelSet* const kCompressedSourceKernelSets[FORMAT_COUNT];

// The standard kernel set of a format index, or null for an index outside 0..4.
const BlitKernelSet* StandardKernels(int formatIndex);
const BlitKernelSet* CompressedSourceKernels(int formatIndex);

}  // namespace kx
