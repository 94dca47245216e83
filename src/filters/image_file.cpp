// cImageFile: one read or write operation on an image file through a filter object of an image filter set.
// Loading into canvases and saving them is image_io.cpp's.
#include <string.h>

#include "core/alloc.h"
#include "core/stream_util.h"
#include "kalvex2/image_file.h"

#if KX_ABI32
// The layout is the interface; offsetof on a class with a virtual table is exact with this compiler.
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
static_assert(sizeof(cImageFile) == 36, "an image file is nine 32-bit members");
static_assert(offsetof(cImageFile, previousFrame) == 24 && offsetof(cImageFile, filter) == 32,
              "image file members in order");
static_assert(sizeof(cImageFilter) == 4 + 23 * 4, "the filter base is a table pointer and 23 members");
static_assert(offsetof(cImageFilter, frameCount) == 44 && offsetof(cImageFilter, palette) == 60 &&
                  offsetof(cImageFilter, outDepth) == 72 && offsetof(cImageFilter, inverseCache) == 92,
              "filter base members in order");
#endif

namespace {

void ReleaseFilter(cImageFilter*& filter)
{
    if (filter)
        filter->Release();
    filter = nullptr;
}

void DeleteInput(cImageFile* file)
{
    if (file->ownsInput && file->input)
        file->input->Delete();
    file->input = nullptr;
    file->ownsInput = 0;
}

void DeleteOutput(cImageFile* file)
{
    if (file->ownsOutput && file->output)
        file->output->Destroy(1);
    file->output = nullptr;
    file->ownsOutput = 0;
}

void FreePrevious(cImageFile* file)
{
    void* block = file->previousFrame;
    FreeAndNull(&block);
    file->previousFrame = nullptr;
    file->previousFrameBytes = 0;
}

bool KnownDepth(int depth)
{
    return depth == 8 || depth == 15 || depth == 16 || depth == 24 || depth == 32;
}

unsigned long DepthBit(int depth)
{
    switch (depth) {
    case 8: return DEPTH_BIT_8;
    case 15: return DEPTH_BIT_15;
    case 16: return DEPTH_BIT_16;
    case 24: return DEPTH_BIT_24;
    case 32: return DEPTH_BIT_32;
    default: return 0;
    }
}

}  // namespace

// ---- lifetime ----

cImageFile::cImageFile(cImageFilterSet* set)
    : filterSet(set), input(nullptr), ownsInput(0), prepared(0), output(nullptr), ownsOutput(0),
      previousFrame(nullptr), previousFrameBytes(0), filter(nullptr)
{
}

cImageFile::~cImageFile()
{
    FreePrevious(this);
    ReleaseFilter(filter);
    DeleteOutput(this);
    DeleteInput(this);
}

// The filter object, the streams and the frame copy belong to one image file only. The copy takes the set and a
// filter object of its own for the same format; streams stay with the original.
cImageFile& cImageFile::operator=(const cImageFile& other)
{
    if (this == &other)
        return *this;
    FreePrevious(this);
    ReleaseFilter(filter);
    DeleteOutput(this);
    DeleteInput(this);
    prepared = 0;
    filterSet = other.filterSet;
    if (other.filter && filterSet)
        filter = static_cast<cImageFilter*>(filterSet->CreateByID(other.filter->GetID()));
    return *this;
}

// ---- choosing a filter and opening ----

int cImageFile::SelectFilterAt(int index)
{
    if (!filterSet || index < 0 || index >= filterSet->GetCount())
        return 0;
    cImageFilter* made = static_cast<cImageFilter*>(filterSet->CreateAt(index));
    if (!made)
        return 0;
    ReleaseFilter(filter);
    filter = made;
    return 1;
}

int cImageFile::SelectFilterByID(unsigned long id)
{
    if (!filterSet)
        return 0;
    cImageFilter* made = static_cast<cImageFilter*>(filterSet->CreateByID(id));
    if (!made)
        return 0;
    ReleaseFilter(filter);
    filter = made;
    return 1;
}

int cImageFile::OpenFile(const char* path)
{
    if (path && !input) {
        cFileInStream* stream = kx::New<cFileInStream>();
        if (!stream)
            return IMGERR_NO_MEMORY;
        input = stream;
        ownsInput = 1;
        if (stream->Open(path) != STATUS_OK) {
            DeleteInput(this);
            return IMGERR_CANT_OPEN;
        }
        return Detect();
    }
    if (!input)
        return IMGERR_NO_SOURCE;
    return Detect();
}

int cImageFile::OpenStream(cInStream* stream)
{
    if (input)
        return IMGERR_ALREADY_OPEN;
    if (!stream)
        return IMGERR_NO_SOURCE;
    input = stream;
    ownsInput = 0;
    return Detect();
}

int cImageFile::Detect()
{
    if (!input)
        return IMGERR_NO_SOURCE;
    if (filter) {
        int origin = input->Tell();
        if (!filter->CheckStream(input))
            ReleaseFilter(filter);
        if (input->Tell() != origin)
            input->Seek(origin, SEEK_FROM_START);
    }
    if (!filter && filterSet)
        filter = static_cast<cImageFilter*>(filterSet->CreateForStream(input));
    int result = IMGERR_UNKNOWN_FORMAT;
    if (filter) {
        result = filter->ReadHeader(input);
        if (result == IMGERR_OK) {
            if (filter->GetDepth() >= 8) {
                prepared = 0;
                return IMGERR_OK;
            }
            result = IMGERR_DEPTH_TOO_LOW;
        }
    }
    ReleaseFilter(filter);
    DeleteInput(this);
    prepared = 0;
    return result;
}

// ---- reading ----

int cImageFile::SetReadFormat(int width, int height, int depth, LOGPALETTE* palette)
{
    if (!filter || !input)
        return IMGERR_NOT_OPEN;
    if (width != filter->GetWidth() || height != filter->GetHeight())
        return IMGERR_BAD_SIZE;
    if (depth == 0)
        depth = filter->GetDepth();
    if (depth == 8 && !palette)
        palette = filter->GetPalette();
    int result = filter->SetOutputFormat(depth, palette);
    if (result == IMGERR_OK)
        prepared = 1;
    return result;
}

int cImageFile::ReadImage(unsigned char* firstRow, int width, int height, int rowStep, int depth,
                          LOGPALETTE* palette, unsigned char* alphaRow, int alphaStep)
{
    if (!filter || !input)
        return IMGERR_NOT_OPEN;
    if (!prepared) {
        int result = SetReadFormat(width, height, depth, palette);
        if (result != IMGERR_OK)
            return result;
    }
    return filter->ReadImage(input, firstRow, rowStep, alphaRow, alphaStep);
}

int cImageFile::ReadFrame(unsigned char* firstRow, int rowStep, int index)
{
    if (!prepared || !filter)
        return IMGERR_NO_FILTER;
    if (!filter->IsAnimation())
        return IMGERR_NOT_SUPPORTED;
    int count = filter->GetFrameCount();
    if (index >= count)
        index = count - 1;
    int current = filter->GetCurrentFrame();
    int reads;
    if (current < index) {
        reads = index - current;
    } else if (current == index) {
        return IMGERR_OK;
    } else {
        filter->Rewind();
        reads = index + 1;
    }
    for (int i = 0; i < reads; ++i) {
        int result = filter->ReadImage(input, firstRow, rowStep, nullptr, 0);
        if (result != IMGERR_OK)
            return result;
    }
    return IMGERR_OK;
}

void cImageFile::Rewind()
{
    if (filter && filter->IsAnimation())
        filter->Rewind();
}

// ---- writing ----

int cImageFile::SaveImage(const char* path, const unsigned char* pixels, int width, int height, int depth,
                          int rowStep, LOGPALETTE* palette, const unsigned char* alpha, int alphaStep)
{
    if (!filter)
        return IMGERR_NO_FILTER;
    if (!path || !pixels || width <= 0 || height <= 0)
        return IMGERR_BAD_PARAM;
    if (!KnownDepth(depth) || !(filter->GetWriteDepths() & DepthBit(depth)))
        return IMGERR_BAD_DEPTH;
    // The image goes to a file beside the target first; the target is replaced only when every byte reached
    // the disk, so a failed save leaves the previous file as it was.
    size_t length = strlen(path);
    static const char kSuffix[] = ".kxsave";
    void* block = nullptr;
    if (!AllocRetry(length + sizeof(kSuffix), &block))
        return IMGERR_NO_MEMORY;
    char* temporary = static_cast<char*>(block);
    memcpy(temporary, path, length);
    memcpy(temporary + length, kSuffix, sizeof(kSuffix));
    int result = IMGERR_CANT_CREATE;
    cFileOutStream* stream = kx::New<cFileOutStream>();
    HANDLE handle = stream ? FileCreate(temporary) : INVALID_HANDLE_VALUE;
    if (!stream) {
        result = IMGERR_NO_MEMORY;
    } else if (handle != INVALID_HANDLE_VALUE && stream->Open(handle, 4096) == STATUS_OK) {
        result = filter->WriteImage(stream, pixels, width, height, depth, rowStep, palette, alpha, alphaStep);
        if (result == IMGERR_OK && stream->Flush() != STATUS_OK)
            result = IMGERR_CANT_CREATE;
    }
    // The stream goes first: its destructor may still write to the handle.
    kx::Delete(stream);
    if (handle != INVALID_HANDLE_VALUE) {
        FileClose(handle);
        if (result == IMGERR_OK && !MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING))
            result = IMGERR_CANT_CREATE;
        if (result != IMGERR_OK)
            DeleteFileA(temporary);
    }
    FreeAndNull(&block);
    return result;
}

int cImageFile::BeginWriteFile(const char* path, int width, int height, int depth, long s1, long s2, long s3,
                               long s4, long s5, long s6)
{
    if (!filter)
        return IMGERR_NO_FILTER;
    if (!filter->CanWriteAnimations())
        return IMGERR_NOT_SUPPORTED;
    if (path && !output) {
        cFileOutStream* stream = kx::New<cFileOutStream>();
        if (!stream)
            return IMGERR_NO_MEMORY;
        output = stream;
        ownsOutput = 1;
        if (stream->Create(path, 4096) != STATUS_OK) {
            DeleteOutput(this);
            return IMGERR_CANT_CREATE;
        }
    }
    if (!output)
        return IMGERR_NO_SOURCE;
    return filter->BeginWrite(output, width, height, depth, s1, s2, s3, s4, s5, s6);
}

int cImageFile::BeginWriteStream(cOutStream* stream, int width, int height, int depth, long s1, long s2, long s3,
                                 long s4, long s5, long s6)
{
    if (!filter)
        return IMGERR_NO_FILTER;
    if (!filter->CanWriteAnimations())
        return IMGERR_NOT_SUPPORTED;
    if (!stream)
        return IMGERR_BAD_PARAM;
    if (output)
        Close();
    output = stream;
    ownsOutput = 0;
    return filter->BeginWrite(output, width, height, depth, s1, s2, s3, s4, s5, s6);
}

namespace {

int CheckFrame(cImageFile* file, int width, int height, int depth)
{
    if (!file->filter || !file->output)
        return IMGERR_NOT_OPEN;
    if (!file->filter->CanWriteAnimations())
        return IMGERR_NOT_SUPPORTED;
    if (width != file->filter->GetWidth() || height != file->filter->GetHeight())
        return IMGERR_BAD_SIZE;
    if (depth != file->filter->GetDepth())
        return IMGERR_BAD_DEPTH;
    return IMGERR_OK;
}

}  // namespace

int cImageFile::WriteFrame(const unsigned char* pixels, int width, int height, int rowStep, int depth,
                           LOGPALETTE* palette, long f1, long f2, long f3, long f4)
{
    int result = CheckFrame(this, width, height, depth);
    if (result != IMGERR_OK)
        return result;
    if (!pixels || width <= 0 || height <= 0)
        return IMGERR_BAD_PARAM;
    if (filter->GetCurrentFrame() == -1)
        FreePrevious(this);
    unsigned long step = rowStep < 0 ? 0UL - (unsigned long)rowStep : (unsigned long)rowStep;
    unsigned long long bytes = (unsigned long long)step * (unsigned long)height;
    if (bytes > 0x7FFFFFFF)
        return IMGERR_BAD_PARAM;
    // A frame kept from a call with another row step has another size and layout: it does not describe the
    // new frame, and handing it on would let the filter read past its end.
    if (previousFrame && previousFrameBytes != bytes)
        FreePrevious(this);
    const unsigned char* previous = previousFrame;
    if (previous && rowStep < 0)
        previous += (unsigned long)(height - 1) * step;
    result = filter->WriteFrame(output, previous, pixels, width, height, rowStep, depth, palette, 0, f1, f2, f3, f4);
    if (result != IMGERR_OK)
        return result;
    if (!previousFrame) {
        void* block = nullptr;
        if (!AllocRetry((size_t)bytes, &block))
            return IMGERR_NO_MEMORY;
        previousFrame = static_cast<unsigned char*>(block);
        previousFrameBytes = (unsigned long)bytes;
    }
    const unsigned char* lowest = rowStep < 0 ? pixels - (unsigned long)(height - 1) * step : pixels;
    memcpy(previousFrame, lowest, (size_t)bytes);
    return IMGERR_OK;
}

int cImageFile::WriteFrameEx(const unsigned char* pixels, const unsigned char* previous, int width, int height,
                             int rowStep, int depth, LOGPALETTE* palette, long e1, long e2, long e3, long e4,
                             long e5)
{
    int result = CheckFrame(this, width, height, depth);
    if (result != IMGERR_OK)
        return result;
    FreePrevious(this);
    return filter->WriteFrame(output, previous, pixels, width, height, rowStep, depth, palette, e2, e1, e3, e4, e5);
}

void cImageFile::FinishWrite(long value)
{
    if (filter && output)
        filter->FinishWrite(output, value);
}

int cImageFile::GetWrittenSize()
{
    if (!filter || !output)
        return IMGERR_NOT_OPEN;
    return output->GetSize();
}

void cImageFile::Close()
{
    prepared = 0;
    FreePrevious(this);
    if (filter) {
        if (output)
            filter->EndWrite(output);
        if (input)
            filter->EndRead(input);
    }
    DeleteOutput(this);
    DeleteInput(this);
}

void cImageFile::SetOption(long value)
{
    if (filter)
        filter->SetOption(value);
}

// ---- what the filter says ----

int cImageFile::GetWidth() { return filter ? filter->GetWidth() : 0; }
int cImageFile::GetHeight() { return filter ? filter->GetHeight() : 0; }
int cImageFile::GetPitch() { return filter ? filter->GetPitch() : 0; }
int cImageFile::GetDepth() { return filter ? filter->GetDepth() : 0; }
int cImageFile::GetImageSize() { return filter ? filter->GetImageSize() : 0; }
LOGPALETTE* cImageFile::GetPalette() { return filter ? filter->GetPalette() : nullptr; }
int cImageFile::GetTransparentColor(COLORREF* colour) { return filter ? filter->GetTransparentColor(colour) : 0; }
int cImageFile::HasAlpha() { return filter ? filter->HasAlpha() : 0; }
const char* cImageFile::GetFilterName() { return filter ? filter->GetName() : nullptr; }
unsigned long cImageFile::GetFilterID() { return filter ? filter->GetID() : 0; }
int cImageFile::GetFilterIndex()
{
    return filter && filterSet ? filterSet->FindID(filter->GetID()) : -1;
}
unsigned long cImageFile::GetWriteDepths() { return filter ? filter->GetWriteDepths() : 0; }
int cImageFile::CanWriteImages() { return filter ? filter->CanWriteImages() : 0; }
int cImageFile::CanWriteAnimations() { return filter ? filter->CanWriteAnimations() : 0; }
int cImageFile::IsAnimation() { return filter ? filter->IsAnimation() : 0; }
int cImageFile::GetFrameCount() { return filter ? filter->GetFrameCount() : 0; }
int cImageFile::GetCurrentFrame() { return filter ? filter->GetCurrentFrame() : 0; }
void cImageFile::GetFrameRect(RECT* rect)
{
    if (filter)
        filter->GetFrameRect(rect);
}
long cImageFile::GetAnimOptionA() { return filter ? filter->GetAnimOptionA() : 0; }
long cImageFile::GetAnimOptionB() { return filter ? filter->GetAnimOptionB() : 0; }
long cImageFile::GetAnimValue() { return filter ? filter->GetAnimValue() : 0; }
long cImageFile::GetFrameValue(int frame) { return filter ? filter->GetFrameValue(frame) : 0; }
long cImageFile::GetAnimOptionC() { return filter ? filter->GetAnimOptionC() : 0; }
long cImageFile::GetAnimOptionD() { return filter ? filter->GetAnimOptionD() : 0; }
