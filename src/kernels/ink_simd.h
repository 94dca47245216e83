// Ink rows with SSE2 and MMX bodies. Each handles whole blocks of pixels and leaves the rest of the row to the plain
// loop of ink_effects.h, giving the same bytes as the plain row throughout.
#pragma once

#include "kernels/ink_effects.h"
#include "kernels/simd_kernels.h"

namespace kx {

// Effects that act on each byte of a pixel row alone: the logical ones in every format (ink_bytes_sse2.cpp), and
// blend, add and subtract where every byte is a channel (24 and 32 bits, the fourth byte handled as the plain
// formulas do).
template <class F, template <class> class E>
void InkBytesRowSse2(InkContext* c, const uint8_t* src, uint8_t* dst, int n);
// The same leaving out source pixels equal to key (not for 24 bits, whose pixels straddle the compare lanes).
template <class F, template <class> class E>
void InkBytesKeyedRowSse2(InkContext* c, const uint8_t* src, uint8_t* dst, int n, uint32_t key);

// Blend, add and subtract of packed 5-5-5 and 5-6-5 pixels, field by field (ink_packed_sse2.cpp).
template <class F, template <class> class E>
void InkPackedRowSse2(InkContext* c, const uint8_t* src, uint8_t* dst, int n);
template <class F, template <class> class E>
void InkPackedKeyedRowSse2(InkContext* c, const uint8_t* src, uint8_t* dst, int n, uint32_t key);

// Code 1 of 24- and 32-bit pixels with MMX, and the 32-bit transparent loop that skips key pixels
// (ink_blend_mmx.cpp).
void InkBlendRow24Mmx(InkContext* c, const uint8_t* src, uint8_t* dst, int n);
void InkBlendRow32Mmx(InkContext* c, const uint8_t* src, uint8_t* dst, int n);
void InkBlendKeyedRow32Mmx(InkContext* c, const uint8_t* src, uint8_t* dst, int n, uint32_t key);

}  // namespace kx
