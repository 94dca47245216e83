// Memory surfaces through the import library: prototypes, sizes and pitches, resizing, the transparent colour,
// alpha planes and the bitmap size helpers.
#include <windows.h>

#include <gtest/gtest.h>

#include "kalvex2/canvas.h"

namespace {

cCanvas* MemoryPrototype(int depth)
{
    cCanvas* p = nullptr;
    GetPrototype(&p, depth, 0, 0);
    return p;
}

struct PitchCase {
    int depth, width, height, pitch;
};

TEST(MemorySurface, CreateLikeMakesTopDownRowsOnEightByteBoundaries)
{
    const PitchCase cases[] = {
        {24, 3, 2, 12}, {15, 3, 2, 8}, {16, 3, 2, 8}, {32, 3, 2, 12}, {8, 3, 2, 4},
        {15, 33, 10, 68}, {24, 1, 1, 4}, {32, 640, 480, 2560}, {8, 5, 1, 8}, {32, 640, 480, 2560},
    };
    for (const PitchCase& c : cases) {
        cCanvas canvas;
        ASSERT_EQ(canvas.CreateLike(c.width, c.height, MemoryPrototype(c.depth)), 1) << c.depth;
        EXPECT_EQ(canvas.GetError(), 0u);
        int w, h, depth;
        EXPECT_EQ(canvas.GetInfo(&w, &h, &depth), 1);
        EXPECT_EQ(w, c.width);
        EXPECT_EQ(h, c.height);
        EXPECT_EQ(depth, c.depth);
        const SurfaceDesc& d = GetBackend(&canvas)->d;
        EXPECT_EQ(d.pitch, c.pitch) << c.depth << "-bit " << c.width << " wide";
        EXPECT_EQ(d.rowStep, c.pitch);
        EXPECT_EQ(d.bottomUp, 0);
        EXPECT_EQ((uintptr_t)d.rowZero % 8, 0u);
        EXPECT_EQ(d.bytesPerPixel, (c.depth + 7) / 8);
        EXPECT_EQ(d.clipRight, c.width);
        EXPECT_EQ(d.clipBottom, c.height);
        EXPECT_EQ(canvas.Lock(), d.rowZero);
        // A new surface is black with clear fourth bytes, even where the heap hands back the block the previous
        // case filled with 0xA5.
        size_t nonZero = 0;
        for (size_t i = 0; i < (size_t)d.pitch * c.height; i++)
            nonZero += d.rowZero[i] != 0;
        EXPECT_EQ(nonZero, 0u) << c.depth << "-bit " << c.width << " wide";
        // The whole surface is writable memory.
        memset(d.rowZero, 0xA5, (size_t)d.pitch * c.height);
        EXPECT_EQ(canvas.GetDeviceClass(), 0);
        EXPECT_EQ(GetBackend(&canvas)->GetKind(), SURFACE_KIND_MEMORY);
    }
}

TEST(MemorySurface, SizesThatCannotBeAllocatedFailCleanly)
{
    const struct {
        int width, height;
    } cases[] = {{65536, 65536}, {0x7FFFFFFF, 2}, {2, 0x7FFFFFFF}, {46341, 46341}};
    for (auto c : cases) {
        cCanvas canvas;
        EXPECT_EQ(canvas.CreateLike(c.width, c.height, MemoryPrototype(32)), 0) << c.width << "x" << c.height;
        EXPECT_EQ(canvas.GetError(), (unsigned long)ERR_NO_MEMORY);
        EXPECT_FALSE(canvas.IsValid());
    }
}

TEST(MemorySurface, ResizeTakesNewRowsAndDropsTheAlphaPlane)
{
    cCanvas canvas;
    ASSERT_TRUE(canvas.CreateLike(4, 4, MemoryPrototype(15)));
    ASSERT_NE(canvas.CreateAlphaPlane(), nullptr);
    cSurfaceBackend* b = GetBackend(&canvas);
    b->SetClipRect(1, 1, 1, 1);
    ASSERT_EQ(b->Resize(33, 10), 1);
    EXPECT_EQ(canvas.GetWidth(), 33);
    EXPECT_EQ(canvas.GetHeight(), 10);
    EXPECT_EQ(b->d.pitch, 68);
    EXPECT_EQ(b->d.clipRight, 33);
    EXPECT_EQ(b->d.clipBottom, 10);
    EXPECT_FALSE(canvas.HasAlphaPlane());
    // A size that cannot be had changes nothing.
    EXPECT_EQ(b->Resize(0x7FFFFFFF, 0x7FFFFFFF), 0);
    EXPECT_EQ(b->Resize(0, 5), 0);
    EXPECT_EQ(canvas.GetWidth(), 33);
    EXPECT_EQ(b->d.pitch, 68);
}

struct PixelCase {
    int depth;
    COLORREF written, read;
};

// Colours come back with the format's low bits cleared; on 8-bit surfaces as the nearest palette entry.
TEST(MemorySurface, PixelsRoundTripThroughTheCanvasInEveryFormat)
{
    const PixelCase cases[] = {
        {32, RGB(0x12, 0x34, 0x56), RGB(0x12, 0x34, 0x56)}, {24, RGB(0xFE, 0x01, 0x80), RGB(0xFE, 0x01, 0x80)},
        {16, RGB(0xFF, 0xFF, 0xFF), 0xF8FCF8},               {15, RGB(0xFF, 0xFF, 0xFF), 0xF8F8F8},
        {16, RGB(0x12, 0x34, 0x56), 0x503410},               {15, RGB(0x12, 0x34, 0x56), 0x503010},
        {8, RGB(255, 0, 0), RGB(255, 0, 0)},                 {8, 0, 0},
    };
    for (const PixelCase& c : cases) {
        cCanvas canvas;
        ASSERT_TRUE(canvas.CreateLike(9, 7, MemoryPrototype(c.depth))) << c.depth;
        canvas.SetPosition(100, 200);
        canvas.SetPixel(103, 205, c.written);
        COLORREF colour = 0xDEADBEEF;
        ASSERT_EQ(canvas.GetPixel(103, 205, &colour), 1) << c.depth;
        EXPECT_EQ(colour, c.read) << c.depth << "-bit, wrote " << std::hex << c.written;
        EXPECT_EQ(canvas.GetPixelFast(3, 5), c.read) << c.depth;
        // The fast store writes the same native value as the clipped one.
        unsigned long raw = 0, fastRaw = 0;
        canvas.GetPixelRaw(103, 205, &raw);
        canvas.SetPixelFast(4, 5, c.written);
        canvas.GetPixelRaw(104, 205, &fastRaw);
        EXPECT_EQ(fastRaw, raw) << c.depth;
        EXPECT_EQ(canvas.GetPixel(109, 205, &colour), 0) << "outside the surface";
    }
}

TEST(MemorySurface, EightBitSurfacesHaveThePaletteAndIndices)
{
    cCanvas canvas;
    ASSERT_TRUE(canvas.CreateLike(4, 4, MemoryPrototype(8)));
    EXPECT_TRUE(canvas.IsPalettised());
    canvas.SetPixelIndex(1, 1, 0x2A);
    EXPECT_EQ(canvas.GetPixelIndexFast(1, 1), 0x2A);
    unsigned long raw = 0;
    ASSERT_EQ(canvas.GetPixelRaw(1, 1, &raw), 1);
    EXPECT_EQ(raw, 0x2Au);
    // A colour with bit 24 set is an index, used as it is.
    canvas.SetPixel(2, 2, 0x01000007);
    EXPECT_EQ(canvas.GetPixelIndexFast(2, 2), 7);
}

struct TransparentCase {
    int depth;
    COLORREF colour;
    unsigned long native;
    COLORREF stored;
};

TEST(MemorySurface, TransparentColourInEachFormat)
{
    const TransparentCase cases[] = {
        {15, RGB(255, 255, 255), 0x7FFF, 0xF8F8F8},
        {16, RGB(255, 255, 255), 0xFFFF, 0xF8FCF8},
        {32, RGB(255, 255, 255), 0x00FFFFFF, RGB(255, 255, 255)},
        {24, RGB(0x12, 0x34, 0x56), 0x123456, RGB(0x12, 0x34, 0x56)},
        {16, RGB(0x12, 0x34, 0x56), (0x12 >> 3) << 11 | (0x34 >> 2) << 5 | 0x56 >> 3, 0x503410},
        {15, 0, 0, 0},
    };
    for (const TransparentCase& c : cases) {
        cCanvas canvas;
        ASSERT_TRUE(canvas.CreateLike(2, 2, MemoryPrototype(c.depth)));
        canvas.SetTransparentColour(c.colour);
        EXPECT_EQ(canvas.GetTransparentNative(), c.native) << c.depth << " " << std::hex << c.colour;
        EXPECT_EQ(canvas.GetTransparentColour(), c.stored) << c.depth << " " << std::hex << c.colour;
    }
}

TEST(MemorySurface, NewSurfacesCopyThePrototypesFormat)
{
    cCanvas a, b;
    ASSERT_TRUE(a.CreateLike(3, 3, MemoryPrototype(16)));
    a.SetTransparentColour(RGB(255, 0, 255));
    ASSERT_TRUE(b.CreateLike(7, 2, &a));
    EXPECT_EQ(b.GetDepth(), 16);
    EXPECT_EQ(b.GetTransparentNative(), a.GetTransparentNative());
    EXPECT_EQ(b.GetTransparentColour(), a.GetTransparentColour());
}

TEST(AlphaPlane, CreateSetAttachDetach)
{
    cCanvas canvas;
    ASSERT_TRUE(canvas.CreateLike(5, 3, MemoryPrototype(32)));
    EXPECT_FALSE(canvas.HasAlphaPlane());
    EXPECT_EQ(canvas.GetAlphaPlane(), nullptr);

    // SetAlphaPlane makes a plane when there is none; a step of 0 means the plane's own pitch (8 for width 5).
    unsigned char source[3 * 8];
    for (int i = 0; i < (int)sizeof source; i++)
        source[i] = (unsigned char)(i + 1);
    EXPECT_EQ(canvas.SetAlphaPlane(source, 0), 3);
    ASSERT_TRUE(canvas.HasAlphaPlane());
    EXPECT_EQ(canvas.GetAlphaRowStep(), 8);
    EXPECT_EQ(memcmp(canvas.GetAlphaPlane(), source, sizeof source), 0);

    // A longer source step copies only the plane's pitch from each source row; a negative one walks upwards.
    unsigned char wide[3 * 20] = {};
    for (int y = 0; y < 3; y++)
        memset(wide + 20 * y, 0x10 * (y + 1), 20);
    EXPECT_EQ(canvas.SetAlphaPlane(wide + 40, -20), 3);
    EXPECT_EQ(canvas.GetAlphaPlane()[0], 0x30);
    EXPECT_EQ(canvas.GetAlphaPlane()[8 * 2 + 7], 0x10);

    // CreateAlphaPlane replaces the plane by a zero-filled one.
    unsigned char* fresh = canvas.CreateAlphaPlane();
    ASSERT_NE(fresh, nullptr);
    for (int i = 0; i < 3 * 8; i++)
        ASSERT_EQ(fresh[i], 0) << i;

    // An attached plane is the caller's; a detached plane too, and destroying the surface leaves both alone.
    unsigned char mine[3 * 6];
    memset(mine, 0x77, sizeof mine);
    canvas.AttachAlphaPlane(mine + 12, -6);  // bottom-up: row 0 at the top of the block's last row
    EXPECT_EQ(canvas.GetAlphaPlane(), mine + 12);
    EXPECT_EQ(canvas.GetAlphaRowStep(), -6);
    EXPECT_EQ(GetBackend(&canvas)->d.alphaBlock, mine);
    int step = 0;
    EXPECT_EQ(canvas.DetachAlphaPlane(&step), mine + 12);
    EXPECT_EQ(step, -6);
    EXPECT_FALSE(canvas.HasAlphaPlane());

    canvas.CreateAlphaPlane();
    int detachedStep = 0;
    unsigned char* detached = canvas.DetachAlphaPlane(&detachedStep);
    canvas.Release();  // must not free the detached plane
    detached[0] = 1;   // still ours
    void* block = detached;
    FreeAndNull(&block);  // the plane came from the library's heap
    EXPECT_EQ(mine[0], 0x77);
}

TEST(AlphaPlane, EmptyCanvasHasNoneAndCannotGetOne)
{
    cCanvas canvas;
    unsigned char row[4] = {1, 2, 3, 4};
    EXPECT_EQ(canvas.CreateAlphaPlane(), nullptr);
    EXPECT_EQ(canvas.SetAlphaPlane(row, 4), 0);
    canvas.AttachAlphaPlane(row, 4);
    EXPECT_FALSE(canvas.HasAlphaPlane());
    int step = 5;
    EXPECT_EQ(canvas.DetachAlphaPlane(&step), nullptr);
    EXPECT_EQ(step, 0);
    EXPECT_EQ(canvas.NewAlphaCanvas(), nullptr);
}

TEST(AlphaPlane, AlphaCanvasViewsThePlaneAsAGreySurface)
{
    cCanvas canvas;
    ASSERT_TRUE(canvas.CreateLike(6, 2, MemoryPrototype(24)));
    ASSERT_NE(canvas.CreateAlphaPlane(), nullptr);
    cCanvas* alpha = canvas.NewAlphaCanvas();
    ASSERT_NE(alpha, nullptr);
    EXPECT_EQ(alpha->GetDepth(), 8);
    EXPECT_EQ(alpha->GetWidth(), 6);
    EXPECT_EQ(alpha->GetHeight(), 2);
    EXPECT_EQ(alpha->Lock(), canvas.GetAlphaPlane());
    EXPECT_EQ(alpha->GetRowStep(), canvas.GetAlphaRowStep());
    DeleteCanvas(alpha);  // the view owns nothing
    EXPECT_TRUE(canvas.HasAlphaPlane());
}

struct DibCase {
    int width, height, depth;
    unsigned long header, row, size;
};

TEST(DibSizes, HeaderRowAndTotal)
{
    const DibCase cases[] = {
        {1, 1, 1, 48, 4, 52},      {33, 2, 1, 48, 8, 64},    {3, 3, 4, 104, 4, 116},
        {3, 2, 8, 1064, 4, 1072},  {3, 2, 15, 40, 8, 56},    {3, 2, 16, 52, 8, 68},
        {3, 2, 24, 40, 12, 64},    {3, 2, 32, 40, 12, 64},   {640, 480, 24, 40, 1920, 40 + 1920 * 480},
        {0x7FFFFFFF, 0x7FFFFFFF, 32, 40, 0xFFFFFFFF, 0xFFFFFFFF},  // far too large: saturated, not wrapped
    };
    for (const DibCase& c : cases) {
        EXPECT_EQ(DibHeaderSize(c.depth), c.header) << c.depth;
        EXPECT_EQ(DibRowBytes(c.width, c.depth), c.row) << c.width << "x" << c.depth;
        unsigned long long both = DibSize(c.width, c.height, c.depth);
        EXPECT_EQ((unsigned long)both, c.size) << c.width << "x" << c.height << "x" << c.depth;
        EXPECT_EQ((unsigned long)(both >> 32), c.header);
    }
    cCanvas canvas;
    ASSERT_TRUE(canvas.CreateLike(3, 2, MemoryPrototype(16)));
    EXPECT_EQ(canvas.GetDibSize(), 68u);
}

TEST(DibSizes, BitsFollowTheColourTableOrTheMasks)
{
    BITMAPINFOHEADER h = {};
    h.biSize = 40;
    const struct {
        WORD bits;
        DWORD compression, used;
        size_t offset;
    } cases[] = {{8, BI_RGB, 0, 40 + 1024}, {8, BI_RGB, 16, 40 + 64}, {4, BI_RGB, 0, 40 + 64},
                 {1, BI_RGB, 0, 48},        {16, BI_BITFIELDS, 0, 52}, {16, BI_RGB, 0, 40},
                 {24, BI_RGB, 0, 40},       {32, BI_BITFIELDS, 0, 52}};
    for (auto c : cases) {
        h.biBitCount = c.bits;
        h.biCompression = c.compression;
        h.biClrUsed = c.used;
        EXPECT_EQ(DibBits(&h) - reinterpret_cast<unsigned char*>(&h), (ptrdiff_t)c.offset) << c.bits;
    }
}

}  // namespace
