// Conversions between the packed 16-bit formats and 32 bits with SSE2, eight pixels per block; the rest of each
// row by the plain loop. Widening builds each pixel's blue-green word and red word in 16-bit lanes and interleaves
// them; narrowing splits each pixel into its blue-green and its red words (a signed pack of
// sign-extended words keeps every bit) and packs them in 16-bit lanes. The results equal the plain formulas, the non-black rule included.
#include <emmintrin.h>

#include "kernels/convert_pixels.h"
#include "kernels/simd_kernels.h"

namespace kx {

namespace {

// Field positions of a packed format: green's shift up into the high byte of the blue-green word, red's shift down
// into the low byte of the red word; the same green mask serves both directions.
template <class F>
struct Packed;
template <>
struct Packed<Format15> {
    static constexpr int kGreenUp = 6, kRedDown = 7;
    static constexpr int kGreenDown = 6, kRedDown32 = 9;
    static constexpr uint32_t kGreenMask = 0xF800, kRedMask = 0xF80000;
};
template <>
struct Packed<Format16> {
    static constexpr int kGreenUp = 5, kRedDown = 8;
    static constexpr int kGreenDown = 5, kRedDown32 = 8;
    static constexpr uint32_t kGreenMask = 0xFC00, kRedMask = 0xF80000;
};

template <class F>
KX_TARGET_SSE2 void WidenSse2(const ConvertContext* c, const uint8_t* src, uint8_t* dst, int n)
{
    using P = Packed<F>;
    const __m128i blueMask = _mm_set1_epi16(0xF8);
    const __m128i greenMask = _mm_set1_epi16((short)P::kGreenMask);
    const __m128i redMask = _mm_set1_epi16(0xF8);
    int blocks = n / 8;
    for (int b = 0; b < blocks; b++, src += 16, dst += 32) {
        __m128i x = _mm_loadu_si128((const __m128i*)src);
        __m128i bg = _mm_or_si128(_mm_and_si128(_mm_slli_epi16(x, 3), blueMask),
                                  _mm_and_si128(_mm_slli_epi16(x, P::kGreenUp), greenMask));
        __m128i r = _mm_and_si128(_mm_srli_epi16(x, P::kRedDown), redMask);
        _mm_storeu_si128((__m128i*)dst, _mm_unpacklo_epi16(bg, r));
        _mm_storeu_si128((__m128i*)(dst + 16), _mm_unpackhi_epi16(bg, r));
    }
    ConvertRow<F, Format32>(c, src, dst, n % 8);
}

// The low and the high 16-bit halves of eight 32-bit pixels, each as eight 16-bit lanes (a signed pack of
// sign-extended halves keeps every bit).
KX_TARGET_SSE2 inline __m128i LowHalves(__m128i a, __m128i z)
{
    return _mm_packs_epi32(_mm_srai_epi32(_mm_slli_epi32(a, 16), 16), _mm_srai_epi32(_mm_slli_epi32(z, 16), 16));
}

template <class F>
KX_TARGET_SSE2 void NarrowSse2(const ConvertContext* c, const uint8_t* src, uint8_t* dst, int n)
{
    using P = Packed<F>;
    const __m128i zero = _mm_setzero_si128();
    const __m128i one = _mm_set1_epi16(1);
    const __m128i blueMask = _mm_set1_epi16(0x1F);
    const __m128i greenMask = _mm_set1_epi16((short)(P::kGreenMask >> P::kGreenDown));
    const __m128i redMask = _mm_set1_epi16((short)(0xF8 << (16 - P::kRedDown32)));
    const __m128i redByte = _mm_set1_epi16(0xFF);
    int blocks = n / 8;
    for (int b = 0; b < blocks; b++, src += 32, dst += 16) {
        __m128i a = _mm_loadu_si128((const __m128i*)src);
        __m128i z = _mm_loadu_si128((const __m128i*)(src + 16));
        __m128i gb = LowHalves(a, z);                                             // green << 8 | blue
        __m128i r = _mm_packs_epi32(_mm_srai_epi32(a, 16), _mm_srai_epi32(z, 16));  // fourth << 8 | red
        __m128i v = _mm_or_si128(_mm_and_si128(_mm_srli_epi16(gb, 3), blueMask),
                                 _mm_and_si128(_mm_srli_epi16(gb, P::kGreenDown), greenMask));
        v = _mm_or_si128(v, _mm_and_si128(_mm_slli_epi16(r, 16 - P::kRedDown32), redMask));
        // A pixel whose colour is not black but whose packed value is 0 becomes 1. Where the value is 0 every
        // channel is below 8, so the OR of the colour words is small and positive, and its minimum with 1 says
        // whether the colour is black.
        __m128i nonBlack = _mm_min_epi16(_mm_or_si128(gb, _mm_and_si128(r, redByte)), one);
        _mm_storeu_si128((__m128i*)dst, _mm_or_si128(v, _mm_and_si128(nonBlack, _mm_cmpeq_epi16(v, zero))));
    }
    ConvertRow<Format32, F>(c, src, dst, n % 8);
}

}  // namespace

void Convert15To32Sse2(const ConvertContext* c, const uint8_t* src, uint8_t* dst, int n)
{
    WidenSse2<Format15>(c, src, dst, n);
}
void Convert16To32Sse2(const ConvertContext* c, const uint8_t* src, uint8_t* dst, int n)
{
    WidenSse2<Format16>(c, src, dst, n);
}
void Convert32To15Sse2(const ConvertContext* c, const uint8_t* src, uint8_t* dst, int n)
{
    NarrowSse2<Format15>(c, src, dst, n);
}
void Convert32To16Sse2(const ConvertContext* c, const uint8_t* src, uint8_t* dst, int n)
{
    NarrowSse2<Format16>(c, src, dst, n);
}

}  // namespace kx
