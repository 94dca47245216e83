// Making what Fenwright reads: signed payloads and the shared block that lists them. Used by the packaging tool
// and by the installer's tests.
#pragma once

#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

#include "mbedtls/pk.h"

namespace fwpack {

typedef std::vector<uint8_t> Bytes;

// An RSA private key (PEM or DER, unencrypted) that signs with PKCS #1 v1.5 and SHA-1.
class Signer {
public:
    Signer();
    ~Signer();
    Signer(const Signer&) = delete;
    Signer& operator=(const Signer&) = delete;

    bool Load(const std::string& keyText);
    // The 128-byte signature over data (the key must be 1024 bits long; Sign fails otherwise).
    bool Sign(const uint8_t* data, size_t size, uint8_t signature[128]) const;
    // data followed by its signature.
    Bytes Signed(const Bytes& data) const;
    // The private operation on one 128-byte block, whatever it holds (for making forged signatures in tests).
    bool RawPrivate(const uint8_t block[128], uint8_t out[128]) const;

private:
    mbedtls_pk_context key_;
};

// One zlib stream of data.
Bytes Deflate(const Bytes& data, int level = 9);

// A payload of the given header fields: offset f and unpacked size n, filler bytes up to f, the packed bytes,
// then the signature over all of it. Lets tests build payloads whose fields lie.
Bytes SealPayload(const Signer& signer, int32_t offset, int32_t unpackedSize, const Bytes& packed);

// The payload for one extension file: the file signed, deflated and sealed (f = 8).
Bytes MakePayload(const Signer& signer, const Bytes& file);

// The name scrambling of the shared block: the entry's running key starts at 0x13 for the source path and goes on
// through the destination name.
std::pair<Bytes, Bytes> ScrambleNames(const std::string& source, const std::string& name);

// A shared block for (source path, destination name) pairs, with a valid header and checksum.
Bytes MakeBlock(const std::vector<std::pair<std::string, std::string>>& entries);

// Stores the checksum of the covered area (offset 8 on, the length stored at offset 8).
void UpdateChecksum(Bytes& block);

bool ReadFileBytes(const std::string& path, Bytes& out);
bool WriteFileBytes(const std::string& path, const Bytes& data);

}  // namespace fwpack
