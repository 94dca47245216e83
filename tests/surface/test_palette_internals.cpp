// Palette internals linked directly: the registry's bookkeeping as threads attach and detach, the inverse cache,
// and the backend base class's palette slots on a small 8-bit test surface with its own pixel memory.
#include <gtest/gtest.h>

#include <string.h>
#include <vector>

#include "core/alloc.h"
#include "frame/frame.h"
#include "surface/backend.h"
#include "surface/palette.h"

using namespace kx;

namespace {

// The test program is not the library: no DllMain attaches its threads, so each test attaches the ones it uses.
struct Attached {
    Attached() { AttachThreadPalettes(); }
    ~Attached() { DetachThreadPalettes(); }
};

struct Logical {
    WORD version = 0x300;
    WORD count = 256;
    PALETTEENTRY entries[256];

    Logical() { memcpy(entries, g_defaultPalette256.entries, sizeof entries); }
    LOGPALETTE* get() { return reinterpret_cast<LOGPALETTE*>(this); }
    void Set(int i, BYTE r, BYTE g, BYTE b) { entries[i] = PALETTEENTRY{r, g, b, 0}; }
};

// --- registry ---

TEST(Registry, ThreadWithoutRecordMakesNoPalettes)
{
    Logical l;
    EXPECT_EQ(GetSharedPalette(l.get()), nullptr);
    EXPECT_EQ(GetThreadDefaultPalette(), nullptr);
    EXPECT_EQ(DefaultSharedPalette(), nullptr);
    DetachThreadPalettes();  // nothing to detach
    EXPECT_EQ(CountRegistry().records, 0);
}

TEST(Registry, NestedAttachNeedsAsManyDetaches)
{
    AttachThreadPalettes();
    AttachThreadPalettes();
    EXPECT_EQ(CountRegistry().records, 1);
    EXPECT_EQ(CountRegistry().palettes, 1) << "both attaches share the one default palette";
    SharedPalette* def = GetThreadDefaultPalette();
    ASSERT_NE(def, nullptr);
    EXPECT_EQ(def->references, 3);
    ReleasePalette(def);
    DetachThreadPalettes();
    EXPECT_EQ(CountRegistry().records, 1);
    EXPECT_EQ(def->references, 1) << "the inner detach gives back its attach's reference";
    DetachThreadPalettes();
    EXPECT_EQ(CountRegistry().records, 0);
    EXPECT_EQ(CountRegistry().orphans, 0);
}

struct Held {
    SharedPalette* kept = nullptr;
    SharedPalette* dropped = nullptr;
    HANDLE done = nullptr;
    HANDLE leave = nullptr;
};

DWORD WINAPI AttachMakeDetach(LPVOID arg)
{
    auto h = static_cast<Held*>(arg);
    AttachThreadPalettes();
    Logical a, b;
    a.Set(50, 1, 2, 3);
    b.Set(50, 4, 5, 6);
    h->kept = GetSharedPalette(a.get());
    h->dropped = GetSharedPalette(b.get());
    SetEvent(h->done);
    WaitForSingleObject(h->leave, 10000);
    DetachThreadPalettes();
    return 0;
}

TEST(Registry, PalettesStillHeldOutliveTheirThreadAndGoWithTheirLastReference)
{
    Attached main;
    Held h;
    h.done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    h.leave = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE t = CreateThread(nullptr, 0, AttachMakeDetach, &h, 0, nullptr);
    ASSERT_NE(t, nullptr);
    WaitForSingleObject(h.done, 10000);
    EXPECT_EQ(CountRegistry().records, 2);
    // Releasing another live thread's palette to zero leaves it to that thread's record.
    EXPECT_EQ(ReleasePalette(h.dropped), nullptr);
    EXPECT_EQ(CountRegistry().orphans, 0);
    SetEvent(h.leave);
    WaitForSingleObject(t, 10000);
    CloseHandle(t);
    CloseHandle(h.done);
    CloseHandle(h.leave);
    EXPECT_EQ(CountRegistry().records, 1);
    EXPECT_EQ(CountRegistry().orphans, 1) << "only the palette someone still holds";
    EXPECT_EQ(h.kept->entries[50].peRed, 1);
    EXPECT_EQ(h.kept->references, 1);
    EXPECT_EQ(ReleasePalette(h.kept), nullptr);
    EXPECT_EQ(CountRegistry().orphans, 0);
}

TEST(Registry, OverReleasedDefaultIsNotDroppedTwice)
{
    AttachThreadPalettes();
    SharedPalette* def = GetThreadDefaultPalette();
    ASSERT_NE(def, nullptr);
    ReleasePalette(def);
    EXPECT_EQ(ReleasePalette(def), nullptr) << "a host took the record's own reference";
    EXPECT_EQ(CountRegistry().palettes, 0);
    DetachThreadPalettes();  // must not touch the freed palette
    EXPECT_EQ(CountRegistry().records, 0);
}

TEST(Registry, ProcessDetachFreesEveryRecordAndOrphan)
{
    AttachThreadPalettes();
    AttachThreadPalettes();
    Held h;
    h.done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    h.leave = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    HANDLE t = CreateThread(nullptr, 0, AttachMakeDetach, &h, 0, nullptr);
    WaitForSingleObject(t, 10000);
    CloseHandle(t);
    CloseHandle(h.done);
    CloseHandle(h.leave);
    EXPECT_EQ(CountRegistry().orphans, 2);
    FreeAllThreadPalettes();
    RegistryCounts c = CountRegistry();
    EXPECT_EQ(c.records, 0);
    EXPECT_EQ(c.orphans, 0);
    EXPECT_EQ(c.palettes, -1);
}

// --- inverse cache ---

TEST(InverseCache, KeyPutsRedHighest)
{
    EXPECT_EQ(ColourKey(255, 0, 0), 31u << 10);
    EXPECT_EQ(ColourKey(0, 255, 0), 31u << 5);
    EXPECT_EQ(ColourKey(0, 0, 255), 31u);
    EXPECT_EQ(ColourKey(7, 7, 7), 0u);
}

TEST(InverseCache, BuiltTableHoldsTheLastEntryOfEachKeyAndNeverIndexZero)
{
    Attached main;
    Logical l;
    l.Set(10, 200, 0, 0);
    l.Set(20, 201, 1, 2);  // same key as entry 10
    SharedPalette* p = GetSharedPalette(l.get());
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(FindNearestIndex(p, RGB(200, 0, 0)), 10) << "no table yet: the exact entry";
    ASSERT_EQ(BuildInverseTable(p), 1);
    unsigned char* table = p->inverseTable;
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(BuildInverseTable(p), 1);
    EXPECT_EQ(p->inverseTable, table) << "built once";
    EXPECT_EQ(table[ColourKey(200, 0, 0)], 20);
    EXPECT_EQ(FindNearestIndex(p, RGB(200, 0, 0)), 20) << "the cache answers for the whole key";
    EXPECT_EQ(table[0], 0);
    EXPECT_EQ(FindNearestIndex(p, RGB(0, 0, 0)), 0);
    EXPECT_EQ(LookupNearestIndex(p, RGB(0, 0, 0)), 0);
    EXPECT_EQ(table[0], 0) << "index 0 is never cached";
    ReleasePalette(p);
}

TEST(InverseCache, EmptyCellsAreFilledByTheSearch)
{
    Attached main;
    Logical l;
    SharedPalette* p = GetSharedPalette(l.get());
    ASSERT_NE(p, nullptr);
    void* block = nullptr;
    ASSERT_TRUE(CallocRetry(INVERSE_TABLE_SIZE, &block));
    p->inverseTable = static_cast<unsigned char*>(block);
    srand(3);
    for (int n = 0; n < 2000; n++) {
        COLORREF c = RGB(rand() & 0xFF, rand() & 0xFF, rand() & 0xFF);
        unsigned key = ColourKey(GetRValue(c), GetGValue(c), GetBValue(c));
        bool empty = p->inverseTable[key] == 0;
        int index = FindNearestIndex(p, c);
        if (empty) {
            ASSERT_EQ(index, NearestEntry(p->entries, 256, c)) << std::hex << c;
        }
        ASSERT_EQ(p->inverseTable[key], index);
        ASSERT_EQ(LookupNearestIndex(p, c), index);
    }
    ReleasePalette(p);  // frees the table with the palette
}

// --- backend palette slots ---

// An 8-bit surface over its own memory, rows bottom-up and padded, with guard bytes in the padding.
class IndexedSurface : public cSurfaceBackend {
public:
    IndexedSurface(int w, int h, int depth = 8) : pixels_((size_t)(w + 3) * h, 0xEE)
    {
        SetDepth(depth);
        d.width = w;
        d.height = h;
        d.pitch = (w + 3) * d.bytesPerPixel;
        d.rowStep = -d.pitch;
        d.bottomUp = 1;
        pixels_.resize((size_t)d.pitch * h, 0xEE);
        d.pixelBlock = pixels_.data();
        d.rowZero = pixels_.data() + (size_t)(h - 1) * d.pitch;
        ResetClipRect();
    }
    void Destroy(unsigned flags) override { DestroyBackend(this, flags); }
    cSurfaceBackend* MakeInstance(int, int) override { return nullptr; }
    int Lock() override
    {
        locks++;
        return cSurfaceBackend::Lock();
    }
    void Unlock() override { unlocks++; }
    unsigned char& At(int x, int y) { return d.rowZero[y * d.rowStep + x]; }
    bool PaddingIntact()
    {
        for (int y = 0; y < d.height; y++)
            for (int x = d.width; x < d.pitch; x++)
                if (At(x, y) != 0xEE)
                    return false;
        return true;
    }
    int locks = 0, unlocks = 0;

private:
    std::vector<unsigned char> pixels_;
};

struct PaletteSlots : ::testing::Test {
    Attached main;
};

TEST_F(PaletteSlots, InitFormatGivesTheDefaultPalette)
{
    IndexedSurface s(4, 3);
    ASSERT_EQ(s.InitFormat(8), 1);
    SharedPalette* def = GetThreadDefaultPalette();
    EXPECT_EQ(s.GetPalette(), def);
    EXPECT_EQ(s.GetBlackIndex(), def->blackIndex);
    ReleasePalette(def);
}

TEST_F(PaletteSlots, SetPaletteRemapsPixelsSoThePictureKeepsItsColours)
{
    IndexedSurface s(5, 3);
    Logical a, b;
    a.Set(120, 7, 7, 70);  // not the thread's default palette, so the surface's references are the only others
    SharedPalette* pa = GetSharedPalette(a.get());
    // b holds a's colours 100..104 at 200..204, and something else at 100..104.
    for (int i = 0; i < 5; i++) {
        b.entries[200 + i] = a.entries[100 + i];
        b.Set(100 + i, 1, (BYTE)(100 + i * 30), 1);
    }
    SharedPalette* pb = GetSharedPalette(b.get());
    ASSERT_TRUE(pa && pb);

    EXPECT_EQ(s.SetPalette(pb, 1), 0) << "remap needs a current palette";
    EXPECT_EQ(s.GetPalette(), nullptr);
    EXPECT_EQ(s.SetPalette(pa, 0), 1);
    EXPECT_EQ(pa->references, 2);
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 5; x++)
            s.At(x, y) = (unsigned char)(y == 1 ? 0 : 100 + x);
    EXPECT_EQ(s.SetPalette(pa, 1), 1) << "the same palette: nothing to do";
    EXPECT_EQ(s.SetPalette(pb, 1), 1);
    EXPECT_EQ(s.GetPalette(), pb);
    EXPECT_EQ(pa->references, 1);
    EXPECT_EQ(pb->references, 2);
    for (int x = 0; x < 5; x++) {
        EXPECT_EQ(s.At(x, 0), 200 + x);
        EXPECT_EQ(s.At(x, 2), 200 + x);
        EXPECT_EQ(s.At(x, 1), 0) << "index 0 stays the transparent index";
    }
    EXPECT_TRUE(s.PaddingIntact());
    EXPECT_EQ(s.locks, s.unlocks);
    EXPECT_EQ(s.SetPalette(nullptr, 0), 0) << "an 8-bit surface keeps a palette";
    ReleasePalette(pa);
    ReleasePalette(pb);
}

TEST_F(PaletteSlots, DeeperSurfacesRefuseEverything)
{
    IndexedSurface s(2, 2, 32);
    Logical l;
    SharedPalette* p = GetSharedPalette(l.get());
    EXPECT_EQ(s.SetPalette(p, 0), 0);
    EXPECT_EQ(s.SetPaletteEntries(l.get(), 0), 0);
    EXPECT_EQ(s.GetBlackIndex(), 0);
    EXPECT_EQ(s.NearestIndex(RGB(1, 2, 3)), 0);
    IndexedSurface eight(2, 2);
    eight.SetPalette(p, 0);
    EXPECT_EQ(eight.SetPaletteFrom(&s, 0), 0) << "the other surface is not 8-bit";
    EXPECT_EQ(eight.SetPaletteFrom(nullptr, 0), 0);
    ReleasePalette(p);
}

TEST_F(PaletteSlots, QueriesAreBounded)
{
    IndexedSurface s(2, 2);
    EXPECT_EQ(s.GetBlackIndex(), 4) << "no palette yet";
    EXPECT_EQ(s.IndexToColour(1), 0u);
    Logical l;
    l.Set(7, 10, 20, 30);
    ASSERT_EQ(s.SetPaletteEntries(l.get(), 0), 1);
    SharedPalette* p = s.GetPalette();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->references, 1) << "the surface holds the only reference";

    struct {
        int first, count, result, copied;
    } cases[] = {
        {250, 10, 10, 6}, {0, 3, 3, 3}, {255, 1, 1, 1}, {256, 1, 0, 0}, {-1, 4, 0, 0}, {0, 0, 0, 0}, {0, -5, 0, 0},
    };
    for (auto c : cases) {
        PALETTEENTRY out[12];
        memset(out, 0xAB, sizeof out);
        EXPECT_EQ(s.GetPaletteEntries(out, c.first, c.count), c.result) << c.first << "," << c.count;
        for (int i = 0; i < 12; i++)
            EXPECT_EQ(out[i].peRed == 0xAB, i >= c.copied) << c.first << "," << c.count << " entry " << i;
    }
    EXPECT_EQ(s.GetPaletteEntries(nullptr, 0, 0), 256);

    std::vector<unsigned char> buf(sizeof(LOGPALETTE) + 255 * sizeof(PALETTEENTRY));
    auto lp = reinterpret_cast<LOGPALETTE*>(buf.data());
    EXPECT_EQ(s.GetLogPalette(lp), 256);
    EXPECT_EQ(lp->palNumEntries, 256);
    EXPECT_EQ(lp->palPalEntry[7].peGreen, 20);

    struct {
        COLORREF colour;
        int index;
    } nearest[] = {{RGB(10, 20, 30), 7}, {0x01000007, 7}, {0x010000FF, 255}, {0x01FFFF05, 5}, {0, 0}};
    for (auto n : nearest)
        EXPECT_EQ(s.NearestIndex(n.colour), n.index) << std::hex << n.colour;
    EXPECT_EQ(s.IndexToColour(7), RGB(10, 20, 30));
    EXPECT_EQ(s.IndexToColour(256), 0u);
    EXPECT_EQ(s.IndexToColour(-1), 0u);
}

TEST_F(PaletteSlots, IndexMapsCoverTheWholeSurfaceAndNothingMore)
{
    IndexedSurface s(7, 4);
    Logical l;
    s.SetPaletteEntries(l.get(), 0);
    s.SetClipRect(1, 1, 2, 2);  // the clip rectangle does not limit a map
    unsigned char map[256];
    for (int i = 0; i < 256; i++)
        map[i] = (unsigned char)(255 - i);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 7; x++)
            s.At(x, y) = (unsigned char)(x + 10 * y);
    s.ApplyIndexMap(map);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 7; x++)
            EXPECT_EQ(s.At(x, y), 255 - (x + 10 * y));
    EXPECT_TRUE(s.PaddingIntact());
    s.ApplyIndexMap(nullptr);
    EXPECT_EQ(s.At(0, 0), 255);

    // Pixels that are indices of another palette move to this palette's entries of the same colours.
    Logical other;
    for (int i = 10; i < 246; i++)
        other.entries[i] = l.entries[255 - i];
    SharedPalette* po = GetSharedPalette(other.get());
    s.At(0, 0) = 100;  // other's 100 is l's 155, a colour no other entry has
    s.At(1, 0) = 0;
    s.RemapFromPalette(po);
    EXPECT_EQ(s.At(0, 0), 155);
    EXPECT_EQ(s.At(1, 0), 0);
    unsigned char before = s.At(2, 2);
    s.RemapFromPalette(s.GetPalette());  // its own palette: nothing moves
    EXPECT_EQ(s.At(2, 2), before);
    ReleasePalette(po);
}

// --- canvas members over a test surface ---

TEST_F(PaletteSlots, CanvasReportsUnsupportedAndForwards)
{
    cCanvas deep, eight, other;
    AttachBackend(&deep, New<IndexedSurface>(2, 2, 32));
    auto* s = New<IndexedSurface>(3, 1);
    AttachBackend(&eight, s);
    AttachBackend(&other, New<IndexedSurface>(3, 1));
    Logical l;
    SharedPalette* p = GetSharedPalette(l.get());

    EXPECT_EQ(deep.SetPalette(p, 0), 0);
    EXPECT_EQ(deep.GetError(), (unsigned long)ERR_UNSUPPORTED);
    EXPECT_EQ(eight.SetPalette(p, 0), 1);
    EXPECT_EQ(eight.GetError(), 0u);
    EXPECT_EQ(eight.GetPalette(), p);

    // From a GDI palette: the handle's entries, a fresh shared palette.
    Logical fromHandle;
    fromHandle.Set(77, 3, 4, 5);
    HPALETTE h = CreatePalette(fromHandle.get());
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(other.SetPaletteFromHandle(h, 0), 1);
    EXPECT_EQ(other.IndexToColour(77), RGB(3, 4, 5));
    DeleteObject(h);
    EXPECT_EQ(other.SetPaletteFromHandle(nullptr, 0), 0);
    EXPECT_EQ(other.GetError(), (unsigned long)ERR_UNSUPPORTED);
    EXPECT_EQ(deep.SetPaletteFromHandle(nullptr, 0), 0);

    // Pixels of eight that are indices of other's palette.
    s->At(0, 0) = 77;
    s->At(1, 0) = 5;
    eight.RemapToPaletteOf(&other);
    EXPECT_EQ(eight.IndexToColour(s->At(0, 0)), eight.IndexToColour(FindNearestIndex(p, RGB(3, 4, 5))));
    EXPECT_EQ(s->At(1, 0), 5);

    EXPECT_EQ(eight.SetPaletteFrom(&other, 0), 1);
    EXPECT_EQ(eight.GetPalette(), other.GetPalette());
    EXPECT_EQ(eight.NearestIndex(RGB(3, 4, 5)), 77);
    EXPECT_EQ(eight.GetBlackIndex(), other.GetPalette()->blackIndex);
    ReleasePalette(p);
}

}  // namespace
