// Canvas members that load packed device-independent bitmaps and bitmap files into a surface and save a surface
// as either. Everything read is bounded before it is used: a header out of bounds, or rows that the bytes at hand
// do not hold, fail with ERR_BAD_FORMAT before the canvas is touched.
#include "backend.h"
#include "dib_view.h"

#include <string.h>

#include "kalvex2/streams.h"
#include "surface/palette.h"
#include "surface/surface_size.h"

using namespace kx;

static const uint64_t UNKNOWN_SIZE = ~(uint64_t)0;

BITMAPINFOHEADER* kx::WidenToEightBits(const BITMAPINFOHEADER* header, const unsigned char* rows,
                                       const DibLayout& l, const PALETTEENTRY* base)
{
    SurfaceSize size;
    if (!ComputeSurfaceSize(l.width, l.height, 8, 4, &size))
        return nullptr;
    void* block = nullptr;
    if (!CallocRetry(40 + 1024 + (size_t)size.bytes, &block))
        return nullptr;
    BITMAPINFOHEADER* wide = static_cast<BITMAPINFOHEADER*>(block);
    *wide = *header;
    wide->biBitCount = 8;
    wide->biCompression = BI_RGB;
    wide->biClrUsed = wide->biClrImportant = 0;
    RGBQUAD* table = reinterpret_cast<RGBQUAD*>(wide + 1);
    for (int i = 0; i < 256; i++)
        table[i] = RGBQUAD{base[i].peBlue, base[i].peGreen, base[i].peRed, 0};
    // Only the colours the bitmap has: a short table is followed by its rows, not by more colours.
    memcpy(table + 10, reinterpret_cast<const unsigned char*>(header) + 40, (size_t)l.colours * 4);

    unsigned char* out = reinterpret_cast<unsigned char*>(table + 256);
    for (int y = 0; y < l.height; y++, rows += l.pitch, out += size.pitch) {
        for (int x = 0; x < l.width; x++) {
            if (l.bitCount == 4) {
                int n = (rows[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xF;
                out[x] = (unsigned char)(n ? n + 10 : 0);
            } else {
                out[x] = (unsigned char)(10 + ((rows[x >> 3] >> (7 - (x & 7))) & 1));
            }
        }
    }
    return wide;
}

// The entries a widened bitmap starts from: the canvas's own palette when it has one, else the default palette.
static void BaseEntries(cSurfaceBackend* backend, PALETTEENTRY entries[256])
{
    memset(entries, 0, 256 * sizeof(PALETTEENTRY));
    if (backend->d.depth == 8 && backend->d.palette) {
        memcpy(entries, backend->d.palette->entries, 256 * sizeof(PALETTEENTRY));
        return;
    }
    SharedPalette* fallback = DefaultSharedPalette();
    if (fallback) {
        memcpy(entries, fallback->entries, 256 * sizeof(PALETTEENTRY));
        ReleaseSharedPalette(fallback);
    }
}

int kx::LoadBoundedDib(cCanvas* canvas, const BITMAPINFOHEADER* header, const unsigned char* bits,
                       unsigned long flags, uint64_t available)
{
    cSurfaceBackend* backend = canvas->backend;
    if (backend->IsDeviceOnly()) {
        canvas->lastError = ERR_UNSUPPORTED;
        return 0;
    }
    // The header alone first: only then is it known how many bytes of table (or masks) follow it.
    DibLayout l;
    if (!header || available < 40 || CheckDibHeader(header, nullptr, &l) != 0 ||
        40 + (uint64_t)l.tableBytes > available ||
        (!bits && 40 + (uint64_t)l.tableBytes + l.pixelBytes > available)) {
        canvas->lastError = ERR_BAD_FORMAT;
        return 0;
    }
    const unsigned char* base = reinterpret_cast<const unsigned char*>(header);
    const unsigned char* rows = bits ? bits : base + 40 + l.tableBytes;

    BITMAPINFOHEADER* wide = nullptr;
    if (l.bitCount < 8) {
        PALETTEENTRY entries[256];
        BaseEntries(backend, entries);
        wide = WidenToEightBits(header, rows, l, entries);
        if (!wide) {
            canvas->lastError = ERR_NO_MEMORY;
            return 0;
        }
        header = wide;
        bits = nullptr;
    }

    int result = 0;
    cDibView view;
    int status = view.Over(header, const_cast<unsigned char*>(bits), true);
    SharedPalette* taken = nullptr;
    cSurfaceBackend* target = backend;
    if (status != 0)
        goto fail;

    if (!(flags & 1) && backend->d.depth <= 8 && view.d.depth <= 8 && view.d.palette) {
        // The bitmap's palette as it is, or arranged around the system colours; in that case its pixels are
        // remapped after the copy.
        taken = (flags & 4) ? AddPaletteRef(view.d.palette) : MakeSystemPalette(view.d.palette, nullptr);
        if (taken != view.d.palette)
            flags |= 1;
    }
    if (backend->d.width != view.d.width || backend->d.height != view.d.height) {
        target = backend->MakeInstance(view.d.width, view.d.height);
        if (!target) {
            status = ERR_NO_MEMORY;
            goto fail;
        }
    }
    {
        // Until the copy has succeeded the canvas keeps its palette: a failed load changes nothing.
        SharedPalette* previous = AddPaletteRef(target->d.palette);
        if (taken)
            target->SetPalette(taken, 0);
        int copied = view.Blit(target, 0, 0, 0, 0, view.d.width, view.d.height, 0, 0, 0, 0);
        if (!copied) {
            if (target == backend && previous)
                target->SetPalette(previous, 0);
            ReleaseSharedPalette(previous);
            if (target != backend)
                target->Destroy(1);
            status = ERR_UNSUPPORTED;
            goto fail;
        }
        ReleaseSharedPalette(previous);
    }
    if (view.d.depth <= 8 && target->d.depth <= 8 && (flags & 1))
        target->RemapFromPalette(view.d.palette);
    ForgetAlphaPlane(target->d);
    if (target != backend)
        AttachBackend(canvas, target);
    result = 1;

fail:
    if (!result)
        canvas->lastError = (unsigned long)status;
    ReleaseSharedPalette(taken);
    void* block = wide;
    FreeAndNull(&block);
    return result;
}

int cCanvas::LoadDib(const BITMAPINFOHEADER* header, const void* bits, unsigned long flags)
{
    // The caller's memory has no stated size: the header is bounded, the rows are trusted to be there.
    return LoadBoundedDib(this, header, static_cast<const unsigned char*>(bits), flags, UNKNOWN_SIZE);
}

int cCanvas::LoadDibFromFile(HANDLE file, int, unsigned long flags)
{
    unsigned char start[14];
    int status = FileRead(file, start, 14);
    if (status != STATUS_OK) {
        lastError = (unsigned long)status;
        return 0;
    }
    BITMAPINFOHEADER header;
    uint32_t pixelOffset = 0;   // where a file header says the rows start, counted from the bitmap header
    bool read;
    if (start[0] == 'B' && start[1] == 'M') {
        uint32_t offBits;
        memcpy(&offBits, start + 10, 4);
        pixelOffset = offBits >= 14 ? offBits - 14 : 0;
        read = FileRead(file, &header, 40) == STATUS_OK;
    } else {
        uint32_t size;
        memcpy(&size, start, 4);
        if (size != 40) {
            lastError = ERR_BAD_FORMAT;
            return 0;
        }
        memcpy(&header, start, 14);
        read = FileRead(file, reinterpret_cast<unsigned char*>(&header) + 14, 26) == STATUS_OK;
    }
    DibLayout l;
    if (!read || CheckDibHeader(&header, nullptr, &l) != 0 || l.topDown) {
        lastError = ERR_BAD_FORMAT;
        return 0;
    }
    // Rows that a file header places further on (after a table the format does not use) are found there.
    uint32_t rowsAt = 40 + l.tableBytes;
    uint32_t gap = pixelOffset > rowsAt ? pixelOffset - rowsAt : 0;
    // Nothing is allocated for more than the file still holds.
    int here = FileTell(file), end = FileGetSize(file);
    if (here < 0 || end < here ||
        (uint64_t)l.tableBytes + gap + l.pixelBytes > (uint64_t)(uint32_t)(end - here)) {
        lastError = ERR_BAD_FORMAT;
        return 0;
    }
    uint64_t total = 40 + (uint64_t)l.tableBytes + l.pixelBytes;
    void* block = nullptr;
    if (!AllocRetry((size_t)total, &block)) {
        lastError = ERR_NO_MEMORY;
        return 0;
    }
    unsigned char* dib = static_cast<unsigned char*>(block);
    memcpy(dib, &header, 40);
    int result = 0;
    if (FileRead(file, dib + 40, (int)l.tableBytes) != STATUS_OK ||
        (gap && FileSeekCurrent(file, (int)gap) < 0) ||
        FileRead(file, dib + rowsAt, (int)l.pixelBytes) != STATUS_OK) {
        lastError = ERR_BAD_FORMAT;
    } else {
        result = LoadBoundedDib(this, reinterpret_cast<BITMAPINFOHEADER*>(dib), nullptr, flags, total);
    }
    FreeAndNull(&block);
    return result;
}

int cCanvas::LoadBitmapFile(const char* path, unsigned long flags)
{
    HANDLE file = FileOpen(path, 0);
    if (file == INVALID_HANDLE_VALUE) {
        lastError = ERR_OPEN;
        return 0;
    }
    int result = LoadDibFromFile(file, FileGetSize(file), flags);
    FileClose(file);
    return result;
}

int cCanvas::LoadBitmapResource(HMODULE module, int number, unsigned long flags)
{
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(number), MAKEINTRESOURCEA(2));
    if (!found)
        return 0;
    HGLOBAL loaded = LoadResource(module, found);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data)
        return 0;
    return LoadBoundedDib(this, static_cast<const BITMAPINFOHEADER*>(data), nullptr, flags,
                          SizeofResource(module, found));
}

// Bit count and row layout of the bitmap a surface saves as: 15-bit surfaces as plain 16-bit rows, 16-bit
// surfaces as 5-6-5 bit fields.
static bool SavedLayout(const SurfaceDesc& d, int* bitCount, SurfaceSize* rows)
{
    if (d.depth != 8 && d.depth != 15 && d.depth != 16 && d.depth != 24 && d.depth != 32)
        return false;
    *bitCount = d.depth == 15 ? 16 : d.depth;
    return ComputeSurfaceSize(d.width, d.height, *bitCount, 4, rows);
}

int cCanvas::SaveDib(BITMAPINFOHEADER* header, void* bits, unsigned long flags)
{
    SurfaceDesc& d = backend->d;
    if (backend->IsDeviceOnly()) {
        lastError = ERR_UNSUPPORTED;
        return 0;
    }
    if (!header) {
        lastError = ERR_BAD_FORMAT;
        return 0;
    }
    int bitCount;
    SurfaceSize rows;
    if (!SavedLayout(d, &bitCount, &rows)) {
        lastError = ERR_UNSUPPORTED;
        return 0;
    }
    memset(header, 0, 40);
    header->biSize = 40;
    header->biWidth = d.width;
    header->biHeight = d.height;
    header->biPlanes = 1;
    header->biBitCount = (WORD)bitCount;
    header->biCompression = d.depth == 16 ? BI_BITFIELDS : BI_RGB;
    header->biSizeImage = rows.bytes;
    unsigned char* after = reinterpret_cast<unsigned char*>(header) + 40;
    if (d.depth == 16) {
        const uint32_t masks[3] = {0xF800, 0x07E0, 0x001F};
        memcpy(after, masks, sizeof masks);
    } else if (d.depth == 8) {
        // A surface without a palette saves a black table rather than whatever the buffer held.
        PALETTEENTRY entries[256] = {};
        backend->GetPaletteEntries(entries, 0, 256);
        RGBQUAD* table = reinterpret_cast<RGBQUAD*>(after);
        for (int i = 0; i < 256; i++)
            table[i] = RGBQUAD{entries[i].peBlue, entries[i].peGreen, entries[i].peRed, 0};
    }
    if (flags & 1)
        return 1;
    cDibView view;
    if (view.Over(header, static_cast<unsigned char*>(bits), false) != 0) {
        lastError = ERR_BAD_FORMAT;
        return 0;
    }
    view.d.palette = AddPaletteRef(d.palette);
    if (!backend->Blit(&view, 0, 0, 0, 0, d.width, d.height, 0, 0, 0, 0)) {
        lastError = ERR_UNSUPPORTED;
        return 0;
    }
    return 1;
}

// The whole packed bitmap of the surface in one zero-filled block (free it with FreeAndNull), or null with
// lastError set.
static unsigned char* SaveToBlock(cCanvas* canvas, unsigned long flags, uint32_t* total, uint32_t* headerBytes)
{
    int bitCount;
    SurfaceSize rows;
    if (!SavedLayout(canvas->backend->d, &bitCount, &rows)) {
        canvas->lastError = ERR_UNSUPPORTED;
        return nullptr;
    }
    *headerBytes = (uint32_t)DibHeaderSize(canvas->backend->d.depth);
    *total = *headerBytes + rows.bytes;
    void* block = nullptr;
    if (rows.bytes > (uint32_t)INT32_MAX - *headerBytes || !CallocRetry(*total, &block)) {
        canvas->lastError = ERR_NO_MEMORY;
        return nullptr;
    }
    unsigned char* dib = static_cast<unsigned char*>(block);
    if (!canvas->SaveDib(reinterpret_cast<BITMAPINFOHEADER*>(dib), dib + *headerBytes, flags)) {
        FreeAndNull(&block);
        return nullptr;
    }
    return dib;
}

int cCanvas::SaveDibToFile(HANDLE file, unsigned long flags)
{
    uint32_t total, headerBytes;
    unsigned char* dib = SaveToBlock(this, flags, &total, &headerBytes);
    if (!dib)
        return 0;
    int status = FileWrite(file, dib, (int)total);
    lastError = (unsigned long)status;
    void* block = dib;
    FreeAndNull(&block);
    return status == STATUS_OK;
}

int cCanvas::SaveBitmapFile(const char* path, unsigned long flags)
{
    // The bitmap is made before the file is created, so a save that cannot be made leaves an existing file alone.
    uint32_t total, headerBytes;
    unsigned char* dib = SaveToBlock(this, flags, &total, &headerBytes);
    if (!dib)
        return 0;
    void* block = dib;
    HANDLE file = FileCreate(path);
    if (file == INVALID_HANDLE_VALUE) {
        lastError = ERR_CREATE;
        FreeAndNull(&block);
        return 0;
    }
    unsigned char fileHeader[14] = {'B', 'M'};
    uint32_t fileSize = total + 14, offBits = headerBytes + 14;
    memcpy(fileHeader + 2, &fileSize, 4);
    memcpy(fileHeader + 10, &offBits, 4);
    int status = FileWrite(file, fileHeader, 14);
    if (status == STATUS_OK)
        status = FileWrite(file, dib, (int)total);
    lastError = (unsigned long)status;
    FileClose(file);
    FreeAndNull(&block);
    return status == STATUS_OK;
}
