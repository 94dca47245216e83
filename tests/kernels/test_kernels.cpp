// The kernel tables and the plain kernels: worked pixel cases per format, and random surfaces compared byte for
// byte with the one-pixel-at-a-time reference in reference.h, with every feature-bit combination, both row orders,
// odd alignments and guard bytes around every rectangle.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "kalvex2/frame.h"
#include "kernels/kernel_set.h"
#include "random_cases.h"
#include "reference.h"

using namespace kx;
using ref::BiasedByte;
using ref::kDepths;
using ref::kFeatureSets;

namespace {


// Entry 0 black; some entries repeated so that ties between equally near entries are exercised.
SharedPalette* TestPalette()
{
    static SharedPalette palette = [] {
        SharedPalette p{};
        p.version = 0x300;
        p.count = 256;
        std::mt19937 rng(1234);
        for (int i = 1; i < 256; i++) {
            p.entries[i].peRed = (BYTE)rng();
            p.entries[i].peGreen = (BYTE)rng();
            p.entries[i].peBlue = (BYTE)rng();
        }
        for (int i = 200; i < 216; i++)
            p.entries[i] = p.entries[i - 100];
        p.entries[7] = {5, 0, 0, 0};
        p.entries[9] = {0x80, 0x80, 0x80, 0};
        return p;
    }();
    return &palette;
}

// A surface over its own memory: guard bytes before and after, padding after every row, an optional alpha plane.
struct Surface {
    SurfaceDesc d{};
    std::vector<uint8_t> mem, alpha;
    size_t rowZeroAt = 0, alphaZeroAt = 0;
    static constexpr int kGuard = 24;

    Surface(int depth, int w, int h, bool bottomUp, int padding, int misalign)
    {
        ref::DescribeSurface(d, depth, w, h, bottomUp, padding, TestPalette());
        mem.assign((size_t)kGuard * 2 + misalign + (size_t)d.pitch * h, 0xC5);
        rowZeroAt = kGuard + misalign + (bottomUp ? (size_t)d.pitch * (h - 1) : 0);
        Rebase();
    }
    Surface(const Surface& o) : d(o.d), mem(o.mem), alpha(o.alpha), rowZeroAt(o.rowZeroAt), alphaZeroAt(o.alphaZeroAt)
    {
        Rebase();
    }
    void Rebase()
    {
        d.rowZero = mem.data() + rowZeroAt;
        d.pixelBlock = mem.data();
        d.alphaRowZero = alpha.empty() ? nullptr : alpha.data() + alphaZeroAt;
        d.alphaBlock = alpha.empty() ? nullptr : alpha.data();
    }
    void Randomise(std::mt19937& rng)
    {
        for (auto& b : mem)
            b = BiasedByte(rng);
    }
    void AddAlpha(std::mt19937& rng, bool bottomUp)
    {
        d.alphaPitch = d.width + 3;
        d.alphaRowStep = bottomUp ? -d.alphaPitch : d.alphaPitch;
        alpha.resize((size_t)d.alphaPitch * d.height);
        for (auto& b : alpha)
            b = BiasedByte(rng);
        alphaZeroAt = bottomUp ? (size_t)d.alphaPitch * (d.height - 1) : 0;
        Rebase();
    }
    uint32_t Pixel(int x, int y) const { return ref::Read(&d, x, y); }
};

// Every byte outside the rectangle (guards, row padding, other pixels) must equal the snapshot.
void ExpectOnlyRectChanged(const Surface& after, const Surface& before, int x, int y, int w, int h)
{
    int bpp = after.d.bytesPerPixel;
    std::vector<bool> inside(after.mem.size(), false);
    for (int j = 0; j < h; j++)
        for (int b = 0; b < w * bpp; b++)
            inside[(size_t)(ref::At(&after.d, x, y + j) - after.mem.data()) + b] = true;
    for (size_t k = 0; k < after.mem.size(); k++)
        if (!inside[k] && after.mem[k] != before.mem[k]) {
            ADD_FAILURE() << "byte " << k << " outside the rectangle changed";
            return;
        }
}

COLORREF KX_STDCALL MixColours(COLORREF destination, COLORREF source, void* user)
{
    // Uses every bit of both colours and returns high bits that the kernels must drop.
    return (destination ^ (source * 3u)) + (COLORREF)(uintptr_t)user;
}

// ---------------------------------------------------------------------------------------------------------------
// The tables

TEST(KernelTables, SlotsOfEveryFormat)
{
    for (int f = 0; f < 5; f++) {
        SCOPED_TRACE(kDepths[f]);
        const BlitKernelSet* k = StandardKernels(f);
        ASSERT_TRUE(k);
        EXPECT_EQ(k, kStandardKernelSets[f]);
        EXPECT_TRUE(k->setPixel && k->getPixel && k->fill && k->copyTransparent && k->copyOpaque);
        EXPECT_TRUE(k->callbackTransparent && k->callbackOpaque && k->mirrorRows && k->replaceColour);
        EXPECT_TRUE(k->copyTransparentInk && k->copyOpaqueInk && k->convert);
        // Filled by later work; until then nothing may reach them.
        EXPECT_FALSE(k->compressedSize || k->compress);
        EXPECT_EQ(k->copyOpaque, StandardKernels(0)->copyOpaque);  // one routine for every format

        const BlitKernelSet* c = CompressedSourceKernels(f);
        ASSERT_TRUE(c);
        EXPECT_NE(c, k);
        const void* const* slots = (const void* const*)c;
        for (int s = 0; s < 14; s++)
            EXPECT_EQ(slots[s], nullptr) << "slot " << s;
    }
    EXPECT_EQ(StandardKernels(5), nullptr);
    EXPECT_EQ(StandardKernels(-1), nullptr);
}

TEST(KernelTables, FormatIndexOfEveryDepth)
{
    for (int depth = 0; depth <= 32; depth++) {
        int expected = depth <= 8 ? 0 : depth <= 15 ? 1 : depth == 16 ? 2 : depth <= 24 ? 3 : 4;
        EXPECT_EQ(FormatIndexOfDepth(depth), expected) << depth;
    }
    for (int f = 0; f < 5; f++)
        EXPECT_EQ(FormatIndexOfDepth(kDepthOfFormat[f]), f);
}

// ---------------------------------------------------------------------------------------------------------------
// Pixel access: bytes before, colour written, bytes after, colour read back.

struct PixelCase {
    const char* name;
    int depth;
    uint32_t before;    // the pixel's bytes before, little-endian
    uint32_t colour;    // written with SetPixel
    uint32_t after;     // the pixel's bytes after
    uint32_t readBack;  // GetPixel afterwards
};

const PixelCase kPixelCases[] = {
    {"index_given_directly", 8, 0x00, 0x01000005, 0x05, 0x05},
    {"red_5_finds_entry_7", 8, 0x00, 0x00000005, 0x07, 0x07},
    {"black_is_index_0", 8, 0x33, 0x00000000, 0x00, 0x00},
    {"grey_exact_match", 8, 0x00, 0x00808080, 0x09, 0x09},
    {"white_15", 15, 0x0000, 0x00FFFFFF, 0x7FFF, 0x00F8F8F8},
    {"rgb_15", 15, 0xFFFF, 0x00563412, 0x08CA, 0x00503010},
    {"white_16", 16, 0x0000, 0x00FFFFFF, 0xFFFF, 0x00F8FCF8},
    {"rgb_16", 16, 0x0000, 0x00563412, 0x11AA, 0x00503410},
    {"rgb_24", 24, 0x000000, 0x00563412, 0x123456, 0x00563412},
    {"high_byte_ignored_24", 24, 0xFFFFFF, 0xAB000000, 0x000000, 0x00000000},
    {"fourth_byte_kept_32", 32, 0xAB000000, 0x00563412, 0xAB123456, 0x00563412},
};

class PixelAccess : public testing::TestWithParam<PixelCase> {};

TEST_P(PixelAccess, WritesAndReadsTheFormula)
{
    const PixelCase& c = GetParam();
    Surface s(c.depth, 3, 2, false, 1, 1);
    Surface before = s;
    ref::Write(&s.d, 1, 1, c.before);
    s.d.kernels->setPixel(&s.d, 1, 1, c.colour);
    EXPECT_EQ(s.Pixel(1, 1), c.after);
    EXPECT_EQ(s.d.kernels->getPixel(&s.d, 1, 1), c.readBack);
    ExpectOnlyRectChanged(s, before, 1, 1, 1, 1);
}

INSTANTIATE_TEST_SUITE_P(Formats, PixelAccess, testing::ValuesIn(kPixelCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------------------------
// Transparent copies of one source pixel over one destination pixel, as rows of every width from 1 to 33 at an
// offset, with every feature set.

struct CopyCase {
    const char* name;
    int depth;
    uint32_t source, destination, key;
    int alpha;  // -1: no alpha plane
    uint32_t expected;
};

const CopyCase kCopyCases[] = {
    {"key_leaves_destination_8", 8, 0x11, 0x22, 0x11, -1, 0x22},
    {"other_copied_8", 8, 0x12, 0x22, 0x11, -1, 0x12},
    {"key_leaves_destination_16", 16, 0xF81F, 0x1234, 0xF81F, -1, 0x1234},
    {"key_leaves_destination_24", 24, 0xFF00FF, 0x123456, 0xFF00FF, -1, 0x123456},
    {"key_leaves_destination_32", 32, 0x00FF00FF, 0x12345678, 0x00FF00FF, -1, 0x12345678},
    {"fourth_byte_defeats_key_32", 32, 0x01FF00FF, 0x12345678, 0x00FF00FF, -1, 0x01FF00FF},
    {"alpha_0_leaves_destination_32", 32, 0x00FFFFFF, 0x55000000, 0x00FFFFFF, 0, 0x55000000},
    {"alpha_255_copies_whole_pixel_32", 32, 0x66FFFFFF, 0x55000000, 0x66FFFFFF, 255, 0x66FFFFFF},
    {"alpha_ignores_key_24", 24, 0xFFFFFF, 0x000000, 0xFFFFFF, 255, 0xFFFFFF},
    {"white_half_over_black_24", 24, 0xFFFFFF, 0x000000, 0, 128, 0x7F7F7F},
    {"white_half_over_black_32", 32, 0x99FFFFFF, 0x55000000, 0, 128, 0x557F7F7F},
    {"channels_apart_32", 32, 0x00FF8000, 0x000080FF, 0, 64, 0x003F80BF},
    {"white_half_over_black_16", 16, 0xFFFF, 0x0000, 0, 128, 0x7BEF},
    {"white_half_over_black_15", 15, 0x7FFF, 0x0000, 0, 128, 0x3DEF},
    {"channels_apart_16", 16, 0xF800, 0x07FF, 0, 64, 0x3DF7},
    {"alpha_0_leaves_destination_16", 16, 0xFFFF, 0x1234, 0, 0, 0x1234},
    // Alpha 255 copies the word as it is; a blend writes the colour back, and 15-bit colours have no bit 15.
    {"alpha_255_copies_whole_word_15", 15, 0xFFFF, 0x1234, 0, 255, 0xFFFF},
    {"top_bit_dropped_by_blend_15", 15, 0xFFFF, 0x8000, 0, 128, 0x3DEF},
    {"grey_quarter_over_white_15", 15, 0x4210, 0x7FFF, 0, 64, 0x6F7B},
    // Black blended with black is black, and black is index 0 every time it is looked for.
    {"blend_to_black_gives_index_0_8", 8, 0x00, 0x00, 0x55, 128, 0x00},
    {"grey_over_black_8", 8, 0x09, 0x00, 0, 255, 0x09},
};

class TransparentCopy : public testing::TestWithParam<CopyCase> {};

TEST_P(TransparentCopy, EveryWidthAndFeatureSet)
{
    const CopyCase& c = GetParam();
    std::mt19937 rng(7);
    for (int w = 1; w <= 33; w++)
        for (unsigned long features : kFeatureSets) {
            SCOPED_TRACE(testing::Message() << "width " << w << " features " << features);
            Surface src(c.depth, w + 2, 2, false, 0, 3);
            Surface dst(c.depth, w + 3, 3, true, 2, 1);
            src.Randomise(rng);
            dst.Randomise(rng);
            if (c.alpha >= 0) {
                src.AddAlpha(rng, false);
                for (int i = 0; i < w; i++)
                    src.d.alphaRowZero[src.d.alphaRowStep + 1 + i] = (uint8_t)c.alpha;
            }
            src.d.transparentNative = c.key;
            dst.d.flags = features;
            for (int i = 0; i < w; i++) {
                ref::Write(&src.d, 1 + i, 1, c.source);
                ref::Write(&dst.d, 2 + i, 1, c.destination);
            }
            Surface before = dst;
            dst.d.kernels->copyTransparent(&dst.d, 2, 1, &src.d, 1, 1, w, 1);
            for (int i = 0; i < w; i++)
                ASSERT_EQ(dst.Pixel(2 + i, 1), c.expected) << "pixel " << i;
            ExpectOnlyRectChanged(dst, before, 2, 1, w, 1);
        }
}

INSTANTIATE_TEST_SUITE_P(Formats, TransparentCopy, testing::ValuesIn(kCopyCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MirrorRows, ReversesEachRowInPlace)
{
    for (int depth : kDepths)
        for (int w : {2, 5, 8}) {
            SCOPED_TRACE(testing::Message() << "depth " << depth << " width " << w);
            Surface s(depth, w + 1, 3, true, 1, 2);
            std::mt19937 rng(w);
            s.Randomise(rng);
            for (int j = 0; j < 2; j++)
                for (int i = 0; i < w; i++)
                    ref::Write(&s.d, 1 + i, j, (uint32_t)(0x10 * j + 0xA + i));  // A B C D E ...
            Surface before = s;
            s.d.kernels->mirrorRows(&s.d, 1, 0, s.d.rowStep, w, 2);
            for (int j = 0; j < 2; j++)
                for (int i = 0; i < w; i++)
                    EXPECT_EQ(s.Pixel(1 + i, j), (uint32_t)(0x10 * j + 0xA + (w - 1 - i)));
            ExpectOnlyRectChanged(s, before, 1, 0, w, 2);
        }
}

// ---------------------------------------------------------------------------------------------------------------
// Random surfaces against the reference. The case number is the seed; a failure names it so it can be replayed
// by running just that case.

struct RandomCase {
    int seed, depth, w, h;
    int sx, sy, dx, dy;
    bool srcBottomUp, dstBottomUp, alphaBottomUp;
};

RandomCase MakeCase(int seed)
{
    std::mt19937 rng(seed);
    RandomCase c{};
    c.seed = seed;
    c.depth = kDepths[seed % 5];
    // Every width from 1 to 33 for every format, and now and then a long row that runs the SIMD blocks.
    c.w = (seed / 5) % 9 == 8 ? 34 + (int)(rng() % 300) : 1 + (seed / 5) % 33;
    c.h = 1 + (int)(rng() % 4);
    c.sx = (int)(rng() % 4);
    c.sy = (int)(rng() % 3);
    c.dx = (int)(rng() % 4);
    c.dy = (int)(rng() % 3);
    c.srcBottomUp = rng() & 1;
    c.dstBottomUp = rng() & 1;
    c.alphaBottomUp = rng() & 1;
    return c;
}

class RandomSurfaces : public testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        c = MakeCase(GetParam());
        std::mt19937 rng(c.seed * 7919u + 1);
        src.emplace_back(c.depth, c.sx + c.w + (int)(rng() % 3), c.sy + c.h + 1, c.srcBottomUp, (int)(rng() % 5),
                         (int)(rng() % 8));
        dst.emplace_back(c.depth, c.dx + c.w + (int)(rng() % 3), c.dy + c.h + 1, c.dstBottomUp, (int)(rng() % 5),
                         (int)(rng() % 8));
        src[0].Randomise(rng);
        dst[0].Randomise(rng);
        // A key that many source pixels match: one of the source's own pixels.
        src[0].d.transparentNative = src[0].Pixel(c.sx + (int)(rng() % c.w), c.sy);
        seedRng = rng;
    }

    // Runs op on a copy of the destination per feature set, and the reference on another; all must agree.
    template <class Kernel, class Reference>
    void Compare(const char* what, Kernel op, Reference reference)
    {
        Surface expected = dst[0];
        reference(expected);
        for (unsigned long features : kFeatureSets) {
            Surface got = dst[0];
            got.d.flags = features;
            op(got);
            if (got.mem != expected.mem) {
                size_t k = 0;
                while (got.mem[k] == expected.mem[k])
                    k++;
                ADD_FAILURE() << what << ": case " << c.seed << " (depth " << c.depth << ", w " << c.w << ", h "
                              << c.h << ") with features " << features << " differs at byte " << k;
            }
            ExpectOnlyRectChanged(got, dst[0], c.dx, c.dy, c.w, c.h);
        }
    }

    RandomCase c;
    std::vector<Surface> src, dst;
    std::mt19937 seedRng;
};

TEST_P(RandomSurfaces, MatchReference)
{
    Surface& s = src[0];
    const BlitKernelSet* k = s.d.kernels;
    const RandomCase c = this->c;
    std::mt19937 rng = seedRng;

    uint32_t colour = c.depth == 8 ? rng() % 256 : (rng() & 1 ? 0xFFFFFF : rng());
    Compare("fill", [&](Surface& d) { k->fill(&d.d, c.dx, c.dy, d.d.rowStep, c.w, c.h, colour); },
            [&](Surface& d) { ref::Fill(&d.d, c.dx, c.dy, c.w, c.h, colour); });

    Compare("opaque copy", [&](Surface& d) { k->copyOpaque(&d.d, c.dx, c.dy, &s.d, c.sx, c.sy, c.w, c.h); },
            [&](Surface& d) { ref::CopyOpaque(&d.d, c.dx, c.dy, &s.d, c.sx, c.sy, c.w, c.h); });

    Compare("transparent copy",
            [&](Surface& d) { k->copyTransparent(&d.d, c.dx, c.dy, &s.d, c.sx, c.sy, c.w, c.h); },
            [&](Surface& d) { ref::CopyTransparent(&d.d, c.dx, c.dy, &s.d, c.sx, c.sy, c.w, c.h); });

    void* user = (void*)(uintptr_t)(rng() % 0x1000000);
    Compare("callback transparent",
            [&](Surface& d) { k->callbackTransparent(&d.d, c.dx, c.dy, &s.d, c.sx, c.sy, c.w, c.h, MixColours, user); },
            [&](Surface& d) { ref::Callback(&d.d, c.dx, c.dy, &s.d, c.sx, c.sy, c.w, c.h, MixColours, user, true); });
    Compare("callback opaque",
            [&](Surface& d) { k->callbackOpaque(&d.d, c.dx, c.dy, &s.d, c.sx, c.sy, c.w, c.h, MixColours, user); },
            [&](Surface& d) { ref::Callback(&d.d, c.dx, c.dy, &s.d, c.sx, c.sy, c.w, c.h, MixColours, user, false); });

    if (c.w >= 2)
        Compare("mirror", [&](Surface& d) { k->mirrorRows(&d.d, c.dx, c.dy, d.d.rowStep, c.w, c.h); },
                [&](Surface& d) { ref::MirrorRows(&d.d, c.dx, c.dy, c.w, c.h); });

    // The old colour is one the rectangle holds, so that something is replaced.
    uint32_t old = c.depth == 8 ? dst[0].Pixel(c.dx, c.dy) : ref::ToRgb(c.depth, dst[0].Pixel(c.dx, c.dy));
    uint32_t fresh = c.depth == 8 ? rng() % 256 : rng() & 0xFFFFFF;
    int rowBytes = c.w * s.d.bytesPerPixel;
    Compare("replace colour",
            [&](Surface& d) { k->replaceColour(&d.d, c.dx, c.dy, c.w, c.h, rowBytes, fresh, old); },
            [&](Surface& d) { ref::ReplaceColour(&d.d, c.dx, c.dy, c.w, c.h, fresh, old); });

    // The pixel kernels, one pixel each, at the rectangle's corners.
    for (int corner = 0; corner < 4; corner++) {
        int x = c.dx + (corner & 1) * (c.w - 1), y = c.dy + (corner >> 1) * (c.h - 1);
        uint32_t set = rng() & (c.depth == 8 && (rng() & 1) ? 0x010000FF : 0xFFFFFFFF);
        Surface got = dst[0], expected = dst[0];
        got.d.kernels->setPixel(&got.d, x, y, set);
        ref::SetPixel(&expected.d, x, y, set);
        EXPECT_EQ(got.mem, expected.mem) << "set pixel, case " << c.seed << " colour " << set;
        EXPECT_EQ(got.d.kernels->getPixel(&got.d, x, y), ref::GetPixel(&expected.d, x, y)) << "case " << c.seed;
    }

    // With an alpha plane the transparent copy blends.
    s.AddAlpha(rng, c.alphaBottomUp);
    Compare("alpha copy",
            [&](Surface& d) { k->copyTransparent(&d.d, c.dx, c.dy, &s.d, c.sx, c.sy, c.w, c.h); },
            [&](Surface& d) { ref::CopyTransparent(&d.d, c.dx, c.dy, &s.d, c.sx, c.sy, c.w, c.h); });
    Compare("opaque copy ignores the alpha plane",
            [&](Surface& d) { k->copyOpaque(&d.d, c.dx, c.dy, &s.d, c.sx, c.sy, c.w, c.h); },
            [&](Surface& d) { ref::CopyOpaque(&d.d, c.dx, c.dy, &s.d, c.sx, c.sy, c.w, c.h); });
}

// Alpha planes as images have them: runs of 0 and 255 of every length, some a multiple of 16 long, with soft
// edges between them, so that the clear, opaque and mixed blocks of the fast paths all meet row ends and offsets.
TEST_P(RandomSurfaces, AlphaRunsMatchReference)
{
    Surface& s = src[0];
    std::mt19937 rng = seedRng;
    s.AddAlpha(rng, c.alphaBottomUp);
    size_t at = 0;
    while (at < s.alpha.size()) {
        size_t run = rng() % 3 == 0 ? 16 * (1 + rng() % 3) : 1 + rng() % 40;
        unsigned pick = rng() % 5;
        for (size_t i = 0; i < run && at < s.alpha.size(); i++, at++)
            s.alpha[at] = pick < 2 ? 0 : pick < 4 ? 255 : (uint8_t)(1 + rng() % 254);
    }
    const BlitKernelSet* k = s.d.kernels;
    const RandomCase c = this->c;
    Compare("alpha runs",
            [&](Surface& d) { k->copyTransparent(&d.d, c.dx, c.dy, &s.d, c.sx, c.sy, c.w, c.h); },
            [&](Surface& d) { ref::CopyTransparent(&d.d, c.dx, c.dy, &s.d, c.sx, c.sy, c.w, c.h); });
}

// Sources as sprites are: runs of the transparent colour and runs of other pixels, of every length.
TEST_P(RandomSurfaces, KeyRunsMatchReference)
{
    Surface& s = src[0];
    std::mt19937 rng = seedRng;
    uint32_t key = (uint32_t)s.d.transparentNative;
    for (int y = 0; y < s.d.height; y++)
        for (int x = 0; x < s.d.width;) {
            int run = rng() % 3 == 0 ? 16 * (1 + (int)(rng() % 2)) : 1 + (int)(rng() % 40);
            bool keyed = rng() & 1;
            for (; run > 0 && x < s.d.width; run--, x++)
                ref::Write(&s.d, x, y, keyed ? key : s.Pixel(x, y) == key ? key ^ 1 : s.Pixel(x, y));
        }
    const BlitKernelSet* k = s.d.kernels;
    const RandomCase c = this->c;
    Compare("key runs",
            [&](Surface& d) { k->copyTransparent(&d.d, c.dx, c.dy, &s.d, c.sx, c.sy, c.w, c.h); },
            [&](Surface& d) { ref::CopyTransparent(&d.d, c.dx, c.dy, &s.d, c.sx, c.sy, c.w, c.h); });
}

INSTANTIATE_TEST_SUITE_P(Cases, RandomSurfaces, testing::Range(0, 900));

// ---------------------------------------------------------------------------------------------------------------
// After the MMX paths the x87 unit must be usable again (long double is x87 arithmetic in both builds).

TEST(MmxState, FloatingPointWorksAfterMmxKernels)
{
    for (int depth : kDepths) {
        Surface a(depth, 70, 3, false, 0, 0), b(depth, 70, 3, false, 0, 0);
        a.d.flags = b.d.flags = CPU_MMX;
        a.d.kernels->fill(&a.d, 0, 0, a.d.rowStep, 70, 3, 0x123456);
        a.d.kernels->copyOpaque(&b.d, 0, 0, &a.d, 0, 0, 70, 3);
        volatile long double x = 1.5L;
        volatile long double y = x * 3.0L + 0.25L;
        EXPECT_EQ((double)y, 4.75) << depth;
        EXPECT_EQ(b.mem, a.mem) << depth;
    }
}

}  // namespace
