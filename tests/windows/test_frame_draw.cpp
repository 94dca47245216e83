// Update rectangles, the drawing helpers and the dialog key hook of window records, through the import library as
// a host calls them. Records are made by hand (the window functions are not needed for any of this): a zeroed
// record with an update list, a drawing canvas and an application that only holds a palette. Pixels are read
// back from memory canvases, from a DIB section under a device-context canvas, and from the screen.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdint.h>
#include <string.h>

#include <functional>
#include <memory>
#include <vector>

#include "kalvex2/application.h"
#include "kalvex2/canvas.h"
#include "kalvex2/palette.h"

// RECT lives in the global namespace: its comparison and printing must too, for the containers and gtest to find.
static bool operator==(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

static std::ostream& operator<<(std::ostream& out, const RECT& r)
{
    return out << "(" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << ")";
}

namespace {

// The application as far as the helpers see it: its palette.
struct HandMadeApplication {
    alignas(8) unsigned char storage[sizeof(cApplication)];
    cApplication* app = reinterpret_cast<cApplication*>(storage);
    HandMadeApplication()
    {
        memset(storage, 0, sizeof storage);
        app->displayMode = 3;
        struct {
            WORD version, count;
            PALETTEENTRY entries[256];
        } log;
        log.version = 0x300;
        log.count = 256;
        for (int i = 0; i < 256; i++)
            log.entries[i] = PALETTEENTRY{(BYTE)i, (BYTE)(255 - i), (BYTE)((i * 7) & 0xFF), 0};
        app->palette = GetSharedPalette(reinterpret_cast<LOGPALETTE*>(&log));
    }
    ~HandMadeApplication() { ReleasePalette(app->palette); }
};

// A record as CreateFrameWindow leaves a managed window: its own update list, maximum client 320 x 200, the
// helpers' initial pen and colours.
struct Record {
    cFrameWindow rec;
    DirtyRectList list;
    Record(cCanvas* canvas = nullptr, cApplication* app = nullptr)
    {
        memset(&rec, 0, sizeof rec);
        memset(&list, 0xCD, sizeof list);
        list.count = 0;
        rec.updateList = &list;
        rec.drawingCanvas = canvas;
        rec.application = app;
        rec.maxClientWidth = 320;
        rec.maxClientHeight = 200;
        rec.backgroundColour = 0xFFFFFF;
        rec.backgroundMode = OPAQUE;
        rec.drawingMode = R2_COPYPEN;
    }
    ~Record()
    {
        if (rec.pen)
            DeleteObject(rec.pen);
    }
    std::vector<RECT> Rects() const { return std::vector<RECT>(list.rects, list.rects + list.count); }
    // Whether presenting the list would bring the pixel to the screen.
    bool Covers(POINT p) const
    {
        for (const RECT& r : Rects())
            if (p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom)
                return true;
        return false;
    }
};

// A 32-bit top-down DIB section in a memory context, every pixel one colour; a canvas on that context.
struct DibCanvas {
    int w, h;
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ old;
    uint32_t* bits = nullptr;
    cCanvas canvas;
    DibCanvas(int w_, int h_, COLORREF fill) : w(w_), h(h_)
    {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = w;
        info.bmiHeader.biHeight = -h;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        dc = CreateCompatibleDC(nullptr);
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, (void**)&bits, nullptr, 0);
        old = SelectObject(dc, bitmap);
        Fill(fill);
        EXPECT_TRUE(canvas.CreateOnDC(dc));
    }
    ~DibCanvas()
    {
        canvas.Release();
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    void Fill(COLORREF c)
    {
        for (int i = 0; i < w * h; i++)
            bits[i] = (uint32_t)GetRValue(c) << 16 | (uint32_t)GetGValue(c) << 8 | GetBValue(c);
    }
    COLORREF At(int x, int y)
    {
        GdiFlush();
        uint32_t v = bits[y * w + x];
        return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
    }
    // Every position whose colour is not `background`.
    std::vector<POINT> Changed(COLORREF background)
    {
        std::vector<POINT> out;
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++)
                if (At(x, y) != background)
                    out.push_back(POINT{x, y});
        return out;
    }
};

// A memory canvas of the depth, cleared to zero pixels.
struct MemoryCanvas {
    cCanvas canvas;
    MemoryCanvas(int depth, int w, int h)
    {
        cCanvas* proto = nullptr;
        GetPrototype(&proto, depth, 0, 0);
        EXPECT_TRUE(canvas.CreateLike(w, h, proto));
    }
    unsigned long Raw(int x, int y)
    {
        unsigned long v = 0xDEADBEEF;
        EXPECT_TRUE(GetBackend(&canvas)->GetPixelRaw(x, y, &v));
        return v;
    }
};

// --- the update list ---

struct ListCase {
    const char* what;
    bool recordOnly;
    std::vector<RECT> before;
    RECT added;
    std::vector<RECT> after;
};

const ListCase kListCases[] = {
    {"overlap merges", false, {{0, 0, 10, 10}}, {5, 5, 20, 20}, {{0, 0, 20, 20}}},
    {"touching edges stay apart", false, {{0, 0, 10, 10}}, {10, 0, 20, 10}, {{0, 0, 10, 10}, {10, 0, 20, 10}}},
    {"touching corners stay apart", false, {{0, 0, 10, 10}}, {10, 10, 20, 20}, {{0, 0, 10, 10}, {10, 10, 20, 20}}},
    {"inside an existing one", false, {{0, 0, 10, 10}}, {2, 2, 4, 4}, {{0, 0, 10, 10}}},
    {"corners given the other way round", false, {}, {20, 30, 10, 5}, {{10, 5, 20, 30}}},
    {"bridging two takes both in; the last one moves into the hole", false,
     {{0, 0, 10, 10}, {40, 0, 50, 10}, {100, 100, 110, 110}}, {5, 0, 45, 10},
     {{100, 100, 110, 110}, {0, 0, 50, 10}}},
    // The union with the second rectangle reaches the first, which the walk had already passed.
    {"a grown rectangle is compared again from the start", false, {{0, 0, 10, 10}, {20, 0, 30, 30}},
     {5, 12, 25, 20}, {{0, 0, 30, 30}}},
    {"record-only: a contained rectangle changes nothing", true, {{0, 0, 10, 10}}, {2, 2, 4, 4}, {{0, 0, 10, 10}}},
    {"record-only: a containing rectangle replaces", true, {{50, 50, 60, 60}, {0, 0, 10, 10}}, {0, 0, 20, 20},
     {{50, 50, 60, 60}, {0, 0, 20, 20}}},
    {"record-only: overlapping rectangles are both kept", true, {{0, 0, 10, 10}}, {5, 5, 20, 20},
     {{0, 0, 10, 10}, {5, 5, 20, 20}}},
};

TEST(UpdateRects, AddMergesOrRecords)
{
    for (const ListCase& c : kListCases) {
        SCOPED_TRACE(c.what);
        Record r;
        if (c.recordOnly)
            r.rec.flags |= FRAME_RECORD_ONLY;
        for (const RECT& b : c.before)
            r.list.rects[r.list.count++] = b;
        EXPECT_EQ(AddUpdateRect(&r.rec, &c.added), 1);
        EXPECT_EQ(r.Rects(), c.after);
        // The four-value form is the same operation.
        Record q;
        q.rec.flags = r.rec.flags;
        for (const RECT& b : c.before)
            q.list.rects[q.list.count++] = b;
        AddUpdateRectXY(&q.rec, c.added.left, c.added.top, c.added.right, c.added.bottom);
        EXPECT_EQ(q.Rects(), c.after);
    }
}

TEST(UpdateRects, NullRectangleIsTheWholeMaximumClient)
{
    for (bool recordOnly : {false, true}) {
        Record r;
        r.rec.flags = recordOnly ? FRAME_RECORD_ONLY : 0;
        AddUpdateRectXY(&r.rec, 400, 400, 500, 500);
        AddUpdateRectXY(&r.rec, 0, 0, 5, 5);
        EXPECT_EQ(AddUpdateRect(&r.rec, nullptr), 1);
        EXPECT_EQ(r.Rects(), (std::vector<RECT>{{0, 0, 320, 200}}));
    }
}

// 513 disjoint rectangles fill the list; every later one grows the first instead of being appended.
TEST(UpdateRects, FullListGrowsItsFirstRectangle)
{
    for (bool recordOnly : {false, true}) {
        SCOPED_TRACE(recordOnly ? "record-only" : "merge");
        Record r;
        r.rec.flags = recordOnly ? FRAME_RECORD_ONLY : 0;
        for (int i = 0; i < MAX_UPDATE_RECTS; i++)
            AddUpdateRectXY(&r.rec, (i % 32) * 10, (i / 32) * 10, (i % 32) * 10 + 5, (i / 32) * 10 + 5);
        ASSERT_EQ(r.list.count, (unsigned long)MAX_UPDATE_RECTS);
        RECT last = r.list.rects[MAX_UPDATE_RECTS - 1];
        AddUpdateRectXY(&r.rec, 1000, 1000, 1010, 1020);
        EXPECT_EQ(r.list.count, (unsigned long)MAX_UPDATE_RECTS);
        EXPECT_EQ(r.list.rects[0], (RECT{0, 0, 1010, 1020}));
        EXPECT_EQ(r.list.rects[MAX_UPDATE_RECTS - 1], last);
    }
}

// The list is host memory: a count past the block is read as a full list, and nothing is written beyond it.
TEST(UpdateRects, CountPastTheBlockIsAFullList)
{
    struct Guarded {
        DirtyRectList list;
        unsigned char guard[64];
    } g;
    memset(&g, 0, sizeof g);
    memset(g.guard, 0x5A, sizeof g.guard);
    g.list.count = 0xFFFFFFFF;
    Record r;
    r.rec.updateList = &g.list;
    AddUpdateRectXY(&r.rec, 3, 4, 7, 9);
    EXPECT_EQ(g.list.count, (unsigned long)MAX_UPDATE_RECTS);
    EXPECT_EQ(g.list.rects[0], (RECT{0, 0, 7, 9}));
    for (unsigned char b : g.guard)
        ASSERT_EQ(b, 0x5A);
}

TEST(UpdateRects, ClearGetAndPresentationSwitch)
{
    Record r;
    AddUpdateRectXY(&r.rec, 1, 2, 3, 4);
    EXPECT_EQ(GetUpdateRects(&r.rec), &r.list);
    EXPECT_EQ(ClearUpdateRects(&r.rec), &r.list);
    EXPECT_EQ(r.list.count, 0u);

    r.rec.options = FRAME_WAIT_VBLANK;
    SetPresentation(&r.rec, 0);
    EXPECT_EQ(r.rec.options, FRAME_WAIT_VBLANK | FRAME_PRESENTATION_OFF);
    SetPresentation(&r.rec, 5);
    EXPECT_EQ(r.rec.options, FRAME_WAIT_VBLANK);

    // A window that is not managed has no list.
    r.rec.updateList = nullptr;
    EXPECT_EQ(GetUpdateRects(&r.rec), nullptr);
    EXPECT_EQ(ClearUpdateRects(&r.rec), nullptr);
    EXPECT_EQ(AddUpdateRectXY(&r.rec, 1, 2, 3, 4), 0);
    EXPECT_EQ(AddUpdateRect(&r.rec, nullptr), 0);
}

// --- every function on a null record, and the helpers on a record without a drawing canvas ---

TEST(FrameDraw, NullRecordAndNoCanvasDoNothing)
{
    RECT rect = {1, 1, 5, 5};
    short corners[4] = {1, 1, 5, 5};
    POINT points[2] = {{0, 0}, {5, 5}};
    HBRUSH black = (HBRUSH)GetStockObject(BLACK_BRUSH);
    std::vector<std::pair<const char*, std::function<long long(cFrameWindow*)>>> calls = {
        {"FillFrameRect", [&](cFrameWindow* f) { return FillFrameRect(f, 1, 1, 5, 5, black); }},
        {"FillFrameRectColor", [&](cFrameWindow* f) { return FillFrameRectColor(f, 1, 1, 5, 5, 0xFF); }},
        {"DrawFrameRect", [&](cFrameWindow* f) { return DrawFrameRect(f, &rect); }},
        {"DrawFrameRect16", [&](cFrameWindow* f) { return DrawFrameRect16(f, corners); }},
        {"DrawFramePolyline", [&](cFrameWindow* f) { return DrawFramePolyline(f, points, 1); }},
        {"SetFrameClip", [&](cFrameWindow* f) { return SetFrameClip(f, 0, 0, 5, 5); }},
        {"MoveFrameRect", [&](cFrameWindow* f) { return MoveFrameRect(f, 0, 0, 1, 1, 2, 2); }},
        {"GetFrameCanvasDC", [&](cFrameWindow* f) { return (long long)(intptr_t)GetFrameCanvasDC(f); }},
        {"ReleaseFrameCanvasDC", [&](cFrameWindow* f) { return ReleaseFrameCanvasDC(f, nullptr); }},
        {"CopyFrameToScreen", [&](cFrameWindow* f) { return CopyFrameToScreen(f); }},
    };
    Record noCanvas;
    for (auto& call : calls) {
        SCOPED_TRACE(call.first);
        EXPECT_EQ(call.second(nullptr), 0);
        EXPECT_EQ(call.second(&noCanvas.rec), 0);
        EXPECT_EQ(noCanvas.list.count, 0u) << "nothing drawn, nothing to present";
    }
    EXPECT_EQ(SetFrameBackColor(nullptr, 0), 0);
    EXPECT_EQ(SetFramePen(nullptr, 0, PS_SOLID, 1), 0);
    EXPECT_EQ(SetFrameBackMode(nullptr, 1), 0);
    EXPECT_EQ(SetPresentation(nullptr, 1), 0);
    EXPECT_EQ(AddUpdateRect(nullptr, &rect), 0);
    EXPECT_EQ(AddUpdateRectXY(nullptr, 1, 2, 3, 4), 0);
    EXPECT_EQ(ClearUpdateRects(nullptr), nullptr);
    EXPECT_EQ(GetUpdateRects(nullptr), nullptr);
}

// --- colour fills on memory canvases ---

TEST(FrameDraw, FillFrameRectColorFillsBothCornersInclusive)
{
    struct Case {
        int x1, y1, x2, y2;
        RECT added;
    } cases[] = {
        {5, 5, 5, 5, {5, 5, 6, 6}},      // one pixel
        {2, 3, 6, 4, {2, 3, 7, 5}},
        {0, 0, 11, 7, {0, 0, 12, 8}},    // the whole surface
        {9, 5, 14, 9, {9, 5, 15, 10}},   // over the right and bottom edges: filled as far as the surface goes
    };
    for (int depth : {8, 16, 24, 32}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << depth << " bits, " << c.added);
            MemoryCanvas m(depth, 12, 8);
            Record r(&m.canvas);
            COLORREF colour = depth == 8 ? 0x01000007 : RGB(0x48, 0x90, 0xF8);
            unsigned long stored = depth == 8 ? 7 : colour;
            EXPECT_EQ(FillFrameRectColor(&r.rec, c.x1, c.y1, c.x2, c.y2, colour), 1);
            EXPECT_EQ(r.Rects(), (std::vector<RECT>{c.added}));
            for (int y = 0; y < 8; y++)
                for (int x = 0; x < 12; x++) {
                    bool inside = x >= c.x1 && x <= c.x2 && y >= c.y1 && y <= c.y2;
                    ASSERT_EQ(m.Raw(x, y), inside ? stored : 0u) << x << "," << y;
                }
        }
    }
}

// On an 8-bit canvas an RGB colour becomes its nearest palette entry; the canvas's clip rectangle (set through
// the record) bounds the fill but not what is recorded.
TEST(FrameDraw, FillFrameRectColorMatchesThePaletteAndKeepsTheClip)
{
    MemoryCanvas m(8, 12, 8);
    Record r(&m.canvas);
    SharedPalette* palette = m.canvas.GetPalette();
    ASSERT_NE(palette, nullptr);
    PALETTEENTRY e = palette->entries[200];
    COLORREF colour = RGB(e.peRed, e.peGreen, e.peBlue);
    int index = FindNearestIndex(palette, colour);

    EXPECT_EQ(SetFrameClip(&r.rec, 2, 2, 6, 5), 1);
    int x, y, w, h;
    m.canvas.GetClipRect(&x, &y, &w, &h);
    EXPECT_EQ((RECT{x, y, w, h}), (RECT{2, 2, 4, 3}));

    EXPECT_EQ(FillFrameRectColor(&r.rec, 0, 0, 11, 7, colour), 1);
    EXPECT_EQ(r.Rects(), (std::vector<RECT>{{0, 0, 12, 8}}));
    m.canvas.ResetClipRect();  // pixels are read through the clip
    for (int yy = 0; yy < 8; yy++)
        for (int xx = 0; xx < 12; xx++) {
            bool inside = xx >= 2 && xx < 6 && yy >= 2 && yy < 5;
            ASSERT_EQ(m.Raw(xx, yy), inside ? (unsigned long)index : 0u) << xx << "," << yy;
        }

    // Wholly outside the clip: nothing filled, the rectangle still recorded.
    SetFrameClip(&r.rec, 2, 2, 6, 5);
    ClearUpdateRects(&r.rec);
    EXPECT_EQ(FillFrameRectColor(&r.rec, 8, 6, 9, 7, colour), 0);
    EXPECT_EQ(r.Rects(), (std::vector<RECT>{{8, 6, 10, 8}}));
}

TEST(FrameDraw, MoveFrameRectMovesCanvasPixels)
{
    MemoryCanvas m(32, 10, 10);
    Record r(&m.canvas);
    FillFrameRectColor(&r.rec, 1, 1, 2, 2, RGB(0x10, 0x20, 0x30));
    EXPECT_EQ(MoveFrameRect(&r.rec, 1, 1, 6, 5, 2, 2), 1);
    EXPECT_EQ(m.Raw(6, 5), (unsigned long)RGB(0x10, 0x20, 0x30));
    EXPECT_EQ(m.Raw(7, 6), (unsigned long)RGB(0x10, 0x20, 0x30));
    EXPECT_EQ(m.Raw(8, 7), 0u);
    EXPECT_EQ(MoveFrameRect(&r.rec, 0, 0, 9, 9, 2, 2), 0) << "destination past the surface";
}

// --- pen and colours ---

TEST(FrameDraw, PenIsReplacedOnlyWhenANewOneIsMade)
{
    HandMadeApplication a;
    ASSERT_NE(a.app->palette, nullptr);
    Record r(nullptr, a.app);

    EXPECT_EQ(SetFramePen(&r.rec, RGB(200, 55, 10), PS_SOLID, 3), 1);
    HPEN first = r.rec.pen;
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(r.rec.penColour, RGB(200, 55, 10));
    EXPECT_EQ(r.rec.penIndex, FindNearestIndex(a.app->palette, RGB(200, 55, 10)));
    EXPECT_EQ(r.rec.penExtent, 2);
    LOGPEN lp;
    ASSERT_EQ(GetObjectA(first, sizeof lp, &lp), (int)sizeof lp);
    EXPECT_EQ(lp.lopnWidth.x, 3);
    EXPECT_EQ(lp.lopnColor, RGB(200, 55, 10));

    EXPECT_EQ(SetFramePen(&r.rec, 0x01000009, PS_DASH, 0), 1);
    EXPECT_NE(r.rec.pen, first);
    EXPECT_EQ(GetObjectType(first), 0u) << "the old pen is deleted";
    EXPECT_EQ(r.rec.penIndex, 9) << "an index colour is its own index";
    EXPECT_EQ(r.rec.penExtent, 0);

    // No pen can be made once the process's GDI handles are used up: the record keeps the pen it has and
    // everything that describes it.
    HPEN kept = r.rec.pen;
    {
        std::vector<HPEN> hoard;
        for (int i = 0; i < 200000; i++) {
            HPEN p = CreatePen(PS_SOLID, 1, 0);
            if (!p)
                break;
            hoard.push_back(p);
        }
        bool exhausted = CreatePen(PS_SOLID, 1, 0) == nullptr;
        int result = SetFramePen(&r.rec, RGB(1, 2, 3), PS_SOLID, 5);
        for (HPEN p : hoard)
            DeleteObject(p);
        ASSERT_TRUE(exhausted) << "the GDI handles did not run out after " << hoard.size() << " pens";
        EXPECT_EQ(result, 0);
        EXPECT_EQ(r.rec.pen, kept);
        EXPECT_NE(GetObjectType(kept), 0u);
        EXPECT_EQ(r.rec.penColour, 0x01000009u);
        EXPECT_EQ(r.rec.penExtent, 0);
    }
    EXPECT_EQ(SetFramePen(&r.rec, RGB(1, 2, 3), PS_SOLID, 5), 1) << "pens can be made again";

    EXPECT_EQ(SetFrameBackColor(&r.rec, RGB(0, 255, 7)), 1);
    EXPECT_EQ(r.rec.backgroundColour, RGB(0, 255, 7));
    EXPECT_EQ(r.rec.backgroundIndex, FindNearestIndex(a.app->palette, RGB(0, 255, 7)));
    EXPECT_EQ(SetFrameBackMode(&r.rec, TRANSPARENT), 1);
    EXPECT_EQ(r.rec.backgroundMode, TRANSPARENT);
}

// --- GDI helpers on a device-context canvas ---

const COLORREF kWhite = RGB(255, 255, 255);
const COLORREF kRed = RGB(255, 0, 0);

TEST(FrameDraw, CanvasDCIsTheDrawingCanvasesOwn)
{
    DibCanvas dib(8, 8, kWhite);
    Record r(&dib.canvas);
    EXPECT_EQ(GetFrameCanvasDC(&r.rec), dib.dc);
    EXPECT_EQ(ReleaseFrameCanvasDC(&r.rec, dib.dc), 1);

    // A memory canvas has no device context: frames are recorded, nothing is drawn.
    MemoryCanvas m(32, 8, 8);
    Record q(&m.canvas);
    EXPECT_EQ(GetFrameCanvasDC(&q.rec), nullptr);
    RECT rect = {1, 1, 4, 4};
    EXPECT_EQ(DrawFrameRect(&q.rec, &rect), 0);
    EXPECT_EQ(q.Rects(), (std::vector<RECT>{rect}));
    EXPECT_EQ(m.Raw(1, 1), 0u);
}

TEST(FrameDraw, FillFrameRectUsesTheBrush)
{
    DibCanvas dib(16, 12, kWhite);
    Record r(&dib.canvas);
    HBRUSH brush = CreateSolidBrush(kRed);
    EXPECT_EQ(FillFrameRect(&r.rec, 3, 2, 7, 5, brush), 1);
    DeleteObject(brush);
    EXPECT_EQ(r.Rects(), (std::vector<RECT>{{3, 2, 7, 5}}));
    for (int y = 0; y < 12; y++)
        for (int x = 0; x < 16; x++)
            ASSERT_EQ(dib.At(x, y), (x >= 3 && x < 7 && y >= 2 && y < 5) ? kRed : kWhite) << x << "," << y;
}

// The frame of a rectangle: its outermost pixels (right and bottom exclusive) in the pen's colour, the inside
// left alone. What is recorded covers every pixel drawn: a wide pen is centred on the outline.
TEST(FrameDraw, DrawFrameRectDrawsTheBorderAndRecordsIt)
{
    struct Case {
        const char* what;
        int width;
        RECT rect;
        std::vector<RECT> recorded;
    } cases[] = {
        {"thin pen", 1, {3, 2, 9, 7}, {{3, 2, 9, 7}}},
        {"corners the other way round", 1, {9, 7, 3, 2}, {{3, 2, 9, 7}}},
        {"wide pen", 3, {6, 5, 16, 14}, {{4, 3, 18, 16}}},
        {"wide pen drawing inside the frame", 3, {6, 5, 16, 14}, {{4, 3, 18, 16}}},
        {"pen thicker than half the rectangle", 5, {10, 10, 14, 14}, {{6, 6, 18, 18}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DibCanvas dib(24, 24, kWhite);
        Record r(&dib.canvas);
        int style = strstr(c.what, "inside") ? PS_INSIDEFRAME : PS_SOLID;
        ASSERT_EQ(SetFramePen(&r.rec, kRed, style, c.width), 1);
        EXPECT_EQ(DrawFrameRect(&r.rec, &c.rect), 1);
        EXPECT_EQ(r.Rects(), c.recorded);
        std::vector<POINT> changed = dib.Changed(kWhite);
        EXPECT_FALSE(changed.empty());
        for (POINT p : changed)
            EXPECT_TRUE(r.Covers(p)) << p.x << "," << p.y << " drawn but not recorded";
        if (c.width != 1)
            continue;
        RECT n = c.recorded[0];
        for (int y = 0; y < 24; y++)
            for (int x = 0; x < 24; x++) {
                bool inside = x >= n.left && x < n.right && y >= n.top && y < n.bottom;
                bool border = inside && (x == n.left || x == n.right - 1 || y == n.top || y == n.bottom - 1);
                ASSERT_EQ(dib.At(x, y), border ? kRed : kWhite) << x << "," << y;
            }
    }
}

TEST(FrameDraw, DrawFrameRect16TakesInclusiveCorners)
{
    DibCanvas dib(16, 16, kWhite);
    Record r(&dib.canvas);
    SetFramePen(&r.rec, kRed, PS_SOLID, 1);
    short corners[4] = {2, 3, 7, 8};
    EXPECT_EQ(DrawFrameRect16(&r.rec, corners), 1);
    EXPECT_EQ(r.Rects(), (std::vector<RECT>{{2, 3, 8, 9}}));
    EXPECT_EQ(dib.At(7, 8), kRed);
    EXPECT_EQ(dib.At(2, 3), kRed);
    EXPECT_EQ(dib.At(8, 8), kWhite);
    EXPECT_EQ(dib.At(5, 5), kWhite);
    EXPECT_EQ(DrawFrameRect16(&r.rec, nullptr), 0);
}

// Exclusive-or drawing with a thin pen is a focus rectangle: drawn twice, it leaves nothing behind.
TEST(FrameDraw, XorThinFrameIsAFocusRectangle)
{
    DibCanvas dib(16, 16, kWhite);
    Record r(&dib.canvas);
    r.rec.drawingMode = R2_XORPEN;
    RECT rect = {2, 2, 12, 10};
    EXPECT_EQ(DrawFrameRect(&r.rec, &rect), 1);
    std::vector<POINT> changed = dib.Changed(kWhite);
    EXPECT_FALSE(changed.empty());
    for (POINT p : changed)
        EXPECT_TRUE(p.x == 2 || p.x == 11 || p.y == 2 || p.y == 9) << p.x << "," << p.y;
    DrawFrameRect(&r.rec, &rect);
    EXPECT_TRUE(dib.Changed(kWhite).empty());
    EXPECT_EQ(r.Rects(), (std::vector<RECT>{rect}));
}

TEST(FrameDraw, PolylineRecordsTheBoundingBoxOfItsPixels)
{
    struct Case {
        const char* what;
        std::vector<POINT> points;
        int segments;
        int penWidth;
        std::vector<RECT> recorded;
    } cases[] = {
        {"two segments", {{5, 5}, {15, 5}, {15, 12}}, 2, 1, {{5, 5, 16, 13}}},
        {"vertical line: one column wide, not empty", {{20, 2}, {20, 10}}, 1, 1, {{20, 2, 21, 11}}},
        {"points right to left and bottom to top", {{12, 9}, {3, 4}}, 1, 1, {{3, 4, 13, 10}}},
        {"a wide pen reaches out by its extent", {{10, 10}, {20, 10}}, 1, 3, {{8, 8, 23, 13}}},
        {"no segment: the one point", {{7, 8}}, 0, 1, {{7, 8, 8, 9}}},
        {"segment count -1: no point, nothing", {{7, 8}}, -1, 1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DibCanvas dib(32, 16, kWhite);
        Record r(&dib.canvas);
        SetFramePen(&r.rec, kRed, PS_SOLID, c.penWidth);
        int drawn = DrawFramePolyline(&r.rec, c.points.data(), c.segments);
        EXPECT_EQ(r.Rects(), c.recorded);
        std::vector<POINT> changed = dib.Changed(kWhite);
        if (c.segments < 1) {
            EXPECT_TRUE(changed.empty());
            if (c.segments < 0) {
                EXPECT_EQ(drawn, 0);
            }
            continue;
        }
        EXPECT_EQ(drawn, 1);
        EXPECT_FALSE(changed.empty());
        for (POINT p : changed)
            EXPECT_TRUE(r.Covers(p)) << p.x << "," << p.y << " drawn but not recorded";
    }
}

// The line is drawn with the record's pen, mode and background; the canvas's device context gets its own settings
// back for whoever draws on it next.
TEST(FrameDraw, PolylineUsesTheRecordsModesAndRestoresTheContext)
{
    DibCanvas dib(16, 8, kRed);
    Record r(&dib.canvas);
    SetFramePen(&r.rec, kRed, PS_SOLID, 1);
    r.rec.drawingMode = R2_XORPEN;
    r.rec.backgroundMode = TRANSPARENT;
    r.rec.backgroundColour = RGB(1, 2, 3);
    HGDIOBJ pen = GetCurrentObject(dib.dc, OBJ_PEN);
    int rop = GetROP2(dib.dc), mode = GetBkMode(dib.dc);
    COLORREF back = GetBkColor(dib.dc);

    POINT line[2] = {{1, 3}, {10, 3}};
    EXPECT_EQ(DrawFramePolyline(&r.rec, line, 1), 1);
    // Red xor red is black.
    EXPECT_EQ(dib.At(1, 3), RGB(0, 0, 0));
    EXPECT_EQ(dib.At(9, 3), RGB(0, 0, 0));
    EXPECT_EQ(dib.At(5, 4), kRed);

    EXPECT_EQ(GetCurrentObject(dib.dc, OBJ_PEN), pen);
    EXPECT_EQ(GetROP2(dib.dc), rop);
    EXPECT_EQ(GetBkMode(dib.dc), mode);
    EXPECT_EQ(GetBkColor(dib.dc), back);
    EXPECT_NE(GetObjectType(r.rec.pen), 0u);
}

// --- the copy to the screen ---

LRESULT CALLBACK PlainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND MakeWindow(const char* className, WNDPROC proc, DWORD style, int x, int y, int w, int h, HWND owner = nullptr)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = className;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    RegisterClassA(&wc);
    return CreateWindowExA(0, className, "kx test", style, x, y, w, h, owner, nullptr, wc.hInstance, nullptr);
}

void Pump()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

TEST(FrameDraw, CopyFrameToScreenPutsTheCanvasAtTheClientOrigin)
{
    HWND window = MakeWindow("KxDrawTestPlain", PlainProc, WS_POPUP | WS_VISIBLE, 60, 40, 120, 90);
    ASSERT_NE(window, nullptr);
    SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    Pump();

    // The drawing canvas as a window would have it: pixels behind a device context, of a known size.
    DibCanvas dib(24, 16, kWhite);
    for (int y = 0; y < 16; y++)
        for (int x = 0; x < 24; x++)
            dib.bits[y * 24 + x] = (uint32_t)(x * 10) << 16 | (uint32_t)(y * 15) << 8 | 0x80;
    GetBackend(&dib.canvas)->d.width = 24;
    GetBackend(&dib.canvas)->d.height = 16;
    Record r(&dib.canvas);

    EXPECT_EQ(CopyFrameToScreen(&r.rec), 0) << "a record without a window has no place on the screen";
    r.rec.window = window;
    EXPECT_EQ(CopyFrameToScreen(&r.rec), 1);
    GdiFlush();

    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    HDC screen = GetDC(nullptr);
    int readable = 0;
    for (POINT p : {POINT{0, 0}, POINT{23, 0}, POINT{5, 9}, POINT{23, 15}}) {
        COLORREF seen = GetPixel(screen, origin.x + p.x, origin.y + p.y);
        if (seen == CLR_INVALID)
            continue;
        readable++;
        EXPECT_EQ(seen, RGB(p.x * 10, p.y * 15, 0x80)) << p.x << "," << p.y;
    }
    ReleaseDC(nullptr, screen);
    if (!readable)
        GTEST_LOG_(INFO) << "the screen cannot be read back here: only the result was checked";
    DestroyWindow(window);
}

// --- the dialog key hook ---

struct DialogRun {
    HWND owner = nullptr;
    HWND edit = nullptr;
    int ownerKeys = 0;
    WPARAM ownerKey = 0;
    LPARAM ownerKeyData = 0;
    int ticks = 0;
    char text[32] = {};
};
DialogRun* g_run = nullptr;

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DIALOG_KEY && g_run) {
        g_run->ownerKeys++;
        g_run->ownerKey = wParam;
        g_run->ownerKeyData = lParam;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

const WORD kEditId = 100;

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        g_run->edit = GetDlgItem(dialog, kEditId);
        SetFocus(g_run->edit);
        SetTimer(dialog, 1, 20, nullptr);
        return FALSE;
    case WM_TIMER:
        // First tick: a key for the edit control, as the keyboard would deliver it. Later ticks: give the loop
        // time to handle it, then end the dialog.
        if (++g_run->ticks == 1) {
            PostMessageA(g_run->edit, WM_KEYDOWN, 'Q', 0x00100001);
        } else if (g_run->ticks >= 3) {
            GetWindowTextA(g_run->edit, g_run->text, sizeof g_run->text);
            KillTimer(dialog, 1);
            EndDialog(dialog, 7);
        }
        return TRUE;
    }
    return FALSE;
}

// A dialog template in memory: one edit control.
std::vector<WORD> EditDialogTemplate()
{
    std::vector<WORD> t(64, 0);
    DLGTEMPLATE* d = reinterpret_cast<DLGTEMPLATE*>(t.data());
    d->style = WS_POPUP | WS_CAPTION | DS_MODALFRAME;
    d->cdit = 1;
    d->cx = 120;
    d->cy = 40;
    // After the header: no menu, default class, empty title (three zero words), then the item on a DWORD boundary.
    size_t at = (sizeof(DLGTEMPLATE) + 3 * sizeof(WORD) + 3) / 4 * 2;
    DLGITEMTEMPLATE* item = reinterpret_cast<DLGITEMTEMPLATE*>(t.data() + at);
    item->style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL;
    item->x = 5;
    item->y = 5;
    item->cx = 100;
    item->cy = 12;
    item->id = kEditId;
    WORD* p = reinterpret_cast<WORD*>(item + 1);
    *p++ = 0xFFFF;
    *p++ = 0x0081;  // the edit class
    *p++ = 0;       // no text
    *p++ = 0;       // no creation data
    return t;
}

INT_PTR RunDialog(DialogRun& run)
{
    g_run = &run;
    std::vector<WORD> t = EditDialogTemplate();
    INT_PTR result = DialogBoxIndirectParamA(GetModuleHandleA(nullptr), reinterpret_cast<DLGTEMPLATE*>(t.data()),
                                             run.owner, DialogProc, 0);
    Pump();
    g_run = nullptr;
    return result;
}

TEST(DialogKeyHook, InstallAndRemoveAreCounted)
{
    EXPECT_EQ(RemoveDialogKeyHook(), 0);
    HHOOK hook = InstallDialogKeyHook();
    ASSERT_NE(hook, nullptr);
    EXPECT_EQ(InstallDialogKeyHook(), hook);
    EXPECT_EQ(RemoveDialogKeyHook(), 1);
    EXPECT_EQ(RemoveDialogKeyHook(), 1);
    EXPECT_EQ(RemoveDialogKeyHook(), 0);
}

// A key pressed in a modal dialog's control reaches the dialog's owner as WM_DIALOG_KEY and not the control; once
// the hook is removed the control gets its keys again.
TEST(DialogKeyHook, KeysInAModalDialogGoToItsOwner)
{
    HWND owner = MakeWindow("KxDrawTestOwner", OwnerProc, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 30, 30, 300, 200);
    ASSERT_NE(owner, nullptr);

    ASSERT_NE(InstallDialogKeyHook(), nullptr);
    DialogRun hooked;
    hooked.owner = owner;
    EXPECT_EQ(RunDialog(hooked), 7);
    EXPECT_EQ(RemoveDialogKeyHook(), 1);
    EXPECT_EQ(hooked.ownerKeys, 1);
    EXPECT_EQ(hooked.ownerKey, (WPARAM)'Q');
    EXPECT_EQ(hooked.ownerKeyData, (LPARAM)0x00100001);
    EXPECT_STREQ(hooked.text, "") << "the control never saw the key";

    DialogRun plain;
    plain.owner = owner;
    EXPECT_EQ(RunDialog(plain), 7);
    EXPECT_EQ(plain.ownerKeys, 0);
    EXPECT_STREQ(plain.text, "q") << "without the hook the control types the key";
    DestroyWindow(owner);
}

// The hook procedure on its own: only key-down messages of dialog boxes are taken.
TEST(DialogKeyHook, ProcedureTakesOnlyDialogKeyDowns)
{
    DialogRun run;
    g_run = &run;
    HWND owner = MakeWindow("KxDrawTestOwner", OwnerProc, WS_OVERLAPPEDWINDOW, 0, 0, 100, 100);
    HWND dialog = MakeWindow("KxDrawTestPlain", PlainProc, WS_POPUP, 0, 0, 50, 50, owner);
    HWND control = CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 10, 10, dialog, nullptr, nullptr, nullptr);
    HWND lonely = MakeWindow("KxDrawTestPlain", PlainProc, WS_POPUP, 0, 0, 50, 50);
    ASSERT_TRUE(owner && dialog && control && lonely);

    struct Case {
        const char* what;
        int code;
        HWND window;
        UINT message;
        LRESULT result;
        int posted;
    } cases[] = {
        {"key down in a control", MSGF_DIALOGBOX, control, WM_KEYDOWN, 1, 1},
        {"key down on the dialog itself", MSGF_DIALOGBOX, dialog, WM_KEYDOWN, 1, 1},
        {"key up", MSGF_DIALOGBOX, control, WM_KEYUP, 0, 0},
        {"character", MSGF_DIALOGBOX, control, WM_CHAR, 0, 0},
        {"menu filter", MSGF_MENU, control, WM_KEYDOWN, 0, 0},
        {"dialog without an owner keeps its key", MSGF_DIALOGBOX, lonely, WM_KEYDOWN, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        run.ownerKeys = 0;
        MSG msg = {c.window, c.message, 'K', 0x1234, 0, {0, 0}};
        EXPECT_EQ(DialogKeyHookProc(c.code, 0, (LPARAM)&msg), c.result);
        Pump();
        EXPECT_EQ(run.ownerKeys, c.posted);
        if (c.posted) {
            EXPECT_EQ(run.ownerKey, (WPARAM)'K');
        }
    }
    DestroyWindow(lonely);
    DestroyWindow(dialog);
    DestroyWindow(owner);
    g_run = nullptr;
}

}  // namespace
