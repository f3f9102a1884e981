#include "detect/DirectXDetect.h"

#include "Evidence.h"
#include "detect/Detectors.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <utility>
#include <vector>

using namespace Velora;
using Velora::Test::TestFolder;

TEST(DirectXDetectTest, PrefixReportsDirectX9)
{
    uint32_t major = 0, minor = 0;
    wchar_t letter = 0;
    ASSERT_EQ(GetDirectXVersionViaDxDiag(major, minor, letter), S_OK);
    EXPECT_EQ(major, 9u);
    EXPECT_EQ(minor, 0u);
    EXPECT_EQ(letter, L'c');
    EXPECT_EQ(GetDirectXVersion(major, minor, letter), S_OK);
    EXPECT_TRUE(DetectDirectX());
    // The prefix's own libraries alone give 9.0 too.
    EXPECT_EQ(GetDirectXVersionViaFiles(major, minor, letter), S_OK);
    EXPECT_EQ(major, 9u);
    EXPECT_EQ(letter, L' ');
}

namespace {

struct FileCase {
    std::vector<std::pair<const wchar_t*, const wchar_t*>> files; // name, fake
    uint32_t major, minor;
    wchar_t letter;
};

// Number of cases whose folder does not give the expected version.
int CountFileTableMismatches(const std::vector<FileCase>& cases)
{
    int mismatches = 0;
    for (size_t i = 0; i < cases.size(); ++i) {
        const FileCase& c = cases[i];
        const TestFolder folder;
        FileEvidence evidence;
        for (const auto& file : c.files) evidence.Copy(FakeDll(file.second), folder / file.first);
        uint32_t major = 99, minor = 99;
        wchar_t letter = L'z';
        GetDirectXVersionFromFolder(folder.Path(), major, minor, letter);
        if (major != c.major || minor != c.minor || letter != c.letter) {
            fprintf(stderr, "case %u: got %u.%u%c\n", unsigned(i), major, minor, char(letter));
            ++mismatches;
        }
    }
    return mismatches;
}

} // namespace

TEST(DirectXDetectTest, FileTableLastApplicableRowWins)
{
    const std::vector<FileCase> cases = {
        {{}, 0, 0, L' '},
        {{{L"ddraw.dll", L"dx-5.3.2600.5512"}}, 8, 0, L' '},
        {{{L"ddraw.dll", L"dx-4.7.0.700"}}, 7, 0, L' '},
        {{{L"ddraw.dll", L"dx-4.7.0.700"}, {L"dinput.dll", L"dx-4.7.0.716"}}, 7, 0, L'a'},
        // A later row overrides an earlier one that reached a higher letter.
        {{{L"ddraw.dll", L"dx-4.8.0.400"}, {L"dinput.dll", L"dx-4.7.0.716"}}, 8, 0, L' '},
        // Major word 5 below its own threshold, though above the one for 4.
        {{{L"ddraw.dll", L"dx-5.1.2258.399"}}, 7, 0, L' '},
        // Major word 6 never applies to a two-threshold row.
        {{{L"ddraw.dll", L"dx-4.7.0.700"}, {L"d3d8.dll", L"dx-6.1.2600.901"}}, 7, 0, L' '},
        {{{L"mpg2splt.ax", L"dx-6.1.2600.901"}}, 0, 0, L' '},
        {{{L"mpg2splt.ax", L"dx-6.3.1.885"}}, 8, 1, L'b'},
        {{{L"ddraw.dll", L"dx-4.7.0.700"}, {L"d3d9.dll", L"plain"}}, 7, 0, L' '},
        {{{L"ddraw.dll", L"dx-4.7.0.700"}, {L"d3d9.dll", L"dx-4.7.0.716"}}, 9, 0, L' '},
    };
    // Wine answers its own DirectX libraries' versions for any path with
    // their names, unless told to prefer the files: the folders are read in a
    // fresh process of this program that is told so.
    RegEvidence registry;
    wchar_t exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    const std::wstring overrides = L"Software\\Wine\\AppDefaults\\" +
                                   std::wstring(wcsrchr(exe, L'\\') + 1) + L"\\DllOverrides";
    for (const wchar_t* library : {L"ddraw", L"d3d8", L"d3d9", L"dinput", L"dplayx", L"dpnet"}) {
        registry.SetString(HKEY_CURRENT_USER, overrides, library, L"native");
    }
    EXPECT_EXIT(exit(CountFileTableMismatches(cases)), testing::ExitedWithCode(0), "");
}

TEST(DirectXDetectTest, LongVersionText)
{
    struct Case {
        const wchar_t* text;
        uint32_t major, minor, wantMajor, wantMinor;
    };
    const Case cases[] = {
        {L"DirectX 11.1", 11, 0, 11, 1},
        {L"DirectX 12.0", 11, 3, 12, 3},
        {L"DirectX 10.1 (4.09.0000.0904)", 11, 0, 11, 1},
        {L"= \"DirectX 9.0c", 11, 0, 11, 0},
        {L"", 10, 0, 10, 0},
    };
    for (const Case& c : cases) {
        uint32_t major = c.major, minor = c.minor;
        ApplyDirectXLongVersion(c.text, major, minor);
        EXPECT_EQ(major, c.wantMajor);
        EXPECT_EQ(minor, c.wantMinor);
    }
    // A text of any length after the numbers is read safely.
    uint32_t major = 11, minor = 0;
    ApplyDirectXLongVersion(L"DirectX 11.2" + std::wstring(100000, L'x'), major, minor);
    EXPECT_EQ(minor, 2u);
}

TEST(DirectXDetectTest, VersionHelpers)
{
    EXPECT_EQ(CompareVersion64(0x0000000500000000ull, 0x00000004FFFFFFFFull), 1);
    EXPECT_EQ(CompareVersion64(0x0004000200000001ull, 0x0004000200000002ull), -1);
    EXPECT_EQ(CompareVersion64(7, 7), 0);
    uint64_t version = 0;
    EXPECT_EQ(GetFileVersion64(FakeDll(L"dx-4.7.0.716"), &version), S_OK);
    EXPECT_EQ(version, 0x00040007000002CCull);
    EXPECT_EQ(GetFileVersion64(FakeDll(L"plain"), &version), E_FAIL);
    EXPECT_EQ(GetFileVersion64(FakeDll(L"plain"), nullptr), E_INVALIDARG);
}
