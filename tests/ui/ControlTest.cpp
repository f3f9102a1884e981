#include "tests/ui/UiTestSupport.h"

#include "ui/core/Control.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

namespace Velora {
namespace {

VLControlEvent MouseEvent(int32_t type, int x, int y)
{
    VLControlEvent e;
    e.type = type;
    e.ptMouse = {x, y};
    return e;
}

TEST(Control, GeometryAndBounds)
{
    VLControl c;
    c.SetPos({10, 20, 5, 15});
    const RECT stored = c.GetPos();
    const RECT expected = {10, 20, 10, 20};
    EXPECT_TRUE(EqualRect(&stored, &expected));
    EXPECT_EQ(10, c.GetX());
    EXPECT_EQ(0, c.GetWidth());
    EXPECT_EQ(0, c.GetHeight());
    c.SetFixedWidth(30);
    c.SetFixedWidth(-1);
    EXPECT_EQ(30, c.GetFixedWidth());
    c.SetFixedWidth(0);
    EXPECT_EQ(0, c.GetFixedWidth());
    EXPECT_THROW(c.SetNotify(25, true), std::out_of_range);
    EXPECT_THROW(c.HasFlag(4), std::out_of_range);
}

TEST(Control, HitTestLeavesTheCutOut)
{
    VLControl c;
    c.SetPos({0, 0, 100, 100});
    c.SetCut({2, 2, 2, 2});
    const struct {
        POINT point;
        bool hit;
    } cases[] = {{{1, 50}, false}, {{98, 50}, false}, {{2, 50}, true}, {{97, 50}, true}};
    for (const auto& t : cases) {
        POINT p = t.point;
        VLControl* found = c.FindControl([](VLControl* x, void*) { return x; }, &p, kFindHitTest);
        EXPECT_EQ(t.hit, found == &c) << p.x;
    }
    c.SetEnabled(false);
    POINT inside = {50, 50};
    EXPECT_EQ(nullptr, c.FindControl([](VLControl* x, void*) { return x; }, &inside, kFindEnabled));
}

TEST(Control, StateVisibilityAndLayoutMarks)
{
    BoundManager bound;
    TestBranch parent;
    VLControl* child = parent.Add(new VLControl);
    bound.manager.needsUpdate = false;
    parent.SetManager(&bound.manager);

    child->state = kStateHot | kStatePushed | kStateCaptured;
    child->SetEnabled(false);
    EXPECT_EQ(0u, child->state);
    child->state = kStateHot;
    child->SetEnabled(true);
    EXPECT_EQ(unsigned(kStateHot), child->state);

    child->SetVisible(true);
    EXPECT_FALSE(parent.needsLayout);
    EXPECT_FALSE(bound.manager.needsUpdate);
    child->SetVisible(false);
    EXPECT_TRUE(parent.needsLayout);
    EXPECT_FALSE(child->needsLayout);
    EXPECT_TRUE(bound.manager.needsUpdate);
    parent.SetPos({0, 0, 10, 10});
    EXPECT_FALSE(parent.needsLayout);
}

class CountingInvalidate : public TestBranch {
public:
    void Invalidate() override { ++calls; }
    int calls = 0;
};

TEST(Control, InvalidateGoesToAParentAwaitingLayout)
{
    CountingInvalidate parent;
    VLControl* child = parent.Add(new VLControl);
    child->Invalidate();
    EXPECT_EQ(0, parent.calls);
    parent.MarkForLayout();
    child->SetText(L"a");
    child->SetText(L"a");
    EXPECT_EQ(1, parent.calls);
}

TEST(Control, InvalidateWithoutAWindowTouchesNoWindow)
{
    // A visible window with nothing to repaint stays that way when a control
    // of a manager without a window asks for a repaint.
    HiddenWindow shown;
    ShowWindow(shown.Get(), SW_SHOWNA);
    UpdateWindow(shown.Get());
    ValidateRect(shown.Get(), nullptr);
    VLPaintManager windowless;
    VLControl c;
    c.SetManager(&windowless);
    c.SetPos({0, 0, 50, 50});
    c.Invalidate();
    windowless.needsUpdate = true;
    windowless.MoveFocusByTab(true);
    RECT update;
    EXPECT_FALSE(GetUpdateRect(shown.Get(), &update, FALSE));
}

// A click is a button up inside the control while it holds the capture.
TEST(ControlEvents, ClickNeedsDownAndUpInside)
{
    BoundManager bound;
    VLControl c;
    c.SetManager(&bound.manager);
    c.SetPos({0, 0, 50, 50});
    c.SetAttribute(L"notify", L"click");
    const struct {
        int32_t type;
        int x;
        bool pushed;
    } sequence[] = {{kEventLButtonDown, 10, true}, {kEventMouseMove, 80, false}, {kEventMouseMove, 20, true},
                    {kEventLButtonUp, 20, false}};
    for (const auto& step : sequence) {
        VLControlEvent e = MouseEvent(step.type, step.x, 10);
        c.DoEvent(e);
        EXPECT_EQ(step.pushed, (c.state & kStatePushed) != 0) << step.type << " at " << step.x;
    }
    ASSERT_EQ(1, bound.Count(kNotifyClick));
    EXPECT_EQ(&c, bound.listener.messages.back().sender);

    for (int x : {10, 80}) {
        VLControlEvent e = MouseEvent(x == 10 ? kEventLButtonDown : kEventLButtonUp, x, 10);
        c.DoEvent(e);
    }
    EXPECT_EQ(1, bound.Count(kNotifyClick));
    EXPECT_EQ(0u, c.state);
}

TEST(ControlEvents, ForwardedButtonUpDoesNotActivateTheParent)
{
    BoundManager bound;
    TestBranch parent;
    VLControl* child = parent.Add(new VLControl);
    parent.SetManager(&bound.manager);
    parent.SetPos({0, 0, 100, 100});
    child->SetPos({0, 0, 50, 50});
    parent.SetAttribute(L"notify", L"click lbuttonup");
    child->SetAttribute(L"dispatch", L"lbuttonup");
    parent.state = kStateCaptured;
    VLControlEvent e = MouseEvent(kEventLButtonUp, 10, 10);
    child->DoEvent(e);
    EXPECT_EQ(child, e.forwarder);
    EXPECT_EQ(0u, parent.state);
    EXPECT_EQ(0, bound.Count(kNotifyClick));
    EXPECT_EQ(1, bound.Count(kNotifyLButtonUp));
}

TEST(ControlEvents, SpaceAndReturnActivateOnlyWhenAsked)
{
    const struct {
        bool spaceReturn;
        bool enabled;
        uint16_t key;
        int clicks;
        int parentKeys;
    } cases[] = {{true, true, VK_RETURN, 1, 1}, {true, true, VK_SPACE, 1, 1}, {true, true, 'A', 0, 1},
                 {false, true, VK_RETURN, 0, 1}, {true, false, VK_RETURN, 0, 0}};
    for (const auto& t : cases) {
        BoundManager bound;
        TestBranch parent;
        VLControl* child = parent.Add(new VLControl);
        parent.SetManager(&bound.manager);
        child->SetAttribute(L"notify", L"click");
        child->SetAttribute(L"dispatch", L"keydown");
        child->spaceReturn = t.spaceReturn;
        child->SetEnabled(t.enabled);
        VLControlEvent e;
        e.type = kEventKeyDown;
        e.key = t.key;
        child->DoEvent(e);
        EXPECT_EQ(t.clicks, bound.Count(kNotifyClick)) << t.key;
        EXPECT_EQ(t.parentKeys ? child : nullptr, e.forwarder) << t.key;
    }
}

class RecordingParent : public TestBranch {
public:
    void OnMouseWheel(VLControlEvent& e) override
    {
        ++wheels;
        wheelForwarder = e.forwarder;
    }
    bool Activate(VLControlEvent& e) override
    {
        activatedBeforeChildClick = GetManager() && !childClicked();
        return VLControl::Activate(e);
    }
    std::function<bool()> childClicked;
    int wheels = 0;
    VLControl* wheelForwarder = reinterpret_cast<VLControl*>(1);
    bool activatedBeforeChildClick = false;
};

TEST(ControlEvents, WheelAndActivatePassUpwards)
{
    BoundManager bound;
    RecordingParent parent;
    VLControl* child = parent.Add(new VLControl);
    parent.SetManager(&bound.manager);
    parent.childClicked = [&] { return bound.Count(kNotifyClick) > 0; };
    child->SetAttribute(L"dispatch", L"mousewheel activate");
    child->SetAttribute(L"notify", L"click");

    child->SetEnabled(false);
    VLControlEvent wheel = MouseEvent(kEventMouseWheel, 0, 0);
    child->DoEvent(wheel);
    EXPECT_EQ(1, parent.wheels);
    EXPECT_EQ(nullptr, parent.wheelForwarder);

    VLControlEvent click;
    EXPECT_FALSE(child->Activate(click));
    child->SetEnabled(true);
    child->SetVisible(false);
    EXPECT_FALSE(child->Activate(click));
    EXPECT_EQ(0, bound.Count(kNotifyClick));
    child->SetVisible(true);
    EXPECT_TRUE(child->Activate(click));
    EXPECT_TRUE(parent.activatedBeforeChildClick);
    EXPECT_EQ(1, bound.Count(kNotifyClick));
}

TEST(ControlEvents, OutOfRangeTypesAndDisabledControls)
{
    BoundManager bound;
    VLControl c;
    c.SetManager(&bound.manager);
    c.SetPos({0, 0, 50, 50});
    c.SetAttribute(L"notify", L"mouseenter mouseleave lbuttondown contextmenu rbuttondown");
    for (int32_t type : {0, 19, 20}) {
        VLControlEvent e = MouseEvent(type, 10, 10);
        c.DoEvent(e);
    }
    EXPECT_EQ(0u, c.state);
    EXPECT_TRUE(bound.listener.messages.empty());

    c.SetEnabled(false);
    for (int32_t type : {kEventMouseEnter, kEventLButtonDown, kEventContextMenu, kEventRButtonDown, kEventMouseLeave}) {
        VLControlEvent e = MouseEvent(type, 10, 10);
        c.DoEvent(e);
    }
    ASSERT_EQ(2u, bound.listener.messages.size());
    EXPECT_EQ(kNotifyRButtonDown, bound.listener.messages[0].type);
    EXPECT_EQ(kNotifyMouseLeave, bound.listener.messages[1].type);
}

TEST(ControlEvents, HoverAndRollingText)
{
    BoundManager bound;
    VLControl c;
    c.SetManager(&bound.manager);
    c.SetPos({0, 0, 100, 20});
    c.SetAttribute(L"flags", L"enterrolltext");
    c.SetAttribute(L"normaltextpadding", L"10,0,10,0");
    VLControlEvent enter = MouseEvent(kEventMouseEnter, 50, 10);
    c.DoEvent(enter);
    EXPECT_EQ(unsigned(kStateHot), c.state);
    EXPECT_NE(nullptr, bound.manager.animations.FindItem(&c, 0x2003));
    VLControlEvent edge = MouseEvent(kEventMouseMove, 5, 10);
    c.DoEvent(edge);
    EXPECT_EQ(nullptr, bound.manager.animations.FindItem(&c, 0x2003));
    c.DoEvent(enter);
    VLControlEvent leave = MouseEvent(kEventMouseLeave, 200, 10);
    c.DoEvent(leave);
    EXPECT_EQ(0u, c.state);
    EXPECT_EQ(nullptr, bound.manager.animations.FindItem(&c, 0x2003));
}

} // namespace
} // namespace Velora
