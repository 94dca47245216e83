// The installer's parts one by one: command lines, the shared block and its names, the key reader, the file
// steps and the destination paths.
#include <string.h>

#include <string>
#include <vector>

#include <windows.h>

#include "block.h"
#include "files.h"
#include "fixtures.h"
#include "gtest/gtest.h"
#include "install.h"
#include "kalvex2/base.h"
#include "payload.h"

using fwpack::Bytes;

namespace {

TEST(InstallerCommandLine, OnlyAnISwitchBeforeTheFirstBareWordInstalls)
{
    struct Case {
        const char* arguments;
        bool install;
    } cases[] = {
        {"", false},        {"-x", false},      {"-i", true},          {"/I", true},         {"   -i", true},
        {"-install", true}, {"/x/i", true},     {"-x -i", true},       {"/X   /i  ", true},  {"i", false},
        {"x -i", false},    {"-x i", false},    {"-", false},          {"-x -", false},      {"-x/", false},
        {"--i", false},     {"-I-", true},      {"-xi", false},        {"-- -i", true},      {"\t-i", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(fw::ParseInstallSwitch(c.arguments), c.install) << "\"" << c.arguments << "\"";
    EXPECT_FALSE(fw::ParseInstallSwitch(nullptr));
}

TEST(InstallerCommandLine, AMarkAtTheEndIsNotFollowedPastTheText)
{
    // The text ends right at a page boundary after the mark; reading one byte further would fault.
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    char* pages = static_cast<char*>(VirtualAlloc(nullptr, info.dwPageSize * 2, MEM_RESERVE | MEM_COMMIT,
                                                  PAGE_READWRITE));
    ASSERT_NE(pages, nullptr);
    DWORD old;
    VirtualProtect(pages + info.dwPageSize, info.dwPageSize, PAGE_NOACCESS, &old);
    char* text = pages + info.dwPageSize - 4;
    memcpy(text, "-x-", 4);
    EXPECT_FALSE(fw::ParseInstallSwitch(text));
    memcpy(text, "/i-", 4);
    EXPECT_TRUE(fw::ParseInstallSwitch(text));
    VirtualFree(pages, 0, MEM_RELEASE);
}

TEST(InstallerBlock, ChecksumRotatesBeforeAddingEachByte)
{
    struct Case {
        std::vector<uint8_t> bytes;
        uint32_t sum;
    } cases[] = {
        {{}, 0},
        {{1, 2, 3}, 0xB},
        {[] { std::vector<uint8_t> v(32, 0); v[0] = 0xFF; return v; }(), 0x8000007F},
        {std::vector<uint8_t>(40, 0xFF), 0xFD81},
    };
    for (const Case& c : cases)
        EXPECT_EQ(fw::BlockChecksum(c.bytes.data(), int32_t(c.bytes.size())), c.sum) << c.bytes.size() << " bytes";
    uint8_t some[4] = {9, 9, 9, 9};
    EXPECT_EQ(fw::BlockChecksum(some, 0), 0u);
    EXPECT_EQ(fw::BlockChecksum(some, -5), 0u);
}

void PutU32(Bytes& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = uint8_t(v >> (8 * i));
}

TEST(InstallerBlock, HeaderAndChecksumChecks)
{
    const Bytes good = fwpack::MakeBlock({{"C:\\p\\a.pay", "a.ext"}});
    struct Case {
        const char* what;
        void (*change)(Bytes&);
        fw::BlockCheck expected;
    } cases[] = {
        {"as made", [](Bytes&) {}, fw::BlockCheck::Accepted},
        {"header bit 12", [](Bytes& b) { b[1] |= 0x10; }, fw::BlockCheck::ReservedBits},
        {"header bit 27", [](Bytes& b) { b[3] |= 0x08; }, fw::BlockCheck::ReservedBits},
        {"header bits outside the mask", [](Bytes& b) { b[0] = 0xFF; b[1] |= 0x0F; b[3] |= 0xF0; },
         fw::BlockCheck::Accepted},
        {"stored checksum off by one", [](Bytes& b) { b[4] ^= 1; }, fw::BlockCheck::ChecksumDiffers},
        {"a covered byte changed", [](Bytes& b) { b[b.size() - 2] ^= 0x40; }, fw::BlockCheck::ChecksumDiffers},
        {"length 0, checksum 0", [](Bytes& b) { PutU32(b, 8, 0); PutU32(b, 4, 0); }, fw::BlockCheck::Accepted},
        {"length 0, checksum 1", [](Bytes& b) { PutU32(b, 8, 0); PutU32(b, 4, 1); },
         fw::BlockCheck::ChecksumDiffers},
        {"negative length, checksum 0", [](Bytes& b) { PutU32(b, 8, 0x80000000); PutU32(b, 4, 0); },
         fw::BlockCheck::Accepted},
        {"length one past the block", [](Bytes& b) { PutU32(b, 8, uint32_t(b.size() - 7)); },
         fw::BlockCheck::LengthOutside},
        {"length of the whole block", [](Bytes& b) { PutU32(b, 8, uint32_t(b.size() - 8)); fwpack::UpdateChecksum(b); },
         fw::BlockCheck::Accepted},
        {"shorter than a header", [](Bytes& b) { b.resize(15); }, fw::BlockCheck::TooSmall},
    };
    for (const Case& c : cases) {
        Bytes block = good;
        c.change(block);
        EXPECT_EQ(fw::CheckBlock(block.data(), block.size()), c.expected) << c.what;
    }
}

TEST(InstallerNames, KeyRotatesLeftWithinFiveBitsAndRepeatsEveryFiveCharacters)
{
    const uint8_t expected[] = {0x13, 0x07, 0x0E, 0x1C, 0x19, 0x13, 0x07};
    uint8_t key = fw::NAME_KEY_START;
    for (size_t i = 0; i < sizeof expected; ++i) {
        EXPECT_EQ(key, expected[i]) << "step " << i;
        key = fw::NextNameKey(key);
    }
    // Every 5-bit key comes back after five steps.
    for (uint8_t k = 0; k < 32; ++k) {
        uint8_t r = k;
        for (int i = 0; i < 5; ++i)
            r = fw::NextNameKey(r);
        EXPECT_EQ(r, k);
    }
}

TEST(InstallerNames, DestinationContinuesWithTheSourcesKey)
{
    // "ab" with keys 13 07; "xyz" goes on with 0E 1C 19.
    const uint8_t source[] = {'a' ^ 0x13, 'b' ^ 0x07, 0};
    const uint8_t name[] = {'x' ^ 0x0E, 'y' ^ 0x1C, 'z' ^ 0x19, 0};
    uint8_t key = fw::NAME_KEY_START;
    char out[fw::PATH_BUFFER];
    ASSERT_EQ(fw::UnscrambleName(source, sizeof source, &key, out, fw::PATH_LIMIT), fw::NameRead::Ok);
    EXPECT_STREQ(out, "ab");
    EXPECT_EQ(key, 0x0E);
    ASSERT_EQ(fw::UnscrambleName(name, sizeof name, &key, out, fw::PATH_LIMIT), fw::NameRead::Ok);
    EXPECT_STREQ(out, "xyz");
    EXPECT_EQ(key, 0x13);
}

TEST(InstallerNames, LimitsAndTheBlocksEnd)
{
    struct Case {
        size_t characters;
        bool stored_zero;
        size_t available_extra;  // bytes of the block after the name's characters
        fw::NameRead expected;
        size_t out_length;
    } cases[] = {
        {259, true, 1, fw::NameRead::Ok, 259},
        {260, true, 1, fw::NameRead::TooLong, 259},
        {400, true, 1, fw::NameRead::TooLong, 259},
        {0, true, 1, fw::NameRead::Ok, 0},
        {10, false, 0, fw::NameRead::OutsideBlock, 10},
    };
    for (const Case& c : cases) {
        Bytes raw(c.characters, uint8_t('q' ^ 0x13));
        if (c.stored_zero)
            raw.push_back(0);
        char out[fw::PATH_BUFFER];
        memset(out, 'X', sizeof out);
        uint8_t key = 0x13;
        EXPECT_EQ(fw::UnscrambleName(raw.data(), c.characters + c.available_extra, &key, out, fw::PATH_LIMIT),
                  c.expected)
            << c.characters;
        EXPECT_EQ(strlen(out), c.out_length) << c.characters;
    }
}

struct Seen {
    std::vector<std::pair<std::string, std::string>> entries;
    static void Handle(void* self, const char* source, const char* name)
    {
        static_cast<Seen*>(self)->entries.emplace_back(source, name);
    }
};

std::vector<std::pair<std::string, std::string>> Walk(const Bytes& block)
{
    Seen seen;
    uint32_t handled = fw::WalkBlock(block.data(), block.size(), Seen::Handle, &seen);
    EXPECT_EQ(handled, seen.entries.size());
    return seen.entries;
}

TEST(InstallerBlock, WalkStaysInsideTheBlock)
{
    typedef std::vector<std::pair<std::string, std::string>> Entries;
    const Entries three = {{"C:\\a.pay", "a.ext"}, {"C:\\b.pay", "sub\\b.ext"}, {"C:\\c.pay", "c.ext"}};
    const std::string longName(300, 'n');
    const std::string longest(259, 's');
    struct Case {
        const char* what;
        Entries entries;
        void (*change)(Bytes&);
        Entries expected;
    } cases[] = {
        {"every entry in order", three, [](Bytes&) {}, three},
        {"no entries", {}, [](Bytes&) {}, {}},
        {"count of 0", three, [](Bytes& b) { PutU32(b, 12, 0); }, {}},
        {"entry size 0 ends the walk after its entry", three, [](Bytes& b) { PutU32(b, 16, 0); },
         {three[0]}},
        {"entry size 15 ends the walk after its entry", three, [](Bytes& b) { PutU32(b, 32, 15); },
         {three[0], three[1]}},
        {"entry size that would wrap", three, [](Bytes& b) { PutU32(b, 16, 0xFFFFFFF0u); }, {three[0]}},
        {"entry size past the end", three, [](Bytes& b) { PutU32(b, 16, uint32_t(b.size())); }, {three[0]}},
        {"a smaller count than records", three, [](Bytes& b) { PutU32(b, 12, 2); }, {three[0], three[1]}},
        {"a source offset outside ends the walk", three,
         [](Bytes& b) { PutU32(b, 32 + 8, uint32_t(b.size())); }, {three[0]}},
        {"a name offset far outside", three, [](Bytes& b) { PutU32(b, 16 + 12, 0xFFFFFFFFu); }, {}},
        {"a name running to the block's end", three, [](Bytes& b) { b.back() = 0x55; }, {three[0], three[1]}},
        {"an overlong source is skipped", {{longName, "x.ext"}, three[1]}, [](Bytes&) {}, {three[1]}},
        {"an overlong name is skipped", {{"C:\\a.pay", longName}, three[2]}, [](Bytes&) {}, {three[2]}},
        {"259 characters are whole", {{longest, "x.ext"}}, [](Bytes&) {}, {{longest, "x.ext"}}},
    };
    for (const Case& c : cases) {
        Bytes block = fwpack::MakeBlock(c.entries);
        c.change(block);
        fwpack::UpdateChecksum(block);
        EXPECT_EQ(Walk(block), c.expected) << c.what;
    }
}

TEST(InstallerBlock, ARejectedBlockIsNotWalked)
{
    Bytes block = fwpack::MakeBlock({{"C:\\a.pay", "a.ext"}});
    block[4] ^= 1;
    EXPECT_TRUE(Walk(block).empty());
}

TEST(InstallerNames, OnlyPlainRelativeNamesAreInstalled)
{
    const char* plain[] = {"a.ext", "sub\\file.ext", "sub/file.ext", "a b.c", "console.dll", "COM10", "nul1",
                           "lpt", "x..y", ".hidden", "deep\\er\\still\\f"};
    for (const char* name : plain)
        EXPECT_TRUE(fw::IsPlainRelativeName(name)) << name;
    const char* hostile[] = {"", "\\a", "a\\", "a\\\\b", ".", "..", "..\\x", "a\\..\\..\\x", "a/../x", "./x",
                             "C:x", "C:\\x", "a:stream", "a<b", "a>b", "a|b", "a?b", "a*b", "a\"b", "a\x01" "b",
                             "a\x1f", "a.", "a ", "sub.\\x", "CON", "con.txt", "Nul", "AUX.x.y", "PRN", "COM1",
                             "lpt9.log", "sub\\NUL", "CON .txt", "CONIN$", "conout$.x", "\\\\server\\share\\x",
                             "//server/share/x"};
    for (const char* name : hostile)
        EXPECT_FALSE(fw::IsPlainRelativeName(name)) << name;
}

TEST(InstallerKey, ReadsStoredHexadecimalNumbers)
{
    struct Case {
        std::vector<uint8_t> stored;
        const char* value;  // hexadecimal
    } cases[] = {
        {{0x7F, 0x61, 0x93, 0x76}, "1F"},
        {{0x2F, 0x45, 0x93, 0x82}, "AB"},  // stored as lower-case "ab"
        {{0x7F, 0x17, 0xA3, 0xF9, 0xD5, 0x72, 0x41}, "10001"},
        {{0x2A, 0x42, 0xF2, 0xAD, 0xA6, 0x37, 0x7C, 0xDA, 0x4E, 0x11}, "DEADBEEF"},
        {{0x63, 0x12, 0x93, 0x51}, "-5"},
        {{0x4E, 0x38}, "0"},
    };
    for (const Case& c : cases) {
        mbedtls_mpi x;
        mbedtls_mpi_init(&x);
        ASSERT_EQ(fw::ReadScrambledHexNumber(&x, c.stored.data(), c.stored.size(), 0x9C), 0) << c.value;
        mbedtls_mpi expected;
        mbedtls_mpi_init(&expected);
        ASSERT_EQ(mbedtls_mpi_read_string(&expected, 16, c.value), 0);
        EXPECT_EQ(mbedtls_mpi_cmp_mpi(&x, &expected), 0) << c.value;
        mbedtls_mpi_free(&x);
        mbedtls_mpi_free(&expected);
    }
}

TEST(InstallerKey, RefusesBrokenStoredNumbersAndLeavesTheNumberAlone)
{
    struct Case {
        const char* what;
        std::vector<uint8_t> stored;
    } cases[] = {
        {"check byte off", {0x7F, 0x61, 0x93, 0x77}},
        {"a digit changed", {0x7F, 0x62, 0x93, 0x76}},
        {"a character that is no digit ('1G', check byte right)", {0x7F, 0x60, 0x93, 0x73}},
        {"no terminator inside the slot", {0x7F, 0x17, 0xA3, 0xF9}},
        {"terminator in the last byte, no room for the check", {0x7F, 0x61, 0x93}},
        {"empty slot", {}},
    };
    for (const Case& c : cases) {
        mbedtls_mpi x;
        mbedtls_mpi_init(&x);
        mbedtls_mpi_lset(&x, 4242);
        EXPECT_NE(fw::ReadScrambledHexNumber(&x, c.stored.data(), c.stored.size(), 0x9C), 0) << c.what;
        EXPECT_EQ(mbedtls_mpi_cmp_int(&x, 4242), 0) << c.what;
        mbedtls_mpi_free(&x);
    }
}

TEST(InstallerKey, TheCompiledKeyIsTheSigningKeysPublicHalf)
{
    mbedtls_mpi n;
    mbedtls_mpi_init(&n);
    ASSERT_EQ(fw::ReadScrambledHexNumber(&n, fw::kCompiledKey.modulus, fw::kCompiledKey.modulusSlot, 0x9C), 0);
    EXPECT_EQ(fw::kCompiledKey.modulusSlot, 260u);
    EXPECT_EQ(fw::kCompiledKey.exponentSlot, 8u);
    mbedtls_mpi expected;
    mbedtls_mpi_init(&expected);
    ASSERT_EQ(mbedtls_mpi_read_string(&expected, 16, fwtest::ModulusHex().c_str()), 0);
    EXPECT_EQ(mbedtls_mpi_cmp_mpi(&n, &expected), 0);
    Bytes stored = fwtest::StoreHex(fwtest::ModulusHex(), 260);
    EXPECT_EQ(0, memcmp(stored.data(), fw::kCompiledKey.modulus, 260));
    mbedtls_mpi_free(&n);
    mbedtls_mpi_free(&expected);
}

// ---- file steps ----

TEST(InstallerFiles, TrailingBackslashes)
{
    struct Case {
        const char* path;
        const char* added;
        const char* removed;
    } cases[] = {
        {"", "", ""},
        {"C:", "C:\\", "C:"},
        {"C:\\", "C:\\", "C:\\"},
        {"C:\\a", "C:\\a\\", "C:\\a"},
        {"C:\\a\\", "C:\\a\\", "C:\\a"},
        {"ab\\", "ab\\", "ab\\"},
        {"abc\\", "abc\\", "abc"},
    };
    for (const Case& c : cases) {
        char buffer[16];
        strcpy(buffer, c.path);
        fw::AddTrailingBackslash(buffer);
        EXPECT_STREQ(buffer, c.added) << c.path;
        strcpy(buffer, c.path);
        fw::RemoveTrailingBackslash(buffer);
        EXPECT_STREQ(buffer, c.removed) << c.path;
    }
}

TEST(InstallerFiles, ReadWholeFileReadsOnlyDiskFiles)
{
    std::string folder = fwtest::MakeScratchFolder("read");
    Bytes content = fwtest::Content(5000);
    ASSERT_TRUE(fwpack::WriteFileBytes(folder + "f.bin", content));
    unsigned char* data = nullptr;
    size_t size = 0;
    ASSERT_EQ(fw::ReadWholeFile((folder + "f.bin").c_str(), &data, &size, 3), STATUS_OK);
    ASSERT_EQ(size, content.size());
    EXPECT_EQ(0, memcmp(data, content.data(), size));
    fw::ClearAndFree(data, size + 3 + 1);

    struct Case {
        std::string path;
        int status;
    } cases[] = {
        {folder + "missing.bin", ERR_OPEN},
        {folder, ERR_OPEN},      // a folder
        {"NUL", ERR_OPEN},       // a device, not a disk file
        {"\\\\.\\pipe\\fwtest-none", ERR_OPEN},
    };
    for (const Case& c : cases) {
        data = reinterpret_cast<unsigned char*>(1);
        size = 7;
        EXPECT_EQ(fw::ReadWholeFile(c.path.c_str(), &data, &size, 0), c.status) << c.path;
        EXPECT_EQ(data, nullptr);
        EXPECT_EQ(size, 0u);
    }
    // 2 GiB (a sparse file): too large to be a payload, refused before anything is allocated.
    std::string huge = folder + "huge.bin";
    HANDLE file = CreateFileA(huge.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    LARGE_INTEGER end;
    end.QuadPart = 0x80000000LL;
    bool grown = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    ASSERT_TRUE(grown);
    EXPECT_EQ(fw::ReadWholeFile(huge.c_str(), &data, &size, 0), ERR_OPEN);
    EXPECT_EQ(data, nullptr);
    fwtest::RemoveTree(folder);
}

int CountTemporaries(const std::string& folder)
{
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "fwr*").c_str(), &found);
    int count = 0;
    if (find != INVALID_HANDLE_VALUE) {
        do
            ++count;
        while (FindNextFileA(find, &found));
        FindClose(find);
    }
    return count;
}

TEST(InstallerFiles, WriteWholeFileReplacesOnlyWhenTheWholeWriteSucceeded)
{
    std::string folder = fwtest::MakeScratchFolder("write");
    std::string path = folder + "target.ext";
    Bytes first = fwtest::Content(3000, 1), second = fwtest::Content(1200, 2);
    EXPECT_EQ(fw::WriteWholeFile(path.c_str(), first.data(), first.size()), STATUS_OK);
    EXPECT_TRUE(fwtest::FileContentIs(path, first));
    EXPECT_EQ(fw::WriteWholeFile(path.c_str(), second.data(), second.size()), STATUS_OK);
    EXPECT_TRUE(fwtest::FileContentIs(path, second)) << "a shorter file replaces a longer one whole";
    EXPECT_EQ(CountTemporaries(folder), 0);

    // A destination that cannot be replaced (a folder of that name) stays, and no temporary is left behind.
    std::string blocked = folder + "blocked.ext";
    CreateDirectoryA(blocked.c_str(), nullptr);
    fwpack::WriteFileBytes(blocked + "\\inside.txt", first);
    EXPECT_NE(fw::WriteWholeFile(blocked.c_str(), second.data(), second.size()), STATUS_OK);
    EXPECT_TRUE(fwtest::FileContentIs(blocked + "\\inside.txt", first));
    EXPECT_EQ(CountTemporaries(folder), 0);

    // A folder that does not exist: nothing can be created.
    EXPECT_EQ(fw::WriteWholeFile((folder + "none\\x.ext").c_str(), first.data(), first.size()), ERR_CREATE);
    fwtest::RemoveTree(folder);
}

TEST(InstallerFiles, MakeDirectoryPathCreatesEveryMissingLevel)
{
    std::string folder = fwtest::MakeScratchFolder("dirs");
    char saved[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, saved);
    std::string path = folder + "one\\two\\three\\file.ext";
    EXPECT_EQ(fw::MakeDirectoryPath(path.c_str()), 0);
    EXPECT_TRUE(fwtest::Exists(folder + "one\\two\\three"));
    EXPECT_FALSE(fwtest::Exists(folder + "one\\two\\three\\file.ext"));
    char current[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, current);
    EXPECT_STRCASEEQ(current, (folder + "one\\two\\three").c_str()) << "left in the deepest level";
    // Already there: nothing to create, still success.
    EXPECT_EQ(fw::MakeDirectoryPath(path.c_str()), 0);
    // A file where a folder should be.
    fwpack::WriteFileBytes(folder + "plain", Bytes(3, 1));
    EXPECT_EQ(fw::MakeDirectoryPath((folder + "plain\\x\\y.ext").c_str()), 1);
    SetCurrentDirectoryA(saved);
    fwtest::RemoveTree(folder);
}

TEST(InstallerPaths, DestinationsStayInsideTheInstallFolder)
{
    char system[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryA(system, MAX_PATH), 0u);
    std::string folder = std::string(system) + "\\Harrowfen\\Ostrelin\\";
    char path[fw::PATH_BUFFER];
    ASSERT_TRUE(fw::MakeDestinationPath("a.ext", path));
    EXPECT_STRCASEEQ(path, (folder + "a.ext").c_str());
    ASSERT_TRUE(fw::MakeDestinationPath("sub\\b.ext", path));
    EXPECT_STRCASEEQ(path, (folder + "sub\\b.ext").c_str());

    // The whole path may have 259 characters, not one more: a cut name could name another file.
    size_t room = fw::PATH_LIMIT - folder.size();
    EXPECT_TRUE(fw::MakeDestinationPath(std::string(room, 'n').c_str(), path));
    EXPECT_EQ(strlen(path), size_t(fw::PATH_LIMIT));
    EXPECT_FALSE(fw::MakeDestinationPath(std::string(room + 1, 'n').c_str(), path));
    EXPECT_STREQ(path, "");
    for (const char* name : {"..\\x.ext", "a\\..\\..\\x.ext", "C:\\x.ext", "\\x.ext", "NUL", "x.ext:s", "a/../../x"}) {
        EXPECT_FALSE(fw::MakeDestinationPath(name, path)) << name;
        EXPECT_STREQ(path, "") << name;
    }
}

}  // namespace
