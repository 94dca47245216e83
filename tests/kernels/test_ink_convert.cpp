// Ink effects (slots 4 and 6), format conversion (slot 11) and the row helpers: worked pixel cases, random
// surfaces compared byte for byte with the one-pixel-at-a-time reference of reference_ink.h under every feature
// set, and surfaces whose memory ends at a page the process may not touch, so a read or write past the last byte
// faults at once.
#include <windows.h>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "kalvex2/frame.h"
#include "kernels/ink_kernels.h"
#include "kernels/kernel_set.h"
#include "kernels/row_helpers.h"
#include "random_cases.h"
#include "reference_ink.h"

using namespace kx;
using ref::BiasedByte;
using ref::kDepths;
using ref::kFeatureSets;

namespace {

const int kEffects[11] = {1, 2, 3, 4, 5, 6, 8, 9, 10, 11, 12};

// Entry 0 black, the rest random, with a few fixed entries the worked cases use; no colour cache, so that the
// library's nearest-index answers are the plain search's.
SharedPalette* InkPalette()
{
    static SharedPalette palette = [] {
        SharedPalette p{};
        p.version = 0x300;
        p.count = 256;
        std::mt19937 rng(99);
        for (int i = 1; i < 256; i++)
            p.entries[i] = {(BYTE)rng(), (BYTE)rng(), (BYTE)rng(), 0};
        p.entries[1] = {0xFF, 0xFF, 0xFF, 0};
        p.entries[2] = {0xFF, 0, 0, 0};  // pure red
        p.entries[3] = {0, 0, 0x08, 0};  // a blue that 5-6-5 keeps
        p.entries[4] = {0, 0, 0x04, 0};  // a blue too dark for 5 bits: becomes 1
        p.entries[5] = {0x4F, 0x4F, 0x4F, 0};  // grey of pure red
        p.entries[6] = {0x7F, 0x7F, 0x7F, 0};  // white half over black
        p.entries[9] = {0x80, 0x80, 0x80, 0};
        return p;
    }();
    return &palette;
}

// A surface in memory of its own whose last byte sits just before a no-access page; a few guard bytes lie before
// it and padding after every row. Snapshot() and Restore() take and put back every accessible byte.
class FencedSurface {
public:
    SurfaceDesc d{};

    FencedSurface(int depth, int w, int h, bool bottomUp, int padding, int lead)
    {
        ref::DescribeSurface(d, depth, w, h, bottomUp, padding, InkPalette());
        // The last row's padding is dropped, so that its last pixel ends at the fence.
        size_t bytes = (size_t)d.pitch * h - (size_t)padding + (size_t)lead;
        size_t page = 4096, span = (bytes + page - 1) / page * page;
        block_ = (uint8_t*)VirtualAlloc(nullptr, span + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
        DWORD old;
        VirtualProtect(block_ + span, page, PAGE_NOACCESS, &old);
        start_ = block_ + span - bytes;
        size_ = bytes;
        uint8_t* first = start_ + lead;
        d.pixelBlock = first;
        d.rowZero = bottomUp ? first + (size_t)d.pitch * (h - 1) : first;
    }
    ~FencedSurface() { VirtualFree(block_, 0, MEM_RELEASE); }
    FencedSurface(const FencedSurface&) = delete;
    FencedSurface& operator=(const FencedSurface&) = delete;

    void Randomise(std::mt19937& rng)
    {
        for (size_t k = 0; k < size_; k++)
            start_[k] = BiasedByte(rng);
    }
    void AddAlpha(std::mt19937& rng, bool bottomUp)
    {
        d.alphaPitch = d.width + 1;
        d.alphaRowStep = bottomUp ? -d.alphaPitch : d.alphaPitch;
        alpha_.resize((size_t)d.alphaPitch * d.height);
        for (auto& b : alpha_)
            b = BiasedByte(rng);
        d.alphaBlock = alpha_.data();
        d.alphaRowZero = alpha_.data() + (bottomUp ? (size_t)d.alphaPitch * (d.height - 1) : 0);
    }
    std::vector<uint8_t> Snapshot() const { return std::vector<uint8_t>(start_, start_ + size_); }
    void Restore(const std::vector<uint8_t>& bytes) { memcpy(start_, bytes.data(), size_); }
    // Byte offset of (x, y) from the start of the snapshot.
    size_t Offset(int x, int y) const { return (size_t)(ref::At(&d, x, y) - start_); }
    uint32_t Pixel(int x, int y) const { return ref::Read(&d, x, y); }

private:
    uint8_t* block_ = nullptr;
    uint8_t* start_ = nullptr;
    size_t size_ = 0;
    std::vector<uint8_t> alpha_;
};

// Every byte of after outside the rectangle must equal before.
void ExpectOnlyRectChanged(const FencedSurface& s, const std::vector<uint8_t>& after,
                           const std::vector<uint8_t>& before, int x, int y, int w, int h, const std::string& what)
{
    std::vector<bool> inside(after.size(), false);
    for (int j = 0; j < h; j++)
        for (int b = 0; b < w * s.d.bytesPerPixel; b++)
            inside[s.Offset(x, y + j) + b] = true;
    for (size_t k = 0; k < after.size(); k++)
        if (!inside[k] && after[k] != before[k]) {
            ADD_FAILURE() << what << ": byte " << k << " outside the rectangle changed";
            return;
        }
}

// Runs op on the destination under every feature set, and ref on a copy, and compares all bytes.
template <class Op, class Ref>
void CompareUnderFeatureSets(FencedSurface& dst, int dx, int dy, int w, int h, const std::string& what, Op op,
                             Ref reference)
{
    std::vector<uint8_t> start = dst.Snapshot();
    reference();
    std::vector<uint8_t> expected = dst.Snapshot();
    for (unsigned long features : kFeatureSets) {
        dst.Restore(start);
        dst.d.flags = features;
        op();
        std::vector<uint8_t> got = dst.Snapshot();
        if (got != expected) {
            size_t k = 0;
            while (got[k] == expected[k])
                k++;
            ADD_FAILURE() << what << " with features " << features << " differs at byte " << k << ": got "
                          << (int)got[k] << ", expected " << (int)expected[k];
        }
        ExpectOnlyRectChanged(dst, got, start, dx, dy, w, h, what);
    }
    dst.d.flags = 0;
}

// ---------------------------------------------------------------------------------------------------------------
// Effect codes

TEST(InkEffects, OnlyCodesWithRoutinesAreEffects)
{
    for (int code = -2; code <= 20; code++) {
        bool expected = code >= 1 && code <= 12 && code != 7;
        EXPECT_EQ(IsInkEffect(code), expected) << code;
        for (int depth : kDepths)
            for (unsigned long features : kFeatureSets)
                EXPECT_EQ(InkRoutinesFor(depth, code, features) != nullptr, expected) << code;
    }
}

TEST(InkEffects, KernelsLeaveTheDestinationForCodesWithoutRoutines)
{
    for (int depth : kDepths)
        for (int code : {0, 7, 13, -1}) {
            FencedSurface src(depth, 20, 2, false, 0, 0), dst(depth, 20, 2, false, 0, 0);
            std::mt19937 rng(code + depth);
            src.Randomise(rng);
            dst.Randomise(rng);
            std::vector<uint8_t> before = dst.Snapshot();
            dst.d.kernels->copyOpaqueInk(&dst.d, 0, 0, &src.d, 0, 0, 20, 2, code, 64);
            dst.d.kernels->copyTransparentInk(&dst.d, 0, 0, &src.d, 0, 0, 20, 2, code, 64);
            EXPECT_EQ(dst.Snapshot(), before) << "depth " << depth << " code " << code;
        }
}

// ---------------------------------------------------------------------------------------------------------------
// Worked pixels: one source pixel over one destination pixel, rows of every width from 1 to 33 (blocks and tails
// of every SIMD loop), opaque and transparent, every feature set.

struct InkCase {
    const char* name;
    int depth, effect;
    uint32_t parameter, source, destination, expected;
};

const InkCase kInkCases[] = {
    {"blend_half_white_over_black_24", 24, 1, 64, 0xFFFFFF, 0x000000, 0x7F7F7F},
    {"blend_0_gives_source_24", 24, 1, 0, 0x123456, 0xABCDEF, 0x123456},
    {"blend_128_gives_destination_32", 32, 1, 128, 0x00123456, 0x00ABCDEF, 0x00ABCDEF},
    {"blend_above_128_clamped_32", 32, 1, 200, 0x00123456, 0x00ABCDEF, 0x00ABCDEF},
    {"blend_huge_weight_clamped_16", 16, 1, 0xFFFFFFFF, 0x1234, 0xF81F, 0xF81F},
    {"blend_fourth_byte_zero_32", 32, 1, 64, 0x77FFFFFF, 0x55000000, 0x007F7F7F},
    {"blend_quarter_16", 16, 1, 32, 0xFFFF, 0x0000, 0xBDF7},
    {"blend_quarter_15", 15, 1, 32, 0x7FFF, 0x0000, 0x5EF7},
    {"blend_half_white_over_black_8", 8, 1, 64, 0x01, 0x00, 0x06},
    {"add_saturates_24", 24, 9, 0, 0xF0F0F0, 0x202020, 0xFFFFFF},
    {"add_red_saturates_16", 16, 9, 0, 0xF800, 0x0800, 0xF800},
    {"add_masks_differ_15", 15, 9, 0, 0x4000, 0x4000, 0x7C00},
    {"add_masks_differ_16", 16, 9, 0, 0x4000, 0x4000, 0x8000},
    {"add_drops_bit_15", 15, 9, 0, 0x8001, 0x8001, 0x0002},
    {"add_fourth_byte_zero_32", 32, 9, 0, 0x11010101, 0x22FF0101, 0x00FF0202},
    {"subtract_clamps_24", 24, 11, 0, 0x102030, 0x081040, 0x000010},
    {"subtract_fourth_byte_never_reaches_red_32", 32, 11, 0, 0x00100000, 0x01001020, 0x01001020},
    {"subtract_bit_15_never_reaches_red_15", 15, 11, 0, 0x0400, 0x8021, 0x8021},
    {"subtract_green_6_bits_16", 16, 11, 0, 0x0020, 0x07E0, 0x07C0},
    {"grey_of_red_24", 24, 10, 0, 0xFF0000, 0x123456, 0x4F4F4F},
    {"grey_of_red_16", 16, 10, 0, 0xF800, 0x1234, 0x4A69},
    {"grey_of_red_8", 8, 10, 0, 0x02, 0x55, 0x05},
    {"invert_15", 15, 2, 0, 0x0000, 0x1234, 0xFFFF},
    {"invert_keeps_fourth_byte_32", 32, 2, 0, 0xAB000000, 0x12345678, 0xABFFFFFF},
    {"invert_8", 8, 2, 0, 0x0F, 0x33, 0xF0},
    {"xor_32", 32, 3, 0, 0xFF00FF00, 0x0F0F0F0F, 0xF00FF00F},
    {"and_24", 24, 4, 0, 0xFF00FF, 0x0F0F0F, 0x0F000F},
    {"or_16", 16, 5, 0, 0xF000, 0x000F, 0xF00F},
    {"and_not_8", 8, 8, 0, 0x0F, 0x3C, 0x30},
    {"and_not_32", 32, 8, 0, 0x0F0F0F0F, 0xFFFFFFFF, 0xF0F0F0F0},
    // Code 6: the destination holds the transparent value (0 here), so the backdrop takes its place.
    {"backdrop_stands_for_transparent_24", 24, 6, 0x40000000 | 0x0000FF, 0x000002, 0x000000, 0x000080},
    {"backdrop_weight_clamped_24", 24, 6, 0xFF000000 | 0x0000FF, 0x123456, 0x000000, 0x0000FF},
    {"backdrop_rgb_in_16", 16, 6, 0x40000000 | 0x0000FF, 0x001F, 0x0000, 0x780F},
    {"except_key_keeps_key_24", 24, 12, 0x40000000 | 0x332211, 0xFFFFFF, 0x112233, 0x112233},
    {"except_key_keeps_key_with_fourth_byte_32", 32, 12, 0x40000000 | 0x332211, 0x00FFFFFF, 0x99112233,
     0x99112233},
    {"except_key_blends_others_16", 16, 12, 0x40000000 | 0x332211, 0xFFFF, 0x0000, 0x7BEF},
    {"except_key_keeps_key_15", 15, 12, 0x40000000 | 0xF8F8F8, 0x0000, 0x7FFF, 0x7FFF},
};

class InkPixelCases : public testing::TestWithParam<InkCase> {};

TEST_P(InkPixelCases, EveryWidthTransparentAndOpaque)
{
    const InkCase& c = GetParam();
    for (int w = 1; w <= 33; w++)
        for (bool transparent : {false, true}) {
            SCOPED_TRACE(testing::Message() << "width " << w << (transparent ? " transparent" : " opaque"));
            FencedSurface src(c.depth, w + 2, 2, false, 1, 3), dst(c.depth, w + 3, 3, true, 2, 1);
            std::mt19937 rng(w);
            src.Randomise(rng);
            dst.Randomise(rng);
            // The transparent value: a pixel the row does not hold, except for code 6, whose test is of the
            // destination against it.
            src.d.transparentNative = c.effect == 6 ? c.destination : (c.source ^ 1) & ref::PixelBits(c.depth);
            for (int i = 0; i < w; i++) {
                ref::Write(&src.d, 1 + i, 1, c.source);
                ref::Write(&dst.d, 2 + i, 1, c.destination);
            }
            std::vector<uint8_t> before = dst.Snapshot();
            for (unsigned long features : kFeatureSets) {
                dst.Restore(before);
                dst.d.flags = features;
                CopyInkKernelFn k = transparent ? dst.d.kernels->copyTransparentInk : dst.d.kernels->copyOpaqueInk;
                k(&dst.d, 2, 1, &src.d, 1, 1, w, 1, c.effect, c.parameter);
                for (int i = 0; i < w; i++)
                    ASSERT_EQ(dst.Pixel(2 + i, 1), c.expected) << "pixel " << i << " features " << features;
                ExpectOnlyRectChanged(dst, dst.Snapshot(), before, 2, 1, w, 1, c.name);
            }
        }
}

INSTANTIATE_TEST_SUITE_P(Effects, InkPixelCases, testing::ValuesIn(kInkCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(InkEffects, TransparentSourcePixelsLeaveTheDestination)
{
    for (int depth : kDepths)
        for (int effect : kEffects) {
            FencedSurface src(depth, 40, 1, false, 0, 0), dst(depth, 40, 1, false, 0, 0);
            std::mt19937 rng(depth * 100 + effect);
            dst.Randomise(rng);
            uint32_t key = depth == 8 ? 0x00 : 0x0F;
            for (int i = 0; i < 40; i++)
                ref::Write(&src.d, i, 0, key);
            src.d.transparentNative = key;
            std::vector<uint8_t> before = dst.Snapshot();
            for (unsigned long features : kFeatureSets) {
                dst.d.flags = features;
                dst.d.kernels->copyTransparentInk(&dst.d, 0, 0, &src.d, 0, 0, 40, 1, effect, 0x40000000 | 50);
                EXPECT_EQ(dst.Snapshot(), before) << "depth " << depth << " effect " << effect;
            }
        }
}

// Code 12 on 8-bit surfaces asks the colour cache but never adds to it; code 1 fills it.
TEST(InkEffects, ExceptKeyLeavesTheColourCacheAlone)
{
    SharedPalette palette = *InkPalette();
    std::vector<unsigned char> table(32768, 0);
    palette.inverseTable = table.data();
    FencedSurface src(8, 16, 1, false, 0, 0), dst(8, 16, 1, false, 0, 0);
    src.d.palette = dst.d.palette = &palette;
    std::mt19937 rng(12);
    src.Randomise(rng);
    dst.Randomise(rng);
    dst.d.kernels->copyOpaqueInk(&dst.d, 0, 0, &src.d, 0, 0, 16, 1, INK_BLEND_EXCEPT_KEY, 0x40000000);
    EXPECT_EQ(std::count(table.begin(), table.end(), 0), 32768);
    dst.d.kernels->copyOpaqueInk(&dst.d, 0, 0, &src.d, 0, 0, 16, 1, INK_BLEND, 64);
    EXPECT_LT(std::count(table.begin(), table.end(), 0), 32768);
}

// ---------------------------------------------------------------------------------------------------------------
// Random surfaces against the reference. The case number is the seed and picks format and effect; every case runs
// the opaque copy, the transparent copy by key and the transparent copy with an alpha plane, each under every
// feature set, with row orders, offsets and widths (up to long rows that run the SIMD blocks) from the seed.

class InkRandom : public testing::TestWithParam<int> {};

TEST_P(InkRandom, MatchesReference)
{
    int seed = GetParam();
    int depth = kDepths[seed % 5];
    int effect = kEffects[(seed / 5) % 11];
    std::mt19937 rng(seed);
    int w = rng() % 4 == 0 ? 1 + (int)(rng() % 8) : 1 + (int)(rng() % 90);
    int h = 1 + (int)(rng() % 3);
    int sx = (int)(rng() % 3), sy = (int)(rng() % 2), dx = (int)(rng() % 3), dy = (int)(rng() % 2);
    FencedSurface src(depth, sx + w + (int)(rng() % 2), sy + h, rng() & 1, (int)(rng() % 4), (int)(rng() % 5));
    FencedSurface dst(depth, dx + w + (int)(rng() % 2), dy + h, rng() & 1, (int)(rng() % 4), (int)(rng() % 5));
    src.Randomise(rng);
    dst.Randomise(rng);
    // Weights around and above 128; keys and transparent values that some pixels hold.
    uint32_t weight = rng() % 3 == 0 ? 129 + rng() % 200 : rng() % 129;
    uint32_t parameter = weight;
    if (effect == 6)
        parameter = weight << 24 | (rng() & 0xFFFFFF);
    if (effect == 12) {
        uint32_t d = dst.Pixel(dx, dy);
        uint32_t key = depth == 8 ? ref::Entry(InkPalette(), d) : ref::ToRgb(depth, d);
        parameter = (weight & 0xFF) << 24 | key;
    }
    src.d.transparentNative = effect == 6 && (rng() & 1) ? dst.Pixel(dx + w - 1, dy) : src.Pixel(sx, sy);
    std::string what = "case " + std::to_string(seed) + " depth " + std::to_string(depth) + " effect " +
                       std::to_string(effect) + " w " + std::to_string(w);
    const BlitKernelSet* k = src.d.kernels;

    CompareUnderFeatureSets(
        dst, dx, dy, w, h, what + " opaque",
        [&] { k->copyOpaqueInk(&dst.d, dx, dy, &src.d, sx, sy, w, h, effect, parameter); },
        [&] { ref::InkCopy(&dst.d, dx, dy, &src.d, sx, sy, w, h, effect, parameter, false); });
    CompareUnderFeatureSets(
        dst, dx, dy, w, h, what + " transparent",
        [&] { k->copyTransparentInk(&dst.d, dx, dy, &src.d, sx, sy, w, h, effect, parameter); },
        [&] { ref::InkCopy(&dst.d, dx, dy, &src.d, sx, sy, w, h, effect, parameter, true); });
    src.AddAlpha(rng, rng() & 1);
    CompareUnderFeatureSets(
        dst, dx, dy, w, h, what + " alpha plane",
        [&] { k->copyTransparentInk(&dst.d, dx, dy, &src.d, sx, sy, w, h, effect, parameter); },
        [&] { ref::InkCopy(&dst.d, dx, dy, &src.d, sx, sy, w, h, effect, parameter, true); });
}

INSTANTIATE_TEST_SUITE_P(Cases, InkRandom, testing::Range(0, 550));

// The routines behind the kernels: run routines combine the transparent value with each destination pixel, and
// the pixel routine is the formula itself.
TEST(InkRoutines, RunAndPixelMatchReference)
{
    for (int depth : kDepths)
        for (int effect : kEffects)
            for (unsigned long features : kFeatureSets) {
                std::mt19937 rng(depth * 1000 + effect * 10 + (int)features);
                FencedSurface dst(depth, 37, 1, false, 0, 0);
                dst.Randomise(rng);
                const InkRoutines* r = InkRoutinesFor(depth, effect, features);
                ASSERT_TRUE(r);
                InkContext c{};
                c.palette = dst.d.palette;
                c.parameter = effect == INK_BLEND ? rng() % 129 : (rng() % 129) << 24 | (rng() & 0xFFFFFF);
                c.transparentNative = dst.Pixel((int)(rng() % 37), 0);
                uint32_t s = c.transparentNative & ref::PixelBits(depth);
                std::vector<uint32_t> old;
                for (int i = 0; i < 37; i++)
                    old.push_back(dst.Pixel(i, 0));
                r->init(&c);
                r->run(&c, dst.d.rowZero, 37);
                for (int i = 0; i < 37; i++) {
                    uint32_t want =
                        ref::InkPixel(depth, dst.d.palette, effect, c.parameter, c.transparentNative, s, old[i]);
                    EXPECT_EQ(dst.Pixel(i, 0), want) << "run, depth " << depth << " effect " << effect << " pixel " << i;
                    EXPECT_EQ(r->pixel(&c, s, old[i]), want) << "pixel, depth " << depth << " effect " << effect;
                }
            }
}

// After the MMX blend the x87 unit must be usable again.
TEST(InkEffects, FloatingPointWorksAfterMmxBlend)
{
    for (int depth : {24, 32}) {
        FencedSurface a(depth, 70, 3, false, 0, 0), b(depth, 70, 3, false, 0, 0);
        std::mt19937 rng(depth);
        a.Randomise(rng);
        b.d.flags = CPU_MMX;
        b.d.kernels->copyOpaqueInk(&b.d, 0, 0, &a.d, 0, 0, 70, 3, INK_BLEND, 50);
        b.d.kernels->copyTransparentInk(&b.d, 0, 0, &a.d, 0, 0, 70, 3, INK_BLEND, 50);
        volatile long double x = 1.5L;
        volatile long double y = x * 3.0L + 0.25L;
        EXPECT_EQ((double)y, 4.75) << depth;
    }
}

// ---------------------------------------------------------------------------------------------------------------
// Conversion

struct ConvertCase {
    const char* name;
    int from, to;
    uint32_t source, expected;
};

const ConvertCase kConvertCases[] = {
    {"black_24_to_15", 24, 15, 0x000000, 0x0000},
    {"blue_1_kept_24_to_15", 24, 15, 0x000001, 0x0001},
    {"white_24_to_15", 24, 15, 0xFFFFFF, 0x7FFF},
    {"red_24_to_16", 24, 16, 0xFF0000, 0xF800},
    {"green_low_bits_dropped_24_to_16", 24, 16, 0x000300, 0x0001},
    {"green_24_to_16", 24, 16, 0x00FC00, 0x07E0},
    {"blue_16_to_15", 16, 15, 0x0001, 0x0001},
    {"green_1_of_6_kept_16_to_15", 16, 15, 0x0020, 0x0001},
    {"white_16_to_15", 16, 15, 0xFFFF, 0x7FFF},
    {"green_gains_low_bit_15_to_16", 15, 16, 0x03E0, 0x07C0},
    {"white_15_to_16", 15, 16, 0x7FFF, 0xFFDF},
    {"bit_15_dropped_15_to_32", 15, 32, 0x8000, 0x00000000},
    {"white_15_to_24", 15, 24, 0x7FFF, 0xF8F8F8},
    {"white_16_to_32", 16, 32, 0xFFFF, 0x00F8FCF8},
    {"red_16_to_32", 16, 32, 0xF800, 0x00F80000},
    {"blue_16_to_24", 16, 24, 0x001F, 0x0000F8},
    {"fourth_byte_dropped_32_to_24", 32, 24, 0xAB123456, 0x123456},
    {"fourth_byte_zero_24_to_32", 24, 32, 0x123456, 0x00123456},
    {"white_32_to_16", 32, 16, 0x00FFFFFF, 0xFFFF},
    {"dark_blue_kept_32_to_16", 32, 16, 0x00000007, 0x0001},
    {"dark_red_kept_32_to_15", 32, 15, 0x00070000, 0x0001},
    {"black_with_fourth_byte_stays_0_32_to_15", 32, 15, 0xFF000000, 0x0000},
    {"black_with_fourth_byte_stays_0_32_to_16", 32, 16, 0xFF000000, 0x0000},
    {"red_32_to_8", 32, 8, 0x00FF0000, 0x02},
    {"black_32_to_8", 32, 8, 0x00000000, 0x00},
    {"white_24_to_8", 24, 8, 0xFFFFFF, 0x01},
    {"black_16_to_8", 16, 8, 0x0000, 0x00},
    {"grey_15_to_8", 15, 8, 0x4210, 0x09},
    {"red_8_to_32", 8, 32, 0x02, 0x00FF0000},
    {"white_8_to_24", 8, 24, 0x01, 0xFFFFFF},
    {"black_8_to_16", 8, 16, 0x00, 0x0000},
    {"blue_8_to_16", 8, 16, 0x03, 0x0001},
    {"dark_blue_kept_8_to_15", 8, 15, 0x04, 0x0001},
    {"white_8_to_15", 8, 15, 0x01, 0x7FFF},
};

class ConvertPixelCases : public testing::TestWithParam<ConvertCase> {};

TEST_P(ConvertPixelCases, EveryWidthAndFeatureSet)
{
    const ConvertCase& c = GetParam();
    for (int w = 1; w <= 33; w++) {
        SCOPED_TRACE(testing::Message() << "width " << w);
        FencedSurface src(c.from, w + 1, 2, false, 1, 2), dst(c.to, w + 2, 3, true, 3, 1);
        std::mt19937 rng(w);
        src.Randomise(rng);
        dst.Randomise(rng);
        for (int i = 0; i < w; i++)
            ref::Write(&src.d, 1 + i, 1, c.source);
        std::vector<uint8_t> before = dst.Snapshot();
        for (unsigned long features : kFeatureSets) {
            dst.Restore(before);
            dst.d.flags = features;
            src.d.kernels->convert(&dst.d, 2, 1, w * dst.d.bytesPerPixel, &src.d, 1, 1, w, 1);
            for (int i = 0; i < w; i++)
                ASSERT_EQ(dst.Pixel(2 + i, 1), c.expected) << "pixel " << i << " features " << features;
            ExpectOnlyRectChanged(dst, dst.Snapshot(), before, 2, 1, w, 1, c.name);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Pairs, ConvertPixelCases, testing::ValuesIn(kConvertCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Every ordered pair of formats over random surfaces, long rows included.
class ConvertRandom : public testing::TestWithParam<int> {};

TEST_P(ConvertRandom, MatchesReference)
{
    int seed = GetParam();
    int from = kDepths[seed % 5], to = kDepths[(seed / 5) % 5];
    if (from == to)
        return;
    std::mt19937 rng(seed);
    int w = 1 + (int)(rng() % 80), h = 1 + (int)(rng() % 3);
    int sx = (int)(rng() % 3), sy = (int)(rng() % 2), dx = (int)(rng() % 3), dy = (int)(rng() % 2);
    FencedSurface src(from, sx + w, sy + h, rng() & 1, (int)(rng() % 4), (int)(rng() % 5));
    FencedSurface dst(to, dx + w + 1, dy + h, rng() & 1, (int)(rng() % 4), (int)(rng() % 5));
    src.Randomise(rng);
    dst.Randomise(rng);
    CompareUnderFeatureSets(
        dst, dx, dy, w, h, "case " + std::to_string(seed) + " " + std::to_string(from) + " to " + std::to_string(to),
        [&] { src.d.kernels->convert(&dst.d, dx, dy, w * dst.d.bytesPerPixel, &src.d, sx, sy, w, h); },
        [&] {
            for (int j = 0; j < h; j++)
                for (int i = 0; i < w; i++)
                    ref::Write(&dst.d, dx + i, dy + j,
                               ref::Convert(from, to, InkPalette(), src.Pixel(sx + i, sy + j)));
        });
}

INSTANTIATE_TEST_SUITE_P(Cases, ConvertRandom, testing::Range(0, 250));

// ---------------------------------------------------------------------------------------------------------------
// Row helpers

TEST(RowHelpers, ReadPixelReturnsTheValueAndAdvances)
{
    const uint8_t bytes[8] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
    const uint32_t expected[5] = {0x11, 0x2211, 0x2211, 0x332211, 0x44332211};
    for (int f = 0; f < 5; f++) {
        const uint8_t* p = bytes;
        EXPECT_EQ(kReadPixel[f](&p), expected[f]) << kDepths[f];
        EXPECT_EQ(p, bytes + ref::BytesOf(kDepths[f])) << kDepths[f];
    }
    EXPECT_EQ(kReadPixel[FORMAT_15], kReadPixel[FORMAT_16]);
    EXPECT_EQ(kStretchRow[FORMAT_15], kStretchRow[FORMAT_16]);
    EXPECT_EQ(kStretchRowClipped[FORMAT_15], kStretchRowClipped[FORMAT_16]);
}

// Source pixel i has the value i + 1 (in every byte of it); the output names the source pixel behind each.
std::vector<int> Stretch(int f, int n, int m, const int* clip = nullptr)
{
    int bytes = ref::BytesOf(kDepths[f]);
    std::vector<uint8_t> src((size_t)n * bytes), dst((size_t)(m + 2) * bytes, 0);
    for (int i = 0; i < n; i++)
        memset(&src[(size_t)i * bytes], i + 1, bytes);
    if (clip)
        kStretchRowClipped[f](src.data(), dst.data() + bytes, n, m, StretchStep(n, m), clip[0], clip[1], clip[2]);
    else
        kStretchRow[f](src.data(), dst.data() + bytes, n, m, StretchStep(n, m));
    std::vector<int> out;
    for (int k = 0; k < m + 2; k++) {
        for (int b = 1; b < bytes; b++)
            EXPECT_EQ(dst[(size_t)k * bytes + b], dst[(size_t)k * bytes]) << "pixel moved in part";
        out.push_back(dst[(size_t)k * bytes] - 1);  // -1: not written
    }
    return out;
}

TEST(RowHelpers, StretchWorkedRows)
{
    struct Row {
        int n, m;
        std::vector<int> expected;  // with the unwritten pixel either side
    } rows[] = {
        {2, 5, {-1, 0, 0, 1, 1, 1, -1}},      // AB to AABBB
        {4, 2, {-1, 0, 2, -1}},               // every other pixel
        {3, 2, {-1, 0, 2, -1}},               // short by one: the open group's first pixel
        {3, 1, {-1, 0, -1}},
        {5, 5, {-1, 0, 1, 2, 3, 4, -1}},
        {1, 3, {-1, 0, 0, 0, -1}},
        {3, 7, {-1, 0, 0, 1, 1, 2, 2, 2, -1}},  // short by one: the last pixel again
    };
    for (const Row& r : rows)
        for (int f = 0; f < 5; f++)
            EXPECT_EQ(Stretch(f, r.n, r.m), r.expected) << r.n << " to " << r.m << " depth " << kDepths[f];
}

TEST(RowHelpers, StretchMatchesReferenceForEverySize)
{
    for (int f = 0; f < 5; f++)
        for (int n = 1; n <= 40; n++)
            for (int m = 1; m <= 40; m++) {
                std::vector<int> expected = ref::StretchIndices(n, m, StretchStep(n, m));
                ASSERT_EQ((int)expected.size(), m) << n << " to " << m;
                expected.insert(expected.begin(), -1);
                expected.push_back(-1);
                ASSERT_EQ(Stretch(f, n, m), expected) << n << " to " << m << " depth " << kDepths[f];
            }
}

// The clipped walk writes exactly the unclipped row's pixels in [clipLeft, clipRight), and nothing else.
TEST(RowHelpers, ClippedStretchWritesOnlyInsideTheClip)
{
    std::mt19937 rng(5);
    for (int trial = 0; trial < 400; trial++) {
        int f = trial % 5, n = 1 + (int)(rng() % 30), m = 1 + (int)(rng() % 30);
        int x = (int)(rng() % 20) - 10;
        int left = x + (int)(rng() % (m + 4)) - 2, right = left + (int)(rng() % (m + 4));
        int clip[3] = {x, left, right};
        std::vector<int> whole = Stretch(f, n, m), clipped = Stretch(f, n, m, clip);
        for (int k = 0; k < m + 2; k++) {
            int column = x + k - 1;
            bool inside = k >= 1 && k <= m && column >= left && column < right;
            ASSERT_EQ(clipped[k], inside ? whole[k] : -1)
                << n << " to " << m << " x " << x << " clip " << left << ".." << right << " pixel " << k;
        }
    }
    int clip[3] = {4, 0, 4};  // clip right at the start column
    EXPECT_EQ(Stretch(0, 3, 6, clip), std::vector<int>(8, -1));
}

// A row that ends exactly at a no-access page: shrinking by a hair makes the last group close on the row's last
// pixel, and the extra pixel must still come from inside the row.
TEST(RowHelpers, ShrinkNeverReadsPastTheRow)
{
    for (int f = 0; f < 5; f++) {
        int bytes = ref::BytesOf(kDepths[f]);
        for (int n : {2, 3, 17, 255, 1000, 1001}) {
            for (int m : {n - 1, n / 2, 1}) {
                if (m < 1)
                    continue;
                FencedSurface row(kDepths[f], n, 1, false, 0, 0);
                for (int i = 0; i < n; i++)
                    memset(row.d.rowZero + (size_t)i * bytes, (i % 250) + 1, bytes);
                std::vector<uint8_t> out((size_t)m * bytes, 0);
                kStretchRow[f](row.d.rowZero, out.data(), n, m, StretchStep(n, m));
                std::vector<int> expected = ref::StretchIndices(n, m, StretchStep(n, m));
                for (int k = 0; k < m; k++)
                    ASSERT_EQ(out[(size_t)k * bytes], (expected[k] % 250) + 1) << n << " to " << m;
                std::vector<uint8_t> clipped((size_t)m * bytes, 0);
                kStretchRowClipped[f](row.d.rowZero, clipped.data(), n, m, StretchStep(n, m), 0, 0, m);
                EXPECT_EQ(clipped, out) << n << " to " << m;
            }
        }
    }
}

}  // namespace
