// Per-thread application lists on the internals: the slot, the lazily made list of the loading thread, and the
// lists of threads that come and go.
#include <windows.h>

#include <gtest/gtest.h>

#include "frame/frame.h"

using namespace kx;

namespace {

struct SlotGuard {
    // The test program is not the library: it owns the process state, so each test starts without a slot.
    SlotGuard() { FreeThreadSlot(); }
    ~SlotGuard()
    {
        DestroyThreadAppList();
        FreeThreadSlot();
    }
};

TEST(ThreadLists, NoSlotMeansNoList)
{
    SlotGuard guard;
    EXPECT_EQ(CurrentThreadAppList(), nullptr);
    DestroyThreadAppList();  // nothing to do, no crash
}

TEST(ThreadLists, TheLoadingThreadHasNoListUntilOneIsMade)
{
    SlotGuard guard;
    AllocateThreadSlot();
    EXPECT_EQ(CurrentThreadAppList(), nullptr);
    cSlotList* list = CreateThreadAppList();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(CurrentThreadAppList(), list);
    EXPECT_EQ(list->growStep, 32);
    int dummy;
    EXPECT_EQ(list->AddTail(&dummy), 1);
    DestroyThreadAppList();
    EXPECT_EQ(CurrentThreadAppList(), nullptr);
}

DWORD WINAPI OwnList(LPVOID out)
{
    cSlotList* list = CreateThreadAppList();
    static_cast<cSlotList**>(out)[0] = list;
    static_cast<cSlotList**>(out)[1] = CurrentThreadAppList();
    DestroyThreadAppList();
    static_cast<cSlotList**>(out)[2] = CurrentThreadAppList();
    return 0;
}

TEST(ThreadLists, EachThreadSeesOnlyItsOwnList)
{
    SlotGuard guard;
    cSlotList* mine = CreateThreadAppList();  // allocates the slot when needed
    ASSERT_NE(mine, nullptr);
    cSlotList* seen[3] = {};
    HANDLE t = CreateThread(nullptr, 0, OwnList, seen, 0, nullptr);
    ASSERT_NE(t, nullptr);
    WaitForSingleObject(t, 10000);
    CloseHandle(t);
    EXPECT_NE(seen[0], nullptr);
    EXPECT_NE(seen[0], mine);
    EXPECT_EQ(seen[1], seen[0]);
    EXPECT_EQ(seen[2], nullptr);
    EXPECT_EQ(CurrentThreadAppList(), mine) << "another thread's detach leaves this thread's list alone";
}

}  // namespace
