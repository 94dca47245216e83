// The empty backend: the static sentinel behind every unset canvas. 0 x 0, depth 0, no pixels; every operation
// fails or does nothing, so a host that forgot to create a canvas gets zeros instead of a crash.
#include "backend.h"

namespace {

class cEmptySurface final : public cSurfaceBackend {
public:
    void Destroy(unsigned) override {}  // static: never freed, whoever asks
    cSurfaceBackend* MakeInstance(int, int) override { return nullptr; }
    cSurfaceBackend* MakeScreenInstance() override { return nullptr; }
    int IsScreenInstance() override { return 0; }
    void EnumDisplayModes(DisplayModeCallback, void*) override {}
    int SetDisplayMode(HWND, int, int, int) override { return 0; }
    void RestoreDisplayMode(HWND) override {}
    void CopyDisplayState(cSurfaceBackend*) override {}
    int WaitVerticalBlank() override { return 0; }
    int GetScanLine() override { return 0; }
    int Resize(int, int) override { return 0; }
    void SetDepth(int) override {}
    int InitFormat(int) override { return 0; }
    int GetKind() override { return SURFACE_KIND_MEMORY; }
    int GetDeviceInfo(void*) override { return 0; }
    void SetOrigin(int, int) override {}
    unsigned long GetOrigin() override { return 0; }
    int IsPositioned() override { return 0; }
    int Lock() override { return 0; }
    void Unlock() override {}
    int IsDeviceOnly() override { return 0; }
    HDC GetDC() override { return nullptr; }
    void ReleaseDC(HDC) override {}
    void GetClipRect(int*, int*, int*, int*) override {}
    void SetClipRect(int, int, int, int) override {}
    void ResetClipRect() override {}
    void SetPixelIndex(int, int, int) override {}
    void SetPixel(int, int, COLORREF) override {}
    int GetPixelRaw(int, int, unsigned long*) override { return 0; }
    int GetPixel(int, int, COLORREF*) override { return 0; }
    int BlitFromDevice(int, int, HDC, int, int, int, int, int, int, unsigned long) override { return 0; }
    int Blit(cSurfaceBackend*, int, int, int, int, int, int, int, int, unsigned long, unsigned long) override
    {
        return 0;
    }
    int MoveRect(int, int, int, int, int, int) override { return 0; }
    int BlitCallback(cSurfaceBackend*, int, int, int, int, int, int, int, PixelColourFn, void*) override
    {
        return 0;
    }
    int ApplyFilter(cSurfaceBackend*, int, int, int, int, int, int, int, int, int, int, int, int, FilterFn,
                    void*) override
    {
        return 0;
    }
    int StretchFromDevice(int, int, int, int, HDC, int, int, int, int, int, int, unsigned long) override
    {
        return 0;
    }
    int StretchBlit(cSurfaceBackend*, int, int, int, int, int, int, int, int, int, int, unsigned long,
                    unsigned long) override
    {
        return 0;
    }
    int MirrorHorizontal(int, int, int, int) override { return 0; }
    int MirrorVertical(int, int, int, int) override { return 0; }
    int GetContentRect(RECT*) override { return 0; }
    int FillRectIndex(int, int, int, int, int) override { return 0; }
    int FillRect(int, int, int, int, COLORREF) override { return 0; }
    int Rotate90(cSurfaceBackend*, int) override { return 0; }
    int DrawText(const char*, int, int, int, unsigned, const RECT*, COLORREF, HFONT, int, int, unsigned long,
                 unsigned long) override
    {
        return 0;
    }
    int DrawTextEx(const char*, int, RECT*, unsigned, COLORREF, HFONT, int, int, unsigned long, unsigned long,
                   int, int, int) override
    {
        return 0;
    }
    int IsBlank() override { return 0; }
    int ReplaceColour(COLORREF, COLORREF) override { return 0; }
    void RemapFromPalette(SharedPalette*) override {}
    void ApplyIndexMap(const unsigned char*) override {}
    int SetPalette(SharedPalette*, int) override { return 0; }
    int SetPaletteEntries(const LOGPALETTE*, int) override { return 0; }
    int SetPaletteFrom(cSurfaceBackend*, int) override { return 0; }
    int GetPaletteEntries(PALETTEENTRY*, int, int) override { return 0; }
    SharedPalette* GetPalette() override { return nullptr; }
    int GetLogPalette(LOGPALETTE*) override { return 0; }
    int NearestIndex(COLORREF) override { return 0; }
    COLORREF IndexToColour(int) override { return 0; }
    int GetBlackIndex() override { return 0; }
    int AttachWindow(HWND) override { return 0; }
    int IsCompressed() override { return 0; }
    int ReadPixels(HANDLE) override { return 0; }
    int WritePixels(HANDLE) override { return 0; }
    void RestoreSurface() override {}
    void Reserved68() override {}
    void Reserved69() override {}
    void Reserved70() override {}
};

}  // namespace

// Constructed among the library's static objects, in the order the frame defines (statics.cpp).
alignas(cEmptySurface) static unsigned char g_emptyStorage[sizeof(cEmptySurface)];

namespace kx {

cSurfaceBackend* EmptyBackend()
{
    return reinterpret_cast<cSurfaceBackend*>(g_emptyStorage);
}

void ConstructEmptyBackend()
{
    ::new (g_emptyStorage) cEmptySurface();
}

}  // namespace kx
