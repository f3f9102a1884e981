#include "tests/ui/UiTestSupport.h"
#include "ui/core/Option.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace Velora {
namespace {

// Holds Ctrl down, or keeps it up, for the calling thread while it lives.
class CtrlKey {
public:
    explicit CtrlKey(bool held)
    {
        GetKeyboardState(saved_);
        BYTE state[256] = {};
        state[VK_CONTROL] = held ? 0x80 : 0;
        SetKeyboardState(state);
    }
    ~CtrlKey() { SetKeyboardState(saved_); }

private:
    BYTE saved_[256];
};

void Click(VLControl& control, int32_t downType = kEventLButtonDown)
{
    Deliver(control, downType, control.GetX() + 1, control.GetY() + 1);
    Deliver(control, kEventLButtonUp, control.GetX() + 1, control.GetY() + 1);
}

// A row of three controls in a window's tree, each given the attribute list.
template <typename T> struct Row {
    explicit Row(const wchar_t* attributes)
    {
        bound.manager.AttachRoot(box);
        for (T*& item : items) {
            item = new T;
            box->Add(item);
            VLControl::ApplyAttributeList(attributes, item);
        }
        box->SetLayoutType(kLayoutHorizontal);
        box->SetPos({0, 0, 300, 20});
        bound.manager.SetNeedsUpdate(false);
    }
    // Index and wParam of each selection change: "0-1+".
    std::string Selections() const
    {
        std::string out;
        for (const VLNotifyMsg& m : bound.listener.messages) {
            if (m.type == kNotifySelectChanged)
                out += std::to_string(std::find(items, items + 3, m.sender) - items) + (m.wParam ? "+" : "-");
        }
        return out;
    }
    BoundManager bound;
    VLContainer* box = new VLContainer;
    T* items[3];
};

// The first option is selected, then the second one is clicked twice.
TEST(Option, ClicksByGroupAndCtrl)
{
    const struct {
        bool ctrl;
        const wchar_t* attributes;
        const char* expected;
    } cases[] = {
        {false, L"group=\"1\"", "0+0-1+"},                  // radio: the second click says nothing
        {false, L"", "0+1+1-"},                             // check boxes toggle
        {true, L"group=\"1\" ctrldown=\"yes\"", "0+0-1+"},  // Ctrl alone changes nothing
        {true, L"group=\"1\" ctrldown=\"true\"", "0+1+1-"}, // others stay, a second click deselects
    };
    for (const auto& c : cases) {
        CtrlKey ctrl(c.ctrl);
        Row<VLOption> t(c.attributes);
        t.items[0]->SetSelected(true);
        Click(*t.items[1]);
        Click(*t.items[1]);
        EXPECT_EQ(c.expected, t.Selections()) << c.attributes;
        EXPECT_EQ(2, t.bound.Count(kNotifyClick));
    }
}

TEST(Option, GroupChangesDisablingAndNoManager)
{
    Row<VLOption> t(L"group=\"1\"");
    t.items[1]->SetSelected(true);
    // A number given later joins the group and deselects the others.
    t.items[2]->SetGroup(0);
    t.items[2]->SetSelected(true);
    t.items[2]->SetGroup(1);
    EXPECT_FALSE(t.items[1]->IsSelected());
    t.box->Remove(t.items[2]); // leaves its group
    EXPECT_EQ(2u, t.bound.manager.GetOptionGroup(1)->size());

    VLOption loose, other;
    for (VLOption* o : {&loose, &other}) o->SetAttribute(L"group", L"1");
    other.SetSelected(true);
    loose.SetSelected(true);
    EXPECT_TRUE(other.IsSelected());
    loose.state |= kStateHot | kStatePushed;
    loose.SetEnabled(false);
    EXPECT_EQ(kStateSelected, loose.state);
}

TEST(Button, ClicksWithoutNotifyTakesDoubleClicksAsPressesAndTabWraps)
{
    Row<VLButton> t(L"");
    Click(*t.items[0]);
    Click(*t.items[0], kEventLButtonDblClk);
    EXPECT_EQ(2, t.bound.Count(kNotifyClick));
    auto* option = new VLOption;
    t.box->Add(option);
    option->SetAttribute(L"dbclick", L"true");
    Click(*option, kEventLButtonDblClk);
    EXPECT_EQ(1, t.bound.Count(kNotifyLButtonDblClk));
    option->SetVisible(false);
    t.bound.manager.SetNeedsUpdate(false);
    for (int step : {0, 1, 2, 0}) {
        t.bound.manager.MoveFocusByTab(true);
        EXPECT_EQ(t.items[step], t.bound.manager.GetFocus()) << "forward to " << step;
    }
    for (int step : {2, 1, 0, 2}) {
        t.bound.manager.MoveFocusByTab(false);
        EXPECT_EQ(t.items[step], t.bound.manager.GetFocus()) << "backward to " << step;
        EXPECT_TRUE(t.items[step]->IsFocused());
    }
}

} // namespace
} // namespace Velora
