#include "ui/core/RenderEngine.h"

#include <gtest/gtest.h>

namespace Velora {
namespace {

TEST(RenderEngineDescriptor, SingleKeyReader)
{
    const std::wstring d = L"res='603' restype='PNG' rgnmask='#ff00ff' source='36, 0, 54, 100' rotate='-3.5' "
                           L"encrypt='True' round='4,1' fade='300' corner='1,2' file='' hole='true'";
    EXPECT_EQ(603, VLRenderEngine::GetDescriptorRes(d));
    EXPECT_EQ(L"PNG", VLRenderEngine::GetDescriptorResType(d));
    // "mask='" is found inside "rgnmask='".
    EXPECT_EQ(0xff00ffu, VLRenderEngine::GetDescriptorMask(d));
    const RECT source = VLRenderEngine::GetDescriptorSource(d);
    EXPECT_EQ(36, source.left);
    EXPECT_EQ(54, source.right);
    EXPECT_EQ(100, source.bottom);
    const RECT corner = VLRenderEngine::GetDescriptorCorner(d);
    EXPECT_EQ(2, corner.top);
    EXPECT_EQ(0, corner.right);
    EXPECT_EQ(0, corner.bottom);
    EXPECT_DOUBLE_EQ(-3.5, VLRenderEngine::GetDescriptorRotate(d));
    EXPECT_FALSE(VLRenderEngine::GetDescriptorEncrypt(d));
    EXPECT_EQ(L"", VLRenderEngine::GetDescriptorFile(d));
    EXPECT_EQ(0, VLRenderEngine::GetDescriptorRollText(d));

    VLDescriptorValue v;
    v.number = 9;
    EXPECT_FALSE(VLRenderEngine::GetDescriptorValue(kDescFile, d, v));
    EXPECT_FALSE(VLRenderEngine::GetDescriptorValue(kDescIcon, d, v));
    EXPECT_FALSE(VLRenderEngine::GetDescriptorValue(kDescKeyCount, d, v));
    EXPECT_EQ(9, v.number);
    ASSERT_TRUE(VLRenderEngine::GetDescriptorValue(kDescFade, d, v));
    EXPECT_EQ(300, v.number);
    ASSERT_TRUE(VLRenderEngine::GetDescriptorValue(kDescRound, d, v));
    EXPECT_EQ(4, v.pair.x);
    EXPECT_EQ(1, v.pair.y);
    ASSERT_TRUE(VLRenderEngine::GetDescriptorValue(kDescHole, d, v));
    EXPECT_TRUE(v.flag);
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
