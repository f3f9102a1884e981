#include "install/DependSoftSetupInstaller.h"

#include "base/FileUtil.h"
#include "install/IniFile.h"
#include "install/TempFile.h"

#include "InstallTestUtil.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <utility>
#include <vector>

namespace Velora {
namespace {

using namespace Test;

// Polls as the repair thread does; false when the installer never ends.
bool WaitUntilDone(VLDependSoftInstallerBase& installer)
{
    for (int i = 0; i < 300; ++i) {
        if (installer.Wait(100)) return true;
    }
    return false;
}

TEST(SetupInstaller, ResultOneOfTheReportIsSuccess)
{
    const struct {
        const wchar_t* result; // null: the program writes no report
        bool succeeded;
    } cases[] = {
        {L"1", true}, {L"1ab", true}, {L"0", false}, {L"10", false},
        {L"yes", false}, {L"1000", false}, {nullptr, false},
    };
    SavedVariable saved(L"VLTEST_SETUP_RESULT");
    TestFolder folder;
    for (const auto& each : cases) {
        SetEnvironmentVariableW(L"VLTEST_SETUP_RESULT", each.result);
        VLDependSoftSetupInstaller installer;
        ASSERT_TRUE(installer.Install(40018, HelperProgram(L"vltest_setup.exe").c_str(), folder.Path().c_str()));
        ASSERT_TRUE(WaitUntilDone(installer));
        EXPECT_EQ(installer.IsSucceeded(), each.succeeded) << (each.result ? each.result : L"(none)");
        EXPECT_EQ(installer.GetProgress(), 0);
    }
}

TEST(SetupInstaller, ExchangeFileLivesAsLongAsTheInstaller)
{
    SavedVariable saved(L"VLTEST_SETUP_RESULT");
    SetEnvironmentVariableW(L"VLTEST_SETUP_RESULT", L"1");
    TestFolder folder;
    std::wstring exchange;
    {
        VLDependSoftSetupInstaller installer;
        ASSERT_TRUE(installer.Install(40018, HelperProgram(L"vltest_setup.exe").c_str(), folder.Path().c_str()));
        ASSERT_TRUE(WaitUntilDone(installer));
        exchange = installer.GetExchangeFile();
        std::wstring temp;
        ASSERT_TRUE(GetTempDir(temp));
        EXPECT_EQ(GetFullPathFolder(exchange), temp);
        EXPECT_EQ(GetFileName(exchange).substr(0, 3), L"VL~");
        EXPECT_EQ(GetFileExtension(exchange), L".tmp");
        // The program found the folder when it started, and got the path as
        // its whole parameter text.
        EXPECT_EQ(ReadIni(exchange, L"seen", L"dir"), folder.Path());
        EXPECT_EQ(ReadIni(exchange, L"seen", L"parameters"), exchange);
        EXPECT_TRUE(installer.IsSucceeded());
        EXPECT_TRUE(installer.IsSucceeded());
    }
    EXPECT_FALSE(FileExists(exchange));
}

TEST(SetupInstaller, ExchangePathWithBlanksArrivesUnquoted)
{
    SavedVariable savedResult(L"VLTEST_SETUP_RESULT"), savedTmp(L"TMP"), savedTemp(L"TEMP");
    SetEnvironmentVariableW(L"VLTEST_SETUP_RESULT", L"1");
    TestFolder folder;
    const std::wstring spaced = folder / L"with blanks";
    ASSERT_TRUE(CreateDirectories(spaced));
    SetEnvironmentVariableW(L"TMP", spaced.c_str());
    SetEnvironmentVariableW(L"TEMP", spaced.c_str());
    VLDependSoftSetupInstaller installer;
    ASSERT_TRUE(installer.Install(40018, HelperProgram(L"vltest_setup.exe").c_str(), folder.Path().c_str()));
    ASSERT_TRUE(WaitUntilDone(installer));
    EXPECT_EQ(GetFullPathFolder(installer.GetExchangeFile()), spaced + L"\\");
    EXPECT_EQ(ReadIni(installer.GetExchangeFile(), L"seen", L"parameters"), installer.GetExchangeFile());
    EXPECT_TRUE(installer.IsSucceeded());
}

TEST(SetupInstaller, NothingToRunEndsTheWaitAtOnce)
{
    TestFolder folder;
    VLDependSoftSetupInstaller installer;
    EXPECT_FALSE(installer.Install(40018, (folder / L"missing.exe").c_str(), folder.Path().c_str()));
    EXPECT_TRUE(installer.Wait(0));
    EXPECT_FALSE(installer.IsSucceeded());

}

// A setup program may write its answer into a new file that takes the
// exchange file's place, or delete the exchange file and make it anew: the
// answer is read all the same, and what it left is deleted with the
// installer.
TEST(SetupInstaller, AnAnswerFileTheProgramReplacedIsRead)
{
    SavedVariable savedResult(L"VLTEST_SETUP_RESULT"), savedWrite(L"VLTEST_SETUP_WRITE");
    TestFolder folder;
    for (const wchar_t* write : {L"replace", L"recreate"}) {
        for (const bool succeeded : {true, false}) {
            SetEnvironmentVariableW(L"VLTEST_SETUP_RESULT", succeeded ? L"1" : L"0");
            SetEnvironmentVariableW(L"VLTEST_SETUP_WRITE", write);
            std::wstring exchange;
            {
                VLDependSoftSetupInstaller installer;
                ASSERT_TRUE(
                    installer.Install(40018, HelperProgram(L"vltest_setup.exe").c_str(), folder.Path().c_str()));
                ASSERT_TRUE(WaitUntilDone(installer));
                exchange = installer.GetExchangeFile();
                EXPECT_EQ(ReadIni(exchange, L"seen", L"dir"), folder.Path()) << write;
                EXPECT_EQ(installer.IsSucceeded(), succeeded) << write;
            }
            EXPECT_FALSE(Exists(exchange)) << write;
        }
    }
}

// Another program puts a symbolic or hard link to a read-only file of its own
// at the exchange file's name once the setup program reported 0 (moving the
// exchange file away, as the setup program itself may): that file is neither
// read, changed nor deleted.
TEST(SetupInstaller, AnExchangeFileSwappedForALinkIsNeitherReadNorChanged)
{
    const struct {
        const wchar_t* name;
        bool (*make)(const std::wstring& link, const std::wstring& target);
    } links[] = {
        {L"symbolic", MakeHostLink},
        {L"hard", [](const std::wstring& link, const std::wstring& target) {
             return CreateHardLinkW(link.c_str(), target.c_str(), nullptr) != FALSE;
         }},
    };
    SavedVariable savedResult(L"VLTEST_SETUP_RESULT"), savedTmp(L"TMP"), savedTemp(L"TEMP");
    SetEnvironmentVariableW(L"VLTEST_SETUP_RESULT", L"0");
    TestFolder folder;
    // The exchange file and the links put there go with the test's folder.
    const std::wstring temp = folder / L"temp";
    ASSERT_TRUE(CreateDirectories(temp));
    SetEnvironmentVariableW(L"TMP", temp.c_str());
    SetEnvironmentVariableW(L"TEMP", temp.c_str());
    const std::string report = "[report]\r\nresult=1\r\n";
    for (const auto& link : links) {
        const std::wstring outside = folder / (std::wstring(link.name) + L".ini");
        ASSERT_TRUE(WriteFileBytes(outside, report) && SetFileAttributesW(outside.c_str(), FILE_ATTRIBUTE_READONLY));
        const DWORD attributes = GetFileAttributesW(outside.c_str());
        auto installer = std::make_unique<VLDependSoftSetupInstaller>();
        ASSERT_TRUE(installer->Install(40018, HelperProgram(L"vltest_setup.exe").c_str(), folder.Path().c_str()));
        ASSERT_TRUE(WaitUntilDone(*installer));
        const std::wstring exchange = installer->GetExchangeFile();
        ASSERT_TRUE(MoveFileW(exchange.c_str(), (folder / L"moved.ini").c_str())) << link.name;
        ASSERT_TRUE(DeleteFileW((folder / L"moved.ini").c_str()) && link.make(exchange, outside)) << link.name;
        EXPECT_FALSE(installer->IsSucceeded()) << link.name;
        installer.reset();
        EXPECT_EQ(ReadFileBytes(outside), report) << link.name;
        EXPECT_EQ(GetFileAttributesW(outside.c_str()), attributes) << link.name;
        EXPECT_TRUE(Exists(exchange)) << link.name;
    }
}

// The exchange file is written and read as bytes: what the system's profile
// functions read from the same bytes is what is found.
TEST(IniFile, ValuesAreFoundAsTheProfileFunctionsFindThem)
{
    const std::string rows[] = {
        FormatIniEntry(L"report", L"result", L"C:\\a b\\c"),
        "[report]\r\nresult=1\r\n", "[REPORT]\nResult = 1ab \n", "  [report]\r\n\tresult\t=\t\"1\"\r\n",
        "[report]\r\nresult='0'\r\n[report]\r\nresult=1\r\n", "[other]\r\nresult=1\r\n[report]\r\nx=1\r\n",
        "[report]\r\n;result=1\r\nresult\r\n", "[ report ]\r\nresult=1\r\n", "result=1\r\n[report]\r\n",
        "\xEF\xBB\xBF[report]\r\nresult=1\r\n", Utf16File(L"[report]\r\nresult=\x6E38\x620F\r\n"),
    };
    TestFolder folder;
    for (const std::string& bytes : rows) {
        // A file of its own each: the profile functions keep what they read.
        const std::wstring file = folder / (std::to_wstring(&bytes - rows) + L".ini");
        ASSERT_TRUE(WriteFileBytes(file, bytes));
        std::wstring value;
        EXPECT_EQ(FindIniValue(bytes, L"report", L"result", value) ? value : L"", ReadIni(file, L"report", L"result"))
            << bytes;
    }
}

// What the system's profile reader makes of a file, as its writer puts it
// back: every section and key in order, repeated ones included, without the
// blanks around names and values. A section added and deleted again has the
// writer write what it read.
std::string SystemReading(const std::wstring& file)
{
    EXPECT_TRUE(WritePrivateProfileStringW(L"vltest reading", L"k", L"v", file.c_str()));
    EXPECT_TRUE(WritePrivateProfileStringW(L"vltest reading", nullptr, nullptr, file.c_str()));
    return ReadFileBytes(file);
}

// Each edit by the system's profile writer on a copy and by ours on the bytes
// reads back the same through the system's reader. Wine's writer writes every
// line anew (blanks around names and '=' and blank lines dropped, each line
// ended "\r\n"): a row without kept bytes is the system's bytes exactly, one
// with them gives the bytes we keep where the system's differ.
TEST(IniFile, EditsAreTheSystemsEdits)
{
    static const char kSameReading[] = "";
    const std::string file = "[Main]\r\nKey=old\r\nX=1\r\n[Second]\r\nA=1\r\n";
    const std::string repeated = "[A]\r\nx=1\r\n[B]\r\nk=1\r\n[A]\r\nk=2\r\n";
    std::string bigEndian = Utf16File(L"[Main]\r\nKey=old\r\n");
    for (size_t i = 0; i + 1 < bigEndian.size(); i += 2) std::swap(bigEndian[i], bigEndian[i + 1]);
    struct Row {
        std::string bytes;
        const wchar_t* section;
        const wchar_t* key;   // null: the section goes
        const wchar_t* value; // null: the key goes
        const char* kept = nullptr;
    };
    std::vector<Row> rows = {
        {file, L"main", L"KEY", L"new"},
        {file, L"Main", L"New", L"v"},
        {file, L"Third", L"K", L"v"},
        {file, L"Main", L"x", nullptr},
        {file, L"second", nullptr, nullptr},
        {"", L"S", L"K", L"V"},
        {"[Main]\r\nKey=old", L"Main", L"Y", L"new"},
        {"[Main]\r\nKey\r\n", L"Main", L"key", L"v"},
        {"[Main]\r\nKey=1\r\n[MAIN]\r\nKey=2\r\n", L"Main", L"Key", L"new"},
        {"\xEF\xBB\xBF[Main]\r\nKey=old\r\n", L"Main", L"K", L"\x4E2D\x6587"},
        {Utf16File(L"[Main]\r\nKey=old\r\n"), L"main", L"key", L"\x4E2D\x6587"},
        {bigEndian, L"main", L"key", L"\x4E2D\x6587"},
        // GBK text in the system code page.
        {"[\xD6\xD0]\r\nKey=\xCE\xC4\r\n", L"\x4E2D", L"key", L"\x6587\x6587"},
        {"  [ Main ]  \r\n  Key  =  old  \r\nOther = 1 \r\n", L"Main", L"key", L"new",
         "  [ Main ]  \r\nKey=new\r\nOther = 1 \r\n"},
        {"[Main]\r\n;Key=0\r\n Key = 1\r\n", L" main ", L" key", L"  v", "[Main]\r\n;Key=0\r\nKey=v\r\n"},
        {"[Main]\nKey=old\nX=1\n", L"Main", L"Key", L"new", "[Main]\nKey=new\nX=1\n"},
        {"[A]\rk=1\r[B]\rb=1\r", L"A", L"k", L"2", "[A]\rk=2\r[B]\rb=1\r"},
        {"[A]\r\nk=1\r\n[B]\rb=1\r\nc=1\r\n", L"B", L"b", L"2", "[A]\r\nk=1\r\n[B]\rb=2\r\nc=1\r\n"},
        {"; c\r\n[Main]\r\nKey=old\r\n\r\n[B]\r\nA = 1\r\n", L"Main", L"N", L"1",
         "; c\r\n[Main]\r\nKey=old\r\nN=1\r\n\r\n[B]\r\nA = 1\r\n"},
        // A write and a section's delete take the first section of a name, a
        // key's delete the first key of the name in any of them.
        {repeated, L"A", L"k", L"5"},
        {repeated, L"A", L"k", nullptr},
        {repeated, L"a", nullptr, nullptr},
        {"[A]\r\nk=1\r\nk=2\r\n", L"A", L"k", nullptr},
        // The lines before the first heading are the section "".
        {"top=1\r\n[A]\r\nx=1\r\n", L"", L"top", L"2"},
        {"top=1\r\n[A]\r\nx=1\r\n", L"", nullptr, nullptr, kSameReading},
        {"[A]\r\nx=1\r\n", L"", L"k", L"v"},
        {"top=1\r\n[A]\r\n[]\r\ny=1\r\n", L"", L"y", nullptr, kSameReading},
    };
    // Seeded random texts of those pieces, and edits of them.
    std::mt19937 random(70);
    const char* pieces[] = {"[A]", "[a]", "[ B ]", "[]", "k", "K ", "x", "=", "1", " ", ";", "\r", "\n", "\r\n"};
    const wchar_t* names[] = {L"A", L"b", L"", L"k", L"X", nullptr};
    const auto pick = [&](size_t count) { return std::uniform_int_distribution<size_t>(0, count - 1)(random); };
    for (int i = 0; i < 300; ++i) {
        std::string bytes;
        for (size_t n = pick(24); n > 0; --n) bytes += pieces[pick(std::size(pieces))];
        rows.push_back({bytes, names[pick(3)], names[3 + pick(3)], pick(3) ? L"v" : nullptr, kSameReading});
    }
    TestFolder folder;
    for (const Row& row : rows) {
        // Files of their own: the profile functions keep what they read.
        const std::wstring system = folder / (std::to_wstring(&row - rows.data()) + L".ini");
        const std::wstring ours = folder / (std::to_wstring(&row - rows.data()) + L"-ours.ini");
        const std::string edited = EditIniBytes(row.bytes, row.section, row.key, row.value);
        ASSERT_TRUE(WriteFileBytes(system, row.bytes) && WriteFileBytes(ours, edited));
        EXPECT_TRUE(WritePrivateProfileStringW(row.section, row.key, row.value, system.c_str()));
        if (row.kept != kSameReading) {
            EXPECT_EQ(edited, row.kept ? row.kept : ReadFileBytes(system)) << row.bytes;
        }
        EXPECT_EQ(SystemReading(ours), SystemReading(system)) << row.bytes;
    }
}

TEST(TempFile, FallsBackToTheWindowsFolderAndDeletesWhatItOwns)
{
    SavedVariable savedTmp(L"TMP"), savedTemp(L"TEMP");
    TestFolder folder;
    const std::wstring missing = folder / L"no such folder";
    SetEnvironmentVariableW(L"TMP", missing.c_str());
    SetEnvironmentVariableW(L"TEMP", missing.c_str());
    std::wstring windows;
    ASSERT_TRUE(GetWindowsDir(windows));
    std::wstring first, second;
    {
        VLTempFile file;
        ASSERT_TRUE(file.CreateSetupIni("[a]\r\nb=c\r\n", first));
        EXPECT_EQ(GetFullPathFolder(first), windows + L"\\");
        EXPECT_EQ(ReadFileBytes(first), "[a]\r\nb=c\r\n");
        // A new file replaces the one the holder owned.
        ASSERT_TRUE(file.CreateIn(folder.Path(), L"VL~", "", second));
        EXPECT_FALSE(FileExists(first));
        EXPECT_TRUE(FileExists(second));
    }
    EXPECT_FALSE(FileExists(second));
}

} // namespace
} // namespace Velora
