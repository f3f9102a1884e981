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
