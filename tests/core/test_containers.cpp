// The retrying allocator and the shared containers, through the public interface only (this program links the
// library the way a host does).
#include <gtest/gtest.h>

#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <list>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "kalvex2/memory.h"

namespace {

// Distinct pointer values that are never dereferenced; 0 stands for null.
void* P(int i)
{
    return reinterpret_cast<void*>(static_cast<uintptr_t>(i) * 16);
}

// A request that no heap can satisfy, 32-bit or 64-bit. (A native AddressSanitizer build needs
// ASAN_OPTIONS=allocator_may_return_null=1 to see these fail instead of stopping the program.)
const size_t kImpossible = static_cast<size_t>(-1) - 4095;

// Requests of a few gigabytes fail in a 32-bit process. A 64-bit build (the sanitizer run) may satisfy them
// unless its allocator is capped, so tests that rely on such a failure first check that it happens.
bool GigabyteRequestsFail()
{
    static const bool fail = [] {
        if (sizeof(void*) == 4)
            return true;
        void* p = nullptr;
        if (AllocRetry(static_cast<size_t>(0x80000000u) * 3, &p)) {
            FreeAndNull(&p);
            return false;
        }
        return true;
    }();
    return fail;
}

int RoundUp16(int n)
{
    return (n + 15) & ~15;
}

// ---------------------------------------------------------------------------------------------------------------
// Allocator

TEST(Allocator, FailedAllocationStoresNullAndReturnsZero)
{
    using Fn = int(KX_CDECL*)(size_t, void**);
    for (Fn fn : {Fn(AllocRetry), Fn(CallocRetry)}) {
        void* out = P(1);
        EXPECT_EQ(fn(kImpossible, &out), 0);
        EXPECT_EQ(out, nullptr);
    }
}

TEST(Allocator, FailedReallocationLeavesBlockAndVariableAlone)
{
    void* block = nullptr;
    ASSERT_TRUE(AllocRetry(32, &block));
    memset(block, 0x5A, 32);
    void* before = block;
    EXPECT_EQ(ReallocRetry(kImpossible, &block), 0);
    ASSERT_EQ(block, before);
    for (int i = 0; i < 32; ++i)
        ASSERT_EQ(static_cast<unsigned char*>(block)[i], 0x5A) << i;
    FreeAndNull(&block);
}

TEST(Allocator, ReallocationKeepsContentsAndStartsFromNull)
{
    void* block = nullptr;
    ASSERT_EQ(ReallocRetry(16, &block), 1);  // a null variable is a fresh allocation
    ASSERT_NE(block, nullptr);
    memcpy(block, "0123456789abcdef", 16);
    ASSERT_EQ(ReallocRetry(4096, &block), 1);
    EXPECT_EQ(memcmp(block, "0123456789abcdef", 16), 0);
    EXPECT_GE(GetBlockSize(block), 4096u);
    FreeAndNull(&block);
}

// Reallocating to 0 bytes must not free the block behind the caller's back: the variable stays a live block that
// the caller frees once (the sanitizer run catches a double free here).
TEST(Allocator, ReallocationToZeroKeepsALiveBlock)
{
    void* block = nullptr;
    ASSERT_TRUE(AllocRetry(64, &block));
    ASSERT_EQ(ReallocRetry(0, &block), 1);
    ASSERT_NE(block, nullptr);
    EXPECT_GE(GetBlockSize(block), 1u);
    FreeAndNull(&block);
}

TEST(Allocator, CallocZeroesAndFreeAndNullReturnsTheOldAddress)
{
    void* block = nullptr;
    ASSERT_TRUE(CallocRetry(100, &block));
    EXPECT_GE(GetBlockSize(block), 100u);
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(static_cast<unsigned char*>(block)[i], 0) << i;
    void* old = block;
    EXPECT_EQ(FreeAndNull(&block), old);
    EXPECT_EQ(block, nullptr);
    EXPECT_EQ(FreeAndNull(&block), nullptr);  // a null variable is left alone
    EXPECT_EQ(GetBlockSize(nullptr), 0u);
}

TEST(Allocator, CompactionHoldsMayBeUnbalanced)
{
    int compacted = CompactHeap();
    HoldCompaction();
    EXPECT_EQ(ReleaseCompaction(), compacted);
    EXPECT_EQ(ReleaseCompaction(), compacted);  // one release too many leaves the counter at 0
}

// ---------------------------------------------------------------------------------------------------------------
// cPtrArray

std::vector<void*> Elements(const cPtrArray& a)
{
    return std::vector<void*>(a.items, a.items + a.count);
}

std::vector<void*> Ptrs(const std::vector<int>& ids)
{
    std::vector<void*> v;
    for (int id : ids)
        v.push_back(P(id));
    return v;
}

void Fill(cPtrArray& a, const std::vector<int>& ids)
{
    for (int id : ids)
        ASSERT_GE(a.Add(P(id)), 0);
}

// Slots between count and the end of its multiple of 16 must read as null once the block was obtained or grown.
::testing::AssertionResult TailIsNull(const cPtrArray& a)
{
    for (int i = a.count; i < RoundUp16(a.count); ++i) {
        if (a.items[i])
            return ::testing::AssertionFailure() << "slot " << i << " past count " << a.count << " is not null";
    }
    return ::testing::AssertionSuccess();
}

TEST(PtrArray, BlockGrowsInStepsOfSixteenWithSlack)
{
    cPtrArray a;
    ASSERT_EQ(a.SetSize(5), 1);
    EXPECT_EQ(a.count, 5);
    ASSERT_NE(a.items, nullptr);
    EXPECT_GE(GetBlockSize(a.items), 16 * sizeof(void*));
    EXPECT_TRUE(TailIsNull(a));

    a.items[0] = P(1);
    a.items[4] = P(5);
    ASSERT_EQ(a.SetSize(17), 1);  // the rounded count moves to 32: the block gets 16 slots of slack on top
    EXPECT_EQ(a.count, 17);
    EXPECT_GE(GetBlockSize(a.items), 48 * sizeof(void*));
    EXPECT_EQ(a.items[0], P(1));
    EXPECT_EQ(a.items[4], P(5));
    for (int i = 5; i < 48; ++i)
        ASSERT_EQ(a.items[i], nullptr) << i;

    void** block = a.items;
    size_t bytes = GetBlockSize(block);
    ASSERT_EQ(a.SetSize(20), 1);  // same multiple of 16: only the count moves
    EXPECT_EQ(a.count, 20);
    EXPECT_EQ(a.items, block);
    EXPECT_EQ(GetBlockSize(a.items), bytes);

    ASSERT_EQ(a.SetSize(0), 1);
    EXPECT_EQ(a.count, 0);
    EXPECT_EQ(a.items, nullptr);
}

TEST(PtrArray, ShrinkKeepsDroppedValuesOnlyWithinItsMultipleOfSixteen)
{
    cPtrArray a;
    Fill(a, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    ASSERT_EQ(a.SetSize(4), 1);
    ASSERT_EQ(a.SetSize(10), 1);
    EXPECT_EQ(Elements(a), Ptrs({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));

    for (int i = 11; i <= 20; ++i)
        a.Add(P(i));
    ASSERT_EQ(a.SetSize(10), 1);  // crosses down to the multiple 16: the block is reallocated
    ASSERT_EQ(a.SetSize(20), 1);  // and crosses back up: everything past the old count was cleared
    EXPECT_EQ(Elements(a), Ptrs({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(PtrArray, GetAtComparesUnsigned)
{
    cPtrArray a;
    Fill(a, {1, 2, 3});
    const std::pair<int, int> cases[] = {{0, 1}, {2, 3}, {3, 0}, {-1, 0}, {INT32_MIN, 0}, {INT32_MAX, 0}};
    for (auto [index, id] : cases)
        EXPECT_EQ(a.GetAt(index), P(id)) << index;
    a.ElementAt(1) = P(9);  // no check at all; the caller keeps the index in range
    EXPECT_EQ(a.GetAt(1), P(9));
    cPtrArray empty;
    EXPECT_EQ(empty.GetAt(0), nullptr);
}

// One call on a small array: its result and the elements afterwards.
struct ArrayCase {
    const char* name;
    std::vector<int> start;
    std::function<int(cPtrArray&)> op;
    int result;
    std::vector<int> after;  // empty: the array must be exactly as it was
};

const int kMax = 0x1FFFFFFF;

const ArrayCase kArrayCases[] = {
    {"InsertAtMiddleFillsEveryOpenedSlot", {1, 2, 3}, [](cPtrArray& a) { return a.InsertAt(1, P(9), 3); }, 1,
     {1, 9, 9, 9, 2, 3}},
    {"InsertAtFront", {1, 2, 3}, [](cPtrArray& a) { return a.InsertAt(0, P(9), 2); }, 1, {9, 9, 1, 2, 3}},
    {"InsertAtEndAppends", {1, 2, 3}, [](cPtrArray& a) { return a.InsertAt(3, P(9), 1); }, 1, {1, 2, 3, 9}},
    {"InsertAtAcrossSixteen", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15},
     [](cPtrArray& a) { return a.InsertAt(14, P(20), 3); }, 1,
     {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 20, 20, 20, 15}},
    {"InsertAtIntoEmpty", {}, [](cPtrArray& a) { return a.InsertAt(0, P(9), 2); }, 1, {9, 9}},
    {"RemoveAtMiddle", {1, 2, 3, 4}, [](cPtrArray& a) { return a.RemoveAt(1, 2); }, 2, {1, 4}},
    {"RemoveAtLast", {1, 2, 3, 4}, [](cPtrArray& a) { return a.RemoveAt(3, 1); }, 3, {1, 2, 3}},
    {"RemoveAtTooManyStopsAtTheEnd", {1, 2, 3, 4}, [](cPtrArray& a) { return a.RemoveAt(2, 50); }, 2, {1, 2}},
    {"SetAtGrowPastEnd", {1, 2, 3}, [](cPtrArray& a) { return a.SetAtGrow(5, P(9)); }, 1, {1, 2, 3, 0, 0, 9}},
    {"SetAtGrowInside", {1, 2, 3}, [](cPtrArray& a) { return a.SetAtGrow(1, P(9)); }, 1, {1, 9, 3}},
    {"SetAtGrowIntoEmpty", {}, [](cPtrArray& a) { return a.SetAtGrow(0, P(9)); }, 1, {9}},
    {"SetAtInside", {1, 2, 3}, [](cPtrArray& a) { a.SetAt(2, P(9)); return -1; }, -1, {1, 2, 9}},
    {"AddReturnsTheNewIndex", {1, 2, 3}, [](cPtrArray& a) { return a.Add(P(9)); }, 3, {1, 2, 3, 9}},
    {"ClearAtReturnsTheIndex", {1, 2, 3}, [](cPtrArray& a) { return a.ClearAt(1); }, 1, {1, 0, 3}},

    // Refused or out-of-range calls: nothing changes.
    {"SetSizeNegative", {1, 2, 3}, [](cPtrArray& a) { return a.SetSize(-1); }, 0, {}},
    {"SetSizeMinInt", {1, 2, 3}, [](cPtrArray& a) { return a.SetSize(INT32_MIN); }, 0, {}},
    {"SetSizeAboveMax", {1, 2, 3}, [](cPtrArray& a) { return a.SetSize(kMax + 1); }, 0, {}},
    {"SetSizeMaxInt", {1, 2, 3}, [](cPtrArray& a) { return a.SetSize(INT32_MAX); }, 0, {}},
    {"SetAtGrowNegative", {1, 2, 3}, [](cPtrArray& a) { return a.SetAtGrow(-1, P(9)); }, 0, {}},
    {"SetAtGrowAtMax", {1, 2, 3}, [](cPtrArray& a) { return a.SetAtGrow(kMax, P(9)); }, 0, {}},
    {"SetAtGrowMaxInt", {1, 2, 3}, [](cPtrArray& a) { return a.SetAtGrow(INT32_MAX, P(9)); }, 0, {}},
    {"InsertAtPastEnd", {1, 2, 3}, [](cPtrArray& a) { return a.InsertAt(4, P(9), 1); }, 0, {}},
    {"InsertAtNegativeIndex", {1, 2, 3}, [](cPtrArray& a) { return a.InsertAt(-1, P(9), 1); }, 0, {}},
    {"InsertAtNegativeCount", {1, 2, 3}, [](cPtrArray& a) { return a.InsertAt(1, P(9), -1); }, 0, {}},
    {"InsertAtBeyondMax", {1, 2, 3}, [](cPtrArray& a) { return a.InsertAt(0, P(9), kMax - 2); }, 0, {}},
    {"InsertAtMaxInt", {1, 2, 3}, [](cPtrArray& a) { return a.InsertAt(0, P(9), INT32_MAX); }, 0, {}},
    {"InsertAtNoneIsANoOp", {1, 2, 3}, [](cPtrArray& a) { return a.InsertAt(3, P(9), 0); }, 1, {}},
    {"RemoveAtPastEnd", {1, 2, 3}, [](cPtrArray& a) { return a.RemoveAt(3, 1); }, 3, {}},
    {"RemoveAtNegative", {1, 2, 3}, [](cPtrArray& a) { return a.RemoveAt(-1, 1); }, 3, {}},
    {"RemoveAtNone", {1, 2, 3}, [](cPtrArray& a) { return a.RemoveAt(0, 0); }, 3, {}},
    {"RemoveAtNegativeCount", {1, 2, 3}, [](cPtrArray& a) { return a.RemoveAt(0, -2); }, 3, {}},
    {"SetAtPastEnd", {1, 2, 3}, [](cPtrArray& a) { a.SetAt(3, P(9)); return -1; }, -1, {}},
    {"SetAtNegative", {1, 2, 3}, [](cPtrArray& a) { a.SetAt(-1, P(9)); return -1; }, -1, {}},
    {"ClearAtPastEnd", {1, 2, 3}, [](cPtrArray& a) { return a.ClearAt(3); }, 3, {}},
    {"ClearAtNegative", {1, 2, 3}, [](cPtrArray& a) { return a.ClearAt(-1); }, -1, {}},
};

class PtrArrayCall : public ::testing::TestWithParam<ArrayCase> {};

TEST_P(PtrArrayCall, ResultAndElements)
{
    const ArrayCase& c = GetParam();
    cPtrArray a;
    Fill(a, c.start);
    void** block = a.items;
    EXPECT_EQ(c.op(a), c.result);
    if (c.after.empty()) {
        EXPECT_EQ(Elements(a), Ptrs(c.start));
        EXPECT_EQ(a.items, block);
    } else {
        EXPECT_EQ(Elements(a), Ptrs(c.after));
    }
    EXPECT_TRUE(TailIsNull(a));
}

INSTANTIATE_TEST_SUITE_P(Table, PtrArrayCall, ::testing::ValuesIn(kArrayCases),
                         [](const ::testing::TestParamInfo<ArrayCase>& info) { return std::string(info.param.name); });

TEST(PtrArray, AddAtTheLimitFails)
{
    cPtrArray a;
    Fill(a, {1});
    void** block = a.items;
    a.count = a.GetMaxCount();  // as if full; the call must be refused before it touches the block
    EXPECT_EQ(a.Add(P(2)), -1);
    EXPECT_EQ(a.count, a.GetMaxCount());
    EXPECT_EQ(a.items, block);
    a.count = 1;
    EXPECT_EQ(a.GetMaxCount(), 0x1FFFFFFF);
}

TEST(PtrArray, FailedGrowthLeavesTheArrayAlone)
{
    if (!GigabyteRequestsFail())
        GTEST_SKIP() << "this heap grants multi-gigabyte requests";
    cPtrArray a;
    Fill(a, {1, 2, 3});
    void** block = a.items;
    EXPECT_EQ(a.SetSize(a.GetMaxCount()), 0);
    EXPECT_EQ(a.items, block);
    EXPECT_EQ(Elements(a), Ptrs({1, 2, 3}));
    EXPECT_EQ(a.SetAtGrow(a.GetMaxCount() - 1, P(9)), 0);
    EXPECT_EQ(Elements(a), Ptrs({1, 2, 3}));

    cPtrArray empty;
    EXPECT_EQ(empty.SetSize(a.GetMaxCount()), 0);
    EXPECT_EQ(empty.count, 0);
    EXPECT_EQ(empty.items, nullptr);
}

TEST(PtrArray, RemoveAllReturnsTheOldBlock)
{
    cPtrArray a;
    Fill(a, {1, 2});
    void* block = a.items;
    EXPECT_EQ(a.RemoveAll(), block);
    EXPECT_EQ(a.count, 0);
    EXPECT_EQ(a.items, nullptr);
    EXPECT_EQ(a.RemoveAll(), nullptr);
    EXPECT_EQ(a.Add(P(3)), 0);  // still usable
}

// Each array owns its block: after assignment either may grow, shrink or die without touching the other's memory
// (the sanitizer run turns a shared block into a double free or a use after free here).
TEST(PtrArray, AssignmentCopiesIntoABlockOfItsOwn)
{
    cPtrArray source;
    Fill(source, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17});
    {
        cPtrArray copy;
        Fill(copy, {40, 41});  // its old block must be released, not leaked
        copy = source;
        ASSERT_NE(copy.items, source.items);
        EXPECT_EQ(Elements(copy), Elements(source));
        EXPECT_GE(GetBlockSize(copy.items), 32 * sizeof(void*));
        EXPECT_TRUE(TailIsNull(copy));

        copy.SetAt(0, P(99));
        EXPECT_EQ(source.GetAt(0), P(1));
        for (int i = 0; i < 100; ++i)
            source.Add(P(100 + i));  // moves source's block
        EXPECT_EQ(copy.GetAt(16), P(17));
        EXPECT_EQ(copy.count, 17);
    }
    EXPECT_EQ(source.count, 117);

    cPtrArray empty;
    source = empty;
    EXPECT_EQ(source.count, 0);
    EXPECT_EQ(source.items, nullptr);
}

TEST(PtrArray, SelfAssignmentChangesNothing)
{
    cPtrArray a;
    Fill(a, {1, 2, 3});
    void** block = a.items;
    cPtrArray& same = a;
    a = same;
    EXPECT_EQ(a.items, block);
    EXPECT_EQ(Elements(a), Ptrs({1, 2, 3}));
}

TEST(PtrArray, AssignmentThatCannotAllocateLeavesTheDestinationEmpty)
{
    if (!GigabyteRequestsFail())
        GTEST_SKIP() << "this heap grants multi-gigabyte requests";
    void* slots[4] = {P(1), P(2), P(3), P(4)};
    cPtrArray huge;
    huge.items = slots;
    huge.count = 0x1FFFFFF0;  // only the count matters: the copy's block cannot be had
    cPtrArray dest;
    Fill(dest, {7, 8});
    dest = huge;
    EXPECT_EQ(dest.count, 0);
    EXPECT_EQ(dest.items, nullptr);
    huge.items = nullptr;
    huge.count = 0;
}

TEST(ItemArray, ForwardsToThePointerArray)
{
    cItemArray a;
    EXPECT_EQ(a.Add(P(1)), 0);
    EXPECT_EQ(a.Add(P(2)), 1);
    EXPECT_EQ(a.InsertAt(1, P(5), 2), 1);
    EXPECT_EQ(a.SetAtGrow(6, P(7)), 1);
    EXPECT_EQ(a.SetAtGrow(-1, P(7)), 0);
    a.SetAt(0, P(3));
    a.SetAt(7, P(3));
    EXPECT_EQ(a.GetAt(-1), nullptr);
    EXPECT_EQ(Elements(a), Ptrs({3, 5, 5, 2, 0, 0, 7}));
    EXPECT_EQ(a.GetCount(), 7);
    EXPECT_EQ(a.InsertAt(8, P(1), 1), 0);
}

// ---------------------------------------------------------------------------------------------------------------
// 16-step pointer list

struct PtrList {
    PtrList16 list = {nullptr, 0, 0};

    ~PtrList()
    {
        void* block = list.items;
        FreeAndNull(&block);
    }
    int Grow(int n) { return PtrListGrow(&list, &list.count, &list.capacity, n); }
    int SetCapacity(int n) { return PtrListSetCapacity(&list, &list.count, &list.capacity, n); }
    int RemoveAt(int index) { return PtrListRemoveAt(&list, &list.count, &list.capacity, index); }

    // capacity slots, the first count holding P(1) .. P(count)
    void Make(int capacity, int count)
    {
        ASSERT_EQ(SetCapacity(capacity), 1);
        ASSERT_EQ(list.capacity, capacity);
        for (int i = 0; i < count; ++i)
            list.items[i] = P(i + 1);
        list.count = count;
    }
    std::vector<void*> Entries() const { return std::vector<void*>(list.items, list.items + list.count); }
};

struct CapacityCase {
    const char* name;
    bool grow;  // PtrListGrow, else PtrListSetCapacity
    int capacity;
    int count;
    int n;
    int result;
    int capacityAfter;
};

const CapacityCase kCapacityCases[] = {
    {"GrowFromNothing", true, 0, 0, 1, 1, 16},
    {"GrowToNothingAllocatesNothing", true, 0, 0, 0, 1, 0},
    {"GrowToTheExactCapacity", true, 16, 16, 16, 1, 16},
    {"GrowPastAMultiple", true, 16, 16, 17, 1, 32},
    {"GrowSeveralSteps", true, 16, 3, 50, 1, 64},
    {"GrowWithRoomToSpare", true, 32, 3, 5, 1, 32},
    {"GrowNegative", true, 16, 3, -1, 1, 16},
    {"GrowRoundingWouldWrap", true, 16, 3, INT32_MAX, 0, 16},
    {"GrowRoundingAtTheEdge", true, 16, 3, INT32_MAX - 15, 0, 16},
    {"GrowBeyondTheHeap", true, 16, 3, 0x3FFFFFF0, 0, 16},
    {"SetToNothingFreesTheBlock", false, 16, 0, 0, 1, 0},
    {"SetFromNothing", false, 0, 0, 33, 1, 48},
    {"SetWithinTheSameStep", false, 48, 5, 40, 1, 48},
    {"SetSmaller", false, 48, 5, 17, 1, 32},
    {"SetNegative", false, 16, 3, -1, 0, 16},
    {"SetRoundingWouldWrap", false, 16, 3, INT32_MAX, 0, 16},
    {"SetBeyondTheHeap", false, 16, 3, 0x3FFFFFF0, 0, 16},
};

class PtrListCapacity : public ::testing::TestWithParam<CapacityCase> {};

TEST_P(PtrListCapacity, ResultCapacityAndEntries)
{
    const CapacityCase& c = GetParam();
    PtrList l;
    l.Make(c.capacity, c.count);
    void** block = l.list.items;
    std::vector<void*> before = l.Entries();

    EXPECT_EQ(c.grow ? l.Grow(c.n) : l.SetCapacity(c.n), c.result);
    EXPECT_EQ(l.list.capacity, c.capacityAfter);
    EXPECT_EQ(l.list.count, c.count);
    EXPECT_EQ(l.Entries(), before);
    if (c.capacityAfter == 0) {
        EXPECT_EQ(l.list.items, nullptr);
    } else {
        EXPECT_GE(GetBlockSize(l.list.items), c.capacityAfter * sizeof(void*));
    }
    if (c.capacityAfter == c.capacity) {
        EXPECT_EQ(l.list.items, block);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, PtrListCapacity, ::testing::ValuesIn(kCapacityCases),
                         [](const ::testing::TestParamInfo<CapacityCase>& info) {
                             return std::string(info.param.name);
                         });

struct RemoveCase {
    int capacity;
    int count;
    int index;
    int capacityAfter;
};

class PtrListRemove : public ::testing::TestWithParam<RemoveCase> {};

// One step of 16 goes back only when more than 16 slots would sit idle, and the last step stays.
TEST_P(PtrListRemove, ShiftsEntriesAndGivesBackOneStep)
{
    const RemoveCase& c = GetParam();
    PtrList l;
    l.Make(c.capacity, c.count);
    std::vector<void*> expected = l.Entries();
    expected.erase(expected.begin() + c.index);

    l.RemoveAt(c.index);
    EXPECT_EQ(l.list.count, c.count - 1);
    EXPECT_EQ(l.list.capacity, c.capacityAfter);
    EXPECT_EQ(l.Entries(), expected);
    ASSERT_NE(l.list.items, nullptr);
    EXPECT_GE(GetBlockSize(l.list.items), c.capacityAfter * sizeof(void*));
}

INSTANTIATE_TEST_SUITE_P(Table, PtrListRemove,
                         ::testing::Values(RemoveCase{48, 20, 5, 32},   // 29 idle
                                           RemoveCase{32, 17, 0, 32},   // exactly 16 idle
                                           RemoveCase{32, 16, 15, 16},  // 17 idle
                                           RemoveCase{64, 3, 2, 48},    // only one step per removal
                                           RemoveCase{16, 1, 0, 16}));  // the last step is kept

TEST(PtrList16, RemoveAtOutsideTheListChangesNothing)
{
    PtrList l;
    l.Make(16, 3);
    for (int index : {3, -1, INT32_MAX, INT32_MIN}) {
        l.RemoveAt(index);
        EXPECT_EQ(l.Entries(), Ptrs({1, 2, 3})) << index;
    }
    PtrList empty;
    empty.RemoveAt(0);
    EXPECT_EQ(empty.list.count, 0);
}

// ---------------------------------------------------------------------------------------------------------------
// cSlotList

std::vector<int> ElementChain(const cSlotList& s)
{
    std::vector<int> v;
    for (int i = s.head; i && v.size() <= (size_t)s.capacity; i = s.nodes[i].next)
        v.push_back(i);
    return v;
}

std::vector<int> FreeChain(const cSlotList& s)
{
    std::vector<int> v;
    for (int i = s.freeHead; i && v.size() <= (size_t)s.capacity; i = s.nodes[i].next)
        v.push_back(i);
    return v;
}

// Both chains are well formed (prev mirrors next, ends match head/tail), elements are exactly the used nodes, and
// together they cover every node but 0 once.
::testing::AssertionResult Consistent(const cSlotList& s)
{
    if (!s.nodes) {
        if (s.head || s.tail || s.freeHead || s.freeTail || s.capacity || s.freeCount)
            return ::testing::AssertionFailure() << "fields left over without a node array";
        return ::testing::AssertionSuccess();
    }
    std::vector<int> seen(s.capacity, 0);
    struct Chain {
        const char* name;
        int first, last, used;
        std::vector<int> nodes;
    } chains[] = {{"element", s.head, s.tail, 1, ElementChain(s)}, {"free", s.freeHead, s.freeTail, 0, FreeChain(s)}};
    for (const Chain& c : chains) {
        int prev = 0;
        for (int i : c.nodes) {
            if (i < 1 || i >= s.capacity)
                return ::testing::AssertionFailure() << c.name << " chain reaches index " << i;
            if (seen[i]++)
                return ::testing::AssertionFailure() << "node " << i << " is chained twice";
            if (s.nodes[i].prev != prev)
                return ::testing::AssertionFailure() << c.name << " node " << i << " has prev " << s.nodes[i].prev
                                                     << ", expected " << prev;
            if ((s.nodes[i].used != 0) != (c.used != 0))
                return ::testing::AssertionFailure() << c.name << " node " << i << " has used " << s.nodes[i].used;
            prev = i;
        }
        if (prev != c.last)
            return ::testing::AssertionFailure() << c.name << " chain ends at " << prev << ", last is " << c.last;
    }
    for (int i = 1; i < s.capacity; ++i) {
        if (!seen[i])
            return ::testing::AssertionFailure() << "node " << i << " is in neither chain";
    }
    if (s.freeCount != (int)chains[1].nodes.size() + 1)
        return ::testing::AssertionFailure() << "freeCount " << s.freeCount << " for " << chains[1].nodes.size()
                                             << " free nodes";
    return ::testing::AssertionSuccess();
}

std::vector<void*> ForwardData(const cSlotList& s)
{
    std::vector<void*> v;
    for (int i = s.head; i && v.size() <= (size_t)s.capacity;)
        v.push_back(s.GetNext(&i));
    return v;
}

TEST(SlotList, DefaultStepAndIndexReuseFirstInFirstOut)
{
    cSlotList s;
    EXPECT_EQ(s.growStep, 32);
    EXPECT_EQ(s.nodes, nullptr);
    EXPECT_EQ(s.AddTail(P(1)), 1);
    EXPECT_EQ(s.capacity, 32);
    EXPECT_EQ(s.freeCount, 31);
    EXPECT_EQ(s.AddTail(P(2)), 2);
    s.Remove(1);
    EXPECT_EQ(s.AddTail(P(3)), 3);  // a removed index goes to the back of the free list
    for (int i = 4; i <= 31; ++i)
        ASSERT_EQ(s.AddTail(P(i)), i);
    EXPECT_EQ(s.AddTail(P(40)), 1);  // only now, after every other free node
    EXPECT_EQ(s.capacity, 32);
    EXPECT_EQ(s.AddTail(P(41)), 32);  // the 32nd element of a full array grows it by one step
    EXPECT_EQ(s.capacity, 64);
    EXPECT_EQ(s.freeCount, 32);
    EXPECT_TRUE(Consistent(s));
    EXPECT_EQ(s.GetAt(2), P(2));  // indices survive the reallocation
    EXPECT_EQ(s.GetAt(31), P(31));
}

TEST(SlotList, IterationVisitsListOrderAndEndsAtZero)
{
    cSlotList s;
    int b = s.AddTail(P(2));
    s.AddHead(P(1));
    int d = s.AddTail(P(4));
    s.InsertBefore(d, P(3));
    s.InsertAfter(b, P(9));
    s.Remove(b);

    int index = s.head;
    std::vector<void*> forward;
    while (index)
        forward.push_back(s.GetNext(&index));
    EXPECT_EQ(forward, Ptrs({1, 9, 3, 4}));
    EXPECT_EQ(index, 0);

    index = s.tail;
    std::vector<void*> backward;
    while (index)
        backward.push_back(s.GetPrev(&index));
    EXPECT_EQ(backward, Ptrs({4, 3, 9, 1}));

    for (int bad : {0, -1, s.capacity, INT32_MIN}) {
        int i = bad;
        EXPECT_EQ(s.GetNext(&i), nullptr);
        EXPECT_EQ(s.GetPrev(&i), nullptr);
        EXPECT_EQ(i, bad);
    }
}

TEST(SlotList, FindGetAtAndSetAt)
{
    cSlotList s;
    s.AddTail(P(1));
    s.AddTail(P(2));
    int front = s.AddHead(P(2));
    EXPECT_EQ(s.Find(P(2)), front);  // first in list order, not in index order
    EXPECT_EQ(s.Find(P(7)), 0);

    s.Remove(1);
    EXPECT_EQ(s.GetAt(1), nullptr);  // a freed node has its data cleared
    s.SetAt(1, P(5));                // but may still be written and read: the used flag is not checked
    EXPECT_EQ(s.GetAt(1), P(5));
    EXPECT_EQ(s.Find(P(5)), 0);  // and it is not an element
    for (int bad : {0, -1, s.capacity}) {
        s.SetAt(bad, P(6));
        EXPECT_EQ(s.GetAt(bad), nullptr) << bad;
    }
    EXPECT_TRUE(Consistent(s));
}

TEST(SlotList, FreeLeavesNoDanglingArrayAndKeepsTheStep)
{
    cSlotList s;
    s.SetGrowStep(8);
    s.AddTail(P(1));
    s.AddTail(P(2));
    SlotNode* nodes = s.nodes;
    EXPECT_EQ(s.Free(), nodes);
    EXPECT_EQ(s.nodes, nullptr);
    EXPECT_EQ(s.growStep, 8);
    EXPECT_TRUE(Consistent(s));
    EXPECT_EQ(s.Free(), nullptr);
    EXPECT_EQ(s.AddTail(P(3)), 1);  // usable again; the destructor frees the new array once
    EXPECT_EQ(s.capacity, 8);
}

TEST(SlotList, RemovingAFreeNodeDoesNotChainItTwice)
{
    cSlotList s;
    s.AddTail(P(1));
    s.AddTail(P(2));
    s.Remove(1);
    s.Remove(1);
    s.Remove(5);  // never used
    EXPECT_TRUE(Consistent(s));
    EXPECT_EQ(s.freeTail, 1);
    EXPECT_EQ(ElementChain(s), std::vector<int>({2}));
    for (int bad : {0, -1, s.capacity, INT32_MAX})
        s.Remove(bad);
    EXPECT_TRUE(Consistent(s));
}

struct StepCase {
    int step;
    std::vector<int> capacities;  // after each of the first adds
};

class SlotListSmallStep : public ::testing::TestWithParam<StepCase> {};

// Node 0 is never an element, so a first array of fewer than two nodes would have no node to hand out, and a step
// below 1 later would never make room.
TEST_P(SlotListSmallStep, GrowthStillMakesRoom)
{
    const StepCase& c = GetParam();
    cSlotList s;
    s.SetGrowStep(c.step);
    EXPECT_EQ(s.growStep, c.step);
    for (size_t i = 0; i < c.capacities.size(); ++i) {
        ASSERT_EQ(s.AddTail(P((int)i + 1)), (int)i + 1);
        EXPECT_EQ(s.capacity, c.capacities[i]) << "after add " << i + 1;
        ASSERT_TRUE(Consistent(s));
    }
}

INSTANTIATE_TEST_SUITE_P(Table, SlotListSmallStep,
                         ::testing::Values(StepCase{1, {2, 3, 4}}, StepCase{0, {2, 3, 4}},
                                           StepCase{-5, {2, 3, 4}}, StepCase{2, {2, 4, 4, 6}},
                                           StepCase{3, {3, 3, 6, 6, 6}}));

TEST(SlotList, GrowthThatCannotHappenLeavesTheListAlone)
{
    struct Case {
        const char* name;
        int step;
        bool needsFailingHeap;
    };
    const Case cases[] = {
        {"CapacityWouldWrap", INT32_MAX, false},
        {"CapacityAtTheEdge", INT32_MAX - 1, false},
        {"ByteCountWouldWrap", 0x10000000, false},
        {"HeapRefuses", 0x08000000, true},
    };
    bool heapFails = GigabyteRequestsFail();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.needsFailingHeap && !heapFails)
            continue;
        cSlotList fresh;
        fresh.SetGrowStep(c.step);
        EXPECT_EQ(fresh.AddTail(P(1)), 0);
        EXPECT_EQ(fresh.nodes, nullptr);
        EXPECT_EQ(fresh.capacity, 0);

        cSlotList full;
        full.SetGrowStep(2);
        ASSERT_EQ(full.AddTail(P(1)), 1);
        full.SetGrowStep(c.step);
        SlotNode* nodes = full.nodes;
        EXPECT_EQ(full.AddTail(P(2)), 0);
        EXPECT_EQ(full.InsertAfter(1, P(2)), 0);
        EXPECT_EQ(full.nodes, nodes);
        EXPECT_EQ(full.capacity, 2);
        EXPECT_EQ(ForwardData(full), Ptrs({1}));
        EXPECT_TRUE(Consistent(full));
    }
}

// One call on the list built by AddTail of start (so element k has index k), after removing the listed indices.
struct SlotCase {
    const char* name;
    std::vector<int> start;
    std::vector<int> removed;
    std::function<int(cSlotList&)> op;
    int result;
    std::vector<int> after;  // data ids in list order
};

const SlotCase kSlotCases[] = {
    {"InsertAfterZeroIsAddHead", {1, 2, 3}, {}, [](cSlotList& s) { return s.InsertAfter(0, P(9)); }, 4,
     {9, 1, 2, 3}},
    {"InsertAfterMiddle", {1, 2, 3}, {}, [](cSlotList& s) { return s.InsertAfter(2, P(9)); }, 4, {1, 2, 9, 3}},
    {"InsertAfterTail", {1, 2, 3}, {}, [](cSlotList& s) { return s.InsertAfter(3, P(9)); }, 4, {1, 2, 3, 9}},
    {"InsertAfterBeyondCapacityIsAddTail", {1, 2, 3}, {}, [](cSlotList& s) { return s.InsertAfter(32, P(9)); }, 4,
     {1, 2, 3, 9}},
    {"InsertAfterNegativeIsAddTail", {1, 2, 3}, {}, [](cSlotList& s) { return s.InsertAfter(-1, P(9)); }, 4,
     {1, 2, 3, 9}},
    {"InsertAfterAFreeNodeIsRefused", {1, 2, 3}, {}, [](cSlotList& s) { return s.InsertAfter(10, P(9)); }, 0,
     {1, 2, 3}},
    {"InsertAfterTheNextFreeNodeIsRefused", {1, 2, 3}, {}, [](cSlotList& s) { return s.InsertAfter(4, P(9)); }, 0,
     {1, 2, 3}},
    {"InsertAfterARemovedElementIsRefused", {1, 2, 3}, {2}, [](cSlotList& s) { return s.InsertAfter(2, P(9)); },
     0, {1, 3}},
    {"InsertAfterOnAnEmptyListMakesTheOnlyElement", {1}, {1},
     [](cSlotList& s) { return s.InsertAfter(5, P(9)); }, 2, {9}},
    {"InsertAfterWithoutNodes", {}, {}, [](cSlotList& s) { return s.InsertAfter(5, P(9)); }, 1, {9}},
    {"InsertBeforeHead", {1, 2, 3}, {}, [](cSlotList& s) { return s.InsertBefore(1, P(9)); }, 4, {9, 1, 2, 3}},
    {"InsertBeforeTail", {1, 2, 3}, {}, [](cSlotList& s) { return s.InsertBefore(3, P(9)); }, 4, {1, 2, 9, 3}},
    {"InsertBeforeZero", {1, 2, 3}, {}, [](cSlotList& s) { return s.InsertBefore(0, P(9)); }, 0, {1, 2, 3}},
    {"InsertBeforeBeyondCapacity", {1, 2, 3}, {}, [](cSlotList& s) { return s.InsertBefore(32, P(9)); }, 0,
     {1, 2, 3}},
    {"InsertBeforeAFreeNodeIsRefused", {1, 2, 3}, {}, [](cSlotList& s) { return s.InsertBefore(10, P(9)); }, 0,
     {1, 2, 3}},
    {"InsertBeforeOnAnEmptyListMakesTheOnlyElement", {1}, {1},
     [](cSlotList& s) { return s.InsertBefore(5, P(9)); }, 2, {9}},
    {"InsertBeforeWithoutNodes", {}, {}, [](cSlotList& s) { return s.InsertBefore(1, P(9)); }, 0, {}},
    {"MoveAfterToTheEnd", {1, 2, 3}, {}, [](cSlotList& s) { s.MoveAfter(1, 3); return -1; }, -1, {2, 3, 1}},
    {"MoveAfterToTheHead", {1, 2, 3}, {}, [](cSlotList& s) { s.MoveAfter(3, 0); return -1; }, -1, {3, 1, 2}},
    {"MoveAfterBackwards", {1, 2, 3}, {}, [](cSlotList& s) { s.MoveAfter(3, 1); return -1; }, -1, {1, 3, 2}},
    {"MoveAfterForwards", {1, 2, 3, 4}, {}, [](cSlotList& s) { s.MoveAfter(1, 3); return -1; }, -1, {2, 3, 1, 4}},
    {"MoveAfterHeadToHead", {1, 2, 3}, {}, [](cSlotList& s) { s.MoveAfter(1, 0); return -1; }, -1, {1, 2, 3}},
    {"MoveAfterAlreadyThere", {1, 2, 3}, {}, [](cSlotList& s) { s.MoveAfter(2, 1); return -1; }, -1, {1, 2, 3}},
    {"MoveAfterItself", {1, 2, 3}, {}, [](cSlotList& s) { s.MoveAfter(2, 2); return -1; }, -1, {1, 2, 3}},
    {"MoveAfterIndexZero", {1, 2, 3}, {}, [](cSlotList& s) { s.MoveAfter(0, 2); return -1; }, -1, {1, 2, 3}},
    {"MoveAfterIndexBeyond", {1, 2, 3}, {}, [](cSlotList& s) { s.MoveAfter(32, 2); return -1; }, -1, {1, 2, 3}},
    {"MoveAfterTargetBeyond", {1, 2, 3}, {}, [](cSlotList& s) { s.MoveAfter(1, 32); return -1; }, -1, {1, 2, 3}},
    {"MoveAfterTargetNegative", {1, 2, 3}, {}, [](cSlotList& s) { s.MoveAfter(1, -1); return -1; }, -1, {1, 2, 3}},
    {"MoveAfterAFreeNode", {1, 2, 3}, {}, [](cSlotList& s) { s.MoveAfter(1, 10); return -1; }, -1, {1, 2, 3}},
    {"MoveAFreeNode", {1, 2, 3}, {}, [](cSlotList& s) { s.MoveAfter(10, 1); return -1; }, -1, {1, 2, 3}},
    {"MoveARemovedElement", {1, 2, 3}, {1}, [](cSlotList& s) { s.MoveAfter(1, 3); return -1; }, -1, {2, 3}},
    {"RemoveHead", {1, 2, 3}, {}, [](cSlotList& s) { s.Remove(1); return -1; }, -1, {2, 3}},
    {"RemoveTail", {1, 2, 3}, {}, [](cSlotList& s) { s.Remove(3); return -1; }, -1, {1, 2}},
    {"RemoveOnly", {1}, {}, [](cSlotList& s) { s.Remove(1); return -1; }, -1, {}},
};

class SlotListCall : public ::testing::TestWithParam<SlotCase> {};

TEST_P(SlotListCall, ResultAndOrder)
{
    const SlotCase& c = GetParam();
    cSlotList s;
    for (int id : c.start)
        ASSERT_NE(s.AddTail(P(id)), 0);
    for (int index : c.removed)
        s.Remove(index);
    EXPECT_EQ(c.op(s), c.result);
    EXPECT_EQ(ForwardData(s), Ptrs(c.after));
    EXPECT_TRUE(Consistent(s));
}

INSTANTIATE_TEST_SUITE_P(Table, SlotListCall, ::testing::ValuesIn(kSlotCases),
                         [](const ::testing::TestParamInfo<SlotCase>& info) { return std::string(info.param.name); });

// Random calls against a plain model: the element order (with each element's index), the used flags and the
// first-in first-out order of free nodes must match after every call.
class SlotListModel {
public:
    explicit SlotListModel(int step) : step_(step) {}

    // The index that the next new element receives, growing the model the way the list grows.
    int Take()
    {
        if (capacity_ == 0 || free_.empty()) {
            int first = capacity_ == 0 ? 1 : capacity_;
            capacity_ += capacity_ == 0 ? std::max(step_, 2) : std::max(step_, 1);
            for (int i = first; i < capacity_; ++i)
                free_.push_back(i);
        }
        int index = free_.front();
        free_.pop_front();
        return index;
    }
    std::list<std::pair<int, void*>>::iterator FindIndex(int index)
    {
        return std::find_if(elements_.begin(), elements_.end(), [&](const auto& e) { return e.first == index; });
    }
    bool IsElement(int index) { return FindIndex(index) != elements_.end(); }

    int step_;
    int capacity_ = 0;
    std::list<std::pair<int, void*>> elements_;
    std::deque<int> free_;
};

::testing::AssertionResult Matches(const cSlotList& s, const SlotListModel& m)
{
    ::testing::AssertionResult ok = Consistent(s);
    if (!ok)
        return ok;
    if (s.capacity != m.capacity_)
        return ::testing::AssertionFailure() << "capacity " << s.capacity << ", model " << m.capacity_;
    std::vector<int> order = ElementChain(s);
    if (order.size() != m.elements_.size())
        return ::testing::AssertionFailure() << order.size() << " elements, model " << m.elements_.size();
    auto e = m.elements_.begin();
    for (size_t k = 0; k < order.size(); ++k, ++e) {
        if (order[k] != e->first || s.nodes[order[k]].data != e->second)
            return ::testing::AssertionFailure() << "element " << k << " is index " << order[k] << ", model "
                                                 << e->first;
    }
    if (FreeChain(s) != std::vector<int>(m.free_.begin(), m.free_.end()))
        return ::testing::AssertionFailure() << "free nodes out of order";
    return ::testing::AssertionSuccess();
}

struct RandomCase {
    int step;
    unsigned seed;
};

class SlotListRandom : public ::testing::TestWithParam<RandomCase> {};

TEST_P(SlotListRandom, MatchesTheModel)
{
    const RandomCase& c = GetParam();
    SCOPED_TRACE(::testing::Message() << "grow step " << c.step << ", seed " << c.seed);
    std::mt19937 rng(c.seed);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    cSlotList s;
    s.SetGrowStep(c.step);
    SlotListModel m(c.step);
    int nextData = 1;

    // Any index a caller might hold: an element, a free node, 0, or one past the array.
    auto anyIndex = [&]() {
        if (!m.elements_.empty() && pick(0, 2)) {
            auto it = m.elements_.begin();
            std::advance(it, pick(0, (int)m.elements_.size() - 1));
            return it->first;
        }
        return pick(-1, m.capacity_ + 1);
    };
    auto insertAfter = [&](int after, void* data) {  // model of a new element linked after element after
        int index = m.Take();
        auto pos = after ? std::next(m.FindIndex(after)) : m.elements_.begin();
        m.elements_.insert(pos, {index, data});
        return index;
    };

    for (int step = 0; step < 400; ++step) {
        void* data = P(nextData++);
        int op = pick(0, 9);
        int got = 0, expected = 0;
        std::string what;
        if (op <= 2) {
            what = "AddTail";
            got = s.AddTail(data);
            expected = insertAfter(m.elements_.empty() ? 0 : m.elements_.back().first, data);
        } else if (op == 3) {
            what = "AddHead";
            got = s.AddHead(data);
            expected = insertAfter(0, data);
        } else if (op == 4) {
            int after = anyIndex();
            what = "InsertAfter " + std::to_string(after);
            got = s.InsertAfter(after, data);
            if (after == 0 || (unsigned)after >= (unsigned)m.capacity_ || m.elements_.empty())
                expected = insertAfter(after == 0 ? 0 : m.elements_.empty() ? 0 : m.elements_.back().first, data);
            else if (m.IsElement(after))
                expected = insertAfter(after, data);
        } else if (op == 5) {
            int before = anyIndex();
            what = "InsertBefore " + std::to_string(before);
            got = s.InsertBefore(before, data);
            if (before >= 1 && before < m.capacity_) {
                if (m.elements_.empty()) {
                    expected = insertAfter(0, data);
                } else if (m.IsElement(before)) {
                    auto it = m.FindIndex(before);
                    expected = insertAfter(it == m.elements_.begin() ? 0 : std::prev(it)->first, data);
                }
            }
        } else if (op <= 8) {
            int index = anyIndex();
            what = "Remove " + std::to_string(index);
            s.Remove(index);
            auto it = m.FindIndex(index);
            if (it != m.elements_.end()) {
                m.elements_.erase(it);
                m.free_.push_back(index);
            }
        } else {
            int index = anyIndex(), after = pick(0, 1) ? anyIndex() : 0;
            what = "MoveAfter " + std::to_string(index) + ", " + std::to_string(after);
            s.MoveAfter(index, after);
            if (index != after && m.IsElement(index) && (after == 0 || m.IsElement(after))) {
                auto it = m.FindIndex(index);
                auto moved = *it;
                m.elements_.erase(it);
                m.elements_.insert(after ? std::next(m.FindIndex(after)) : m.elements_.begin(), moved);
            }
        }
        SCOPED_TRACE(::testing::Message() << "call " << step << ": " << what);
        ASSERT_EQ(got, expected);
        ASSERT_TRUE(Matches(s, m));
        ASSERT_EQ(s.GetCount(), (int)m.elements_.size());
        ASSERT_EQ(s.GetTail(), m.elements_.empty() ? 0 : m.elements_.back().first);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, SlotListRandom,
                         ::testing::Values(RandomCase{32, 1}, RandomCase{32, 2}, RandomCase{3, 3}, RandomCase{3, 4},
                                           RandomCase{1, 5}, RandomCase{0, 6}, RandomCase{2, 7}));

}  // namespace
