// Compressed streams and the zlib entry points, through the import library only (this program does not link
// zlib: every zlib call below reaches the library's exports). Round trips through every variant, level clamping,
// damaged and surrounded input, writers that fill up or fail.
#include <windows.h>

#include <gtest/gtest.h>
#include <zlib.h>

#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "kalvex2/compress.h"
#include "temp_file.h"

namespace {


Bytes Text(size_t n)
{
    static const char words[] = "the quick brown fox jumps over the lazy dog; pack my box with five dozen jugs. ";
    Bytes b(n);
    for (size_t i = 0; i < n; i++)
        b[i] = (unsigned char)words[(i * 13 / 7) % (sizeof words - 1)];
    return b;
}

Bytes Noise(size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& c : b)
        c = (unsigned char)rng();
    return b;
}

Bytes Deflated(const Bytes& data, int level)
{
    cMemInStream in;
    in.Open(data.data(), (int)data.size());
    cMemOutStream out;
    EXPECT_EQ(DeflateStream(&out, &in, (int)data.size(), level), STATUS_OK);
    return Bytes(out.GetData(), out.GetData() + out.GetSize());
}

// Inflates with the exported zlib functions, independently of the library's pump. False for a damaged stream.
bool Reference(const Bytes& compressed, Bytes* out)
{
    z_stream z = {};
    if (inflateInit(&z) != Z_OK)
        return false;
    z.next_in = const_cast<Bytef*>(compressed.data());
    z.avail_in = (uInt)compressed.size();
    out->clear();
    int r;
    do {
        unsigned char chunk[4096];
        z.next_out = chunk;
        z.avail_out = sizeof chunk;
        r = inflate(&z, Z_NO_FLUSH);
        out->insert(out->end(), chunk, chunk + (sizeof chunk - z.avail_out));
    } while (r == Z_OK);
    inflateEnd(&z);
    return r == Z_STREAM_END;
}

// Inflates with the library's pump between memory streams.
int Inflated(const Bytes& compressed, int length, Bytes* out, int* consumed = nullptr)
{
    cMemInStream in;
    in.Open(compressed.data(), (int)compressed.size());
    cMemOutStream o;
    int status = InflateStream(&o, &in, length);
    out->assign(o.GetData(), o.GetData() + o.GetSize());
    if (consumed)
        *consumed = in.position;
    return status;
}

struct Data {
    const char* name;
    Bytes bytes;
};

std::vector<Data> DataSets()
{
    return {{"empty", {}},
            {"one byte", {'a'}},
            {"text", Text(100000)},
            {"noise", Noise(40000, 1)},
            {"chunk plus one", Noise(8193, 2)}};
}

// ---------------------------------------------------------------------------------------------------------------

// Every deflate variant gives the same zlib stream; every inflate variant gives the data back.
TEST(Compress, RoundTripsThroughEveryVariant)
{
    const int levels[] = {-1, 0, 1, 9};
    for (const Data& d : DataSets()) {
        for (int level : levels) {
            SCOPED_TRACE(std::string(d.name) + " level " + std::to_string(level));
            int n = (int)d.bytes.size();
            Bytes z = Deflated(d.bytes, level);
            Bytes back;
            ASSERT_TRUE(Reference(z, &back));
            EXPECT_EQ(back, d.bytes);

            TempFile raw("raw.bin", d.bytes), out1("o1.bin"), out2("o2.bin");
            HANDLE h = CreateFileA(out1.path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0,
                                   nullptr);
            EXPECT_EQ(DeflateMemToFile(h, d.bytes.data(), n, level), STATUS_OK);
            CloseHandle(h);
            EXPECT_EQ(out1.Read(), z) << "DeflateMemToFile";
            HANDLE in = FileOpen(raw.path.c_str(), 0);
            h = CreateFileA(out2.path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
            EXPECT_EQ(DeflateFileToFile(h, in, -1, level), STATUS_OK);
            CloseHandle(h);
            FileClose(in);
            EXPECT_EQ(out2.Read(), z) << "DeflateFileToFile";

            EXPECT_EQ(Inflated(z, (int)z.size(), &back), STATUS_OK);
            EXPECT_EQ(back, d.bytes) << "InflateStream";
            TempFile packed("z.bin", z), plain1("p1.bin"), plain2("p2.bin");
            h = CreateFileA(plain1.path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0,
                            nullptr);
            EXPECT_EQ(InflateMemToFile(h, z.data(), (int)z.size()), STATUS_OK);
            CloseHandle(h);
            EXPECT_EQ(plain1.Read(), d.bytes) << "InflateMemToFile";
            in = FileOpen(packed.path.c_str(), 0);
            h = CreateFileA(plain2.path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0,
                            nullptr);
            EXPECT_EQ(InflateFileToFile(h, in, -1), STATUS_OK);
            CloseHandle(h);
            FileSeek(in, 0);
            Bytes dest(d.bytes.size() + 16, 0xEE);
            EXPECT_EQ(InflateFileToMem(dest.data(), in, (int)z.size()), STATUS_OK);
            FileClose(in);
            EXPECT_EQ(plain2.Read(), d.bytes) << "InflateFileToFile";
            EXPECT_TRUE(std::equal(d.bytes.begin(), d.bytes.end(), dest.begin())) << "InflateFileToMem";
            EXPECT_EQ(dest[n], 0xEE);
        }
    }
}

TEST(Compress, LevelsAreClampedAndMinusOneIsTheDefault)
{
    Bytes text = Text(30000);
    EXPECT_EQ(Deflated(text, 12), Deflated(text, 9));
    EXPECT_EQ(Deflated(text, -5), Deflated(text, 0));
    EXPECT_EQ(Deflated(text, -1), Deflated(text, Z_DEFAULT_COMPRESSION));
    EXPECT_EQ(Deflated(text, -1), Deflated(text, 6));
    EXPECT_GT(Deflated(text, 0).size(), text.size()) << "level 0 stores";
    EXPECT_LT(Deflated(text, 9).size(), text.size() / 4);
}

TEST(Compress, AnEmptyInputIsAValidEmptyStream)
{
    Bytes z = Deflated(Bytes(), -1);
    EXPECT_EQ(z, Bytes({0x78, 0x9C, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01}));
    Bytes back = {1};
    EXPECT_EQ(Inflated(z, -1, &back), STATUS_OK);
    EXPECT_TRUE(back.empty());
}

TEST(Compress, DamagedInputIsReported)
{
    Bytes data = Text(50000);
    Bytes z = Deflated(data, 9);
    struct Case {
        const char* name;
        Bytes input;
        int length;
        int status;
    } cases[] = {
        {"last byte missing", Bytes(z.begin(), z.end() - 1), (int)z.size() - 1, ERR_BAD_DATA},
        {"trailer missing", Bytes(z.begin(), z.end() - 4), (int)z.size() - 4, ERR_BAD_DATA},
        {"cut in the middle", Bytes(z.begin(), z.begin() + z.size() / 2), (int)z.size() / 2, ERR_BAD_DATA},
        {"header only", Bytes(z.begin(), z.begin() + 2), 2, ERR_BAD_DATA},
        {"nothing", z, 0, ERR_BAD_DATA},
        {"input shorter than length", Bytes(z.begin(), z.begin() + z.size() / 2), (int)z.size(), ERR_END_OF_DATA},
        {"bad header", z, (int)z.size(), ERR_BAD_DATA},
        {"bad checksum", z, (int)z.size(), ERR_BAD_DATA},
        {"negative length", z, -2, ERR_READ},
    };
    cases[6].input[0] ^= 0x01;
    cases[7].input[z.size() - 1] ^= 0x01;
    for (const Case& c : cases) {
        Bytes out;
        EXPECT_EQ(Inflated(c.input, c.length, &out), c.status) << c.name;
    }
    cMemInStream in;
    in.Open(data.data(), (int)data.size());
    cMemOutStream out;
    EXPECT_EQ(DeflateStream(&out, &in, -7, 6), ERR_READ);
    EXPECT_EQ(DeflateStream(&out, &in, (int)data.size() + 1, 6), ERR_END_OF_DATA);
    EXPECT_EQ(DeflateStream(nullptr, &in, 1, 6), ERR_WRITE);
    EXPECT_EQ(InflateStream(&out, nullptr, 1), ERR_READ);
    EXPECT_EQ(InflateMemToFile(INVALID_HANDLE_VALUE, z.data(), -3), ERR_READ);
}

// The zlib stream ends before the input does: inflating stops there and reads no further than the chunk in
// which the end was found.
TEST(Compress, BytesAfterTheStreamAreLeftUnread)
{
    Bytes data = Text(20000);
    Bytes z = Deflated(data, 6);
    Bytes input = z;
    Bytes tail = Noise(30000, 3);
    input.insert(input.end(), tail.begin(), tail.end());
    Bytes out;
    int consumed = 0;
    EXPECT_EQ(Inflated(input, (int)input.size(), &out, &consumed), STATUS_OK);
    EXPECT_EQ(out, data);
    EXPECT_LE(consumed, (int)((z.size() + COMPRESS_CHUNK - 1) / COMPRESS_CHUNK * COMPRESS_CHUNK));
}

TEST(Compress, AFixedDestinationThatIsTooSmallIsFull)
{
    Bytes data = Text(30000);
    Bytes z = Deflated(data, 6);
    cMemInStream in;
    in.Open(z.data(), (int)z.size());
    Bytes dest(20000);
    cMemOutStream out;
    out.AttachBuffer(dest.data(), (int)dest.size());
    EXPECT_EQ(InflateStream(&out, &in, -1), ERR_BUFFER_FULL);
}

// The file input starts at the handle's current position.
TEST(Compress, FileInputStartsWhereTheHandleStands)
{
    Bytes data = Text(5000);
    Bytes z = Deflated(data, 6);
    Bytes file = {1, 2, 3, 4, 5};
    file.insert(file.end(), z.begin(), z.end());
    TempFile packed("offset.bin", file), plain("offset_out.bin");
    HANDLE in = FileOpen(packed.path.c_str(), 0);
    FileSeek(in, 5);
    HANDLE h = CreateFileA(plain.path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    EXPECT_EQ(InflateFileToFile(h, in, (int)z.size()), STATUS_OK);
    CloseHandle(h);
    FileClose(in);
    EXPECT_EQ(plain.Read(), data);
}

// An output handle that refuses writes stands for a full disk. Small outputs sit in the file writer's buffer
// until the end, so only the last write fails, and that failure must be the result.
TEST(Compress, AFailingOutputFileIsNeverSuccess)
{
    Bytes small = Text(100);
    Bytes z = Deflated(small, 6);
    TempFile target("full.bin", Bytes(10, 0)), source("src.bin", small), packed("packed.bin", z);
    HANDLE full = FileOpen(target.path.c_str(), 0);  // read-only: every write fails
    ASSERT_NE(full, INVALID_HANDLE_VALUE);
    EXPECT_EQ(DeflateMemToFile(full, small.data(), (int)small.size(), 6), ERR_WRITE);
    EXPECT_EQ(InflateMemToFile(full, z.data(), (int)z.size()), ERR_WRITE);
    HANDLE in = FileOpen(source.path.c_str(), 0);
    EXPECT_EQ(DeflateFileToFile(full, in, -1, 6), ERR_WRITE);
    FileClose(in);
    in = FileOpen(packed.path.c_str(), 0);
    EXPECT_EQ(InflateFileToFile(full, in, -1), ERR_WRITE);
    FileClose(in);
    Bytes big = Noise(20000, 4);
    EXPECT_EQ(DeflateMemToFile(full, big.data(), (int)big.size(), 0), ERR_WRITE);
    FileClose(full);
    EXPECT_EQ(target.Read(), Bytes(10, 0));
}

// ---------------------------------------------------------------------------------------------------------------
// zlib's entry points as the library exports them

void* Ordinal(int n)
{
    return reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("Kalvex2.dll"), MAKEINTRESOURCEA(n)));
}

TEST(ZlibExports, KnownValuesByNameAndByOrdinal)
{
    const Bytef* digits = reinterpret_cast<const Bytef*>("123456789");
    const Bytef* wiki = reinterpret_cast<const Bytef*>("Wikipedia");
    EXPECT_EQ(crc32(0, digits, 9), 0xCBF43926ul);
    EXPECT_EQ(adler32(1, wiki, 9), 0x11E60398ul);
    EXPECT_EQ(crc32(crc32(0, digits, 4), digits + 4, 5), 0xCBF43926ul);
    EXPECT_STREQ(zlibVersion(), "1.1.3");
    EXPECT_STREQ(zError(Z_DATA_ERROR), "data error");
    EXPECT_EQ(get_crc_table()[1], 0x77073096u);

    typedef uLong(KX_CDECL * ChecksumFn)(uLong, const Bytef*, uInt);
    typedef const char*(KX_CDECL * VersionFn)();
    EXPECT_EQ(((ChecksumFn)Ordinal(226))(0, digits, 9), 0xCBF43926ul);
    EXPECT_EQ(((ChecksumFn)Ordinal(206))(1, wiki, 9), 0x11E60398ul);
    EXPECT_STREQ(((VersionFn)Ordinal(225))(), "1.1.3");
    typedef int(KX_CDECL * NopFn)();
    EXPECT_EQ(((NopFn)Ordinal(327))(), 0);
}

// A host's own use of the exported functions: the initialisers accept the old version string, a preset
// dictionary is asked for and accepted, and a copied deflate state finishes the same stream.
TEST(ZlibExports, HostStreamsWithDictionaryAndCopy)
{
    Bytes data = Text(20000);
    const char dict[] = "quick brown fox lazy dog";
    z_stream a = {}, b = {};
    ASSERT_EQ(deflateInit_(&a, 9, "1.1.3", (int)sizeof(z_stream)), Z_OK);
    ASSERT_EQ(deflateSetDictionary(&a, reinterpret_cast<const Bytef*>(dict), sizeof dict - 1), Z_OK);
    ASSERT_EQ(deflateParams(&a, 6, Z_DEFAULT_STRATEGY), Z_OK);
    Bytes za(30000), zb(30000);
    a.next_in = data.data();
    a.avail_in = 10000;
    a.next_out = za.data();
    a.avail_out = (uInt)za.size();
    ASSERT_EQ(deflate(&a, Z_NO_FLUSH), Z_OK);
    ASSERT_EQ(deflateCopy(&b, &a), Z_OK);
    size_t head = za.size() - a.avail_out;
    memcpy(zb.data(), za.data(), head);
    b.next_out = zb.data() + head;
    b.avail_out = (uInt)(zb.size() - head);
    a.next_in = b.next_in = data.data() + 10000;
    a.avail_in = b.avail_in = 10000;
    ASSERT_EQ(deflate(&a, Z_FINISH), Z_STREAM_END);
    ASSERT_EQ(deflate(&b, Z_FINISH), Z_STREAM_END);
    EXPECT_EQ(a.total_out, b.total_out);
    za.resize(a.total_out);
    zb.resize(b.total_out);
    EXPECT_EQ(za, zb);
    EXPECT_EQ(deflateReset(&a), Z_OK);
    deflateEnd(&a);
    deflateEnd(&b);

    z_stream i = {};
    ASSERT_EQ(inflateInit_(&i, "1.1.3", (int)sizeof(z_stream)), Z_OK);
    Bytes back(data.size() + 1);
    i.next_in = za.data();
    i.avail_in = (uInt)za.size();
    i.next_out = back.data();
    i.avail_out = (uInt)back.size();
    ASSERT_EQ(inflate(&i, Z_NO_FLUSH), Z_NEED_DICT);
    ASSERT_EQ(inflateSetDictionary(&i, reinterpret_cast<const Bytef*>(dict), sizeof dict - 1), Z_OK);
    ASSERT_EQ(inflate(&i, Z_FINISH), Z_STREAM_END);
    back.resize(i.total_out);
    EXPECT_EQ(back, data);
    EXPECT_EQ(inflateReset(&i), Z_OK);
    EXPECT_EQ(inflateSyncPoint(&i), 0);
    inflateEnd(&i);

    // Raw deflate through the windowBits initialisers.
    z_stream r = {};
    ASSERT_EQ(deflateInit2_(&r, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY, "1.1.3", (int)sizeof(z_stream)), Z_OK);
    Bytes raw(30000);
    r.next_in = data.data();
    r.avail_in = (uInt)data.size();
    r.next_out = raw.data();
    r.avail_out = (uInt)raw.size();
    ASSERT_EQ(deflate(&r, Z_FINISH), Z_STREAM_END);
    raw.resize(r.total_out);
    deflateEnd(&r);
    ASSERT_EQ(inflateInit2_(&r, -15, "1.1.3", (int)sizeof(z_stream)), Z_OK);
    back.assign(data.size(), 0);
    r.next_in = raw.data();
    r.avail_in = (uInt)raw.size();
    r.next_out = back.data();
    r.avail_out = (uInt)back.size();
    EXPECT_EQ(inflate(&r, Z_FINISH), Z_STREAM_END);
    EXPECT_EQ(back, data);
    inflateEnd(&r);
    // inflateSync on garbage finds no flush point.
    Bytes junk(64, 0x55);
    ASSERT_EQ(inflateInit_(&r, "1.1.3", (int)sizeof(z_stream)), Z_OK);
    r.next_in = junk.data();
    r.avail_in = (uInt)junk.size();
    EXPECT_EQ(inflateSync(&r), Z_DATA_ERROR);
    inflateEnd(&r);
}

}  // namespace
