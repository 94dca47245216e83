// Streams and file functions through the import library, the way a host or a plug-in uses them: reads across
// the read-ahead buffer, regions and seeks, writers that grow or fill up, failing files, copies that must not
// share ownership, and the exported virtual tables called slot by slot.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdint.h>
#include <string.h>

#include <memory>
#include <new>
#include <string>
#include <vector>

#include "kalvex2/memory.h"
#include "kalvex2/streams.h"
#include "temp_file.h"

namespace {

// Byte i of every test file: no period that divides the buffer size, so a misplaced read shows.
unsigned char PatternByte(size_t i)
{
    return (unsigned char)((i * 7 + i / 251) % 251);
}

Bytes Pattern(size_t n)
{
    Bytes b(n);
    for (size_t i = 0; i < n; i++)
        b[i] = PatternByte(i);
    return b;
}


// The whole content of an open file through its own handle (FileCreate shares nothing), keeping its pointer.
Bytes ReadBack(HANDLE h)
{
    int here = FileTell(h);
    Bytes b(FileGetSize(h));
    FileSeek(h, 0);
    if (!b.empty())
        FileRead(h, b.data(), (int)b.size());
    FileSeek(h, here);
    return b;
}

// Calls through the virtual table. Tell and GetSize of the concrete readers share exported bodies with other
// classes, so a host reaches their own versions only through the table; the barrier keeps the compiler from
// turning these calls into direct ones.
cInStream* Opaque(cInStream* s)
{
    asm("" : "+r"(s));
    return s;
}
int SizeOf(cInStream& s)
{
    return Opaque(&s)->GetSize();
}
int TellOf(cInStream& s)
{
    return Opaque(&s)->Tell();
}

// ---------------------------------------------------------------------------------------------------------------
// Byte order and the base class's readers, on both concrete readers

struct ReaderKind {
    const char* name;
    bool file;
};

class Readers : public ::testing::TestWithParam<ReaderKind> {
protected:
    // A reader over the given bytes; the object lives in the fixture.
    cInStream& Over(const Bytes& bytes)
    {
        if (GetParam().file) {
            file_.reset(new TempFile("order.bin", bytes));
            EXPECT_EQ(fileStream_.Open(file_->path.c_str()), STATUS_OK);
            return fileStream_;
        }
        data_ = bytes;
        EXPECT_EQ(memStream_.Open(data_.data(), (int)data_.size()), STATUS_OK);
        return memStream_;
    }
    std::unique_ptr<TempFile> file_;
    cFileInStream fileStream_;
    cMemInStream memStream_;
    Bytes data_;
};

TEST_P(Readers, ScalarsInBothByteOrders)
{
    cInStream& s = Over({0x34, 0x12, 0x34, 0x12, 0x78, 0x56, 0x34, 0x12, 0x78, 0x56, 0x34, 0x12, 0xFE, 0xFF,
                         0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0xAB});
    unsigned short w = 0;
    unsigned long d = 0;
    long l = 0;
    EXPECT_EQ(s.ReadWord(&w), STATUS_OK);
    EXPECT_EQ(w, 0x1234);
    EXPECT_EQ(s.ReadWordBE(&w), STATUS_OK);
    EXPECT_EQ(w, 0x3412);
    EXPECT_EQ(s.ReadDword(&d), STATUS_OK);
    EXPECT_EQ(d, 0x12345678ul);
    EXPECT_EQ(s.ReadDwordBE(&d), STATUS_OK);
    EXPECT_EQ(d, 0x78563412ul);
    EXPECT_EQ(s.ReadLong(&l), STATUS_OK);
    EXPECT_EQ(l, -2);
    EXPECT_EQ(s.ReadLongBE(&l), STATUS_OK);
    EXPECT_EQ(l, -2);
    // One byte left: a word cannot be read and the output keeps its value.
    w = 0x5555;
    EXPECT_EQ(s.ReadWord(&w), ERR_END_OF_DATA);
    EXPECT_EQ(w, 0x5555);
    d = 0x55555555;
    EXPECT_EQ(s.ReadDwordBE(&d), ERR_END_OF_DATA);
    EXPECT_EQ(d, 0x55555555ul);
}

TEST_P(Readers, ArraysSwapOnlyInBigEndianForm)
{
    cInStream& s = Over({1, 2, 3, 4, 1, 2, 3, 4, 5, 6, 7, 8, 5, 6, 7, 8});
    unsigned short w[2];
    unsigned long d[2];
    EXPECT_EQ(s.ReadWords(w, 2), STATUS_OK);
    EXPECT_EQ(w[0], 0x0201);
    EXPECT_EQ(w[1], 0x0403);
    EXPECT_EQ(s.ReadWordsBE(w, 2), STATUS_OK);
    EXPECT_EQ(w[0], 0x0102);
    EXPECT_EQ(w[1], 0x0304);
    EXPECT_EQ(s.ReadDwordsBE(d, 1), STATUS_OK);
    EXPECT_EQ(d[0], 0x05060708ul);
    EXPECT_EQ(s.ReadLongs(reinterpret_cast<long*>(d), 1), STATUS_OK);
    EXPECT_EQ(d[0], 0x08070605ul);
}

// Element counts whose byte count leaves 32 bits (or is negative) are refused before anything is read.
TEST_P(Readers, ArrayCountsThatWouldWrapAreRefused)
{
    cInStream& s = Over(Pattern(64));
    unsigned long d[4] = {};
    unsigned short w[4] = {};
    const int counts[] = {0x40000000, 0x40000001, INT32_MAX, -1, -0x40000000};
    for (int n : counts) {
        EXPECT_EQ(s.ReadDwords(d, n), ERR_READ) << n;
        EXPECT_EQ(s.ReadDwordsBE(d, n), ERR_READ) << n;
        EXPECT_EQ(s.ReadLongsBE(reinterpret_cast<long*>(d), n), ERR_READ) << n;
        EXPECT_EQ(s.ReadWordsBE(w, n), ERR_READ) << n;
        EXPECT_EQ(TellOf(s), 0) << n;
    }
    int got = 7;
    EXPECT_EQ(s.Read(d, -5, &got), ERR_READ);
    EXPECT_EQ(s.ReadExact(d, -1), ERR_READ);
    EXPECT_EQ(TellOf(s), 0);
}

TEST_P(Readers, ReadAllocCopiesOrPointsAndFailsWithoutMoving)
{
    Bytes content = Pattern(100);
    cInStream& s = Over(content);
    EXPECT_EQ(s.ReadAlloc(0), nullptr);
    EXPECT_EQ(s.ReadAlloc(-4), nullptr);
    void* block = s.ReadAlloc(40);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(memcmp(block, content.data(), 40), 0);
    s.FreeAlloc(block);
    EXPECT_EQ(TellOf(s), 40);
    block = s.ReadAlloc(60);  // exactly what is left
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(memcmp(block, content.data() + 40, 60), 0);
    s.FreeAlloc(block);
    EXPECT_EQ(TellOf(s), 100);
    s.Seek(90, SEEK_FROM_START);
    EXPECT_EQ(s.ReadAlloc(11), nullptr);
    if (!GetParam().file) {
        EXPECT_EQ(TellOf(s), 90) << "a refused ReadAlloc moves nothing";
    }
}

INSTANTIATE_TEST_SUITE_P(Streams, Readers, ::testing::Values(ReaderKind{"file", true}, ReaderKind{"memory", false}),
                         [](const ::testing::TestParamInfo<ReaderKind>& i) { return std::string(i.param.name); });

void* Ordinal(int n)
{
    return reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("Kalvex2.dll"), MAKEINTRESOURCEA(n)));
}

// An object of another compiler's making: a table of our own, built from an exported one with some slots
// replaced, behind the object's first word.
struct RawTable {
    void* slots[25];
    explicit RawTable(int ordinal, int count) { memcpy(slots, Ordinal(ordinal), count * sizeof(void*)); }
};

int KX_THISCALL OtherDword(void*, unsigned long* v)
{
    *v = 0xC0FFEE;
    return STATUS_OK;
}
int KX_THISCALL OtherDwordsBE(void*, unsigned long* v, int n)
{
    for (int i = 0; i < n; i++)
        v[i] = 0xBEEF;
    return STATUS_OK;
}

// The base's long readers reach slots 6 and 15 through the object's table, so a plug-in that replaces those
// changes both.
TEST(InStreamBase, LongReadersCallTheirSlotsThroughTheTable)
{
    RawTable table(318, 25);
    table.slots[6] = reinterpret_cast<void*>(&OtherDword);
    table.slots[15] = reinterpret_cast<void*>(&OtherDwordsBE);
    Bytes b = Pattern(16);
    cMemInStream s;
    ASSERT_EQ(s.Open(b.data(), 16), STATUS_OK);
    void* own = *reinterpret_cast<void**>(&s);
    *reinterpret_cast<void**>(&s) = table.slots;
    typedef int(KX_THISCALL * LongFn)(void*, long*);
    typedef int(KX_THISCALL * LongsFn)(void*, long*, int);
    long l = 0, ls[2] = {};
    EXPECT_EQ(((LongFn)Ordinal(667))(&s, &l), STATUS_OK);
    EXPECT_EQ(l, 0xC0FFEE);
    EXPECT_EQ(((LongsFn)Ordinal(674))(&s, ls, 2), STATUS_OK);
    EXPECT_EQ(ls[1], 0xBEEF);
    EXPECT_EQ(s.position, 0);
    *reinterpret_cast<void**>(&s) = own;
}

// ---------------------------------------------------------------------------------------------------------------
// cMemInStream

TEST(MemInStream, SeekClampsToTheBlock)
{
    Bytes b = Pattern(10);
    cMemInStream s;
    ASSERT_EQ(s.Open(b.data(), 10), STATUS_OK);
    struct Case {
        int start, offset, origin, expected;
    } cases[] = {
        {0, 4, SEEK_FROM_START, 4},   {0, 11, SEEK_FROM_START, 10}, {0, -1, SEEK_FROM_START, 0},
        {4, 3, SEEK_FROM_CURRENT, 7}, {4, -9, SEEK_FROM_CURRENT, 0}, {4, -3, SEEK_FROM_END, 7},
        {4, 5, SEEK_FROM_END, 10},    {4, 2, 7, 4},  // an unknown origin stays put
    };
    for (const Case& c : cases) {
        s.Seek(c.start, SEEK_FROM_START);
        EXPECT_EQ(s.Seek(c.offset, c.origin), c.expected) << c.offset << "/" << c.origin;
        EXPECT_EQ(TellOf(s), c.expected);
        EXPECT_EQ(SizeOf(s), 10);
        if (c.expected < 10) {
            unsigned char x = 0;
            EXPECT_EQ(s.ReadByte(&x), STATUS_OK);
            EXPECT_EQ(x, b[c.expected]);
        }
    }
}

TEST(MemInStream, ShortReadsDeliverWhatThereIs)
{
    Bytes b = Pattern(10);
    cMemInStream s;
    ASSERT_EQ(s.Open(b.data(), 10), STATUS_OK);
    unsigned char out[16];
    memset(out, 0xEE, sizeof out);
    int got = -1;
    s.Seek(6, SEEK_FROM_START);
    EXPECT_EQ(s.Read(out, 8, &got), ERR_END_OF_DATA);
    EXPECT_EQ(got, 4);
    EXPECT_EQ(memcmp(out, b.data() + 6, 4), 0);
    EXPECT_EQ(out[4], 0xEE);
    EXPECT_EQ(s.ReadExact(out, 0), STATUS_OK);
    EXPECT_EQ(s.ReadExact(out, 1), ERR_END_OF_DATA);
    EXPECT_EQ(s.ReadByte(out), ERR_END_OF_DATA);
}

TEST(MemInStream, OpenRefusesNegativeSizesAndAllocDataOwnsItsBlock)
{
    Bytes b = Pattern(10);
    cMemInStream s;
    ASSERT_EQ(s.Open(b.data(), 10), STATUS_OK);
    EXPECT_EQ(s.Open(b.data(), -2), ERR_OPEN);
    EXPECT_EQ(SizeOf(s), 10) << "a refused Open leaves the stream as it was";
    EXPECT_EQ(s.AllocData(-1), ERR_NO_MEMORY);
    ASSERT_EQ(s.AllocData(3), STATUS_OK);
    EXPECT_EQ(s.ownsData, 1);
    memcpy(s.GetData(), "xyz", 3);
    unsigned char c = 0;
    s.ReadByte(&c);
    EXPECT_EQ(c, 'x');
    EXPECT_EQ(SizeOf(s), 3);
}

TEST(MemInStream, CopiesNeverOwnTheBlock)
{
    cMemInStream* original = NewMemInStream();
    ASSERT_NE(original, nullptr);
    ASSERT_EQ(original->AllocData(4), STATUS_OK);
    memcpy(original->GetData(), "abcd", 4);
    {
        cMemInStream copy(*original);
        EXPECT_EQ(copy.ownsData, 0);
        cMemInStream assigned;
        ASSERT_EQ(assigned.AllocData(8), STATUS_OK);  // its own block goes when it is overwritten
        assigned = *original;
        EXPECT_EQ(assigned.ownsData, 0);
        unsigned char c = 0;
        copy.ReadByte(&c);
        EXPECT_EQ(c, 'a');
    }
    // The copies are gone; the original's block is still its own.
    EXPECT_EQ(original->ownsData, 1);
    EXPECT_EQ(memcmp(original->GetData(), "abcd", 4), 0);
    original->Delete();
}

// ---------------------------------------------------------------------------------------------------------------
// cFileInStream

struct ReadPlan {
    const char* name;
    std::vector<int> reads;  // byte counts of successive ReadExact calls from the start
};

class FileReads : public ::testing::TestWithParam<ReadPlan> {};

// Every plan reads a 50000-byte file in pieces that straddle the 16384-byte buffer in different ways; the last
// piece may run past the end.
TEST_P(FileReads, DeliverTheFileInOrder)
{
    const int size = 50000;
    Bytes content = Pattern(size);
    TempFile f("reads.bin", content);
    cFileInStream s;
    ASSERT_EQ(s.Open(f.path.c_str()), STATUS_OK);
    int at = 0;
    for (int n : GetParam().reads) {
        Bytes out(n + 1, 0xEE);
        int expectRead = n < size - at ? n : size - at;
        EXPECT_EQ(s.ReadExact(out.data(), n), expectRead == n ? STATUS_OK : ERR_END_OF_DATA) << at << "+" << n;
        EXPECT_EQ(memcmp(out.data(), content.data() + at, expectRead), 0) << at << "+" << n;
        EXPECT_EQ(out[expectRead], 0xEE);
        at += expectRead;
        EXPECT_EQ(TellOf(s), at);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Streams, FileReads,
    ::testing::Values(ReadPlan{"Small", {1, 2, 16380, 1, 1, 5, 33610}},
                      ReadPlan{"LargeThenBytes", {20000, 1, 1, 16384, 13614}},
                      ReadPlan{"ExactBufferMultiples", {16384, 16384, 16384, 848}},
                      ReadPlan{"UnalignedLarge", {10, 40000, 9990}},
                      ReadPlan{"PastTheEnd", {49990, 20}},
                      ReadPlan{"LargePastTheEnd", {3, 60000}}),
    [](const ::testing::TestParamInfo<ReadPlan>& i) { return std::string(i.param.name); });

TEST(FileInStream, LargeReadsGoStraightToTheCallerAndTheTailThroughTheBuffer)
{
    Bytes content = Pattern(50000);
    TempFile f("direct.bin", content);
    HANDLE h = FileOpen(f.path.c_str(), 0);
    cFileInStream s;
    ASSERT_EQ(s.Open(h), STATUS_OK);
    Bytes out(20000);
    ASSERT_EQ(s.ReadExact(out.data(), 20000), STATUS_OK);
    // 16384 bytes directly, then one buffer refill of 16384 for the remaining 3616.
    EXPECT_EQ(FileTell(h), 32768);
    unsigned char c = 0;
    EXPECT_EQ(s.ReadByte(&c), STATUS_OK);
    EXPECT_EQ(c, content[20000]);
    EXPECT_EQ(FileTell(h), 32768) << "ReadByte is served from the buffer";
    // Handing the handle back leaves its pointer right after the last delivered byte.
    EXPECT_EQ(s.DetachHandle(), h);
    EXPECT_EQ(FileTell(h), 20001);
    EXPECT_EQ(s.handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(s.DetachHandle(), INVALID_HANDLE_VALUE);
    FileClose(h);
}

TEST(FileInStream, RegionBoundsReadsAndSeeks)
{
    Bytes content = Pattern(50000);
    TempFile f("region.bin", content);
    HANDLE h = FileOpen(f.path.c_str(), 0);
    cFileInStream s;
    ASSERT_EQ(s.Open(h, 50, 100), STATUS_OK);
    EXPECT_EQ(TellOf(s), 0);
    EXPECT_EQ(SizeOf(s), 100);
    EXPECT_EQ(s.Seek(1000, SEEK_FROM_START), 100);
    EXPECT_EQ(s.Seek(-5, SEEK_FROM_START), 0);
    EXPECT_EQ(s.Seek(-10, SEEK_FROM_END), 90);
    EXPECT_EQ(s.Seek(0, SEEK_FROM_START), 0);
    Bytes out(101, 0xEE);
    EXPECT_EQ(s.ReadExact(out.data(), 101), ERR_END_OF_DATA);
    EXPECT_EQ(memcmp(out.data(), content.data() + 50, 100), 0);
    EXPECT_EQ(out[100], 0xEE);
    EXPECT_EQ(TellOf(s), 100);

    // A region larger than one buffer: the direct reads stop at its end too.
    ASSERT_EQ(s.AttachRegion(h, 100, 20000), STATUS_OK);
    out.assign(30000, 0xEE);
    int got = 0;
    EXPECT_EQ(s.Read(out.data(), 30000, &got), ERR_END_OF_DATA);
    EXPECT_EQ(got, 20000);
    EXPECT_EQ(memcmp(out.data(), content.data() + 100, 20000), 0);
    EXPECT_EQ(out[20000], 0xEE);

    // Regions that start before the file or end beyond 32 bits are refused.
    EXPECT_EQ(s.AttachRegion(h, -1, 10), ERR_OPEN);
    EXPECT_EQ(s.AttachRegion(h, 10, -1), ERR_OPEN);
    EXPECT_EQ(s.AttachRegion(h, 0x7FFFFF00, 0x1000), ERR_OPEN);
    FileClose(h);
}

TEST(FileInStream, AttachHandleStartsAtThePointerAndReportsTheWholeFile)
{
    Bytes content = Pattern(1000);
    TempFile f("attach.bin", content);
    HANDLE h = FileOpen(f.path.c_str(), 0);
    FileSeek(h, 10);
    cFileInStream s;
    ASSERT_EQ(s.AttachHandle(h), STATUS_OK);
    EXPECT_EQ(TellOf(s), 0);
    EXPECT_EQ(SizeOf(s), 1000);
    unsigned char c = 0;
    s.ReadByte(&c);
    EXPECT_EQ(c, content[10]);
    EXPECT_EQ(s.ownsHandle, 0);
    FileClose(h);
}

TEST(FileInStream, SeeksFromTheCurrentPositionStayInTheBufferWhenTheyCan)
{
    Bytes content = Pattern(50000);
    TempFile f("seek.bin", content);
    HANDLE h = FileOpen(f.path.c_str(), 0);
    cFileInStream s;
    ASSERT_EQ(s.Open(h), STATUS_OK);
    unsigned char out[10];
    ASSERT_EQ(s.ReadExact(out, 10), STATUS_OK);
    int pointer = FileTell(h);
    EXPECT_EQ(s.Seek(-3, SEEK_FROM_CURRENT), 7);
    EXPECT_EQ(FileTell(h), pointer) << "inside the buffer";
    EXPECT_EQ(s.Seek(100, SEEK_FROM_CURRENT), 107);
    EXPECT_EQ(FileTell(h), pointer);
    unsigned char c = 0;
    s.ReadByte(&c);
    EXPECT_EQ(c, content[107]);
    EXPECT_EQ(s.Seek(-120, SEEK_FROM_CURRENT), 0) << "through the file, clamped to the start";
    s.ReadByte(&c);
    EXPECT_EQ(c, content[0]);
    EXPECT_EQ(s.Seek(0, SEEK_FROM_END), 50000);
    EXPECT_EQ(s.ReadByte(&c), ERR_END_OF_DATA);

    // A read that went past the buffer straight into the caller's memory leaves nothing in the buffer to step
    // back into: a backward seek must find the bytes before the new position, not stale ones.
    s.Seek(0, SEEK_FROM_START);
    ASSERT_EQ(s.ReadExact(out, 10), STATUS_OK);
    Bytes big(16374 + 16384);
    ASSERT_EQ(s.ReadExact(big.data(), (int)big.size()), STATUS_OK);
    EXPECT_EQ(s.Seek(-5, SEEK_FROM_CURRENT), 32763);
    s.ReadByte(&c);
    EXPECT_EQ(c, content[32763]);
    FileClose(h);
}

TEST(FileInStream, OpenFailuresAndOwnedHandles)
{
    TempFile a("own_a.bin", Pattern(10)), b("own_b.bin", Pattern(20));
    cFileInStream s;
    EXPECT_EQ(s.Open(TempPath("missing.bin").c_str()), ERR_OPEN);
    EXPECT_EQ(s.Open(TempPath("missing.bin").c_str(), 0, 5), ERR_OPEN);
    EXPECT_EQ(s.GetFileName(), nullptr);
    ASSERT_EQ(s.Open(a.path.c_str()), STATUS_OK);
    EXPECT_STREQ(s.GetFileName(), a.path.c_str());
    EXPECT_EQ(s.ownsHandle, 1);
    EXPECT_FALSE(a.Unused());
    // Opening another file lets go of the one the stream opened itself.
    ASSERT_EQ(s.Open(b.path.c_str(), 5, 10), STATUS_OK);
    EXPECT_TRUE(a.Unused());
    EXPECT_STREQ(s.GetFileName(), b.path.c_str());
    EXPECT_EQ(SizeOf(s), 10);
    {
        cFileInStream copy(s);
        EXPECT_EQ(copy.ownsHandle, 0);
        EXPECT_NE(copy.buffer, s.buffer);
        EXPECT_STREQ(copy.GetFileName(), b.path.c_str());
        EXPECT_NE(copy.fileName, s.fileName);
    }
    EXPECT_FALSE(b.Unused()) << "destroying a copy leaves the original's handle open";
    unsigned char c = 0;
    EXPECT_EQ(s.ReadByte(&c), STATUS_OK);
    EXPECT_EQ(c, PatternByte(5));
    s.~cFileInStream();
    new (&s) cFileInStream();
    EXPECT_TRUE(b.Unused());
}

// Open(path) hands the handle to AttachHandle through the table; when attaching fails, the handle it opened is
// closed again.
HANDLE g_offered = INVALID_HANDLE_VALUE;
int KX_THISCALL RefuseAttach(void*, HANDLE file)
{
    g_offered = file;
    return ERR_NO_MEMORY;
}

TEST(FileInStream, OpenByPathDoesNotLeakWhenAttachingFails)
{
    TempFile f("leak.bin", Pattern(10));
    RawTable table(316, 25);
    table.slots[20] = reinterpret_cast<void*>(&RefuseAttach);
    cFileInStream s;
    void* own = *reinterpret_cast<void**>(&s);
    *reinterpret_cast<void**>(&s) = table.slots;
    EXPECT_EQ(s.Open(f.path.c_str()), ERR_NO_MEMORY);
    *reinterpret_cast<void**>(&s) = own;
    EXPECT_NE(g_offered, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(f.Unused());
    EXPECT_EQ(s.ownsHandle, 0);
    EXPECT_EQ(s.GetFileName(), nullptr);
}

TEST(FileInStream, CopiesReadTheSameNextBytesWithTheirOwnBuffer)
{
    Bytes content = Pattern(1000);
    TempFile f("copy.bin", content);
    cFileInStream s;
    ASSERT_EQ(s.Open(f.path.c_str()), STATUS_OK);
    unsigned char c = 0;
    s.ReadByte(&c);
    cFileInStream copy(s);
    unsigned char a[4], b[4];
    ASSERT_EQ(copy.ReadExact(a, 4), STATUS_OK);
    ASSERT_EQ(s.ReadExact(b, 4), STATUS_OK);
    EXPECT_EQ(memcmp(a, content.data() + 1, 4), 0);
    EXPECT_EQ(memcmp(b, content.data() + 1, 4), 0);
    cFileInStream assigned;
    ASSERT_EQ(assigned.Open(f.path.c_str()), STATUS_OK);
    assigned = s;
    EXPECT_EQ(assigned.ownsHandle, 0);
    EXPECT_EQ(assigned.Seek(0, SEEK_FROM_START), 0);
}

// ---------------------------------------------------------------------------------------------------------------
// File functions

TEST(FileFunctions, OpenFlagsChooseAccessAndSharing)
{
    TempFile f("flags.bin", Pattern(16));
    struct Case {
        int flags;
        bool read, write, othersRead, othersWrite;
    } cases[] = {
        {0, true, false, true, false},      {0x40, true, false, true, true}, {0x42, true, false, true, true},
        {0x10, true, false, false, false},  {0x20, true, false, false, false}, {0x50, true, false, false, false},
        {2, true, true, true, false},       {1, false, true, false, false},
    };
    for (const Case& c : cases) {
        HANDLE h = FileOpen(f.path.c_str(), c.flags);
        ASSERT_NE(h, INVALID_HANDLE_VALUE) << c.flags;
        unsigned char b[1] = {0};
        EXPECT_EQ(FileReadSome(h, b, 1) == 1, c.read) << c.flags;
        FileSeek(h, 0);
        EXPECT_EQ(FileWrite(h, b, 1) == STATUS_OK, c.write) << c.flags;
        HANDLE r = CreateFileA(f.path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        EXPECT_EQ(r != INVALID_HANDLE_VALUE, c.othersRead) << c.flags;
        if (r != INVALID_HANDLE_VALUE)
            CloseHandle(r);
        HANDLE w = CreateFileA(f.path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        EXPECT_EQ(w != INVALID_HANDLE_VALUE, c.othersWrite) << c.flags;
        if (w != INVALID_HANDLE_VALUE)
            CloseHandle(w);
        EXPECT_NE(FileClose(h), 0);
    }
    EXPECT_EQ(FileOpen(TempPath("absent.bin").c_str(), 0), INVALID_HANDLE_VALUE);
}

TEST(FileFunctions, ReadsWritesAndPositions)
{
    TempFile f("rw.bin");
    HANDLE h = FileCreate(f.path.c_str());
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    Bytes content = Pattern(300);
    EXPECT_EQ(FileWrite(h, content.data(), 300), STATUS_OK);
    EXPECT_EQ(FileWrite(h, content.data(), -1), ERR_WRITE);
    EXPECT_EQ(FileSeek(h, 100), 100);
    EXPECT_EQ(FileGetSize(h), 300);
    EXPECT_EQ(FileTell(h), 100) << "FileGetSize puts the pointer back";
    EXPECT_EQ(FileSeekCurrent(h, -10), 90);
    EXPECT_EQ(FileSeekEnd(h, -50), 250);
    Bytes out(60, 0);
    EXPECT_EQ(FileRead(h, out.data(), 60), ERR_END_OF_DATA);
    EXPECT_EQ(memcmp(out.data(), content.data() + 250, 50), 0);
    EXPECT_EQ(FileRead(h, out.data(), 1), ERR_END_OF_DATA);
    EXPECT_EQ(FileReadSome(h, out.data(), 10), 0);
    FileSeek(h, 0);
    EXPECT_EQ(FileRead(h, out.data(), 60), STATUS_OK);
    EXPECT_EQ(FileRead(h, out.data(), -1), ERR_READ);
    FileClose(h);

    HANDLE writeOnly = FileOpen(f.path.c_str(), FOPEN_WRITE_ONLY);
    EXPECT_EQ(FileReadSome(writeOnly, out.data(), 10), -1);
    EXPECT_EQ(FileRead(writeOnly, out.data(), 10), ERR_READ);
    FileClose(writeOnly);
    HANDLE readOnly = FileOpen(f.path.c_str(), 0);
    EXPECT_EQ(FileWrite(readOnly, out.data(), 10), ERR_WRITE);
    FileClose(readOnly);

    EXPECT_EQ(FileExists(f.path.c_str()), 1);
    EXPECT_EQ(FileExists(TempPath("rw.b?n").c_str()), 1);
    EXPECT_EQ(FileExists(TempPath("nothing*").c_str()), 0);
    EXPECT_EQ(FileCreate(TempPath("no_such_dir\\x.bin").c_str()), INVALID_HANDLE_VALUE);
}

TEST(FileFunctions, LengthPrefixedBlocks)
{
    struct Case {
        const char* name;
        Bytes file;
        int kind;  // 16: FileReadBlock16, 32: FileReadBlock32, 0: FileReadText16
        int status;
        Bytes block;  // expected content (with the NUL for texts); empty = null block
    } cases[] = {
        {"text", {3, 0, 'a', 'b', 'c'}, 0, STATUS_OK, {'a', 'b', 'c', 0}},
        {"empty text", {0, 0}, 0, STATUS_OK, {0}},
        {"block16", {2, 0, 9, 8, 7}, 16, STATUS_OK, {9, 8}},
        {"block32", {3, 0, 0, 0, 1, 2, 3}, 32, STATUS_OK, {1, 2, 3}},
        {"no prefix", {1}, 16, ERR_END_OF_DATA, {}},
        {"length past the end", {5, 0, 1, 2}, 16, ERR_END_OF_DATA, {}},
        {"huge length", {0xFF, 0xFF, 0xFF, 0x7F, 1, 2}, 32, ERR_END_OF_DATA, {}},
    };
    for (const Case& c : cases) {
        TempFile f("block.bin", c.file);
        HANDLE h = FileOpen(f.path.c_str(), 0);
        void* block = &h;  // must be replaced
        int status = c.kind == 16   ? FileReadBlock16(h, &block)
                     : c.kind == 32 ? FileReadBlock32(h, &block)
                                    : FileReadText16(h, reinterpret_cast<char**>(&block));
        EXPECT_EQ(status, c.status) << c.name;
        if (c.block.empty()) {
            EXPECT_EQ(block, nullptr) << c.name;
        } else {
            ASSERT_NE(block, nullptr) << c.name;
            EXPECT_EQ(memcmp(block, c.block.data(), c.block.size()), 0) << c.name;
        }
        FreeAndNull(&block);
        FileClose(h);
    }
}

// ---------------------------------------------------------------------------------------------------------------
// cMemOutStream

TEST(MemOutStream, GrowsInStepsOrStopsAtAFixedBuffer)
{
    Bytes src = Pattern(200);
    {
        cMemOutStream s;
        EXPECT_EQ(s.Write(src.data(), 1), STATUS_OK);
        EXPECT_EQ(s.capacity, 512);
        EXPECT_EQ(s.Write(src.data(), 600), STATUS_OK);
        EXPECT_EQ(s.capacity, 1024);
        EXPECT_EQ(s.GetSize(), 601);
    }
    {
        cMemOutStream s;
        ASSERT_EQ(s.AllocBuffer(100), STATUS_OK);
        EXPECT_EQ(s.Write(src.data(), 150), STATUS_OK);
        EXPECT_EQ(s.capacity, 200);
        EXPECT_EQ(memcmp(s.GetData(), src.data(), 150), 0);
    }
    {
        unsigned char fixed[101];
        memset(fixed, 0xEE, sizeof fixed);
        cMemOutStream s;
        ASSERT_EQ(s.AttachBuffer(fixed, 100), STATUS_OK);
        EXPECT_EQ(s.Write(src.data(), 150), ERR_BUFFER_FULL);
        EXPECT_EQ(s.GetSize(), 0);
        EXPECT_EQ(fixed[0], 0xEE) << "a refused write writes nothing";
        EXPECT_EQ(s.Write(src.data(), 100), STATUS_OK);
        EXPECT_EQ(s.Write(src.data(), 1), ERR_BUFFER_FULL);
        EXPECT_EQ(fixed[100], 0xEE);
        EXPECT_EQ(s.TakeBuffer(), fixed);
    }
    {
        // A growth step of 0 would divide by zero; the stream falls back to its default step.
        cMemOutStream s;
        ASSERT_EQ(s.AllocBuffer(0), STATUS_OK);
        EXPECT_EQ(s.Write(src.data(), 10), STATUS_OK);
        EXPECT_EQ(s.capacity, 512);
        EXPECT_EQ(s.Write(src.data(), -1), ERR_WRITE);
        EXPECT_EQ(s.AllocBuffer(-1), ERR_NO_MEMORY);
        EXPECT_EQ(s.AttachBuffer(nullptr, -1), ERR_WRITE);
        EXPECT_EQ(s.GetSize(), 10);
    }
}

TEST(MemOutStream, SeeksOverwriteAndKeepTheLength)
{
    cMemOutStream s;
    ASSERT_EQ(s.Write("abcdef", 6), STATUS_OK);
    EXPECT_EQ(s.Seek(100, SEEK_FROM_START), 6);
    EXPECT_EQ(s.Seek(-2, SEEK_FROM_END), 4);
    EXPECT_EQ(s.Seek(-10, SEEK_FROM_CURRENT), 0);
    EXPECT_EQ(s.Seek(3, 9), 0) << "an unknown origin stays put";
    ASSERT_EQ(s.Write("XY", 2), STATUS_OK);
    EXPECT_EQ(s.GetSize(), 6);
    EXPECT_EQ(s.Tell(), 2);
    s.Seek(5, SEEK_FROM_START);
    ASSERT_EQ(s.Write("ZZZ", 3), STATUS_OK);
    EXPECT_EQ(s.GetSize(), 8);
    EXPECT_EQ(memcmp(s.GetData(), "XYcdeZZZ", 8), 0);
    EXPECT_EQ(s.Flush(), STATUS_OK);
    EXPECT_EQ(s.GetFileName(), nullptr);
}

TEST(MemOutStream, TakeBufferHandsOverTheBlockAndTheStreamStartsAgain)
{
    cMemOutStream s;
    ASSERT_EQ(s.Write("hello", 5), STATUS_OK);
    unsigned char* block = s.TakeBuffer();
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(memcmp(block, "hello", 5), 0);
    EXPECT_EQ(s.GetSize(), 0);
    // Writing again starts a new block instead of writing through a stale cursor.
    ASSERT_EQ(s.Write("again", 5), STATUS_OK);
    EXPECT_NE(s.GetData(), nullptr);
    EXPECT_EQ(s.Tell(), 5);
    EXPECT_EQ(memcmp(s.GetData(), "again", 5), 0);
    FreeStreamBuffer(block);
}

TEST(MemOutStream, ReplacingTheBlockResetsTheLength)
{
    cMemOutStream s;
    ASSERT_EQ(s.Write(Pattern(300).data(), 300), STATUS_OK);
    ASSERT_EQ(s.AllocBuffer(16), STATUS_OK);
    EXPECT_EQ(s.GetSize(), 0);
    EXPECT_EQ(s.Seek(0, SEEK_FROM_END), 0) << "no seek past the new block";
}

TEST(MemOutStream, CopiesAreFixedViewsOfTheOriginal)
{
    cMemOutStream s;
    ASSERT_EQ(s.Write("abc", 3), STATUS_OK);
    {
        cMemOutStream copy(s);
        EXPECT_EQ(copy.ownsData, 0);
        EXPECT_EQ(copy.Write(Pattern(1000).data(), 1000), ERR_BUFFER_FULL) << "a copy never moves the block";
        cMemOutStream assigned;
        assigned = s;
        EXPECT_EQ(assigned.ownsData, 0);
    }
    EXPECT_EQ(memcmp(s.GetData(), "abc", 3), 0);
    ASSERT_EQ(s.Write(Pattern(1000).data(), 1000), STATUS_OK);
}

TEST(OutStream, ConveniencesWriteInTheirByteOrder)
{
    cMemOutStream s;
    unsigned short w = 0x1234;
    unsigned long d = 0x12345678;
    long l = -2;
    EXPECT_EQ(s.WriteWord(w), STATUS_OK);
    EXPECT_EQ(s.WriteWordBE(w), STATUS_OK);
    EXPECT_EQ(s.WriteDword(d), STATUS_OK);
    EXPECT_EQ(s.WriteDwordBE(d), STATUS_OK);
    EXPECT_EQ(s.WriteLong(l), STATUS_OK);
    const unsigned char expected[] = {0x34, 0x12, 0x12, 0x34, 0x78, 0x56, 0x34, 0x12,
                                      0x12, 0x34, 0x56, 0x78, 0xFE, 0xFF, 0xFF, 0xFF};
    ASSERT_EQ(s.GetSize(), (int)sizeof expected);
    EXPECT_EQ(memcmp(s.GetData(), expected, sizeof expected), 0);
}

// ---------------------------------------------------------------------------------------------------------------
// cFileOutStream

TEST(FileOutStream, BufferedWritesReachTheFileInOrder)
{
    const unsigned long sizes[] = {0, 1, 7, 16, 4096};
    Bytes content = Pattern(5000);
    for (unsigned long bufferSize : sizes) {
        TempFile f("out.bin");
        cFileOutStream s;
        ASSERT_EQ(s.Create(f.path.c_str(), bufferSize), STATUS_OK);
        EXPECT_STREQ(s.GetFileName(), f.path.c_str());
        EXPECT_EQ(s.buffering, bufferSize ? 1 : 0) << "a buffer of 0 bytes means writing straight through";
        const int pieces[] = {1, 15, 16, 17, 3, 100, 4848};
        int at = 0;
        for (int n : pieces) {
            ASSERT_EQ(s.Write(content.data() + at, n), STATUS_OK) << bufferSize;
            at += n;
            EXPECT_EQ(s.Tell(), at);
            EXPECT_EQ(s.GetSize(), at);
            EXPECT_LE(s.pending, bufferSize);
        }
        EXPECT_EQ(s.Flush(), STATUS_OK);
        EXPECT_EQ(ReadBack(s.handle), content) << bufferSize;
        s.~cFileOutStream();
        new (&s) cFileOutStream();
    }
}

TEST(FileOutStream, SeekingIntoTheMiddleWritesThroughUntilTheEnd)
{
    TempFile f("mid.bin");
    cFileOutStream s;
    ASSERT_EQ(s.Create(f.path.c_str(), 64), STATUS_OK);
    ASSERT_EQ(s.Write("0123456789", 10), STATUS_OK);
    EXPECT_EQ(s.pending, 10ul);
    EXPECT_EQ(s.Seek(2, SEEK_FROM_START), 2);
    EXPECT_EQ(s.buffering, 0);
    EXPECT_EQ(s.pending, 0ul);
    ASSERT_EQ(s.Write("ab", 2), STATUS_OK);
    EXPECT_EQ(ReadBack(s.handle), Bytes({'0', '1', 'a', 'b', '4', '5', '6', '7', '8', '9'}))
        << "written straight through";
    EXPECT_EQ(s.Seek(0, SEEK_FROM_END), 10);
    EXPECT_EQ(s.buffering, 1);
    EXPECT_EQ(s.Seek(-3, SEEK_FROM_START), 0);
    EXPECT_EQ(s.Seek(50, SEEK_FROM_CURRENT), 10);
    ASSERT_EQ(s.Write("!", 1), STATUS_OK);
    EXPECT_EQ(s.pending, 1ul);
    EXPECT_EQ(s.GetSize(), 11);
    s.~cFileOutStream();  // the destructor writes the last byte
    new (&s) cFileOutStream();
    EXPECT_EQ(f.Read().size(), 11u);
    EXPECT_EQ(s.Create(TempPath("no_such_dir\\o.bin").c_str(), 16), ERR_CREATE);
    EXPECT_EQ(s.handle, INVALID_HANDLE_VALUE);
}

// A handle that refuses writes stands for a full disk: every failure must reach the caller, and nothing pending
// may be dropped or put in the wrong place.
TEST(FileOutStream, FailedWritesAreReportedAndKeepTheirBytes)
{
    TempFile f("ro.bin", Pattern(100));
    HANDLE h = FileOpen(f.path.c_str(), 0);
    cFileOutStream s;
    ASSERT_EQ(s.Open(h, 8), STATUS_OK);
    EXPECT_EQ(s.ownsHandle, 0);
    ASSERT_EQ(s.Write("abc", 3), STATUS_OK);  // only buffered so far
    EXPECT_EQ(s.Flush(), ERR_WRITE);
    EXPECT_EQ(s.pending, 3ul);
    EXPECT_EQ(s.Seek(0, SEEK_FROM_START), 3) << "a failed flush keeps the stream where it was";
    EXPECT_EQ(s.buffering, 1);
    EXPECT_EQ(s.pending, 3ul);
    EXPECT_EQ(FileTell(h), 0);
    EXPECT_EQ(s.Write("0123456789", 10), ERR_WRITE);
    EXPECT_EQ(s.pending, 8ul) << "the full buffer waits for the next attempt";

    cFileOutStream direct;
    ASSERT_EQ(direct.Open(h, 0), STATUS_OK);
    EXPECT_EQ(direct.Write("x", 1), ERR_WRITE);
    s.~cFileOutStream();
    new (&s) cFileOutStream();
    direct.~cFileOutStream();
    new (&direct) cFileOutStream();
    EXPECT_EQ(f.Read(), Pattern(100));
    FileClose(h);
}

TEST(FileOutStream, CopiesNeitherOwnTheHandleNorRepeatPendingBytes)
{
    TempFile f("copyout.bin");
    {
        cFileOutStream s;
        ASSERT_EQ(s.Create(f.path.c_str(), 32), STATUS_OK);
        ASSERT_EQ(s.Write("abc", 3), STATUS_OK);
        {
            cFileOutStream copy(s);
            EXPECT_EQ(copy.ownsHandle, 0);
            EXPECT_EQ(copy.pending, 0ul);
            EXPECT_NE(copy.buffer, s.buffer);
            cFileOutStream assigned;
            assigned = s;
            EXPECT_EQ(assigned.ownsHandle, 0);
        }
        EXPECT_FALSE(f.Unused());
    }
    EXPECT_TRUE(f.Unused());
    EXPECT_EQ(f.Read(), Bytes({'a', 'b', 'c'})) << "the pending bytes were written once";
}

// ---------------------------------------------------------------------------------------------------------------
// Exported virtual tables

void** TableOf(void* object)
{
    return *reinterpret_cast<void***>(object);
}

TEST(StreamVtables, OrdinalsPointAtSlotZeroOfEachClass)
{
    cFileInStream fileIn;
    cMemInStream memIn;
    cFileOutStream fileOut;
    cMemOutStream memOut;
    EXPECT_EQ(Ordinal(316), TableOf(&fileIn));
    EXPECT_EQ(Ordinal(318), TableOf(&memIn));
    EXPECT_EQ(Ordinal(319), TableOf(&fileOut));
    EXPECT_EQ(Ordinal(321), TableOf(&memOut));
    // The abstract bases: slot 1 of the input base is Delete, slots 1..6 of the output base are pure.
    void** in = static_cast<void**>(Ordinal(317));
    void** out = static_cast<void**>(Ordinal(320));
    ASSERT_NE(in, nullptr);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(in[1], Ordinal(398));
    EXPECT_EQ(in[5], Ordinal(669));
    EXPECT_EQ(in[22], Ordinal(472));
    EXPECT_EQ(in[2], in[3]) << "pure slots";
    EXPECT_EQ(out[1], out[6]) << "pure slots";
    EXPECT_NE(out[0], out[1]) << "slot 0 is implemented";
}

// Each table's slots hold the bodies exported under the ordinals of those members. Tell of the memory reader and
// GetSize of the file reader are not listed: their ordinals are bodies shared with other classes.
TEST(StreamVtables, SlotsHoldTheExportedMembers)
{
    struct Row {
        int table;
        std::vector<int> slots;  // ordinal per slot, 0 = not checked here
    } rows[] = {
        {316, {0, 398, 658, 657, 662, 669, 665, 675, 671, 667, 673, 670, 666, 668, 676, 672, 674, 558, 0, 713, 337,
               403, 472, 458, 496}},
        {318, {0, 398, 660, 659, 663, 669, 665, 675, 671, 667, 673, 670, 666, 668, 676, 672, 674, 0, 525, 714, 338,
               404, 473, 459, 497}},
        {319, {0, 773, 453, 526, 560, 715, 498}},
        {321, {0, 774, 454, 527, 561, 716, 499}},
    };
    for (const Row& r : rows) {
        void** table = static_cast<void**>(Ordinal(r.table));
        ASSERT_NE(table, nullptr);
        for (size_t slot = 0; slot < r.slots.size(); slot++) {
            if (r.slots[slot]) {
                EXPECT_EQ(table[slot], Ordinal(r.slots[slot])) << "table " << r.table << " slot " << slot;
            }
        }
    }
}

// Calls through the raw tables, as a host built by another compiler does.
TEST(StreamVtables, RawSlotsRunTheOverrides)
{
    typedef int(KX_THISCALL * IntFn)(void*);
    typedef int(KX_THISCALL * ReadExactFn)(void*, void*, int);
    typedef int(KX_THISCALL * SeekFn)(void*, int, int);
    typedef const char*(KX_THISCALL * NameFn)(void*);
    typedef void*(KX_THISCALL * DestroyFn)(void*, unsigned);
    typedef int(KX_THISCALL * WriteFn)(void*, const void*, int);

    Bytes content = Pattern(300);
    TempFile f("vt.bin", content);
    cFileInStream* fileIn = NewFileInStream();
    ASSERT_NE(fileIn, nullptr);
    ASSERT_EQ(fileIn->Open(f.path.c_str(), 100, 50), STATUS_OK);
    void** t = static_cast<void**>(Ordinal(316));
    EXPECT_EQ(((IntFn)t[18])(fileIn), 50) << "GetSize";
    EXPECT_EQ(((SeekFn)t[19])(fileIn, 10, SEEK_FROM_START), 10) << "Seek";
    unsigned char b[4];
    EXPECT_EQ(((ReadExactFn)t[3])(fileIn, b, 4), STATUS_OK) << "ReadExact";
    EXPECT_EQ(b[0], content[110]);
    EXPECT_EQ(((IntFn)t[17])(fileIn), 14) << "Tell";
    EXPECT_STREQ(((NameFn)t[24])(fileIn), f.path.c_str()) << "GetFileName";
    EXPECT_EQ(((DestroyFn)t[0])(fileIn, 1), fileIn) << "Destroy frees and closes";
    EXPECT_TRUE(f.Unused());

    cMemInStream* memIn = NewMemInStream();
    ASSERT_NE(memIn, nullptr);
    ASSERT_EQ(memIn->Open(content.data(), 300), STATUS_OK);
    t = static_cast<void**>(Ordinal(318));
    EXPECT_EQ(((SeekFn)t[19])(memIn, -20, SEEK_FROM_END), 280);
    EXPECT_EQ(((IntFn)t[17])(memIn), 280) << "Tell";
    EXPECT_EQ(((IntFn)t[18])(memIn), 300) << "GetSize";
    EXPECT_EQ(((NameFn)t[24])(memIn), nullptr);
    typedef void(KX_THISCALL * DeleteFn)(void*);
    ((DeleteFn)t[1])(memIn);
    ((DeleteFn)Ordinal(398))(nullptr);  // a null object is ignored

    cMemOutStream memOut;
    t = static_cast<void**>(Ordinal(321));
    EXPECT_EQ(((WriteFn)t[1])(&memOut, "abcd", 4), STATUS_OK);
    EXPECT_EQ(((IntFn)t[3])(&memOut), 4) << "GetSize";
    EXPECT_EQ(((SeekFn)t[5])(&memOut, 1, SEEK_FROM_START), 1);
    EXPECT_EQ(((IntFn)t[4])(&memOut), 1) << "Tell";
    EXPECT_EQ(((IntFn)t[2])(&memOut), 0) << "Flush";

    TempFile o("vtout.bin");
    cFileOutStream fileOut;
    ASSERT_EQ(fileOut.Create(o.path.c_str(), 16), STATUS_OK);
    t = static_cast<void**>(Ordinal(319));
    EXPECT_EQ(((WriteFn)t[1])(&fileOut, "xyz", 3), STATUS_OK);
    EXPECT_EQ(((IntFn)t[4])(&fileOut), 3) << "Tell";
    EXPECT_EQ(((IntFn)t[2])(&fileOut), STATUS_OK) << "Flush";
    EXPECT_EQ(ReadBack(fileOut.handle), Bytes({'x', 'y', 'z'}));
    EXPECT_STREQ(((NameFn)t[6])(&fileOut), o.path.c_str());
}

}  // namespace
