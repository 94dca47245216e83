/* Kalvex2 SDK: the image filter interface and its exported base class.
 *
 * An image plug-in (a "*.ift" library, see filters.h) makes filter objects derived from cImageFilter. The library
 * calls them only through the virtual table below and destroys them only through Release, so each object is freed
 * by the module that made it. The members are binary interface too: plug-ins read and write them directly.
 *
 * A filter reads a header (ReadHeader fills width, height, depth, pitch, palette, hasAlpha, frameCount and
 * currentFrame), the library then states the pixel format it wants (SetOutputFormat), and ReadImage decodes rows
 * in the image's own format and passes each through ConvertLine whenever needsConversion is set.
 *
 * Pixel formats: 8 = palette index per byte; 15 = 0RRRRRGGGGGBBBBB; 16 = RRRRRGGGGGGBBBBB (both little-endian
 * words); 24 = blue, green, red bytes; 32 = blue, green, red and a fourth byte. Palettes are logical palette
 * blocks (version 0x300, count, entries of red, green, blue, flags); at most 256 entries are ever used. */
#ifndef KALVEX2_IMAGE_FILTER_H
#define KALVEX2_IMAGE_FILTER_H

#include <windows.h>
#include "base.h"
#include "memory.h"
#include "streams.h"

/* Results of image files and filters (small integers, not the status codes of base.h). */
enum {
    IMGERR_OK = 0,
    IMGERR_NO_MEMORY = 1,
    IMGERR_CANT_OPEN = 2,
    IMGERR_CANT_CREATE = 3,
    IMGERR_UNKNOWN_FORMAT = 5,
    IMGERR_NO_SOURCE = 7,
    IMGERR_NOT_SUPPORTED = 8,
    IMGERR_NOT_OPEN = 9,
    IMGERR_BAD_DEPTH = 10,
    IMGERR_DEPTH_TOO_LOW = 12,
    IMGERR_BAD_SIZE = 13,
    IMGERR_BAD_PARAM = 14,
    IMGERR_NO_FILTER = 15,
    IMGERR_ALREADY_OPEN = 17
};

/* Bits of GetWriteDepths. */
enum {
    DEPTH_BIT_8 = 0x04,
    DEPTH_BIT_15 = 0x08,
    DEPTH_BIT_16 = 0x10,
    DEPTH_BIT_24 = 0x20,
    DEPTH_BIT_32 = 0x40,
    DEPTH_BITS_ALL = 0x7C
};

/* Four-character filter IDs, packed little-endian: the characters in memory order. */
#define KX_FILTER_ID(a, b, c, d) \
    ((unsigned long)(unsigned char)(a) | (unsigned long)(unsigned char)(b) << 8 | \
     (unsigned long)(unsigned char)(c) << 16 | (unsigned long)(unsigned char)(d) << 24)
enum { FILTER_ID_BMP = 0x20504D42 }; /* "BMP " */

enum {
    IMAGE_PALETTE_BYTES = 1028, /* version, count and 256 entries */
    CELL_NOT_COMPUTED = 253     /* an inverse-cache cell not searched yet (253 is also a valid index) */
};

class KX_API cImageFilter {
public:
    int width;
    int height;
    int depth;            /* bits per pixel as the filter delivers rows before conversion */
    int lineBytes;        /* one unpadded row at depth (ComputeLineBytes) */
    int pitch;            /* bytes per row of the image data as the filter keeps it */
    int bytesPerPixel;    /* (depth + 1) / 8 */
    int hasAlpha;
    long user[3];         /* for the derived filter */
    int frameCount;
    int currentFrame;     /* frame last read or written; -1 before the first */
    int frameValue;
    int animValue;
    LOGPALETTE* palette;  /* the image's palette (SetPaletteCount makes it), or null */
    int needsConversion;  /* rows must pass through ConvertLine */
    int targetChanged;
    int outDepth;         /* what ReadImage delivers: 8, 15, 16, 24 or 32 */
    int outBytesPerPixel;
    LOGPALETTE* targetPalette;
    LOGPALETTE* remapSource;
    unsigned char* indexMap;     /* 256 bytes: image index -> target index */
    unsigned char* inverseCache; /* 65536 bytes: RGB565 value -> target index */

    cImageFilter();
    /* Copies own their tables: each block is duplicated, never shared. */
    cImageFilter(const cImageFilter& other);
    ~cImageFilter();
    cImageFilter& operator=(const cImageFilter& other);

    /* Slot 0 (no ordinal of its own, so it is defined here). The library never calls it on filters (it calls
     * Release); it runs only this class's destructor. */
    virtual void* Destroy(unsigned flags)
    {
        this->~cImageFilter();
        if (flags & 1) {
            void* block = this;
            FreeAndNull(&block);
        }
        return this;
    }
    virtual void Release() = 0;                                      /* 1: destroy, with the plug-in's allocator */
    virtual void Setup(long first, long second);                     /* 2 */
    virtual unsigned long GetID() = 0;                               /* 3 */
    virtual const char* GetName() = 0;                               /* 4 */
    virtual unsigned long GetWriteDepths();                          /* 5: DEPTH_BITS_ALL */
    virtual int IsUsable();                                          /* 6: 1 */
    virtual void SetOption(long value);                              /* 7 */
    virtual int CheckStream(cInStream* input) = 0;                   /* 8: may move the stream */
    virtual int CanReadImages();                                     /* 9: 0 */
    virtual int CanReadAnimations();                                 /* 10: 0 */
    virtual int CanWriteImages();                                    /* 11: 0 */
    virtual int CanWriteAnimations();                                /* 12: 0 */
    virtual int ReadHeader(cInStream* input) = 0;                    /* 13 */
    /* 14: the next image or frame; row y lies at firstRow + y * rowStep; alpha null and 0 when not wanted */
    virtual int ReadImage(cInStream* input, unsigned char* firstRow, int rowStep, unsigned char* alphaRow,
                          int alphaStep) = 0;
    virtual int WriteImage(cOutStream* output, const unsigned char* pixels, int width, int height, int depth,
                           int rowStep, LOGPALETTE* palette, const unsigned char* alpha, int alphaStep); /* 15: 8 */
    virtual void EndRead(cInStream* input);                          /* 16 */
    virtual void EndWrite(cOutStream* output);                       /* 17 */
    virtual int GetWidth();                                          /* 18 */
    virtual int GetHeight();                                         /* 19 */
    virtual int GetPitch();                                          /* 20 */
    /* 21, 29 and 37: their exported bodies are shared with other classes, so a derived class gets its own copy
     * from this header rather than an import. */
    virtual int GetDepth() { return depth; }                         /* 21 */
    virtual int GetImageSize();                                      /* 22: pitch * height */
    virtual LOGPALETTE* GetPalette();                                /* 23 */
    virtual int GetTransparentColor(COLORREF* colour);               /* 24: 0, colour untouched */
    virtual int HasAlpha();                                          /* 25 */
    virtual int SetOutputFormat(int depth, LOGPALETTE* palette);     /* 26 */
    virtual int IsAnimation();                                       /* 27: 0 */
    virtual int GetFrameCount();                                     /* 28 */
    virtual int GetCurrentFrame() { return currentFrame; }           /* 29 */
    virtual void GetFrameRect(RECT* rect);                           /* 30: 0, 0, width, height */
    virtual long GetAnimOptionA();                                   /* 31: 0 */
    virtual long GetAnimOptionB();                                   /* 32: 0 */
    virtual long GetAnimValue();                                     /* 33: animValue */
    virtual long GetFrameValue(int frame);                           /* 34: frameValue */
    virtual long GetAnimOptionC();                                   /* 35: 1 */
    virtual long GetAnimOptionD();                                   /* 36: 0 */
    virtual void Rewind() {}                                         /* 37 */
    virtual int BeginWrite(cOutStream* output, int width, int height, int depth, long s1, long s2, long s3,
                           long s4, long s5, long s6);               /* 38: 8 */
    virtual int WriteFrame(cOutStream* output, const unsigned char* previous, const unsigned char* pixels,
                           int width, int height, int rowStep, int depth, LOGPALETTE* palette, long value,
                           long f1, long f2, long f3, long f4);      /* 39: 8 */
    virtual void FinishWrite(cOutStream* output, long value);        /* 40 */

    void ComputeLineBytes();
    int SetPaletteCount(int count);   /* makes or clears the palette block; counts above 256 become 256 */
    static int NearestColor(const LOGPALETTE* palette, int red, int green, int blue);
    int BuildRemap();
    int PrepareConversion();
    void ConvertLine(unsigned char* destination, const unsigned char* source, int count);
    int SetHasAlpha(int value);
};

#endif
