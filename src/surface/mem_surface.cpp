// Memory surfaces: rows 32-bit aligned and starting on 8-byte boundaries, so that kernels can move whole words;
// pixel memory is not cleared when it is allocated.
#include "mem_surface.h"

#include "surface/palette.h"
#include "surface/surface_size.h"

namespace kx {

void CopyFormat(cSurfaceBackend* to, const cSurfaceBackend* from)
{
    to->SetDepth(from->d.depth);
    ReleaseSharedPalette(to->d.palette);
    to->d.palette = AddPaletteRef(from->d.palette);
    to->d.transparentColour = from->d.transparentColour;
    to->d.transparentNative = from->d.transparentNative;
    to->d.kernels = from->d.kernels;
}

// Takes a fresh top-down block of pitch x height + slack bytes for the descriptor, or leaves everything as it was.
// The block starts zeroed: a new surface is black with clear fourth bytes, so transparency tests, blank tests and
// saved files never see whatever the heap held before.
static bool AllocateRows(SurfaceDesc& d, void** block, int width, int height, int slack)
{
    int bits = d.depth == 15 ? 16 : d.depth;
    SurfaceSize size;
    if (!ComputeSurfaceSize(width, height, bits, 4, &size) || size.bytes > (uint32_t)(INT32_MAX - slack))
        return false;
    void* fresh = nullptr;
    if (!CallocRetry(size.bytes + slack, &fresh))
        return false;
    FreeAndNull(block);
    *block = fresh;
    d.pixelBlock = static_cast<unsigned char*>(fresh);
    d.rowZero = reinterpret_cast<unsigned char*>(((uintptr_t)fresh + 7) & ~(uintptr_t)7);
    d.width = width;
    d.height = height;
    d.pitch = size.pitch;
    d.rowStep = size.pitch;
    d.bottomUp = 0;
    return true;
}

cMemSurface::~cMemSurface()
{
    FreeAndNull(&block_);
}

// A new surface of the same class and format with fresh rows (slack: bytes to round the start up to 8).
template <class Surface>
static cSurfaceBackend* MakeLike(const Surface* from, int width, int height, int slack)
{
    Surface* made = New<Surface>();
    if (!made)
        return nullptr;
    CopyFormat(made, from);
    if (!AllocateRows(made->d, &made->block_, width, height, slack)) {
        made->Destroy(1);
        return nullptr;
    }
    made->ResetClipRect();
    return made;
}

cSurfaceBackend* cMemSurface::MakeInstance(int width, int height) { return MakeLike(this, width, height, 7); }

int cMemSurface::Resize(int width, int height)
{
    if (!AllocateRows(d, &block_, width, height, 7))
        return 0;
    ResetClipRect();
    ForgetAlphaPlane(d);
    return 1;
}

// The grey ramp is one palette for the whole process, made with its inverse table when the first grey surface
// needs it; the process keeps one reference, so it is never freed while surfaces come and go, and it belongs to no
// thread's registry, so no thread's detach can take it away from the others.
static SharedPalette* GreySharedPalette()
{
    static SharedPalette* volatile grey = nullptr;
    if (!grey) {
        void* block = nullptr;
        if (!CallocRetry(sizeof(SharedPalette), &block))
            return nullptr;
        SharedPalette* made = static_cast<SharedPalette*>(block);
        made->version = 0x300;
        made->count = 256;
        for (int i = 0; i < 256; i++)
            made->entries[i] = PALETTEENTRY{(BYTE)i, (BYTE)i, (BYTE)i, 0};
        made->blackIndex = 1;
        made->references = 1;
        if (!BuildInverseTable(made) ||
            InterlockedCompareExchangePointer((void* volatile*)&grey, made, nullptr) != nullptr) {
            void* table = made->inverseTable;
            FreeAndNull(&table);
            FreeAndNull(&block);
        }
        if (!grey)
            return nullptr;
    }
    return AddPaletteRef(grey);
}

int cGreySurface::InitFormat(int depth)
{
    // Always 8 bits over the shared grey ramp, whatever depth is asked for.
    (void)depth;
    SetDepth(8);
    d.bottomUp = 0;
    SharedPalette* grey = GreySharedPalette();
    if (!grey)
        return 0;
    ReleaseSharedPalette(d.palette);
    d.palette = grey;
    return 1;
}

cSurfaceBackend* cGreySurface::MakeInstance(int width, int height) { return MakeLike(this, width, height, 8); }

bool cGreySurface::View(unsigned char* data, int width, int height, int rowStep)
{
    if (!data || width <= 0 || height <= 0 || rowStep == 0 || rowStep == INT32_MIN)
        return false;
    FreeAndNull(&block_);
    d.pixelBlock = d.rowZero = data;
    d.width = width;
    d.height = height;
    d.rowStep = rowStep;
    d.pitch = rowStep < 0 ? -rowStep : rowStep;
    d.bottomUp = rowStep < 0;
    ResetClipRect();
    return true;
}

}  // namespace kx
