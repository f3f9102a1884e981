#include "app/RuntimeTable.h"

#include "Evidence.h"
#include "app/HarrowWndIds.h"
#include "detect/VcRuntimeDetect.h"
#include "tests/app/TextTable.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

using namespace Velora;

namespace {

struct Row {
    const char* line; // id, name and size text as the driver prints them
    bool installed;   // in a fresh prefix
};

const Row kCommonRows[] = {
    {"40029\tAdobe Flash Player for IE\t4.7MB", false},
    {"40019\tGames For Windows Live\t236.4MB", false},
    {"40023\tNvidia PhysX System\t56.0MB", false},
    {"40020\tJavaSE\t49.6MB", false},
    {"40024\tOpenAL\t817.7KB", false},
    {"40028\tMicrosoft XNA Framework Redist 3.1\t8.0MB", false},
    {"40044\tMicrosoft XNA Framework Redist 4.0\t9.9MB", false},
    {"40018\tDirectX 9.0\t53.6MB", true},
    {"40021\tMicrosoft .Net Framework 3.5 SP1\t224.3MB", false},
    {"40043\tMicrosoft .Net Framework 4.0\t211.7MB", false},
    {"40057\tMicrosoft Silverlight\t26.9MB", false},
    {"40050\tMicrosoft Visual C++ 2005\t2.3MB", false},
    {"40026\tMicrosoft Visual C++ 2008\t5.1MB", false},
    {"40027\tMicrosoft Visual C++ 2010\t9.4MB", false},
    {"40051\tMicrosoft Visual C++ 2012\t11.7MB", false},
    {"40053\tMSXML 3.0\t1.6MB", true},
    {"40054\tMSXML 4.0\t1.3MB", false},
};
const Row kWow64Rows[] = {
    {"40059\tMicrosoft Visual C++ 2005 (x64)\t3.0MB", false},
    {"40060\tMicrosoft Visual C++ 2008 (x64)\t4.9MB", false},
    {"40061\tMicrosoft Visual C++ 2010 (x64)\t9.8MB", false},
    {"40062\tMicrosoft Visual C++ 2012 (x64)\t6.7MB", false},
    {"40058\tMSXML 6.0 (x64)\t1.8MB", true},
};
const Row kNotWow64Row = {"40055\tMSXML 6.0\t916.0KB", true};
const Row kAppLocaleRow = {"40056\tMicrosoft AppLocale Utility\t1.1MB", false};

std::string Line(const Row& row, bool installed)
{
    return std::string(row.line) + (installed ? "\tinstalled\n" : "\tmissing\n");
}

// The driver's expected output for a fresh prefix; ids in flipped read the
// other way.
std::string Expected(bool windowsXp, const std::set<std::string>& flipped = {})
{
    std::vector<Row> rows(std::begin(kCommonRows), std::end(kCommonRows));
    if (windowsXp) rows.insert(rows.begin() + 10, kAppLocaleRow);
    if (OnWow64()) {
        rows.insert(rows.end(), std::begin(kWow64Rows), std::end(kWow64Rows));
    } else {
        rows.push_back(kNotWow64Row);
    }
    std::string out;
    for (const Row& row : rows) {
        const bool flip = flipped.count(std::string(row.line, 5)) != 0;
        out += Line(row, row.installed != flip);
    }
    return out;
}

const std::wstring kProbeDefaults = L"Software\\Wine\\AppDefaults\\detect-probe.exe";

} // namespace

TEST(RuntimeTableTest, RowsByWindowsVersionAndBitness)
{
    struct Case {
        DWORD major;
        bool wow64;
        size_t rows;
        int32_t last;
    };
    const Case cases[] = {{6, false, 18, 40055}, {5, false, 19, 40055}, {10, false, 18, 40055},
                          {6, true, 22, 40058},  {5, true, 23, 40058}};
    for (const Case& c : cases) {
        std::vector<VLSoftwareDetect> table;
        BuildRuntimeTable(table, c.major, c.wow64);
        ASSERT_EQ(table.size(), c.rows);
        EXPECT_EQ(table.back().id, c.last);
        EXPECT_EQ(table[10].id, c.major == 5 ? 40056 : 40057);
        for (const VLSoftwareDetect& row : table) {
            EXPECT_EQ(row.state, 0u);
            EXPECT_NE(row.detect, nullptr);
        }
    }
    std::vector<VLSoftwareDetect> table;
    BuildRuntimeTable(table, 6, false);
    EXPECT_EQ(table[8].imageId, kImageDotNet); // .NET 3.5 and 4.0 share an image
    EXPECT_EQ(table[9].imageId, kImageDotNet);
    EXPECT_EQ(table[15].name, L"MSXML 3.0");
    EXPECT_EQ(table[16].imageId, kImageMsxml34);
}

TEST(RuntimeTableTest, PackageSizes)
{
    EXPECT_EQ(GetPackageSize(40018), 56216582u);
    EXPECT_EQ(GetPackageSize(40055), 938021u);
    EXPECT_EQ(GetPackageSize(12345), 0u);
    Velora::Test::ExpectTexts<uint64_t>(FormatPackageSize, {
        {0, L"0B"},
        {1023, L"1023B"},
        {1024, L"1.0KB"},
        {1048575, L"1024.0KB"},
        {1048576, L"1.0MB"},
        {247932001, L"236.4MB"},
        {56216582, L"53.6MB"},
        {1ull << 30, L"1.0GB"},
        {(1ull << 40) - 1, L"1024.0GB"},
        {1ull << 40, L"1.0TB"},
        {1ull << 51, L"2048.0TB"},
    });
}

TEST(RuntimeTableTest, NullDetectionFunctionMeansMissing)
{
    const VLSoftwareDetect row(7, 40018, kImageDirectX, L"DirectX 9.0", nullptr);
    EXPECT_FALSE(row.IsInstalled());
    EXPECT_EQ(row.state, 7u);
    EXPECT_EQ(row.id, 40018);
    EXPECT_EQ(row.imageId, kImageDirectX);
    const VLSoftwareDetect copy = row;
    EXPECT_EQ(copy.name, L"DirectX 9.0");
}

TEST(RuntimeTableTest, ProbePrintsTheFreshPrefix)
{
    EXPECT_EQ(RunDetectProbe(), Expected(false));
}

TEST(RuntimeTableTest, ProbeOnWindowsXpShowsAppLocale)
{
    RegEvidence registry;
    registry.SetString(HKEY_CURRENT_USER, kProbeDefaults, L"Version", L"winxp");
    EXPECT_EQ(RunDetectProbe(), Expected(true));
    registry.SetString(HKEY_CLASSES_ROOT, L"Installer\\Products\\00VLTEST0000000000000000000000AL",
                       L"ProductName", L"Microsoft AppLocale");
    EXPECT_EQ(RunDetectProbe(), Expected(true, {"40056"}));
}

TEST(RuntimeTableTest, ProbeWithoutMsxml)
{
    // Without the COM libraries the MSXML rows read missing; the x64 one
    // only looks for its file.
    RegEvidence registry;
    registry.SetString(HKEY_CURRENT_USER, kProbeDefaults + L"\\DllOverrides", L"msxml3", L"");
    registry.SetString(HKEY_CURRENT_USER, kProbeDefaults + L"\\DllOverrides", L"msxml6", L"");
    EXPECT_EQ(RunDetectProbe(), Expected(false, {"40053", "40055"}));
}

TEST(RuntimeTableTest, ProbeOnWindows8FindsX64Assemblies)
{
    if (!OnWow64()) GTEST_SKIP() << "only shown on 64-bit Windows";
    // Windows 8 reports 6.2 and spells its x64 assembly folders "none".
    RegEvidence registry;
    registry.SetString(HKEY_CURRENT_USER, kProbeDefaults, L"Version", L"win8");
    FileEvidence files;
    for (const VLSxsAssembly& assembly : kVc2005x64Sxs) {
        for (const wchar_t* file : assembly.files) files.Touch(WindowsDir() + assembly.noneFolder + file);
    }
    EXPECT_EQ(RunDetectProbe(), Expected(false, {"40059"}));
}
