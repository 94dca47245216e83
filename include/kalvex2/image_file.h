/* Kalvex2 SDK: image files read and written through the image filters of a cImageFilterSet, and the functions
 * that load and save canvases with them.
 *
 * A cImageFile owns one filter object and the streams of one read or write operation. Its operations return the
 * IMGERR_ results of image_filter.h (0 is success). Assignment never shares what the original owns: the target
 * gets a filter of its own with the same ID (when the set can make one) and no streams. */
#ifndef KALVEX2_IMAGE_FILE_H
#define KALVEX2_IMAGE_FILE_H

#include <windows.h>
#include "base.h"
#include "canvas.h"
#include "filters.h"
#include "image_filter.h"
#include "streams.h"

/* Flags of LoadImageFile and LoadImageStream. */
enum {
    LOAD_KEEP_DEPTH = 1,   /* keep the canvas's pixel depth and convert the image to it */
    LOAD_KEEP_PALETTE = 2  /* keep the palette of an 8-bit canvas and remap the image to it */
};

class KX_API cImageFile {
public:
    cImageFilterSet* filterSet;
    cInStream* input;
    int ownsInput;
    int prepared;              /* the filter accepted the wanted pixel format */
    cOutStream* output;
    int ownsOutput;
    unsigned char* previousFrame;
    unsigned long previousFrameBytes; /* size of the previousFrame block */
    cImageFilter* filter;

    cImageFile(cImageFilterSet* set);
    ~cImageFile();
    cImageFile& operator=(const cImageFile& other);

    int SelectFilterAt(int index);
    int SelectFilterByID(unsigned long id);
    int OpenFile(const char* path);
    int OpenStream(cInStream* stream);
    int Detect();
    int SetReadFormat(int width, int height, int depth, LOGPALETTE* palette);
    int ReadImage(unsigned char* firstRow, int width, int height, int rowStep, int depth, LOGPALETTE* palette,
                  unsigned char* alphaRow, int alphaStep);
    int ReadFrame(unsigned char* firstRow, int rowStep, int frame);
    void Rewind();
    /* Writes a still image. The file at path is replaced only when the whole image was written. */
    int SaveImage(const char* path, const unsigned char* pixels, int width, int height, int depth, int rowStep,
                  LOGPALETTE* palette, const unsigned char* alpha, int alphaStep);
    int BeginWriteFile(const char* path, int width, int height, int depth, long s1, long s2, long s3, long s4,
                       long s5, long s6);
    int BeginWriteStream(cOutStream* stream, int width, int height, int depth, long s1, long s2, long s3, long s4,
                         long s5, long s6);
    int WriteFrame(const unsigned char* pixels, int width, int height, int rowStep, int depth, LOGPALETTE* palette,
                   long f1, long f2, long f3, long f4);
    int WriteFrameEx(const unsigned char* pixels, const unsigned char* previous, int width, int height, int rowStep,
                     int depth, LOGPALETTE* palette, long e1, long e2, long e3, long e4, long e5);
    void FinishWrite(long value);
    int GetWrittenSize();
    void Close();
    void SetOption(long value);

    /* what the selected filter says; 0 (or null, or -1 for the index) without a filter */
    int GetWidth();
    int GetHeight();
    int GetPitch();
    int GetDepth();
    int GetImageSize();
    LOGPALETTE* GetPalette();
    int GetTransparentColor(COLORREF* colour);
    int HasAlpha();
    const char* GetFilterName();
    unsigned long GetFilterID();
    int GetFilterIndex();
    unsigned long GetWriteDepths();
    int CanWriteImages();
    int CanWriteAnimations();
    int IsAnimation();
    int GetFrameCount();
    int GetCurrentFrame();
    void GetFrameRect(RECT* rect);
    long GetAnimOptionA();
    long GetAnimOptionB();
    long GetAnimValue();
    long GetFrameValue(int frame);
    long GetAnimOptionC();
    long GetAnimOptionD();

private:
    cImageFile(const cImageFile&); /* not exported: assign to an object made on a set instead */
};

/* Loading and saving canvases: 1 on success, 0 on failure. */
KX_API int KX_CDECL LoadImageFile(cImageFilterSet* set, const char* path, cCanvas* canvas, unsigned long* filterId,
                                  int flags);
KX_API int KX_CDECL LoadImageStream(cImageFilterSet* set, cInStream* input, cCanvas* canvas,
                                    unsigned long* filterId, int flags);
KX_API int KX_CDECL IsImageFile(cImageFilterSet* set, const char* path);
/* Copies the palette block (header and entries) of an image of at most 8 bits per pixel to destination, which
 * must hold IMAGE_PALETTE_BYTES. */
KX_API int KX_CDECL ReadImageFilePalette(cImageFilterSet* set, const char* path, LOGPALETTE* destination);
KX_API int KX_CDECL SaveImageFile(cImageFilterSet* set, const char* path, cCanvas* canvas, unsigned long filterId);
KX_API int KX_CDECL IsStillImageFile(cImageFilterSet* set, const char* path, int* still);
/* Animations frame by frame; the first argument is not used. */
KX_API int KX_CDECL OpenAnimationFile(void* unused, const char* path, cCanvas* canvas, cImageFile* file, int flags);
KX_API int KX_CDECL ReadAnimationFrame(void* unused, cCanvas* canvas, cImageFile* file);
KX_API void KX_CDECL CloseAnimationFile(void* unused, cImageFile* file);
KX_API int KX_CDECL BeginAnimationFile(void* unused, const char* path, cCanvas* canvas, cImageFile* file, long p,
                                       long q, long r, long s);
KX_API int KX_CDECL WriteAnimationFrame(void* unused, cCanvas* canvas, cImageFile* file, long value);

#endif
