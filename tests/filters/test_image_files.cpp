// Image files through the sample BMP plug-in (bin/plugins) and the test suite's animation plug-in: round trips
// with exact pixels at every depth, canvases of every depth, animations frame by frame, and the result codes.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "../core/temp_file.h"
#include "kalvex2/image_file.h"

namespace {

std::string Folder(const char* sub)
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    *strrchr(path, '\\') = 0;
    return std::string(path) + "\\" + sub;
}

const unsigned long kAnim = KX_FILTER_ID('A', 'N', 'I', 'M');

struct Sets : ::testing::Test {
    cImageFilterSet images, tests;
    void SetUp() override
    {
        images.ScanImageFilters(Folder("plugins").c_str(), 0);
        tests.ScanImageFilters(Folder("testplugins").c_str(), 0);
        ASSERT_GE(images.FindID(FILTER_ID_BMP), 0) << "bmp_filter.ift not in " << Folder("plugins");
        ASSERT_GE(tests.FindID(kAnim), 0);
    }
    void TearDown() override
    {
        images.UnloadAll();
        tests.UnloadAll();
    }
};

// Deterministic pixels whose bytes cover the whole range.
Bytes Pattern(size_t n, unsigned seed)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) {
        seed = seed * 1664525u + 1013904223u;
        b[i] = (unsigned char)(seed >> 24);
    }
    return b;
}

TEST_F(Sets, BmpRoundTripsEveryDepthExactly)
{
    struct Case {
        int depth, packedColours; // packedColours: palette size written with the packing option (1 or 4 bits)
    } cases[] = {{8, 0}, {8, 2}, {8, 16}, {15, 0}, {16, 0}, {24, 0}, {32, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "depth " << c.depth << " colours " << c.packedColours);
        const int w = 13, h = 7, bpp = c.depth == 8 ? 1 : c.depth <= 16 ? 2 : c.depth / 8, step = w * bpp + 3;
        Bytes pixels = Pattern((size_t)step * h, c.depth);
        if (c.depth == 15)
            for (size_t i = 1; i < pixels.size(); i += 2)
                pixels[i] &= 0x7F; // the unused top bit of 5-5-5 is not stored
        if (c.packedColours)
            for (auto& p : pixels)
                p = (unsigned char)(p % c.packedColours);
        std::vector<unsigned char> palBlock(IMAGE_PALETTE_BYTES, 0);
        LOGPALETTE* pal = reinterpret_cast<LOGPALETTE*>(palBlock.data());
        pal->palVersion = 0x300;
        pal->palNumEntries = (WORD)(c.packedColours ? c.packedColours : 256);
        Bytes colours = Pattern(1024, 5);
        for (int i = 0; i < pal->palNumEntries; ++i)
            pal->palPalEntry[i] = PALETTEENTRY{colours[4 * i], colours[4 * i + 1], colours[4 * i + 2], 0};
        TempFile file("roundtrip.bmp");

        cImageFile writer(&images);
        ASSERT_TRUE(writer.SelectFilterByID(FILTER_ID_BMP));
        writer.SetOption(c.packedColours ? 1 : 0);
        ASSERT_EQ(writer.SaveImage(file.path.c_str(), pixels.data(), w, h, c.depth, step, pal, nullptr, 0), 0);
        Bytes stored = file.Read();
        ASSERT_GT(stored.size(), 30u);
        int fileBits = stored[28];
        EXPECT_EQ(fileBits, c.packedColours == 2 ? 1 : c.packedColours == 16 ? 4 : c.depth == 15 ? 16 : c.depth);

        cImageFile reader(&images);
        ASSERT_EQ(reader.OpenFile(file.path.c_str()), 0);
        EXPECT_EQ(reader.GetFilterID(), (unsigned long)FILTER_ID_BMP);
        ASSERT_EQ(reader.GetWidth(), w);
        ASSERT_EQ(reader.GetHeight(), h);
        EXPECT_EQ(reader.GetDepth(), c.depth);
        Bytes back((size_t)step * h, 0xCD);
        ASSERT_EQ(reader.ReadImage(back.data(), w, h, step, c.depth, nullptr, nullptr, 0), 0);
        for (int y = 0; y < h; ++y)
            EXPECT_EQ(memcmp(&back[(size_t)y * step], &pixels[(size_t)y * step], (size_t)w * bpp), 0) << "row " << y;
        if (c.depth == 8) {
            LOGPALETTE* read = reader.GetPalette();
            ASSERT_NE(read, nullptr);
            EXPECT_EQ(read->palNumEntries, pal->palNumEntries);
            EXPECT_EQ(memcmp(read->palPalEntry, pal->palPalEntry, pal->palNumEntries * 4), 0);
        }
        reader.Close();
    }
}

// Fills a canvas of depth with a pattern through its locked rows.
void FillCanvas(cCanvas& canvas, unsigned seed)
{
    unsigned char* rows = canvas.Lock();
    int bpp = canvas.GetDepth() == 8 ? 1 : canvas.GetDepth() <= 16 ? 2 : canvas.GetDepth() / 8;
    for (int y = 0; y < canvas.GetHeight(); ++y) {
        Bytes row = Pattern((size_t)canvas.GetWidth() * bpp, seed + y);
        if (canvas.GetDepth() == 15)
            for (size_t i = 1; i < row.size(); i += 2)
                row[i] &= 0x7F;
        if (canvas.GetDepth() == 32)
            for (size_t i = 3; i < row.size(); i += 4)
                row[i] = 0;
        memcpy(rows + y * canvas.GetRowStep(), row.data(), row.size());
    }
    canvas.Unlock();
}

const unsigned long kPng = KX_FILTER_ID('P', 'N', 'G', ' ');

TEST_F(Sets, PngRoundTripsPaletteColourAndAlphaExactly)
{
    ASSERT_GE(images.FindID(kPng), 0) << "png_filter.ift not in " << Folder("plugins");
    struct Case {
        int depth, colours;
        bool alpha;
    } cases[] = {{8, 256, false}, {8, 5, false}, {24, 0, false}, {32, 0, false}, {32, 0, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "depth " << c.depth << " alpha " << c.alpha);
        const int w = 11, h = 6, bpp = c.depth / 8, step = w * bpp + 1;
        Bytes pixels = Pattern((size_t)step * h, c.depth + c.colours);
        if (c.depth == 8)
            for (auto& p : pixels)
                p = (unsigned char)(p % c.colours);
        if (c.depth == 32) // the fourth byte is not a colour: it reads back as 0
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    pixels[(size_t)y * step + 4 * x + 3] = 0;
        Bytes alpha = Pattern((size_t)w * h, 77);
        std::vector<unsigned char> palBlock(IMAGE_PALETTE_BYTES, 0);
        LOGPALETTE* pal = reinterpret_cast<LOGPALETTE*>(palBlock.data());
        pal->palVersion = 0x300;
        pal->palNumEntries = (WORD)c.colours;
        for (int i = 0; i < c.colours; ++i) // distinct colours, so every index reads back as itself
            pal->palPalEntry[i] = PALETTEENTRY{(BYTE)i, (BYTE)(255 - i), (BYTE)(i * 7), 0};
        TempFile file("roundtrip.png");
        cImageFile writer(&images);
        ASSERT_TRUE(writer.SelectFilterByID(kPng));
        ASSERT_EQ(writer.SaveImage(file.path.c_str(), pixels.data(), w, h, c.depth, step, c.depth == 8 ? pal : nullptr,
                                   c.alpha ? alpha.data() : nullptr, c.alpha ? w : 0),
                  0);
        cImageFile reader(&images);
        ASSERT_EQ(reader.OpenFile(file.path.c_str()), 0);
        EXPECT_EQ(reader.GetFilterID(), kPng);
        EXPECT_EQ(reader.GetDepth(), c.depth == 8 ? 8 : c.alpha ? 32 : 24);
        EXPECT_EQ(reader.HasAlpha(), c.alpha ? 1 : 0);
        Bytes back((size_t)step * h, 0xCD), backAlpha((size_t)w * h, 0xCD);
        ASSERT_EQ(reader.ReadImage(back.data(), w, h, step, c.depth, c.depth == 8 ? pal : nullptr,
                                   c.alpha ? backAlpha.data() : nullptr, c.alpha ? w : 0),
                  0);
        for (int y = 0; y < h; ++y)
            EXPECT_EQ(memcmp(&back[(size_t)y * step], &pixels[(size_t)y * step], (size_t)w * bpp), 0) << "row " << y;
        if (c.alpha) {
            EXPECT_EQ(backAlpha, alpha);
        }
        if (c.depth == 8) {
            ASSERT_NE(reader.GetPalette(), nullptr);
            EXPECT_EQ(reader.GetPalette()->palNumEntries, c.colours);
        }
    }
}

// Damaged files: every byte flip and cut of a good BMP and PNG must load cleanly or fail cleanly. KX_DAMAGE_ROUNDS
// makes it a longer randomised run.
TEST_F(Sets, DamagedFilesFailCleanly)
{
    const char* wanted = getenv("KX_DAMAGE_ROUNDS");
    const int rounds = wanted && atoi(wanted) > 0 ? atoi(wanted) : 150;
    for (unsigned long id : {(unsigned long)FILTER_ID_BMP, kPng}) {
        cCanvas* prototype = nullptr;
        GetPrototype(&prototype, 8, 0, 0);
        cCanvas canvas;
        ASSERT_TRUE(canvas.CreateLike(9, 5, prototype));
        FillCanvas(canvas, 9);
        TempFile good("good.img");
        ASSERT_EQ(SaveImageFile(&images, good.path.c_str(), &canvas, id), 1);
        Bytes bytes = good.Read();
        unsigned seed = 12345;
        for (int round = 0; round < rounds; ++round) {
            Bytes damaged = bytes;
            seed = seed * 1103515245u + 12345u;
            if (round % 3 == 0) {
                damaged.resize((seed >> 8) % damaged.size());
            } else {
                for (int k = 0; k < 1 + round % 4; ++k) {
                    seed = seed * 1103515245u + 12345u;
                    damaged[(seed >> 8) % damaged.size()] ^= (unsigned char)(1 + (seed >> 24) % 255);
                }
            }
            TempFile file("damaged.img", damaged);
            cCanvas loaded;
            int result = LoadImageFile(&images, file.path.c_str(), &loaded, nullptr, 0);
            EXPECT_TRUE(result == 0 || result == 1) << "round " << round << " seed " << seed;
        }
    }
}

TEST_F(Sets, CanvasesOfEveryDepthSaveAndLoadTheirColours)
{
    for (int depth : {8, 15, 16, 24, 32}) {
        SCOPED_TRACE(depth);
        cCanvas* prototype = nullptr;
        GetPrototype(&prototype, depth, 0, 0);
        cCanvas canvas;
        ASSERT_TRUE(canvas.CreateLike(21, 9, prototype));
        FillCanvas(canvas, depth);
        TempFile file("canvas.bmp");
        ASSERT_EQ(SaveImageFile(&images, file.path.c_str(), &canvas, 0), 1);
        EXPECT_EQ(file.Read()[28], depth == 8 ? 8 : 24) << "8-bit canvases keep 8 bits, others are written at 24";

        // Into a fresh canvas: the file's depth; into a canvas of the original depth kept: every pixel back.
        cCanvas fresh;
        unsigned long id = 0;
        ASSERT_EQ(LoadImageFile(&images, file.path.c_str(), &fresh, &id, 0), 1);
        EXPECT_EQ(id, (unsigned long)FILTER_ID_BMP);
        EXPECT_EQ(fresh.GetDepth(), depth == 8 ? 8 : 24);
        cCanvas kept;
        ASSERT_TRUE(kept.CreateLike(3, 3, prototype));
        ASSERT_EQ(LoadImageFile(&images, file.path.c_str(), &kept, nullptr, LOAD_KEEP_DEPTH), 1);
        ASSERT_EQ(kept.GetWidth(), 21);
        ASSERT_EQ(kept.GetDepth(), depth);
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 21; ++x) {
                COLORREF a = 0, b = 0, c = 0;
                canvas.GetPixel(x, y, &a);
                kept.GetPixel(x, y, &b);
                fresh.GetPixel(x, y, &c);
                ASSERT_EQ(a, b) << x << "," << y;
                ASSERT_EQ(a, c) << x << "," << y;
            }
    }
}

TEST_F(Sets, AlphaPlaneTravelsIn32BitFiles)
{
    cCanvas* prototype = nullptr;
    GetPrototype(&prototype, 24, 0, 0);
    cCanvas canvas;
    ASSERT_TRUE(canvas.CreateLike(5, 4, prototype));
    FillCanvas(canvas, 3);
    unsigned char* alpha = canvas.CreateAlphaPlane();
    ASSERT_NE(alpha, nullptr);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x)
            alpha[y * canvas.GetAlphaRowStep() + x] = (unsigned char)(y * 60 + x * 7);
    TempFile file("alpha.bmp");
    ASSERT_EQ(SaveImageFile(&images, file.path.c_str(), &canvas, FILTER_ID_BMP), 1);
    EXPECT_EQ(file.Read()[28], 32);
    cCanvas loaded;
    ASSERT_EQ(LoadImageFile(&images, file.path.c_str(), &loaded, nullptr, 0), 1);
    ASSERT_TRUE(loaded.HasAlphaPlane());
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(loaded.GetAlphaPlane()[y * loaded.GetAlphaRowStep() + x], (unsigned char)(y * 60 + x * 7));
}

TEST_F(Sets, ResultCodesForMissingUnknownAndTruncatedFiles)
{
    cImageFile file(&images);
    EXPECT_EQ(file.OpenFile("C:\\no\\such\\file.bmp"), IMGERR_CANT_OPEN);
    EXPECT_EQ(file.input, nullptr);
    EXPECT_EQ(file.OpenFile(nullptr), IMGERR_NO_SOURCE);
    TempFile unknown("unknown.bin", Bytes(64, 'q'));
    EXPECT_EQ(file.OpenFile(unknown.path.c_str()), IMGERR_UNKNOWN_FORMAT);
    EXPECT_EQ(file.input, nullptr);
    EXPECT_EQ(file.filter, nullptr);
    EXPECT_EQ(IsImageFile(&images, unknown.path.c_str()), 0);
    cCanvas canvas;
    EXPECT_EQ(LoadImageFile(&images, unknown.path.c_str(), &canvas, nullptr, 0), 0);

    // A good file cut short: the header reads, the pixels do not.
    TempFile whole("whole.bmp");
    Bytes pixels = Pattern(30 * 30 * 3, 1);
    cImageFile writer(&images);
    ASSERT_TRUE(writer.SelectFilterByID(FILTER_ID_BMP));
    ASSERT_EQ(writer.SaveImage(whole.path.c_str(), pixels.data(), 30, 30, 24, 90, nullptr, nullptr, 0), 0);
    EXPECT_EQ(IsImageFile(&images, whole.path.c_str()), 1);
    int still = 0;
    EXPECT_EQ(IsStillImageFile(&images, whole.path.c_str(), &still), 1);
    EXPECT_EQ(still, 1);
    Bytes cut = whole.Read();
    cut.resize(cut.size() / 2);
    TempFile truncated("truncated.bmp", cut);
    EXPECT_EQ(LoadImageFile(&images, truncated.path.c_str(), &canvas, nullptr, 0), 0);
    TempFile headerOnly("header.bmp", Bytes(cut.begin(), cut.begin() + 20));
    EXPECT_EQ(IsImageFile(&images, headerOnly.path.c_str()), 0);

    cMemInStream stream;
    stream.Open(pixels.data(), 10);
    ASSERT_EQ(file.OpenFile(whole.path.c_str()), 0);
    EXPECT_EQ(file.OpenStream(&stream), IMGERR_ALREADY_OPEN);
    EXPECT_EQ(file.ReadImage(pixels.data(), 31, 30, 93, 24, nullptr, nullptr, 0), IMGERR_BAD_SIZE);
    file.Close();
    EXPECT_EQ(file.ReadImage(pixels.data(), 30, 30, 90, 24, nullptr, nullptr, 0), IMGERR_NOT_OPEN);
}

TEST_F(Sets, AFailedSaveKeepsThePreviousFile)
{
    TempFile target("keep.bmp", Bytes(100, 'k'));
    Bytes pixels = Pattern(4 * 4 * 3, 2);
    cImageFile file(&tests);
    ASSERT_TRUE(file.SelectFilterByID(kAnim)); // writes animations only: its WriteImage fails
    EXPECT_EQ(file.SaveImage(target.path.c_str(), pixels.data(), 4, 4, 24, 12, nullptr, nullptr, 0),
              IMGERR_NOT_SUPPORTED);
    EXPECT_EQ(target.Read(), Bytes(100, 'k'));
    EXPECT_EQ(GetFileAttributesA((target.path + ".kxsave").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(file.SaveImage("C:\\no\\such\\folder\\x.bmp", pixels.data(), 4, 4, 24, 12, nullptr, nullptr, 0),
              IMGERR_CANT_CREATE);
    EXPECT_EQ(file.SaveImage(target.path.c_str(), pixels.data(), 4, 4, 12, 12, nullptr, nullptr, 0),
              IMGERR_BAD_DEPTH);
    cImageFile none(&tests);
    EXPECT_EQ(none.SaveImage(target.path.c_str(), pixels.data(), 4, 4, 24, 12, nullptr, nullptr, 0),
              IMGERR_NO_FILTER);
}

TEST_F(Sets, AnimationsFrameByFrame)
{
    cCanvas* prototype = nullptr;
    GetPrototype(&prototype, 24, 0, 0);
    cCanvas canvas;
    ASSERT_TRUE(canvas.CreateLike(6, 5, prototype));
    TempFile file("frames.anim");
    cImageFile writer(&tests);
    ASSERT_TRUE(writer.SelectFilterByID(kAnim));
    FillCanvas(canvas, 100);
    ASSERT_EQ(BeginAnimationFile(nullptr, file.path.c_str(), &canvas, &writer, 0, 0, 0, 0), 1);
    for (int frame = 1; frame < 4; ++frame) {
        FillCanvas(canvas, 100 + frame);
        ASSERT_EQ(WriteAnimationFrame(nullptr, &canvas, &writer, frame), 1);
    }
    // A frame with another row step: the kept previous frame no longer matches and is not handed on.
    Bytes wide = Pattern(6 * 5 * 3 * 2, 104);
    ASSERT_EQ(writer.WriteFrame(wide.data(), 6, 5, 36, 24, nullptr, 0, 0, 4, 1), 0);
    EXPECT_EQ(writer.WriteFrame(wide.data(), 7, 5, 36, 24, nullptr, 0, 0, 4, 1), IMGERR_BAD_SIZE);
    EXPECT_EQ(writer.WriteFrame(wide.data(), 6, 5, 36, 16, nullptr, 0, 0, 4, 1), IMGERR_BAD_DEPTH);
    EXPECT_GT(writer.GetWrittenSize(), 16);
    // WriteFrameEx hands its first two values on exchanged, and keeps no copy of the frame.
    ASSERT_EQ(writer.WriteFrameEx(wide.data(), nullptr, 6, 5, 36, 24, nullptr, 21, 22, 23, 0, 0), 0);
    EXPECT_EQ(writer.filter->user[0], 22);
    EXPECT_EQ(writer.filter->user[1], 21);
    EXPECT_EQ(writer.filter->user[2], 23);
    EXPECT_EQ(writer.previousFrame, nullptr);
    ASSERT_EQ(writer.WriteFrame(wide.data(), 6, 5, 36, 24, nullptr, 31, 32, 33, 34), 0);
    EXPECT_EQ(writer.filter->user[0], 0);
    EXPECT_EQ(writer.filter->user[1], 31);
    writer.FinishWrite(0);
    writer.Close();
    EXPECT_EQ(writer.GetWrittenSize(), IMGERR_NOT_OPEN);

    cImageFile reader(&tests);
    cCanvas shown;
    ASSERT_EQ(OpenAnimationFile(nullptr, file.path.c_str(), &shown, &reader, 0), 1);
    ASSERT_EQ(reader.GetFrameCount(), 7) << "0xBAD: a frame was handed a previous frame that was not the last one";
    EXPECT_EQ(reader.IsAnimation(), 1);
    cCanvas expected;
    ASSERT_TRUE(expected.CreateLike(6, 5, prototype));
    for (int frame = 1; frame < 4; ++frame) {
        ASSERT_EQ(ReadAnimationFrame(nullptr, &shown, &reader), 1);
        FillCanvas(expected, 100 + frame);
        for (int y = 0; y < 5; ++y)
            EXPECT_EQ(memcmp(shown.Lock() + y * shown.GetRowStep(), expected.Lock() + y * expected.GetRowStep(), 18), 0)
                << "frame " << frame << " row " << y;
    }
    // ReadFrame: back to frame 1 rewinds and reads two frames; past the end reads the last.
    Bytes rows(6 * 5 * 3);
    EXPECT_EQ(reader.ReadFrame(rows.data(), 18, 1), 0);
    EXPECT_EQ(reader.GetCurrentFrame(), 1);
    EXPECT_EQ(reader.ReadFrame(rows.data(), 18, 99), 0);
    EXPECT_EQ(reader.GetCurrentFrame(), 6);
    EXPECT_EQ(memcmp(rows.data(), wide.data(), 18), 0);
    // A canvas re-created at another size is refused rather than overrun.
    cCanvas small;
    ASSERT_TRUE(small.CreateLike(2, 2, prototype));
    EXPECT_EQ(ReadAnimationFrame(nullptr, &small, &reader), 0);
    int still = 1;
    EXPECT_EQ(IsStillImageFile(&tests, file.path.c_str(), &still), 1);
    EXPECT_EQ(still, 0);
    CloseAnimationFile(nullptr, &reader);
}

TEST_F(Sets, CopiesOfAnImageFileOwnTheirFilter)
{
    cImageFile original(&images);
    ASSERT_TRUE(original.SelectFilterByID(FILTER_ID_BMP));
    cImageFile assigned(&tests);
    assigned = original;
    EXPECT_NE(assigned.filter, original.filter);
    EXPECT_EQ(assigned.filterSet, &images);
    EXPECT_EQ(assigned.GetFilterID(), (unsigned long)FILTER_ID_BMP);
}

}  // namespace
