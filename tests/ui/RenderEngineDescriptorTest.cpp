#include "ui/core/RenderEngine.h"

#include <gtest/gtest.h>

namespace Velora {
namespace {

std::wstring Text(const RECT& r)
{
    return std::to_wstring(r.left) + L"," + std::to_wstring(r.top) + L"," + std::to_wstring(r.right) + L"," +
           std::to_wstring(r.bottom);
}

TEST(RenderEngineDescriptor, SingleKeyReader)
{
    const std::wstring d = L"res='603' restype='PNG' rgnmask='#ff00ff' source='36, 0, 54, 100' rotate='-3.5' "
                           L"encrypt='True' round='4,1' fade='300' corner='1,2' file='' hole='true'";
    EXPECT_EQ(603, VLRenderEngine::GetDescriptorRes(d));
    EXPECT_EQ(L"PNG", VLRenderEngine::GetDescriptorResType(d));
    EXPECT_EQ(0xff00ffu, VLRenderEngine::GetDescriptorMask(d)); // "mask='" is found inside "rgnmask='"
    EXPECT_EQ(L"36,0,54,100", Text(VLRenderEngine::GetDescriptorSource(d)));
    EXPECT_EQ(L"1,2,0,0", Text(VLRenderEngine::GetDescriptorCorner(d)));
    EXPECT_DOUBLE_EQ(-3.5, VLRenderEngine::GetDescriptorRotate(d));
    EXPECT_FALSE(VLRenderEngine::GetDescriptorEncrypt(d));
    EXPECT_EQ(L"", VLRenderEngine::GetDescriptorFile(d));
    EXPECT_EQ(0, VLRenderEngine::GetDescriptorRollText(d));

    VLDescriptorValue v;
    v.number = 9;
    for (int key : {int(kDescFile), int(kDescIcon), int(kDescKeyCount)})
        EXPECT_FALSE(VLRenderEngine::GetDescriptorValue(key, d, v)) << key;
    EXPECT_EQ(9, v.number);
    EXPECT_TRUE(VLRenderEngine::GetDescriptorValue(kDescFade, d, v) && v.number == 300);
    EXPECT_TRUE(VLRenderEngine::GetDescriptorValue(kDescRound, d, v) && v.pair.x == 4 && v.pair.y == 1);
    EXPECT_TRUE(VLRenderEngine::GetDescriptorValue(kDescHole, d, v) && v.flag);
}

TEST(RenderEngineDescriptor, WritersReplaceOrAppend)
{
    const struct {
        const wchar_t* before;
        const wchar_t* after;
    } cases[] = {
        {L"", L"rolltext='5'"},
        {L"res='1'", L"res='1' rolltext='5'"},
        {L"rolltext='3' res='1'", L"rolltext='5' res='1'"},
        {L"rolltext='3' x rolltext='3'", L"rolltext='5' x rolltext='5'"},
    };
    for (const auto& t : cases) {
        std::wstring d = t.before;
        VLRenderEngine::SetDescriptorRollText(d, 5);
        EXPECT_EQ(t.after, d);
    }
    std::wstring d = L"res='2' source='0,0,1,1'";
    VLRenderEngine::SetDescriptorSource(d, {10, 0, 20, -5});
    VLRenderEngine::SetDescriptorRotate(d, 3);
    EXPECT_EQ(L"res='2' source='10,0,20,-5' rotate='3.000000'", d);
    VLRenderEngine::SetDescriptorRotate(d, -0.25);
    EXPECT_EQ(L"res='2' source='10,0,20,-5' rotate='-0.250000'", d);
}

} // namespace
} // namespace Velora
