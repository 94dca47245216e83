// Payloads: the signature check with the compiled-in key, forged signatures, broken keys, and the bounds and
// order of the checks on the way from a payload file to the content that gets written.
#include <string.h>

#include <string>
#include <vector>

#include "fixtures.h"
#include "gtest/gtest.h"
#include "mbedtls/sha1.h"
#include "payload.h"

using fwpack::Bytes;
using fwtest::Content;
using fwtest::TestSigner;

namespace {

bool Check(const Bytes& data) { return fw::CheckPayloadSignature(data.data(), int32_t(data.size())); }

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

const Bytes kSha1Prefix = {0x30, 0x21, 0x30, 0x09, 0x06, 0x05, 0x2b, 0x0e, 0x03, 0x02, 0x1a, 0x05, 0x00, 0x04, 0x14};
const Bytes kSha1PrefixNoNull = {0x30, 0x1f, 0x30, 0x07, 0x06, 0x05, 0x2b, 0x0e, 0x03, 0x02, 0x1a, 0x04, 0x14};
const Bytes kSha256Prefix = {0x30, 0x31, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01, 0x65,
                             0x03, 0x04, 0x02, 0x01, 0x05, 0x00, 0x04, 0x20};

Bytes Sha1(const Bytes& data)
{
    Bytes digest(20);
    mbedtls_sha1_ret(data.data(), data.size(), digest.data());
    return digest;
}

// data followed by the private operation on a hand-made encoded block.
Bytes WithRawSignature(const Bytes& data, const Bytes& encoded)
{
    EXPECT_EQ(encoded.size(), 128u);
    Bytes signature(128);
    EXPECT_TRUE(TestSigner().RawPrivate(encoded.data(), signature.data()));
    return Concat({data, signature});
}

TEST(InstallerSignature, AcceptsOnlyTheExactEncodingOfTheDigest)
{
    const Bytes data = Content(500);
    const Bytes digest = Sha1(data);
    const Bytes otherDigest = Sha1(Content(500, 2));
    auto ff = [](size_t n) { return Bytes(n, 0xFF); };
    struct Case {
        const char* what;
        Bytes encoded;
        bool passes;
    } cases[] = {
        {"the exact block", Concat({{0x00, 0x01}, ff(90), {0x00}, kSha1Prefix, digest}), true},
        {"fewer 0xFF bytes, garbage after the digest",
         Concat({{0x00, 0x01}, ff(80), {0x00}, kSha1Prefix, digest, Bytes(10, 0x5A)}), false},
        {"block type 2", Concat({{0x00, 0x02}, ff(90), {0x00}, kSha1Prefix, digest}), false},
        {"a padding byte not 0xFF", Concat({{0x00, 0x01}, ff(45), {0xFE}, ff(44), {0x00}, kSha1Prefix, digest}),
         false},
        {"another digest's DigestInfo (SHA-256)",
         Concat({{0x00, 0x01}, ff(74), {0x00}, kSha256Prefix, digest, Bytes(12, 0)}), false},
        {"DigestInfo without its NULL parameters",
         Concat({{0x00, 0x01}, ff(92), {0x00}, kSha1PrefixNoNull, digest}), false},
        {"the digest of other data", Concat({{0x00, 0x01}, ff(90), {0x00}, kSha1Prefix, otherDigest}), false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Check(WithRawSignature(data, c.encoded)), c.passes) << c.what;
}

TEST(InstallerSignature, EveryChangedByteFails)
{
    const Bytes good = TestSigner().Signed(Content(300));
    ASSERT_TRUE(Check(good));
    for (size_t at : {size_t(0), size_t(150), size_t(299), size_t(300), size_t(363), good.size() - 1}) {
        Bytes changed = good;
        changed[at] ^= 0x01;
        EXPECT_FALSE(Check(changed)) << "byte " << at;
    }
    EXPECT_FALSE(fw::CheckPayloadSignature(good.data() + good.size() - 128, 128)) << "nothing to sign";
    EXPECT_FALSE(fw::CheckPayloadSignature(good.data(), 0));
}

TEST(InstallerSignature, SignaturesNotBelowTheModulusFail)
{
    const Bytes data = Content(400, 3);
    mbedtls_mpi n, s, sum;
    mbedtls_mpi_init(&n);
    mbedtls_mpi_init(&s);
    mbedtls_mpi_init(&sum);
    ASSERT_EQ(mbedtls_mpi_read_string(&n, 16, fwtest::ModulusHex().c_str()), 0);
    Bytes modulus(128);
    ASSERT_EQ(mbedtls_mpi_write_binary(&n, modulus.data(), 128), 0);
    EXPECT_FALSE(Check(Concat({data, modulus}))) << "the modulus itself";
    EXPECT_FALSE(Check(Concat({data, Bytes(128, 0xFF)}))) << "all ones";

    // s + N is s again modulo N: it must still fail. Find data whose signature leaves room for that in 128 bytes.
    bool tried = false;
    for (unsigned seed = 0; seed < 4000 && !tried; ++seed) {
        Bytes signedData = TestSigner().Signed(Content(400, seed));
        ASSERT_TRUE(Check(signedData));
        mbedtls_mpi_read_binary(&s, signedData.data() + 400, 128);
        mbedtls_mpi_add_mpi(&sum, &s, &n);
        if (mbedtls_mpi_bitlen(&sum) > 1024)
            continue;
        Bytes lifted(128);
        mbedtls_mpi_write_binary(&sum, lifted.data(), 128);
        memcpy(signedData.data() + 400, lifted.data(), 128);
        EXPECT_FALSE(Check(signedData)) << "signature + modulus";
        tried = true;
    }
    EXPECT_TRUE(tried) << "no signature small enough to lift by the modulus";
    mbedtls_mpi_free(&n);
    mbedtls_mpi_free(&s);
    mbedtls_mpi_free(&sum);
}

TEST(InstallerSignature, AKeyThatDoesNotReadOrIsNotSaneAcceptsNothing)
{
    const Bytes good = TestSigner().Signed(Content(700, 4));
    const std::string modulus = fwtest::ModulusHex(), exponent = fwtest::ExponentHex();
    struct Case {
        const char* what;
        Bytes modulus;
        Bytes exponent;
        bool passes;
    } cases[] = {
        {"the key as stored", fwtest::StoreHex(modulus, 260), fwtest::StoreHex(exponent, 8), true},
        {"modulus check byte wrong",
         [&] { Bytes b = fwtest::StoreHex(modulus, 260); b[modulus.size() + 1] ^= 1; return b; }(),
         fwtest::StoreHex(exponent, 8), false},
        {"exponent check byte wrong", fwtest::StoreHex(modulus, 260),
         [&] { Bytes b = fwtest::StoreHex(exponent, 8); b[exponent.size() + 1] ^= 1; return b; }(), false},
        {"modulus of 1016 bits", fwtest::StoreHex(modulus.substr(0, modulus.size() - 2), 260),
         fwtest::StoreHex(exponent, 8), false},
        {"modulus of 1025 bits", fwtest::StoreHex("1" + modulus, 260), fwtest::StoreHex(exponent, 8), false},
        {"negative modulus", fwtest::StoreHex("-" + modulus, 260), fwtest::StoreHex(exponent, 8), false},
        {"exponent 1", fwtest::StoreHex(modulus, 260), fwtest::StoreHex("1", 8), false},
        {"even exponent", fwtest::StoreHex(modulus, 260), fwtest::StoreHex("10000", 8), false},
        {"exponent 0", fwtest::StoreHex(modulus, 260), fwtest::StoreHex("0", 8), false},
        {"negative exponent", fwtest::StoreHex(modulus, 260), fwtest::StoreHex("-" + exponent, 8), false},
        {"modulus text that fills its slot", Bytes(260, 0x41), fwtest::StoreHex(exponent, 8), false},
    };
    for (const Case& c : cases) {
        fw::StoredKey key = {c.modulus.data(), c.modulus.size(), c.exponent.data(), c.exponent.size()};
        EXPECT_EQ(fw::CheckPayloadSignature(key, good.data(), int32_t(good.size())), c.passes) << c.what;
    }
}

// ---- the payload pipeline ----

struct Opened {
    fw::PayloadCheck check;
    Bytes content;
};

Opened Open(const Bytes& payload)
{
    fw::Unpacked unpacked;
    Opened result;
    result.check = fw::OpenPayload(payload.data(), payload.size(), &unpacked);
    if (result.check == fw::PayloadCheck::Accepted) {
        result.content.assign(unpacked.data, unpacked.data + unpacked.size);
        fw::FreeUnpacked(&unpacked);
    } else {
        EXPECT_EQ(unpacked.data, nullptr);
    }
    return result;
}

// A payload whose header says f and n, with body after the header, correctly signed.
Bytes Sealed(int32_t f, int32_t n, const Bytes& body)
{
    Bytes header(8);
    for (int i = 0; i < 4; ++i) {
        header[i] = uint8_t(uint32_t(f) >> (8 * i));
        header[4 + i] = uint8_t(uint32_t(n) >> (8 * i));
    }
    return TestSigner().Signed(Concat({header, body}));
}

int32_t Size(const Bytes& b) { return int32_t(b.size()); }

TEST(InstallerPayload, GoodPayloadsGiveTheirWholeContent)
{
    const Bytes content = TestSigner().Signed(Content(5000));
    const Bytes packed = fwpack::Deflate(content);
    const Bytes small = TestSigner().Signed(Content(1));
    const Bytes tail = TestSigner().Signed(Content(200, 5));
    struct Case {
        const char* what;
        Bytes payload;
        Bytes content;
    } cases[] = {
        {"made by the packaging code", fwpack::MakePayload(TestSigner(), Content(5000)), content},
        {"filler between the header and f", Sealed(8 + 37, Size(content), Concat({Bytes(37, 0xEE), packed})),
         content},
        {"bytes after the zlib stream", Sealed(8, Size(content), Concat({packed, Bytes(50, 0x77)})), content},
        {"n = 129", Sealed(8, 129, fwpack::Deflate(small)), small},
        {"inflating to n + 1024 bytes exactly",
         Sealed(8, Size(tail), fwpack::Deflate(Concat({tail, Bytes(1024, 0x33)}))), tail},
        {"stored blocks (level 0)", Sealed(8, Size(content), fwpack::Deflate(content, 0)), content},
    };
    for (const Case& c : cases) {
        Opened opened = Open(c.payload);
        EXPECT_EQ(opened.check, fw::PayloadCheck::Accepted) << c.what;
        EXPECT_TRUE(opened.content == c.content) << c.what;
    }
}

TEST(InstallerPayload, BoundsAndChecksRejectInOrder)
{
    const Bytes content = TestSigner().Signed(Content(300));
    const Bytes packed = fwpack::Deflate(content);
    const int32_t n = Size(content);
    const int32_t s = 8 + Size(packed) + 128;  // size of Sealed(_, _, packed)
    auto changed = [](Bytes b, size_t at) { b[at] ^= 0x10; return b; };
    Bytes wrongContent = content;
    wrongContent[10] ^= 1;
    struct Case {
        const char* what;
        Bytes payload;
        fw::PayloadCheck expected;
    } cases[] = {
        {"135 bytes", Bytes(135, 0), fw::PayloadCheck::TooSmall},
        {"136 bytes reach the signature check", Bytes(136, 0), fw::PayloadCheck::BadSignature},
        {"a header byte changed", changed(Sealed(8, n, packed), 5), fw::PayloadCheck::BadSignature},
        {"a packed byte changed", changed(Sealed(8, n, packed), 40), fw::PayloadCheck::BadSignature},
        {"f = -1", Sealed(-1, n, packed), fw::PayloadCheck::OffsetOutside},
        {"f at the signature", Sealed(s - 128, n, packed), fw::PayloadCheck::OffsetOutside},
        {"f on the last byte", Sealed(s - 1, n, packed), fw::PayloadCheck::OffsetOutside},
        {"f = S", Sealed(s, n, packed), fw::PayloadCheck::OffsetOutside},
        {"f far out", Sealed(0x7FFFFFFF, n, packed), fw::PayloadCheck::OffsetOutside},
        {"f on the last packed byte passes the bound", Sealed(s - 129, n, packed), fw::PayloadCheck::UnpackFailed},
        {"n = 128", Sealed(8, 128, packed), fw::PayloadCheck::SizeOutside},
        {"n = 16000000", Sealed(8, 16000000, packed), fw::PayloadCheck::SizeOutside},
        {"negative n", Sealed(8, -300, packed), fw::PayloadCheck::SizeOutside},
        {"not a zlib stream", Sealed(8, n, Bytes(400, 0xAB)), fw::PayloadCheck::UnpackFailed},
        {"zlib stream cut short", Sealed(8, n, Bytes(packed.begin(), packed.end() - 6)),
         fw::PayloadCheck::UnpackFailed},
        {"zlib check value wrong", Sealed(8, n, changed(packed, packed.size() - 1)), fw::PayloadCheck::UnpackFailed},
        {"inflating to n + 1025 bytes", Sealed(8, n, fwpack::Deflate(Concat({content, Bytes(1025, 0x33)}))),
         fw::PayloadCheck::UnpackFailed},
        {"content signature wrong", Sealed(8, n, fwpack::Deflate(wrongContent)),
         fw::PayloadCheck::BadContentSignature},
        {"stream shorter than n", Sealed(8, n + 10, packed), fw::PayloadCheck::BadContentSignature},
        {"n shorter than the stream", Sealed(8, n - 1, packed), fw::PayloadCheck::BadContentSignature},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Open(c.payload).check, c.expected) << c.what;
}

int g_checks;
bool CountingRefusal(const uint8_t*, int32_t)
{
    ++g_checks;
    return false;
}

TEST(InstallerPayload, NothingShorterThan136BytesIsEvenChecked)
{
    fw::Unpacked unpacked;
    const Bytes bytes(136, 0);
    g_checks = 0;
    EXPECT_EQ(fw::OpenPayload(bytes.data(), 135, &unpacked, CountingRefusal), fw::PayloadCheck::TooSmall);
    EXPECT_EQ(g_checks, 0);
    EXPECT_EQ(fw::OpenPayload(bytes.data(), 136, &unpacked, CountingRefusal), fw::PayloadCheck::BadSignature);
    EXPECT_EQ(g_checks, 1);
}

TEST(InstallerPayload, TheLargestContent)
{
    // n = 15999999: the largest content the bound lets through.
    const Bytes content = TestSigner().Signed(Content(15999999 - 128, 7));
    Opened opened = Open(Sealed(8, Size(content), fwpack::Deflate(content, 1)));
    EXPECT_EQ(opened.check, fw::PayloadCheck::Accepted);
    EXPECT_TRUE(opened.content == content);
}

}  // namespace
