// cPluginFilterSet and the set-level parts of cImageFilterSet: scanning a folder for plug-in libraries, keeping
// them ordered by priority and making filter objects from them. What a filter object does is image_file.cpp's.
#include <string.h>

#include "core/alloc.h"
#include "core/stream_util.h"
#include "core/symbol_alias.h"
#include "kalvex2/filters.h"
#include "kalvex2/image_filter.h"

KX_EXPORT_VTABLE(cPluginFilterSet, _ZTV16cPluginFilterSet);
KX_EXPORT_VTABLE(cImageFilterSet, _ZTV15cImageFilterSet);

#if KX_ABI32
static_assert(sizeof(FilterEntry) == 40, "a filter entry is ten 32-bit members");
static_assert(offsetof(FilterEntry, creationParam) == 12 && offsetof(FilterEntry, getDependencies) == 36,
              "filter entry members in order");
static_assert(sizeof(FilterList) == 12, "a filter list is three 32-bit members");
static_assert(sizeof(cPluginFilterSet) == 8 && sizeof(cImageFilterSet) == 8, "a set is its table and its list");
#endif
static_assert(sizeof(FilterList) == sizeof(PtrList16) && offsetof(FilterList, count) == offsetof(PtrList16, count),
              "the filter list is managed as a 16-step pointer list");

namespace {

// The array that GetExts and GetDependencyList hand out when a plug-in has no list of its own.
const char* const kEmptyList[1] = {nullptr};

// The search buffer of the directory scan, sized as the system's path limit.
constexpr size_t kSearchBuffer = MAX_PATH;

PtrList16* AsPtrList(FilterList* list)
{
    return reinterpret_cast<PtrList16*>(list);
}

void FreeBlock(void* block)
{
    FreeAndNull(&block);
}

// Releases what an entry owns: its reference to the library and its path.
void ReleaseEntry(FilterEntry* entry)
{
    if (entry->library)
        FreeLibrary(entry->library);
    entry->library = nullptr;
    FreeBlock(entry->path);
    entry->path = nullptr;
}

// Folder, a backslash unless the folder is empty or already ends in one (or a slash), then name. Null when the
// text cannot be allocated or does not fit `limit` characters (0: no limit).
char* JoinPath(const char* folder, const char* name, size_t limit)
{
    size_t folderLength = strlen(folder), nameLength = strlen(name);
    bool separator = folderLength > 0 && folder[folderLength - 1] != '\\' && folder[folderLength - 1] != '/';
    size_t length = folderLength + (separator ? 1 : 0) + nameLength;
    if (limit && length + 1 > limit)
        return nullptr;
    void* block = nullptr;
    if (!AllocRetry(length + 1, &block))
        return nullptr;
    char* text = static_cast<char*>(block);
    memcpy(text, folder, folderLength);
    if (separator)
        text[folderLength] = '\\';
    memcpy(text + folderLength + (separator ? 1 : 0), name, nameLength + 1);
    return text;
}

template <typename Fn>
Fn Export(HMODULE library, const char* name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

// Inserts entry in priority order; false when the list cannot grow.
bool InsertByPriority(FilterList* list, FilterEntry* entry)
{
    int at = 0;
    while (at < list->count && list->items[at]->priority < entry->priority)
        ++at;
    if (!PtrListGrow(AsPtrList(list), &list->count, &list->capacity, list->count + 1))
        return false;
    memmove(list->items + at + 1, list->items + at, (size_t)(list->count - at) * sizeof(FilterEntry*));
    list->items[at] = entry;
    ++list->count;
    return true;
}

FilterList* NewList()
{
    void* block = nullptr;
    if (!CallocRetry(sizeof(FilterList), &block))
        return nullptr;
    return static_cast<FilterList*>(block);
}

// A list with entries of its own for every entry of source: each holds its own reference to the library (taken
// through the address of its CreateFilter export) and its own copy of the path. Entries whose library cannot be
// referenced again are left out. Null when source is null or the list cannot be allocated.
FilterList* CopyList(const FilterList* source)
{
    if (!source)
        return nullptr;
    FilterList* list = NewList();
    if (!list)
        return nullptr;
    for (int i = 0; i < source->count; ++i) {
        const FilterEntry* from = source->items[i];
        void* block = nullptr;
        if (!AllocRetry(sizeof(FilterEntry), &block))
            continue;
        FilterEntry* entry = static_cast<FilterEntry*>(block);
        *entry = *from;
        entry->library = nullptr;
        entry->path = from->path ? kx::CopyText(from->path) : nullptr;
        HMODULE library = nullptr;
        bool referenced = !from->library ||
                          GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                             reinterpret_cast<LPCSTR>(from->createFilter), &library);
        entry->library = library;
        if (!referenced || (from->path && !entry->path) ||
            !PtrListGrow(AsPtrList(list), &list->count, &list->capacity, list->count + 1)) {
            ReleaseEntry(entry);
            FreeBlock(entry);
            continue;
        }
        list->items[list->count++] = entry;
    }
    return list;
}

}  // namespace

// ---- lifetime ----

cPluginFilterSet::cPluginFilterSet() : list(nullptr) {}

cPluginFilterSet::cPluginFilterSet(const cPluginFilterSet& other) : list(CopyList(other.list)) {}

// Destruction releases only the object: hosts unload with UnloadAll first.
cPluginFilterSet::~cPluginFilterSet() {}

cPluginFilterSet& cPluginFilterSet::operator=(const cPluginFilterSet& other)
{
    if (this != &other) {
        FilterList* copy = CopyList(other.list);
        UnloadAll();
        list = copy;
    }
    return *this;
}

void* cPluginFilterSet::Destroy(unsigned flags)
{
    this->~cPluginFilterSet();
    if (flags & 1)
        FreeBlock(this);
    return this;
}

cPluginFilterSet* cPluginFilterSet::UnloadAll()
{
    if (!list)
        return nullptr;
    for (int i = 0; i < list->count; ++i) {
        ReleaseEntry(list->items[i]);
        FreeBlock(list->items[i]);
    }
    FreeBlock(list->items);
    FreeBlock(list);
    list = nullptr;
    return this;
}

// ---- scanning ----

void cPluginFilterSet::ScanFolder(const char* folder, const char* pattern, long creationParam)
{
    if (list)
        UnloadAll(); // through the table, so that a derived set's override runs
    list = NewList();
    if (!list || !folder)
        return;
    // The search text must fit the system's path buffer; a longer one is refused rather than cut, so that a
    // shortened pattern never loads libraries from another folder.
    char* search = JoinPath(folder, pattern ? pattern : "", kSearchBuffer);
    if (!search)
        return;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA(search, &found);
    FreeBlock(search);
    if (find == INVALID_HANDLE_VALUE)
        return;
    // Libraries that fail to load must not put up the system's error box in the middle of a scan.
    UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        char* path = JoinPath(folder, found.cFileName, 0);
        if (!path)
            continue;
        HMODULE library = LoadLibraryA(path);
        if (!library) {
            FreeBlock(path);
            continue;
        }
        FilterEntry made = {};
        made.library = library;
        made.path = path;
        made.creationParam = creationParam;
        made.createFilter = Export<CreateFilterFn>(library, "CreateFilter");
        made.getFilterName = Export<GetFilterNameFn>(library, "GetFilterName");
        made.getFilterID = Export<GetFilterIDFn>(library, "GetFilterID");
        made.getFilterExts = Export<GetFilterExtsFn>(library, "GetFilterExts");
        made.getDependencies = Export<GetDependenciesFn>(library, "GetDependencies");
        made.canReadFile = Export<CanReadFileFn>(library, "CanReadFile");
        if (!made.createFilter || !made.getFilterName || !made.getFilterID) {
            ReleaseEntry(&made);
            continue;
        }
        GetPriorityFn getPriority = Export<GetPriorityFn>(library, "GetPriority");
        made.priority = getPriority ? getPriority() : (unsigned long)DEFAULT_FILTER_PRIORITY;
        void* block = nullptr;
        if (!AllocRetry(sizeof(FilterEntry), &block)) {
            ReleaseEntry(&made);
            continue;
        }
        FilterEntry* entry = static_cast<FilterEntry*>(block);
        *entry = made;
        if (!InsertByPriority(list, entry)) {
            ReleaseEntry(entry);
            FreeBlock(entry);
        }
    } while (FindNextFileA(find, &found));
    SetErrorMode(oldMode);
    FindClose(find);
}

// ---- queries ----

int cPluginFilterSet::GetCount()
{
    return list ? list->count : 0;
}

namespace {

FilterEntry* EntryAt(FilterList* list, int index)
{
    if (!list || index < 0 || index >= list->count)
        return nullptr;
    return list->items[index];
}

}  // namespace

const char* cPluginFilterSet::GetName(int index)
{
    FilterEntry* entry = EntryAt(list, index);
    return entry ? entry->getFilterName() : nullptr;
}

const char* cPluginFilterSet::GetPath(int index)
{
    FilterEntry* entry = EntryAt(list, index);
    return entry && entry->path ? entry->path : "";
}

unsigned long cPluginFilterSet::GetID(int index)
{
    FilterEntry* entry = EntryAt(list, index);
    return entry ? entry->getFilterID() : 0;
}

int cPluginFilterSet::FindID(unsigned long id)
{
    for (int i = 0; i < GetCount(); ++i) {
        if (list->items[i]->getFilterID() == id)
            return i;
    }
    return -1;
}

const char** cPluginFilterSet::GetExts(int index)
{
    FilterEntry* entry = EntryAt(list, index);
    if (entry && entry->getFilterExts) {
        const char** exts = entry->getFilterExts();
        if (exts)
            return exts;
    }
    return const_cast<const char**>(kEmptyList);
}

void* cPluginFilterSet::GetDependencyList(int index)
{
    FilterEntry* entry = EntryAt(list, index);
    if (entry && entry->getDependencies)
        return entry->getDependencies();
    return const_cast<const char**>(kEmptyList);
}

namespace {

// Asks the plug-in and puts the stream back where it was, whatever the plug-in read.
int AskCanRead(FilterEntry* entry, cInStream* input, int origin)
{
    int answer = entry->canReadFile(input);
    if (input->Tell() != origin)
        input->Seek(origin, SEEK_FROM_START);
    return answer;
}

}  // namespace

int cPluginFilterSet::CanRead(int index, cInStream* input)
{
    FilterEntry* entry = EntryAt(list, index);
    if (!entry || !entry->canReadFile || !input)
        return 0;
    return AskCanRead(entry, input, input->Tell());
}

// ---- making filter objects ----

void* cPluginFilterSet::CreateForStream(cInStream* input)
{
    if (!input)
        return nullptr;
    int count = GetCount();
    int origin = input->Tell();
    for (int i = 0; i < count; ++i) {
        FilterEntry* entry = list->items[i];
        if (!entry->canReadFile || !AskCanRead(entry, input, origin))
            continue;
        if (void* filter = entry->createFilter(entry->creationParam))
            return filter;
    }
    return nullptr;
}

void* cPluginFilterSet::CreateByID(unsigned long id)
{
    for (int i = 0; i < GetCount(); ++i) {
        FilterEntry* entry = list->items[i];
        if (entry->getFilterID() != id)
            continue;
        if (void* filter = entry->createFilter(entry->creationParam))
            return filter;
    }
    return nullptr;
}

void* cPluginFilterSet::CreateAt(int index)
{
    FilterEntry* entry = EntryAt(list, index);
    return entry ? entry->createFilter(entry->creationParam) : nullptr;
}

void cPluginFilterSet::Remove(int index)
{
    FilterEntry* entry = EntryAt(list, index);
    if (!entry)
        return;
    ReleaseEntry(entry);
    FreeBlock(entry);
    PtrListRemoveAt(AsPtrList(list), &list->count, &list->capacity, index);
}

cPluginFilterSet* KX_CDECL NewPluginFilterSet()
{
    return kx::New<cPluginFilterSet>();
}

// ---- the image set ----

cImageFilterSet::cImageFilterSet() {}
cImageFilterSet::cImageFilterSet(const cImageFilterSet& other) : cPluginFilterSet(other) {}
cImageFilterSet::~cImageFilterSet() {}

cImageFilterSet& cImageFilterSet::operator=(const cImageFilterSet& other)
{
    cPluginFilterSet::operator=(other);
    return *this;
}

void* cImageFilterSet::Destroy(unsigned flags)
{
    this->~cImageFilterSet();
    if (flags & 1)
        FreeBlock(this);
    return this;
}

cPluginFilterSet* cImageFilterSet::UnloadAll()
{
    return cPluginFilterSet::UnloadAll();
}

void cImageFilterSet::ScanImageFilters(const char* folder, long creationParam)
{
    ScanFolder(folder, "*.ift", creationParam);
}

namespace {

// Makes a filter at index, asks it one question and releases it.
int AskFilter(cImageFilterSet* set, int index, int (cImageFilter::*question)())
{
    cImageFilter* filter = static_cast<cImageFilter*>(set->CreateAt(index));
    if (!filter)
        return 0;
    int answer = (filter->*question)();
    filter->Release();
    return answer;
}

}  // namespace

int cImageFilterSet::IsAnimationFilter(int index)
{
    return AskFilter(this, index, &cImageFilter::CanReadAnimations);
}

int cImageFilterSet::IsImageFilter(int index)
{
    return AskFilter(this, index, &cImageFilter::CanReadImages);
}

cImageFilterSet* KX_CDECL NewImageFilterSet()
{
    return kx::New<cImageFilterSet>();
}
