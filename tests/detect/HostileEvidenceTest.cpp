// Damaged libraries and registry values of the wrong kind where the detectors
// look: the check goes on, and what cannot be read reads as missing.
#include "Evidence.h"
#include "detect/Detectors.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
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
    IMAGE_SECTION_HEADER& Resources()
    {
        const DWORD rva = Nt().OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_RESOURCE].VirtualAddress;
        for (size_t i = 0;; ++i)
            if (rva - Section(i).VirtualAddress < Section(i).SizeOfRawData) return Section(i);
    }
    std::string RawResources() { return bytes.substr(Resources().PointerToRawData, Resources().SizeOfRawData); }
    Library& Damaged() // the version block 1 MiB long, far past the file
    {
        Version().Size = 0x100000;
        return *this;
    }
    void Pad() { bytes.resize((bytes.size() + 511) & ~size_t(511)); }
    DWORD NextAddress() { return (Nt().OptionalHeader.SizeOfImage + 0xFFF) & ~0xFFFu; }
    // Data as a new section after the others (or at the address given), its raw data at the file's end.
    DWORD AddSection(std::string data, DWORD at = 0)
    {
        const DWORD address = at ? at : NextAddress(), size = DWORD(data.size() + 511) & ~511u;
        Pad();
        const DWORD raw = DWORD(bytes.size()), flags = IMAGE_SCN_CNT_INITIALIZED_DATA | IMAGE_SCN_MEM_READ;
        Section(Nt().FileHeader.NumberOfSections++) = {{'.', 'v', 'l'}, {size}, address, size, raw, 0, 0, 0, 0, flags};
        if (!at) Nt().OptionalHeader.SizeOfImage = address + ((size + 0xFFF) & ~0xFFFu);
        bytes += data;
        Pad();
        return address;
    }
    // A new resource tree of two types, first (its version block damaged) and 16.
    void Types(DWORD first)
    {
        const DWORD to = NextAddress() + 160, dir = 0x80000000, one = 1 << 16; // one: a directory of one id
        const DWORD tree[40] = {0, 0,   0,     2 << 16, first, dir | 32,       16, dir | 96, // the root
                                0, 0,   0,     one,     1,     dir | 56,       0,  0,        // type first, its name 1
                                0, one, 0x409, 80,      to,    0x100000,       0,  0,        // language, data entry
                                0, 0,   0,     one,     1,     dir | 120,      0,  0,        // type 16
                                0, one, 0x409, 144,     to,    Version().Size, 0,  0};
        const std::string block = bytes.substr(Offset(Version().OffsetToData), Version().Size);
        const DWORD at = AddSection(std::string(reinterpret_cast<const char*>(tree), sizeof(tree)) + block);
        Nt().OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_RESOURCE] = {at, 160};
    }
    // count export names, all one text of length letters, in a new section (the last of sections, when given).
    void Names(DWORD count, size_t length, size_t sections = 0)
    {
        if (sections) { // the table moves past the data, so that the entries added hold nothing
            const size_t table = reinterpret_cast<char*>(&Section(0)) - &bytes[0], entry = sizeof(IMAGE_SECTION_HEADER);
            const std::string kept = bytes.substr(table, Nt().FileHeader.NumberOfSections * entry);
            Pad();
            Nt().FileHeader.SizeOfOptionalHeader += WORD(bytes.size() - table);
            Nt().FileHeader.NumberOfSections = WORD(sections - 1);
            bytes += kept + std::string(sections * entry - kept.size(), '\0');
        }
        const DWORD text = NextAddress();
        std::string data = std::string(length, 'x') + std::string(1 + count * 6, '\0');
        for (DWORD i = 0; i < count; ++i) memcpy(&data[length + 1 + i * 4], &text, 4);
        Exports().NumberOfNames = count;
        Exports().AddressOfNames = text + DWORD(length + 1);
        Exports().AddressOfNameOrdinals = text + DWORD(length + 1 + count * 4);
        AddSection(data);
    }
};

constexpr DWORD kOutside = 0x40000000; // far past the image of every test library

// Text as the registry keeps it: UTF-16 with its terminator.
std::string Text(const std::wstring& text)
{
    return std::string(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * sizeof(wchar_t));
}

const std::wstring kPhysX = L"SOFTWARE\\AGEIA Technologies";

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
    const ScopedVariable path(L"PATH", _wgetenv(L"PATH") + (L";" + onPath.Path())); // for the checks started here
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
    // The loader's copy alone damaged: a section mapped over the resources, one whose data starts before its pointer.
    auto overlaid = [](Library& l) { l.AddSection(Library().Damaged().RawResources(), l.Resources().VirtualAddress); };
    EXPECT_EQ(check(overlaid), fresh);
    auto unaligned = [](Library& l) {
        const std::string sound = l.RawResources(), damaged = l.Damaged().RawResources().substr(0, 0x180);
        l.bytes.resize((l.bytes.size() + 0x3FF) & ~size_t(0x1FF));
        l.Resources().PointerToRawData = DWORD(l.bytes.size()) + 0x180;
        l.bytes += damaged + sound;
    };
    EXPECT_EQ(check(unaligned), fresh);
    // Tables made to keep a reader busy: names pointing at one 4 MiB text, a million names behind 65,535 sections.
    EXPECT_EQ(check([](Library& l) { l.Names(0x10000, 4 << 20); }, true), fresh);
    EXPECT_EQ(check([](Library& l) { l.Names(1000000, 1, 65535); }, true), fresh);
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
    const ScopedVariable path(L"PATH", onPath.Path() + L";" + _wgetenv(L"PATH"));
    ASSERT_TRUE(WriteFileBytes(work / L"sound.dll", Library().bytes) &&
                WriteFileBytes(work / L"damaged.dll", Library().Damaged().bytes));
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
    ASSERT_TRUE(WriteFileBytes(onPath / L"OpenAL32.dll", Library().bytes));
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
    const std::wstring planted = L"\\VLUser" + std::to_wstring(GetCurrentProcessId()), at = L"%SystemDrive%" + planted;
    FileEvidence files;
    for (const wchar_t* file : {L"\\jvm.dll", L"\\XnaNative.dll", L"\\system32\\msxml6.dll"})
        files.Copy(FakeDll(L"openal32"), user.Path() + planted + file);
    registry.SetString(HKEY_LOCAL_MACHINE, kJava, L"CurrentVersion", L"1.6");
    registry.SetString(HKEY_LOCAL_MACHINE, kJava + L"\\1.6", L"JavaHome", at);
    registry.SetString(HKEY_LOCAL_MACHINE, kXna + L"\\Framework\\v4.0", L"ProductVersion", L"4.0.20823.0");
    for (const auto& [key, name, text] :
         {std::array<std::wstring, 3>{kJava + L"\\1.6", L"RuntimeLib", at + L"\\jvm.dll"},
          {kXna + L"\\Framework\\v4.0", L"NativeLibraryPath", at}})
        registry.SetValue(HKEY_LOCAL_MACHINE, key, name, REG_EXPAND_SZ, Text(text).data(), DWORD(Text(text).size()));
    const ScopedVariable drive(L"SystemDrive", user.Path()), windows(L"WINDIR", user.Path() + planted);
    for (auto detect : {DetectJava, DetectXna40}) EXPECT_FALSE(detect());
    EXPECT_EQ(DetectMsxml6x64(), msxml6);
    const ScopedVariable bare(L"WINDIR", user.Path()); // where there is no system folder
    EXPECT_EQ(DetectMsxml6x64(), msxml6);
}
