// Unpacking through the library's own streams: the packed bytes as a memory input, the caller's fixed block as a
// memory output that refuses to grow.
#include "kalvex2/compress.h"
#include "payload.h"

namespace fw {

int UnpackPayload(uint8_t* destination, int32_t capacity, const uint8_t* packed, int32_t length)
{
    cMemInStream input;
    int status = input.Open(packed, length);
    if (status != STATUS_OK)
        return status;
    cMemOutStream output;
    status = output.AttachBuffer(destination, capacity);
    if (status != STATUS_OK)
        return status;
    return InflateStream(&output, &input, length);
}

}  // namespace fw
