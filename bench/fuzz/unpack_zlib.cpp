// UnpackPayload for the native fuzzing build: the same contract as the stream version the program uses (one
// zlib stream into a fixed block, input after the stream's end ignored), straight on zlib, since the library's
// streams need the Windows headers.
#include <zlib.h>

#include "kalvex2/base.h"
#include "payload.h"

namespace fw {

int UnpackPayload(uint8_t* destination, int32_t capacity, const uint8_t* packed, int32_t length)
{
    if (length < 0 || capacity < 0)
        return ERR_READ;
    z_stream z = {};
    if (inflateInit(&z) != Z_OK)
        return ERR_NO_MEMORY;
    z.next_in = const_cast<Bytef*>(packed);
    z.avail_in = uInt(length);
    z.next_out = destination;
    z.avail_out = uInt(capacity);
    int r = inflate(&z, Z_FINISH);
    int status = STATUS_OK;
    if (r != Z_STREAM_END) {
        if (r == Z_BUF_ERROR && z.avail_out == 0) {
            // Out of room: more output is waiting exactly when one more byte of room would be used.
            unsigned char spare;
            z.next_out = &spare;
            z.avail_out = 1;
            r = inflate(&z, Z_FINISH);
            status = (r == Z_STREAM_END && z.avail_out == 1) ? STATUS_OK : (z.avail_out == 0 ? ERR_BUFFER_FULL
                                                                                              : ERR_BAD_DATA);
        } else {
            status = r == Z_MEM_ERROR ? ERR_NO_MEMORY : ERR_BAD_DATA;
        }
    }
    inflateEnd(&z);
    return status;
}

}  // namespace fw
