// Blend, add and subtract of 5-5-5 and 5-6-5 rows with SSE2, eight pixels per block, one field at a time.
// Add and subtract move each field to the top of its 16-bit lane, where the saturating instructions clamp it
// exactly as the carry tests of the plain formulas do. Blend works on the field values: the plain path widens a
// field to a colour byte (low bits zero), blends and keeps the top bits again, which is floor((s*q + d*p) / 128)
// of the field values themselves.
#include <emmintrin.h>

#include "kernels/ink_simd.h"

namespace kx {

namespace {

#define KX_SSE2_INLINE __attribute__((target("sse2"), always_inline)) inline

// Field layouts: where each field's value starts and how many bits it has, blue, green, red.
template <class F>
struct PackedLayout;
template <>
struct PackedLayout<Format15> {
    static constexpr int kBlue = 0, kGreen = 5, kRed = 10, kGreenBits = 5;
    static constexpr int kSpare = 0x8000;  // bit 15: the destination's own after subtract
};
template <>
struct PackedLayout<Format16> {
    static constexpr int kBlue = 0, kGreen = 5, kRed = 11, kGreenBits = 6;
    static constexpr int kSpare = 0;
};

// One field's values blended as s + ((d - s) * p >> 7) - floor((s * q + d * p) / 128) with one multiply instead of
// two (the multiplier is the busiest unit here) - and put back in place.
template <int Shift, int Bits>
KX_SSE2_INLINE __m128i BlendField(__m128i s, __m128i d, __m128i p)
{
    const __m128i value = _mm_set1_epi16((short)((1 << Bits) - 1));
    __m128i sf = Shift + Bits == 16 ? _mm_srli_epi16(s, Shift) : _mm_and_si128(_mm_srli_epi16(s, Shift), value);
    __m128i df = Shift + Bits == 16 ? _mm_srli_epi16(d, Shift) : _mm_and_si128(_mm_srli_epi16(d, Shift), value);
    __m128i t = _mm_add_epi16(sf, _mm_srai_epi16(_mm_mullo_epi16(_mm_sub_epi16(df, sf), p), 7));
    return Shift == 0 ? t : _mm_slli_epi16(t, Shift);
}

// The field moved to the top of the lane, where the unsigned saturating instructions clamp it.
template <int Shift, int Bits, bool Add>
KX_SSE2_INLINE __m128i SaturateField(__m128i s, __m128i d)
{
    constexpr int kUp = 16 - Shift - Bits;
    const __m128i top = _mm_set1_epi16((short)(((1 << Bits) - 1) << (16 - Bits)));
    __m128i st = kUp == 0 ? _mm_and_si128(s, top) : _mm_slli_epi16(s, kUp);
    __m128i dt = kUp == 0 ? _mm_and_si128(d, top) : _mm_slli_epi16(d, kUp);
    if (kUp != 0 && Shift != 0) {
        st = _mm_and_si128(st, top);
        dt = _mm_and_si128(dt, top);
    }
    __m128i t = Add ? _mm_adds_epu16(st, dt) : _mm_subs_epu16(dt, st);
    if (kUp == 0)
        return _mm_and_si128(t, top);
    const __m128i inPlace = _mm_set1_epi16((short)(((1 << Bits) - 1) << Shift));
    return _mm_and_si128(_mm_srli_epi16(t, kUp), inPlace);
}

// The SIMD body lives in a helper of its own: the attribute has to be on the first declaration. Keyed: source
// pixels equal to key leave their destination pixels alone (a block of nothing but key is skipped).
template <class F, template <class> class E, bool Keyed>
KX_TARGET_SSE2 void PackedRow(InkContext* c, const uint8_t* src, uint8_t* dst, int n, uint32_t key)
{
    constexpr int kCode = E<F>::kCode;
    using L = PackedLayout<F>;
    const __m128i p = _mm_set1_epi16((short)c->destinationWeight);
    const __m128i spare = _mm_set1_epi16((short)L::kSpare);
    const __m128i k = _mm_set1_epi16((short)key);
    int blocks = n / 8;
    for (int b = 0; b < blocks; b++, src += 16, dst += 16) {
        __m128i s = _mm_loadu_si128((const __m128i*)src);
        __m128i same = _mm_setzero_si128();
        if constexpr (Keyed) {
            same = _mm_cmpeq_epi16(s, k);
            if (_mm_movemask_epi8(same) == 0xFFFF)
                continue;
        }
        __m128i d = _mm_loadu_si128((const __m128i*)dst);
        __m128i r;
        if constexpr (kCode == INK_BLEND) {
            r = _mm_or_si128(_mm_or_si128(BlendField<L::kBlue, 5>(s, d, p), BlendField<L::kRed, 5>(s, d, p)),
                             BlendField<L::kGreen, L::kGreenBits>(s, d, p));
        } else {
            constexpr bool kAdd = kCode == INK_ADD;
            r = _mm_or_si128(_mm_or_si128(SaturateField<L::kBlue, 5, kAdd>(s, d), SaturateField<L::kRed, 5, kAdd>(s, d)),
                             SaturateField<L::kGreen, L::kGreenBits, kAdd>(s, d));
            if constexpr (!kAdd && L::kSpare != 0)
                r = _mm_or_si128(r, _mm_and_si128(d, spare));
        }
        if constexpr (Keyed)
            r = _mm_or_si128(_mm_and_si128(same, d), _mm_andnot_si128(same, r));
        _mm_storeu_si128((__m128i*)dst, r);
    }
    if constexpr (Keyed)
        InkKeyedRow<F, E>(c, src, dst, n % 8, key);
    else
        InkRow<F, E>(c, src, dst, n % 8);
}

}  // namespace

template <class F, template <class> class E>
void InkPackedRowSse2(InkContext* c, const uint8_t* src, uint8_t* dst, int n)
{
    PackedRow<F, E, false>(c, src, dst, n, 0);
}

template <class F, template <class> class E>
void InkPackedKeyedRowSse2(InkContext* c, const uint8_t* src, uint8_t* dst, int n, uint32_t key)
{
    PackedRow<F, E, true>(c, src, dst, n, key);
}

#define KX_PACKED_ROWS(F, E)                                                                                       \
    template void InkPackedRowSse2<F, E>(InkContext*, const uint8_t*, uint8_t*, int);                              \
    template void InkPackedKeyedRowSse2<F, E>(InkContext*, const uint8_t*, uint8_t*, int, uint32_t);
KX_PACKED_ROWS(Format15, InkBlend)
KX_PACKED_ROWS(Format15, InkAddEffect)
KX_PACKED_ROWS(Format15, InkSubtractEffect)
KX_PACKED_ROWS(Format16, InkBlend)
KX_PACKED_ROWS(Format16, InkAddEffect)
KX_PACKED_ROWS(Format16, InkSubtractEffect)
#undef KX_PACKED_ROWS

}  // namespace kx
