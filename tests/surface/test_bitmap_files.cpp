// Packed bitmaps and bitmap files through the import library, as a host uses them: broken files and headers
// that must leave the canvas as it was, the headers and tables that saving writes, raw pixel rows to and from
// files, bitmap resources of this program, and round trips at every depth.
//
// Copying pixels between the view over a bitmap and a surface is the generic blit's work. The tests that need
// it ask the library first whether it can copy between two surfaces of one format (and between formats, for
// loads into a surface of another depth) and are skipped when it cannot.
#include <windows.h>

#include <gtest/gtest.h>

#include <limits.h>
#include <stdint.h>
#include <string.h>

#include <random>

#include "bitmap_bytes.h"
#include "kalvex2/canvas.h"
#include "kalvex2/palette.h"
#include "kalvex2/streams.h"

namespace {

cCanvas* MemoryPrototype(int depth)
{
    cCanvas* p = nullptr;
    GetPrototype(&p, depth, 0, 0);
    return p;
}

// Whether a 2 x 1 surface copies into another one of the given depths.
bool BlitCopies(int fromDepth, int toDepth)
{
    cCanvas from, to;
    if (!from.CreateLike(2, 1, MemoryPrototype(fromDepth)) || !to.CreateLike(2, 1, MemoryPrototype(toDepth)))
        return false;
    from.SetPixel(1, 0, RGB(255, 255, 255));
    to.SetPixel(1, 0, 0);
    COLORREF c = 0;
    return from.GetPixel(1, 0, &c) && c == RGB(255, 255, 255) &&
           GetBackend(&from)->Blit(GetBackend(&to), 0, 0, 0, 0, 2, 1, 0, 0, 0, 0) && to.GetPixel(1, 0, &c) &&
           (c & 0xF8F8F8) == 0xF8F8F8;   // white as 15 and 16-bit surfaces keep it
}

// Loading and saving move pixels through the generic blit (and between depths through the conversion): when a
// copy itself is broken, say so first rather than as a pixel mismatch further down.
#define NEEDS_BLIT() ASSERT_TRUE(BlitCopies(24, 24)) << "copy between two surfaces fails"
#define NEEDS_CONVERSION()                                                                                    \
    ASSERT_TRUE(BlitCopies(8, 32) && BlitCopies(24, 16)) << "copy between surfaces of different depths fails"

// The rows of a surface as bytes, for checking that a failed load changed nothing.
Bytes Rows(cCanvas& c)
{
    const SurfaceDesc& d = GetBackend(&c)->d;
    Bytes b;
    for (int y = 0; y < d.height; y++) {
        const unsigned char* row = d.rowZero + (ptrdiff_t)y * d.rowStep;
        b.insert(b.end(), row, row + (size_t)d.width * d.bytesPerPixel);
    }
    return b;
}

void Paint(cCanvas& c, unsigned seed)
{
    std::mt19937 random(seed);
    const SurfaceDesc& d = GetBackend(&c)->d;
    for (int y = 0; y < d.height; y++)
        for (int x = 0; x < d.width; x++)
            c.SetPixel(x, y, d.depth == 8 ? 0x01000000u | (random() & 0xFF) : random() & 0xFFFFFF);
}

struct BrokenFile {
    const char* what;
    Bytes bytes;
    unsigned long error;
};

Bytes Cut(Bytes b, size_t size)
{
    b.resize(size);
    return b;
}

Bytes Poke32(Bytes b, size_t at, uint32_t value)
{
    memcpy(b.data() + at, &value, 4);
    return b;
}

Bytes Poke16(Bytes b, size_t at, uint16_t value)
{
    memcpy(b.data() + at, &value, 2);
    return b;
}

DibShape Shape(int bits, int width, int height, uint32_t compression = BI_RGB)
{
    DibShape s;
    s.bitCount = bits;
    s.width = width;
    s.height = height;
    s.compression = compression;
    return s;
}

// Offsets in a file: 14-byte file header, then the bitmap header.
enum { WIDTH = 18, HEIGHT = 22, BITS = 28, COMPRESSION = 30, CLR_USED = 46 };

std::vector<BrokenFile> BrokenFiles()
{
    Bytes good8 = AsFile(MakeDib(Shape(8, 3, 2)));
    Bytes good24 = AsFile(MakeDib(Shape(24, 5, 4)));
    DibShape fields = Shape(16, 4, 2, BI_BITFIELDS);
    fields.masks[0] = 0xF800;
    fields.masks[1] = 0x7E0;
    fields.masks[2] = 0x1F;
    Bytes good16 = AsFile(MakeDib(fields));
    DibShape swapped = fields;
    swapped.masks[0] = 0x1F;
    swapped.masks[2] = 0xF800;
    DibShape short4 = Shape(4, 6, 2);
    short4.clrUsed = 3;
    short4.colours = 3;
    Bytes no14 = MakeDib(Shape(24, 2, 2));   // a packed bitmap alone: its header size stands where 'BM' would
    return {
        {"empty file", {}, ERR_END_OF_DATA},
        {"13 bytes", Cut(good8, 13), ERR_END_OF_DATA},
        {"file header only", Cut(good8, 14), ERR_BAD_FORMAT},
        {"cut in the header", Cut(good8, 40), ERR_BAD_FORMAT},
        {"cut in the colour table", Cut(good8, 54 + 500), ERR_BAD_FORMAT},
        {"cut in the last row", Cut(good24, good24.size() - 1), ERR_BAD_FORMAT},
        {"cut in the masks", Cut(good16, 60), ERR_BAD_FORMAT},
        {"neither 'BM' nor a header", Poke32(good8, 0, 0x12345678), ERR_BAD_FORMAT},
        {"packed bitmap of another header size", Poke32(no14, 0, 12), ERR_BAD_FORMAT},
        {"header size 12", Poke32(good8, 14, 12), ERR_BAD_FORMAT},
        {"header size 124", Poke32(good8, 14, 124), ERR_BAD_FORMAT},
        {"0 bits", Poke16(good8, BITS, 0), ERR_BAD_FORMAT},
        {"2 bits", Poke16(good8, BITS, 2), ERR_BAD_FORMAT},
        {"7 bits", Poke16(good8, BITS, 7), ERR_BAD_FORMAT},
        {"33 bits", Poke16(good24, BITS, 33), ERR_BAD_FORMAT},
        {"run-length rows", Poke32(good8, COMPRESSION, BI_RLE8), ERR_BAD_FORMAT},
        {"bit fields at 24 bits", Poke32(good24, COMPRESSION, BI_BITFIELDS), ERR_BAD_FORMAT},
        {"masks of no format", AsFile(MakeDib(swapped)), ERR_BAD_FORMAT},
        {"257 colours", Poke32(good8, CLR_USED, 257), ERR_BAD_FORMAT},
        {"4 billion colours", Poke32(good8, CLR_USED, 0xFFFFFFFF), ERR_BAD_FORMAT},
        {"width 0", Poke32(good8, WIDTH, 0), ERR_BAD_FORMAT},
        {"negative width", Poke32(good8, WIDTH, (uint32_t)-3), ERR_BAD_FORMAT},
        {"height 0", Poke32(good8, HEIGHT, 0), ERR_BAD_FORMAT},
        {"height INT_MIN", Poke32(good8, HEIGHT, (uint32_t)INT_MIN), ERR_BAD_FORMAT},
        {"top-down file", Poke32(good8, HEIGHT, (uint32_t)-2), ERR_BAD_FORMAT},
        {"65536 x 65536 at 32 bits", Poke32(Poke32(Poke16(good24, BITS, 32), WIDTH, 65536), HEIGHT, 65536),
         ERR_BAD_FORMAT},
        {"a width that needs 2 GB", Poke32(good24, WIDTH, 0x7FFFFFFF), ERR_BAD_FORMAT},
        {"a height past the file", Poke32(good24, HEIGHT, 40000), ERR_BAD_FORMAT},
        {"rows placed past the end", Poke32(good24, 10, 100000), ERR_BAD_FORMAT},
        {"short table, rows cut", Cut(AsFile(MakeDib(short4)), 14 + 40 + 12 + 5), ERR_BAD_FORMAT},
    };
}

TEST(BitmapFiles, BrokenFilesAreRefusedAndTheCanvasKeepsItsPicture)
{
    for (int depth : {24, 8}) {
        for (const BrokenFile& c : BrokenFiles()) {
            cCanvas canvas;
            ASSERT_EQ(canvas.CreateLike(4, 3, MemoryPrototype(depth)), 1);
            Paint(canvas, 7);
            Bytes before = Rows(canvas);
            cSurfaceBackend* backend = GetBackend(&canvas);
            SharedPalette* palette = canvas.GetPalette();
            TempFile file("broken.bmp", c.bytes);
            EXPECT_EQ(canvas.LoadBitmapFile(file.path.c_str(), 0), 0) << c.what;
            EXPECT_EQ(canvas.GetError(), c.error) << c.what;
            EXPECT_EQ(GetBackend(&canvas), backend) << c.what;
            EXPECT_EQ(canvas.GetWidth(), 4) << c.what;
            EXPECT_EQ(canvas.GetDepth(), depth) << c.what;
            EXPECT_EQ(canvas.GetPalette(), palette) << c.what;
            EXPECT_EQ(Rows(canvas), before) << c.what;
            EXPECT_TRUE(file.Unused()) << c.what << ": the file was left open";
        }
    }
}

TEST(BitmapFiles, BrokenHeadersInMemoryAreRefusedToo)
{
    // A packed bitmap in the caller's memory has no stated size: its header is bounded the same way.
    DibShape swapped = Shape(16, 2, 2, BI_BITFIELDS);
    swapped.masks[0] = 0x1F;
    swapped.masks[1] = 0x7E0;
    swapped.masks[2] = 0xF800;
    DibShape manyColours = Shape(8, 3, 2);
    manyColours.clrUsed = 300;
    DibShape longHeader = Shape(24, 2, 2);
    longHeader.headerSize = 108;
    const struct {
        const char* what;
        DibShape shape;
    } cases[] = {
        {"run-length rows", Shape(8, 3, 2, BI_RLE8)},
        {"3 bits", Shape(3, 3, 2)},
        {"masks of no format", swapped},
        {"300 colours", manyColours},
        {"header size 108", longHeader},
        {"height INT_MIN", Shape(24, 3, INT_MIN)},
        {"65536 x 65536 at 32 bits", Shape(32, 65536, 65536)},
    };
    for (auto& c : cases) {
        Bytes dib = MakeDib(c.shape);
        cCanvas canvas;
        ASSERT_EQ(canvas.CreateLike(4, 3, MemoryPrototype(24)), 1);
        Paint(canvas, 3);
        Bytes before = Rows(canvas);
        EXPECT_EQ(canvas.LoadDib(reinterpret_cast<BITMAPINFOHEADER*>(dib.data()), nullptr, 0), 0) << c.what;
        EXPECT_EQ(canvas.GetError(), (unsigned long)ERR_BAD_FORMAT) << c.what;
        EXPECT_EQ(canvas.GetWidth(), 4) << c.what;
        EXPECT_EQ(Rows(canvas), before) << c.what;
    }
    cCanvas canvas;
    ASSERT_EQ(canvas.CreateLike(4, 3, MemoryPrototype(24)), 1);
    EXPECT_EQ(canvas.LoadDib(nullptr, nullptr, 0), 0);
    EXPECT_EQ(canvas.GetError(), (unsigned long)ERR_BAD_FORMAT);
}

TEST(BitmapFiles, LoadingReportsOpenFailuresAndMissingResources)
{
    cCanvas canvas;
    ASSERT_EQ(canvas.CreateLike(2, 2, MemoryPrototype(24)), 1);
    EXPECT_EQ(canvas.LoadBitmapFile(TempPath("no_such_file.bmp").c_str(), 0), 0);
    EXPECT_EQ(canvas.GetError(), (unsigned long)ERR_OPEN);
    // A missing resource fails without touching lastError.
    canvas.lastError = 12345;
    EXPECT_EQ(canvas.LoadBitmapResource(GetModuleHandleA(nullptr), 999, 0), 0);
    EXPECT_EQ(canvas.GetError(), 12345u);
    EXPECT_EQ(canvas.GetWidth(), 2);
}

// What saving writes in front of the rows, at every depth (flags bit 0: header and table only).
TEST(BitmapFiles, SavedHeadersTablesAndMasks)
{
    const struct {
        int depth, bitCount;
        DWORD compression;
        unsigned long headerBytes;
    } cases[] = {
        {8, 8, BI_RGB, 40 + 1024}, {15, 16, BI_RGB, 40}, {16, 16, BI_BITFIELDS, 52},
        {24, 24, BI_RGB, 40},      {32, 32, BI_RGB, 40},
    };
    for (auto& c : cases) {
        cCanvas canvas;
        ASSERT_EQ(canvas.CreateLike(5, 3, MemoryPrototype(c.depth)), 1);
        Bytes out(2000, 0xCD);
        BITMAPINFOHEADER* h = reinterpret_cast<BITMAPINFOHEADER*>(out.data());
        ASSERT_EQ(canvas.SaveDib(h, out.data() + c.headerBytes, 1), 1) << c.depth;
        EXPECT_EQ(h->biSize, 40u);
        EXPECT_EQ(h->biWidth, 5);
        EXPECT_EQ(h->biHeight, 3);
        EXPECT_EQ(h->biPlanes, 1);
        EXPECT_EQ(h->biBitCount, c.bitCount) << c.depth;
        EXPECT_EQ(h->biCompression, c.compression) << c.depth;
        EXPECT_EQ(h->biSizeImage, DibRowBytes(5, c.depth) * 3) << c.depth;
        EXPECT_EQ(h->biClrUsed, 0u);
        EXPECT_EQ(h->biXPelsPerMeter, 0);
        EXPECT_EQ(DibHeaderSize(c.depth), c.headerBytes);
        EXPECT_EQ(canvas.GetDibSize(), c.headerBytes + h->biSizeImage);
        if (c.depth == 16) {
            uint32_t masks[3];
            memcpy(masks, out.data() + 40, 12);
            EXPECT_EQ(masks[0], 0xF800u);
            EXPECT_EQ(masks[1], 0x07E0u);
            EXPECT_EQ(masks[2], 0x001Fu);
        }
        if (c.depth == 8) {
            PALETTEENTRY entries[256];
            ASSERT_EQ(canvas.GetPaletteEntries(entries, 0, 256), 256);
            const RGBQUAD* table = reinterpret_cast<const RGBQUAD*>(out.data() + 40);
            for (int i = 0; i < 256; i++) {
                EXPECT_EQ(table[i].rgbRed, entries[i].peRed) << i;
                EXPECT_EQ(table[i].rgbGreen, entries[i].peGreen) << i;
                EXPECT_EQ(table[i].rgbBlue, entries[i].peBlue) << i;
                EXPECT_EQ(table[i].rgbReserved, 0) << i;
            }
        }
        // Nothing past the header and table, with the rows left alone.
        EXPECT_EQ(out[c.headerBytes], 0xCD) << c.depth;
    }
}

TEST(BitmapFiles, SavingRefusesWhatItCannotWrite)
{
    cCanvas empty;
    Bytes out(100, 0xCD);
    EXPECT_EQ(empty.SaveDib(reinterpret_cast<BITMAPINFOHEADER*>(out.data()), nullptr, 1), 0);
    EXPECT_EQ(empty.GetError(), (unsigned long)ERR_UNSUPPORTED);

    cCanvas canvas;
    ASSERT_EQ(canvas.CreateLike(2, 2, MemoryPrototype(24)), 1);
    EXPECT_EQ(canvas.SaveDib(nullptr, nullptr, 0), 0);
    EXPECT_EQ(canvas.GetError(), (unsigned long)ERR_BAD_FORMAT);

    // A save that cannot be made leaves an existing file as it was.
    TempFile existing("keep.bmp", Bytes{'k', 'e', 'e', 'p'});
    EXPECT_EQ(empty.SaveBitmapFile(existing.path.c_str(), 0), 0);
    EXPECT_EQ(empty.GetError(), (unsigned long)ERR_UNSUPPORTED);
    EXPECT_EQ(existing.Read(), (Bytes{'k', 'e', 'e', 'p'}));

    EXPECT_EQ(canvas.SaveBitmapFile((TempPath("no_dir") + "\\sub\\x.bmp").c_str(), 1), 0);
    EXPECT_EQ(canvas.GetError(), (unsigned long)ERR_CREATE);

    // A surface that only the system can draw into is neither loaded nor saved.
    cCanvas screen;
    ASSERT_EQ(screen.CreateOnDC(nullptr), 1);
    Bytes dib = MakeDib(Shape(24, 2, 2));
    EXPECT_EQ(screen.LoadDib(reinterpret_cast<BITMAPINFOHEADER*>(dib.data()), nullptr, 0), 0);
    EXPECT_EQ(screen.GetError(), (unsigned long)ERR_UNSUPPORTED);
    screen.lastError = 0;
    EXPECT_EQ(screen.SaveDib(reinterpret_cast<BITMAPINFOHEADER*>(out.data()), nullptr, 1), 0);
    EXPECT_EQ(screen.GetError(), (unsigned long)ERR_UNSUPPORTED);
}

TEST(BitmapFiles, SavedFilesHoldTheFileHeaderAndNoStaleBytes)
{
    for (int depth : {8, 15, 16, 24, 32}) {
        cCanvas canvas;
        ASSERT_EQ(canvas.CreateLike(33, 17, MemoryPrototype(depth)), 1);
        Paint(canvas, 11);
        TempFile file("saved.bmp");
        ASSERT_EQ(canvas.SaveBitmapFile(file.path.c_str(), 1), 1) << depth;
        EXPECT_EQ(canvas.GetError(), 0u);
        Bytes b = file.Read();
        unsigned long dibSize = canvas.GetDibSize();
        ASSERT_EQ(b.size(), dibSize + 14) << depth;
        uint32_t fileSize, offBits;
        memcpy(&fileSize, b.data() + 2, 4);
        memcpy(&offBits, b.data() + 10, 4);
        EXPECT_EQ(b[0], 'B');
        EXPECT_EQ(b[1], 'M');
        EXPECT_EQ(fileSize, dibSize + 14);
        EXPECT_EQ(offBits, DibHeaderSize(depth) + 14);
        // With the rows left out, the file holds zeros there, never what the buffer held before.
        for (size_t i = offBits; i < b.size(); i++)
            ASSERT_EQ(b[i], 0) << depth << "-bit byte " << i;

        // The same bitmap through an open handle, without the file header.
        TempFile plain("saved.dib");
        HANDLE h = FileCreate(plain.path.c_str());
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        EXPECT_EQ(canvas.SaveDibToFile(h, 1), 1);
        FileClose(h);
        EXPECT_EQ(plain.Read(), Bytes(b.begin() + 14, b.end())) << depth;
    }
}

TEST(MemorySurfaceRows, WriteAndReadBackThroughAFile)
{
    for (int depth : {8, 15, 16, 24, 32}) {
        cCanvas canvas, copy;
        ASSERT_EQ(canvas.CreateLike(7, 5, MemoryPrototype(depth)), 1);
        ASSERT_EQ(copy.CreateLike(7, 5, MemoryPrototype(depth)), 1);
        Paint(canvas, (unsigned)depth);
        const SurfaceDesc& d = GetBackend(&canvas)->d;
        memset(d.rowZero, 0x5A, (size_t)d.pitch * d.height);   // the padding too
        Paint(canvas, (unsigned)depth);
        TempFile file("rows.raw");
        HANDLE h = FileOpen(file.path.c_str(), FOPEN_READ_WRITE);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetBackend(&canvas)->WritePixels(h), 1);
        EXPECT_EQ(FileGetSize(h), d.pitch * d.height);
        FileSeek(h, 0);
        EXPECT_EQ(GetBackend(&copy)->ReadPixels(h), 1);
        // Nothing more to read: a short file fails.
        EXPECT_EQ(GetBackend(&copy)->ReadPixels(h), 0);
        FileClose(h);
        const SurfaceDesc& c = GetBackend(&copy)->d;
        EXPECT_EQ(memcmp(c.rowZero, d.rowZero, (size_t)d.pitch * d.height), 0) << depth;
    }
    cCanvas empty;
    EXPECT_EQ(GetBackend(&empty)->WritePixels(INVALID_HANDLE_VALUE), 0);
}

TEST(MemorySurfaceRows, ABottomUpViewReadsInsideItsRows)
{
    // An alpha plane attached bottom-up, viewed as a grey surface: the rows end at row 0.
    cCanvas canvas;
    ASSERT_EQ(canvas.CreateLike(4, 3, MemoryPrototype(32)), 1);
    Bytes memory(4 + 12 + 4, 0xEE);
    canvas.AttachAlphaPlane(memory.data() + 4 + 8, -4);
    cCanvas* alpha = canvas.NewAlphaCanvas();
    ASSERT_NE(alpha, nullptr);
    TempFile file("alpha.raw", Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    HANDLE h = FileOpen(file.path.c_str(), 0);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetBackend(alpha)->ReadPixels(h), 1);
    FileClose(h);
    EXPECT_EQ(Bytes(memory.begin() + 4, memory.begin() + 16), (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
    EXPECT_EQ(memory[3], 0xEE);
    EXPECT_EQ(memory[16], 0xEE);
    DeleteCanvas(alpha);
    canvas.DetachAlphaPlane(nullptr);
}

// --- with the blit: pixels through files, memory and resources ---

bool SamePixels(cCanvas& a, cCanvas& b, std::string* where)
{
    for (int y = 0; y < a.GetHeight(); y++) {
        for (int x = 0; x < a.GetWidth(); x++) {
            COLORREF p = 0, q = 0;
            a.GetPixel(x, y, &p);
            b.GetPixel(x, y, &q);
            if ((p & 0xFFFFFF) != (q & 0xFFFFFF)) {
                *where = std::to_string(x) + "," + std::to_string(y);
                return false;
            }
        }
    }
    return true;
}

TEST(BitmapRoundTrip, EveryDepthThroughFilesAndMemory)
{
    NEEDS_BLIT();
    for (int depth : {8, 15, 16, 24, 32}) {
        for (int width : {1, 3, 33}) {
            cCanvas canvas;
            ASSERT_EQ(canvas.CreateLike(width, 5, MemoryPrototype(depth)), 1);
            Paint(canvas, (unsigned)(depth * 100 + width));
            TempFile file("trip.bmp");
            ASSERT_EQ(canvas.SaveBitmapFile(file.path.c_str(), 0), 1) << depth;

            // Into a surface of the same depth but another size: it takes the bitmap's size.
            cCanvas loaded;
            ASSERT_EQ(loaded.CreateLike(2, 2, MemoryPrototype(depth)), 1);
            ASSERT_EQ(loaded.LoadBitmapFile(file.path.c_str(), 4), 1) << depth << " " << loaded.GetError();
            ASSERT_EQ(loaded.GetWidth(), width);
            ASSERT_EQ(loaded.GetHeight(), 5);
            ASSERT_EQ(loaded.GetDepth(), depth);
            std::string where;
            EXPECT_TRUE(SamePixels(canvas, loaded, &where)) << depth << "-bit, " << width << " wide, at " << where;
            for (int y = 0; y < 5 && depth != 8; y++) {
                unsigned long p = 0, q = 0;
                canvas.GetPixelRaw(width - 1, y, &p);
                loaded.GetPixelRaw(width - 1, y, &q);
                EXPECT_EQ(p, q) << depth;
            }

            // The same through a packed bitmap in memory, into the surface that already has the size.
            Bytes dib(canvas.GetDibSize(), 0);
            ASSERT_EQ(canvas.SaveDib(reinterpret_cast<BITMAPINFOHEADER*>(dib.data()), nullptr, 0), 1);
            Paint(loaded, 1);
            cSurfaceBackend* kept = GetBackend(&loaded);
            ASSERT_EQ(loaded.LoadDib(reinterpret_cast<BITMAPINFOHEADER*>(dib.data()), nullptr, 4), 1);
            EXPECT_EQ(GetBackend(&loaded), kept);
            EXPECT_TRUE(SamePixels(canvas, loaded, &where)) << depth << "-bit in memory, at " << where;
        }
    }
}

TEST(BitmapRoundTrip, ImageMagickFilesAndResourcesShowTheirPictures)
{
    NEEDS_BLIT();
    const struct {
        const char* file;
        int resource;
        const char* picture;
        int depth;
    } cases[] = {
        {"im_rgb24.bmp", 102, "colours.ppm", 24},
        {"im_pal8.bmp", 101, "colours.ppm", 8},
        {"im_pal4.bmp", 103, "few.ppm", 8},
        {"im_mono.bmp", 0, "two.ppm", 8},
    };
    for (auto& c : cases) {
        Picture pic = ReadPicture(Fixture(KX_FIXTURES, c.picture));
        Bytes file = ReadBytes(Fixture(KX_BITMAPS, c.file));
        ASSERT_GT(file.size(), 54u);
        const RGBQUAD& zero = *reinterpret_cast<const RGBQUAD*>(file.data() + 54);
        bool fourBits = file[28] == 4;
        for (int resource : {0, c.resource}) {
            if (resource && !c.resource)
                continue;
            cCanvas canvas;
            ASSERT_EQ(canvas.CreateLike(1, 1, MemoryPrototype(c.depth)), 1);
            // The bitmap's palette as it is (flags bit 2).
            int loaded = resource ? canvas.LoadBitmapResource(GetModuleHandleA(nullptr), resource, 4)
                                  : canvas.LoadBitmapFile(Fixture(KX_BITMAPS, c.file).c_str(), 4);
            ASSERT_EQ(loaded, 1) << c.file << " resource " << resource << " " << canvas.GetError();
            ASSERT_EQ(canvas.GetWidth(), pic.width);
            ASSERT_EQ(canvas.GetHeight(), pic.height);
            for (int y = 0; y < pic.height; y++) {
                for (int x = 0; x < pic.width; x++) {
                    COLORREF expected = pic.At(x, y), got = 0;
                    // 4-bit colour 0 is index 0, which is black.
                    if (fourBits && expected == RGB(zero.rgbRed, zero.rgbGreen, zero.rgbBlue))
                        expected = 0;
                    ASSERT_EQ(canvas.GetPixel(x, y, &got), 1);
                    EXPECT_EQ(got & 0xFFFFFF, expected) << c.file << " at " << x << "," << y;
                }
            }
        }
    }
}

TEST(BitmapRoundTrip, BitFieldFilesOfEveryLayout)
{
    NEEDS_BLIT();
    const struct {
        int bits;
        uint32_t red, green, blue;
        int depth;
    } cases[] = {
        {16, 0x7C00, 0x3E0, 0x1F, 15},
        {16, 0xF800, 0x7E0, 0x1F, 16},
        {32, 0xFF0000, 0xFF00, 0xFF, 32},
    };
    for (auto& c : cases) {
        DibShape shape = Shape(c.bits, 5, 3, BI_BITFIELDS);
        shape.masks[0] = c.red;
        shape.masks[1] = c.green;
        shape.masks[2] = c.blue;
        Bytes dib = MakeDib(shape);
        TempFile file("fields.bmp", AsFile(dib));
        cCanvas canvas;
        ASSERT_EQ(canvas.CreateLike(1, 1, MemoryPrototype(c.depth)), 1);
        ASSERT_EQ(canvas.LoadBitmapFile(file.path.c_str(), 0), 1) << c.depth << " " << canvas.GetError();
        ASSERT_EQ(canvas.GetWidth(), 5);
        // The rows follow the masks, bottom-up; the raw value of the last pixel of each row is what was stored.
        int pitch = RowBytes(5, c.bits);
        for (int y = 0; y < 3; y++) {
            const unsigned char* p = dib.data() + 52 + (2 - y) * pitch + 4 * (c.bits / 8);
            unsigned long stored = p[0] | p[1] << 8 | (c.bits == 32 ? p[2] << 16 : 0);
            COLORREF got = 0;
            ASSERT_EQ(canvas.GetPixel(4, y, &got), 1);
            unsigned long r = stored >> 16, g = (stored >> 8) & 0xFF, b = stored & 0xFF;
            if (c.depth == 15) {
                r = ((stored >> 10) & 31) << 3, g = ((stored >> 5) & 31) << 3, b = (stored & 31) << 3;
            } else if (c.depth == 16) {
                r = (stored >> 11) << 3, g = ((stored >> 5) & 63) << 2, b = (stored & 31) << 3;
            }
            COLORREF expected = RGB(r, g, b);
            EXPECT_EQ(got & 0xFFFFFF, expected) << c.depth << "-bit row " << y;
        }
    }
}

TEST(BitmapRoundTrip, FourBitColoursBecomeIndicesFromTen)
{
    NEEDS_BLIT();
    DibShape shape = Shape(4, 4, 1);
    Bytes dib = MakeDib(shape);
    dib[40 + 64] = 0x03;   // pixels 0, 3
    dib[40 + 65] = 0xF1;   // pixels 15, 1
    cCanvas canvas;
    ASSERT_EQ(canvas.CreateLike(4, 1, MemoryPrototype(8)), 1);
    ASSERT_EQ(canvas.LoadDib(reinterpret_cast<BITMAPINFOHEADER*>(dib.data()), nullptr, 4), 1);
    const int expected[] = {0, 13, 25, 11};
    for (int x = 0; x < 4; x++) {
        unsigned long index = 99;
        ASSERT_EQ(canvas.GetPixelRaw(x, 0, &index), 1);
        EXPECT_EQ(index, (unsigned long)expected[x]) << x;
    }
    // Colour n of the bitmap is entry n + 10 of the palette it brought.
    EXPECT_EQ(canvas.IndexToColour(13), RGB(30, 100, 252));
}

TEST(BitmapRoundTrip, KeepingThePaletteRemapsThePixels)
{
    NEEDS_BLIT();
    Bytes file = ReadBytes(Fixture(KX_BITMAPS, "im_pal8.bmp"));
    Picture pic = ReadPicture(Fixture(KX_FIXTURES, "colours.ppm"));
    cCanvas canvas;
    ASSERT_EQ(canvas.CreateLike(pic.width, pic.height, MemoryPrototype(8)), 1);
    SharedPalette* own = canvas.GetPalette();
    ASSERT_EQ(canvas.LoadDib(reinterpret_cast<BITMAPINFOHEADER*>(file.data() + 14), nullptr, 1), 1);
    EXPECT_EQ(canvas.GetPalette(), own);
    // Each pixel is the canvas palette's nearest entry to the bitmap's colour.
    for (int y = 0; y < pic.height; y++) {
        for (int x = 0; x < pic.width; x++) {
            unsigned long index = 0;
            ASSERT_EQ(canvas.GetPixelRaw(x, y, &index), 1);
            EXPECT_EQ((int)index, canvas.NearestIndex(pic.At(x, y))) << x << "," << y;
        }
    }
}

TEST(BitmapRoundTrip, LoadsIntoSurfacesOfOtherDepths)
{
    NEEDS_CONVERSION();
    Picture pic = ReadPicture(Fixture(KX_FIXTURES, "colours.ppm"));
    const struct {
        const char* file;
        int depth;
        COLORREF keep;   // the bits of each colour the surface stores
    } cases[] = {
        {"im_pal8.bmp", 32, 0xFFFFFF}, {"im_rgb24.bmp", 16, 0xF8FCF8}, {"im_rgb24.bmp", 15, 0xF8F8F8},
        {"im_pal8.bmp", 24, 0xFFFFFF},
    };
    for (auto& c : cases) {
        cCanvas canvas;
        ASSERT_EQ(canvas.CreateLike(1, 1, MemoryPrototype(c.depth)), 1);
        ASSERT_EQ(canvas.LoadBitmapFile(Fixture(KX_BITMAPS, c.file).c_str(), 0), 1) << c.file;
        EXPECT_EQ(canvas.GetDepth(), c.depth);
        for (int y = 0; y < pic.height; y++) {
            for (int x = 0; x < pic.width; x++) {
                COLORREF got = 0;
                ASSERT_EQ(canvas.GetPixel(x, y, &got), 1);
                EXPECT_EQ(got & 0xFFFFFF, pic.At(x, y) & c.keep) << c.file << " into " << c.depth;
            }
        }
    }
}

TEST(BitmapIcon, TransparentPixelsAndTheBorderAreMasked)
{
    NEEDS_BLIT();
    const COLORREF key = RGB(255, 0, 255);
    cCanvas canvas;
    ASSERT_EQ(canvas.CreateLike(6, 4, MemoryPrototype(24)), 1);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 6; x++)
            canvas.SetPixel(x, y, (x + y) % 3 == 0 ? key : RGB(10 * x, 20 * y, 200));
    POINT spot = {3, 5};
    for (bool cursor : {false, true}) {
        HICON icon = canvas.CreateIcon(8, 8, key, cursor ? &spot : nullptr);
        ASSERT_NE(icon, nullptr);
        ICONINFO info = {};
        ASSERT_TRUE(GetIconInfo(icon, &info));
        EXPECT_EQ(info.fIcon, cursor ? FALSE : TRUE);
        EXPECT_EQ(info.xHotspot, cursor ? 3u : 4u);   // icons report their centre
        EXPECT_EQ(info.yHotspot, cursor ? 5u : 4u);
        // The mask: the surface sits at (1, 2); around it and on its key-coloured pixels the mask is set.
        struct {
            BITMAPINFOHEADER h;
            RGBQUAD colours[2];
        } bi = {};
        bi.h.biSize = sizeof(BITMAPINFOHEADER);
        bi.h.biWidth = 8;
        bi.h.biHeight = -8;
        bi.h.biPlanes = 1;
        bi.h.biBitCount = 1;
        unsigned char bits[8 * 4] = {};
        HDC dc = GetDC(nullptr);
        ASSERT_EQ(GetDIBits(dc, info.hbmMask, 0, 8, bits, reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS), 8);
        ReleaseDC(nullptr, dc);
        for (int y = 0; y < 8; y++) {
            for (int x = 0; x < 8; x++) {
                bool inside = x >= 1 && x < 7 && y >= 2 && y < 6;
                bool transparent = !inside || (x - 1 + y - 2) % 3 == 0;
                EXPECT_EQ((bits[y * 4 + x / 8] >> (7 - x % 8)) & 1, transparent ? 1 : 0) << x << "," << y;
            }
        }
        DeleteObject(info.hbmMask);
        DeleteObject(info.hbmColor);
        DestroyIcon(icon);
    }
    cCanvas empty;
    EXPECT_EQ(empty.CreateIcon(8, 8, key, nullptr), nullptr);
}

}  // namespace
