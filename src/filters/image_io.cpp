// Loading image files into canvases and saving canvases as image files, whole or frame by frame, through a
// cImageFile. The canvases may have any depth; rows that must change format pass through the filter base's
// conversion.
#include <string.h>

#include "kalvex2/image_file.h"
#include "surface/surface_size.h"

namespace {

// A canvas's palette as a logical palette block in `block` (IMAGE_PALETTE_BYTES), or null when it has none.
LOGPALETTE* CanvasPalette(cCanvas* canvas, LOGPALETTE* block)
{
    if (canvas->GetDepth() > 8)
        return nullptr;
    int count = canvas->GetPaletteEntries(nullptr, 0, 0);
    if (count <= 0)
        return nullptr;
    if (count > 256)
        count = 256;
    block->palVersion = 0x300;
    block->palNumEntries = (WORD)count;
    canvas->GetPaletteEntries(block->palPalEntry, 0, count);
    return block;
}

union PaletteBlock {
    LOGPALETTE palette;
    unsigned char bytes[IMAGE_PALETTE_BYTES];
};

// The prototype of the canvas's kind of surface at depth, or the memory one when that kind has none.
cCanvas* PrototypeLike(cCanvas* canvas, int depth)
{
    cCanvas* prototype = nullptr;
    GetPrototype(&prototype, depth, canvas->IsValid() ? canvas->GetDeviceClass() : 0, 0);
    if (!prototype || !prototype->IsValid())
        GetPrototype(&prototype, depth, 0, 0);
    return prototype;
}

// LoadImageFile's work once the image file is open: shape the canvas, read the pixels, take the transparent
// colour. False on any failure.
bool ReadInto(cImageFile* file, cCanvas* canvas, int flags)
{
    int w = file->GetWidth(), h = file->GetHeight(), d = file->GetDepth();
    kx::SurfaceSize size;
    if (!kx::ComputeSurfaceSize(w, h, 32, 4, &size))
        return false;
    PaletteBlock keep;
    LOGPALETTE* readPalette = nullptr;
    if (canvas->IsValid() && (d == canvas->GetDepth() || (flags & LOAD_KEEP_DEPTH))) {
        if (canvas->GetDepth() == 8 && (flags & LOAD_KEEP_PALETTE))
            readPalette = CanvasPalette(canvas, &keep.palette);
    } else {
        cCanvas* prototype = PrototypeLike(canvas, d < 8 ? 8 : d);
        if (!prototype || !canvas->CreateLike(w, h, prototype))
            return false;
    }
    if (w != canvas->GetWidth() || h != canvas->GetHeight()) {
        cCanvas format;
        if (!format.CreateLike(4, 4, canvas) || !canvas->CreateLike(w, h, &format))
            return false;
    }
    int depth = canvas->GetDepth();
    if (depth <= 8 && !(flags & LOAD_KEEP_PALETTE) && file->GetPalette())
        canvas->SetPaletteEntries(file->GetPalette(), 0);
    // An 8-bit canvas asked to keep its depth for an image without a palette gets the image mapped to the
    // canvas's own colours rather than a refused read.
    if (depth == 8 && !readPalette && !file->GetPalette())
        readPalette = CanvasPalette(canvas, &keep.palette);
    unsigned char* rows = canvas->Lock();
    if (!rows)
        return false;
    unsigned char* alpha = nullptr;
    int alphaStep = 0;
    if (file->HasAlpha()) {
        alpha = canvas->CreateAlphaPlane();
        alphaStep = alpha ? canvas->GetAlphaRowStep() : 0;
    }
    int result = file->ReadImage(rows, w, h, canvas->GetRowStep(), depth, readPalette, alpha, alphaStep);
    canvas->Unlock();
    if (result != IMGERR_OK)
        return false;
    COLORREF transparent = 0;
    if (file->GetTransparentColor(&transparent))
        canvas->SetTransparentColour(transparent);
    return true;
}

// A filter object used only for its row conversion: it reads and writes nothing.
class RowConverter : public cImageFilter {
public:
    void Release() override {}
    unsigned long GetID() override { return 0; }
    const char* GetName() override { return ""; }
    int CheckStream(cInStream*) override { return 0; }
    int ReadHeader(cInStream*) override { return IMGERR_NOT_SUPPORTED; }
    int ReadImage(cInStream*, unsigned char*, int, unsigned char*, int) override { return IMGERR_NOT_SUPPORTED; }
};

int ChooseWriteDepth(int wanted, unsigned long depths)
{
    static const int kOrder[3][3] = {{8, 24, 32}, {24, 32, 8}, {32, 24, 8}};
    const int* order = kOrder[wanted == 8 ? 0 : wanted == 24 ? 1 : 2];
    for (int i = 0; i < 3; ++i) {
        unsigned long bit = order[i] == 8 ? DEPTH_BIT_8 : order[i] == 24 ? DEPTH_BIT_24 : DEPTH_BIT_32;
        if (depths & bit)
            return order[i];
    }
    return 0;
}

}  // namespace

int KX_CDECL LoadImageStream(cImageFilterSet* set, cInStream* input, cCanvas* canvas, unsigned long* filterId,
                             int flags)
{
    if (!canvas || !input)
        return 0;
    cImageFile file(set);
    if (file.OpenStream(input) != IMGERR_OK)
        return 0;
    bool loaded = ReadInto(&file, canvas, flags);
    if (filterId)
        *filterId = file.GetFilterID();
    file.Close();
    return loaded ? 1 : 0;
}

int KX_CDECL LoadImageFile(cImageFilterSet* set, const char* path, cCanvas* canvas, unsigned long* filterId,
                           int flags)
{
    if (!path || !*path || !canvas)
        return 0;
    cFileInStream stream;
    if (stream.Open(path) != STATUS_OK)
        return 0;
    return LoadImageStream(set, &stream, canvas, filterId, flags);
}

int KX_CDECL IsImageFile(cImageFilterSet* set, const char* path)
{
    if (!path)
        return 0;
    cImageFile file(set);
    if (file.OpenFile(path) != IMGERR_OK)
        return 0;
    file.Close();
    return 1;
}

int KX_CDECL IsStillImageFile(cImageFilterSet* set, const char* path, int* still)
{
    if (still)
        *still = 0;
    if (!path)
        return 0;
    cImageFile file(set);
    if (file.OpenFile(path) != IMGERR_OK)
        return 0;
    if (still)
        *still = file.IsAnimation() ? 0 : 1;
    file.Close();
    return 1;
}

int KX_CDECL ReadImageFilePalette(cImageFilterSet* set, const char* path, LOGPALETTE* destination)
{
    if (!path || !destination)
        return 0;
    cImageFile file(set);
    if (file.OpenFile(path) != IMGERR_OK)
        return 0;
    LOGPALETTE* palette = file.GetPalette();
    int copied = 0;
    if (file.GetDepth() <= 8 && palette) {
        int count = palette->palNumEntries > 256 ? 256 : palette->palNumEntries;
        memcpy(destination, palette, (size_t)(count + 1) * 4);
        destination->palNumEntries = (WORD)count;
        copied = 1;
    }
    file.Close();
    return copied;
}

int KX_CDECL SaveImageFile(cImageFilterSet* set, const char* path, cCanvas* canvas, unsigned long filterId)
{
    if (!path || !*path || !canvas || !canvas->IsValid())
        return 0;
    cImageFile file(set);
    if (!file.SelectFilterByID(filterId ? filterId : (unsigned long)FILTER_ID_BMP) || !file.CanWriteImages())
        return 0;
    int canvasDepth = canvas->GetDepth();
    int wanted = canvas->HasAlphaPlane() ? 32 : canvasDepth == 8 ? 8 : 24;
    int depth = ChooseWriteDepth(wanted, file.GetWriteDepths());
    if (!depth)
        return 0;
    int w = canvas->GetWidth(), h = canvas->GetHeight();
    PaletteBlock canvasPalette, targetPalette;
    LOGPALETTE* palette = CanvasPalette(canvas, &canvasPalette.palette);
    const unsigned char* alpha = canvas->GetAlphaPlane();
    int alphaStep = alpha ? canvas->GetAlphaRowStep() : 0;
    COLORREF transparent = canvas->GetTransparentColour();
    if (!alpha)
        alpha = reinterpret_cast<const unsigned char*>(&transparent);

    unsigned char* rows = canvas->Lock();
    if (!rows)
        return 0;
    int result;
    if (depth == canvasDepth) {
        result = file.SaveImage(path, rows, w, h, depth, canvas->GetRowStep(), palette, alpha, alphaStep);
    } else {
        // The canvas's rows converted to the written depth, top-down in a block of our own.
        RowConverter converter;
        converter.width = w;
        converter.height = h;
        converter.depth = canvasDepth;
        LOGPALETTE* written = nullptr;
        if (palette && converter.SetPaletteCount(palette->palNumEntries))
            memcpy(converter.palette->palPalEntry, palette->palPalEntry, palette->palNumEntries * 4);
        if (depth == 8) {
            cCanvas* prototype = nullptr;
            GetPrototype(&prototype, 8, 0, 0);
            written = prototype ? CanvasPalette(prototype, &targetPalette.palette) : nullptr;
        }
        kx::SurfaceSize size;
        void* block = nullptr;
        if ((depth == 8 && !written) || !kx::ComputeSurfaceSize(w, h, depth, 4, &size) ||
            converter.SetOutputFormat(depth, written) != IMGERR_OK || !AllocRetry(size.bytes, &block)) {
            result = IMGERR_NO_MEMORY;
        } else {
            unsigned char* converted = static_cast<unsigned char*>(block);
            for (int y = 0; y < h; ++y)
                converter.ConvertLine(converted + (size_t)y * size.pitch, rows + (ptrdiff_t)y * canvas->GetRowStep(),
                                      w);
            result = file.SaveImage(path, converted, w, h, depth, size.pitch, written, alpha, alphaStep);
        }
        FreeAndNull(&block);
    }
    canvas->Unlock();
    return result == IMGERR_OK ? 1 : 0;
}

int KX_CDECL OpenAnimationFile(void*, const char* path, cCanvas* canvas, cImageFile* file, int flags)
{
    if (!path || !*path || !canvas || !file)
        return 0;
    if (file->OpenFile(path) != IMGERR_OK)
        return 0;
    if (!ReadInto(file, canvas, flags)) {
        file->Close();
        return 0;
    }
    return 1;
}

int KX_CDECL ReadAnimationFrame(void*, cCanvas* canvas, cImageFile* file)
{
    if (!canvas || !file)
        return 0;
    int w = file->GetWidth(), h = file->GetHeight();
    // The canvas may have been re-created since the file was opened; the filter writes w x h pixels into it.
    if (!canvas->IsValid() || canvas->GetWidth() != w || canvas->GetHeight() != h)
        return 0;
    unsigned char* rows = canvas->Lock();
    if (!rows)
        return 0;
    unsigned char* alpha = nullptr;
    int alphaStep = 0;
    if (file->HasAlpha()) {
        alpha = canvas->HasAlphaPlane() ? canvas->GetAlphaPlane() : canvas->CreateAlphaPlane();
        alphaStep = alpha ? canvas->GetAlphaRowStep() : 0;
    }
    int result = file->ReadImage(rows, w, h, canvas->GetRowStep(), canvas->GetDepth(), nullptr, alpha, alphaStep);
    canvas->Unlock();
    COLORREF transparent = 0;
    if (file->GetTransparentColor(&transparent))
        canvas->SetTransparentColour(transparent);
    return result == IMGERR_OK ? 1 : 0;
}

void KX_CDECL CloseAnimationFile(void*, cImageFile* file)
{
    if (file)
        file->Close();
}

int KX_CDECL BeginAnimationFile(void*, const char* path, cCanvas* canvas, cImageFile* file, long p, long q, long r,
                                long s)
{
    if (!path || !*path || !canvas || !file || !canvas->IsValid())
        return 0;
    int w = canvas->GetWidth(), h = canvas->GetHeight(), depth = canvas->GetDepth();
    if (file->BeginWriteFile(path, w, h, depth, p, q, r, s, 0, 0) != IMGERR_OK)
        return 0;
    unsigned char* rows = canvas->Lock();
    if (!rows)
        return 0;
    PaletteBlock block;
    int result = file->WriteFrame(rows, w, h, canvas->GetRowStep(), depth, CanvasPalette(canvas, &block.palette),
                                  0, 0, q, 1);
    canvas->Unlock();
    if (result != IMGERR_OK) {
        file->Close();
        return 0;
    }
    return 1;
}

int KX_CDECL WriteAnimationFrame(void*, cCanvas* canvas, cImageFile* file, long value)
{
    if (!canvas || !file || !canvas->IsValid())
        return 0;
    unsigned char* rows = canvas->Lock();
    if (!rows)
        return 0;
    int result = file->WriteFrame(rows, canvas->GetWidth(), canvas->GetHeight(), canvas->GetRowStep(),
                                  canvas->GetDepth(), nullptr, 0, 0, value, 1);
    canvas->Unlock();
    return result == IMGERR_OK ? 1 : 0;
}
