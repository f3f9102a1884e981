#include "tests/ui/UiTestSupport.h"

#include "ui/core/RenderEngine.h"

#include <gtest/gtest.h>

#include <memory>

namespace Velora {
namespace {

struct Animated {
    Animated() { control.SetManager(&bound.manager); }
    // Drives the item's own timer; false once the effect has ended.
    bool Tick(int32_t type)
    {
        VLAnimationItem* item = anim.FindItem(&control, type);
        if (item) anim.OnTimer(item->timerId);
        return anim.FindItem(&control, type) != nullptr;
    }
    BoundManager bound;
    VLAnimationManager& anim = bound.manager.GetAnimations();
    VLControl control;
};

std::unique_ptr<VLAnimationItem> Item(int frames, bool linear = false, int targetX = 100)
{
    auto item = std::make_unique<VLAnimationItem>();
    item->frameLimit = frames;
    item->linear = linear;
    item->targetX = targetX;
    return item;
}

TEST(AnimationManager, MoveFramesAndOneEndNotice)
{
    for (const auto& [linear, xs] : {std::make_pair(true, std::vector<int>{0, 25, 50, 75, 100}),
                                     {false, std::vector<int>{0, 44, 75, 94, 100}}}) {
        Animated a;
        ASSERT_TRUE(a.anim.StartAnimation(&a.control, kEffectMove, Item(4, linear)));
        for (size_t i = 0; i < xs.size(); ++i) {
            EXPECT_EQ(i + 1 < xs.size(), a.Tick(kEffectMove));
            EXPECT_EQ(xs[i], a.control.GetFixedXY().x) << i;
        }
        EXPECT_EQ(1, a.bound.Count(kNotifyEffectEnd));
        EXPECT_EQ(&a.control, a.bound.listener.messages.back().sender);
    }
}

TEST(AnimationManager, StoppedMoveReportsOnceAndStartsAreNotRepeated)
{
    Animated a;
    auto item = Item(4, true);
    item->restoreOnStop = true;
    item->period = 999; // the type decides
    ASSERT_TRUE(a.anim.StartAnimation(&a.control, kEffectMove, std::move(item)));
    EXPECT_FALSE(a.anim.StartAnimation(&a.control, kEffectMove, Item(9)));
    EXPECT_EQ(4, a.anim.FindItem(&a.control, kEffectMove)->frameLimit);
    EXPECT_EQ(10u, a.anim.FindItem(&a.control, kEffectMove)->period);
    a.Tick(kEffectMove);
    EXPECT_TRUE(a.anim.StopAnimation(&a.control, kEffectMove));
    EXPECT_FALSE(a.anim.StopAnimation(&a.control, kEffectMove));
    EXPECT_EQ(100, a.control.GetFixedXY().x);
    EXPECT_EQ(1, a.bound.Count(kNotifyEffectEnd));
    VLControl orphan;
    EXPECT_FALSE(a.anim.StartAnimation(&orphan, kEffectMove));
}

TEST(AnimationManager, EffectDescriptorFramesAndFinalStates)
{
    Animated a;
    auto slide = Item(2);
    slide->sources = {{0, 0, 10, 10}, {10, 0, 20, 10}};
    slide->finalSource = {0, 0, 30, 10};
    slide->restoreOnStop = true;
    ASSERT_TRUE(a.anim.StartAnimation(&a.control, kEffectSourceSlide, std::move(slide)));
    // A limit of 2 runs three frames.
    for (const wchar_t* text : {L"source='0,0,10,10'", L"source='10,0,20,10'", L"source='0,0,10,10'"}) {
        EXPECT_TRUE(a.Tick(kEffectSourceSlide));
        EXPECT_EQ(text, a.control.effectDescriptor);
    }
    EXPECT_FALSE(a.Tick(kEffectSourceSlide));
    EXPECT_EQ(L"source='0,0,30,10'", a.control.effectDescriptor);

    a.control.effectDescriptor.clear();
    ASSERT_TRUE(a.anim.StartAnimation(&a.control, kEffectRollText, Item(0)));
    for (int i = 0; i < 50; ++i) ASSERT_TRUE(a.Tick(kEffectRollText));
    EXPECT_EQ(L"rolltext='50'", a.control.effectDescriptor);
    EXPECT_TRUE(a.anim.StopAnimation(&a.control, kEffectRollText));
    EXPECT_EQ(L"rolltext='0'", a.control.effectDescriptor);

    a.control.effectDescriptor = L"rotate='5.000000'";
    auto rock = Item(0);
    rock->angles = {7.0};
    ASSERT_TRUE(a.anim.StartAnimation(&a.control, kEffectRock, std::move(rock)));
    for (double angle : {7.0, 3.0, 0.0, -3.0, 0.0, 7.0}) {
        a.Tick(kEffectRock);
        EXPECT_DOUBLE_EQ(angle, VLRenderEngine::GetDescriptorRotate(a.control.effectDescriptor));
    }
    EXPECT_TRUE(a.anim.StopAnimation(&a.control, kEffectRock));
    EXPECT_EQ(L"rotate='5.000000'", a.control.effectDescriptor);

    // Nothing to cycle: frames pass without a value and without a fault.
    auto empty = Item(0);
    empty->frame = -3;
    ASSERT_TRUE(a.anim.StartAnimation(&a.control, kEffectRotate, std::move(empty)));
    EXPECT_TRUE(a.Tick(kEffectRotate));
    EXPECT_EQ(L"rotate='5.000000'", a.control.effectDescriptor);
}

// Told of a move's end, a listener starts the next move of the same control.
class Chaining : public INotify {
public:
    void Notify(VLNotifyMsg& msg) override
    {
        if (msg.type == kNotifyEffectEnd && ++ends == 1)
            msg.sender->GetManager()->GetAnimations().StartAnimation(msg.sender, kEffectMove, Item(1, true, 7));
    }
    int ends = 0;
};

TEST(AnimationManager, ListenersMayStartEffectsFromTheTimer)
{
    Animated a;
    Chaining chain;
    a.bound.manager.AddNotifier(&chain);
    ASSERT_TRUE(a.anim.StartAnimation(&a.control, kEffectMove, Item(0)));
    EXPECT_TRUE(a.Tick(kEffectMove));
    EXPECT_EQ(100, a.control.GetFixedXY().x);
    a.Tick(kEffectMove);
    EXPECT_FALSE(a.Tick(kEffectMove));
    EXPECT_EQ(7, a.control.GetFixedXY().x);
    EXPECT_EQ(2, chain.ends);
}

TEST(AnimationManager, StopAllEndsEveryEffect)
{
    Animated a;
    VLControl other;
    other.SetManager(&a.bound.manager);
    ASSERT_TRUE(a.anim.StartAnimation(&a.control, kEffectMove, Item(4)));
    ASSERT_TRUE(a.anim.StartAnimation(&other, kEffectRollText));
    const uint32_t timer = a.anim.FindItem(&other, kEffectRollText)->timerId;
    a.anim.StopAll();
    EXPECT_EQ(nullptr, a.anim.FindItem(&a.control, kEffectMove));
    EXPECT_FALSE(a.anim.UsesTimer(timer));
    EXPECT_EQ(0, a.bound.Count(kNotifyEffectEnd));
}

} // namespace
} // namespace Velora
