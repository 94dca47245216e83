// Ink rows whose effect treats every byte of the row alone, with SSE2, sixteen pixels per block: the logical
// effects in every format, and on 24/32-bit rows (where each byte is a channel) blend, add and subtract. A 32-bit
// result takes its fourth byte as the plain formula does: 0 after blend and add, the destination's after subtract,
// the operation's own after the logical effects (the source's after invert).
#include <emmintrin.h>

#include "kernels/ink_simd.h"

namespace kx {

namespace {

// Source pixels equal to key, as a lane mask (24-bit rows have no keyed variant).
template <class F>
KX_TARGET_SSE2 inline __m128i KeyMask(__m128i s, __m128i key)
{
    if constexpr (F::kBytes == 1)
        return _mm_cmpeq_epi8(s, key);
    else if constexpr (F::kBytes == 2)
        return _mm_cmpeq_epi16(s, key);
    else
        return _mm_cmpeq_epi32(s, key);
}

template <class F>
KX_TARGET_SSE2 inline __m128i KeyVector(uint32_t key)
{
    if constexpr (F::kBytes == 1)
        return _mm_set1_epi8((char)key);
    else if constexpr (F::kBytes == 2)
        return _mm_set1_epi16((short)key);
    else
        return _mm_set1_epi32((int)key);
}

// The SIMD body lives in a helper of its own: the attribute has to be on the first declaration. Keyed: source
// pixels equal to key leave their destination pixels alone (a block of nothing but key is skipped).
template <class F, template <class> class E, bool Keyed>
KX_TARGET_SSE2 void BytesRow(InkContext* c, const uint8_t* src, uint8_t* dst, int n, uint32_t key)
{
    constexpr int kCode = E<F>::kCode;
    // The colour bytes of a pixel group: all of them, but for the fourth byte of 32-bit pixels.
    const __m128i colour = _mm_set1_epi32(F::kBytes == 4 ? 0x00FFFFFF : -1);
    const __m128i evenBytes = _mm_set1_epi16(0x00FF);
    const __m128i p = _mm_set1_epi16((short)c->destinationWeight);
    const __m128i k = KeyVector<F>(key);
    // Sixteen pixels are kBytes whole vectors, so a block never splits a pixel.
    int vectors = n / 16 * F::kBytes;
    for (int v = 0; v < vectors; v++, src += 16, dst += 16) {
        __m128i s = _mm_loadu_si128((const __m128i*)src);
        __m128i same = _mm_setzero_si128();
        if constexpr (Keyed) {
            same = KeyMask<F>(s, k);
            if (_mm_movemask_epi8(same) == 0xFFFF)
                continue;
        }
        __m128i r;
        if constexpr (kCode == INK_INVERT && !Keyed) {
            r = _mm_xor_si128(s, colour);
        } else {
            __m128i d = _mm_loadu_si128((const __m128i*)dst);
            if constexpr (kCode == INK_INVERT)
                r = _mm_xor_si128(s, colour);
            else if constexpr (kCode == INK_XOR) {
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
                // s + ((d - s) * p >> 7) per byte, the even bytes and the odd bytes each in 16-bit lanes: the
                // difference times p lies within +-255 * 128, and the arithmetic shift floors it.
                __m128i sEven = _mm_and_si128(s, evenBytes), dEven = _mm_and_si128(d, evenBytes);
                __m128i sOdd = _mm_srli_epi16(s, 8), dOdd = _mm_srli_epi16(d, 8);
                __m128i even = _mm_add_epi16(sEven, _mm_srai_epi16(_mm_mullo_epi16(_mm_sub_epi16(dEven, sEven), p), 7));
                __m128i odd = _mm_add_epi16(sOdd, _mm_srai_epi16(_mm_mullo_epi16(_mm_sub_epi16(dOdd, sOdd), p), 7));
                r = _mm_and_si128(_mm_or_si128(even, _mm_slli_epi16(odd, 8)), colour);
            }
            if constexpr (Keyed)
                r = _mm_or_si128(_mm_and_si128(same, d), _mm_andnot_si128(same, r));
        }
        _mm_storeu_si128((__m128i*)dst, r);
    }
    if constexpr (Keyed)
        InkKeyedRow<F, E>(c, src, dst, n % 16, key);
    else
        InkRow<F, E>(c, src, dst, n % 16);
}

}  // namespace

template <class F, template <class> class E>
void InkBytesRowSse2(InkContext* c, const uint8_t* src, uint8_t* dst, int n)
{
    BytesRow<F, E, false>(c, src, dst, n, 0);
}

template <class F, template <class> class E>
void InkBytesKeyedRowSse2(InkContext* c, const uint8_t* src, uint8_t* dst, int n, uint32_t key)
{
    BytesRow<F, E, true>(c, src, dst, n, key);
}

#define KX_ROW(F, E) template void InkBytesRowSse2<F, E>(InkContext*, const uint8_t*, uint8_t*, int);
#define KX_KEYED_ROW(F, E)                                                                                         \
    template void InkBytesKeyedRowSse2<F, E>(InkContext*, const uint8_t*, uint8_t*, int, uint32_t);
#define KX_LOGICAL(X, F) X(F, InkInvert) X(F, InkXor) X(F, InkAnd) X(F, InkOr) X(F, InkAndNot)
#define KX_CHANNEL(X, F) X(F, InkBlend) X(F, InkAddEffect) X(F, InkSubtractEffect)
KX_LOGICAL(KX_ROW, Format8)
KX_LOGICAL(KX_ROW, Format15)
KX_LOGICAL(KX_ROW, Format16)
KX_LOGICAL(KX_ROW, Format24)
KX_LOGICAL(KX_ROW, Format32)
KX_CHANNEL(KX_ROW, Format24)
KX_CHANNEL(KX_ROW, Format32)
// 24-bit pixels straddle the lanes of a compare, so their transparent rows stay plain.
KX_LOGICAL(KX_KEYED_ROW, Format8)
KX_LOGICAL(KX_KEYED_ROW, Format15)
KX_LOGICAL(KX_KEYED_ROW, Format16)
KX_LOGICAL(KX_KEYED_ROW, Format32)
KX_CHANNEL(KX_KEYED_ROW, Format32)
#undef KX_ROW
#undef KX_KEYED_ROW
#undef KX_LOGICAL
#undef KX_CHANNEL

}  // namespace kx
