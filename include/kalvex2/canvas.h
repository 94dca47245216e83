/* Kalvex2 SDK: canvases and the surface backend interface.
 *
 * A cCanvas is a 16-byte value object that owns one backend; every canvas member forwards to one virtual slot of
 * the backend after subtracting the canvas origin. Backends are cloned from prototypes (GetPrototype) by class
 * and depth. Colours are 32-bit RGB values (red in bits 0-7, green 8-15, blue 16-23); on 8-bit surfaces a colour
 * with bit 24 set is a palette index in bits 0-7. */
#ifndef KALVEX2_CANVAS_H
#define KALVEX2_CANVAS_H

#include <windows.h>
#include "base.h"
#include "memory.h"

/* <windows.h> maps DrawText and DrawTextEx to their A/W forms; the library's members keep their own names. A
 * host that calls them writes #undef DrawText (or DrawTextEx) after including this header. */
#pragma push_macro("DrawText")
#pragma push_macro("DrawTextEx")
#undef DrawText
#undef DrawTextEx

struct BlitKernelSet;
struct MaskRecord;
struct SharedPalette;

/* Backend kinds (cSurfaceBackend::GetKind). */
enum {
    SURFACE_KIND_MEMORY = 1,
    SURFACE_KIND_WINDOW = 2,
    SURFACE_KIND_DIB = 3,
    SURFACE_KIND_DIB_KEPT_DC = 4,
    SURFACE_KIND_DDRAW = 5,
    SURFACE_KIND_DDRAW_SYSTEM = 6
};

/* The descriptor: the run of fields right after a backend's virtual-table pointer. Kernels receive its address.
 * Pixel (x, y) lies at rowZero + y * rowStep + x * bytesPerPixel. */
struct SurfaceDesc {
    int width;
    int height;
    int clipLeft;   /* clip rectangle: left and top inclusive, right and bottom exclusive */
    int clipTop;
    int clipRight;
    int clipBottom;
    int depth;      /* 8, 15, 16, 24 or 32 */
    int formatIndex;
    COLORREF transparentColour;
    unsigned long transparentNative;
    unsigned long flags; /* bits 0-7: processor feature word; bit 8: the alpha plane's memory is owned */
    SharedPalette* palette;
    unsigned char* pixelBlock;
    unsigned char* rowZero;
    int pitch;
    int rowStep;    /* +pitch top-down, -pitch bottom-up */
    int bytesPerPixel;
    int bottomUp;
    unsigned char* alphaBlock;
    unsigned char* alphaRowZero;
    int alphaPitch;
    int alphaRowStep;
    const BlitKernelSet* kernels;
};

enum { SURFACE_OWNS_ALPHA = 0x100 };

/* Blit modes and flags. Mode 1 skips source pixels of the transparent colour (or weighs them by the source's alpha
 * plane when it has one). */
enum {
    BLIT_OPAQUE = 0,
    BLIT_TRANSPARENT = 1
};
enum {
    BLIT_SMOOTH_EDGES = 1, /* soften the edges of the copied shape with a 3 x 3 filter afterwards */
    BLIT_COPY_ALPHA = 2    /* opaque copies: copy the source's alpha plane as well, giving the destination one */
};
/* Stretching blit flags. */
enum {
    STRETCH_SMOOTH = 1,             /* resample with a smooth filter rather than take the nearest pixels */
    STRETCH_SMOOTH_TRANSPARENT = 2, /* smooth, and transparent source pixels do not colour the result (forced on
                                       when the source has an alpha plane) */
    STRETCH_ALPHA = 4               /* scale the alpha plane as well, and copy it in the final blit */
};

/* One display mode, as EnumDisplayModes reports it. */
struct DisplayModeRecord {
    int width;
    int height;
    int bitsPerPixel;
};
typedef int(KX_STDCALL* DisplayModeCallback)(DisplayModeRecord* mode, void* user);

/* Per-pixel colour function of callback blits: (destination colour, source colour, user value) -> new colour. */
typedef COLORREF(KX_STDCALL* PixelColourFn)(COLORREF destination, COLORREF source, void* user);
/* Filter function: kernelWidth x kernelHeight RGB blocks of destination and source -> new colour. */
typedef COLORREF(KX_CDECL* FilterFn)(COLORREF* destination, COLORREF* source, void* user);

/* The 71-slot backend interface, in slot order. Slot 0 is the deleting destructor of other compilers: bit 0 of
 * flags frees the memory as well. */
class cSurfaceBackend {
public:
    virtual void Destroy(unsigned flags) = 0;
    virtual cSurfaceBackend* MakeInstance(int width, int height) = 0;
    virtual cSurfaceBackend* MakeScreenInstance();
    virtual int IsScreenInstance();
    virtual void EnumDisplayModes(DisplayModeCallback callback, void* user);
    virtual int SetDisplayMode(HWND window, int width, int height, int depth);
    virtual void RestoreDisplayMode(HWND window);
    virtual void CopyDisplayState(cSurfaceBackend* other);
    virtual int WaitVerticalBlank();
    virtual int GetScanLine();
    virtual int Resize(int width, int height);                               /* slot 10 */
    virtual void SetDepth(int depth);
    virtual int InitFormat(int depth);
    virtual int GetKind();
    virtual int GetDeviceInfo(void* record);
    virtual void SetOrigin(int x, int y);
    virtual unsigned long GetOrigin();
    virtual int IsPositioned();
    virtual int Lock();
    virtual void Unlock();
    virtual int IsDeviceOnly();                                              /* slot 20 */
    virtual HDC GetDC();
    virtual void ReleaseDC(HDC dc);
    virtual void GetClipRect(int* x, int* y, int* width, int* height);
    virtual void SetClipRect(int x, int y, int width, int height);
    virtual void ResetClipRect();
    virtual void SetPixelIndex(int x, int y, int index);
    virtual void SetPixel(int x, int y, COLORREF colour);
    virtual int GetPixelRaw(int x, int y, unsigned long* value);
    virtual int GetPixel(int x, int y, COLORREF* colour);
    virtual int BlitFromDevice(int dx, int dy, HDC source, int sx, int sy, int width, int height, int mode,
                               int effect, unsigned long parameter);      /* slot 30 */
    virtual int Blit(cSurfaceBackend* destination, int dx, int dy, int sx, int sy, int width, int height,
                     int mode, int effect, unsigned long parameter, unsigned long flags);
    virtual int MoveRect(int sx, int sy, int dx, int dy, int width, int height);
    virtual int BlitCallback(cSurfaceBackend* destination, int dx, int dy, int sx, int sy, int width, int height,
                             int mode, PixelColourFn callback, void* user);
    virtual int ApplyFilter(cSurfaceBackend* destination, int dx, int dy, int sx, int sy, int width, int height,
                            int kernelWidth, int kernelHeight, int centreX, int centreY, int marginX, int marginY,
                            FilterFn callback, void* user);
    virtual int StretchFromDevice(int dx, int dy, int dw, int dh, HDC source, int sx, int sy, int sw, int sh,
                                  int mode, int effect, unsigned long parameter);
    virtual int StretchBlit(cSurfaceBackend* destination, int dx, int dy, int dw, int dh, int sx, int sy, int sw,
                            int sh, int mode, int effect, unsigned long parameter, unsigned long flags);
    virtual int MirrorHorizontal(int x, int y, int width, int height);
    virtual int MirrorVertical(int x, int y, int width, int height);
    virtual int GetContentRect(RECT* out);
    virtual int FillRectIndex(int x, int y, int width, int height, int index); /* slot 40 */
    virtual int FillRect(int x, int y, int width, int height, COLORREF colour);
    virtual int Rotate(cSurfaceBackend* destination, double angle, int quality, COLORREF fill, int flag);
    virtual int Rotate90(cSurfaceBackend* destination, int clockwise);
    virtual int DrawText(const char* text, int count, int x, int y, unsigned alignment, const RECT* clip,
                         COLORREF colour, HFONT font, int reserved, int effect, unsigned long parameter,
                         unsigned long flags);
    virtual int DrawTextEx(const char* text, int count, RECT* rect, unsigned format, COLORREF colour, HFONT font,
                           int reserved, int effect, unsigned long parameter, unsigned long flags, int leftMargin,
                           int rightMargin, int tabLength);
    virtual int IsBlank();
    virtual int ReplaceColour(COLORREF newColour, COLORREF oldColour);
    virtual void RemapFromPalette(SharedPalette* palette);
    virtual void ApplyIndexMap(const unsigned char* map);
    virtual int SetPalette(SharedPalette* palette, int remap);               /* slot 50 */
    virtual int SetPaletteEntries(const LOGPALETTE* palette, int remap);
    virtual int SetPaletteFrom(cSurfaceBackend* other, int remap);
    virtual int GetPaletteEntries(PALETTEENTRY* destination, int first, int count);
    virtual SharedPalette* GetPalette();
    virtual int GetLogPalette(LOGPALETTE* out);
    virtual int NearestIndex(COLORREF colour);
    virtual COLORREF IndexToColour(int index);
    virtual int GetBlackIndex();
    virtual int AttachWindow(HWND window);
    virtual int IsCompressed();                                              /* slot 60 */
    virtual int ReadPixels(HANDLE file);
    virtual int WritePixels(HANDLE file);
    virtual void SetTransparentColour(COLORREF colour);
    virtual COLORREF GetTransparentColour();
    virtual unsigned long GetTransparentNative();
    virtual int BuildMask(MaskRecord* mask, int kind);
    virtual void RestoreSurface();
    virtual void Reserved68();
    virtual void Reserved69();
    virtual void Reserved70();                                               /* slot 70 */

    SurfaceDesc d;

protected:
    cSurfaceBackend();
    ~cSurfaceBackend();

private:
    cSurfaceBackend(const cSurfaceBackend&);
    cSurfaceBackend& operator=(const cSurfaceBackend&);
};

/* The exported surface object: 16 bytes, fields in this order. */
class KX_API cCanvas {
public:
    cSurfaceBackend* backend;
    int originX;
    int originY;
    unsigned long lastError;

    cCanvas();
    cCanvas(const cCanvas& source);
    ~cCanvas();

    /* lifetime */
    void Release();
    int IsValid();
    unsigned long GetError();

    /* creation: each releases the previous backend first and leaves the canvas empty when it fails */
    int CreateLike(int width, int height, cCanvas* prototype);
    int CreateOnDC(HDC dc);
    int CreateOnWindow(HWND window, int wholeWindow);
    void CreateCopy(cCanvas* source, int width, int height);
    int CreateScreen();

    /* geometry and information */
    int GetWidth();
    int GetHeight();
    int GetDepth();
    int GetInfo(int* width, int* height, int* depth);
    int IsPalettised();
    int GetDeviceClass();
    int GetDirectDrawClass();
    int GetDeviceInfo(void* record);

    /* position and clipping (host coordinates) */
    void SetPosition(int x, int y);
    void MoveBy(int dx, int dy);
    void GetPosition(int* xy);
    void GetPositionXY(int* x, int* y);
    void GetClipRect(int* x, int* y, int* width, int* height);
    void SetClipRect(int x, int y, int width, int height);
    void ResetClipRect();

    /* pixel access; the Fast forms take backend coordinates and neither clip nor lock */
    unsigned char* Lock();
    void Unlock();
    int GetRowStep();
    void SetPixel(int x, int y, COLORREF colour);
    void SetPixelRGB(int x, int y, int red, int green, int blue);
    void SetPixelIndex(int x, int y, int index);
    int GetPixel(int x, int y, COLORREF* colour);
    int GetPixelRGB(int x, int y, unsigned char* red, unsigned char* green, unsigned char* blue);
    int GetPixelRaw(int x, int y, unsigned long* value);
    void SetPixelFast(int x, int y, COLORREF colour);
    void SetPixelIndexFast(int x, int y, int index);
    COLORREF GetPixelFast(int x, int y);
    int GetPixelIndexFast(int x, int y);

    /* transparent colour and alpha plane (8 bits per pixel, 0 = fully transparent) */
    void SetTransparentColour(COLORREF colour);
    COLORREF GetTransparentColour();
    unsigned long GetTransparentNative();
    unsigned char* CreateAlphaPlane();
    int SetAlphaPlane(const unsigned char* source, int step);
    void AttachAlphaPlane(unsigned char* memory, int step);
    unsigned char* DetachAlphaPlane(int* step);
    cCanvas* NewAlphaCanvas();
    int GetAlphaRowStep();
    int HasAlphaPlane();
    unsigned char* GetAlphaPlane();

    /* blits between canvases; "this" is the source. Positions are host coordinates (each canvas's origin is
     * subtracted) except where noted. Results: 1 when the copy was made (or, for a blend that gives the
     * destination all the weight, when there was nothing to change), 0 when the request failed and nothing was
     * drawn. */
    int Blit(cCanvas* destination, int dx, int dy, int sx, int sy, int width, int height, int mode, int effect,
             unsigned long parameter, unsigned long flags);
    int Draw(cCanvas* destination, int x, int y, int mode, int effect, unsigned long parameter, unsigned long flags);
    int CopyTo(cCanvas* destination);
    int MoveRect(int sx, int sy, int dx, int dy, int width, int height); /* backend coordinates */
    int BlitCallback(cCanvas* destination, int dx, int dy, int sx, int sy, int width, int height, int mode,
                     PixelColourFn function, void* user);
    int DrawCallback(cCanvas* destination, PixelColourFn function, void* user, int mode); /* backend (0, 0) */
    /* The filter sees kernelWidth x kernelHeight blocks of destination and source colours whose element
     * (centreX, centreY) lies on the pixel being computed; it runs over the rectangle widened by the centre. */
    int ApplyFilter(cCanvas* destination, int dx, int dy, int sx, int sy, int width, int height, int kernelWidth,
                    int kernelHeight, int centreX, int centreY, FilterFn function, void* user);
    /* Scaled blits: the source rectangle (sx, sy, sw, sh) onto the destination rectangle (dx, dy, dw, dh), by
     * nearest pixels unless flags ask for smooth resampling (STRETCH_*). The source rectangle must lie inside the
     * source. StretchDraw scales the whole surface onto (x, y, width, height); StretchTo over the whole
     * destination. */
    int StretchBlit(cCanvas* destination, int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh, int mode,
                    int effect, unsigned long parameter, unsigned long flags);
    int StretchDraw(cCanvas* destination, int x, int y, int width, int height, int mode, int effect,
                    unsigned long parameter, unsigned long flags);
    int StretchTo(cCanvas* destination, unsigned long flags);

    /* solid fills, clipped to the clip rectangle; 8-bit surfaces take the nearest palette index (or the index
     * itself when bit 24 is set). 0 when nothing was filled. */
    int FillRect(int x, int y, int width, int height, COLORREF colour);

    /* whole-surface analyses (backend coordinates) */
    int IsBlank();
    int ReplaceColour(COLORREF newColour, COLORREF oldColour);
    int GetContentRect(RECT* out);
    int CropToContent(RECT* out); /* keeps only the content rectangle, which out receives */
    int CropToContent();
    int OverlapsOpaque(cCanvas* other, int otherX, int otherY, int x, int y, int width, int height);

    /* mirrors in place (host coordinates; the All forms take the rectangle at host (0, 0) with the backend's size)
     * and rotations into another canvas. Angles are whole degrees, positive counter-clockwise on the screen;
     * radians are truncated to whole degrees. Quality 0 takes the nearest source pixel, any other value blends
     * four; pixels that fall outside the source take the fill colour, and with flag 1 source pixels of the fill
     * colour are not blended. Rotate90 and the quarter turns of RotateTo need a destination of the turned size
     * and this depth; CreateRotated makes the destination to measure. */
    int MirrorHorizontal(int x, int y, int width, int height);
    int MirrorHorizontalAll();
    int MirrorVertical(int x, int y, int width, int height);
    int MirrorVerticalAll();
    int Rotate90(cCanvas* destination, int clockwise);
    int RotateTo(cCanvas* destination, int angle, int quality, COLORREF fill, int flag);
    int RotateToRadians(cCanvas* destination, double angle, int quality, COLORREF fill);
    int CreateRotated(cCanvas* destination, int angle, int quality, COLORREF fill);
    int CreateRotatedRadians(cCanvas* destination, double angle, int quality, COLORREF fill);

    /* device-independent bitmaps and bitmap files. Loading fails with ERR_BAD_FORMAT on a header out of bounds
     * and then leaves the canvas as it was; a canvas of another size takes a new backend of its own class.
     * flags bit 0: keep the canvas's palette (pixels are remapped to it); bit 2: take the bitmap's palette as it
     * is rather than arranged around the system colours. Saving writes bottom-up rows; flags bit 0 leaves the
     * pixel bits alone (files then hold zeros). */
    unsigned long GetDibSize();
    int LoadDib(const BITMAPINFOHEADER* header, const void* bits, unsigned long flags);
    int LoadDibFromFile(HANDLE file, int size, unsigned long flags);
    int LoadBitmapFile(const char* path, unsigned long flags);
    int LoadBitmapResource(HMODULE module, int number, unsigned long flags);
    int SaveDib(BITMAPINFOHEADER* header, void* bits, unsigned long flags);
    int SaveDibToFile(HANDLE file, unsigned long flags);
    int SaveBitmapFile(const char* path, unsigned long flags);
    /* An icon (or, with a hot spot, a cursor) of the surface, scaled down to fit when it is larger; pixels of the
     * transparent colour are transparent. 0 x 0 means the system's icon size. */
    HICON CreateIcon(int width, int height, COLORREF transparent, const POINT* hotSpot);

    /* devices and display */
    HDC GetDC();
    void ReleaseDC(HDC dc);
    HRGN ClipDC(HDC dc);
    void UnclipDC(HDC dc, HRGN saved);
    void EnumDisplayModes(DisplayModeCallback callback, void* user);
    int SetDisplayMode(HWND window, int width, int height, int depth);
    void RestoreDisplayMode(HWND window);
    void CopyDisplayState(cCanvas* other);
    int IsScreenInstance();
    int WaitVerticalBlank();
    int AttachWindow(HWND window);
    void RestoreSurface();
    void Reserved1();
    void Reserved2();
    void Reserved3();

    /* palettes (surfaces of at most 8 bits; the others fail with ERR_UNSUPPORTED). remap 1 keeps the picture's
     * colours by moving each pixel to the new palette's nearest entry. */
    int SetPalette(SharedPalette* palette, int remap);
    int SetPaletteEntries(const LOGPALETTE* palette, int remap);
    int SetPaletteFrom(cCanvas* other, int remap);
    int SetPaletteFromHandle(HPALETTE palette, int remap);
    SharedPalette* GetPalette();   /* no reference added */
    int GetPaletteEntries(PALETTEENTRY* destination, int first, int count);
    int NearestIndex(COLORREF colour);
    COLORREF IndexToColour(int index);
    int GetBlackIndex();
    void ApplyIndexMap(const unsigned char* map);   /* every pixel p becomes map[p] */
    void RemapToPaletteOf(cCanvas* other);          /* pixels that are indices of other's palette */

private:
    cCanvas& operator=(const cCanvas&);
};

KX_API cSurfaceBackend* KX_CDECL GetBackend(cCanvas* canvas);
KX_API cSurfaceBackend* KX_CDECL AttachBackend(cCanvas* canvas, cSurfaceBackend* backend);
KX_API cCanvas* KX_CDECL NewCanvas();
KX_API void KX_CDECL DeleteCanvas(cCanvas* canvas);
KX_API void KX_CDECL ReleaseCanvas(cCanvas* canvas);
/* type 0 memory, 1 and 3 DIB (2 DIB keeping its DC) or DirectDraw with mode 2; result 1 when the prototype has
 * exactly the requested depth. */
KX_API int KX_CDECL GetPrototype(cCanvas** out, int depth, int type, int mode);

/* Sizes of packed device-independent bitmaps (header, colour table or masks, rows padded to 4 bytes). */
KX_API unsigned long KX_CDECL DibHeaderSize(int depth);
KX_API unsigned long KX_CDECL DibRowBytes(int width, int depth);
/* The bitmap's size in the low 32 bits and its header size in the high 32 bits (EDX:EAX for 32-bit callers). */
KX_API unsigned long long KX_CDECL DibSize(int width, int height, int depth);
KX_API unsigned char* KX_CDECL DibBits(const BITMAPINFOHEADER* header);

/* The size of the surface turned by the angle (whole degrees): width and height in, width and height out. */
KX_API void KX_CDECL GetRotatedSize(int* width, int* height, int angle);

#pragma pop_macro("DrawTextEx")
#pragma pop_macro("DrawText")

#endif
