#include "detect/LibraryRuntimeDetect.h"

#include "Evidence.h"
#include "detect/Detectors.h"

#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

using namespace Velora;
using Velora::Test::TestFolder;

TEST(LibraryRuntimeDetectTest, GfwLiveRowFlips)
{
    FileEvidence absent; // whatever the prefix has, until the test ends
    absent.HideIfPresent(SystemDir() + L"\\Xlive.dll");
    absent.HideIfPresent(SystemDir() + L"\\OpenAL32.dll");
    EXPECT_FALSE(DetectGfwLive());
    {
        FileEvidence files;
        files.Copy(FakeDll(L"xlive-v0"), SystemDir() + L"\\Xlive.dll");
        EXPECT_FALSE(DetectGfwLive()); // product major version 0
    }
    {
        FileEvidence files;
        files.Copy(FakeDll(L"xlive"), SystemDir() + L"\\Xlive.dll");
        EXPECT_TRUE(DetectGfwLive());
        EXPECT_FALSE(DetectOpenAL());
    }
    EXPECT_FALSE(DetectGfwLive());
}

TEST(LibraryRuntimeDetectTest, OpenALRowFlips)
{
    FileEvidence absent; // whatever the prefix has, until the test ends
    absent.HideIfPresent(SystemDir() + L"\\OpenAL32.dll");
    EXPECT_FALSE(DetectOpenAL());
    {
        FileEvidence files;
        files.Copy(FakeDll(L"openal32"), SystemDir() + L"\\OpenAL32.dll");
        EXPECT_TRUE(DetectOpenAL());
    }
    EXPECT_FALSE(DetectOpenAL());
}

TEST(LibraryRuntimeDetectTest, PhysXRowFlips)
{
    FileEvidence absentFiles; // whatever the prefix has, until the test ends
    absentFiles.HideIfPresent(SystemDir() + L"\\PhysXLoader.dll");
    RegEvidence absentKeys;
    absentKeys.HideKey(HKEY_LOCAL_MACHINE, L"SOFTWARE\\AGEIA Technologies");
    const std::wstring loader = SystemDir() + L"\\PhysXLoader.dll";
    EXPECT_FALSE(DetectPhysX());
    {
        // The loader alone, without the key.
        FileEvidence files;
        files.Copy(FakeDll(L"physxloader"), loader);
        EXPECT_FALSE(DetectPhysX());
        RegEvidence registry;
        registry.CreateKey(HKEY_LOCAL_MACHINE, L"SOFTWARE\\AGEIA Technologies");
        EXPECT_FALSE(DetectPhysX()); // the key without its value
        registry.SetDword(HKEY_LOCAL_MACHINE, L"SOFTWARE\\AGEIA Technologies", L"PhysX Version", 0);
        EXPECT_TRUE(DetectPhysX());
        VLPhysXInfo info;
        ReadPhysXInfo(info);
        EXPECT_TRUE(info.ok);
        EXPECT_EQ(info.major, 2);
        EXPECT_EQ(info.minor, 8);
    }
    EXPECT_FALSE(DetectPhysX());
}

TEST(LibraryRuntimeDetectTest, PhysXLoaderMustExportAndBeVersionOne)
{
    FileEvidence absentFiles; // whatever the prefix has, until the test ends
    absentFiles.HideIfPresent(SystemDir() + L"\\PhysXLoader.dll");
    RegEvidence absentKeys;
    absentKeys.HideKey(HKEY_LOCAL_MACHINE, L"SOFTWARE\\AGEIA Technologies");
    const std::wstring loader = SystemDir() + L"\\PhysXLoader.dll";
    RegEvidence registry;
    registry.SetDword(HKEY_LOCAL_MACHINE, L"SOFTWARE\\AGEIA Technologies", L"PhysX Version", 7);
    for (const wchar_t* fake : {L"physxloader-noexport", L"physxloader-v0"}) {
        FileEvidence files;
        files.Copy(FakeDll(fake), loader);
        EXPECT_FALSE(DetectPhysX());
    }
}

TEST(LibraryRuntimeDetectTest, ValidLayoutsFoundInEveryPlace)
{
    const wchar_t* const names[] = {L"Xlive.dll", L"OpenAL32.dll", L"PhysXLoader.dll"};
    FileEvidence absent; // whatever the prefix has of them, until the test ends
    for (const wchar_t* name : names) absent.HideIfPresent(SystemDir() + L"\\" + name);
    RegEvidence registry;
    registry.HideKey(HKEY_LOCAL_MACHINE, L"SOFTWARE\\AGEIA Technologies");
    registry.SetDword(HKEY_LOCAL_MACHINE, L"SOFTWARE\\AGEIA Technologies", L"PhysX Version", 1);
    // The system folder, beside the checking program, a folder on PATH: each library in each place in turn, OpenAL's
    // with a type named by text, the others with sections aligned below a page.
    const TestFolder program, onPath;
    const ScopedVariable path(L"PATH", _wgetenv(L"PATH") + (L";" + onPath.Path()));
    const std::wstring places[] = {SystemDir(), program.Path(), onPath.Path()};
    for (size_t turn = 0; turn < 3; ++turn) {
        SCOPED_TRACE(turn);
        FileEvidence files;
        for (size_t name = 0; name < 3; ++name) {
            files.Copy(FakeDll(name == 1 ? L"layout-named-i686" : L"layout-low-i686"),
                       places[(name + turn) % 3] + L"\\" + names[name]);
        }
        const std::string rows = RunDetectProbe(program.Path());
        for (const char* row : {"Live\t236.4MB\tinstalled", "OpenAL\t817.7KB\tinstalled", "System\t56.0MB\tinstalled"})
            EXPECT_NE(rows.find(row), std::string::npos) << row;
    }
}
