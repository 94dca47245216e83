// cImageFilter: the defaults of the image filter interface and the pixel conversion every plug-in shares. The
// filter objects themselves live in plug-ins; the image file object (image_file.cpp) drives them.
#include <string.h>

#include "core/symbol_alias.h"
#include "filters/filter_util.h"
#include "kalvex2/image_filter.h"

KX_EXPORT_VTABLE(cImageFilter, _ZTV12cImageFilter);

using kx::PaletteCount;

namespace {

// A block of the library's allocator holding a copy of `size` bytes of source, or null.
template <typename T>
T* Duplicate(const T* source, size_t size)
{
    if (!source)
        return nullptr;
    void* block = nullptr;
    if (!AllocRetry(size, &block))
        return nullptr;
    memcpy(block, source, size);
    return static_cast<T*>(block);
}

template <typename T>
void Free(T*& block)
{
    void* p = block;
    FreeAndNull(&p);
    block = nullptr;
}

size_t RemapSourceBytes(const LOGPALETTE* p)
{
    return PaletteCount(p) * 4 + 8;
}

bool SameColours(const LOGPALETTE* a, const LOGPALETTE* b, int count)
{
    for (int i = 0; i < count; ++i) {
        const PALETTEENTRY& x = a->palPalEntry[i];
        const PALETTEENTRY& y = b->palPalEntry[i];
        if (x.peRed != y.peRed || x.peGreen != y.peGreen || x.peBlue != y.peBlue)
            return false;
    }
    return true;
}

inline int CacheKey(int red, int green, int blue)
{
    return ((red & 0xF8) << 8) | ((green & 0xFC) << 3) | (blue >> 3);
}

inline unsigned Pixel16(const unsigned char* p)
{
    return p[0] | p[1] << 8;
}

inline void Store16(unsigned char* p, unsigned value)
{
    p[0] = (unsigned char)value;
    p[1] = (unsigned char)(value >> 8);
}

// The red, green and blue of one source pixel of `depth`, with 5- and 6-bit channels widened by a plain shift.
inline void SourceRgb(int depth, const unsigned char* p, const LOGPALETTE* palette, int* r, int* g, int* b)
{
    switch (depth) {
    case 8: {
        const PALETTEENTRY& e = palette->palPalEntry[*p];
        *r = e.peRed, *g = e.peGreen, *b = e.peBlue;
        break;
    }
    case 15: {
        unsigned v = Pixel16(p);
        *r = (v >> 7) & 0xF8, *g = (v >> 2) & 0xF8, *b = (v << 3) & 0xF8;
        break;
    }
    case 16: {
        unsigned v = Pixel16(p);
        *r = (v >> 8) & 0xF8, *g = (v >> 3) & 0xFC, *b = (v << 3) & 0xF8;
        break;
    }
    default:
        *b = p[0], *g = p[1], *r = p[2];
        break;
    }
}

}  // namespace

cImageFilter::cImageFilter()
    : width(0), height(0), depth(0), lineBytes(0), pitch(0), bytesPerPixel(0), hasAlpha(0), frameCount(1),
      frameValue(0), animValue(0), palette(nullptr), needsConversion(0), targetChanged(0), targetPalette(nullptr),
      remapSource(nullptr), indexMap(nullptr), inverseCache(nullptr)
{
    user[0] = user[1] = user[2] = 0;
}

cImageFilter::cImageFilter(const cImageFilter& other) : palette(nullptr), targetPalette(nullptr),
    remapSource(nullptr), indexMap(nullptr), inverseCache(nullptr)
{
    *this = other;
}

cImageFilter::~cImageFilter()
{
    Free(palette);
    Free(targetPalette);
    Free(remapSource);
    Free(indexMap);
    Free(inverseCache);
}

// Every member is copied, but the tables are duplicated: two filters never free the same block. A table that
// cannot be duplicated is left out and targetChanged makes the next conversion set-up rebuild it.
cImageFilter& cImageFilter::operator=(const cImageFilter& other)
{
    if (this == &other)
        return *this;
    Free(palette);
    Free(targetPalette);
    Free(remapSource);
    Free(indexMap);
    Free(inverseCache);
    width = other.width;
    height = other.height;
    depth = other.depth;
    lineBytes = other.lineBytes;
    pitch = other.pitch;
    bytesPerPixel = other.bytesPerPixel;
    hasAlpha = other.hasAlpha;
    user[0] = other.user[0], user[1] = other.user[1], user[2] = other.user[2];
    frameCount = other.frameCount;
    currentFrame = other.currentFrame;
    frameValue = other.frameValue;
    animValue = other.animValue;
    needsConversion = other.needsConversion;
    targetChanged = other.targetChanged;
    outDepth = other.outDepth;
    outBytesPerPixel = other.outBytesPerPixel;
    palette = Duplicate(other.palette, IMAGE_PALETTE_BYTES);
    targetPalette = Duplicate(other.targetPalette, IMAGE_PALETTE_BYTES);
    if (other.remapSource)
        remapSource = Duplicate(other.remapSource, RemapSourceBytes(other.remapSource));
    indexMap = Duplicate(other.indexMap, 256);
    inverseCache = Duplicate(other.inverseCache, 65536);
    if ((other.remapSource && !remapSource) || (other.indexMap && !indexMap) ||
        (other.inverseCache && !inverseCache)) {
        Free(remapSource);
        Free(indexMap);
        targetChanged = 1;
    }
    return *this;
}

// ---- defaults of the optional slots ----

void cImageFilter::Setup(long, long) {}
unsigned long cImageFilter::GetWriteDepths() { return DEPTH_BITS_ALL; }
int cImageFilter::IsUsable() { return 1; }
void cImageFilter::SetOption(long) {}
int cImageFilter::CanReadImages() { return 0; }
int cImageFilter::CanReadAnimations() { return 0; }
int cImageFilter::CanWriteImages() { return 0; }
int cImageFilter::CanWriteAnimations() { return 0; }
int cImageFilter::WriteImage(cOutStream*, const unsigned char*, int, int, int, int, LOGPALETTE*,
                             const unsigned char*, int)
{
    return IMGERR_NOT_SUPPORTED;
}
void cImageFilter::EndRead(cInStream*) {}
void cImageFilter::EndWrite(cOutStream*) {}
int cImageFilter::GetWidth() { return width; }
int cImageFilter::GetHeight() { return height; }
int cImageFilter::GetPitch() { return pitch; }
int cImageFilter::GetImageSize() { return pitch * height; }
LOGPALETTE* cImageFilter::GetPalette() { return palette; }
int cImageFilter::GetTransparentColor(COLORREF*) { return 0; }
int cImageFilter::HasAlpha() { return hasAlpha; }
int cImageFilter::IsAnimation() { return 0; }
int cImageFilter::GetFrameCount() { return frameCount; }
void cImageFilter::GetFrameRect(RECT* rect)
{
    rect->left = 0;
    rect->top = 0;
    rect->right = width;
    rect->bottom = height;
}
long cImageFilter::GetAnimOptionA() { return 0; }
long cImageFilter::GetAnimOptionB() { return 0; }
long cImageFilter::GetAnimValue() { return animValue; }
long cImageFilter::GetFrameValue(int) { return frameValue; }
long cImageFilter::GetAnimOptionC() { return 1; }
long cImageFilter::GetAnimOptionD() { return 0; }
int cImageFilter::BeginWrite(cOutStream*, int, int, int, long, long, long, long, long, long)
{
    return IMGERR_NOT_SUPPORTED;
}
int cImageFilter::WriteFrame(cOutStream*, const unsigned char*, const unsigned char*, int, int, int, int,
                             LOGPALETTE*, long, long, long, long, long)
{
    return IMGERR_NOT_SUPPORTED;
}
void cImageFilter::FinishWrite(cOutStream*, long) {}

// ---- description of the image ----

void cImageFilter::ComputeLineBytes()
{
    bytesPerPixel = (depth + 1) / 8;
    switch (depth) {
    case 1: lineBytes = ((width + 15) & ~15) / 8; break;
    case 4: lineBytes = ((width + 1) & ~1) / 2; break;
    case 15:
    case 16: lineBytes = width * 2; break;
    case 24: lineBytes = width * 3; break;
    case 32: lineBytes = width * 4; break;
    default: lineBytes = width; break;
    }
}

int cImageFilter::SetPaletteCount(int count)
{
    if (!palette) {
        void* block = nullptr;
        if (!CallocRetry(IMAGE_PALETTE_BYTES, &block))
            return 0;
        palette = static_cast<LOGPALETTE*>(block);
        palette->palVersion = 0x300;
    } else {
        memset(palette->palPalEntry, 0, 256 * sizeof(PALETTEENTRY));
    }
    palette->palNumEntries = (WORD)(count < 0 ? 0 : count > 256 ? 256 : count);
    return 1;
}

int cImageFilter::SetHasAlpha(int value)
{
    hasAlpha = value;
    return value;
}

// ---- conversion set-up ----

int cImageFilter::NearestColor(const LOGPALETTE* palette, int red, int green, int blue)
{
    int count = PaletteCount(palette);
    int best = 0, bestDistance = 0x7FFFFFFF;
    for (int i = 0; i < count; ++i) {
        const PALETTEENTRY& e = palette->palPalEntry[i];
        int distance = abs(e.peRed - red) + abs(e.peGreen - green) + abs(e.peBlue - blue);
        if (distance == 0)
            return i;
        if (distance < bestDistance)
            best = i, bestDistance = distance;
    }
    return best;
}

int cImageFilter::BuildRemap()
{
    needsConversion = 1;
    if (!palette || !targetPalette)
        return 0;
    int count = PaletteCount(palette);
    if (remapSource && PaletteCount(remapSource) != count)
        Free(remapSource);
    if (!remapSource) {
        void* block = nullptr;
        if (!AllocRetry(count * 4 + 8, &block))
            return 0;
        remapSource = static_cast<LOGPALETTE*>(block);
    }
    memcpy(remapSource, palette, count * 4 + 4);
    remapSource->palNumEntries = (WORD)count;
    if (!indexMap) {
        void* block = nullptr;
        if (!CallocRetry(256, &block)) {
            Free(remapSource);
            return 0;
        }
        indexMap = static_cast<unsigned char*>(block);
    }
    for (int i = 0; i < count; ++i) {
        const PALETTEENTRY& e = palette->palPalEntry[i];
        indexMap[i] = (unsigned char)NearestColor(targetPalette, e.peRed, e.peGreen, e.peBlue);
    }
    return 1;
}

int cImageFilter::PrepareConversion()
{
    needsConversion = outDepth != depth;
    if (outDepth != 8)
        return 1;
    if (depth == 8) {
        if (!targetPalette || !palette)
            return 1;
        int count = PaletteCount(palette);
        if (remapSource && !targetChanged) {
            if (PaletteCount(remapSource) != count)
                return BuildRemap();
            if (SameColours(palette, remapSource, count) && indexMap) {
                needsConversion = 1;
                return 1;
            }
        }
        targetChanged = 0;
        if (PaletteCount(targetPalette) == count && SameColours(targetPalette, palette, count)) {
            Free(remapSource);
            Free(indexMap);
            return 1;
        }
        return BuildRemap();
    }
    if (!targetPalette)
        return 1;
    if (!inverseCache) {
        void* block = nullptr;
        if (!AllocRetry(65536, &block))
            return 0;
        inverseCache = static_cast<unsigned char*>(block);
        targetChanged = 1;
    }
    if (targetChanged) {
        targetChanged = 0;
        memset(inverseCache, CELL_NOT_COMPUTED, 65536);
        int count = PaletteCount(targetPalette);
        for (int i = 0; i < count; ++i) {
            const PALETTEENTRY& e = targetPalette->palPalEntry[i];
            inverseCache[CacheKey(e.peRed, e.peGreen, e.peBlue)] = (unsigned char)i;
        }
    }
    return 1;
}

int cImageFilter::SetOutputFormat(int wanted, LOGPALETTE* target)
{
    if (wanted == 8) {
        outDepth = 8;
        outBytesPerPixel = 1;
        if (!target || target->palNumEntries > 256)
            return IMGERR_BAD_PARAM;
        if (depth == 8 && target == palette) {
            Free(targetPalette);
            Free(remapSource);
            Free(indexMap);
            Free(inverseCache);
            needsConversion = 0;
            return IMGERR_OK;
        }
        size_t bytes = (target->palNumEntries + 1) * 4;
        if (!targetPalette) {
            void* block = nullptr;
            if (!CallocRetry(IMAGE_PALETTE_BYTES, &block))
                return IMGERR_NO_MEMORY;
            targetPalette = static_cast<LOGPALETTE*>(block);
            targetChanged = 1;
        }
        if (targetChanged) {
            memcpy(targetPalette, target, bytes);
        } else if (memcmp(targetPalette, target, bytes) != 0) {
            targetChanged = 1;
            memcpy(targetPalette, target, bytes);
        }
        return PrepareConversion() ? IMGERR_OK : IMGERR_NO_MEMORY;
    }
    if (wanted == 15 || wanted == 16 || wanted == 24 || wanted == 32) {
        outDepth = wanted;
        outBytesPerPixel = (wanted + 1) / 8;
        Free(targetPalette);
        return PrepareConversion() ? IMGERR_OK : IMGERR_NO_MEMORY;
    }
    return IMGERR_BAD_PARAM;
}

// ---- row conversion ----

void cImageFilter::ConvertLine(unsigned char* out, const unsigned char* in, int count)
{
    if (count <= 0)
        return;
    const int inBytes = depth == 8 ? 1 : depth == 15 || depth == 16 ? 2 : depth == 24 ? 3 : 4;
    if (depth != 8 && depth != 15 && depth != 16 && depth != 24 && depth != 32)
        return;
    if (outDepth == depth) {
        if (depth == 8 && indexMap) {
            for (int i = 0; i < count; ++i)
                out[i] = indexMap[in[i]];
        } else {
            memcpy(out, in, (size_t)count * inBytes);
        }
        return;
    }
    if (depth == 8 && !palette)
        return;
    switch (outDepth) {
    case 8: {
        if (!inverseCache || !targetPalette)
            return;
        for (int i = 0; i < count; ++i, in += inBytes) {
            int key, r, g, b;
            if (depth == 15 || depth == 16) {
                unsigned p = Pixel16(in);
                // The top bit of a 5-5-5 pixel is not part of its colour; left in, it would push the key past
                // the end of the 64 KiB cache.
                key = depth == 15 ? ((p & 0x7FE0) << 1) | (p & 0x1F) : p;
                r = (key >> 8) & 0xF8, g = (key >> 3) & 0xFC, b = (key & 0x1F) << 3;
            } else {
                b = in[0], g = in[1], r = in[2];
                key = CacheKey(r, g, b);
            }
            if (inverseCache[key] == CELL_NOT_COMPUTED)
                inverseCache[key] = (unsigned char)NearestColor(targetPalette, r, g, b);
            out[i] = inverseCache[key];
        }
        return;
    }
    case 15:
    case 16:
        for (int i = 0; i < count; ++i, in += inBytes, out += 2) {
            unsigned v;
            if (depth == 15 || depth == 16) {
                unsigned p = Pixel16(in);
                v = outDepth == 16 ? ((p & 0xFFE0) << 1) | (p & 0x1F) : ((p >> 1) & 0x7FE0) | (p & 0x1F);
            } else {
                int r, g, b;
                SourceRgb(depth, in, palette, &r, &g, &b);
                v = outDepth == 16 ? ((r & 0xF8) << 8) | ((g & 0xFC) << 3) | (b >> 3)
                                   : ((r & 0xF8) << 7) | ((g & 0xF8) << 2) | (b >> 3);
            }
            Store16(out, v);
        }
        return;
    case 24:
    case 32:
        for (int i = 0; i < count; ++i, in += inBytes) {
            int r, g, b;
            SourceRgb(depth, in, palette, &r, &g, &b);
            *out++ = (unsigned char)b;
            *out++ = (unsigned char)g;
            *out++ = (unsigned char)r;
            if (outDepth == 32)
                *out++ = 0;
        }
        return;
    }
}
