#include "detect/MsiProductDetect.h"

#include "Evidence.h"
#include "detect/Detectors.h"

#include <gtest/gtest.h>

using namespace Velora;

namespace {

const std::wstring kMachine = L"Installer\\Products\\";
const std::wstring kUser = L"Software\\Microsoft\\Installer\\Products\\";

} // namespace

TEST(MsiProductDetectTest, AppLocaleRowFlips)
{
    RegEvidence absent; // whatever the prefix has, until the test ends
    absent.HideKey(HKEY_CLASSES_ROOT, L"Installer\\Products");
    absent.HideKey(HKEY_CURRENT_USER, L"Software\\Microsoft\\Installer\\Products");
    EXPECT_FALSE(DetectAppLocale());
    {
        RegEvidence registry;
        registry.SetString(HKEY_CLASSES_ROOT, kMachine + L"00VLTEST0000000000000000000000AL", L"ProductName",
                           L"Microsoft AppLocale");
        EXPECT_TRUE(DetectAppLocale());
        EXPECT_FALSE(DetectSilverlight());
    }
    EXPECT_FALSE(DetectAppLocale());
}

TEST(MsiProductDetectTest, SilverlightRowFlips)
{
    RegEvidence absent; // whatever the prefix has, until the test ends
    absent.HideKey(HKEY_CLASSES_ROOT, L"Installer\\Products");
    absent.HideKey(HKEY_CURRENT_USER, L"Software\\Microsoft\\Installer\\Products");
    EXPECT_FALSE(DetectSilverlight());
    {
        RegEvidence registry;
        registry.SetString(HKEY_CURRENT_USER, kUser + L"00VLTEST0000000000000000000000SL", L"ProductName",
                           L"Microsoft Silverlight");
        // Per-user products are read only when the machine list opens.
        EXPECT_FALSE(DetectSilverlight());
        registry.CreateKey(HKEY_CLASSES_ROOT, L"Installer\\Products");
        EXPECT_TRUE(DetectSilverlight());
    }
    EXPECT_FALSE(DetectSilverlight());
}

TEST(MsiProductDetectTest, ScanAndFind)
{
    RegEvidence registry;
    registry.SetString(HKEY_CLASSES_ROOT, kMachine + L"A", L"ProductName", L"Microsoft Silverlight 5");
    registry.SetString(HKEY_CLASSES_ROOT, kMachine + L"B", L"ProductName", L"microsoft silverlight");
    registry.SetDword(HKEY_CLASSES_ROOT, kMachine + L"B", L"Language", 1033);
    registry.SetString(HKEY_CURRENT_USER, kUser + L"C", L"ProductName", L"Tool");
    registry.SetDword(HKEY_CURRENT_USER, kUser + L"C", L"Language", 2052);
    registry.SetDword(HKEY_CURRENT_USER, kUser + L"C", L"Version", 0x01020003);
    registry.CreateKey(HKEY_CURRENT_USER, kUser + L"D"); // no values at all

    VLMSIProductDetect detect;
    detect.Scan();
    ASSERT_EQ(detect.products.size(), 4u);
    EXPECT_EQ(detect.products[3].name, L"");
    EXPECT_EQ(detect.products[3].language, 0u);

    struct Case {
        const wchar_t* name;
        uint32_t language, version;
        bool found;
    };
    const Case cases[] = {
        {L"Microsoft Silverlight", 0, 0, false}, // no prefix match
        {L"Microsoft Silverlight 5", 0, 0, true},
        {L"Microsoft silverlight", 0, 0, false}, // case counts
        {L"microsoft silverlight", 1033, 0, true},
        {L"microsoft silverlight", 2052, 0, false},
        {L"Tool", 2052, 0x01020003, true},
        {L"Tool", 0, 0x01020004, false},
        {L"", 0, 0, true}, // the key without a name
    };
    for (const Case& c : cases) {
        VLMSIProduct query;
        query.name = c.name;
        query.language = c.language;
        query.version = c.version;
        EXPECT_EQ(detect.Find(query), c.found) << std::string(c.name, c.name + wcslen(c.name));
    }
}

TEST(MsiProductDetectTest, NoMachineListMeansNothingRead)
{
    RegEvidence registry;
    registry.SetString(HKEY_CURRENT_USER, kUser + L"C", L"ProductName", L"Tool");
    VLMSIProductDetect detect;
    detect.products.resize(2);
    detect.Scan();
    EXPECT_EQ(detect.products.size(), 2u);
    VLMSIProductDetect empty;
    VLMSIProduct query;
    EXPECT_FALSE(empty.Find(query));
}
