// Blend, add and subtract of 5-5-5 and 5-6-5 rows with SSE2, eight pixels per block, one field at a time.
// Add and subtract move each field to the top of its 16-bit lane, where the saturating instructions clamp it
// exactly as the carry tests of the plain formulas do. Blend works on the field values: the plain path widens a
// field to a colour byte (low bits zero), blends and keeps the top bits again, which is floor((s*q + d*p) / 128)
// of the field values themselves.
#include <emmintrin.h>

#include "kernels/ink_simd.h"

namespace kx {

namespace {

// A field of a packed pixel: where its value starts and how many bits it has.
struct Field {
    int shift, bits;
};

template <class F>
struct PackedLayout;
template <>
struct PackedLayout<Format15> {
    static constexpr Field kFields[3] = {{10, 5}, {5, 5}, {0, 5}};
    static constexpr uint32_t kSpare = 0x8000;  // bit 15: the destination's own after subtract
};
template <>
struct PackedLayout<Format16> {
    static constexpr Field kFields[3] = {{11, 5}, {5, 6}, {0, 5}};
    static constexpr uint32_t kSpare = 0;
};

// The SIMD body lives in a helper of its own: the attribute has to be on the first declaration.
template <class F, template <class> class E>
KX_TARGET_SSE2 void PackedRow(InkContext* c, const uint8_t* src, uint8_t* dst, int n)
{
    constexpr int kCode = E<F>::kCode;
    using L = PackedLayout<F>;
    const __m128i p = _mm_set1_epi16((short)c->destinationWeight);
    const __m128i q = _mm_set1_epi16((short)c->sourceWeight);
    int blocks = n / 8;
    for (int b = 0; b < blocks; b++, src += 16, dst += 16) {
        __m128i s = _mm_loadu_si128((const __m128i*)src);
        __m128i d = _mm_loadu_si128((const __m128i*)dst);
        __m128i r = _mm_setzero_si128();
        for (const Field& f : L::kFields) {
            const __m128i valueMask = _mm_set1_epi16((short)((1 << f.bits) - 1));
            if constexpr (kCode == INK_BLEND) {
                __m128i sf = _mm_and_si128(_mm_srli_epi16(s, f.shift), valueMask);
                __m128i df = _mm_and_si128(_mm_srli_epi16(d, f.shift), valueMask);
                __m128i t = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(sf, q), _mm_mullo_epi16(df, p)), 7);
                r = _mm_or_si128(r, _mm_slli_epi16(t, f.shift));
            } else {
                int up = 16 - f.shift - f.bits;
                const __m128i top = _mm_set1_epi16((short)(((1 << f.bits) - 1) << (16 - f.bits)));
                __m128i st = _mm_and_si128(_mm_slli_epi16(s, up), top);
                __m128i dt = _mm_and_si128(_mm_slli_epi16(d, up), top);
                __m128i t = kCode == INK_ADD ? _mm_adds_epu16(st, dt) : _mm_subs_epu16(dt, st);
                r = _mm_or_si128(r, _mm_and_si128(_mm_srli_epi16(t, up), _mm_slli_epi16(valueMask, f.shift)));
            }
        }
        if constexpr (kCode == INK_SUBTRACT && L::kSpare != 0)
            r = _mm_or_si128(r, _mm_and_si128(d, _mm_set1_epi16((short)L::kSpare)));
        _mm_storeu_si128((__m128i*)dst, r);
    }
    InkRow<F, E>(c, src, dst, n % 8);
}

}  // namespace

template <class F, template <class> class E>
void InkPackedRowSse2(InkContext* c, const uint8_t* src, uint8_t* dst, int n)
{
    PackedRow<F, E>(c, src, dst, n);
}

#define KX_PACKED_ROWS(F)                                                                                          \
    template void InkPackedRowSse2<F, InkBlend>(InkContext*, const uint8_t*, uint8_t*, int);                       \
    template void InkPackedRowSse2<F, InkAddEffect>(InkContext*, const uint8_t*, uint8_t*, int);                   \
    template void InkPackedRowSse2<F, InkSubtractEffect>(InkContext*, const uint8_t*, uint8_t*, int);
KX_PACKED_ROWS(Format15)
KX_PACKED_ROWS(Format16)
#undef KX_PACKED_ROWS

}  // namespace kx
