#include "tests/ui/UiTestSupport.h"
#include "ui/core/Option.h"

#include <gtest/gtest.h>

#include <string>

namespace Velora {
namespace {

// Holds Ctrl down (or up) for the calling thread while it lives.
class CtrlKey {
public:
    explicit CtrlKey(bool held)
    {
        GetKeyboardState(saved_);
        BYTE state[256] = {};
        if (held) state[VK_CONTROL] = 0x80;
        SetKeyboardState(state);
    }
    ~CtrlKey() { SetKeyboardState(saved_); }

private:
    BYTE saved_[256];
};

void Click(VLControl& control, int32_t downType = kEventLButtonDown)
{
    const RECT r = control.GetPos();
    VLControlEvent down;
    down.type = downType;
    down.ptMouse = {r.left + 1, r.top + 1};
    control.DoEvent(down);
    VLControlEvent up = down;
    up.type = kEventLButtonUp;
    control.DoEvent(up);
}

// Three options of one group in a row, the first selected, all in a manager.
struct RadioRow {
    explicit RadioRow(const wchar_t* extra = L"")
    {
        bound.manager.AttachRoot(row);
        for (int i = 0; i < 3; ++i) {
            options[i] = new VLOption;
            row->Add(options[i]);
            VLControl::ApplyAttributeList(std::wstring(L"group=\"1\" ") + extra, options[i]);
        }
        options[0]->SetSelected(true);
        row->SetLayoutType(kLayoutHorizontal);
        row->SetPos({0, 0, 300, 20});
        bound.listener.messages.clear();
    }
    // wParam of each selection notification, 'o' index first: "1+", "0-".
    std::string Selections() const
    {
        std::string out;
        for (const VLNotifyMsg& m : bound.listener.messages) {
            if (m.type != kNotifySelectChanged) continue;
            for (int i = 0; i < 3; ++i) {
                if (m.sender == options[i]) out += std::to_string(i) + (m.wParam ? "+" : "-");
            }
        }
        return out;
    }
    BoundManager bound;
    VLContainer* row = new VLContainer;
    VLOption* options[3];
};

TEST(Option, RadioGroupSelectsOneAndClickingItAgainSaysNothing)
{
    CtrlKey ctrl(false);
    RadioRow t;
    Click(*t.options[1]);
    EXPECT_EQ("0-1+", t.Selections());
    EXPECT_FALSE(t.options[0]->IsSelected());
    EXPECT_EQ(kStateSelected, t.options[1]->state & kStateSelected);
    t.bound.listener.messages.clear();
    Click(*t.options[1]);
    EXPECT_EQ("", t.Selections());
    EXPECT_EQ(1, t.bound.Count(kNotifyClick));
    EXPECT_TRUE(t.options[1]->IsSelected());

    // A group number given later joins the group and deselects the others.
    t.options[2]->SetGroup(0);
    t.options[2]->SetSelected(true);
    t.options[2]->SetGroup(1);
    EXPECT_FALSE(t.options[1]->IsSelected());
    // A destroyed option leaves its group.
    t.row->Remove(t.options[2]);
    EXPECT_EQ(2u, t.bound.manager.GetOptionGroup(1)->size());
}

TEST(Option, CheckBoxesAndCtrlToggle)
{
    {
        CtrlKey ctrl(false);
        RadioRow t;
        t.options[2]->SetGroup(0);
        Click(*t.options[2]);
        Click(*t.options[2]);
        EXPECT_EQ("2+2-", t.Selections());
    }
    for (bool ctrlDown : {false, true}) {
        CtrlKey ctrl(true);
        RadioRow t(ctrlDown ? L"ctrldown=\"true\"" : L"ctrldown=\"yes\"");
        Click(*t.options[1]);
        EXPECT_EQ(ctrlDown, t.options[0]->IsSelected()) << ctrlDown;
        Click(*t.options[1]);
        EXPECT_EQ(!ctrlDown, t.options[1]->IsSelected()) << ctrlDown;
    }
}

TEST(Option, DisabledKeepsTheSelectionAndNoManagerMeansNoMessages)
{
    RadioRow t;
    t.options[0]->state |= kStateHot | kStatePushed;
    t.options[0]->SetEnabled(false);
    EXPECT_EQ(kStateSelected, t.options[0]->state);
    EXPECT_TRUE(t.options[0]->IsSelected());

    VLOption loose, other;
    for (VLOption* o : {&loose, &other}) o->SetAttribute(L"group", L"1");
    other.SetSelected(true);
    loose.SetSelected(true);
    EXPECT_TRUE(other.IsSelected());
    EXPECT_EQ(kStateSelected, loose.state);
    EXPECT_TRUE(t.Selections().empty());
}

TEST(Button, ClicksWithoutNotifyAndTakesDoubleClicksAsPresses)
{
    BoundManager bound;
    auto* row = new VLContainer;
    bound.manager.AttachRoot(row);
    VLButton* button = new VLButton;
    row->Add(button);
    auto* option = new VLOption;
    option->SetAttribute(L"dbclick", L"true");
    row->Add(option);
    row->SetLayoutType(kLayoutHorizontal);
    row->SetPos({0, 0, 200, 20});
    Click(*button);
    EXPECT_EQ(1, bound.Count(kNotifyClick));
    Click(*button, kEventLButtonDblClk);
    EXPECT_EQ(2, bound.Count(kNotifyClick));
    EXPECT_EQ(0, bound.Count(kNotifyLButtonDblClk));
    Click(*option, kEventLButtonDblClk);
    EXPECT_EQ(1, bound.Count(kNotifyLButtonDblClk));
    EXPECT_EQ(5, button->GetClassId());
    EXPECT_EQ(button, button->GetInterface(6));
    EXPECT_EQ(nullptr, button->GetInterface(9));
    EXPECT_EQ(option, option->GetInterface(4));
}

TEST(Button, TabWrapsOverThreeButtons)
{
    BoundManager bound;
    auto* box = new VLContainer;
    bound.manager.AttachRoot(box);
    VLButton* buttons[3];
    for (VLButton*& b : buttons) {
        b = new VLButton;
        box->Add(b);
    }
    box->SetPos({0, 0, 100, 100});
    bound.manager.needsUpdate = false;
    const struct {
        bool forward;
        int expected;
    } steps[] = {{true, 0}, {true, 1}, {true, 2}, {true, 0}, {false, 2}, {false, 1}, {false, 0}, {false, 2}};
    for (const auto& step : steps) {
        bound.manager.MoveFocusByTab(step.forward);
        EXPECT_EQ(buttons[step.expected], bound.manager.focus) << step.forward << " " << step.expected;
        EXPECT_TRUE(buttons[step.expected]->IsFocused());
    }
}

} // namespace
} // namespace Velora
