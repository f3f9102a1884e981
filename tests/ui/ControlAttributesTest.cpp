#include "ui/core/Control.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace Velora {
namespace {

uint32_t NotifyBits(const VLControl& c)
{
    uint32_t bits = 0;
    for (size_t i = 0; i < 25; ++i) bits |= c.HasNotify(i) ? 1u << i : 0;
    return bits;
}

uint32_t DispatchBits(const VLControl& c)
{
    uint32_t bits = 0;
    for (size_t i = 0; i < 20; ++i) bits |= c.HasDispatch(i) ? 1u << i : 0;
    return bits;
}

int64_t FixedPlace(const VLControl& c)
{
    return ((c.GetFixedXY().x * 1000LL + c.GetFixedXY().y) * 1000 + c.GetFixedWidth()) * 1000 + c.GetFixedHeight();
}

int64_t Rect4(const RECT& r) { return ((r.left * 100 + r.top) * 100 + r.right) * 100 + r.bottom; }

struct AttributeCase {
    const wchar_t* name;
    const wchar_t* value;
    int64_t (*read)(const VLControl&);
    int64_t expected;
};

const AttributeCase kAttributeCases[] = {
    {L"align", L"vcen wordbreak", [](const VLControl& c) -> int64_t { return c.textStyle; }, DT_VCENTER | DT_WORDBREAK},
    {L"align", L"center vcen singleline", [](const VLControl& c) -> int64_t { return c.textStyle; },
     DT_CENTER | DT_VCENTER | DT_SINGLELINE},
    {L"align", L"vcenter", [](const VLControl& c) -> int64_t { return c.textStyle; }, DT_VCENTER | DT_CENTER},
    {L"align", L"autocenter", [](const VLControl& c) -> int64_t { return c.textStyle; }, 0},
    {L"align", L"autocenter", [](const VLControl& c) -> int64_t { return c.autoCenter; }, 1},
    {L"align", L"bottom right", [](const VLControl& c) -> int64_t { return c.textStyle; }, DT_BOTTOM | DT_RIGHT},
    {L"Align", L"center", [](const VLControl& c) -> int64_t { return c.textStyle; }, 0},
    {L"endellipsis", L"true", [](const VLControl& c) -> int64_t { return c.textStyle; }, DT_END_ELLIPSIS},
    {L"notify", L"click mouseenter", [](const VLControl& c) -> int64_t { return NotifyBits(c); }, (1 << 2) | (1 << 3)},
    {L"notify", L"lbuttondblclk", [](const VLControl& c) -> int64_t { return NotifyBits(c); }, 0},
    {L"notify", L"lbuttondbclick", [](const VLControl& c) -> int64_t { return NotifyBits(c); }, (1 << 13) | (1 << 2)},
    {L"dispatch", L"syskeydown", [](const VLControl& c) -> int64_t { return DispatchBits(c); }, (1 << 4) | (1 << 1)},
    {L"dispatch", L"lbuttondbclick", [](const VLControl& c) -> int64_t { return DispatchBits(c); }, 0},
    {L"dispatch", L"lbuttondblclk,activate", [](const VLControl& c) -> int64_t { return DispatchBits(c); },
     (1 << 13) | (1 << 19)},
    {L"format", L"topmost", [](const VLControl& c) -> int64_t { return c.layoutFormat; }, 0x8 | 0x1},
    {L"format", L"left", [](const VLControl& c) -> int64_t { return c.layoutFormat; }, 0},
    {L"flags", L"tabstop|setcursor", [](const VLControl& c) -> int64_t { return c.HasFlag(3) * 2 + c.HasFlag(1); }, 3},
    {L"enabled", L"True", [](const VLControl& c) -> int64_t { return c.IsEnabled(); }, 0},
    {L"visible", L"false", [](const VLControl& c) -> int64_t { return c.IsVisible(); }, 0},
    {L"normaltextcolor", L"#FFFF0000", [](const VLControl& c) -> int64_t { return c.GetNormalTextColor(); },
     0xFFFF0000},
    {L"normaltextcolor", L" #FF000000", [](const VLControl& c) -> int64_t { return c.GetNormalTextColor(); }, 0},
    {L"disabledtextcolor", L"zz", [](const VLControl& c) -> int64_t { return c.GetDisabledTextColor(); }, 0},
    {L"hotbkcolor", L" #80000000", [](const VLControl& c) -> int64_t { return c.bkColors[kImageHot]; }, 0x80000000},
    {L"normalbkcolor", L"\t#FF00FF00", [](const VLControl& c) -> int64_t { return c.bkColors[kImageNormal]; },
     0xFF00FF00},
    {L"bordercolor", L"FF123456", [](const VLControl& c) -> int64_t { return c.borderColor; }, 0xFF123456},
    {L"autotextcolor", L"10", [](const VLControl& c) -> int64_t { return c.GetAutoTextColor(); }, 16},
    {L"autotextcolor", L" 1f", [](const VLControl& c) -> int64_t { return c.GetAutoTextColor(); }, 31},
    {L"shortcut", L"Save", [](const VLControl& c) -> int64_t { return c.GetShortcut(); }, L'S'},
    {L"shortcut", L"", [](const VLControl& c) -> int64_t { return c.GetShortcut(); }, 0},
    {L"pos", L"10,20,110,60", FixedPlace, 10020100040},
    // Missing numbers read as 0: the height (0 - 6) is negative and ignored.
    {L"pos", L"5,6,45", FixedPlace, 5006040000},
    {L"padding", L"1,2", [](const VLControl& c) -> int64_t { return Rect4(c.GetPadding()); }, 1020000},
    // One separator after each number: "2 ," leaves the "," to the next number.
    {L"padding", L"4, 3,2 ,1", [](const VLControl& c) -> int64_t { return Rect4(c.GetPadding()); }, 4030200},
    {L"cut", L"2,2,2,2", [](const VLControl& c) -> int64_t { return Rect4(c.GetCut()); }, 2020202},
    {L"hottextpadding", L"1,2,3,4", [](const VLControl& c) -> int64_t { return Rect4(c.textPadding[kTextHot]); },
     1020304},
    {L"textspecialstyle", L"200,-1", [](const VLControl& c) -> int64_t { return c.shadowX * 1000 + c.shadowY; },
     -56 * 1000 - 1},
    {L"roundcorner", L"3,4", [](const VLControl& c) -> int64_t { return c.roundCorner.cx * 10 + c.roundCorner.cy; },
     34},
    {L"width", L"-5", [](const VLControl& c) -> int64_t { return c.GetFixedWidth(); }, 0},
    {L"rowheight", L" 7x", [](const VLControl& c) -> int64_t { return c.rowHeight; }, 7},
    {L"maxheight", L"40", [](const VLControl& c) -> int64_t { return c.GetMaxHeight(); }, 40},
    {L"tooltipdelaytime", L"500", [](const VLControl& c) -> int64_t { return c.toolTipDelayTime; }, 500},
    {L"id", L"+12", [](const VLControl& c) -> int64_t { return c.GetId(); }, 12},
};

TEST(ControlAttributes, ValuesAndWordTables)
{
    for (const AttributeCase& t : kAttributeCases) {
        VLControl control;
        control.SetAttribute(t.name, t.value);
        EXPECT_EQ(t.expected, t.read(control)) << testing::PrintToString(std::wstring(t.name) + L"=" + t.value);
    }
}

TEST(ControlAttributes, TextsAndImagesGoWhereTheirNameSays)
{
    VLControl c;
    const std::vector<std::pair<const wchar_t*, const wchar_t*>> pairs = {
        {L"text", L"Hi"}, {L"name", L"n1"}, {L"tooltip", L"tip"}, {L"userdata", L"u"}, {L"disabledfont", L"bold"},
        {L"normalimage", L"file='a.png'"}, {L"focusedimage", L"f"}, {L"bknormalimage", L"bk"},
        {L"bkselectedimage", L"sel"}};
    for (const auto& p : pairs) c.SetAttribute(p.first, p.second);
    EXPECT_EQ(L"Hi", c.GetText());
    EXPECT_EQ(L"n1", c.GetName());
    EXPECT_EQ(L"tip", c.GetToolTip());
    EXPECT_EQ(L"u", c.GetUserData());
    EXPECT_EQ(L"bold", c.fonts[kTextDisabled]);
    EXPECT_EQ(L"file='a.png'", c.images[kImageNormal]);
    EXPECT_EQ(L"f", c.images[kImageFocused]);
    EXPECT_EQ(L"bk", c.bkImages[kImageNormal]);
    EXPECT_EQ(L"sel", c.bkImages[kImageSelected]);
}

TEST(ControlAttributes, AttributeListNeedsExactlyOneBlankBetweenPairs)
{
    const struct {
        const wchar_t* list;
        int width;
        int height;
    } cases[] = {
        {L"width=\"10\" height=\"20\"", 10, 20},
        {L"width=\"10\"  height=\"20\"", 10, 0}, // the second name is " height"
        {L"width=\"10\"height=\"20\"", 10, 0},
        {L"width=\"10\" ", 10, 0},
        {L"width=10 height=\"20\"", 0, 0},
        {L"width=\"10\" height=\"20", 10, 0},
        {L" width=\"10\"", 0, 0},
        {L"text=\"a=b\" height=\"3\"", 0, 3},
        {L"", 0, 0},
    };
    for (const auto& t : cases) {
        VLControl c;
        VLControl::ApplyAttributeList(t.list, &c);
        EXPECT_EQ(t.width, c.GetFixedWidth()) << testing::PrintToString(std::wstring(t.list));
        EXPECT_EQ(t.height, c.GetFixedHeight()) << testing::PrintToString(std::wstring(t.list));
    }
    VLControl c;
    VLControl::ApplyAttributeList(L"text=\"a=b\" width=\"3\"", &c);
    EXPECT_EQ(L"a=b", c.GetText());
}

// Markup values reach a subclass through the virtual setters.
class RecordingSetters : public VLControl {
public:
    void SetEnabled(bool on) override
    {
        calls.push_back(on ? L"enabled" : L"disabled");
        VLControl::SetEnabled(on);
    }
    void SetHotTextColor(uint32_t argb) override
    {
        calls.push_back(L"hot");
        VLControl::SetHotTextColor(argb);
    }
    std::vector<std::wstring> calls;
};

TEST(ControlAttributes, SettersAreVirtual)
{
    RecordingSetters c;
    VLControl::ApplyAttributeList(L"enabled=\"no\" hottextcolor=\"#1\" autotextcolor=\"3\"", &c);
    c.SetTextColor(0xFF00FF00);
    EXPECT_EQ((std::vector<std::wstring>{L"disabled", L"hot", L"hot"}), c.calls);
    EXPECT_EQ(0xFF00FF00u, c.GetNormalTextColor());
    EXPECT_EQ(0xFF00FF00u, c.GetHotTextColor());
    EXPECT_EQ(0u, c.GetPushedTextColor());
    EXPECT_EQ(0u, c.GetSelectedTextColor());
    EXPECT_EQ(0u, c.GetDisabledTextColor());
}

} // namespace
} // namespace Velora
