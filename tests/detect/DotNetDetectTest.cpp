#include "detect/DotNetDetect.h"

#include "Evidence.h"
#include "detect/Detectors.h"

#include <gtest/gtest.h>

#include <vector>

using namespace Velora;

namespace {

const std::wstring kSetup = L"SOFTWARE\\Microsoft\\NET Framework Setup\\";

struct Key {
    const wchar_t* path;
    int install; // -1: no "Install" value
    int sp;      // -1: no "SP" value
};

void Create(RegEvidence& registry, const std::vector<Key>& keys)
{
    for (const Key& key : keys) {
        registry.CreateKey(HKEY_LOCAL_MACHINE, kSetup + key.path);
        if (key.install >= 0) registry.SetDword(HKEY_LOCAL_MACHINE, kSetup + key.path, L"Install", key.install);
        if (key.sp >= 0) registry.SetDword(HKEY_LOCAL_MACHINE, kSetup + key.path, L"SP", key.sp);
    }
}

} // namespace

TEST(DotNetDetectTest, MaskFromSetupKeys)
{
    RegEvidence absent; // whatever the prefix has, until the test ends
    absent.HideKey(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\NET Framework Setup\\NDP");
    struct Case {
        std::vector<Key> keys;
        uint32_t mask;
    };
    const Case cases[] = {
        {{}, 0},
        {{{L"NDP\\v3.5", 1, 1}}, kDotNet35Sp1},
        {{{L"NDP\\v3.5", 1, 0}}, kDotNet35},
        {{{L"NDP\\v3.5", 1, -1}}, kDotNet35},
        {{{L"NDP\\v3.5", 1, 2}}, 0},
        {{{L"NDP\\v3.5", 0, 1}}, 0},
        {{{L"NDP\\v3.5", -1, 1}}, 0},
        // Only the service pack's low byte counts.
        {{{L"NDP\\v3.5", 1, 0x101}}, kDotNet35Sp1},
        {{{L"NDP\\v4\\Client", 1, -1}}, kDotNet40Client},
        {{{L"NDP\\v4\\Full", 1, 5}}, kDotNet40Full},
        {{{L"Full\\v1.0.3705", -1, -1}}, kDotNet10},
        {{{L"NDP\\v1.1.4322", 1, 0}}, 0},
        {{{L"NDP\\v1.1.4322", 1, 1}}, kDotNet11Sp1},
        {{{L"NDP\\v2.0.50727", 1, 2}, {L"NDP\\v3.0", 1, 1}}, kDotNet20Sp2 | kDotNet30Sp1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mask);
        RegEvidence registry;
        Create(registry, c.keys);
        VLDotNetDetect detect;
        detect.Detect();
        EXPECT_EQ(detect.mask, c.mask);
    }
}

TEST(DotNetDetectTest, DotNet35RowFlips)
{
    RegEvidence absent; // whatever the prefix has, until the test ends
    absent.HideKey(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\NET Framework Setup\\NDP");
    EXPECT_FALSE(DetectDotNet35());
    {
        RegEvidence registry;
        Create(registry, {{L"NDP\\v3.5", 1, 1}});
        EXPECT_TRUE(DetectDotNet35());
    }
    EXPECT_FALSE(DetectDotNet35());
}

TEST(DotNetDetectTest, DotNet40RowFlips)
{
    RegEvidence absent; // whatever the prefix has, until the test ends
    absent.HideKey(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\NET Framework Setup\\NDP");
    EXPECT_FALSE(DetectDotNet40());
    {
        RegEvidence registry;
        Create(registry, {{L"NDP\\v4\\Client", 1, -1}});
        EXPECT_FALSE(DetectDotNet40());
        Create(registry, {{L"NDP\\v4\\Full", 1, -1}});
        EXPECT_TRUE(DetectDotNet40());
    }
    EXPECT_FALSE(DetectDotNet40());
}
