#include "detect/VcRuntimeDetect.h"

#include "Evidence.h"
#include "detect/Detectors.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

using namespace Velora;
using Velora::Test::TestFolder;

namespace {

// Every file of the runtime's assemblies in the spelling given, under root.
void CreateSxs(FileEvidence& files, const std::wstring& root, const VLSxsRuntime& runtime, bool xww)
{
    for (const VLSxsAssembly& assembly : runtime) {
        for (const wchar_t* file : assembly.files) {
            files.Touch(root + (xww ? assembly.xwwFolder : assembly.noneFolder) + file);
        }
    }
}

void CreateSystemRuntime(FileEvidence& files, const std::wstring& folder,
                         const VLSystemRuntime& runtime, const std::wstring& versionedFake)
{
    files.Copy(FakeDll(versionedFake), folder + runtime.versionedFile);
    for (const wchar_t* file : runtime.files) files.Touch(folder + file);
}

std::wstring NativeSystemDir()
{
    return WindowsDir() + L"\\system32";
}

// Moves aside what the prefix has of a runtime, in both spellings of its
// folders, until the test ends: one missing file makes it missing.
void HideSxs(FileEvidence& absent, const VLSxsRuntime& runtime)
{
    for (const VLSxsAssembly& assembly : runtime) {
        for (const wchar_t* folder : {assembly.xwwFolder, assembly.noneFolder}) {
            absent.HideIfPresent(WindowsDir() + folder + *assembly.files.begin());
        }
    }
}

} // namespace

TEST(VcRuntimeDetectTest, SxsSpellingFollowsTheWindowsVersion)
{
    struct Case {
        const VLSxsRuntime* runtime;
        DWORD major;
        bool xwwFolders;
        bool found;
    };
    // x64 assemblies follow the same rule as x86 ones: Vista, 7, 8 and 10
    // all spell "none".
    const Case cases[] = {
        {&kVc2005Sxs, 5, true, true},   {&kVc2005Sxs, 6, false, true},
        {&kVc2005Sxs, 5, false, false}, {&kVc2005Sxs, 6, true, false},
        {&kVc2008Sxs, 10, false, true}, {&kVc2005x64Sxs, 6, false, true},
        {&kVc2005x64Sxs, 5, true, true}, {&kVc2005x64Sxs, 6, true, false},
        {&kVc2008x64Sxs, 6, false, true}, {&kVc2008x64Sxs, 10, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.major << (c.xwwFolders ? " x-ww" : " none"));
        const TestFolder root;
        FileEvidence files;
        CreateSxs(files, root.Path(), *c.runtime, c.xwwFolders);
        EXPECT_EQ(DetectVcSxs(root.Path(), c.major, *c.runtime), c.found);
    }
}

TEST(VcRuntimeDetectTest, OneMissingSxsFileMeansMissing)
{
    const TestFolder root;
    FileEvidence files;
    CreateSxs(files, root.Path(), kVc2005Sxs, false);
    ASSERT_TRUE(DetectVcSxs(root.Path(), 6, kVc2005Sxs));
    {
        FileEvidence missing;
        missing.Hide(root.Path() + kVc2005Sxs[2].noneFolder + L"\\mfcm80u.dll");
        EXPECT_FALSE(DetectVcSxs(root.Path(), 6, kVc2005Sxs));
    }
    EXPECT_TRUE(DetectVcSxs(root.Path(), 6, kVc2005Sxs));
}

TEST(VcRuntimeDetectTest, SystemFolderVersionIsAMinimum)
{
    struct Case {
        const VLSystemRuntime* runtime;
        const wchar_t* fake;
        bool found;
    };
    const Case cases[] = {
        {&kVc2010Files, L"mfc100-325", true},
        {&kVc2010Files, L"mfc100-473", true}, // a security update
        {&kVc2010Files, L"mfc100-1", false},
        {&kVc2010Files, L"plain", false},
        {&kVc2012Files, L"mfc110-1", true},
        {&kVc2012Files, L"mfc110-400", true},
        {&kVc2012Files, L"mfc100-473", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.fake, c.fake + wcslen(c.fake)));
        const TestFolder folder;
        FileEvidence files;
        CreateSystemRuntime(files, folder.Path(), *c.runtime, c.fake);
        EXPECT_EQ(DetectVcSystemDir(folder.Path(), *c.runtime), c.found);
    }
}

TEST(VcRuntimeDetectTest, Vc2005RowFlips)
{
    FileEvidence absent;
    HideSxs(absent, kVc2005Sxs);
    HideSxs(absent, kVc2005x64Sxs);
    EXPECT_FALSE(DetectVC2005());
    {
        FileEvidence files;
        CreateSxs(files, WindowsDir(), kVc2005Sxs, false);
        EXPECT_TRUE(DetectVC2005());
        EXPECT_FALSE(DetectVC2005x64());
    }
    EXPECT_FALSE(DetectVC2005());
}

TEST(VcRuntimeDetectTest, Vc2008RowFlips)
{
    FileEvidence absent;
    HideSxs(absent, kVc2008Sxs);
    EXPECT_FALSE(DetectVC2008());
    {
        FileEvidence files;
        CreateSxs(files, WindowsDir(), kVc2008Sxs, false);
        EXPECT_TRUE(DetectVC2008());
    }
    EXPECT_FALSE(DetectVC2008());
}

TEST(VcRuntimeDetectTest, Vc2010RowFlips)
{
    FileEvidence absent; // what the prefix has, until the test ends
    absent.HideIfPresent(SystemDir() + kVc2010Files.versionedFile);
    FileEvidence absentNative(true);
    absentNative.HideIfPresent(NativeSystemDir() + kVc2010Files.versionedFile);
    EXPECT_FALSE(DetectVC2010());
    {
        FileEvidence files;
        CreateSystemRuntime(files, SystemDir(), kVc2010Files, L"mfc100-473");
        EXPECT_TRUE(DetectVC2010());
        // On 32-bit Windows both name the same folder.
        if (OnWow64()) {
            EXPECT_FALSE(DetectVC2010x64());
        }
    }
    EXPECT_FALSE(DetectVC2010());
}

TEST(VcRuntimeDetectTest, Vc2012RowFlips)
{
    FileEvidence absent; // what the prefix has, until the test ends
    absent.HideIfPresent(SystemDir() + kVc2012Files.versionedFile);
    EXPECT_FALSE(DetectVC2012());
    {
        FileEvidence files;
        CreateSystemRuntime(files, SystemDir(), kVc2012Files, L"mfc110-1");
        EXPECT_TRUE(DetectVC2012());
    }
    EXPECT_FALSE(DetectVC2012());
}

TEST(VcRuntimeDetectTest, Vc2005x64RowFlips)
{
    if (!OnWow64()) GTEST_SKIP() << "only shown on 64-bit Windows";
    FileEvidence absent;
    HideSxs(absent, kVc2005x64Sxs);
    HideSxs(absent, kVc2005Sxs);
    EXPECT_FALSE(DetectVC2005x64());
    {
        FileEvidence files;
        CreateSxs(files, WindowsDir(), kVc2005x64Sxs, false);
        EXPECT_TRUE(DetectVC2005x64());
        EXPECT_FALSE(DetectVC2005());
    }
    EXPECT_FALSE(DetectVC2005x64());
}

TEST(VcRuntimeDetectTest, Vc2008x64RowFlips)
{
    if (!OnWow64()) GTEST_SKIP() << "only shown on 64-bit Windows";
    FileEvidence absent;
    HideSxs(absent, kVc2008x64Sxs);
    EXPECT_FALSE(DetectVC2008x64());
    {
        FileEvidence files;
        CreateSxs(files, WindowsDir(), kVc2008x64Sxs, false);
        EXPECT_TRUE(DetectVC2008x64());
    }
    EXPECT_FALSE(DetectVC2008x64());
}

TEST(VcRuntimeDetectTest, Vc2010x64RowFlips)
{
    if (!OnWow64()) GTEST_SKIP() << "only shown on 64-bit Windows";
    FileEvidence absent(true); // what the prefix has, until the test ends
    absent.HideIfPresent(NativeSystemDir() + kVc2010Files.versionedFile);
    FileEvidence absent32;
    absent32.HideIfPresent(SystemDir() + kVc2010Files.versionedFile);
    EXPECT_FALSE(DetectVC2010x64());
    {
        FileEvidence files(true);
        CreateSystemRuntime(files, NativeSystemDir(), kVc2010Files, L"mfc100-325-x64");
        EXPECT_TRUE(DetectVC2010x64());
        EXPECT_FALSE(DetectVC2010());
    }
    EXPECT_FALSE(DetectVC2010x64());
}

TEST(VcRuntimeDetectTest, Vc2010ReadsEveryValidLayout)
{
    FileEvidence absent, absentNative(true); // what the prefix has, until the test ends
    absent.HideIfPresent(SystemDir() + kVc2010Files.versionedFile);
    absentNative.HideIfPresent(NativeSystemDir() + kVc2010Files.versionedFile);
    for (const std::wstring layout : {L"layout-low-", L"layout-named-"}) {
        SCOPED_TRACE(std::string(layout.begin(), layout.end()));
        {
            FileEvidence files;
            CreateSystemRuntime(files, SystemDir(), kVc2010Files, layout + L"i686");
            EXPECT_TRUE(DetectVC2010());
        }
        if (OnWow64()) {
            FileEvidence files(true);
            CreateSystemRuntime(files, NativeSystemDir(), kVc2010Files, layout + L"x86_64");
            EXPECT_TRUE(DetectVC2010x64());
        }
    }
}

TEST(VcRuntimeDetectTest, Vc2012x64RowFlips)
{
    if (!OnWow64()) GTEST_SKIP() << "only shown on 64-bit Windows";
    FileEvidence absent(true); // what the prefix has, until the test ends
    absent.HideIfPresent(NativeSystemDir() + kVc2012Files.versionedFile);
    FileEvidence absent32;
    absent32.HideIfPresent(SystemDir() + kVc2012Files.versionedFile);
    EXPECT_FALSE(DetectVC2012x64());
    {
        FileEvidence files(true);
        CreateSystemRuntime(files, NativeSystemDir(), kVc2012Files, L"mfc110-1-x64");
        EXPECT_TRUE(DetectVC2012x64());
        EXPECT_FALSE(DetectVC2012());
    }
    EXPECT_FALSE(DetectVC2012x64());
}
