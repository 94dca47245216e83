// The per-thread palette registry: one record per attached thread, holding the shared palettes that thread made.
// Palettes are shared only within a thread, so lookups never cross records. The frame calls the attach and detach
// hooks at load, at thread attach and detach and around InitLibrary/TermLibrary.
//
// Records come and go from DllMain (serialised by the loader) but also from InitLibrary/TermLibrary on any host
// thread, so the array of records is guarded by a small lock of its own. It is not the library lock: DllMain
// holds the loader lock when it gets here, and a host thread inside InitLibrary may hold the library lock while
// it loads a system library, which waits for the loader lock.
#include "surface/palette.h"

#include <string.h>

#include "core/alloc.h"
#include "frame/frame.h"

namespace kx {
namespace {

struct ThreadRecord {
    DWORD processId;
    DWORD threadId;
    cPtrArray palettes;  // every palette this thread made; the first is its default palette
    int attachCount;
    cPtrArray held;      // the references the record itself holds: one default palette per attach
};

// Spins briefly: the lock is only held for a walk over the records, never around a call out of the library.
class RegistryLock {
public:
    RegistryLock()
    {
        while (InterlockedCompareExchange(&word_, 1, 0) != 0)
            SwitchToThread();
    }
    ~RegistryLock() { InterlockedExchange(&word_, 0); }

private:
    static LONG volatile word_;
};
LONG volatile RegistryLock::word_ = 0;

cPtrArray* g_records = nullptr;  // of ThreadRecord*; freed with its last record
// Palettes whose thread detached while something (a surface, a host) still held a reference. Freeing them with
// their record would leave those holders with freed memory; they go when their last reference does, or at process
// detach.
cPtrArray* g_orphans = nullptr;

ThreadRecord* FindRecordLocked()
{
    if (!g_records)
        return nullptr;
    DWORD pid = GetCurrentProcessId(), tid = GetCurrentThreadId();
    for (int i = 0; i < g_records->count; i++) {
        ThreadRecord* r = static_cast<ThreadRecord*>(g_records->items[i]);
        if (r->processId == pid && r->threadId == tid)
            return r;
    }
    return nullptr;
}

ThreadRecord* FindRecord()
{
    RegistryLock lock;
    return FindRecordLocked();
}

int IndexIn(const cPtrArray& array, const void* p)
{
    for (int i = 0; i < array.count; i++)
        if (array.items[i] == p)
            return i;
    return -1;
}

void FreePaletteMemory(SharedPalette* p)
{
    void* table = p->inverseTable;
    FreeAndNull(&table);
    if (p->paletteHandle)
        DeleteObject(p->paletteHandle);
    void* block = p;
    FreeAndNull(&block);
}

void AddOrphan(SharedPalette* p)
{
    RegistryLock lock;
    if (!g_orphans)
        g_orphans = New<cPtrArray>();
    // Without memory to remember it the palette is kept alive unlisted: a leak is better than freed memory
    // under a live surface.
    if (g_orphans)
        g_orphans->Add(p);
}

// Drops the record's own references, then frees what nobody else holds; all = true frees everything (process
// detach, when no holder can outlive the library).
void FreeRecord(ThreadRecord* r, bool all)
{
    for (int i = 0; i < r->held.count; i++)
        static_cast<SharedPalette*>(r->held.items[i])->references--;
    for (int i = 0; i < r->palettes.count; i++) {
        SharedPalette* p = static_cast<SharedPalette*>(r->palettes.items[i]);
        if (all || p->references <= 0)
            FreePaletteMemory(p);
        else
            AddOrphan(p);
    }
    Delete(r);
}

// Copies at most 256 entries of a host's logical palette (its count says how many its memory holds) and applies
// the library's rules: entry 0 keeps black, every other black entry becomes RGB(8, 0, 0), flags are cleared.
void Normalise(const LOGPALETTE* from, SharedPalette* to)
{
    memset(to, 0, sizeof *to);
    int n = from->palNumEntries < 256 ? from->palNumEntries : 256;
    to->version = from->palVersion;
    to->count = (unsigned short)n;
    memcpy(to->entries, from->palPalEntry, (size_t)n * sizeof(PALETTEENTRY));
    for (int i = 0; i < 256; i++) {
        PALETTEENTRY& e = to->entries[i];
        e.peFlags = 0;
        if (i > 0 && e.peRed == 0 && e.peGreen == 0 && e.peBlue == 0)
            e.peRed = 8;
    }
}

SharedPalette* FindSame(const ThreadRecord* r, const SharedPalette* candidate)
{
    for (int i = 0; i < r->palettes.count; i++) {
        SharedPalette* p = static_cast<SharedPalette*>(r->palettes.items[i]);
        if (SamePalettes(p, candidate))
            return p;
    }
    return nullptr;
}

}  // namespace

SharedPalette* DefaultSharedPalette()
{
    return GetSharedPalette(reinterpret_cast<const LOGPALETTE*>(&g_defaultPalette256));
}

void ReleaseSharedPalette(SharedPalette* palette) { ReleasePalette(palette); }

void FreeAllThreadPalettes()
{
    cPtrArray* records;
    cPtrArray* orphans;
    {
        RegistryLock lock;
        records = g_records;
        orphans = g_orphans;
        g_records = g_orphans = nullptr;
    }
    if (records) {
        for (int i = 0; i < records->count; i++)
            FreeRecord(static_cast<ThreadRecord*>(records->items[i]), true);
        Delete(records);
    }
    if (orphans) {
        for (int i = 0; i < orphans->count; i++)
            FreePaletteMemory(static_cast<SharedPalette*>(orphans->items[i]));
        Delete(orphans);
    }
}

RegistryCounts CountRegistry()
{
    RegistryLock lock;
    RegistryCounts c;
    c.records = g_records ? g_records->count : 0;
    ThreadRecord* r = FindRecordLocked();
    c.palettes = r ? r->palettes.count : -1;
    c.orphans = g_orphans ? g_orphans->count : 0;
    return c;
}

}  // namespace kx

using namespace kx;

void AttachThreadPalettes()
{
    HDC screen = GetDC(nullptr);
    RefreshSystemPalettes(screen);
    if (screen)
        ReleaseDC(nullptr, screen);

    ThreadRecord* r;
    {
        RegistryLock lock;
        r = FindRecordLocked();
        if (r) {
            r->attachCount++;
        } else {
            if (!g_records)
                g_records = New<cPtrArray>();
            r = g_records ? New<ThreadRecord>() : nullptr;
            if (!r)
                return;
            r->processId = GetCurrentProcessId();
            r->threadId = GetCurrentThreadId();
            r->attachCount = 1;
            if (g_records->Add(r) < 0) {
                Delete(r);
                return;
            }
        }
    }
    if (SharedPalette* p = DefaultSharedPalette())
        if (r->held.Add(p) < 0)
            ReleasePalette(p);
}

void DetachThreadPalettes()
{
    ThreadRecord* r;
    {
        RegistryLock lock;
        r = FindRecordLocked();
        if (!r)
            return;
        if (--r->attachCount > 0) {
            r = nullptr;
        } else {
            g_records->RemoveAt(IndexIn(*g_records, r), 1);
            if (g_records->count == 0) {
                Delete(g_records);
                g_records = nullptr;
            }
        }
    }
    if (r) {
        FreeRecord(r, false);
        return;
    }
    // An inner detach gives back the reference its attach took; the record itself stays.
    r = FindRecord();
    if (r && r->held.count > 0) {
        SharedPalette* p = static_cast<SharedPalette*>(r->held.items[r->held.count - 1]);
        r->held.RemoveAt(r->held.count - 1, 1);
        ReleasePalette(p);
    }
}

SharedPalette* GetSharedPalette(const LOGPALETTE* palette)
{
    if (!palette)
        return nullptr;
    ThreadRecord* r = FindRecord();
    if (!r)
        return nullptr;
    SharedPalette candidate;
    Normalise(palette, &candidate);
    if (SharedPalette* same = FindSame(r, &candidate))
        return AddPaletteRef(same);

    void* block = nullptr;
    if (!AllocRetry(sizeof(SharedPalette), &block))
        return nullptr;
    SharedPalette* p = static_cast<SharedPalette*>(block);
    memcpy(p, &candidate, sizeof *p);
    int rest = p->count > 0 ? p->count - 1 : 0;
    p->blackIndex = 1 + NearestEntry(p->entries + 1, rest, RGB(0, 0, 0));
    p->references = 1;
    if (r->palettes.Add(p) < 0) {
        FreePaletteMemory(p);
        return nullptr;
    }
    return p;
}

SharedPalette* AddPaletteRef(SharedPalette* palette)
{
    if (palette)
        palette->references++;
    return palette;
}

SharedPalette* ReleasePalette(SharedPalette* palette)
{
    if (!palette)
        return nullptr;
    if (--palette->references > 0)
        return palette;
    if (ThreadRecord* r = FindRecord()) {
        int at = IndexIn(r->palettes, palette);
        if (at >= 0) {
            r->palettes.RemoveAt(at, 1);
            // A host that released the record's own reference must not make the record drop it again later.
            for (int i; (i = IndexIn(r->held, palette)) >= 0;)
                r->held.RemoveAt(i, 1);
            FreePaletteMemory(palette);
            return nullptr;
        }
    }
    {
        RegistryLock lock;
        int at = g_orphans ? IndexIn(*g_orphans, palette) : -1;
        if (at < 0) {
            // Another live thread's palette: its record frees it when that thread detaches.
            return nullptr;
        }
        g_orphans->RemoveAt(at, 1);
    }
    FreePaletteMemory(palette);
    return nullptr;
}

SharedPalette* GetThreadDefaultPalette()
{
    ThreadRecord* r = FindRecord();
    if (!r || r->palettes.count == 0)
        return nullptr;
    return AddPaletteRef(static_cast<SharedPalette*>(r->palettes.items[0]));
}
