#include "tests/ui/UiTestSupport.h"

#include "ui/core/PaintManager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace Velora {
namespace {

// root (tab stop) > [a (tab stop, id 1, name "x"), b (id 2, name "x"), c (tab stop, id 1)]
struct SmallTree {
    SmallTree()
    {
        root = new TestBranch;
        a = root->Add(new VLControl);
        b = root->Add(new VLControl);
        c = root->Add(new VLControl);
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
    TestBranch* root;
    VLControl* a;
    VLControl* b;
    VLControl* c;
};

TEST(PaintManager, RegistriesKeepTheFirstNameAndId)
{
    SmallTree t;
    VLPaintManager& m = t.bound.manager;
    EXPECT_EQ(t.a, m.FindControlByName(L"x"));
    EXPECT_EQ(t.a, m.FindControl(1));
    EXPECT_EQ(t.b, m.FindControl(2));
    EXPECT_EQ(nullptr, m.FindControl(3));
    POINT overlap = {50, 50};
    EXPECT_EQ(t.c, m.FindControlAt(overlap)); // the last item is on top
    t.c->SetVisible(false);
    EXPECT_EQ(t.a, m.FindControlAt(overlap));

    HWND child = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 5, 5, m.window, nullptr, nullptr, nullptr);
    HWND grandchild = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 5, 5, child, nullptr, nullptr, nullptr);
    t.b->SetHostWindow(child);
    EXPECT_EQ(t.b, m.FindControlByWindow(grandchild));
    EXPECT_EQ(nullptr, m.FindControlByWindow(m.window));

    t.root->children.erase(t.root->children.begin() + 1);
    delete t.b;
    EXPECT_EQ(t.a, m.FindControlByName(L"x"));
    EXPECT_EQ(nullptr, m.FindControl(2));
    t.root->children.erase(t.root->children.begin());
    delete t.a;
    EXPECT_EQ(nullptr, m.FindControlByName(L"x"));
    EXPECT_EQ(nullptr, m.FindControl(1));
}

TEST(PaintManager, AddNotifierRunsInitOnceAndRefusesDuplicates)
{
    SmallTree t;
    RecordingListener second;
    EXPECT_TRUE(t.bound.manager.AddNotifier(&second));
    EXPECT_EQ(1, t.root->initCalls);
    EXPECT_FALSE(t.bound.manager.AddNotifier(&second));
    EXPECT_EQ(1, t.root->initCalls);
    t.bound.manager.lastMouse = {7, 8};
    t.bound.manager.SendNotify(t.a, kNotifyClick, 3, 4);
    ASSERT_EQ(1u, second.messages.size());
    EXPECT_EQ(7, second.messages[0].ptMouse.x);
    EXPECT_EQ(4, second.messages[0].lParam);
    EXPECT_EQ(1, t.bound.Count(kNotifyClick));
}

TEST(PaintManager, TabMovesFocusAndWrapsBothWays)
{
    SmallTree t;
    VLPaintManager& m = t.bound.manager;
    t.a->SetAttribute(L"notify", L"setfocus killfocus");
    // Right after AttachRoot the move waits for the layout.
    EXPECT_TRUE(m.MoveFocusByTab(true));
    EXPECT_EQ(nullptr, m.focus);
    EXPECT_TRUE(m.focusNeeded);
    m.needsUpdate = false;
    const struct {
        bool forward;
        VLControl* expected;
    } steps[] = {{true, t.root}, {true, t.a}, {true, t.c}, {true, t.root}, {false, t.c}, {false, t.a},
                 {false, t.root}, {false, t.c}};
    for (const auto& step : steps) {
        m.MoveFocusByTab(step.forward);
        EXPECT_EQ(step.expected, m.focus);
        EXPECT_EQ(step.expected == t.a, t.a->IsFocused());
    }
    EXPECT_EQ(2, t.bound.Count(kNotifySetFocus));
    EXPECT_EQ(2, t.bound.Count(kNotifyKillFocus));
    t.a->SetEnabled(false);
    m.SetFocus(t.a);
    EXPECT_EQ(nullptr, m.focus);
    EXPECT_FALSE(t.c->IsFocused());
}

TEST(PaintManager, DestroyedControlLeavesNoReference)
{
    SmallTree t;
    VLPaintManager& m = t.bound.manager;
    m.hover = m.hoverTracked = m.pressed = m.rightPressed = m.keyDown = t.b;
    m.SetFocus(t.b);
    ASSERT_TRUE(m.SetTimer(t.b, 1, 1000));
    ASSERT_TRUE(m.SetTimer(t.b, 2, 1000));
    ASSERT_TRUE(m.SetTimer(t.a, 1, 1000));
    ASSERT_TRUE(m.animations.StartAnimation(t.b, 0x2002));
    const uint32_t effectTimer = m.animations.FindItem(t.b, 0x2002)->timerId;
    t.root->children.erase(t.root->children.begin() + 1);
    delete t.b;
    for (VLControl* ref : {m.hover, m.hoverTracked, m.pressed, m.rightPressed, m.keyDown, m.focus})
        EXPECT_EQ(nullptr, ref);
    ASSERT_EQ(1u, m.timers.size());
    EXPECT_EQ(t.a, m.timers[0]->control);
    EXPECT_FALSE(m.animations.UsesTimer(effectTimer));
    m.animations.OnTimer(effectTimer);
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
    ASSERT_EQ(3u, m.timers.size());
    EXPECT_EQ(17u, m.timers[0]->windowId);
    EXPECT_EQ(18u, m.timers[1]->windowId);
    EXPECT_EQ(19u, m.timers[2]->windowId);
    ASSERT_TRUE(m.SetTimer(&a, 2, 50));
    EXPECT_EQ(3u, m.timers.size());
    EXPECT_EQ(18u, m.timers[1]->windowId);
    EXPECT_EQ(1000u, m.timers[1]->elapse);
    EXPECT_TRUE(m.KillTimer(&a, 2));
    EXPECT_FALSE(m.KillTimer(&a, 2));

    // Timers 17 and 19 stay alive, an effect holds a raw timer, and every
    // third of 300 more timers stays alive as the ids wrap around.
    ASSERT_TRUE(m.animations.StartAnimation(&b, 0x2004));
    const uint32_t raw = m.animations.FindItem(&b, 0x2004)->timerId;
    for (uint32_t i = 0; i < 300; ++i) {
        ASSERT_TRUE(m.SetTimer(&b, 100 + i, 1000));
        const uint32_t id = m.timers.back()->windowId;
        EXPECT_NE(0u, id);
        EXPECT_NE(raw, id);
        if (i % 3 != 0) m.KillTimer(&b, 100 + i);
    }
    std::set<uint32_t> live;
    for (const auto& timer : m.timers) live.insert(timer->windowId);
    EXPECT_EQ(102u, m.timers.size());
    EXPECT_EQ(m.timers.size(), live.size());
    EXPECT_EQ(0u, live.count(raw));
    EXPECT_TRUE(m.KillTimer(&a, kAllControlTimers));
    EXPECT_EQ(100u, m.timers.size());
    m.animations.StopAll();
}

TEST(PaintManager, WindowlessManagerMakesNoTimer)
{
    VLPaintManager m;
    VLControl c;
    EXPECT_FALSE(m.SetTimer(&c, 1, 10));
    EXPECT_EQ(-1, m.SetRawTimer(10));
    EXPECT_FALSE(m.Init(nullptr));
}

TEST(PaintManager, FontsDefaultAndDuplicates)
{
    HFONT duplicate;
    {
        BoundManager bound;
        VLPaintManager& m = bound.manager;
        VLFontInfo* first = m.AddFont(L"Tahoma", L"title", 16, true, false, false);
        ASSERT_NE(nullptr, first);
        EXPECT_GT(first->metrics.tmHeight, 0);
        LOGFONTW lf = {};
        GetObjectW(first->font.Get(), sizeof(lf), &lf);
        EXPECT_EQ(FW_BOLD, lf.lfWeight);
        EXPECT_EQ(-16, lf.lfHeight);
        VLFontInfo* second = m.AddFont(L"Tahoma", L"title", 20, false, true, true);
        ASSERT_NE(nullptr, second);
        EXPECT_NE(first, second);
        EXPECT_EQ(first, m.GetFont(L"title"));
        duplicate = static_cast<HFONT>(second->font.Get());
        EXPECT_EQ(DWORD(OBJ_FONT), GetObjectType(duplicate));

        VLFontInfo* fallback = m.GetFont(L"");
        ASSERT_NE(nullptr, fallback);
        EXPECT_EQ(fallback, m.GetFont(L"never registered"));
        EXPECT_EQ(fallback, m.GetDefaultFont());
    }
    // The duplicate was owned by the manager and went with it.
    EXPECT_EQ(0u, GetObjectType(duplicate));
}

TEST(PaintManager, OptionGroupsAndDefaultLists)
{
    VLPaintManager m;
    VLOption* one = reinterpret_cast<VLOption*>(0x10);
    VLOption* two = reinterpret_cast<VLOption*>(0x20);
    EXPECT_TRUE(m.AddOptionGroup(5, one));
    EXPECT_FALSE(m.AddOptionGroup(5, one));
    EXPECT_TRUE(m.AddOptionGroup(5, two));
    EXPECT_EQ(nullptr, m.GetOptionGroup(6));
    m.RemoveOptionGroup(5, one);
    m.RemoveOptionGroup(5, two);
    ASSERT_NE(nullptr, m.GetOptionGroup(5));
    EXPECT_TRUE(m.GetOptionGroup(5)->empty());

    m.AddDefaultAttributeList(L"Button", L"width=\"1\"");
    m.AddDefaultAttributeList(L"Button", L"width=\"2\"");
    EXPECT_EQ(L"width=\"2\"", m.GetDefaultAttributeList(L"Button"));
    EXPECT_EQ(L"", m.GetDefaultAttributeList(L"Label"));

    IMessageFilterUI* filter = reinterpret_cast<IMessageFilterUI*>(0x30);
    EXPECT_TRUE(m.AddMessageFilter(filter));
    EXPECT_FALSE(m.AddMessageFilter(filter));
    EXPECT_TRUE(m.RemoveMessageFilter(filter));
    EXPECT_FALSE(m.RemoveMessageFilter(filter));
}

TEST(PaintManager, KeyStateMaskBitOrder)
{
    BYTE saved[256];
    ASSERT_TRUE(GetKeyboardState(saved));
    const struct {
        std::vector<int> keys;
        uint16_t mask;
    } cases[] = {{{VK_CONTROL, VK_LBUTTON}, 8 | 2}, {{VK_SHIFT, VK_RBUTTON, VK_MENU}, 4 | 1 | 32}, {{}, 0}};
    for (const auto& t : cases) {
        BYTE keys[256] = {};
        for (int k : t.keys) keys[k] = 0x80;
        ASSERT_TRUE(SetKeyboardState(keys));
        EXPECT_EQ(t.mask, GetKeyStateMask());
    }
    SetKeyboardState(saved);
}

// A listener removes the control that notified it: the control lives on
// until the manager's message deletes it.
class DeletingListener : public INotify {
public:
    explicit DeletingListener(TestBranch* root) : root_(root) {}
    void Notify(VLNotifyMsg& msg) override
    {
        if (msg.type != kNotifyClick) return;
        auto& items = root_->children;
        items.erase(std::find(items.begin(), items.end(), msg.sender));
        msg.sender->GetManager()->DelayedDelete(msg.sender);
    }

private:
    TestBranch* root_;
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
    VLPaintManager& m = t.bound.manager;
    bool gone = false;
    VLControl* sender = t.root->Add(new Tracked(gone));
    sender->SetAttribute(L"notify", L"click lbuttonup");
    sender->SetPos({0, 0, 10, 10});
    DeletingListener deleter(t.root);
    m.AddNotifier(&deleter);
    VLControlEvent down;
    down.type = kEventLButtonDown;
    sender->DoEvent(down);
    VLControlEvent up = down;
    up.type = kEventLButtonUp;
    sender->DoEvent(up); // still sends "lbuttonup" after the click
    EXPECT_FALSE(gone);
    EXPECT_EQ(1, t.bound.Count(kNotifyLButtonUp));
    MSG msg;
    EXPECT_TRUE(PeekMessageW(&msg, m.window, kMsgDelayedDelete, kMsgDelayedDelete, PM_REMOVE));
    m.FlushDelayedDelete();
    EXPECT_TRUE(gone);

    // A replaced root waits for the same message.
    bool rootGone = false;
    m.AttachRoot(new Tracked(rootGone));
    EXPECT_EQ(1u, m.delayedDelete.size());
    EXPECT_TRUE(PeekMessageW(&msg, m.window, kMsgDelayedDelete, kMsgDelayedDelete, PM_REMOVE));
    m.FlushDelayedDelete();
    EXPECT_TRUE(m.delayedDelete.empty());
    m.AttachRoot(nullptr);
    m.FlushDelayedDelete();
    EXPECT_TRUE(rootGone);
}

} // namespace
} // namespace Velora
