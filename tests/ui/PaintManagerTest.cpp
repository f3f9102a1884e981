#include "tests/ui/UiTestSupport.h"

#include <gtest/gtest.h>

#include <set>

namespace Velora {
namespace {

// root (tab stop) > a (tab stop, id 1, name "x"), b (id 2, name "x"), c (tab stop, id 1)
struct SmallTree {
    SmallTree()
    {
        for (VLControl** item : {&a, &b, &c}) *item = root->Add(new VLControl);
        VLControl::ApplyAttributeList(L"name=\"x\" id=\"1\" flags=\"tabstop\"", a);
        VLControl::ApplyAttributeList(L"name=\"x\" id=\"2\"", b);
        VLControl::ApplyAttributeList(L"id=\"1\" flags=\"tabstop\"", c);
        root->SetAttribute(L"flags", L"tabstop");
        root->SetPos({0, 0, 100, 100});
        a->SetPos({0, 0, 60, 60});
        c->SetPos({40, 40, 100, 100});
        bound.manager.AttachRoot(root);
    }
    BoundManager bound;
    VLPaintManager& m = bound.manager;
    TestBranch* root = new TestBranch;
    VLControl *a, *b, *c;
};

TEST(PaintManager, RegistriesKeepTheFirstNameAndId)
{
    SmallTree t;
    EXPECT_EQ(t.a, t.m.FindControlByName(L"x"));
    EXPECT_EQ(t.a, t.m.FindControl(1));
    EXPECT_EQ(t.b, t.m.FindControl(2));
    EXPECT_EQ(t.c, t.m.FindControlAt({50, 50})); // the last item is on top
    t.c->SetVisible(false);
    EXPECT_EQ(t.a, t.m.FindControlAt({50, 50}));

    HWND child = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 5, 5, t.m.GetWindow(), nullptr, nullptr, nullptr);
    HWND grandchild = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 5, 5, child, nullptr, nullptr, nullptr);
    t.b->SetHostWindow(child);
    EXPECT_EQ(t.b, t.m.FindControlByWindow(grandchild));
    EXPECT_EQ(nullptr, t.m.FindControlByWindow(t.m.GetWindow()));

    delete t.root->Detach(t.b);
    EXPECT_EQ(t.a, t.m.FindControlByName(L"x"));
    EXPECT_EQ(nullptr, t.m.FindControl(2));
    delete t.root->Detach(t.a);
    EXPECT_EQ(nullptr, t.m.FindControlByName(L"x"));
    EXPECT_EQ(nullptr, t.m.FindControl(1));
}

TEST(PaintManager, NotifiersInitOnceAndHearInOrder)
{
    SmallTree t;
    RecordingListener second;
    EXPECT_TRUE(t.m.AddNotifier(&second));
    EXPECT_FALSE(t.m.AddNotifier(&second));
    EXPECT_EQ(1, t.root->initCalls);
    LRESULT result = 0;
    t.m.MessageHandler(WM_LBUTTONUP, 0, MAKELPARAM(7, 8), result); // the last mouse point, nothing pressed
    t.m.SendNotify(t.a, kNotifyClick, 3, 4);
    ASSERT_EQ(1u, second.messages.size());
    EXPECT_EQ(7, second.messages[0].ptMouse.x);
    EXPECT_EQ(4, second.messages[0].lParam);
    EXPECT_EQ(1, t.bound.Count(kNotifyClick));
}

TEST(PaintManager, TabMovesFocusAndWrapsBothWays)
{
    SmallTree t;
    t.a->SetAttribute(L"notify", L"setfocus killfocus");
    // Right after AttachRoot the move waits for the layout.
    t.m.MoveFocusByTab(true);
    EXPECT_EQ(nullptr, t.m.GetFocus());
    // The next paint lays out and then moves to the first tab stop.
    VLControl* root = t.root;
    t.m.PaintBackBuffer({0, 0, 1, 1});
    EXPECT_EQ(root, t.m.GetFocus());
    const std::pair<bool, VLControl*> steps[] = {{true, t.a},  {true, t.c},   {true, root}, {false, t.c},
                                                 {false, t.a}, {false, root}, {false, t.c}};
    for (const auto& step : steps) {
        t.m.MoveFocusByTab(step.first);
        EXPECT_EQ(step.second, t.m.GetFocus());
        EXPECT_EQ(step.second == t.a, t.a->IsFocused());
    }
    EXPECT_EQ(2, t.bound.Count(kNotifySetFocus));
    EXPECT_EQ(2, t.bound.Count(kNotifyKillFocus));
    t.a->SetEnabled(false);
    t.m.SetFocus(t.a);
    EXPECT_EQ(nullptr, t.m.GetFocus());
}

TEST(PaintManager, DestroyedControlLeavesNoReference)
{
    SmallTree t;
    // b alone under the point: the mouse and the keys make it hover,
    // pressed, right-pressed, focus and the key-down control.
    t.b->SetPos({60, 0, 100, 40});
    t.b->SetAttribute(L"tooltipdelaytime", L"100");
    LRESULT result = 0;
    for (UINT message : {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_KEYDOWN})
        t.m.MessageHandler(message, 0, MAKELPARAM(80, 20), result);
    t.m.ReleaseMouse();
    for (VLControl* ref : {t.m.GetHover(), t.m.GetHoverTracked(), t.m.GetPressed(), t.m.GetRightPressed(),
                           t.m.GetKeyDown(), t.m.GetFocus()})
        ASSERT_EQ(t.b, ref);
    t.bound.listener.messages.clear();
    for (auto [control, id] : {std::make_pair(t.b, 1u), {t.b, 2u}, {t.a, 1u}})
        ASSERT_TRUE(t.m.SetTimer(control, id, 1000));
    ASSERT_TRUE(t.m.GetAnimations().StartAnimation(t.b, kEffectSourceSlide));
    const uint32_t effectTimer = t.m.GetAnimations().FindItem(t.b, kEffectSourceSlide)->timerId;
    delete t.root->Detach(t.b);
    for (VLControl* ref : {t.m.GetHover(), t.m.GetHoverTracked(), t.m.GetPressed(), t.m.GetRightPressed(),
                           t.m.GetKeyDown(), t.m.GetFocus()})
        EXPECT_EQ(nullptr, ref);
    ASSERT_EQ(1u, t.m.GetTimers().size());
    EXPECT_EQ(t.a, t.m.GetTimers()[0]->control);
    EXPECT_FALSE(t.m.GetAnimations().UsesTimer(effectTimer));
    t.m.GetAnimations().OnTimer(effectTimer);
    EXPECT_TRUE(t.bound.listener.messages.empty());
}

TEST(PaintManager, TimerIdsFollowTheSequenceAndNeverCollide)
{
    BoundManager bound;
    VLPaintManager& m = bound.manager;
    VLControl a, b;
    a.SetManager(&m);
    b.SetManager(&m);
    for (uint32_t id : {1u, 2u, 3u}) ASSERT_TRUE(m.SetTimer(&a, id, 1000));
    ASSERT_TRUE(m.SetTimer(&a, 2, 50));
    ASSERT_EQ(3u, m.GetTimers().size());
    for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(17 + i, m.GetTimers()[i]->windowId);
    EXPECT_TRUE(m.KillTimer(&a, 2));
    EXPECT_FALSE(m.KillTimer(&a, 2));

    // Timers 17 and 19 stay alive, an effect holds a raw timer, and every
    // third of 300 more timers stays alive as the ids wrap around.
    ASSERT_TRUE(m.GetAnimations().StartAnimation(&b, kEffectNone));
    const uint32_t raw = m.GetAnimations().FindItem(&b, kEffectNone)->timerId;
    for (uint32_t i = 0; i < 300; ++i) {
        ASSERT_TRUE(m.SetTimer(&b, 100 + i, 1000));
        EXPECT_NE(0u, m.GetTimers().back()->windowId);
        EXPECT_NE(raw, m.GetTimers().back()->windowId);
        if (i % 3 != 0) m.KillTimer(&b, 100 + i);
    }
    std::set<uint32_t> live;
    for (const auto& timer : m.GetTimers()) live.insert(timer->windowId);
    EXPECT_EQ(102u, live.size());
    EXPECT_EQ(m.GetTimers().size(), live.size());
    EXPECT_TRUE(m.KillTimer(&a, kAllControlTimers));
    EXPECT_EQ(100u, m.GetTimers().size());

    VLPaintManager windowless;
    EXPECT_FALSE(windowless.SetTimer(&a, 1, 10));
    EXPECT_EQ(-1, windowless.SetRawTimer(10));
}

TEST(PaintManager, FontsDefaultAndDuplicates)
{
    HFONT duplicate;
    {
        BoundManager bound;
        VLFontInfo* first = bound.manager.AddFont(L"Tahoma", L"title", 16, true, false, false);
        ASSERT_NE(nullptr, first);
        EXPECT_GT(first->metrics.tmHeight, 0);
        LOGFONTW lf = {};
        GetObjectW(first->font.Get(), sizeof(lf), &lf);
        EXPECT_EQ(FW_BOLD, lf.lfWeight);
        EXPECT_EQ(-16, lf.lfHeight);
        VLFontInfo* second = bound.manager.AddFont(L"Tahoma", L"title", 20, false, true, true);
        ASSERT_NE(nullptr, second);
        EXPECT_EQ(first, bound.manager.GetFont(L"title"));
        duplicate = second->font.Get();
        EXPECT_EQ(DWORD(OBJ_FONT), GetObjectType(duplicate));
        EXPECT_NE(nullptr, bound.manager.GetFont(L""));
        EXPECT_EQ(bound.manager.GetFont(L""), bound.manager.GetFont(L"never registered"));
    }
    // The duplicate belonged to the manager and went with it.
    EXPECT_EQ(0u, GetObjectType(duplicate));
}

TEST(PaintManager, GroupsListsAndKeyState)
{
    VLPaintManager m;
    VLOption* one = reinterpret_cast<VLOption*>(0x10);
    EXPECT_TRUE(m.AddOptionGroup(5, one));
    EXPECT_FALSE(m.AddOptionGroup(5, one));
    m.RemoveOptionGroup(5, one);
    ASSERT_NE(nullptr, m.GetOptionGroup(5)); // an emptied group stays
    m.AddDefaultAttributeList(L"Button", L"width=\"1\"");
    m.AddDefaultAttributeList(L"Button", L"width=\"2\"");
    EXPECT_EQ(L"width=\"2\"", m.GetDefaultAttributeList(L"Button"));

    BYTE saved[256];
    ASSERT_TRUE(GetKeyboardState(saved));
    for (const auto& [keys, mask] : {std::make_pair(std::vector<int>{VK_CONTROL, VK_LBUTTON}, 8 | 2),
                                     {std::vector<int>{VK_SHIFT, VK_RBUTTON, VK_MENU}, 4 | 1 | 32}}) {
        BYTE state[256] = {};
        for (int k : keys) state[k] = 0x80;
        ASSERT_TRUE(SetKeyboardState(state));
        EXPECT_EQ(mask, GetKeyStateMask());
    }
    SetKeyboardState(saved);
}

// A listener removes the control that clicked; it lives on until the posted
// message deletes it.
class DeletingListener : public INotify {
public:
    void Notify(VLNotifyMsg& msg) override
    {
        if (msg.type != kNotifyClick) return;
        static_cast<TestBranch*>(msg.sender->GetParent())->Detach(msg.sender);
        msg.sender->GetManager()->DelayedDelete(msg.sender);
        msg.sender->GetManager()->DelayedDelete(msg.sender); // queued once
    }
};

class Tracked : public VLControl {
public:
    explicit Tracked(bool& gone) : gone_(gone) {}
    ~Tracked() override { gone_ = true; }

private:
    bool& gone_;
};

TEST(PaintManager, DeferredDeletionOfTheSender)
{
    SmallTree t;
    bool gone = false;
    VLControl* sender = t.root->Add(new Tracked(gone));
    VLControl::ApplyAttributeList(L"notify=\"click lbuttonup\"", sender);
    sender->SetPos({0, 0, 10, 10});
    DeletingListener deleter;
    t.m.AddNotifier(&deleter);
    for (int32_t type : {kEventLButtonDown, kEventLButtonUp}) Deliver(*sender, type);
    EXPECT_FALSE(gone);
    EXPECT_EQ(1, t.bound.Count(kNotifyLButtonUp)); // sent after the click
    MSG msg;
    EXPECT_TRUE(PeekMessageW(&msg, t.m.GetWindow(), kMsgDelayedDelete, kMsgDelayedDelete, PM_REMOVE));
    t.m.FlushDelayedDelete();
    EXPECT_TRUE(gone);

    // A replaced root waits for the same message.
    bool rootGone = false;
    VLControl* fresh = new Tracked(rootGone);
    fresh->SetId(1);
    t.m.AttachRoot(fresh);
    EXPECT_EQ(fresh, t.m.FindControl(1)); // not the old tree's control
    EXPECT_EQ(nullptr, t.m.FindControlByName(L"x"));
    t.m.AttachRoot(nullptr);
    EXPECT_FALSE(rootGone);
    EXPECT_TRUE(PeekMessageW(&msg, t.m.GetWindow(), kMsgDelayedDelete, kMsgDelayedDelete, PM_REMOVE));
    t.m.FlushDelayedDelete();
    EXPECT_TRUE(rootGone);
}

} // namespace
} // namespace Velora
