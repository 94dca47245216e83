// Ink rows whose effect treats every byte of the row alone, with SSE2, sixteen pixels per block: the logical
// effects in every format, and on 24/32-bit rows (where each byte is a channel) blend, add and subtract. A 32-bit
// result takes its fourth byte as the plain formula does: 0 after blend and add, the destination's after subtract,
// the operation's own after the logical effects (the source's after invert).
#include <emmintrin.h>

#include "kernels/ink_simd.h"

namespace kx {

namespace {

// The SIMD body lives in a helper of its own: the attribute has to be on the first declaration.
template <class F, template <class> class E>
KX_TARGET_SSE2 void BytesRow(InkContext* c, const uint8_t* src, uint8_t* dst, int n)
{
    constexpr int kCode = E<F>::kCode;
    // The colour bytes of a pixel group: all of them, but for the fourth byte of 32-bit pixels.
    const __m128i colour = _mm_set1_epi32(F::kBytes == 4 ? 0x00FFFFFF : -1);
    const __m128i zero = _mm_setzero_si128();
    const __m128i p = _mm_set1_epi16((short)c->destinationWeight);
    const __m128i q = _mm_set1_epi16((short)c->sourceWeight);
    // Sixteen pixels are kBytes whole vectors, so a block never splits a pixel.
    int vectors = n / 16 * F::kBytes;
    for (int v = 0; v < vectors; v++, src += 16, dst += 16) {
        __m128i s = _mm_loadu_si128((const __m128i*)src);
        __m128i r;
        if constexpr (kCode == INK_INVERT) {
            r = _mm_xor_si128(s, colour);
        } else {
            __m128i d = _mm_loadu_si128((const __m128i*)dst);
            if constexpr (kCode == INK_XOR) {
                r = _mm_xor_si128(s, d);
            } else if constexpr (kCode == INK_AND) {
                r = _mm_and_si128(s, d);
            } else if constexpr (kCode == INK_OR) {
                r = _mm_or_si128(s, d);
            } else if constexpr (kCode == INK_AND_NOT) {
                r = _mm_andnot_si128(s, d);
            } else if constexpr (kCode == INK_ADD) {
                r = _mm_and_si128(_mm_adds_epu8(s, d), colour);
            } else if constexpr (kCode == INK_SUBTRACT) {
                r = _mm_or_si128(_mm_and_si128(_mm_subs_epu8(d, s), colour), _mm_andnot_si128(colour, d));
            } else {
                static_assert(kCode == INK_BLEND);
                // (s * q + d * p) >> 7 per byte: at most 255 * 128, so 16-bit lanes hold it.
                __m128i lo = _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(s, zero), q),
                                           _mm_mullo_epi16(_mm_unpacklo_epi8(d, zero), p));
                __m128i hi = _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(s, zero), q),
                                           _mm_mullo_epi16(_mm_unpackhi_epi8(d, zero), p));
                r = _mm_and_si128(_mm_packus_epi16(_mm_srli_epi16(lo, 7), _mm_srli_epi16(hi, 7)), colour);
            }
        }
        _mm_storeu_si128((__m128i*)dst, r);
    }
    InkRow<F, E>(c, src, dst, n % 16);
}

}  // namespace

template <class F, template <class> class E>
void InkBytesRowSse2(InkContext* c, const uint8_t* src, uint8_t* dst, int n)
{
    BytesRow<F, E>(c, src, dst, n);
}

#define KX_LOGICAL_ROWS(F)                                                                                         \
    template void InkBytesRowSse2<F, InkInvert>(InkContext*, const uint8_t*, uint8_t*, int);                       \
    template void InkBytesRowSse2<F, InkXor>(InkContext*, const uint8_t*, uint8_t*, int);                          \
    template void InkBytesRowSse2<F, InkAnd>(InkContext*, const uint8_t*, uint8_t*, int);                          \
    template void InkBytesRowSse2<F, InkOr>(InkContext*, const uint8_t*, uint8_t*, int);                           \
    template void InkBytesRowSse2<F, InkAndNot>(InkContext*, const uint8_t*, uint8_t*, int);
#define KX_CHANNEL_ROWS(F)                                                                                         \
    template void InkBytesRowSse2<F, InkBlend>(InkContext*, const uint8_t*, uint8_t*, int);                        \
    template void InkBytesRowSse2<F, InkAddEffect>(InkContext*, const uint8_t*, uint8_t*, int);                    \
    template void InkBytesRowSse2<F, InkSubtractEffect>(InkContext*, const uint8_t*, uint8_t*, int);
KX_LOGICAL_ROWS(Format8)
KX_LOGICAL_ROWS(Format15)
KX_LOGICAL_ROWS(Format16)
KX_LOGICAL_ROWS(Format24)
KX_LOGICAL_ROWS(Format32)
KX_CHANNEL_ROWS(Format24)
KX_CHANNEL_ROWS(Format32)
#undef KX_LOGICAL_ROWS
#undef KX_CHANNEL_ROWS

}  // namespace kx
