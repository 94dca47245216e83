// The real Fenwright.exe, run the way the host runs it: a shared block "OUShFile4a" lists payload files, the
// installer is started with a command line, and what it wrote under the system directory is checked.
#include <string>
#include <vector>

#include <windows.h>

#include "fixtures.h"
#include "gtest/gtest.h"

using fwpack::Bytes;
using fwtest::Content;
using fwtest::TestSigner;

namespace {

typedef std::vector<std::pair<std::string, std::string>> Entries;

std::string Here()
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s = path;
    return s.substr(0, s.find_last_of('\\') + 1);
}

std::string SystemFolder()
{
    char path[MAX_PATH];
    GetSystemDirectoryA(path, MAX_PATH);
    return std::string(path) + "\\";
}

class InstallerRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        scratch_ = fwtest::MakeScratchFolder("run");
        install_ = SystemFolder() + "Harrowfen\\Ostrelin\\";
        mine_ = install_ + "fwtest\\";
        fwtest::RemoveTree(mine_);
        // Sentinels outside the install folder that hostile names aim at.
        CreateDirectoryA((SystemFolder() + "Harrowfen").c_str(), nullptr);
        sentinels_ = {SystemFolder() + "Harrowfen\\fwtest-sentinel.txt", SystemFolder() + "fwtest-sentinel.txt",
                      scratch_ + "fwtest-sentinel.txt"};
        for (const std::string& path : sentinels_)
            ASSERT_TRUE(fwpack::WriteFileBytes(path, kSentinel)) << path;
    }

    void TearDown() override
    {
        for (const std::string& path : sentinels_) {
            EXPECT_TRUE(fwtest::FileContentIs(path, kSentinel)) << "sentinel changed: " << path;
            DeleteFileA(path.c_str());
        }
        fwtest::RemoveTree(mine_);
        fwtest::RemoveTree(scratch_);
        RemoveDirectoryA(install_.c_str());  // only when the test left it empty
        RemoveDirectoryA((SystemFolder() + "Harrowfen").c_str());
    }

    // A payload file in the scratch folder for content; returns its path.
    std::string PayloadFile(const std::string& name, const Bytes& payload)
    {
        std::string path = scratch_ + name;
        EXPECT_TRUE(fwpack::WriteFileBytes(path, payload));
        return path;
    }

    // Offers block as the host does and runs the installer with arguments; false when it could not be started.
    bool Run(const Bytes& block, const char* arguments)
    {
        HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, DWORD(block.size()),
                                            "OUShFile4a");
        if (!mapping)
            return false;
        void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0);
        memcpy(view, block.data(), block.size());
        UnmapViewOfFile(view);
        std::string program = Here() + "Fenwright.exe";
        std::string command = "\"" + program + "\" " + arguments;
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        bool started = CreateProcessA(program.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                                      scratch_.c_str(), &startup, &process);
        DWORD code = 99;
        if (started) {
            EXPECT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
            GetExitCodeProcess(process.hProcess, &code);
            EXPECT_EQ(code, 0u) << "the exit code is always 0";
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
        CloseHandle(mapping);
        return started;
    }

    static const Bytes kSentinel;
    std::string scratch_, install_, mine_;
    std::vector<std::string> sentinels_;
};

const Bytes InstallerRun::kSentinel = {'k', 'e', 'e', 'p', ' ', 'm', 'e'};

TEST_F(InstallerRun, InstallsOnlyWithAnISwitch)
{
    const Bytes file = Content(4000);
    const Bytes installed = TestSigner().Signed(file);
    std::string source = PayloadFile("a.pay", fwpack::MakePayload(TestSigner(), file));
    struct Case {
        const char* arguments;
        bool installs;
    } cases[] = {{"", false}, {"-x", false}, {"i", false}, {"x -i", false}, {"-i", true}, {"/x/i", true},
                 {"  -x -I", true}};
    for (const Case& c : cases) {
        fwtest::RemoveTree(mine_);
        ASSERT_TRUE(Run(fwpack::MakeBlock({{source, "fwtest\\a.ext"}}), c.arguments));
        EXPECT_EQ(fwtest::FileContentIs(mine_ + "a.ext", installed), c.installs) << "\"" << c.arguments << "\"";
    }
}

TEST_F(InstallerRun, InstallsEveryGoodEntryAndSkipsTheRest)
{
    const Bytes one = Content(3000, 1), two = Content(70000, 2), three = Content(10, 3);
    Bytes forged = fwpack::MakePayload(TestSigner(), Content(3000, 9));
    forged[20] ^= 1;
    // A correctly signed payload around content whose own signature does not match it.
    Bytes badContent = TestSigner().Signed(Content(2000, 8));
    badContent[5] ^= 1;
    const Bytes forgedContent =
        fwpack::SealPayload(TestSigner(), 8, int32_t(badContent.size()), fwpack::Deflate(badContent));
    const std::string overlong(300, 'n');
    Entries entries = {
        {PayloadFile("one.pay", fwpack::MakePayload(TestSigner(), one)), "fwtest\\one.ext"},
        {PayloadFile("forged.pay", forged), "fwtest\\forged.ext"},
        {scratch_ + "missing.pay", "fwtest\\missing.ext"},
        {PayloadFile("forgedcontent.pay", forgedContent), "fwtest\\forgedcontent.ext"},
        {PayloadFile("two.pay", fwpack::MakePayload(TestSigner(), two)), "fwtest\\sub\\deeper\\two.ext"},
        {scratch_ + "one.pay", "fwtest\\" + overlong},
        {PayloadFile("three.pay", fwpack::MakePayload(TestSigner(), three)), "fwtest/three.ext"},
    };
    ASSERT_TRUE(Run(fwpack::MakeBlock(entries), "-i"));
    EXPECT_TRUE(fwtest::FileContentIs(mine_ + "one.ext", TestSigner().Signed(one)));
    EXPECT_TRUE(fwtest::FileContentIs(mine_ + "sub\\deeper\\two.ext", TestSigner().Signed(two)));
    EXPECT_TRUE(fwtest::FileContentIs(mine_ + "three.ext", TestSigner().Signed(three)));
    EXPECT_FALSE(fwtest::Exists(mine_ + "forged.ext"));
    EXPECT_FALSE(fwtest::Exists(mine_ + "missing.ext"));
    EXPECT_FALSE(fwtest::Exists(mine_ + "forgedcontent.ext"));
    EXPECT_FALSE(fwtest::Exists(mine_ + overlong.substr(0, 100)));
    // The payload files are only read.
    EXPECT_TRUE(fwtest::Exists(scratch_ + "one.pay"));
}

TEST_F(InstallerRun, ReplacesAnExistingFileOnlyWithAGoodPayload)
{
    CreateDirectoryA(install_.c_str(), nullptr);
    CreateDirectoryA(mine_.c_str(), nullptr);
    const Bytes old = Content(900, 11);
    ASSERT_TRUE(fwpack::WriteFileBytes(mine_ + "x.ext", old));
    Bytes forged = fwpack::MakePayload(TestSigner(), Content(500, 12));
    forged[forged.size() - 1] ^= 1;
    ASSERT_TRUE(Run(fwpack::MakeBlock({{PayloadFile("bad.pay", forged), "fwtest\\x.ext"}}), "-i"));
    EXPECT_TRUE(fwtest::FileContentIs(mine_ + "x.ext", old));

    const Bytes fresh = Content(500, 12);
    ASSERT_TRUE(Run(fwpack::MakeBlock({{PayloadFile("good.pay", fwpack::MakePayload(TestSigner(), fresh)),
                                        "fwtest\\x.ext"}}),
                    "-i"));
    EXPECT_TRUE(fwtest::FileContentIs(mine_ + "x.ext", TestSigner().Signed(fresh)));
}

TEST_F(InstallerRun, HostileNamesWriteNothingOutsideTheInstallFolder)
{
    std::string source = PayloadFile("p.pay", fwpack::MakePayload(TestSigner(), Content(800, 21)));
    std::string system = SystemFolder();
    const char* names[] = {
        "..\\fwtest-sentinel.txt",
        "../fwtest-sentinel.txt",
        "..\\..\\fwtest-sentinel.txt",
        "fwtest\\..\\..\\fwtest-sentinel.txt",
        "fwtest/../../../fwtest-sentinel.txt",
        "\\fwtest-sentinel.txt",
        "NUL",
        "fwtest\\CON.ext",
        "fwtest\\name:stream",
        "fwtest\\trailing.",
        "fwtest\\a?b",
    };
    Entries entries;
    for (const char* name : names)
        entries.emplace_back(source, name);
    entries.emplace_back(source, system + "Harrowfen\\fwtest-sentinel.txt");                // absolute
    entries.emplace_back(source, "..\\..\\..\\..\\" + scratch_.substr(3) + "fwtest-sentinel.txt");  // via C:
    ASSERT_TRUE(Run(fwpack::MakeBlock(entries), "-i"));
    // The sentinels are checked in TearDown; nothing of these names may exist inside either.
    EXPECT_FALSE(fwtest::Exists(mine_ + "CON.ext"));
    EXPECT_FALSE(fwtest::Exists(mine_ + "name"));
    EXPECT_FALSE(fwtest::Exists(mine_ + "trailing"));
}

TEST_F(InstallerRun, ABlockThatFailsItsChecksIsIgnoredWhole)
{
    std::string source = PayloadFile("p.pay", fwpack::MakePayload(TestSigner(), Content(800, 31)));
    Bytes block = fwpack::MakeBlock({{source, "fwtest\\p.ext"}});
    block[4] ^= 1;
    ASSERT_TRUE(Run(block, "-i"));
    EXPECT_FALSE(fwtest::Exists(mine_ + "p.ext"));

    block = fwpack::MakeBlock({{source, "fwtest\\p.ext"}});
    block[1] |= 0x10;  // a reserved header bit
    ASSERT_TRUE(Run(block, "-i"));
    EXPECT_FALSE(fwtest::Exists(mine_ + "p.ext"));
}

}  // namespace
