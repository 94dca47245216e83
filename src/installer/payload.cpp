#include "payload.h"

#include <stdlib.h>
#include <string.h>

#include "mbedtls/platform_util.h"
#include "mbedtls/rsa.h"
#include "mbedtls/sha1.h"

namespace fw {

namespace {

uint8_t RotateRight(uint8_t k) { return uint8_t((k >> 1) | (k << 7)); }
uint8_t RotateLeft(uint8_t k) { return uint8_t((k << 1) | (k >> 7)); }

int32_t ReadI32(const uint8_t* p)
{
    return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
}

int DigitValue(unsigned char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

}  // namespace

void ClearAndFree(void* block, size_t size)
{
    if (!block)
        return;
    mbedtls_platform_zeroize(block, size);
    free(block);
}

int ReadScrambledHexNumber(mbedtls_mpi* number, const unsigned char* stored, size_t slotSize, uint8_t seed)
{
    uint8_t k = seed;
    uint8_t check = seed;
    size_t end = 0;
    for (;; ++end) {
        if (end + 1 >= slotSize)  // no room for the check byte: the text never ended inside its slot
            return MBEDTLS_ERR_MPI_BAD_INPUT_DATA;
        k = RotateRight(k);
        check = uint8_t(check + stored[end] * (2 + (k & 1)));
        if (stored[end] == k)
            break;
    }
    if (stored[end + 1] != check)
        return MBEDTLS_ERR_MPI_BAD_INPUT_DATA;

    // Digits into a big-endian byte string, least significant digit last; the reading keeps `number` untouched
    // until every character has been accepted.
    size_t bytes = (end + 1) / 2;
    unsigned char* binary = static_cast<unsigned char*>(calloc(bytes ? bytes : 1, 1));
    if (!binary)
        return MBEDTLS_ERR_MPI_ALLOC_FAILED;
    bool negative = false;
    int result = 0;
    for (size_t i = end; i-- > 0;) {
        k = RotateLeft(k);
        unsigned char c = stored[i] ^ k;
        if (i == 0 && c == '-') {
            negative = true;
            break;
        }
        int value = DigitValue(c);
        if (value < 0) {
            result = MBEDTLS_ERR_MPI_INVALID_CHARACTER;
            break;
        }
        size_t nibble = end - 1 - i;
        binary[bytes - 1 - nibble / 2] |= uint8_t(value << (4 * (nibble % 2)));
    }
    if (result == 0) {
        result = mbedtls_mpi_read_binary(number, binary, bytes);
        if (result == 0 && negative && mbedtls_mpi_cmp_int(number, 0) != 0)
            number->s = -1;
    }
    ClearAndFree(binary, bytes ? bytes : 1);
    return result;
}

bool CheckPayloadSignature(const StoredKey& key, const uint8_t* data, int32_t size)
{
    if (size <= PAYLOAD_SIGNATURE_SIZE)
        return false;
    mbedtls_mpi modulus, exponent;
    mbedtls_mpi_init(&modulus);
    mbedtls_mpi_init(&exponent);
    mbedtls_rsa_context rsa;
    mbedtls_rsa_init(&rsa, MBEDTLS_RSA_PKCS_V15, 0);
    unsigned char digest[20];
    bool passed = false;

    size_t bits = 0;
    if (ReadScrambledHexNumber(&modulus, key.modulus, key.modulusSlot, KEY_SEED) == 0 &&
        ReadScrambledHexNumber(&exponent, key.exponent, key.exponentSlot, KEY_SEED) == 0 &&
        mbedtls_mpi_cmp_int(&modulus, 0) > 0 && mbedtls_mpi_cmp_int(&exponent, 0) > 0)
        bits = mbedtls_mpi_bitlen(&modulus);
    if (bits >= MIN_MODULUS_BITS && bits <= MAX_MODULUS_BITS &&
        mbedtls_rsa_import(&rsa, &modulus, nullptr, nullptr, nullptr, &exponent) == 0 &&
        mbedtls_rsa_complete(&rsa) == 0 && mbedtls_rsa_check_pubkey(&rsa) == 0 &&
        mbedtls_rsa_get_len(&rsa) == PAYLOAD_SIGNATURE_SIZE &&
        mbedtls_sha1_ret(data, size_t(size - PAYLOAD_SIGNATURE_SIZE), digest) == 0) {
        passed = mbedtls_rsa_rsassa_pkcs1_v15_verify(&rsa, nullptr, nullptr, MBEDTLS_RSA_PUBLIC, MBEDTLS_MD_SHA1,
                                                     sizeof digest, digest,
                                                     data + size - PAYLOAD_SIGNATURE_SIZE) == 0;
    }
    mbedtls_platform_zeroize(digest, sizeof digest);
    mbedtls_rsa_free(&rsa);
    mbedtls_mpi_free(&modulus);
    mbedtls_mpi_free(&exponent);
    return passed;
}

PayloadCheck OpenPayload(const uint8_t* payload, size_t size, Unpacked* out, SignatureCheck check)
{
    out->data = nullptr;
    out->size = 0;
    out->capacity = 0;
    if (size < MIN_PAYLOAD_SIZE)
        return PayloadCheck::TooSmall;
    if (size > 0x7FFFFFFF)
        return PayloadCheck::TooLarge;
    int32_t total = int32_t(size);
    if (!check(payload, total))
        return PayloadCheck::BadSignature;
    int32_t offset = ReadI32(payload);
    int32_t unpackedSize = ReadI32(payload + 4);
    // The packed data ends where the signature begins; an offset inside the signature would give it a
    // negative length.
    if (offset < 0 || offset >= total - PAYLOAD_SIGNATURE_SIZE)
        return PayloadCheck::OffsetOutside;
    if (unpackedSize <= PAYLOAD_SIGNATURE_SIZE || unpackedSize >= MAX_UNPACKED_SIZE)
        return PayloadCheck::SizeOutside;
    int32_t capacity = unpackedSize + UNPACK_SLACK;
    uint8_t* content = static_cast<uint8_t*>(calloc(size_t(capacity), 1));
    if (!content)
        return PayloadCheck::NoMemory;
    if (UnpackPayload(content, capacity, payload + offset, total - offset - PAYLOAD_SIGNATURE_SIZE) != 0) {
        ClearAndFree(content, size_t(capacity));
        return PayloadCheck::UnpackFailed;
    }
    if (!check(content, unpackedSize)) {
        ClearAndFree(content, size_t(capacity));
        return PayloadCheck::BadContentSignature;
    }
    out->data = content;
    out->size = unpackedSize;
    out->capacity = capacity;
    return PayloadCheck::Accepted;
}

void FreeUnpacked(Unpacked* unpacked)
{
    ClearAndFree(unpacked->data, size_t(unpacked->capacity));
    unpacked->data = nullptr;
    unpacked->size = 0;
    unpacked->capacity = 0;
}

}  // namespace fw
