// The library frame as a host sees it: build number, desktop rectangle, balanced initialisation from several
// threads, and the small record members.
#include <windows.h>

#include <gtest/gtest.h>

#include "kalvex2/canvas.h"
#include "kalvex2/frame.h"
#include "kalvex2/records.h"

namespace {

TEST(Frame, BuildNumber) { EXPECT_EQ(GetLibraryBuild(), 249); }

TEST(Frame, DesktopRectIsTheVirtualScreen)
{
    RECT r = {-1, -1, -1, -1};
    EXPECT_EQ(GetDesktopRect(&r), &r);
    EXPECT_EQ(r.left, GetSystemMetrics(SM_XVIRTUALSCREEN));
    EXPECT_EQ(r.top, GetSystemMetrics(SM_YVIRTUALSCREEN));
    EXPECT_EQ(r.right - r.left, GetSystemMetrics(SM_CXVIRTUALSCREEN));
    EXPECT_EQ(r.bottom - r.top, GetSystemMetrics(SM_CYVIRTUALSCREEN));
    EXPECT_GT(r.right - r.left, 0);
}

DWORD WINAPI InitTermLoop(LPVOID)
{
    for (int i = 0; i < 200; i++) {
        InitLibrary();
        cCanvas c;
        cCanvas* proto = nullptr;
        GetPrototype(&proto, 16, 0, 0);
        c.CreateLike(4, 4, proto);
        TermLibrary();
    }
    return 0;
}

TEST(Frame, BalancedInitAndTermFromManyThreads)
{
    HANDLE threads[4];
    for (HANDLE& t : threads) {
        t = CreateThread(nullptr, 0, InitTermLoop, nullptr, 0, nullptr);
        ASSERT_NE(t, nullptr);
    }
    EXPECT_EQ(WaitForMultipleObjects(4, threads, TRUE, 30000), WAIT_OBJECT_0);
    for (HANDLE t : threads)
        CloseHandle(t);
    EXPECT_EQ(GetLibraryBuild(), 249);
}

TEST(Frame, UnbalancedTermLibraryLeavesTheLibraryUsable)
{
    // The load's own InitLibrary is balanced by these, and then some; the library must neither crash nor need
    // extra InitLibrary calls afterwards.
    for (int i = 0; i < 3; i++)
        TermLibrary();
    InitLibrary();
    cCanvas* proto = nullptr;
    EXPECT_EQ(GetPrototype(&proto, 32, 0, 0), 1);
    ASSERT_NE(proto, nullptr);
    EXPECT_TRUE(proto->IsValid()) << "one InitLibrary after the count reached 0 builds the prototypes again";
}

TEST(Frame, OnlyTheLastTermLibraryReleasesThePrototypes)
{
    cCanvas* proto = nullptr;
    GetPrototype(&proto, 16, 0, 0);
    ASSERT_TRUE(proto->IsValid());
    InitLibrary();
    TermLibrary();
    EXPECT_TRUE(proto->IsValid());
    cCanvas made;
    EXPECT_TRUE(made.CreateLike(2, 2, proto));
}

TEST(Frame, RecordMembers)
{
    cRecord32 a, b;
    for (int i = 0; i < 8; i++) {
        a.words[i] = 0;
        b.words[i] = 0x1000u + i;
    }
    EXPECT_EQ(&(a = b), &a);
    for (int i = 0; i < 8; i++)
        EXPECT_EQ(a.words[i], 0x1000u + i);

    cWordRecord r;
    for (int i = 0; i < 17; i++)
        r.words[i] = 100u * (i + 1);
    EXPECT_EQ(r.GetSeventeenth(), 1700u);
}

}  // namespace
