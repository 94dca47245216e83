// Packed-bitmap internals linked directly: the header bounds, the view over packed rows in both row orders and
// every format, widening of 1- and 4-bit rows, and the view over the files ImageMagick wrote.
#include <gtest/gtest.h>

#include <limits.h>
#include <string.h>

#include "bitmap_bytes.h"
#include "core/alloc.h"
#include "frame/frame.h"
#include "surface/dib_view.h"
#include "surface/palette.h"

using namespace kx;

namespace {

// No DllMain attaches the test's thread: palettes need its registry record.
struct Attached {
    Attached() { AttachThreadPalettes(); }
    ~Attached() { DetachThreadPalettes(); }
};

const BITMAPINFOHEADER* Header(const Bytes& b) { return reinterpret_cast<const BITMAPINFOHEADER*>(b.data()); }

struct HeaderCase {
    const char* what;
    DibShape shape;
    int status;
    int depth;   // the format the rows are read as, when accepted
};

DibShape With(int bits, int width, int height, uint32_t compression = BI_RGB, uint32_t clrUsed = 0)
{
    DibShape s;
    s.bitCount = bits;
    s.width = width;
    s.height = height;
    s.compression = compression;
    s.clrUsed = clrUsed;
    return s;
}

DibShape Fields(int bits, uint32_t red, uint32_t green, uint32_t blue)
{
    DibShape s = With(bits, 2, 2, BI_BITFIELDS);
    s.masks[0] = red;
    s.masks[1] = green;
    s.masks[2] = blue;
    return s;
}

DibShape HeaderSize(uint32_t size)
{
    DibShape s = With(24, 2, 2);
    s.headerSize = size;
    return s;
}

TEST(DibHeader, EveryFieldIsBoundedBeforeUse)
{
    const HeaderCase cases[] = {
        {"8-bit", With(8, 3, 2), 0, 8},
        {"1-bit", With(1, 9, 1), 0, 0},
        {"4-bit, 5 colours", With(4, 3, 2, BI_RGB, 5), 0, 0},
        {"plain 16-bit is 5-5-5", With(16, 3, 2), 0, 15},
        {"24-bit top-down", With(24, 3, -2), 0, 24},
        {"32-bit", With(32, 1, 1), 0, 32},
        {"5-5-5 fields", Fields(16, 0x7C00, 0x3E0, 0x1F), 0, 15},
        {"5-6-5 fields", Fields(16, 0xF800, 0x7E0, 0x1F), 0, 16},
        {"8-8-8 fields", Fields(32, 0xFF0000, 0xFF00, 0xFF), 0, 32},
        {"widest 1-bit row", With(1, INT_MAX, 1), 0, 0},
        {"fields in the wrong order", Fields(16, 0x1F, 0x7E0, 0xF800), ERR_BAD_FORMAT, 0},
        {"fields with a fourth byte", Fields(32, 0xFF000000, 0xFF0000, 0xFF00), ERR_BAD_FORMAT, 0},
        {"fields at 8 bits", Fields(8, 0, 0, 0), ERR_BAD_FORMAT, 0},
        {"fields at 24 bits", Fields(24, 0xFF0000, 0xFF00, 0xFF), ERR_BAD_FORMAT, 0},
        {"run-length 8", With(8, 3, 2, BI_RLE8), ERR_BAD_FORMAT, 0},
        {"run-length 4", With(4, 3, 2, BI_RLE4), ERR_BAD_FORMAT, 0},
        {"embedded picture", With(24, 3, 2, BI_JPEG), ERR_BAD_FORMAT, 0},
        {"0 bits", With(0, 3, 2), ERR_BAD_FORMAT, 0},
        {"2 bits", With(2, 3, 2), ERR_BAD_FORMAT, 0},
        {"7 bits", With(7, 3, 2), ERR_BAD_FORMAT, 0},
        {"12 bits", With(12, 3, 2), ERR_BAD_FORMAT, 0},
        {"15 bits", With(15, 3, 2), ERR_BAD_FORMAT, 0},
        {"33 bits", With(33, 3, 2), ERR_BAD_FORMAT, 0},
        {"64 bits", With(64, 3, 2), ERR_BAD_FORMAT, 0},
        {"257 colours at 8 bits", With(8, 3, 2, BI_RGB, 257), ERR_BAD_FORMAT, 0},
        {"17 colours at 4 bits", With(4, 3, 2, BI_RGB, 17), ERR_BAD_FORMAT, 0},
        {"3 colours at 1 bit", With(1, 3, 2, BI_RGB, 3), ERR_BAD_FORMAT, 0},
        {"4 billion colours", With(8, 3, 2, BI_RGB, 0xFFFFFFFF), ERR_BAD_FORMAT, 0},
        {"width 0", With(8, 0, 2), ERR_BAD_FORMAT, 0},
        {"negative width", With(8, -3, 2), ERR_BAD_FORMAT, 0},
        {"height 0", With(8, 3, 0), ERR_BAD_FORMAT, 0},
        {"height INT_MIN", With(8, 3, INT_MIN), ERR_BAD_FORMAT, 0},
        {"65536 x 65536 at 32 bits", With(32, 65536, 65536), ERR_BAD_FORMAT, 0},
        {"rows past 2 GB", With(24, INT_MAX, 1), ERR_BAD_FORMAT, 0},
        {"tall rows past 2 GB", With(8, 4, INT_MAX), ERR_BAD_FORMAT, 0},
        {"short header", HeaderSize(12), ERR_BAD_FORMAT, 0},
        {"long header", HeaderSize(124), ERR_BAD_FORMAT, 0},
    };
    for (const HeaderCase& c : cases) {
        DibShape shape = c.shape;
        shape.colours = 0;   // the header and masks are all that is looked at
        Bytes dib = MakeDib(shape);
        const uint32_t* masks = reinterpret_cast<const uint32_t*>(dib.data() + 40);
        DibLayout l;
        EXPECT_EQ(CheckDibHeader(Header(dib), masks, &l), c.status) << c.what;
        if (c.status == 0) {
            EXPECT_EQ(l.depth, c.depth) << c.what;
        }
    }
}

TEST(DibHeader, LayoutOfTableAndRows)
{
    struct {
        DibShape shape;
        int colours;
        uint32_t tableBytes;
        int pitch;
        int height;
        bool topDown;
    } cases[] = {
        {With(8, 3, 2), 256, 1024, 4, 2, false},
        {With(8, 5, -7, BI_RGB, 20), 20, 80, 8, 7, true},
        {With(4, 9, 3, BI_RGB, 3), 3, 12, 8, 3, false},
        {With(1, 33, 1), 2, 8, 8, 1, false},
        {With(16, 3, 2), 0, 0, 8, 2, false},
        {Fields(16, 0xF800, 0x7E0, 0x1F), 0, 12, 4, 2, false},
        {With(24, 5, 1), 0, 0, 16, 1, false},
        {With(32, 3, 1, BI_RGB, 7), 0, 0, 12, 1, false},
    };
    for (auto& c : cases) {
        Bytes dib = MakeDib(c.shape);
        DibLayout l;
        ASSERT_EQ(CheckDibHeader(Header(dib), reinterpret_cast<const uint32_t*>(dib.data() + 40), &l), 0);
        EXPECT_EQ(l.colours, c.colours) << c.shape.bitCount;
        EXPECT_EQ(l.tableBytes, c.tableBytes) << c.shape.bitCount;
        EXPECT_EQ(l.pitch, c.pitch) << c.shape.bitCount;
        EXPECT_EQ(l.height, c.height);
        EXPECT_EQ(l.topDown, c.topDown);
        EXPECT_EQ(l.pixelBytes, (uint32_t)(c.pitch * c.height));
    }
}

// What the pixel kernels read from stored bytes: an index at 8 bits, an RGB colour otherwise.
unsigned long StoredColour(int depth, const unsigned char* p)
{
    unsigned w = p[0] | p[1] << 8;
    switch (depth) {
    case 8:
        return p[0];
    case 15:
        return RGB(((w >> 10) & 31) << 3, ((w >> 5) & 31) << 3, (w & 31) << 3);
    case 16:
        return RGB((w >> 11) << 3, ((w >> 5) & 63) << 2, (w & 31) << 3);
    default:
        return RGB(p[2], p[1], p[0]);
    }
}

// Row y of the view holds the bytes of stored row (bottom-up: height - 1 - y).
TEST(DibView, RowsOfEveryFormatInBothOrders)
{
    Attached attached;
    struct {
        DibShape shape;
        int depth;
    } cases[] = {
        {With(8, 5, 3), 8},   {With(8, 5, -3), 8},  {With(16, 3, 2), 15}, {Fields(16, 0xF800, 0x7E0, 0x1F), 16},
        {With(24, 5, 3), 24}, {With(24, 5, -3), 24}, {With(32, 2, 4), 32}, {Fields(32, 0xFF0000, 0xFF00, 0xFF), 32},
    };
    for (auto& c : cases) {
        Bytes dib = MakeDib(c.shape);
        cDibView view;
        ASSERT_EQ(view.Over(Header(dib), nullptr, true), 0) << c.depth;
        const SurfaceDesc& d = view.d;
        int rows = c.shape.height < 0 ? -c.shape.height : c.shape.height;
        EXPECT_EQ(d.depth, c.depth);
        EXPECT_EQ(d.width, c.shape.width);
        EXPECT_EQ(d.height, rows);
        EXPECT_EQ(d.pitch, RowBytes(c.shape.width, c.shape.bitCount));
        EXPECT_EQ(d.bottomUp, c.shape.height > 0);
        EXPECT_EQ(d.clipRight, c.shape.width);
        EXPECT_EQ(d.clipBottom, rows);
        EXPECT_EQ(d.palette != nullptr, c.depth == 8);
        EXPECT_EQ(view.MakeInstance(2, 2), nullptr);
        const unsigned char* stored = DibBits(Header(dib));
        for (int y = 0; y < rows; y++) {
            int storedRow = c.shape.height > 0 ? rows - 1 - y : y;
            unsigned long raw = 0;
            ASSERT_EQ(view.GetPixelRaw(c.shape.width - 1, y, &raw), 1);
            const unsigned char* p = stored + (ptrdiff_t)storedRow * d.pitch + (c.shape.width - 1) * d.bytesPerPixel;
            EXPECT_EQ(raw, StoredColour(c.depth, p)) << c.depth << "-bit row " << y;
        }
    }
}

TEST(DibView, ExplicitBitsAndTheDeclaredPalette)
{
    Attached attached;
    DibShape shape = With(8, 4, 2, BI_RGB, 3);
    Bytes dib = MakeDib(shape);
    unsigned char rows[8] = {0, 1, 2, 3, 2, 2, 2, 2};
    cDibView view;
    ASSERT_EQ(view.Over(Header(dib), rows, true), 0);
    // Bottom-up: the top row is the second one stored.
    unsigned long raw;
    ASSERT_EQ(view.GetPixelRaw(1, 1, &raw), 1);
    EXPECT_EQ(raw, 1u);
    ASSERT_EQ(view.GetPixelRaw(0, 0, &raw), 1);
    EXPECT_EQ(raw, 2u);
    ASSERT_NE(view.d.palette, nullptr);
    EXPECT_EQ(view.d.palette->count, 256);
    // The table is blue, green, red; entries the table does not have are black (kept apart from index 0 the
    // way the library's palettes keep every black above it).
    EXPECT_EQ(PaletteEntryColour(view.d.palette, 2), RGB(20, 100, 253));
    EXPECT_EQ(PaletteEntryColour(view.d.palette, 3), RGB(8, 0, 0));
    EXPECT_EQ(PaletteEntryColour(view.d.palette, 255), RGB(8, 0, 0));

    // Without the palette flag the rows follow the whole table and no palette is made.
    cDibView plain;
    Bytes full = MakeDib(With(8, 4, 2));
    ASSERT_EQ(plain.Over(Header(full), nullptr, false), 0);
    EXPECT_EQ(plain.d.palette, nullptr);
    EXPECT_EQ(plain.d.pixelBlock, full.data() + 40 + 1024);

    // Refused bitmaps leave the view at depth 0; 1- and 4-bit rows are never viewed as bytes.
    for (DibShape bad : {With(8, 3, 2, BI_RLE8), With(4, 3, 2), With(1, 8, 1), Fields(16, 1, 2, 3)}) {
        Bytes b = MakeDib(bad);
        cDibView refused;
        EXPECT_EQ(refused.Over(Header(b), nullptr, true), ERR_BAD_FORMAT);
        EXPECT_EQ(refused.d.depth, 0);
    }
}

struct WidenCase {
    int bits;
    int width;
    uint32_t clrUsed;
    std::vector<unsigned char> row;       // one stored row
    std::vector<unsigned char> expected;  // the widened indices
};

TEST(DibWiden, IndicesMoveToTenOnwardsAndTheTableKeepsTheBase)
{
    Attached attached;
    const WidenCase cases[] = {
        // colour 0 stays index 0, colour n becomes n + 10
        {4, 5, 0, {0x03, 0xF1, 0x20}, {0, 13, 25, 11, 12}},
        {4, 1, 0, {0x30}, {13}},
        {4, 4, 2, {0x10, 0x01}, {11, 0, 0, 11}},
        // most significant bit first; 0 and 1 become 10 and 11
        {1, 10, 0, {0xB4, 0x80}, {11, 10, 11, 11, 10, 11, 10, 10, 11, 10}},
        {1, 3, 0, {0x00}, {10, 10, 10}},
    };
    PALETTEENTRY base[256];
    for (int i = 0; i < 256; i++)
        base[i] = PALETTEENTRY{(BYTE)i, (BYTE)(255 - i), 7, 0};
    for (const WidenCase& c : cases) {
        DibShape shape = With(c.bits, c.width, -2, BI_RGB, c.clrUsed);
        Bytes dib = MakeDib(shape);
        DibLayout l;
        ASSERT_EQ(CheckDibHeader(Header(dib), nullptr, &l), 0);
        Bytes rows(dib.begin() + 40 + l.tableBytes, dib.end());
        std::copy(c.row.begin(), c.row.end(), rows.begin());
        BITMAPINFOHEADER* wide = WidenToEightBits(Header(dib), rows.data(), l, base);
        ASSERT_NE(wide, nullptr);
        EXPECT_EQ(wide->biBitCount, 8);
        EXPECT_EQ(wide->biCompression, (DWORD)BI_RGB);
        EXPECT_EQ(wide->biClrUsed, 0u);
        EXPECT_EQ(wide->biHeight, -2);
        const RGBQUAD* table = reinterpret_cast<const RGBQUAD*>(wide + 1);
        const unsigned char* out = reinterpret_cast<const unsigned char*>(table + 256);
        for (int x = 0; x < c.width; x++)
            EXPECT_EQ(out[x], c.expected[x]) << c.bits << "-bit pixel " << x;
        EXPECT_EQ(table[0].rgbRed, 0);
        EXPECT_EQ(table[9].rgbRed, 9);
        EXPECT_EQ(table[9].rgbGreen, 246);
        EXPECT_EQ(table[9].rgbBlue, 7);
        // The bitmap's own colours from entry 10, only as many as it has.
        EXPECT_EQ(table[11].rgbRed, 10);
        EXPECT_EQ(table[11].rgbBlue, 254);
        int own = c.clrUsed ? (int)c.clrUsed : 1 << c.bits;
        EXPECT_EQ(table[10 + own].rgbRed, 10 + own) << "entry after the bitmap's colours";
        // The second row was widened from its own bytes, not left at zero.
        const unsigned char* second = out + RowBytes(c.width, 8);
        unsigned char stored = rows[l.pitch];
        int first = c.bits == 4 ? (stored >> 4) : (stored >> 7);
        EXPECT_EQ(second[0], c.bits == 4 ? (first ? first + 10 : 0) : 10 + first);
        void* block = wide;
        FreeAndNull(&block);
    }
}

// The files ImageMagick wrote: the view (after widening for 1 and 4 bits) shows the picture they came from.
TEST(DibView, ImageMagickFilesShowTheirPictures)
{
    Attached attached;
    struct {
        const char* file;
        const char* picture;
        int bits;
    } cases[] = {
        {"im_rgb24.bmp", "colours.ppm", 24},
        {"im_pal8.bmp", "colours.ppm", 8},
        {"im_pal4.bmp", "few.ppm", 4},
        {"im_mono.bmp", "two.ppm", 1},
    };
    PALETTEENTRY base[256] = {};
    for (auto& c : cases) {
        Bytes file = ReadBytes(Fixture(KX_BITMAPS, c.file));
        Picture pic = ReadPicture(Fixture(KX_FIXTURES, c.picture));
        ASSERT_GT(file.size(), 54u) << c.file;
        ASSERT_GT(pic.width, 0) << c.picture;
        const BITMAPINFOHEADER* h = reinterpret_cast<const BITMAPINFOHEADER*>(file.data() + 14);
        DibLayout l;
        ASSERT_EQ(CheckDibHeader(h, nullptr, &l), 0) << c.file;
        EXPECT_EQ(l.bitCount, c.bits) << c.file;
        uint32_t offBits;
        memcpy(&offBits, file.data() + 10, 4);
        ASSERT_LE(offBits + l.pixelBytes, file.size()) << c.file;
        const unsigned char* rows = file.data() + offBits;
        BITMAPINFOHEADER* wide = nullptr;
        if (c.bits < 8) {
            wide = WidenToEightBits(h, rows, l, base);
            ASSERT_NE(wide, nullptr);
            h = wide;
            rows = nullptr;
        }
        cDibView view;
        ASSERT_EQ(view.Over(h, const_cast<unsigned char*>(rows), true), 0) << c.file;
        ASSERT_EQ(view.d.width, pic.width);
        ASSERT_EQ(view.d.height, pic.height);
        // A 4-bit pixel of colour 0 becomes index 0, which is black whatever the table says.
        const RGBQUAD& zero = *reinterpret_cast<const RGBQUAD*>(file.data() + 54);
        COLORREF colourZero = RGB(zero.rgbRed, zero.rgbGreen, zero.rgbBlue);
        for (int y = 0; y < pic.height; y++) {
            for (int x = 0; x < pic.width; x++) {
                COLORREF expected = pic.At(x, y);
                if (c.bits == 4 && expected == colourZero)
                    expected = 0;
                COLORREF got = 0;
                ASSERT_EQ(view.GetPixel(x, y, &got), 1);
                EXPECT_EQ(got & 0xFFFFFF, expected) << c.file << " at " << x << "," << y;
            }
        }
        void* block = wide;
        FreeAndNull(&block);
    }
}

}  // namespace
