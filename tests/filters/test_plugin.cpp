// One source for the test suite's plug-ins; each build picks its ID, priority and faults with definitions:
//   PLUGIN_ID (four characters), PLUGIN_PRIORITY (absent: no GetPriority export), PLUGIN_NO_ID (GetFilterID
//   missing), PLUGIN_NULL_FILTER (CreateFilter returns null), PLUGIN_ANIMATION (reads and writes the animation
//   format below).
// Streams it reads start with the four ID characters. The animation format: ID, width, height, frame count (32-bit
// words), then the frames as 24-bit rows top-down. CanReadFile reads 12 bytes, to show that the set puts the
// stream back.
#include <new>
#include <string.h>

#include "kalvex2/filters.h"
#include "kalvex2/image_filter.h"

namespace {

const unsigned long kId = KX_FILTER_ID(PLUGIN_ID[0], PLUGIN_ID[1], PLUGIN_ID[2], PLUGIN_ID[3]);

bool StartsWithId(cInStream* input)
{
    unsigned char head[12];
    int delivered = 0;
    input->Read(head, 12, &delivered);
    return delivered >= 4 && memcmp(head, PLUGIN_ID, 4) == 0;
}

class TestFilter final : public cImageFilter {
public:
    int framesWritten = 0;
    void Release() override { delete this; }
    unsigned long GetID() override { return kId; }
    const char* GetName() override { return PLUGIN_ID; }
    int CheckStream(cInStream* input) override { return StartsWithId(input); }
#ifdef PLUGIN_ANIMATION
    int CanReadAnimations() override { return 1; }
    int CanWriteAnimations() override { return 1; }
    int IsAnimation() override { return frameCount > 1; }
    void Rewind() override { currentFrame = -1; }
    int ReadHeader(cInStream* input) override
    {
        unsigned long words[4];
        if (input->Seek(0, SEEK_FROM_START) != 0 || input->ReadDwords(words, 4) != STATUS_OK)
            return IMGERR_UNKNOWN_FORMAT;
        width = (int)words[1], height = (int)words[2], frameCount = (int)words[3];
        if (width <= 0 || height <= 0 || width > 4096 || height > 4096 || frameCount <= 0)
            return IMGERR_UNKNOWN_FORMAT;
        depth = 24;
        ComputeLineBytes();
        pitch = lineBytes;
        currentFrame = -1;
        return IMGERR_OK;
    }
    int ReadImage(cInStream* input, unsigned char* firstRow, int rowStep, unsigned char*, int) override
    {
        int frame = currentFrame + 1 < frameCount ? currentFrame + 1 : frameCount - 1;
        int at = 16 + frame * pitch * height;
        if (input->Seek(at, SEEK_FROM_START) != at)
            return IMGERR_UNKNOWN_FORMAT;
        unsigned char* row = new (std::nothrow) unsigned char[pitch];
        if (!row)
            return IMGERR_NO_MEMORY;
        int result = IMGERR_OK;
        for (int y = 0; y < height && result == IMGERR_OK; ++y) {
            if (input->ReadExact(row, pitch) != STATUS_OK)
                result = IMGERR_UNKNOWN_FORMAT;
            else if (needsConversion)
                ConvertLine(firstRow + y * rowStep, row, width);
            else
                memcpy(firstRow + y * rowStep, row, pitch);
        }
        delete[] row;
        currentFrame = frame;
        return result;
    }
    int BeginWrite(cOutStream* output, int w, int h, int d, long, long, long, long, long, long) override
    {
        if (d != 24)
            return IMGERR_BAD_DEPTH;
        width = w, height = h, depth = d, currentFrame = -1, framesWritten = 0;
        unsigned long words[4] = {kId, (unsigned long)w, (unsigned long)h, 0};
        return output->Write(words, 16) == STATUS_OK ? IMGERR_OK : IMGERR_CANT_CREATE;
    }
    // Each frame is stored whole; the previous frame must be what was written last, which the test checks by
    // storing the number of bytes that differ from it in the frame count's place when asked to.
    int WriteFrame(cOutStream* output, const unsigned char* previous, const unsigned char* pixels, int w, int h,
                   int rowStep, int, LOGPALETTE*, long value, long f1, long f2, long, long) override
    {
        user[0] = value, user[1] = f1, user[2] = f2; // what the library handed on, for the test to see
        for (int y = 0; y < h; ++y) {
            if (previous && memcmp(previous + y * rowStep, lastRows + y * w * 3, (size_t)w * 3) != 0)
                previousMismatch = 1;
            memcpy(lastRows + y * w * 3, pixels + y * rowStep, (size_t)w * 3);
            if (output->Write(pixels + y * rowStep, w * 3) != STATUS_OK)
                return IMGERR_CANT_CREATE;
        }
        ++currentFrame;
        ++framesWritten;
        return IMGERR_OK;
    }
    void FinishWrite(cOutStream* output, long) override
    {
        // The frame count goes into the header; a frame handed a wrong previous frame marks the file.
        unsigned long count = previousMismatch ? 0xBAD : (unsigned long)framesWritten;
        output->Seek(12, SEEK_FROM_START);
        output->Write(&count, 4);
        output->Seek(0, SEEK_FROM_END);
    }
    int previousMismatch = 0;
    unsigned char lastRows[3 * 64 * 64] = {};
#else
    int CanReadImages() override { return 1; }
    int ReadHeader(cInStream*) override
    {
        width = 4, height = 2, depth = 24;
        return IMGERR_OK;
    }
    int ReadImage(cInStream*, unsigned char*, int, unsigned char*, int) override { return IMGERR_OK; }
#endif
};

const char* kExtensions[] = {PLUGIN_ID, nullptr};

}  // namespace

KX_PLUGIN_EXPORT void* KX_STDCALL CreateFilter(long)
{
#ifdef PLUGIN_NULL_FILTER
    return nullptr;
#else
    return new (std::nothrow) TestFilter;
#endif
}
KX_PLUGIN_EXPORT const char* KX_STDCALL GetFilterName() { return PLUGIN_ID; }
#ifndef PLUGIN_NO_ID
KX_PLUGIN_EXPORT unsigned long KX_STDCALL GetFilterID() { return kId; }
#endif
KX_PLUGIN_EXPORT const char** KX_STDCALL GetFilterExts() { return kExtensions; }
KX_PLUGIN_EXPORT int KX_STDCALL CanReadFile(cInStream* input) { return StartsWithId(input); }
#ifdef PLUGIN_PRIORITY
KX_PLUGIN_EXPORT unsigned long KX_STDCALL GetPriority() { return PLUGIN_PRIORITY; }
#endif
