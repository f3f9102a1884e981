#include "detect/ComRuntimeDetect.h"

#include "Evidence.h"
#include "detect/Detectors.h"

#include <gtest/gtest.h>

#include <objbase.h>

using namespace Velora;

TEST(ComRuntimeDetectTest, PrefixHasMsxml3And6Only)
{
    EXPECT_TRUE(DetectMsxml3());
    EXPECT_TRUE(DetectMsxml6());
    // The prefix's own msxml4 describes itself otherwise.
    EXPECT_FALSE(DetectMsxml4());
}

TEST(ComRuntimeDetectTest, Msxml4Description)
{
    EXPECT_TRUE(CheckMsxmlDescription(FakeDll(L"msxml4-sp3")));
    EXPECT_FALSE(CheckMsxmlDescription(FakeDll(L"msxml4-sp2")));
    // Without a translation table the description cannot be looked up.
    EXPECT_FALSE(CheckMsxmlDescription(FakeDll(L"msxml4-sp3-no-translation")));
    EXPECT_FALSE(CheckMsxmlDescription(FakeDll(L"plain")));
    EXPECT_FALSE(CheckMsxmlDescription(FakeDll(L"absent")));
}

TEST(ComRuntimeDetectTest, Msxml6x64RowFlips)
{
    if (!OnWow64()) GTEST_SKIP() << "only shown on 64-bit Windows";
    EXPECT_TRUE(DetectMsxml6x64());
    {
        FileEvidence files(true);
        files.Hide(WindowsDir() + L"\\system32\\msxml6.dll");
        EXPECT_FALSE(DetectMsxml6x64());
        // The 32-bit one is still where it was.
        EXPECT_TRUE(DetectMsxml6());
    }
    EXPECT_TRUE(DetectMsxml6x64());
}

TEST(ComRuntimeDetectTest, FlashRowFlips)
{
    RegEvidence absent; // whatever the prefix has, until the test ends
    absent.HideKey(HKEY_CLASSES_ROOT, L"ShockwaveFlash.ShockwaveFlash");
    EXPECT_FALSE(DetectFlashForIE());
    {
        RegEvidence registry;
        registry.SetString(HKEY_CLASSES_ROOT, L"ShockwaveFlash.ShockwaveFlash\\CLSID", L"",
                           L"{D27CDB6E-AE6D-11CF-96B8-444553540000}");
        EXPECT_TRUE(DetectFlashForIE());
    }
    EXPECT_FALSE(DetectFlashForIE());
}

TEST(ComRuntimeDetectTest, DetectorsLeaveComAsTheyFoundIt)
{
    for (bool (*detect)() : {DetectDirectX, DetectMsxml3, DetectMsxml4, DetectMsxml6, DetectFlashForIE}) {
        detect();
        // Nothing left initialised on this thread.
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        CoUninitialize();
    }
    // A thread in the multithreaded apartment keeps it.
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    EXPECT_TRUE(DetectMsxml3());
    EXPECT_TRUE(DetectDirectX());
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
    CoUninitialize();
    CoUninitialize();
}
