// Ink effects: the per-pixel combinations of a source with a destination that a blit may ask for, their
// per-format routines (init, pixel, row, run) and the two ink copies of the kernel sets (slots 4 and 6). The
// formulas are in ink_effects.h; which effect codes a blit may pass is answered here, so that a caller can refuse
// an unknown code before it locks anything.
#pragma once

#include <stdint.h>

#include "kernels/kernel_set.h"

namespace kx {

enum InkEffect {
    INK_NONE = 0,  // no effect: the plain copies are used
    INK_BLEND = 1,
    INK_INVERT = 2,
    INK_XOR = 3,
    INK_AND = 4,
    INK_OR = 5,
    INK_BLEND_BACKDROP = 6,
    // 7 has never had routines.
    INK_AND_NOT = 8,
    INK_ADD = 9,
    INK_GREY = 10,
    INK_SUBTRACT = 11,
    INK_BLEND_EXCEPT_KEY = 12,
    INK_CODE_LIMIT = 13,
};

// Whether the ink kernels have routines for an effect code: 1 to 6 and 8 to 12. A blit asked for any other code
// (7 above all) draws nothing and reports failure; the kernels themselves return without touching a pixel.
inline bool IsInkEffect(int effect) { return effect >= INK_BLEND && effect < INK_CODE_LIMIT && effect != 7; }

// Blend weights never exceed 128: a larger one would push channels out of their bytes. Code 1's weight is the
// whole parameter, codes 6 and 12 take theirs from the top byte.
inline uint32_t ClampInkWeight(uint32_t weight) { return weight > 128 ? 128 : weight; }

// The working record of one kernel call. The kernel fills the first four fields, the effect's init routine the
// rest; the routines read it and, on 8-bit surfaces, fill the palette's colour cache.
struct InkContext {
    SharedPalette* palette;      // the destination's palette (8-bit)
    uint32_t parameter;          // the effect parameter as the blit passed it
    uint32_t transparentColour;  // the source's transparent colour (RGB value)
    uint32_t transparentNative;  // the source's transparent pixel value: the constant source of run routines
    uint32_t destinationWeight;  // p: blends take s + (d - s) * p / 128 per channel
    uint32_t sourceWeight;       // 128 - p
    uint32_t backdropOrKey;      // code 6: the backdrop colour; code 12: the key in the form destinations are seen
};

using InkInitFn = void (*)(InkContext* c);
// Native source and destination pixel in, native result out.
using InkPixelFn = uint32_t (*)(InkContext* c, uint32_t s, uint32_t d);
// n pixels of destination become pixel(source, destination); the caller advances its pointers.
using InkRowFn = void (*)(InkContext* c, const uint8_t* src, uint8_t* dst, int n);
// n pixels of destination become pixel(transparent native, destination): runs of a constant source.
using InkRunFn = void (*)(InkContext* c, uint8_t* dst, int n);
// As the row routine, leaving the destination where the source pixel equals key.
using InkKeyedRowFn = void (*)(InkContext* c, const uint8_t* src, uint8_t* dst, int n, uint32_t key);
// As the row routine, the result then laid over the destination with the source's alpha bytes.
using InkAlphaRowFn = void (*)(InkContext* c, const uint8_t* src, uint8_t* dst, const uint8_t* alpha, int n);

struct InkRoutines {
    InkInitFn init;
    InkPixelFn pixel;
    InkRowFn row;
    InkRunFn run;
    InkKeyedRowFn keyedRow;
    InkAlphaRowFn alphaRow;
};

// The routines of an effect for a source of the given depth, picked by the destination's feature bits (SSE2 rows
// first, then MMX, then the plain ones; all give the same pixels). Null for a code without routines.
const InkRoutines* InkRoutinesFor(int depth, int effect, unsigned long flags);

// Slots 4 and 6 of the standard sets: (dst, dx, dy, src, sx, sy, w, h, effect, parameter) under the kernel
// contract, F the source's format (15 or 16 bits by its depth). Instantiated for the five formats in
// ink_kernels.cpp.
template <class F>
void CopyTransparentInkKernel(SurfaceDesc* dst, int dx, int dy, const SurfaceDesc* src, int sx, int sy, int w, int h,
                              int effect, uint32_t parameter);
template <class F>
void CopyOpaqueInkKernel(SurfaceDesc* dst, int dx, int dy, const SurfaceDesc* src, int sx, int sy, int w, int h,
                         int effect, uint32_t parameter);

}  // namespace kx
