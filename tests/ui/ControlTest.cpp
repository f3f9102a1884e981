#include "tests/ui/UiTestSupport.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace Velora {
namespace {

VLControl* Self(VLControl* c, void*) { return c; }

TEST(Control, GeometryBoundsAndHitTest)
{
    VLControl c;
    c.SetPos({10, 20, 5, 15});
    EXPECT_EQ(10, c.GetX());
    EXPECT_EQ(20, c.GetY());
    EXPECT_EQ(0, c.GetWidth());
    EXPECT_EQ(0, c.GetHeight());
    c.SetFixedWidth(30);
    c.SetFixedWidth(-1);
    EXPECT_EQ(30, c.GetFixedWidth());
    EXPECT_THROW(c.SetNotify(25, true), std::out_of_range);

    c.SetPos({0, 0, 100, 100});
    c.SetCut({2, 2, 2, 2});
    for (POINT p : {POINT{1, 50}, POINT{98, 50}, POINT{2, 50}, POINT{97, 50}})
        EXPECT_EQ(p.x == 2 || p.x == 97, c.FindControl(Self, &p, kFindHitTest) == &c) << p.x;
    c.SetEnabled(false);
    EXPECT_EQ(nullptr, c.FindControl(Self, nullptr, kFindEnabled));
}

class CountingInvalidate : public TestBranch {
public:
    void Invalidate() override { ++calls; }
    int calls = 0;
};

TEST(Control, StateLayoutMarksAndInvalidate)
{
    BoundManager bound;
    CountingInvalidate parent;
    VLControl* child = parent.Add(new VLControl);
    parent.SetManager(&bound.manager);
    child->state = kStateHot | kStatePushed | kStateCaptured;
    child->SetEnabled(false);
    EXPECT_EQ(0u, child->state);
    EXPECT_EQ(0, parent.calls);

    child->SetVisible(true);
    EXPECT_FALSE(parent.needsLayout || bound.manager.NeedsUpdate());
    child->SetVisible(false);
    EXPECT_TRUE(parent.needsLayout && bound.manager.NeedsUpdate());
    EXPECT_FALSE(child->needsLayout);
    // While the parent waits for its layout, it repaints for the child.
    child->SetText(L"a");
    child->SetText(L"a");
    EXPECT_EQ(1, parent.calls);
    parent.SetPos({0, 0, 10, 10});
    EXPECT_FALSE(parent.needsLayout);
}

TEST(Control, InvalidateWithoutAWindowTouchesNoWindow)
{
    HiddenWindow shown;
    ShowWindow(shown.Get(), SW_SHOWNA);
    ValidateRect(shown.Get(), nullptr);
    VLPaintManager windowless;
    VLControl c;
    c.SetManager(&windowless);
    c.SetPos({0, 0, 50, 50});
    c.Invalidate();
    windowless.SetNeedsUpdate(true);
    windowless.MoveFocusByTab(true);
    RECT update;
    EXPECT_FALSE(GetUpdateRect(shown.Get(), &update, FALSE));
}

// A click is a button up inside while the control holds the capture; the text
// rolls while the mouse is over the text area.
TEST(ControlEvents, PressHoverAndRollSequence)
{
    BoundManager bound;
    VLControl c;
    c.SetManager(&bound.manager);
    c.SetPos({0, 0, 100, 20});
    VLControl::ApplyAttributeList(L"notify=\"click\" flags=\"enterrolltext\" normaltextpadding=\"10,0,10,0\"", &c);
    const uint32_t hot = kStateHot, held = kStateHot | kStateCaptured, pressed = held | kStatePushed;
    const struct {
        int32_t type;
        int x;
        uint32_t state;
        bool rolling;
        int clicks;
    } steps[] = {{kEventMouseEnter, 50, hot, true, 0},       {kEventLButtonDown, 50, pressed, true, 0},
                 {kEventMouseMove, 150, held, false, 0},     {kEventMouseMove, 5, pressed, false, 0},
                 {kEventLButtonUp, 20, hot, false, 1},       {kEventLButtonDown, 20, pressed, false, 1},
                 {kEventLButtonUp, 150, hot, false, 1},      {kEventMouseLeave, 200, 0, false, 1}};
    for (const auto& step : steps) {
        Deliver(c, step.type, step.x, 10);
        EXPECT_EQ(step.state, c.state) << step.type << " at " << step.x;
        EXPECT_EQ(step.rolling, bound.manager.GetAnimations().FindItem(&c, kEffectRollText) != nullptr) << step.type;
        EXPECT_EQ(step.clicks, bound.Count(kNotifyClick)) << step.type << " at " << step.x;
    }
    EXPECT_EQ(&c, bound.listener.messages[0].sender);
}

class WheelParent : public TestBranch {
public:
    void OnMouseWheel(VLControlEvent&) override { ++wheels; }
    int wheels = 0;
};

TEST(ControlEvents, EventsPassedToTheParent)
{
    BoundManager bound;
    WheelParent parent;
    VLControl* child = parent.Add(new VLControl);
    parent.SetManager(&bound.manager);
    parent.SetPos({0, 0, 100, 100});
    child->SetPos({0, 0, 50, 50});
    parent.SetAttribute(L"notify", L"click");
    child->SetAttribute(L"notify", L"click");
    child->SetAttribute(L"dispatch", L"lbuttonup mousewheel activate");

    // A button up passed up from a child does not activate the parent.
    parent.state = kStateCaptured;
    const VLControlEvent up = Deliver(*child, kEventLButtonUp, 10, 10);
    EXPECT_EQ(child, up.forwarder);
    EXPECT_EQ(0u, parent.state);
    EXPECT_EQ(0, bound.Count(kNotifyClick));

    // The parent's activation is told before the child's click.
    VLControlEvent click;
    EXPECT_TRUE(child->Activate(click));
    ASSERT_EQ(2, bound.Count(kNotifyClick));
    EXPECT_EQ(&parent, bound.listener.messages[0].sender);
    EXPECT_EQ(child, bound.listener.messages[1].sender);

    // A disabled child still passes the wheel, without naming itself.
    child->SetEnabled(false);
    VLControlEvent wheel = EventAt(kEventMouseWheel);
    wheel.forwarder = &parent;
    child->DoEvent(wheel);
    EXPECT_EQ(1, parent.wheels);
    EXPECT_EQ(nullptr, wheel.forwarder);
    EXPECT_EQ(2, bound.Count(kNotifyClick));
}

TEST(ControlEvents, SpaceAndReturnActivateOnlyWhenAsked)
{
    const struct {
        bool spaceReturn;
        bool enabled;
        uint16_t key;
        int clicks;
        bool passed;
    } cases[] = {{true, true, VK_RETURN, 1, true}, {true, true, VK_SPACE, 1, true}, {true, true, 'A', 0, true},
                 {false, true, VK_RETURN, 0, true}, {true, false, VK_RETURN, 0, false}};
    for (const auto& t : cases) {
        BoundManager bound;
        TestBranch parent;
        VLControl* child = parent.Add(new VLControl);
        parent.SetManager(&bound.manager);
        VLControl::ApplyAttributeList(L"notify=\"click\" dispatch=\"keydown\"", child);
        child->spaceReturn = t.spaceReturn;
        child->SetEnabled(t.enabled);
        const VLControlEvent e = Deliver(*child, kEventKeyDown, 0, 0, t.key);
        EXPECT_EQ(t.clicks, bound.Count(kNotifyClick)) << t.key;
        EXPECT_EQ(t.passed ? child : nullptr, e.forwarder) << t.key;
    }
}

TEST(ControlEvents, OutOfRangeTypesAndDisabledControls)
{
    BoundManager bound;
    VLControl c;
    c.SetManager(&bound.manager);
    c.SetPos({0, 0, 50, 50});
    c.SetAttribute(L"notify", L"mouseenter mouseleave lbuttondown contextmenu rbuttondown");
    c.SetEnabled(false);
    const int32_t types[] = {0, 19, 20, kEventMouseEnter, kEventLButtonDown, kEventContextMenu, kEventRButtonDown,
                             kEventMouseLeave};
    for (int32_t type : types) Deliver(c, type, 10, 10);
    VLControlEvent click;
    EXPECT_FALSE(c.Activate(click));
    ASSERT_EQ(2u, bound.listener.messages.size());
    EXPECT_EQ(kNotifyRButtonDown, bound.listener.messages[0].type);
    EXPECT_EQ(kNotifyMouseLeave, bound.listener.messages[1].type);
    EXPECT_EQ(0u, c.state);
}

} // namespace
} // namespace Velora
