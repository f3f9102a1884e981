// What the seed list's records cannot show: network paths, and the steps the
// system would read otherwise than they are written.
#include <gtest/gtest.h>

#include "base/FolderScope.h"

#include <string>

using namespace Velora;

namespace {

TEST(FolderScope, NormalFullPaths)
{
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"\\\\?\\UNC\\srv\\share\\a", L"\\\\srv\\share\\a"},
        {L"//srv/share/a/../b", L"\\\\srv\\share\\b"},
        {L"\\\\srv\\share\\..\\other", nullptr},
        {L"C:\\..\\a", nullptr},
        {L"\\\\.\\C:\\a", nullptr},
        {L"C:\\w\\CON .log", nullptr},
        {L"C:\\w\\a.", nullptr},
        {L"C:\\w\\a \\b", nullptr},
    };
    for (const auto& c : cases) {
        std::wstring normal;
        EXPECT_EQ(c.second != nullptr, GetNormalFullPath(c.first, normal)) << c.first;
        EXPECT_EQ(c.second ? c.second : L"", c.second ? normal : L"") << c.first;
    }
}

} // namespace
