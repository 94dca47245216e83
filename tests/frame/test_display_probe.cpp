// The display probe and the processor feature word, tested on the internals directly. The same program runs on
// a 32-bit, a 16-bit and an 8-bit palette screen; KX_EXPECT_DISPLAY_MODE says what the screen should give.
#include <gtest/gtest.h>

#include <stdlib.h>

#include "frame/frame.h"

using namespace kx;

namespace {

struct ProbeCase {
    const char* what;
    DisplayProbe probe;
    uint16_t mode;
};

const ProbeCase kProbeCases[] = {
    {"monochrome", {1, false, 0, false}, DISPLAY_MODE_16},
    {"16 colours", {4, false, 0, false}, DISPLAY_MODE_16},
    {"256 colours", {8, false, 0, false}, DISPLAY_MODE_256},
    {"15 bits reported as such", {15, false, 0, false}, DISPLAY_MODE_15},
    {"16 bits, settings say 15", {16, true, 15, false}, DISPLAY_MODE_15},
    {"16 bits, settings say 16", {16, true, 16, true}, DISPLAY_MODE_HI16},
    {"16 bits, no settings, green reads black", {16, false, 0, true}, DISPLAY_MODE_15},
    {"16 bits, no settings, green reads green", {16, false, 0, false}, DISPLAY_MODE_HI16},
    {"24 bits", {24, false, 0, false}, DISPLAY_MODE_24},
    {"32 bits", {32, false, 0, false}, DISPLAY_MODE_32},
};

TEST(DisplayProbe, ModeFromWhatTheScreenSays)
{
    for (const ProbeCase& c : kProbeCases)
        EXPECT_EQ(DisplayModeFromProbe(c.probe), c.mode) << c.what;
}

TEST(DisplayProbe, ModeBitsTable)
{
    const int bits[] = {0, 1, 4, 8, 24, 4, 15, 16, 32};
    for (int mode = 0; mode <= 8; mode++)
        EXPECT_EQ(DisplayModeBits(mode), bits[mode]) << mode;
    EXPECT_EQ(DisplayModeBits(9), 0);
    EXPECT_EQ(DisplayModeBits(-1), 0);
}

TEST(DisplayProbe, ThisScreen)
{
    const char* expect = getenv("KX_EXPECT_DISPLAY_MODE");
    ASSERT_NE(expect, nullptr) << "run through ctest: the screen's expected mode comes from the environment";
    EXPECT_EQ(ProbeDisplay(), atoi(expect));
}

TEST(DisplayProbe, PaletteDisplayRefreshesTheSystemColours)
{
    HDC screen = GetDC(nullptr);
    ASSERT_NE(screen, nullptr);
    bool palette = (GetDeviceCaps(screen, RASTERCAPS) & RC_PALETTE) != 0;
    // Spoil the entries the probe must refresh, so that the check cannot pass on the built-in values alone.
    for (int i : {0, 9, 246, 255})
        g_defaultPalette256.entries[i] = PALETTEENTRY{1, 2, 3, 0x55};
    ProbeDisplay();
    if (palette) {
        PALETTEENTRY system[256];
        ASSERT_EQ(GetSystemPaletteEntries(screen, 0, 256, system), 256u);
        for (int i : {0, 9, 246, 255}) {
            const PALETTEENTRY& e = g_defaultPalette256.entries[i];
            EXPECT_EQ(e.peRed, system[i].peRed) << i;
            EXPECT_EQ(e.peGreen, system[i].peGreen) << i;
            EXPECT_EQ(e.peBlue, system[i].peBlue) << i;
            EXPECT_EQ(e.peFlags, 0) << i;
        }
        // The fixed colours are not the system's.
        EXPECT_EQ(g_defaultPalette256.entries[10].peFlags, 4);
    } else {
        for (int i : {0, 9, 246, 255})
            EXPECT_EQ(g_defaultPalette256.entries[i].peFlags, 0x55) << "no palette display: left alone";
    }
    ReleaseDC(nullptr, screen);
}

TEST(DisplayProbe, GreenProbePutsThePixelBack)
{
    HDC screen = GetDC(nullptr);
    ASSERT_NE(screen, nullptr);
    if (GetDeviceCaps(screen, RASTERCAPS) & RC_PALETTE) {
        ReleaseDC(nullptr, screen);
        GTEST_SKIP() << "the probe only runs on 16-bit screens; a palette screen maps colours to entries";
    }
    COLORREF before = RGB(0x80, 0x40, 0x20);
    SetPixel(screen, 0, 0, before);
    before = GetPixel(screen, 0, 0);
    // 5-6-5 and deeper screens keep green 4 (the 24-bit screen exactly, 5-6-5 in its sixth bit).
    EXPECT_FALSE(GreenProbeReadsBlack(screen));
    EXPECT_EQ(GetPixel(screen, 0, 0), before);
    ReleaseDC(nullptr, screen);
}

struct CpuCase {
    uint32_t maxLeaf;
    uint32_t edx;
    uint32_t word;
};

TEST(CpuFeatures, WordFromIdentificationBits)
{
    const uint32_t mmx = 1u << 23, sse = 1u << 25, sse2 = 1u << 26, b30 = 1u << 30, b31 = 1u << 31;
    const CpuCase cases[] = {
        {1, 0, 0},
        {1, mmx, CPU_MMX},
        {1, mmx | sse2, CPU_MMX},  // SSE2 without SSE does not count
        {1, mmx | sse, CPU_MMX | CPU_SSE},
        {1, mmx | sse | sse2, CPU_MMX | CPU_SSE | CPU_SSE2},
        {1, sse | sse2, 0},  // nothing without MMX
        {1, b31, CPU_EXT31},
        {1, b30, 0},
        {1, b31 | b30 | mmx, CPU_EXT31 | CPU_EXT30 | CPU_MMX},
        {0, mmx | sse | sse2 | b31, 0},  // no leaf 1: no features
    };
    for (const CpuCase& c : cases)
        EXPECT_EQ(CpuFeaturesFrom(c.maxLeaf, c.edx), c.word) << std::hex << c.edx;
}

TEST(CpuFeatures, ThisProcessorHasMmxSseAndSse2)
{
    // Every processor Wine runs on here reports them; the kernels' SIMD paths depend on this word.
    EXPECT_EQ(ProbeCpuFeatures() & 7u, 7u);
}

}  // namespace
