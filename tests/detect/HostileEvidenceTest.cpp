// Damaged libraries and registry values of the wrong kind where the detectors
// look: the check goes on, and what cannot be read reads as missing.
#include "Evidence.h"
#include "detect/Detectors.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

using namespace Velora;
using namespace Velora::Test;

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
        size_t at = Offset(0, IMAGE_DIRECTORY_ENTRY_RESOURCE);
        for (int level = 0; level < 3; ++level) {
            auto* entry = &At<IMAGE_RESOURCE_DIRECTORY_ENTRY>(at + sizeof(IMAGE_RESOURCE_DIRECTORY));
            while (level == 0 && entry->Name != 16) ++entry;
            at = Offset(0, IMAGE_DIRECTORY_ENTRY_RESOURCE) + (entry->OffsetToData & 0x7FFFFFFF);
        }
        return At<IMAGE_RESOURCE_DATA_ENTRY>(at);
    }
    IMAGE_EXPORT_DIRECTORY& Exports() { return At<IMAGE_EXPORT_DIRECTORY>(Offset(0, IMAGE_DIRECTORY_ENTRY_EXPORT)); }
};

using Damage = void (*)(Library&);
constexpr DWORD kOutside = 0x40000000; // far past the image of every test library

// Text as the registry keeps it: UTF-16 with its terminator.
std::string Text(const std::wstring& text)
{
    return std::string(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * sizeof(wchar_t));
}

const std::wstring kPhysX = L"SOFTWARE\\AGEIA Technologies";
const std::wstring kDotNet = L"SOFTWARE\\Microsoft\\NET Framework Setup\\NDP";
const std::wstring kJava = L"SOFTWARE\\JavaSoft\\Java Runtime Environment";
const std::wstring kXna = L"SOFTWARE\\Microsoft\\XNA";

} // namespace

TEST(HostileEvidenceTest, DamagedLibraryLeavesEveryRowAndReadsMissing)
{
    struct Row {
        const char* what;
        bool exportTable; // only the export lookup meets the damage
        Damage damage;
    };
    const Row rows[] = {
        {"version size 0", false, [](Library& l) { l.Version().Size = 0; }},
        {"version size 1", false, [](Library& l) { l.Version().Size = 1; }},
        {"version size 2", false, [](Library& l) { l.Version().Size = 2; }},
        {"version past the file", false, [](Library& l) { l.Version().Size = DWORD(l.bytes.size()); }},
        {"version size 0x80000000", false, [](Library& l) { l.Version().Size = 0x80000000; }},
        {"version size 0xFFFFFFFF", false, [](Library& l) { l.Version().Size = 0xFFFFFFFF; }},
        {"version outside the image", false, [](Library& l) { l.Version().OffsetToData = kOutside; }},
        {"version signature 0", false, [](Library& l) { l.At<DWORD>(l.bytes.find("\xBD\x04\xEF\xFE")) = 0; }},
        {"function table outside", true, [](Library& l) { l.Exports().AddressOfFunctions = kOutside; }},
        {"name table outside", true, [](Library& l) { l.Exports().AddressOfNames = kOutside; }},
        {"ordinal table outside", true, [](Library& l) { l.Exports().AddressOfNameOrdinals = kOutside; }},
        {"function outside", true, [](Library& l) { l.Table(l.Exports().AddressOfFunctions) = kOutside; }},
        {"name outside", true, [](Library& l) { l.Table(l.Exports().AddressOfNames) = kOutside; }},
        {"empty forward", true, [](Library& l) {
             IMAGE_EXPORT_DIRECTORY& e = l.Exports(); // at the end of the library's own name
             l.Table(e.AddressOfFunctions) = e.Name + DWORD(strlen(&l.bytes.at(l.Offset(e.Name))));
         }},
        {"function count", true, [](Library& l) { l.Exports().NumberOfFunctions = kOutside; }},
        {"name count", true, [](Library& l) { l.Exports().NumberOfNames = kOutside; }},
    };
    // The runtimes found by a library's bare name; the export is PhysX's.
    const wchar_t* const names[] = {L"Xlive.dll", L"OpenAL32.dll", L"PhysXLoader.dll"};
    FileEvidence absent; // whatever the prefix has of them, until the test ends
    for (const wchar_t* name : names) absent.HideIfPresent(SystemDir() + L"\\" + name);
    RegEvidence registry;
    registry.HideKey(HKEY_LOCAL_MACHINE, kPhysX);
    registry.SetDword(HKEY_LOCAL_MACHINE, kPhysX, L"PhysX Version", 1);
    const TestFolder program, onPath, work;
    ASSERT_TRUE(CopyFileW(DetectProbe().c_str(), (program / L"detect-probe.exe").c_str(), TRUE));
    wchar_t path[32767];
    const std::wstring oldPath(path, GetEnvironmentVariableW(L"PATH", path, 32767));
    SetEnvironmentVariableW(L"PATH", (oldPath + L";" + onPath.Path()).c_str()); // for the checks started here
    const std::wstring places[] = {SystemDir(), program.Path(), onPath.Path()};
    const std::string fresh = RunDetectProbe(program / L"detect-probe.exe");

    // Each row puts the library in every place in turn.
    auto check = [&](Damage damage, size_t turn, bool exportTable) {
        Library library;
        if (damage) damage(library);
        EXPECT_TRUE(WriteFileBytes(work / L"library.dll", library.bytes));
        FileEvidence files;
        for (size_t name = exportTable ? 2 : 0; name < 3; ++name)
            files.Copy(work / L"library.dll", places[(name + turn) % 3] + L"\\" + names[name]);
        return RunDetectProbe(program / L"detect-probe.exe");
    };
    const std::string whole = check(nullptr, 0, false); // found in each place
    for (const char* row : {"Live\t236.4MB\tinstalled", "OpenAL\t817.7KB\tinstalled", "System\t56.0MB\tinstalled"})
        EXPECT_NE(whole.find(row), std::string::npos) << row;
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(rows[i].what);
        EXPECT_EQ(check(rows[i].damage, i, rows[i].exportTable), fresh);
    }
    SetEnvironmentVariableW(L"PATH", oldPath.c_str());
}

TEST(HostileEvidenceTest, RegistryValuesCountOnlyAsWhatTheyAre)
{
    RegEvidence absent; // whatever the prefix has, until the test ends
    for (const std::wstring& key : {kPhysX, kDotNet, kJava, kXna}) absent.HideKey(HKEY_LOCAL_MACHINE, key);
    FileEvidence files;
    files.HideIfPresent(SystemDir() + L"\\PhysXLoader.dll");
    files.Copy(FakeDll(L"physxloader"), SystemDir() + L"\\PhysXLoader.dll");
    const TestFolder folder;
    const std::wstring jvm = folder / L"jvm.dll", java = kJava + L"\\1.6", xna = kXna + L"\\Framework\\v4.0";
    const std::wstring dotNet = kDotNet + L"\\v4\\Full", expandable = L"%SystemDrive%" + folder.Path().substr(2);
    ASSERT_TRUE(WriteFileBytes(jvm, "") && WriteFileBytes(folder / L"XnaNative.dll", ""));
    // Four runtimes, each whole; every row then changes one value.
    RegEvidence whole;
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

    struct Row {
        bool (*detect)();
        std::wstring key, name;
        DWORD type;
        std::string data;
        bool installed;
    };
    const Row rows[] = {
        {DetectDotNet40, dotNet, L"Install", REG_SZ, Text(L"0"), false},
        {DetectDotNet40, dotNet, L"Install", REG_BINARY, std::string("\1\0\0\0", 4), false},
        {DetectDotNet40, dotNet, L"Install", REG_DWORD, std::string("\1\0", 2), false},
        {DetectPhysX, kPhysX, L"PhysX Version", REG_SZ, Text(L"1"), false},
        {DetectJava, kJava, L"CurrentVersion", REG_BINARY, Text(L"1.6"), false},
        {DetectJava, kJava, L"CurrentVersion", REG_SZ, Text(L"-4294967295.0"), false},
        {DetectJava, java, L"RuntimeLib", REG_MULTI_SZ, Text(jvm + L'\0'), false},
        {DetectJava, java, L"RuntimeLib", REG_EXPAND_SZ, Text(expandable + L"\\jvm.dll"), true},
        {DetectXna40, xna, L"NativeLibraryPath", REG_EXPAND_SZ, Text(expandable), true},
        // Relative paths, though the current folder holds the files, and
        // paths through the device namespace.
        {DetectJava, java, L"RuntimeLib", REG_SZ, Text(L"jvm.dll"), false},
        {DetectJava, java, L"RuntimeLib", REG_SZ, Text(L"C:jvm.dll"), false},
        {DetectJava, java, L"RuntimeLib", REG_SZ, Text(L"\\\\.\\" + jvm), false},
        {DetectJava, java, L"RuntimeLib", REG_SZ, Text(L"\\\\?\\" + jvm), false},
        {DetectXna40, xna, L"NativeLibraryPath", REG_SZ, Text(L""), false},
        {DetectXna40, xna, L"NativeLibraryPath", REG_SZ, Text(L"."), false},
        // Devices are no files.
        {DetectJava, java, L"RuntimeLib", REG_SZ, Text(L"NUL"), false},
        {DetectJava, java, L"RuntimeLib", REG_SZ, Text(folder / L"CON"), false},
        {DetectJava, java, L"RuntimeLib", REG_SZ, Text(folder / L"COM1"), false},
        {DetectJava, java, L"RuntimeLib", REG_SZ, Text(folder / L"aux.dll"), false},
        {DetectJava, java, L"RuntimeLib", REG_SZ, Text(L"C:\\CONIN$"), false},
    };
    wchar_t current[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, current);
    SetCurrentDirectoryW(folder.Path().c_str());
    for (const Row& row : rows) {
        RegEvidence change;
        change.SetValue(HKEY_LOCAL_MACHINE, row.key, row.name, row.type, row.data.data(), DWORD(row.data.size()));
        EXPECT_EQ(row.detect(), row.installed) << "row " << &row - rows;
    }
    SetCurrentDirectoryW(current);
}

TEST(HostileEvidenceTest, LongKeyClassHidesNoProduct)
{
    RegEvidence absent; // whatever the prefix has, until the test ends
    absent.HideKey(HKEY_CLASSES_ROOT, L"Installer\\Products");
    RegEvidence registry;
    registry.CreateKey(HKEY_CLASSES_ROOT, L"Installer\\Products", std::wstring(300, L'c'));
    registry.SetString(HKEY_CLASSES_ROOT, L"Installer\\Products\\00VLTEST0000000000000000000000SL", L"ProductName",
                       L"Microsoft Silverlight");
    EXPECT_TRUE(DetectSilverlight());
}
