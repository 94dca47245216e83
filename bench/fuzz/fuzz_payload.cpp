// libFuzzer target: the payload pipeline on any bytes. The first byte chooses the real signature check (with the
// compiled-in key, refusing nearly everything; one mode value in sixteen, as each run costs a public-key
// operation) or one that accepts all, so that the bounds, the unpacking and the content handling behind the
// checks are reached too; another mode value fuzzes the key reader.
#include <stdint.h>
#include <string.h>

#include <vector>

#include "payload.h"

namespace {

bool AcceptAll(const uint8_t*, int32_t) { return true; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    uint8_t mode = data[0];
    std::vector<uint8_t> payload(data + 1, data + size);
    if ((mode & 15) == 2) {
        // The key reader on a slot of the input's size.
        mbedtls_mpi x;
        mbedtls_mpi_init(&x);
        fw::ReadScrambledHexNumber(&x, payload.data(), payload.size(), 0x9C);
        mbedtls_mpi_free(&x);
        return 0;
    }
    bool real = (mode & 15) == 1;
    if (!real && payload.size() >= 8) {
        // Keep allocations small enough for many runs a second; sizes at and past the bound stay as they are.
        int32_t n;
        memcpy(&n, &payload[4], 4);
        if (n > 65536 && n < fw::MAX_UNPACKED_SIZE)
            n = 129 + (n & 0xFFFF);
        memcpy(&payload[4], &n, 4);
    }
    fw::Unpacked out;
    if (fw::OpenPayload(payload.data(), payload.size(), &out, real ? fw::SignatureCheck(
                                                                        static_cast<bool (*)(const uint8_t*, int32_t)>(
                                                                            fw::CheckPayloadSignature))
                                                                  : AcceptAll) == fw::PayloadCheck::Accepted) {
        // Touch every byte the caller would write.
        volatile uint8_t x = 0;
        for (int32_t i = 0; i < out.size; ++i)
            x ^= out.data[i];
        fw::FreeUnpacked(&out);
    }
    return 0;
}
