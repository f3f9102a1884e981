#include "detect/DetectHelpers.h"

#include "Evidence.h"
#include "base/FileVersionInfo.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

using namespace Velora;
using namespace Velora::Test;

namespace {

// What the system's own readers make of a library: the fixed part its
// version reader finds, and whether its loader maps it (running nothing) and
// finds the export, when one is named.
struct SystemReading {
    bool versioned = false;
    VS_FIXEDFILEINFO fixed = {};
    bool loads = false;
};

SystemReading ReadAsTheSystem(const std::wstring& path, const char* exportName = "NxCreatePhysicsSDK")
{
    SystemReading read;
    DWORD ignored = 0;
    std::string block(GetFileVersionInfoSizeW(path.c_str(), &ignored), '\0');
    void* fixed = nullptr;
    UINT length = 0;
    read.versioned = !block.empty() && GetFileVersionInfoW(path.c_str(), 0, DWORD(block.size()), &block[0]) &&
                     VerQueryValueW(block.data(), L"\\", &fixed, &length) && length >= sizeof(read.fixed);
    if (read.versioned) std::memcpy(&read.fixed, fixed, sizeof(read.fixed));
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    read.loads = module && (!exportName || GetProcAddress(module, exportName));
    if (module) FreeLibrary(module);
    return read;
}

// Reads the library through the check's readers and through the system's,
// expects the same fixed version and loading from both, and answers the
// system's reading.
SystemReading ExpectReadAsTheSystem(const std::wstring& path, const char* exportName = "NxCreatePhysicsSDK")
{
    const SystemReading system = ReadAsTheSystem(path, exportName);
    VS_FIXEDFILEINFO fixed = {};
    EXPECT_EQ(VLFileVersionInfo(path).GetFixedInfo(fixed), system.versioned);
    EXPECT_EQ(std::memcmp(&fixed, &system.fixed, sizeof(fixed)), 0);
    EXPECT_EQ(IsLibraryLoadable(path.c_str(), exportName), system.loads);
    return system;
}

// The library's version block under a resource tree of its own, with the
// types, the names under each type and the languages under each name in the
// order given; each language leads to a copy of the block whose file version
// ends in the revision given. A language whose high bit is set is named by
// text, and must come before those named by number.
void WriteResourceTree(Library& library, const std::vector<WORD>& types, const std::vector<WORD>& names,
                       const std::vector<std::pair<DWORD, WORD>>& languages)
{
    const IMAGE_RESOURCE_DATA_ENTRY version = library.Version();
    const std::string block = library.bytes.substr(library.Offset(version.OffsetToData), version.Size);
    const DWORD count = DWORD(languages.size()), nameTable = 16 + 8 * DWORD(types.size()),
                languageTable = nameTable + 16 + 8 * DWORD(names.size()), data = languageTable + 16 + 8 * count,
                blocks = data + 16 * count, address = library.NextAddress(), stride = (version.Size + 3) & ~3u;
    const DWORD named = DWORD(std::count_if(languages.begin(), languages.end(), [](auto l) { return l.first >> 31; }));
    std::vector<DWORD> tree = {0, 0, 0, DWORD(types.size()) << 16};
    for (WORD type : types) tree.insert(tree.end(), {type, IMAGE_RESOURCE_DATA_IS_DIRECTORY | nameTable});
    tree.insert(tree.end(), {0, 0, 0, DWORD(names.size()) << 16});
    for (WORD name : names) tree.insert(tree.end(), {name, IMAGE_RESOURCE_DATA_IS_DIRECTORY | languageTable});
    tree.insert(tree.end(), {0, 0, 0, (count - named) << 16 | named});
    for (DWORD i = 0; i < count; ++i) tree.insert(tree.end(), {languages[i].first, data + 16 * i});
    for (DWORD i = 0; i < count; ++i) tree.insert(tree.end(), {address + blocks + stride * i, version.Size, 0, 0});
    std::string bytes(reinterpret_cast<const char*>(tree.data()), tree.size() * sizeof(DWORD));
    for (const auto& language : languages) {
        std::string copy = block + std::string(stride - block.size(), '\0');
        const size_t fixed = copy.find("\xBD\x04\xEF\xFE") + offsetof(VS_FIXEDFILEINFO, dwFileVersionLS);
        bytes += copy.replace(fixed, sizeof(WORD), reinterpret_cast<const char*>(&language.second), sizeof(WORD));
    }
    library.AddSection(bytes);
    library.Nt().OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_RESOURCE] = {address, blocks};
}

} // namespace

TEST(DetectHelpersTest, ParseVersion)
{
    struct Case {
        const wchar_t* text;
        bool ok;
        int32_t parts[4];
    };
    // Parts start at 77 so that untouched ones show.
    const Case cases[] = {
        {L"1.6.0_20", true, {1, 6, 0, 77}},
        {L"", false, {77, 77, 77, 77}},
        // A negative piece, or one too big for a part, would wrap: unreadable, and no part changes.
        {L"-3", false, {77, 77, 77, 77}},
        {L"1.-2", false, {77, 77, 77, 77}},
        {L"2147483648", false, {77, 77, 77, 77}},
        {L"18446744073709551617", false, {77, 77, 77, 77}},
        {L"2147483647.1.2.3.-5", true, {2147483647, 1, 2, 3}},
        {L"4.0.20823.0", true, {4, 0, 20823, 0}},
        {L"1.2.3.4.5", true, {1, 2, 3, 4}},
        {L"1..3", true, {1, 0, 3, 77}},
        {L"1.2.", true, {1, 2, 77, 77}},
        {L"x.7", true, {0, 7, 77, 77}},
        {L"4294967297", false, {77, 77, 77, 77}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::string(c.text, c.text + wcslen(c.text)));
        int32_t a = 77, b = 77, d = 77, e = 77;
        EXPECT_EQ(ParseVersion(c.text, a, b, d, e), c.ok);
        EXPECT_EQ(a, c.parts[0]);
        EXPECT_EQ(b, c.parts[1]);
        EXPECT_EQ(d, c.parts[2]);
        EXPECT_EQ(e, c.parts[3]);
    }
}

TEST(DetectHelpersTest, FileVersionReadsTheFileVersionNotTheProductVersion)
{
    // mfc100-325: file 10.0.40219.325, product 10.0.40219.1; mfc100-1 the other way round.
    EXPECT_TRUE(FileVersionEquals(FakeDll(L"mfc100-325"), L"10.0.40219.325"));
    EXPECT_FALSE(FileVersionEquals(FakeDll(L"mfc100-1"), L"10.0.40219.325"));
    EXPECT_FALSE(FileVersionEquals(FakeDll(L"mfc100-473"), L"10.0.40219.325"));
    EXPECT_FALSE(FileVersionEquals(FakeDll(L"plain"), L"1.0.0.0"));
    EXPECT_FALSE(FileVersionEquals(FakeDll(L"absent"), L"1.0.0.0"));

    EXPECT_TRUE(FileVersionAtLeast(FakeDll(L"mfc100-325"), L"10.0.40219.325"));
    EXPECT_TRUE(FileVersionAtLeast(FakeDll(L"mfc100-473"), L"10.0.40219.325"));
    EXPECT_FALSE(FileVersionAtLeast(FakeDll(L"mfc100-1"), L"10.0.40219.325"));
    EXPECT_TRUE(FileVersionAtLeast(FakeDll(L"mfc110-400"), L"11.0.51106.1"));
    EXPECT_FALSE(FileVersionAtLeast(FakeDll(L"mfc100-473"), L"11.0.51106.1"));
    EXPECT_FALSE(FileVersionAtLeast(FakeDll(L"plain"), L"0.0.0.0"));

    int32_t major = 0, minor = 0, build = 0, revision = 0;
    ASSERT_TRUE(GetFileProductVersion(FakeDll(L"mfc100-325"), major, minor, build, revision));
    EXPECT_EQ(major, 10);
    EXPECT_EQ(minor, 0);
    EXPECT_EQ(build, 40219);
    EXPECT_EQ(revision, 1);
    major = 5;
    EXPECT_FALSE(GetFileProductVersion(FakeDll(L"plain"), major, minor, build, revision));
    EXPECT_EQ(major, 5);
}

TEST(DetectHelpersTest, ValidLayoutsReadAsTheSystemReadsThem)
{
    // Sections aligned below a page; a type named by text whose entry's low word is 16, and one item smaller.
    for (const std::wstring arch : {L"i686", L"x86_64"}) {
        for (const wchar_t* layout : {L"layout-low-", L"layout-named-", L"layout-named-control-"}) {
            const std::wstring path = FakeDll(layout + arch);
            SCOPED_TRACE(testing::PrintToString(std::string(path.begin(), path.end())));
            const SystemReading system = ExpectReadAsTheSystem(path);
            EXPECT_TRUE(system.versioned);
            EXPECT_EQ(system.loads, arch == L"i686");
        }
    }
}

TEST(DetectHelpersTest, ResourceOrdersReadAsTheSystemReadsThem)
{
    // A VC 2010 library (10.0.40219.325) under trees in and out of order. The
    // system's search by number bisects: an entry out of order may be found
    // or missed, and the languages are tried in its order of preference.
    struct Row {
        std::vector<WORD> types, names;
        std::vector<std::pair<DWORD, WORD>> languages; // language, revision its block carries
        WORD reads;                                    // the revision the system reads, 0 for none
    };
    const Row rows[] = {
        {{2, 3, 16, 24}, {1}, {{0, 325}}, 325},
        {{2, 16, 3, 24}, {1}, {{0, 325}}, 325},
        {{1, 16, 24, 2, 3, 4}, {1}, {{0, 325}}, 325},
        {{3, 24, 16, 2}, {1}, {{0, 325}}, 0},
        {{16}, {5, 1, 0, 7}, {{0, 325}}, 325},
        {{16}, {1}, {{0x409, 324}, {0, 325}}, 324},
        {{16}, {1}, {{0, 325}, {0x409, 324}}, 325},
        // This thread's language (German, below) before English, when the search finds it.
        {{16}, {1}, {{0x407, 325}, {0x409, 324}}, 325},
        {{16}, {1}, {{0x409, 324}, {0x407, 325}}, 324},
        {{16}, {1}, {{0x80000000, 324}, {0x40C, 325}}, 324}, // none preferred: the first, named by text or not
    };
    const TestFolder folder;
    const LCID locale = GetThreadLocale();
    SetThreadLocale(MAKELCID(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), SORT_DEFAULT));
    for (const Row& row : rows) {
        Library library(L"mfc100-325");
        WriteResourceTree(library, row.types, row.names, row.languages);
        ASSERT_TRUE(WriteFileBytes(folder / L"ordered.dll", library.bytes));
        SCOPED_TRACE(testing::PrintToString(row.types) + testing::PrintToString(row.names) +
                     testing::PrintToString(row.languages));
        const SystemReading system = ExpectReadAsTheSystem(folder / L"ordered.dll", nullptr);
        EXPECT_EQ(system.versioned ? LOWORD(system.fixed.dwFileVersionLS) : 0, row.reads);
    }
    SetThreadLocale(locale);
}

TEST(DetectHelpersTest, SystemFolderLibrariesReadAsTheSystemReadsThem)
{
    // The 32-bit system folder, and on 64-bit Windows the 64-bit one as well.
    std::vector<std::wstring> folders = {SystemDir()};
    if (OnWow64()) folders.push_back(WindowsDir() + L"\\sysnative");
    unsigned versioned = 0;
    for (const std::wstring& folder : folders) {
        WIN32_FIND_DATAW found;
        const HANDLE search = FindFirstFileW((folder + L"\\*.dll").c_str(), &found);
        ASSERT_NE(search, INVALID_HANDLE_VALUE);
        do {
            const std::wstring path = folder + L"\\" + found.cFileName;
            DWORD kind = 0;
            if (GetBinaryTypeW(path.c_str(), &kind) && kind == SCS_WOW_BINARY) continue; // 16-bit: no runtime of ours
            SCOPED_TRACE(testing::PrintToString(std::string(path.begin(), path.end())));
            versioned += ExpectReadAsTheSystem(path, nullptr).versioned;
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    EXPECT_GT(versioned, 100u); // versions compared, not only their absence
}

TEST(DetectHelpersTest, LowAlignedLayoutsTheLoaderRefusesStayRefused)
{
    const std::string low = ReadFileBytes(FakeDll(L"layout-low-i686"));
    auto changed = [&](void (*change)(std::string&, IMAGE_NT_HEADERS32&)) {
        std::string bytes = low;
        change(bytes, *reinterpret_cast<IMAGE_NT_HEADERS32*>(&bytes.at(*reinterpret_cast<const DWORD*>(&low[0x3C]))));
        return bytes;
    };
    const std::string refused[] = {
        // A file alignment other than the sections'.
        changed([](std::string&, IMAGE_NT_HEADERS32& nt) { nt.OptionalHeader.FileAlignment = 0x40; }),
        // The last section's data moved to the file's end, its address kept.
        changed([](std::string& bytes, IMAGE_NT_HEADERS32& nt) {
            IMAGE_SECTION_HEADER& last = IMAGE_FIRST_SECTION(&nt)[nt.FileHeader.NumberOfSections - 1];
            const std::string data = bytes.substr(last.PointerToRawData, last.SizeOfRawData);
            last.PointerToRawData = DWORD(bytes.size());
            bytes += data;
        }),
    };
    const TestFolder folder;
    for (const std::string& bytes : refused) {
        ASSERT_TRUE(WriteFileBytes(folder / L"refused.dll", bytes));
        EXPECT_FALSE(ReadAsTheSystem(folder / L"refused.dll").loads);
        int32_t major = 0, minor = 0, build = 0, revision = 0;
        EXPECT_FALSE(GetFileProductVersion(folder / L"refused.dll", major, minor, build, revision));
        EXPECT_FALSE(IsLibraryLoadable((folder / L"refused.dll").c_str(), nullptr));
    }
}

TEST(DetectHelpersTest, IsLibraryLoadable)
{
    EXPECT_TRUE(IsLibraryLoadable(FakeDll(L"physxloader").c_str(), "NxCreatePhysicsSDK"));
    EXPECT_TRUE(IsLibraryLoadable(FakeDll(L"physxloader-noexport").c_str(), nullptr));
    EXPECT_FALSE(IsLibraryLoadable(FakeDll(L"physxloader-noexport").c_str(), "NxCreatePhysicsSDK"));
    EXPECT_FALSE(IsLibraryLoadable(FakeDll(L"absent").c_str(), nullptr));
    EXPECT_FALSE(IsLibraryLoadable(nullptr, nullptr));
    // The probe let go of the library again.
    EXPECT_EQ(GetModuleHandleW(FakeDll(L"physxloader-noexport").c_str()), nullptr);
}

TEST(DetectHelpersTest, IsLibraryLoadableRestoresTheErrorMode)
{
    const UINT before = SetErrorMode(SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    IsLibraryLoadable(FakeDll(L"openal32").c_str(), nullptr);
    IsLibraryLoadable(FakeDll(L"absent").c_str(), nullptr);
    EXPECT_EQ(SetErrorMode(before), UINT(SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX));
}

TEST(DetectHelpersTest, PlantedLibraryCodeNeverRuns)
{
    // A library planted under a runtime's name, in a folder of this test's
    // own: the suites of both prefix kinds run from one build folder at once.
    const TestFolder program;
    FileEvidence files;
    const std::wstring planted = program / L"OpenAL32.dll";
    files.Copy(FakeDll(L"marker"), planted);

    // The fake does leave its marker when its code runs.
    const std::wstring control = program / L"marker-control.dll";
    files.Copy(FakeDll(L"marker"), control);
    HMODULE loaded = LoadLibraryW(control.c_str());
    ASSERT_NE(loaded, nullptr);
    FreeLibrary(loaded);
    EXPECT_TRUE(DeleteFileW((control + L".ran").c_str()));

    EXPECT_TRUE(IsLibraryLoadable(planted.c_str(), nullptr));
    EXPECT_EQ(GetFileAttributesW((planted + L".ran").c_str()), INVALID_FILE_ATTRIBUTES);

    // The PhysX export handed on to the marker, both beside the whole check's
    // program (found before the system folder's): the forward is not followed.
    RegEvidence registry;
    registry.SetDword(HKEY_LOCAL_MACHINE, L"SOFTWARE\\AGEIA Technologies", L"PhysX Version", 1);
    files.Copy(FakeDll(L"physxloader-forward"), program / L"PhysXLoader.dll");
    files.Copy(FakeDll(L"marker"), program / L"VLMarker.dll");
    EXPECT_NE(RunDetectProbe(program.Path()).find("System\t56.0MB\tmissing"), std::string::npos);
    EXPECT_FALSE(Exists(program / L"VLMarker.dll.ran"));
    // A forward to the library itself is the export; nothing is loaded for it.
    files.Copy(FakeDll(L"physxloader-self-forward"), program / L"self\\PhysXLoader.dll");
    EXPECT_TRUE(IsLibraryLoadable((program / L"self\\PhysXLoader.dll").c_str(), "NxCreatePhysicsSDK"));
}

TEST(DetectHelpersTest, RedirectionGuardShowsTheNativeSystemFolder)
{
    // The PE machine of system32\msxml6.dll tells which folder is seen.
    auto machine = [] {
        HANDLE file = CreateFileW((WindowsDir() + L"\\system32\\msxml6.dll").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return WORD(0);
        IMAGE_DOS_HEADER dos;
        IMAGE_NT_HEADERS32 nt;
        DWORD read = 0;
        ReadFile(file, &dos, sizeof(dos), &read, nullptr);
        SetFilePointer(file, dos.e_lfanew, nullptr, FILE_BEGIN);
        ReadFile(file, &nt, sizeof(nt), &read, nullptr);
        CloseHandle(file);
        return nt.FileHeader.Machine;
    };
    {
        Wow64FsRedirectionGuard guard;
        EXPECT_EQ(guard.wow64, OnWow64());
        EXPECT_EQ(guard.disabled, OnWow64());
        EXPECT_EQ(machine(), OnWow64() ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386);
    }
    EXPECT_EQ(machine(), IMAGE_FILE_MACHINE_I386);
    EXPECT_EQ(IsWow64(), OnWow64());
}
