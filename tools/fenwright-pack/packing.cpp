#include "packing.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <zlib.h>

#include "block.h"
#include "mbedtls/rsa.h"
#include "mbedtls/sha1.h"

namespace fwpack {

namespace {

void PutU32(Bytes& out, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out[at + i] = uint8_t(value >> (8 * i));
}

// Randomness only blinds the private operation; the signature itself is deterministic.
int Blinding(void*, unsigned char* out, size_t size)
{
    for (size_t i = 0; i < size; ++i)
        out[i] = uint8_t(rand() >> 7);
    return 0;
}

}  // namespace

Signer::Signer() { mbedtls_pk_init(&key_); }
Signer::~Signer() { mbedtls_pk_free(&key_); }

bool Signer::Load(const std::string& keyText)
{
    mbedtls_pk_free(&key_);
    mbedtls_pk_init(&key_);
    // PEM text must be handed over with its terminating zero.
    const unsigned char* text = reinterpret_cast<const unsigned char*>(keyText.c_str());
    size_t size = keyText.find("-----BEGIN") != std::string::npos ? keyText.size() + 1 : keyText.size();
    return mbedtls_pk_parse_key(&key_, text, size, nullptr, 0) == 0 && mbedtls_pk_get_type(&key_) == MBEDTLS_PK_RSA;
}

bool Signer::Sign(const uint8_t* data, size_t size, uint8_t signature[128]) const
{
    if (mbedtls_pk_get_type(&key_) != MBEDTLS_PK_RSA)
        return false;
    mbedtls_rsa_context* rsa = mbedtls_pk_rsa(key_);
    if (mbedtls_rsa_get_len(rsa) != 128)
        return false;
    unsigned char digest[20];
    mbedtls_sha1_ret(data, size, digest);
    return mbedtls_rsa_rsassa_pkcs1_v15_sign(rsa, Blinding, nullptr, MBEDTLS_RSA_PRIVATE, MBEDTLS_MD_SHA1, 20, digest,
                                             signature) == 0;
}

bool Signer::RawPrivate(const uint8_t block[128], uint8_t out[128]) const
{
    if (mbedtls_pk_get_type(&key_) != MBEDTLS_PK_RSA)
        return false;
    return mbedtls_rsa_private(mbedtls_pk_rsa(key_), Blinding, nullptr, block, out) == 0;
}

Bytes Signer::Signed(const Bytes& data) const
{
    Bytes out = data;
    out.resize(data.size() + 128);
    if (!Sign(data.data(), data.size(), out.data() + data.size()))
        return Bytes();
    return out;
}

Bytes Deflate(const Bytes& data, int level)
{
    uLongf size = compressBound(uLong(data.size()));
    Bytes out(size);
    if (compress2(out.data(), &size, data.data(), uLong(data.size()), level) != Z_OK)
        return Bytes();
    out.resize(size);
    return out;
}

Bytes SealPayload(const Signer& signer, int32_t offset, int32_t unpackedSize, const Bytes& packed)
{
    size_t start = offset >= 8 ? size_t(offset) : 8;
    Bytes body(start, 0);
    PutU32(body, 0, uint32_t(offset));
    PutU32(body, 4, uint32_t(unpackedSize));
    body.insert(body.end(), packed.begin(), packed.end());
    return signer.Signed(body);
}

Bytes MakePayload(const Signer& signer, const Bytes& file)
{
    Bytes content = signer.Signed(file);
    if (content.empty())
        return Bytes();
    return SealPayload(signer, 8, int32_t(content.size()), Deflate(content));
}

std::pair<Bytes, Bytes> ScrambleNames(const std::string& source, const std::string& name)
{
    uint8_t key = fw::NAME_KEY_START;
    std::pair<Bytes, Bytes> out;
    for (char c : source) {
        out.first.push_back(uint8_t(c) ^ key);
        key = fw::NextNameKey(key);
    }
    for (char c : name) {
        out.second.push_back(uint8_t(c) ^ key);
        key = fw::NextNameKey(key);
    }
    out.first.push_back(0);
    out.second.push_back(0);
    return out;
}

Bytes MakeBlock(const std::vector<std::pair<std::string, std::string>>& entries)
{
    size_t records = 16 + 16 * entries.size();
    Bytes block(records, 0);
    PutU32(block, 12, uint32_t(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i) {
        std::pair<Bytes, Bytes> names = ScrambleNames(entries[i].first, entries[i].second);
        size_t record = 16 + 16 * i;
        PutU32(block, record, 16);
        PutU32(block, record + 8, uint32_t(block.size()));
        block.insert(block.end(), names.first.begin(), names.first.end());
        PutU32(block, record + 12, uint32_t(block.size()));
        block.insert(block.end(), names.second.begin(), names.second.end());
    }
    PutU32(block, 8, uint32_t(block.size() - 8));
    UpdateChecksum(block);
    return block;
}

void UpdateChecksum(Bytes& block)
{
    int32_t length = int32_t(uint32_t(block[8]) | uint32_t(block[9]) << 8 | uint32_t(block[10]) << 16 |
                             uint32_t(block[11]) << 24);
    if (length > 0 && size_t(length) > block.size() - 8)
        length = int32_t(block.size() - 8);
    PutU32(block, 4, fw::BlockChecksum(block.data() + 8, length));
}

bool ReadFileBytes(const std::string& path, Bytes& out)
{
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return false;
    out.clear();
    uint8_t chunk[65536];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, f)) > 0)
        out.insert(out.end(), chunk, chunk + got);
    bool ok = !ferror(f);
    fclose(f);
    return ok;
}

bool WriteFileBytes(const std::string& path, const Bytes& data)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = fwrite(data.data(), 1, data.size(), f) == data.size();
    return fclose(f) == 0 && ok;
}

}  // namespace fwpack
