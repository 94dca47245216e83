// Filter sets over the test suite's plug-in folder (bin/testplugins): good plug-ins of several priorities and
// broken ones of every kind (missing export, not a library, a library that cannot load, a null filter).
#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "../core/temp_file.h"
#include "kalvex2/filters.h"
#include "kalvex2/image_filter.h"

namespace {

std::string BinFolder()
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    *strrchr(path, '\\') = 0;
    return path;
}

std::string PluginFolder()
{
    return BinFolder() + "\\testplugins";
}

std::string NameOf(const char* path)
{
    const char* slash = strrchr(path, '\\');
    return slash ? slash + 1 : path;
}

// The usable plug-ins in the order the system lists them, with their priorities.
struct Found {
    std::string file;
    unsigned long priority;
};
std::vector<Found> UsableInSystemOrder()
{
    static const struct {
        const char* file;
        unsigned long priority;
    } usable[] = {{"first100.ift", 100}, {"second100.ift", 100}, {"nopriority.ift", 8192}, {"early.ift", 5},
                  {"nullfilter.ift", 1}, {"animation.ift", 200}};
    std::vector<Found> order;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((PluginFolder() + "\\*.ift").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return order;
    do {
        for (const auto& u : usable)
            if (_stricmp(u.file, data.cFileName) == 0)
                order.push_back({u.file, u.priority});
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return order;
}

struct ScannedSet : ::testing::Test {
    cImageFilterSet set;
    void SetUp() override { set.ScanImageFilters(PluginFolder().c_str(), 77); }
    void TearDown() override { set.UnloadAll(); }
};

TEST_F(ScannedSet, KeepsTheUsablePluginsInPriorityOrderLaterEqualsFirst)
{
    // Expected: stable by priority, but among equal priorities the one found later stands first.
    std::vector<Found> expected = UsableInSystemOrder();
    ASSERT_EQ(expected.size(), 6u) << "the test plug-ins were not built into " << PluginFolder();
    std::reverse(expected.begin(), expected.end());
    std::stable_sort(expected.begin(), expected.end(),
                     [](const Found& a, const Found& b) { return a.priority < b.priority; });
    ASSERT_EQ(set.GetCount(), 6);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(NameOf(set.GetPath(i)), expected[i].file) << i;
        EXPECT_EQ(set.list->items[i]->priority, expected[i].priority);
        EXPECT_EQ(set.list->items[i]->creationParam, 77);
    }
}

TEST_F(ScannedSet, QueriesByIndexAndId)
{
    int early = set.FindID(KX_FILTER_ID('E', 'R', 'L', 'Y'));
    ASSERT_GE(early, 0);
    EXPECT_STREQ(set.GetName(early), "ERLY");
    EXPECT_EQ(set.GetID(early), KX_FILTER_ID('E', 'R', 'L', 'Y'));
    EXPECT_STREQ(set.GetExts(early)[0], "ERLY");
    EXPECT_EQ(set.GetExts(early)[1], nullptr);
    EXPECT_EQ(set.FindID(KX_FILTER_ID('N', 'O', 'I', 'D')), -1) << "a plug-in without GetFilterID is not kept";
    EXPECT_EQ(set.FindID(0x12345678), -1);
    EXPECT_EQ(set.CreateByID(0x12345678), nullptr);
    // Indices outside the list are refused, not followed.
    for (int bad : {-1, set.GetCount(), 1 << 30}) {
        EXPECT_EQ(set.GetName(bad), nullptr);
        EXPECT_STREQ(set.GetPath(bad), "");
        EXPECT_EQ(set.GetID(bad), 0u);
        EXPECT_EQ(set.GetExts(bad)[0], nullptr);
        EXPECT_EQ(set.CreateAt(bad), nullptr);
        set.Remove(bad);
    }
    EXPECT_EQ(set.GetCount(), 6);
    cImageFilter* filter = static_cast<cImageFilter*>(set.CreateAt(early));
    ASSERT_NE(filter, nullptr);
    EXPECT_EQ(filter->GetID(), KX_FILTER_ID('E', 'R', 'L', 'Y'));
    filter->Release();
}

TEST_F(ScannedSet, DetectionSkipsANullFilterAndPutsTheStreamBack)
{
    for (const char* id : {"NULL", "ERLY", "AAA2", "zzzz"}) {
        // Made by the library, so that the position slots are reached through the table.
        cMemInStream* stream = NewMemInStream();
        std::string content = std::string(id) + "12345678 and more";
        stream->Open(content.data(), (int)content.size());
        cInStream* input = stream;
        cImageFilter* filter = static_cast<cImageFilter*>(set.CreateForStream(input));
        EXPECT_EQ(input->Tell(), 0) << id;
        input->Delete();
        if (strcmp(id, "NULL") == 0 || strcmp(id, "zzzz") == 0) {
            EXPECT_EQ(filter, nullptr) << id; // NULL's plug-in says yes and makes nothing; the search goes on
        } else {
            ASSERT_NE(filter, nullptr) << id;
            EXPECT_EQ(filter->GetID(), KX_FILTER_ID(id[0], id[1], id[2], id[3]));
            filter->Release();
        }
    }
}

TEST_F(ScannedSet, CanReadKeepsThePosition)
{
    cMemInStream* stream = NewMemInStream();
    const char content[] = "ERLY and twelve bytes at least";
    stream->Open(content, sizeof(content));
    cInStream* input = stream;
    EXPECT_NE(set.CanRead(set.FindID(KX_FILTER_ID('E', 'R', 'L', 'Y')), input), 0);
    EXPECT_EQ(input->Tell(), 0);
    EXPECT_EQ(set.CanRead(set.FindID(KX_FILTER_ID('A', 'A', 'A', '1')), input), 0);
    EXPECT_EQ(input->Tell(), 0);
    input->Delete();
}

TEST_F(ScannedSet, RemoveShiftsTheLaterEntriesAndUnloadAllEmpties)
{
    std::string third = set.GetPath(2);
    set.Remove(1);
    EXPECT_EQ(set.GetCount(), 5);
    EXPECT_EQ(third, set.GetPath(1));
    EXPECT_EQ(set.UnloadAll(), &set);
    EXPECT_EQ(set.list, nullptr);
    EXPECT_EQ(set.GetCount(), 0);
    EXPECT_EQ(set.UnloadAll(), nullptr);
    EXPECT_EQ(set.CreateByID(KX_FILTER_ID('E', 'R', 'L', 'Y')), nullptr);
}

TEST_F(ScannedSet, CopiesHoldTheirOwnLibraries)
{
    cImageFilterSet copy(set);
    cImageFilterSet assigned;
    assigned = set;
    ASSERT_EQ(copy.GetCount(), 6);
    ASSERT_EQ(assigned.GetCount(), 6);
    EXPECT_NE(copy.list, set.list);
    set.UnloadAll();
    // The copies' libraries are still loaded: making a filter runs their code.
    for (cImageFilterSet* s : {&copy, &assigned}) {
        cImageFilter* filter = static_cast<cImageFilter*>(s->CreateByID(KX_FILTER_ID('A', 'A', 'A', '1')));
        ASSERT_NE(filter, nullptr);
        EXPECT_STREQ(filter->GetName(), "AAA1");
        filter->Release();
        s->UnloadAll();
    }
}

TEST(FilterSetScan, FoldersWithoutPluginsAndOverlongPaths)
{
    cPluginFilterSet set;
    EXPECT_EQ(set.GetCount(), 0);
    set.ScanFolder(PluginFolder().c_str(), "*.ift", 0);
    EXPECT_GT(set.GetCount(), 0);
    set.ScanFolder(nullptr, "*.ift", 0); // a null folder unloads and leaves an empty list
    ASSERT_NE(set.list, nullptr);
    EXPECT_EQ(set.GetCount(), 0);
    set.ScanFolder("C:\\no\\such\\folder", "*.ift", 0);
    EXPECT_EQ(set.GetCount(), 0);
    std::string longFolder = PluginFolder() + "\\" + std::string(400, 'x');
    set.ScanFolder(longFolder.c_str(), "*.ift", 0);
    EXPECT_EQ(set.GetCount(), 0);
    // A trailing backslash is not doubled.
    set.ScanFolder((PluginFolder() + "\\").c_str(), "early.ift", 0);
    ASSERT_EQ(set.GetCount(), 1);
    EXPECT_EQ(std::string(set.GetPath(0)), PluginFolder() + "\\early.ift");
    EXPECT_EQ(set.GetDependencyList(0), (void*)set.GetExts(-1)) << "no GetDependencies: the shared empty list";
    set.UnloadAll();
}

// The exported tables of both sets: slot 2 of the image set is its own, the counting slots are the base's.
TEST(FilterSetScan, ExportedTablesInSlotOrder)
{
    HMODULE dll = GetModuleHandleA("Kalvex2.dll");
    void** plugin = reinterpret_cast<void**>(GetProcAddress(dll, MAKEINTRESOURCEA(314)));
    void** image = reinterpret_cast<void**>(GetProcAddress(dll, MAKEINTRESOURCEA(315)));
    ASSERT_TRUE(plugin && image);
    EXPECT_NE(plugin[2], image[2]);
    for (int slot : {1, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15})
        EXPECT_EQ(plugin[slot], image[slot]) << slot;
    cImageFilterSet set;
    set.ScanImageFilters(PluginFolder().c_str(), 0);
    typedef int(KX_THISCALL * Count)(cPluginFilterSet*);
    typedef int(KX_THISCALL * Find)(cPluginFilterSet*, unsigned long);
    EXPECT_EQ(reinterpret_cast<Count>(image[4])(&set), 6);
    EXPECT_EQ(reinterpret_cast<Find>(image[8])(&set, KX_FILTER_ID('E', 'R', 'L', 'Y')), set.FindID(KX_FILTER_ID('E', 'R', 'L', 'Y')));
    typedef cPluginFilterSet*(KX_THISCALL * Unload)(cPluginFilterSet*);
    EXPECT_EQ(reinterpret_cast<Unload>(image[2])(&set), &set);
    EXPECT_EQ(reinterpret_cast<Count>(plugin[4])(&set), 0);
}

TEST(FilterSetScan, ImageSetAnswersWhatItsFiltersRead)
{
    cImageFilterSet* set = NewImageFilterSet();
    ASSERT_NE(set, nullptr);
    set->ScanImageFilters(PluginFolder().c_str(), 0);
    int animation = set->FindID(KX_FILTER_ID('A', 'N', 'I', 'M'));
    int still = set->FindID(KX_FILTER_ID('A', 'A', 'A', '1'));
    int none = set->FindID(KX_FILTER_ID('N', 'U', 'L', 'L'));
    EXPECT_EQ(set->IsAnimationFilter(animation), 1);
    EXPECT_EQ(set->IsImageFilter(animation), 0);
    EXPECT_EQ(set->IsImageFilter(still), 1);
    EXPECT_EQ(set->IsImageFilter(none), 0);
    set->UnloadAll();
    set->Delete();
}

}  // namespace
