// Payloads: a zlib stream of the extension file between a small header and an RSA signature, the unpacked file
// carrying a signature of its own. Plain C++ without Windows headers (UnpackPayload's stream version aside), so
// that the pipeline also builds natively for fuzzing.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "mbedtls/bignum.h"

namespace fw {

enum {
    PAYLOAD_SIGNATURE_SIZE = 128,
    PAYLOAD_HEADER_SIZE = 8,
    MIN_PAYLOAD_SIZE = PAYLOAD_HEADER_SIZE + PAYLOAD_SIGNATURE_SIZE,
    MAX_UNPACKED_SIZE = 16000000,
    UNPACK_SLACK = 1024,
    KEY_SEED = 0x9C,
    MIN_MODULUS_BITS = 1017,
    MAX_MODULUS_BITS = 1024
};

// A public key as the program stores it: the modulus and exponent as scrambled hexadecimal strings, each in a
// slot of fixed size (digits, the scrambled zero that ends them, a check byte).
struct StoredKey {
    const unsigned char* modulus;
    size_t modulusSlot;
    const unsigned char* exponent;
    size_t exponentSlot;
};

extern const StoredKey kCompiledKey;

// Reads one number from its stored form; the reading never looks past slotSize bytes. 0 on success; otherwise
// an mbed TLS error and the number is left as it was.
int ReadScrambledHexNumber(mbedtls_mpi* number, const unsigned char* stored, size_t slotSize, uint8_t seed);

// True when the last 128 bytes of data are an RSASSA-PKCS1-v1_5 (SHA-1) signature by key over the bytes before
// them. A key that does not read, or whose modulus is not 1017 to 1024 bits, accepts nothing.
bool CheckPayloadSignature(const StoredKey& key, const uint8_t* data, int32_t size);
inline bool CheckPayloadSignature(const uint8_t* data, int32_t size)
{
    return CheckPayloadSignature(kCompiledKey, data, size);
}

// Inflates one zlib stream of length bytes into destination, never writing past capacity. 0 on success, else
// ERR_BAD_DATA (corrupt or truncated stream), ERR_BUFFER_FULL (more than capacity bytes) or ERR_NO_MEMORY.
int UnpackPayload(uint8_t* destination, int32_t capacity, const uint8_t* packed, int32_t length);

// What a payload holds once it passed every check: size bytes of content (its own signature included) at data,
// in a block of capacity bytes.
struct Unpacked {
    uint8_t* data;
    int32_t size;
    int32_t capacity;
};

enum class PayloadCheck {
    Accepted, TooSmall, TooLarge, BadSignature, OffsetOutside, SizeOutside, NoMemory, UnpackFailed,
    BadContentSignature
};

typedef bool (*SignatureCheck)(const uint8_t* data, int32_t size);

// Runs a payload of size bytes through every check in order and unpacks it. On Accepted, *out holds the content;
// release it with FreeUnpacked. On any failure nothing is left allocated.
PayloadCheck OpenPayload(const uint8_t* payload, size_t size, Unpacked* out,
                         SignatureCheck check = static_cast<bool (*)(const uint8_t*, int32_t)>(CheckPayloadSignature));

// Clears the content and frees it.
void FreeUnpacked(Unpacked* unpacked);

// Clears size bytes and frees the block (null is fine).
void ClearAndFree(void* block, size_t size);

}  // namespace fw
