// Damaged libraries and registry values of the wrong kind where the detectors
// look: the check goes on, and what cannot be read reads as missing.
#include "Evidence.h"
#include "detect/Detectors.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <atomic>
#include <functional>
#include <thread>

using namespace Velora;
using namespace Velora::Test;
using namespace std::literals;

namespace {

// The bytes of a test library with both a version resource and an export.
struct Library {
    std::string bytes = ReadFileBytes(FakeDll(L"physxloader"));
    template <typename T> T& At(size_t offset) { return *reinterpret_cast<T*>(&bytes.at(offset)); }
    // The file offset of an address (or of a directory's), through the section that holds it.
    size_t Offset(DWORD rva, int directory = -1)
    {
        auto& nt = At<IMAGE_NT_HEADERS32>(At<IMAGE_DOS_HEADER>(0).e_lfanew);
        if (directory >= 0) rva = nt.OptionalHeader.DataDirectory[directory].VirtualAddress;
        const IMAGE_SECTION_HEADER* s = IMAGE_FIRST_SECTION(&nt);
        for (WORD i = 0; i < nt.FileHeader.NumberOfSections; ++i, ++s)
            if (rva - s->VirtualAddress < s->SizeOfRawData) return rva - s->VirtualAddress + s->PointerToRawData;
        return 0;
    }
    DWORD& Table(DWORD rva) { return At<DWORD>(Offset(rva)); }
    // The version resource's data entry: type 16, its first name and language.
    IMAGE_RESOURCE_DATA_ENTRY& Version()
    {
        const size_t root = Offset(0, IMAGE_DIRECTORY_ENTRY_RESOURCE);
        size_t at = root;
        for (int level = 0; level < 3; ++level) {
            auto* entry = &At<IMAGE_RESOURCE_DIRECTORY_ENTRY>(at + sizeof(IMAGE_RESOURCE_DIRECTORY));
            while (level == 0 && entry->Name != 16) ++entry;
            at = root + (entry->OffsetToData & 0x7FFFFFFF);
        }
        return At<IMAGE_RESOURCE_DATA_ENTRY>(at);
    }
    IMAGE_EXPORT_DIRECTORY& Exports() { return At<IMAGE_EXPORT_DIRECTORY>(Offset(0, IMAGE_DIRECTORY_ENTRY_EXPORT)); }
    IMAGE_NT_HEADERS32& Nt() { return At<IMAGE_NT_HEADERS32>(At<IMAGE_DOS_HEADER>(0).e_lfanew); }
    IMAGE_SECTION_HEADER& Section(size_t index) { return IMAGE_FIRST_SECTION(&Nt())[index]; }
    IMAGE_SECTION_HEADER& ResourceSection()
    {
        const DWORD rva = Nt().OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_RESOURCE].VirtualAddress;
        for (size_t i = 0;; ++i)
            if (rva - Section(i).VirtualAddress < Section(i).SizeOfRawData) return Section(i);
    }
    DWORD NextAddress() { return (Nt().OptionalHeader.SizeOfImage + 0xFFF) & ~0xFFFu; }
    // Data as a new section after the others (or at the address given), its raw data at the file's end.
    DWORD AddSection(std::string data, DWORD at = 0)
    {
        data.resize((data.size() + 511) & ~size_t(511));
        IMAGE_SECTION_HEADER& s = Section(Nt().FileHeader.NumberOfSections++);
        s = {{'.', 'v', 'l'}, {DWORD(data.size())}, at ? at : NextAddress(), DWORD(data.size()),
             DWORD(bytes.size() + 511) & ~511u, 0, 0, 0, 0, IMAGE_SCN_CNT_INITIALIZED_DATA | IMAGE_SCN_MEM_READ};
        const DWORD address = s.VirtualAddress;
        if (!at) Nt().OptionalHeader.SizeOfImage = address + ((s.SizeOfRawData + 0xFFF) & ~0xFFFu);
        bytes.resize(s.PointerToRawData);
        bytes += data;
        return address;
    }
    // A new resource tree of two types, first (its version block 1 MiB long, far past the file) and 16.
    void Types(DWORD first)
    {
        const std::string block = bytes.substr(Offset(Version().OffsetToData), Version().Size);
        const DWORD base = NextAddress();
        std::string tree(160, '\0');
        auto put = [&](size_t at, DWORD a, DWORD b) { memcpy(&tree[at], &a, 4), memcpy(&tree[at + 4], &b, 4); };
        tree[14] = 2; // id entries
        for (DWORD i = 0, type = 32; i < 2; ++i, type += 64) {
            put(16 + 8 * i, i ? 16 : first, 0x80000000 | type);
            tree[type + 14] = tree[type + 38] = 1;
            put(type + 16, 1, 0x80000000 | (type + 24));
            put(type + 40, 0x409, type + 48);
            put(type + 48, base + 160, i ? DWORD(block.size()) : 0x100000);
        }
        const DWORD at = AddSection(tree + block);
        Nt().OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_RESOURCE] = {at, 160};
    }
    // count export names, each the same text of length letters, in a new section; with sections,
    // the section table grows to that many entries and the names' section is the last.
    void Names(DWORD count, size_t length, size_t sections = 0)
    {
        if (sections) { // the table moved past the sections' data, so that the added entries hold nothing
            const size_t table = size_t(reinterpret_cast<char*>(&Section(0)) - &bytes[0]);
            const size_t moved = (bytes.size() + 511) & ~size_t(511);
            const std::string kept =
                bytes.substr(table, Nt().FileHeader.NumberOfSections * sizeof(IMAGE_SECTION_HEADER));
            Nt().FileHeader.SizeOfOptionalHeader += WORD(moved - table);
            bytes.resize(moved + sections * sizeof(IMAGE_SECTION_HEADER));
            bytes.replace(moved, kept.size(), kept);
        }
        const DWORD text = NextAddress();
        std::string data(length, 'x');
        data.resize(length + 1 + count * 6);
        for (DWORD i = 0; i < count; ++i) memcpy(&data[length + 1 + i * 4], &text, 4);
        Exports().NumberOfNames = count;
        Exports().AddressOfNames = text + DWORD(length + 1);
        Exports().AddressOfNameOrdinals = text + DWORD(length + 1 + count * 4);
        AddSection(data);
        if (!sections) return;
        WORD& number = Nt().FileHeader.NumberOfSections;
        std::swap(Section(number - 1), Section(sections - 1));
        number = WORD(sections);
    }
};

constexpr DWORD kOutside = 0x40000000; // far past the image of every test library

// Text as the registry keeps it: UTF-16 with its terminator.
std::string Text(const std::wstring& text)
{
    return std::string(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * sizeof(wchar_t));
}

const std::wstring kPhysX = L"SOFTWARE\\AGEIA Technologies";

std::wstring Variable(const wchar_t* name)
{
    std::wstring value(32767, L'\0');
    value.resize(GetEnvironmentVariableW(name, &value[0], 32767));
    return value;
}

// The folder put before the others on this process's PATH for one scope.
class PathFolder {
public:
    explicit PathFolder(const std::wstring& folder) : old_(Variable(L"PATH"))
    {
        SetEnvironmentVariableW(L"PATH", (folder + L";" + old_).c_str());
    }
    ~PathFolder() { SetEnvironmentVariableW(L"PATH", old_.c_str()); }

private:
    std::wstring old_;
};

} // namespace

TEST(HostileEvidenceTest, DamagedLibraryLeavesEveryRowAndReadsMissing)
{
    // The runtimes found by a library's bare name; the export is PhysX's.
    const wchar_t* const names[] = {L"Xlive.dll", L"OpenAL32.dll", L"PhysXLoader.dll"};
    FileEvidence absent; // whatever the prefix has of them, until the test ends
    for (const wchar_t* name : names) absent.HideIfPresent(SystemDir() + L"\\" + name);
    RegEvidence registry;
    registry.HideKey(HKEY_LOCAL_MACHINE, kPhysX);
    registry.SetDword(HKEY_LOCAL_MACHINE, kPhysX, L"PhysX Version", 1);
    const TestFolder program, onPath, work;
    wchar_t path[32767];
    const std::wstring oldPath(path, GetEnvironmentVariableW(L"PATH", path, 32767));
    SetEnvironmentVariableW(L"PATH", (oldPath + L";" + onPath.Path()).c_str()); // for the checks started here
    const std::wstring places[] = {SystemDir(), program.Path(), onPath.Path()};
    const std::string fresh = RunDetectProbe(program.Path());

    // Each row puts the library in every place in turn; damage only to the export meets PhysX's alone.
    size_t turn = 0;
    auto check = [&](const std::function<void(Library&)>& damage, bool exportOnly = false) {
        Library library;
        if (damage) damage(library);
        EXPECT_TRUE(WriteFileBytes(work / L"library.dll", library.bytes));
        FileEvidence files;
        for (size_t name = exportOnly ? 2 : 0; name < 3; ++name)
            files.Copy(work / L"library.dll", places[(name + turn) % 3] + L"\\" + names[name]);
        ++turn;
        return RunDetectProbe(program.Path());
    };
    const std::string whole = check(nullptr); // found in each place
    for (const char* row : {"Live\t236.4MB\tinstalled", "OpenAL\t817.7KB\tinstalled", "System\t56.0MB\tinstalled"})
        EXPECT_NE(whole.find(row), std::string::npos) << row;
    for (DWORD size : {0u, 1u, 2u, 0x80000000u, 0xFFFFFFFFu})
        EXPECT_EQ(check([size](Library& l) { l.Version().Size = size; }), fresh) << size;
    EXPECT_EQ(check([](Library& l) { l.Version().Size = DWORD(l.bytes.size()); }), fresh); // past the file
    EXPECT_EQ(check([](Library& l) { l.Version().OffsetToData = kOutside; }), fresh);
    EXPECT_EQ(check([](Library& l) { l.At<DWORD>(l.bytes.find("\xBD\x04\xEF\xFE")) = 0; }), fresh); // signature
    EXPECT_EQ(check([](Library& l) { l.Exports().AddressOfFunctions = kOutside; }, true), fresh);
    EXPECT_EQ(check([](Library& l) { l.Exports().AddressOfNames = kOutside; }, true), fresh);
    EXPECT_EQ(check([](Library& l) { l.Exports().AddressOfNameOrdinals = kOutside; }, true), fresh);
    EXPECT_EQ(check([](Library& l) { l.Table(l.Exports().AddressOfFunctions) = kOutside; }, true), fresh);
    EXPECT_EQ(check([](Library& l) { l.Table(l.Exports().AddressOfNames) = kOutside; }, true), fresh);
    EXPECT_EQ(check([](Library& l) { l.Exports().NumberOfFunctions = kOutside; }, true), fresh);
    EXPECT_EQ(check([](Library& l) { l.Exports().NumberOfNames = kOutside; }, true), fresh);
    auto emptyForward = [](Library& l) { // at the end of the library's own name
        IMAGE_EXPORT_DIRECTORY& e = l.Exports();
        l.Table(e.AddressOfFunctions) = e.Name + DWORD(strlen(&l.bytes.at(l.Offset(e.Name))));
    };
    EXPECT_EQ(check(emptyForward, true), fresh);
    // The system takes a type by its name's low word: a high-bit name ahead of the version type.
    for (DWORD name : {0x00010010u, 0x80000010u}) EXPECT_EQ(check([name](Library& l) { l.Types(name); }), fresh);
    // Sections the loader lays out otherwise: one mapped over the resources, one whose data it takes from further
    // back. The loader's copy of the resources is the damaged one each time: 1 MiB of version, far past the file.
    auto overlapping = [](Library& l) {
        Library damaged;
        damaged.Version().Size = 0x100000;
        const IMAGE_SECTION_HEADER& resources = l.ResourceSection();
        const std::string raw = damaged.bytes.substr(resources.PointerToRawData, resources.SizeOfRawData);
        l.AddSection(raw, resources.VirtualAddress);
    };
    EXPECT_EQ(check(overlapping), fresh);
    auto unaligned = [](Library& l) {
        IMAGE_SECTION_HEADER& resources = l.ResourceSection();
        const std::string raw = l.bytes.substr(resources.PointerToRawData, resources.SizeOfRawData);
        l.Version().Size = 0x100000;
        const std::string damaged = l.bytes.substr(resources.PointerToRawData, 0x180);
        resources.PointerToRawData = (DWORD(l.bytes.size() + 0x3FF) & ~0x1FFu) + 0x180;
        l.bytes.resize(resources.PointerToRawData - 0x180);
        l.bytes += damaged + raw;
    };
    EXPECT_EQ(check(unaligned), fresh);
    // Tables made to keep a reader busy: names pointing at one 4 MiB text, a million names behind 65,535 sections.
    EXPECT_EQ(check([](Library& l) { l.Names(0x10000, 4 << 20); }, true), fresh);
    EXPECT_EQ(check([](Library& l) { l.Names(1000000, 1, 65535); }, true), fresh);
    SetEnvironmentVariableW(L"PATH", oldPath.c_str());
}

TEST(HostileEvidenceTest, RegistryValuesCountOnlyAsWhatTheyAre)
{
    const std::wstring kDotNet = L"SOFTWARE\\Microsoft\\NET Framework Setup\\NDP", kXna = L"SOFTWARE\\Microsoft\\XNA",
                       kJava = L"SOFTWARE\\JavaSoft\\Java Runtime Environment";
    RegEvidence whole; // whatever the prefix has is hidden until the test ends
    for (const std::wstring& key : {kPhysX, kDotNet, kJava, kXna}) whole.HideKey(HKEY_LOCAL_MACHINE, key);
    FileEvidence files;
    files.HideIfPresent(SystemDir() + L"\\PhysXLoader.dll");
    files.Copy(FakeDll(L"physxloader"), SystemDir() + L"\\PhysXLoader.dll");
    const TestFolder folder;
    const std::wstring jvm = folder / L"jvm.dll", java = kJava + L"\\1.6", xna = kXna + L"\\Framework\\v4.0";
    const std::wstring dotNet = kDotNet + L"\\v4\\Full", expandable = L"%SystemDrive%" + folder.Path().substr(2);
    ASSERT_TRUE(WriteFileBytes(jvm, "") && WriteFileBytes(folder / L"XnaNative.dll", ""));
    // Four runtimes, each whole; every row then changes one value.
    whole.SetDword(HKEY_LOCAL_MACHINE, dotNet, L"Install", 1);
    whole.SetDword(HKEY_LOCAL_MACHINE, kPhysX, L"PhysX Version", 1);
    whole.SetString(HKEY_LOCAL_MACHINE, kJava, L"CurrentVersion", L"1.6");
    for (const std::wstring& version : {java, kJava + L"\\-4294967295.0"}) {
        whole.SetString(HKEY_LOCAL_MACHINE, version, L"JavaHome", folder.Path());
        whole.SetString(HKEY_LOCAL_MACHINE, version, L"RuntimeLib", jvm);
    }
    whole.SetString(HKEY_LOCAL_MACHINE, xna, L"NativeLibraryPath", folder.Path());
    whole.SetString(HKEY_LOCAL_MACHINE, xna, L"ProductVersion", L"4.0.20823.0");
    for (auto detect : {DetectDotNet40, DetectPhysX, DetectJava, DetectXna40}) EXPECT_TRUE(detect());

    // Each row changes one value alone, and only the two expandable paths still count.
    wchar_t current[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, current);
    SetCurrentDirectoryW(folder.Path().c_str());
    auto row = [](bool (*detect)(), const std::wstring& key, const wchar_t* name, DWORD type,
                  const std::string& bytes) {
        RegEvidence change;
        change.SetValue(HKEY_LOCAL_MACHINE, key, name, type, bytes.data(), DWORD(bytes.size()));
        EXPECT_EQ(detect(), type == REG_EXPAND_SZ) << testing::PrintToString(bytes);
    };
    row(DetectDotNet40, dotNet, L"Install", REG_SZ, Text(L"0"));
    row(DetectDotNet40, dotNet, L"Install", REG_BINARY, std::string("\1\0\0\0", 4));
    row(DetectDotNet40, dotNet, L"Install", REG_DWORD, std::string("\1\0", 2));
    row(DetectPhysX, kPhysX, L"PhysX Version", REG_SZ, Text(L"1"));
    row(DetectJava, kJava, L"CurrentVersion", REG_BINARY, Text(L"1.6"));
    row(DetectJava, kJava, L"CurrentVersion", REG_SZ, Text(L"-4294967295.0"));
    row(DetectJava, java, L"RuntimeLib", REG_MULTI_SZ, Text(jvm + L'\0'));
    row(DetectJava, java, L"RuntimeLib", REG_EXPAND_SZ, Text(expandable + L"\\jvm.dll"));
    row(DetectXna40, xna, L"NativeLibraryPath", REG_EXPAND_SZ, Text(expandable));
    for (const wchar_t* path : {L"", L"."}) row(DetectXna40, xna, L"NativeLibraryPath", REG_SZ, Text(path));
    // Relative paths, though the current folder holds the files; paths
    // through the device namespace; devices, which are no files.
    for (const std::wstring& path : {L"jvm.dll"s, L"C:jvm.dll"s, L"\\\\.\\" + jvm, L"\\\\?\\" + jvm, L"NUL"s,
                                     folder / L"CON", folder / L"COM1", folder / L"aux.dll", L"C:\\CONIN$"s})
        row(DetectJava, java, L"RuntimeLib", REG_SZ, Text(path));
    SetCurrentDirectoryW(current);
}

TEST(HostileEvidenceTest, LongKeyClassHidesNoProduct)
{
    RegEvidence registry; // whatever the prefix has is hidden until the test ends
    registry.HideKey(HKEY_CLASSES_ROOT, L"Installer\\Products");
    registry.CreateKey(HKEY_CLASSES_ROOT, L"Installer\\Products", std::wstring(300, L'c'));
    registry.SetString(HKEY_CLASSES_ROOT, L"Installer\\Products\\00VLTEST0000000000000000000000SL", L"ProductName",
                       L"Microsoft Silverlight");
    EXPECT_TRUE(DetectSilverlight());
}

TEST(HostileEvidenceTest, LibrarySwappedDuringTheCheckReadsSoundOrMissing)
{
    FileEvidence absent; // whatever the prefix has, until the test ends
    absent.HideIfPresent(SystemDir() + L"\\OpenAL32.dll");
    const TestFolder onPath, work;
    const PathFolder searched(onPath.Path());
    Library sound, damaged;
    damaged.Version().Size = 0x100000; // far past the file
    ASSERT_TRUE(WriteFileBytes(work / L"sound.dll", sound.bytes));
    ASSERT_TRUE(WriteFileBytes(work / L"damaged.dll", damaged.bytes));
    // Another program swaps the two copies in a folder on PATH for as long as the check runs.
    std::atomic<bool> stop{false};
    std::thread swapper([&] {
        const std::wstring next = work / L"next.dll", target = onPath / L"OpenAL32.dll";
        for (unsigned i = 0; !stop; ++i) {
            CreateHardLinkW(next.c_str(), (work / (i % 2 ? L"damaged.dll" : L"sound.dll")).c_str(), nullptr);
            MoveFileExW(target.c_str(), (work / L"old.dll").c_str(), MOVEFILE_REPLACE_EXISTING);
            MoveFileExW(next.c_str(), target.c_str(), 0);
            DeleteFileW(next.c_str());
        }
    });
    for (int i = 0; i < 1000; ++i) DetectOpenAL(); // a crash ends the test here
    stop = true;
    swapper.join();
    ASSERT_TRUE(WriteFileBytes(onPath / L"OpenAL32.dll", sound.bytes));
    EXPECT_TRUE(DetectOpenAL());
}

TEST(HostileEvidenceTest, UserEnvironmentMovesNoSystemPlace)
{
    const std::wstring kJava = L"SOFTWARE\\JavaSoft\\Java Runtime Environment", kXna = L"SOFTWARE\\Microsoft\\XNA";
    RegEvidence registry; // whatever the prefix has is hidden until the test ends
    for (const std::wstring& key : {kJava, kXna}) registry.HideKey(HKEY_LOCAL_MACHINE, key);
    const bool msxml6 = DetectMsxml6x64();
    // A drive and a Windows folder the user names in their own environment, with the files planted there.
    const TestFolder user;
    const std::wstring planted = L"\\VLPlanted" + std::to_wstring(GetCurrentProcessId());
    FileEvidence files;
    for (const wchar_t* file : {L"\\jvm.dll", L"\\XnaNative.dll", L"\\system32\\msxml6.dll"})
        files.Copy(FakeDll(L"openal32"), user.Path() + planted + file);
    registry.SetString(HKEY_LOCAL_MACHINE, kJava, L"CurrentVersion", L"1.6");
    registry.SetString(HKEY_LOCAL_MACHINE, kJava + L"\\1.6", L"JavaHome", L"%SystemDrive%" + planted);
    auto expandable = [&](const std::wstring& key, const wchar_t* name, const std::wstring& text) {
        registry.SetValue(HKEY_LOCAL_MACHINE, key, name, REG_EXPAND_SZ, Text(text).data(), DWORD(Text(text).size()));
    };
    expandable(kJava + L"\\1.6", L"RuntimeLib", L"%SystemDrive%" + planted + L"\\jvm.dll");
    expandable(kXna + L"\\Framework\\v4.0", L"NativeLibraryPath", L"%SystemDrive%" + planted);
    registry.SetString(HKEY_LOCAL_MACHINE, kXna + L"\\Framework\\v4.0", L"ProductVersion", L"4.0.20823.0");
    const std::wstring drive = Variable(L"SystemDrive"), windows = _wgetenv(L"WINDIR");
    SetEnvironmentVariableW(L"SystemDrive", user.Path().c_str());
    _wputenv_s(L"WINDIR", (user.Path() + planted).c_str());
    EXPECT_FALSE(DetectJava());
    EXPECT_FALSE(DetectXna40());
    EXPECT_EQ(DetectMsxml6x64(), msxml6);
    _wputenv_s(L"WINDIR", user.Path().c_str()); // where there is no system folder
    EXPECT_EQ(DetectMsxml6x64(), msxml6);
    _wputenv_s(L"WINDIR", windows.c_str());
    SetEnvironmentVariableW(L"SystemDrive", drive.c_str());
}

