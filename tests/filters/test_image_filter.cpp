// The image filter base class as a plug-in sees it: a filter derived here (which links only because the base-object
// constructor names reach the library), its defaults, and the row conversion between every pair of formats
// checked against the formulas, pixel by pixel.
#include <gtest/gtest.h>
#include <string.h>

#include <vector>

#include "kalvex2/image_filter.h"

namespace {

class Probe final : public cImageFilter {
public:
    void Release() override { delete this; }
    unsigned long GetID() override { return KX_FILTER_ID('T', 'E', 'S', 'T'); }
    const char* GetName() override { return "test"; }
    int CheckStream(cInStream*) override { return 0; }
    int ReadHeader(cInStream*) override { return 0; }
    int ReadImage(cInStream*, unsigned char*, int, unsigned char*, int) override { return 0; }
};

struct Rgb {
    int r, g, b;
};

// Reference formulas: a pixel of `depth` as red, green and blue, and red, green, blue as a pixel of `depth`.
Rgb Decode(int depth, const unsigned char* p, const LOGPALETTE* pal)
{
    unsigned v = p[0] | p[1] << 8;
    switch (depth) {
    case 8: return {pal->palPalEntry[p[0]].peRed, pal->palPalEntry[p[0]].peGreen, pal->palPalEntry[p[0]].peBlue};
    case 15: return {(int)(v >> 7) & 0xF8, (int)(v >> 2) & 0xF8, (int)(v << 3) & 0xF8};
    case 16: return {(int)(v >> 8) & 0xF8, (int)(v >> 3) & 0xFC, (int)(v << 3) & 0xF8};
    default: return {p[2], p[1], p[0]};
    }
}

int Bytes(int depth)
{
    return depth == 8 ? 1 : depth <= 16 ? 2 : depth / 8;
}

LOGPALETTE* MakePalette(std::vector<unsigned char>& block, int count, unsigned seed)
{
    block.assign(IMAGE_PALETTE_BYTES, 0);
    LOGPALETTE* p = reinterpret_cast<LOGPALETTE*>(block.data());
    p->palVersion = 0x300;
    p->palNumEntries = (WORD)count;
    for (int i = 0; i < count; ++i) {
        seed = seed * 1103515245u + 12345u;
        p->palPalEntry[i].peRed = (BYTE)(seed >> 8);
        p->palPalEntry[i].peGreen = (BYTE)(seed >> 16);
        p->palPalEntry[i].peBlue = (BYTE)(seed >> 24);
    }
    return p;
}

// Plain nearest-colour search, written from the rule: least sum of channel distances, lowest index on ties.
int Nearest(const LOGPALETTE* p, int r, int g, int b)
{
    int best = 0, bestDistance = 1 << 30;
    for (int i = 0; i < p->palNumEntries; ++i) {
        int d = abs(p->palPalEntry[i].peRed - r) + abs(p->palPalEntry[i].peGreen - g) +
                abs(p->palPalEntry[i].peBlue - b);
        if (d < bestDistance)
            best = i, bestDistance = d;
    }
    return best;
}

class Conversion : public ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(Conversion, EveryPixelFollowsTheFormulas)
{
    const int from = std::get<0>(GetParam()), to = std::get<1>(GetParam());
    Probe filter;
    filter.width = 97;
    filter.height = 1;
    filter.depth = from;
    ASSERT_TRUE(filter.SetPaletteCount(256));
    std::vector<unsigned char> imageBlock, targetBlock;
    memcpy(filter.palette, MakePalette(imageBlock, 256, 7), IMAGE_PALETTE_BYTES);
    LOGPALETTE* target = MakePalette(targetBlock, 40, 99);
    ASSERT_EQ(filter.SetOutputFormat(to, to == 8 ? target : nullptr), IMGERR_OK);
    // 8 to 8 maps the image's indices to the other palette's nearest entries.
    EXPECT_EQ(filter.needsConversion, from != to || from == 8 ? 1 : 0);
    EXPECT_EQ(filter.outBytesPerPixel, Bytes(to));

    // Every byte value appears, and the pixels straddle the 5- and 6-bit boundaries.
    const int count = 300;
    std::vector<unsigned char> source((size_t)count * 4), out((size_t)count * 4 + 8, 0xEE);
    for (size_t i = 0; i < source.size(); ++i)
        source[i] = (unsigned char)(i * 37 + (i >> 3) * 11);
    filter.ConvertLine(out.data(), source.data(), count);
    EXPECT_EQ(out[(size_t)count * Bytes(to)], 0xEE) << "wrote past the row";

    std::vector<int> cache(65536, CELL_NOT_COMPUTED);
    for (int i = 0; i < target->palNumEntries; ++i) {
        const PALETTEENTRY& e = target->palPalEntry[i];
        cache[((e.peRed & 0xF8) << 8) | ((e.peGreen & 0xFC) << 3) | (e.peBlue >> 3)] = i;
    }
    for (int i = 0; i < count; ++i) {
        const unsigned char* in = &source[(size_t)i * Bytes(from)];
        const unsigned char* o = &out[(size_t)i * Bytes(to)];
        SCOPED_TRACE(testing::Message() << from << " -> " << to << ", pixel " << i);
        if (from == to && from != 8) {
            EXPECT_EQ(memcmp(o, in, Bytes(to)), 0);
            continue;
        }
        Rgb c = Decode(from, in, filter.palette);
        switch (to) {
        case 8: {
            int expected;
            if (from == 8) {
                expected = Nearest(target, c.r, c.g, c.b);
            } else {
                // The 64 KiB cache: a cell first holds the last target entry of its colour, else it is searched
                // once, with the widened colour for 15 and 16 bits and the first pixel's own colour otherwise.
                int key = ((c.r & 0xF8) << 8) | ((c.g & 0xFC) << 3) | (c.b >> 3);
                if (cache[key] == CELL_NOT_COMPUTED)
                    cache[key] = Nearest(target, c.r, c.g, c.b);
                expected = cache[key];
            }
            EXPECT_EQ(o[0], expected);
            break;
        }
        case 15:
            EXPECT_EQ(o[0] | o[1] << 8, ((c.r & 0xF8) << 7) | ((c.g & 0xF8) << 2) | (c.b >> 3));
            break;
        case 16:
            EXPECT_EQ(o[0] | o[1] << 8, ((c.r & 0xF8) << 8) | ((c.g & 0xFC) << 3) | (c.b >> 3));
            break;
        default:
            EXPECT_EQ(o[0], c.b);
            EXPECT_EQ(o[1], c.g);
            EXPECT_EQ(o[2], c.r);
            if (to == 32) {
                EXPECT_EQ(o[3], 0);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllPairs, Conversion,
                         ::testing::Combine(::testing::Values(8, 15, 16, 24, 32), ::testing::Values(8, 15, 16, 24, 32)));

TEST(Conversion, ChannelWideningAndNarrowingCases)
{
    struct Case {
        int from, to;
        unsigned pixel;
        unsigned expected; // as the output's little-endian bytes
    } cases[] = {
        {15, 16, 0x7FFF, 0xFFDF},
        {16, 15, 0xFFFF, 0x7FFF},
        {16, 24, 0xFFFF, 0xF8FCF8},
        {15, 24, 0x7FFF, 0xF8F8F8},
        {16, 32, 0x0001, 0x000008},
        {24, 16, 0x0000FF, 0x001F},
    };
    for (const Case& c : cases) {
        Probe filter;
        filter.depth = c.from;
        ASSERT_EQ(filter.SetOutputFormat(c.to, nullptr), IMGERR_OK);
        unsigned char in[4] = {(unsigned char)c.pixel, (unsigned char)(c.pixel >> 8), (unsigned char)(c.pixel >> 16), 0};
        unsigned char out[4] = {0, 0, 0, 0xAA};
        filter.ConvertLine(out, in, 1);
        unsigned got = out[0] | out[1] << 8 | (Bytes(c.to) > 2 ? out[2] << 16 : 0);
        EXPECT_EQ(got, c.expected) << c.from << " -> " << c.to;
    }
}

TEST(Conversion, IndexToIndexWithTheImagesOwnPaletteIsOffAndFreesTheTables)
{
    Probe filter;
    filter.depth = 8;
    ASSERT_TRUE(filter.SetPaletteCount(16));
    std::vector<unsigned char> block;
    LOGPALETTE* other = MakePalette(block, 16, 3);
    ASSERT_EQ(filter.SetOutputFormat(8, other), IMGERR_OK);
    EXPECT_EQ(filter.needsConversion, 1);
    EXPECT_NE(filter.indexMap, nullptr);
    ASSERT_EQ(filter.SetOutputFormat(8, filter.palette), IMGERR_OK);
    EXPECT_EQ(filter.needsConversion, 0);
    EXPECT_EQ(filter.indexMap, nullptr);
    EXPECT_EQ(filter.targetPalette, nullptr);
    EXPECT_EQ(filter.remapSource, nullptr);
}

TEST(Conversion, InverseCacheCellOf253IsSearchedAgainAndStaysCorrect)
{
    Probe filter;
    filter.depth = 16;
    std::vector<unsigned char> block;
    LOGPALETTE* target = MakePalette(block, 256, 5);
    for (int i = 0; i < 256; ++i)
        target->palPalEntry[i] = PALETTEENTRY{(BYTE)(i == 253 ? 0x80 : 0), 0, 0, 0};
    ASSERT_EQ(filter.SetOutputFormat(8, target), IMGERR_OK);
    unsigned char in[4] = {0x00, 0x80, 0x00, 0x80}; // red 0x80 twice
    unsigned char out[2] = {};
    filter.ConvertLine(out, in, 2);
    EXPECT_EQ(out[0], 253);
    EXPECT_EQ(out[1], 253);
}

TEST(FilterBase, RejectedOutputFormats)
{
    Probe filter;
    filter.depth = 24;
    std::vector<unsigned char> block(IMAGE_PALETTE_BYTES + 8, 0);
    LOGPALETTE* big = reinterpret_cast<LOGPALETTE*>(block.data());
    big->palVersion = 0x300;
    big->palNumEntries = 257;
    EXPECT_EQ(filter.SetOutputFormat(8, big), IMGERR_BAD_PARAM);
    EXPECT_EQ(filter.SetOutputFormat(8, nullptr), IMGERR_BAD_PARAM);
    EXPECT_EQ(filter.SetOutputFormat(12, nullptr), IMGERR_BAD_PARAM);
}

TEST(FilterBase, NearestColorPrefersTheLowerIndexAndStopsOnAnExactMatch)
{
    std::vector<unsigned char> block;
    LOGPALETTE* p = MakePalette(block, 4, 0);
    p->palPalEntry[0] = PALETTEENTRY{10, 0, 0, 0};
    p->palPalEntry[1] = PALETTEENTRY{30, 0, 0, 0};
    p->palPalEntry[2] = PALETTEENTRY{20, 0, 0, 0};
    p->palPalEntry[3] = PALETTEENTRY{20, 0, 0, 0};
    EXPECT_EQ(cImageFilter::NearestColor(p, 20, 0, 0), 2);
    EXPECT_EQ(cImageFilter::NearestColor(p, 25, 0, 0), 1 /* 30 and 20 both 5 away: 1 before 2 */);
    p->palNumEntries = 0;
    EXPECT_EQ(cImageFilter::NearestColor(p, 25, 0, 0), 0);
    p->palNumEntries = 60000; // a count no block holds: only the 256 entries are searched
    EXPECT_LT(cImageFilter::NearestColor(p, 25, 0, 0), 256);
}

TEST(FilterBase, DefaultsOfTheOptionalSlots)
{
    Probe filter;
    cImageFilter* f = &filter;
    EXPECT_EQ(f->frameCount, 1);
    EXPECT_EQ(f->GetWriteDepths(), 0x7Cu);
    EXPECT_EQ(f->IsUsable(), 1);
    EXPECT_EQ(f->CanReadImages() | f->CanReadAnimations() | f->CanWriteImages() | f->CanWriteAnimations(), 0);
    EXPECT_EQ(f->IsAnimation(), 0);
    EXPECT_EQ(f->GetAnimOptionC(), 1);
    EXPECT_EQ(f->WriteImage(nullptr, nullptr, 1, 1, 24, 3, nullptr, nullptr, 0), IMGERR_NOT_SUPPORTED);
    EXPECT_EQ(f->BeginWrite(nullptr, 1, 1, 24, 0, 0, 0, 0, 0, 0), IMGERR_NOT_SUPPORTED);
    EXPECT_EQ(f->WriteFrame(nullptr, nullptr, nullptr, 1, 1, 3, 24, nullptr, 0, 0, 0, 0, 0), IMGERR_NOT_SUPPORTED);
    COLORREF colour = 0x123456;
    EXPECT_EQ(f->GetTransparentColor(&colour), 0);
    EXPECT_EQ(colour, 0x123456u);
    filter.width = 17, filter.height = 5, filter.pitch = 52, filter.frameValue = 9;
    EXPECT_EQ(f->GetImageSize(), 260);
    EXPECT_EQ(f->GetFrameValue(1234), 9);
    RECT r;
    f->GetFrameRect(&r);
    EXPECT_TRUE(r.left == 0 && r.top == 0 && r.right == 17 && r.bottom == 5);
}

// The exported table of the base class, slot by slot, called on a derived object as a host of any compiler would.
TEST(FilterBase, ExportedTableHoldsTheDefaultsInSlotOrder)
{
    HMODULE dll = GetModuleHandleA("Kalvex2.dll");
    ASSERT_NE(dll, nullptr);
    void** table = reinterpret_cast<void**>(GetProcAddress(dll, MAKEINTRESOURCEA(313)));
    ASSERT_NE(table, nullptr);
    typedef long(KX_THISCALL * Getter)(cImageFilter*);
    Probe filter;
    filter.width = 11, filter.height = 12, filter.depth = 24, filter.pitch = 36, filter.frameCount = 3;
    filter.currentFrame = 2, filter.animValue = 8, filter.hasAlpha = 1;
    struct Slot {
        int slot;
        long expected;
    } slots[] = {{5, 0x7C}, {6, 1}, {9, 0}, {10, 0}, {11, 0}, {12, 0}, {18, 11}, {19, 12}, {20, 36}, {21, 24},
                 {22, 36 * 12}, {25, 1}, {27, 0}, {28, 3}, {29, 2}, {31, 0}, {32, 0}, {33, 8}, {35, 1}, {36, 0}};
    for (const Slot& s : slots)
        EXPECT_EQ(reinterpret_cast<Getter>(table[s.slot])(&filter), s.expected) << "slot " << s.slot;
}

TEST(FilterBase, ComputeLineBytesByDepth)
{
    struct Case {
        int depth, bytes, perPixel;
    } cases[] = {{1, 4, 0}, {4, 9, 0}, {8, 17, 1}, {15, 34, 2}, {16, 34, 2}, {24, 51, 3}, {32, 68, 4}};
    for (const Case& c : cases) {
        Probe filter;
        filter.width = 17;
        filter.depth = c.depth;
        filter.ComputeLineBytes();
        EXPECT_EQ(filter.lineBytes, c.bytes) << c.depth;
        EXPECT_EQ(filter.bytesPerPixel, c.perPixel) << c.depth;
    }
}

TEST(FilterBase, PaletteCountIsClampedAndTheBlockCleared)
{
    Probe filter;
    ASSERT_TRUE(filter.SetPaletteCount(1000));
    EXPECT_EQ(filter.palette->palNumEntries, 256);
    EXPECT_EQ(filter.palette->palVersion, 0x300);
    filter.palette->palPalEntry[5].peRed = 9;
    ASSERT_TRUE(filter.SetPaletteCount(4));
    EXPECT_EQ(filter.palette->palNumEntries, 4);
    EXPECT_EQ(filter.palette->palPalEntry[5].peRed, 0);
}

TEST(FilterBase, CopiesOwnTheirTables)
{
    Probe* original = new Probe;
    original->depth = 24;
    original->width = 3;
    ASSERT_TRUE(original->SetPaletteCount(2));
    std::vector<unsigned char> block;
    ASSERT_EQ(original->SetOutputFormat(8, MakePalette(block, 8, 1)), IMGERR_OK);
    Probe copy(*original);
    Probe assigned;
    assigned = *original;
    for (Probe* p : {&copy, &assigned}) {
        EXPECT_NE(p->palette, original->palette);
        EXPECT_NE(p->targetPalette, original->targetPalette);
        EXPECT_NE(p->inverseCache, original->inverseCache);
        EXPECT_EQ(memcmp(p->targetPalette, original->targetPalette, 36), 0);
        EXPECT_EQ(p->width, 3);
    }
    original->Release(); // frees its blocks; the copies still convert with their own
    unsigned char in[3] = {1, 2, 3}, out[1] = {0xEE};
    copy.ConvertLine(out, in, 1);
    EXPECT_LT(out[0], 8);
}

}  // namespace
