// The export table is a promise to hosts bound by ordinal: exactly ordinals 2..830 but 188, and no names.
// Read from the PE file itself and checked again through the loader.
#include <windows.h>

#include <gtest/gtest.h>

#include "kalvex2/base.h"

#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

std::vector<unsigned char> ReadFileBytes(const char* path)
{
    std::vector<unsigned char> bytes;
    HANDLE f = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return bytes;
    DWORD size = GetFileSize(f, nullptr), got = 0;
    bytes.resize(size);
    if (!ReadFile(f, bytes.data(), size, &got, nullptr) || got != size)
        bytes.clear();
    CloseHandle(f);
    return bytes;
}

struct ExportTable {
    DWORD base = 0;
    std::set<DWORD> ordinals;  // ordinals with a non-zero address
    DWORD names = 0;
    WORD machine = 0;
    bool ok = false;
};

// Maps an RVA to a file offset through the section table.
long RvaToOffset(const IMAGE_FILE_HEADER* file, const IMAGE_SECTION_HEADER* s, DWORD rva)
{
    for (int i = 0; i < file->NumberOfSections; i++, s++) {
        DWORD size = s->Misc.VirtualSize > s->SizeOfRawData ? s->Misc.VirtualSize : s->SizeOfRawData;
        if (rva >= s->VirtualAddress && rva < s->VirtualAddress + size)
            return (long)(rva - s->VirtualAddress + s->PointerToRawData);
    }
    return -1;
}

ExportTable ReadExports(const std::vector<unsigned char>& pe)
{
    ExportTable t;
    if (pe.size() < sizeof(IMAGE_DOS_HEADER))
        return t;
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(pe.data());
    if (dos->e_magic != IMAGE_DOS_SIGNATURE || dos->e_lfanew + sizeof(IMAGE_NT_HEADERS32) > pe.size())
        return t;
    // The deliverable is PE32; the 64-bit test build's DLL (PE32+) carries the same table.
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(pe.data() + dos->e_lfanew);
    auto nt64 = reinterpret_cast<const IMAGE_NT_HEADERS64*>(nt);
    if (nt->Signature != IMAGE_NT_SIGNATURE)
        return t;
    const IMAGE_DATA_DIRECTORY* dir;
    if (nt->OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC)
        dir = &nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    else if (nt->OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC)
        dir = &nt64->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    else
        return t;
    t.machine = nt->FileHeader.Machine;
    const IMAGE_SECTION_HEADER* sections = reinterpret_cast<const IMAGE_SECTION_HEADER*>(
        reinterpret_cast<const unsigned char*>(&nt->OptionalHeader) + nt->FileHeader.SizeOfOptionalHeader);
    auto rva = [&](DWORD r) { return RvaToOffset(&nt->FileHeader, sections, r); };
    long off = rva(dir->VirtualAddress);
    if (off < 0 || off + sizeof(IMAGE_EXPORT_DIRECTORY) > pe.size())
        return t;
    auto ex = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(pe.data() + off);
    long funcs = rva(ex->AddressOfFunctions);
    if (funcs < 0 || funcs + 4ull * ex->NumberOfFunctions > pe.size())
        return t;
    auto addr = reinterpret_cast<const DWORD*>(pe.data() + funcs);
    for (DWORD i = 0; i < ex->NumberOfFunctions; i++)
        if (addr[i] != 0)
            t.ordinals.insert(ex->Base + i);
    t.base = ex->Base;
    t.names = ex->NumberOfNames;
    t.ok = true;
    return t;
}

std::string DllPath()
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s(path);
    return s.substr(0, s.find_last_of('\\') + 1) + "Kalvex2.dll";
}

std::set<DWORD> Promised()
{
    std::set<DWORD> s;
    for (DWORD o = 2; o <= 830; o++)
        if (o != 188)
            s.insert(o);
    return s;
}

void ExpectPromisedTable(const std::string& path, WORD machine)
{
    std::vector<unsigned char> pe = ReadFileBytes(path.c_str());
    ASSERT_FALSE(pe.empty()) << path;
    ExportTable t = ReadExports(pe);
    ASSERT_TRUE(t.ok) << path;
    EXPECT_EQ(t.machine, machine) << path;
    EXPECT_EQ(t.names, 0u) << path;
    std::set<DWORD> promised = Promised();
    EXPECT_EQ(t.ordinals.size(), 828u) << path;
    for (DWORD o : promised)
        EXPECT_TRUE(t.ordinals.count(o)) << "missing ordinal " << o << " in " << path;
    for (DWORD o : t.ordinals)
        EXPECT_TRUE(promised.count(o)) << "unexpected ordinal " << o << " in " << path;
}

TEST(ExportTable, FileHoldsExactlyThePromisedOrdinalsAndNoNames)
{
    ExpectPromisedTable(DllPath(), KX_ABI32 ? IMAGE_FILE_MACHINE_I386 : IMAGE_FILE_MACHINE_AMD64);
}

// The 64-bit test build also reads the 32-bit deliverable that was built beside it.
TEST(ExportTable, TheDeliverableIsA32BitDllWithThePromisedTable)
{
    ExpectPromisedTable(KX_DELIVERABLE_DLL, IMAGE_FILE_MACHINE_I386);
}

TEST(ExportTable, LoaderResolvesEveryPromisedOrdinalAndNothingElse)
{
    HMODULE dll = LoadLibraryA(DllPath().c_str());
    ASSERT_NE(dll, nullptr);
    for (DWORD o = 1; o <= 900; o++) {
        FARPROC p = GetProcAddress(dll, MAKEINTRESOURCEA(o));
        bool promised = o >= 2 && o <= 830 && o != 188;
        EXPECT_EQ(p != nullptr, promised) << "ordinal " << o;
    }
    FreeLibrary(dll);
}

// The module definition lists the ordinals that are not built yet in one section. Exactly those, and no built
// ordinal, must reach the one placeholder body.
std::set<DWORD> NotBuiltInDef()
{
    std::set<DWORD> ordinals;
    std::ifstream def(KX_DEF_FILE);
    std::string line;
    bool inside = false;
    while (std::getline(def, line)) {
        if (line.find("==== NOT BUILT YET") != std::string::npos)
            inside = true;
        else if (line.find("==== END OF NOT BUILT YET") != std::string::npos)
            inside = false;
        size_t at = line.find('@');
        if (inside && at != std::string::npos && line.find(';') > at)
            ordinals.insert((DWORD)atoi(line.c_str() + at + 1));
    }
    return ordinals;
}

TEST(ExportTable, OnlyTheListedOrdinalsReachThePlaceholder)
{
    std::set<DWORD> listed = NotBuiltInDef();
    ASSERT_FALSE(listed.empty()) << "cannot read the not-built section of " << KX_DEF_FILE;
    HMODULE dll = LoadLibraryA(DllPath().c_str());
    ASSERT_NE(dll, nullptr);
    FARPROC placeholder = GetProcAddress(dll, MAKEINTRESOURCEA(*listed.begin()));
    ASSERT_NE(placeholder, nullptr);
    for (DWORD o : Promised()) {
        FARPROC p = GetProcAddress(dll, MAKEINTRESOURCEA(o));
        EXPECT_EQ(p == placeholder, listed.count(o) == 1) << "ordinal " << o;
    }
    // The placeholder answers 0 as promised.
    EXPECT_EQ(reinterpret_cast<int(__cdecl*)()>(reinterpret_cast<void*>(placeholder))(), 0);
    printf("ordinals not built yet: %u of 828\n", (unsigned)listed.size());
    FreeLibrary(dll);
}

}  // namespace
