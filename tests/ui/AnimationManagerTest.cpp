#include "tests/ui/UiTestSupport.h"

#include "ui/core/AnimationManager.h"
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
        VLAnimationItem* item = bound.manager.animations.FindItem(&control, type);
        if (!item) return false;
        bound.manager.animations.OnTimer(item->timerId);
        return bound.manager.animations.FindItem(&control, type) != nullptr;
    }
    BoundManager bound;
    VLControl control;
};

std::unique_ptr<VLAnimationItem> Move(bool linear, int frames)
{
    auto item = std::make_unique<VLAnimationItem>();
    item->linear = linear;
    item->frameLimit = frames;
    item->targetX = 100;
    return item;
}

TEST(AnimationManager, MoveFramesAndOneEndNotice)
{
    const struct {
        bool linear;
        std::vector<int> xs;
    } cases[] = {{true, {0, 25, 50, 75, 100}}, {false, {0, 44, 75, 94, 100}}};
    for (const auto& t : cases) {
        Animated a;
        ASSERT_TRUE(a.bound.manager.animations.StartAnimation(&a.control, kEffectMove, Move(t.linear, 4)));
        EXPECT_EQ(10u, a.bound.manager.animations.FindItem(&a.control, kEffectMove)->period);
        for (size_t i = 0; i < t.xs.size(); ++i) {
            EXPECT_EQ(i + 1 < t.xs.size(), a.Tick(kEffectMove));
            EXPECT_EQ(t.xs[i], a.control.GetFixedXY().x) << i;
        }
        EXPECT_EQ(1, a.bound.Count(kNotifyEffectEnd));
        EXPECT_EQ(&a.control, a.bound.listener.messages.back().sender);
    }
}

TEST(AnimationManager, StoppedMoveReportsOnceAndStartsAreNotRepeated)
{
    Animated a;
    VLAnimationManager& anim = a.bound.manager.animations;
    auto item = Move(true, 4);
    item->restoreOnStop = true;
    ASSERT_TRUE(anim.StartAnimation(&a.control, kEffectMove, std::move(item)));
    EXPECT_FALSE(anim.StartAnimation(&a.control, kEffectMove, Move(true, 9)));
    EXPECT_EQ(4, anim.FindItem(&a.control, kEffectMove)->frameLimit);
    a.Tick(kEffectMove);
    a.Tick(kEffectMove);
    EXPECT_TRUE(anim.StopAnimation(&a.control, kEffectMove));
    EXPECT_EQ(100, a.control.GetFixedXY().x);
    EXPECT_EQ(1, a.bound.Count(kNotifyEffectEnd));
    EXPECT_FALSE(anim.StopAnimation(&a.control, kEffectMove));

    VLControl orphan;
    EXPECT_FALSE(anim.StartAnimation(&orphan, kEffectMove));
}

TEST(AnimationManager, LimitedEffectsRunOneFrameMore)
{
    Animated a;
    VLAnimationManager& anim = a.bound.manager.animations;
    auto item = std::make_unique<VLAnimationItem>();
    item->frameLimit = 2;
    item->sources = {{0, 0, 10, 10}, {10, 0, 20, 10}};
    item->finalSource = {0, 0, 30, 10};
    item->restoreOnStop = true;
    ASSERT_TRUE(anim.StartAnimation(&a.control, kEffectSourceSlide, std::move(item)));
    const wchar_t* const expected[] = {L"source='0,0,10,10'", L"source='10,0,20,10'", L"source='0,0,10,10'"};
    for (const wchar_t* text : expected) {
        EXPECT_TRUE(a.Tick(kEffectSourceSlide));
        EXPECT_EQ(text, a.control.effectDescriptor);
    }
    EXPECT_FALSE(a.Tick(kEffectSourceSlide));
    EXPECT_EQ(L"source='0,0,30,10'", a.control.effectDescriptor);
    EXPECT_EQ(0, a.bound.Count(kNotifyEffectEnd));
}

TEST(AnimationManager, RollTextAndRockRestoreOnStop)
{
    Animated a;
    VLAnimationManager& anim = a.bound.manager.animations;
    ASSERT_TRUE(anim.StartAnimation(&a.control, kEffectRollText));
    for (int i = 0; i < 50; ++i) ASSERT_TRUE(a.Tick(kEffectRollText));
    EXPECT_EQ(L"rolltext='50'", a.control.effectDescriptor);
    EXPECT_TRUE(anim.StopAnimation(&a.control, kEffectRollText));
    EXPECT_EQ(L"rolltext='0'", a.control.effectDescriptor);

    a.control.effectDescriptor = L"rotate='5.000000'";
    auto item = std::make_unique<VLAnimationItem>();
    item->angles = {7.0};
    ASSERT_TRUE(anim.StartAnimation(&a.control, kEffectRock, std::move(item)));
    EXPECT_EQ(40u, anim.FindItem(&a.control, kEffectRock)->period);
    for (double angle : {7.0, 3.0, 0.0, -3.0, 0.0, 7.0}) {
        a.Tick(kEffectRock);
        EXPECT_DOUBLE_EQ(angle, VLRenderEngine::GetDescriptorRotate(a.control.effectDescriptor));
    }
    EXPECT_TRUE(anim.StopAnimation(&a.control, kEffectRock));
    EXPECT_EQ(L"rotate='5.000000'", a.control.effectDescriptor);

    // Nothing to cycle: frames pass without a value and without a fault.
    auto empty = std::make_unique<VLAnimationItem>();
    empty->frame = -3;
    ASSERT_TRUE(anim.StartAnimation(&a.control, kEffectRotate, std::move(empty)));
    EXPECT_TRUE(a.Tick(kEffectRotate));
    EXPECT_EQ(L"rotate='5.000000'", a.control.effectDescriptor);
}

// A listener told of a move's end starts the next move of the same control.
class Chaining : public INotify {
public:
    void Notify(VLNotifyMsg& msg) override
    {
        if (msg.type != kNotifyEffectEnd || ++ends > 1) return;
        auto item = std::make_unique<VLAnimationItem>();
        item->frameLimit = 1;
        item->targetX = 7;
        restarted = msg.sender->GetManager()->animations.StartAnimation(msg.sender, kEffectMove, std::move(item));
    }
    int ends = 0;
    bool restarted = false;
};

TEST(AnimationManager, ListenersMayStartEffectsFromTheTimer)
{
    Animated a;
    Chaining chain;
    a.bound.manager.AddNotifier(&chain);
    ASSERT_TRUE(a.bound.manager.animations.StartAnimation(&a.control, kEffectMove, Move(true, 0)));
    EXPECT_TRUE(a.Tick(kEffectMove));
    EXPECT_EQ(100, a.control.GetFixedXY().x);
    EXPECT_TRUE(chain.restarted);
    ASSERT_NE(nullptr, a.bound.manager.animations.FindItem(&a.control, kEffectMove));
    a.Tick(kEffectMove);
    a.Tick(kEffectMove);
    EXPECT_EQ(7, a.control.GetFixedXY().x);
    EXPECT_EQ(2, chain.ends);
}

TEST(AnimationManager, DestroyedControlAndStopAll)
{
    BoundManager bound;
    VLAnimationManager& anim = bound.manager.animations;
    auto doomed = std::make_unique<VLControl>();
    VLControl kept;
    doomed->SetManager(&bound.manager);
    kept.SetManager(&bound.manager);
    ASSERT_TRUE(anim.StartAnimation(doomed.get(), kEffectMove, Move(true, 4)));
    ASSERT_TRUE(anim.StartAnimation(&kept, kEffectRollText));
    const uint32_t timer = anim.FindItem(doomed.get(), kEffectMove)->timerId;
    doomed.reset();
    EXPECT_FALSE(anim.UsesTimer(timer));
    anim.OnTimer(timer);
    EXPECT_EQ(0, bound.Count(kNotifyEffectEnd));

    const uint32_t rollTimer = anim.FindItem(&kept, kEffectRollText)->timerId;
    anim.StopAll();
    EXPECT_EQ(nullptr, anim.FindItem(&kept, kEffectRollText));
    EXPECT_FALSE(anim.UsesTimer(rollTimer));
}

} // namespace
} // namespace Velora
